#include "cli/commandline.h"

#include "crawl/httpheaders.h"
#include "platform/filesystem.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"
#include "storage/filefilters.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;
namespace K = SettingsKeys;
namespace R = NumberRules;

namespace {

// A folder named on the command line, absolute, in native separators and ending in one.
QString absoluteFolder(const QString& folder)
{
    return WithFinalSeparator(ToNativeSeparators(QFileInfo(folder).absoluteFilePath()), EmptyFolder::BecomesRoot);
}

struct Reader {
    QStringList args;
    qsizetype at = 0;
    Command& command;

    bool more() const { return at < args.size(); }
    QString next() { return args.value(at++); }
    bool fail(const QString& message)
    {
        command.kind = Command::Invalid;
        command.error = message;
        return false;
    }
    // The value as given: credentials, which may hold blanks of their own.
    bool rawValue(const QString& option, QString& out)
    {
        if (!more())
            return fail(option + u" には値が必要です。"_s);
        out = next();
        return true;
    }
    // Any other value, without blanks and line breaks around it (a value pasted with them).
    bool value(const QString& option, QString& out)
    {
        if (!rawValue(option, out))
            return false;
        out = TrimBlanks(out);
        return true;
    }
    // A number by its rule, as the window's box takes it, except that a fraction of a count is
    // refused rather than rounded: a script means the number it wrote.
    bool number(const QString& option, const NumberRule& rule)
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
    // A choice among a few small numbers, full-width digits read as the others.
    bool choice(const QString& option, const QString& key, const QStringList& choices, const QString& refusal)
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
    bool list(const QString& option, const QString& key)
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
    void flag(const QString& key, bool on) { command.settings.append({ key, on ? u"1"_s : u"0"_s }); }
};

// Options that take the next argument as their value; every other "--" argument is a switch.
const QStringList CrawlValueOptions { u"--scope"_s, u"--depth"_s, u"--exts"_s, u"--names"_s, u"--not-names"_s,
    u"--max-kb"_s, u"--min-kb"_s, u"--user"_s, u"--password"_s, u"--password-file"_s, u"--access-type"_s, u"--proxy"_s,
    u"--port"_s, u"--timeout"_s, u"--buffer-mb"_s, u"--scan-limit-mb"_s, u"--user-agent"_s, u"--connections"_s,
    u"--interval-ms"_s, u"--cookies"_s };
const QStringList ResumeValueOptions { u"--connections"_s, u"--interval-ms"_s };
const QStringList ListValueOptions { u"--name"_s, u"--exts"_s, u"--per-page"_s, u"--rows"_s, u"--single"_s };

// Separates the positionals from the options, which may stand anywhere after the command; "--"
// makes every later argument a positional (a folder named "--x"). The options keep their order,
// each value right after its option; a positional is taken without blanks around it.
bool splitArguments(Reader& r, const QStringList& valueOptions, QStringList& positionals, QStringList& options)
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

bool noMorePositionals(Reader& r, const QStringList& positionals, qsizetype allowed)
{
    if (positionals.size() > allowed)
        return r.fail(u"余分な引数です: "_s + positionals[allowed]);
    return true;
}

// The options of how the crawl uses the network and which links it looks for, for a new crawl and
// a resumed one alike; false when option is none of them or its value is refused (then r has failed).
bool readConnectionOption(Reader& r, const QString& option, bool& taken)
{
    taken = true;
    if (option == u"--more-links"_s || option == u"--no-more-links"_s) {
        r.flag(K::MoreLinks, option == u"--more-links"_s);
        return true;
    }
    if (option == u"--connections"_s)
        return r.number(option, R::Connections);
    if (option == u"--interval-ms"_s)
        return r.number(option, R::RequestIntervalMs);
    if (option == u"--retry-after"_s || option == u"--no-retry-after"_s) {
        r.flag(K::FollowRetryAfter, option == u"--retry-after"_s);
        return true;
    }
    if (option == u"--robots"_s || option == u"--no-robots"_s) {
        r.flag(K::FollowRobots, option == u"--robots"_s);
        return true;
    }
    if (option == u"--keep-cookies"_s || option == u"--no-keep-cookies"_s) {
        r.flag(K::KeepCookies, option == u"--keep-cookies"_s);
        return true;
    }
    if (option == u"--http2"_s || option == u"--no-http2"_s) {
        r.flag(K::Http2, option == u"--http2"_s);
        return true;
    }
    taken = false;
    return true;
}

bool readCrawlOptions(Reader& r)
{
    QString user;
    QString password;
    bool credential = false;
    while (r.more()) {
        const QString option = r.next();
        QString text;
        if (option == u"--scope"_s) {
            if (!r.choice(option, K::SearchType, { u"1"_s, u"2"_s, u"3"_s }, u"--scope は 1、2 または 3 です。"_s))
                return false;
        } else if (option == u"--depth"_s) {
            if (!r.number(option, R::DeepCount))
                return false;
        } else if (option == u"--exts"_s) {
            if (!r.list(option, K::DownloadExts))
                return false;
        } else if (option == u"--names"_s) {
            if (!r.list(option, K::OnDownFileNames))
                return false;
        } else if (option == u"--not-names"_s) {
            if (!r.list(option, K::NotDownFileNames))
                return false;
        } else if (option == u"--max-kb"_s) {
            if (!r.number(option, R::MaxSize))
                return false;
        } else if (option == u"--min-kb"_s) {
            if (!r.number(option, R::MinSize))
                return false;
        } else if (option == u"--skip-same"_s || option == u"--no-skip-same"_s) {
            r.flag(K::SkipSameName, option == u"--skip-same"_s);
        } else if (option == u"--no-tree"_s || option == u"--tree"_s) {
            r.flag(K::NoDirTree, option == u"--no-tree"_s);
        } else if (option == u"--number"_s || option == u"--no-number"_s) {
            r.flag(K::NumberDuplicates, option == u"--number"_s);
        } else if (option == u"--list"_s || option == u"--no-list"_s) {
            r.flag(K::ListViewCheck, option == u"--list"_s);
        } else if (option == u"--user"_s) {
            if (!r.rawValue(option, user))
                return false;
            credential = true;
        } else if (option == u"--password"_s) {
            if (!r.rawValue(option, password))
                return false;
            credential = true;
        } else if (option == u"--password-file"_s) {
            if (!r.value(option, text))
                return false;
            QFile file(text);
            if (!file.open(QIODevice::ReadOnly))
                return r.fail(text + u": "_s + file.errorString());
            password = QString::fromUtf8(file.readAll()).section(u'\n', 0, 0).remove(u'\r');
            credential = true;
        } else if (option == u"--cookies"_s) {
            if (!r.value(option, text))
                return false;
            // An empty name stops using a file named before.
            QFile file(text);
            if (!text.isEmpty() && !file.open(QIODevice::ReadOnly))
                return r.fail(text + u": "_s + file.errorString());
            r.command.settings.append({ K::CookieFile, text.isEmpty() ? text : QFileInfo(text).absoluteFilePath() });
        } else if (option == u"--access-type"_s) {
            if (!r.choice(
                    option, K::AccessType, { u"0"_s, u"1"_s, u"2"_s }, u"--access-type は 0、1 または 2 です。"_s))
                return false;
        } else if (option == u"--proxy"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ K::ProxyAddress, text });
        } else if (option == u"--port"_s) {
            if (!r.number(option, R::PortNo))
                return false;
        } else if (option == u"--timeout"_s) {
            if (!r.number(option, R::RequestTimeout))
                return false;
        } else if (option == u"--buffer-mb"_s) {
            if (!r.number(option, R::BuffLen))
                return false;
        } else if (option == u"--scan-limit-mb"_s) {
            if (!r.number(option, R::ScanLimitMb))
                return false;
        } else if (option == u"--user-agent"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ K::UserAgent, text });
        } else if (option == u"--yes"_s) {
            r.command.yes = true;
        } else if (option == u"--no-open"_s) {
            r.command.noOpen = true;
        } else {
            bool taken = false;
            if (!readConnectionOption(r, option, taken))
                return false;
            if (!taken)
                return r.fail(u"不明なオプションです: "_s + option);
        }
    }
    if (credential)
        r.command.settings.append({ K::AuthString, MakeBasicCredential(user, password) });
    return true;
}

