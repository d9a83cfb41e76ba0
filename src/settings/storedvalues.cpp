#include "settings/storedvalues.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

std::optional<double> TextToNumber(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> TextToFlag(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(u"True"_s, Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"False"_s, Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<double> number = TextToNumber(trimmed);
    if (!number)
        return std::nullopt;
    return *number != 0;
}

std::optional<qint32> TextToInteger32(const QString& text)
{
    const std::optional<double> number = TextToNumber(text);
    if (!number)
        return std::nullopt;
    const double rounded = std::nearbyint(*number); // the default rounding mode: halves to even
    if (rounded < double(std::numeric_limits<qint32>::min()) || rounded > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(rounded);
}

qint64 ScaledSize(double value, qint64 unit)
{
    constexpr double limit = 9007199254740992.0; // 2^53: exact in a double, far beyond any file
    const double scaled = std::round(value * double(unit));
    return qint64(std::clamp(scaled, 0.0, limit));
}
