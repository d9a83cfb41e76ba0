#include "settings/numberrules.h"

#include "settings/storedvalues.h"

#include <QLocale>

#include <cmath>

using namespace Qt::StringLiterals;

QString NumberRule::rangeMessage() const
{
    return name + u"は"_s + QString::number(minimum) + u"から"_s + QString::number(maximum)
        + u"の数値で入力して下さい。"_s;
}

QString SizeLimitsProblem(const QString& minimumKb, const QString& maximumKb)
{
    const double minimum = minimumKb.toDouble();
    const double maximum = maximumKb.toDouble();
    if (maximum <= 0 || minimum <= maximum)
        return {};
    return NumberRules::MinSize.name + u"が"_s + NumberRules::MaxSize.name
        + u"より大きいため、ファイルを１つもダウンロードできません。"_s;
}

QString TrimBlanks(const QString& text)
{
    // QChar::isSpace takes in U+3000 and the line breaks with the ASCII blanks.
    return text.trimmed();
}

QString NumberText(const QString& text)
{
    QString ascii = TrimBlanks(text);
    for (QChar& c : ascii) {
        const char16_t u = c.unicode();
        if (u >= u'０' && u <= u'９')
            c = QChar(u'0' + (u - u'０'));
        else if (u == u'．')
            c = u'.';
        else if (u == u'－' || u == u'−') // full-width hyphen-minus and the minus sign
            c = u'-';
        else if (u == u'＋')
            c = u'+';
    }
    return ascii;
}

NumberReading ReadNumber(const NumberRule& rule, const QString& text, Fraction whole)
{
    NumberReading reading;
    std::optional<double> number = TextToNumber(NumberText(text));
    if (number && !rule.fraction) {
        if (whole == Fraction::Refuse && *number != std::trunc(*number))
            number.reset();
        else
            number = std::nearbyint(*number); // the default rounding mode: halves to even
    }
    if (!number) {
        // Named as the range message names it: a dialog has several boxes.
        reading.message = rule.name + u"は"_s + rule.notANumber;
        return reading;
    }
    if (*number < double(rule.minimum) || *number > double(rule.maximum)) {
        reading.message = rule.rangeMessage();
        return reading;
    }
    reading.value = *number + 0.0; // no "-0"
    reading.text = rule.fraction ? QString::number(*reading.value, 'f', QLocale::FloatingPointShortest)
                                 : QString::number(qint64(*reading.value));
    return reading;
}