bool readListOptions(Reader& r, bool images)
{
    const QString nameKey = images ? K::MakeGraphListFileName : K::MakeListFileName;
    const QString extsKey = images ? K::MakeGraphListExts : K::MakeListExts;
    const QString subKey = images ? K::MakeGraphSubDirCheck : K::MakeSubDirCheck;
    while (r.more()) {
        const QString option = r.next();
        QString text;
        if (option == u"--name"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ nameKey, text });
        } else if (option == u"--exts"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ extsKey, text });
        } else if (option == u"--no-subdirs"_s) {
            r.flag(subKey, false);
        } else if (option == u"--no-open"_s) {
            r.command.noOpen = true;
        } else if (!images && option == u"--per-page"_s) {
            if (!r.number(option, R::MakeListFileCount))
                return false;
        } else if (!images && (option == u"--movies"_s || option == u"--swf"_s)) {
            r.flag(option == u"--movies"_s ? K::MakeAviMovCheck : K::MakeSwfDcrCheck, true);
        } else if (images && (option == u"--rows"_s || option == u"--single"_s)) {
            const bool rows = option == u"--rows"_s;
            r.flag(K::MakeGraphMinCheck, rows);
            if (!r.number(option, rows ? R::MakeGraphMinNLine : R::MakeGraphListCount))
                return false;
        } else {
            return r.fail(u"不明なオプションです: "_s + option);
        }
    }
    return true;
}

