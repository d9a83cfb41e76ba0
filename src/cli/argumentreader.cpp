#include "cli/argumentreader.h"

#include "settings/numberrules.h"
#include "storage/filefilters.h"

using namespace Qt::StringLiterals;

bool ArgumentReader::fail(const QString& message)
{
    command.kind = Command::Invalid;
    command.error = message;
    return false;
}

bool ArgumentReader::rawValue(const QString& option, QString& out)
{
    if (!more())
        return fail(option + u" には値が必要です。"_s);
    out = next();
    return true;
}

bool ArgumentReader::value(const QString& option, QString& out)
{
    if (!rawValue(option, out))
        return false;
    out = TrimBlanks(out);
    return true;
}

bool ArgumentReader::number(const QString& option, const NumberRule& rule)
{
    QString text;
    if (!value(option, text))
        return false;
    const NumberReading number = ReadNumber(rule, text, Fraction::Refuse);
    if (!number.ok())
        return fail(number.message + u" ("_s + option + u')');
    command.settings.append({ rule.key, number.text });
    return true;
}

bool ArgumentReader::choice(
    const QString& option, const QString& key, const QStringList& choices, const QString& refusal)
{
    QString text;
    if (!value(option, text))
        return false;
    text = NumberText(text);
    if (!choices.contains(text))
        return fail(refusal);
    command.settings.append({ key, text });
    return true;
}

bool ArgumentReader::list(const QString& option, const QString& key)
{
    QString text;
    if (!value(option, text))
        return false;
    if (text.contains(u','))
        return fail(u",(ｶﾝﾏ)は入力しないで下さい"_s + u" ("_s + option + u')');
    if (NamePatternsTooLarge(text))
        return fail(RangeTooLargeMessage + u" ("_s + option + u')');
    command.settings.append({ key, text });
    return true;
}

void ArgumentReader::flag(const QString& key, bool on)
{
    command.settings.append({ key, on ? u"1"_s : u"0"_s });
}

bool SplitArguments(ArgumentReader& r, const QStringList& valueOptions, QStringList& positionals, QStringList& options)
{
    bool onlyPositionals = false;
    while (r.more()) {
        const QString arg = r.next();
        if (!onlyPositionals && arg == u"--"_s) {
            onlyPositionals = true;
        } else if (!onlyPositionals && arg.startsWith(u"--"_s)) {
            options.append(arg);
            if (valueOptions.contains(arg)) {
                if (!r.more())
                    return r.fail(arg + u" には値が必要です。"_s);
                options.append(r.next());
            }
        } else {
            positionals.append(TrimBlanks(arg));
        }
    }
    return true;
}

bool NoMorePositionals(ArgumentReader& r, const QStringList& positionals, qsizetype allowed)
{
    if (positionals.size() > allowed)
        return r.fail(u"余分な引数です: "_s + positionals[allowed]);
    return true;
}