bool readResumeOptions(Reader& r)
{
    while (r.more()) {
        const QString option = r.next();
        if (option == u"--list"_s || option == u"--no-list"_s)
            r.flag(K::ListViewCheck, option == u"--list"_s);
        else if (option == u"--yes"_s)
            r.command.yes = true;
        else if (option == u"--no-open"_s)
            r.command.noOpen = true;
        else {
            bool taken = false;
            if (!readConnectionOption(r, option, taken))
                return false;
            if (!taken)
                return r.fail(u"不明なオプションです: "_s + option);
        }
    }
    return true;
}

bool readAddress(Reader& r, const QString& address)
{
    if (address.isEmpty())
        return r.fail(u"サイトトップのアドレスを入力して下さい。"_s);
    if (!address.startsWith(u"http://"_s) && !address.startsWith(u"https://"_s))
        return r.fail(u"アドレスが不正です。"_s);
    r.command.address = address;
    return true;
}

} // namespace

Command ParseCommandLine(const QStringList& args)
{
    Command command;
    Reader r { args, 0, command };
    const QString verb = r.next();
    if (verb.isEmpty() || verb == u"--help"_s || verb == u"-h"_s || args.contains(u"--help"_s)) {
        command.kind = Command::Help;
        return command;
    }
    const bool lists = verb == u"list"_s;
    const QStringList valueOptions = lists ? ListValueOptions
        : verb == u"crawl"_s               ? CrawlValueOptions
        : verb == u"resume"_s              ? ResumeValueOptions
                                           : QStringList();
    QStringList positionals;
    QStringList options;
    if (!splitArguments(r, valueOptions, positionals, options))
        return command;
    Reader o { options, 0, command };
    if (verb == u"crawl"_s) {
        command.kind = Command::Crawl;
        if (!readAddress(r, positionals.value(0)))
            return command;
        const QString folder = positionals.value(1);
        if (folder.isEmpty()) {
            r.fail(u"保存先のフォルダを指定してください。"_s);
            return command;
        }
        if (!noMorePositionals(r, positionals, 2) || !readCrawlOptions(o))
            return command;
        command.folder = absoluteFolder(folder);
        command.createFolder = !QFileInfo(command.folder).isDir();
        command.settings.prepend({ K::SaveFolder, command.folder });
        command.settings.prepend({ K::SiteAddress, command.address });
        return command;
    }
    if (verb == u"resume"_s) {
        command.kind = Command::Resume;
        const QString folder = positionals.value(0);
        if (folder.isEmpty()) {
            r.fail(u"保存先のフォルダを指定してください。"_s);
            return command;
        }
        if (!noMorePositionals(r, positionals, 2) || !readResumeOptions(o))
            return command;
        command.folder = absoluteFolder(folder);
        command.address = positionals.value(1);
        command.settings.prepend({ K::SaveFolder, command.folder });
        return command;
    }
    if (lists) {
        const QString what = positionals.value(0);
        if (what == u"downloads"_s) {
            command.kind = Command::ListDownloads;
            if (!noMorePositionals(r, positionals, 1))
                return command;
            while (o.more()) {
                const QString option = o.next();
                if (option != u"--no-open"_s) {
                    o.fail(u"不明なオプションです: "_s + option);
                    break;
                }
                command.noOpen = true;
            }
            return command;
        }
        if (what == u"dir"_s || what == u"images"_s) {
            const bool images = what == u"images"_s;
            command.kind = images ? Command::ListImages : Command::ListDir;
            const QString folder = positionals.value(1);
            if (folder.isEmpty()) {
                r.fail(u"一覧を作成するディレクトリを指定してください。"_s);
                return command;
            }
            if (!noMorePositionals(r, positionals, 2))
                return command;
            command.folder = absoluteFolder(folder);
            command.settings.append({ images ? K::MakeGraphDirPath : K::MakeDirPath, command.folder });
            readListOptions(o, images);
            return command;
        }
        r.fail(u"list の次は downloads、dir または images です。"_s);
        return command;
    }
    r.fail(u"不明なコマンドです: "_s + verb);
    return command;
}
