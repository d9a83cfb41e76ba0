#include "transfer/retryafter.h"

#include "transfer/curlrequest.h"

#include "platform/clock.h"

#include <QList>
#include <QLocale>
#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QByteArray headerValue(const QByteArray& headers, const QByteArray& name)
{
    for (const QByteArray& line : headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

// The three forms HTTP allows: IMF-fixdate, RFC 850 and asctime, always in GMT. The day's name is
// left out, as a two-digit year's weekday would not agree with the century Qt takes.
std::optional<QDateTime> httpDate(const QByteArray& value)
{
    QString text = QString::fromLatin1(value).simplified();
    const qsizetype comma = text.indexOf(u',');
    text = comma >= 0 ? text.mid(comma + 1).trimmed() : text.section(u' ', 1);
    for (const QString& format :
        { u"dd MMM yyyy hh:mm:ss 'GMT'"_s, u"dd-MMM-yy hh:mm:ss 'GMT'"_s, u"MMM d hh:mm:ss yyyy"_s }) {
        QDateTime moment = QLocale::c().toDateTime(text, format);
        if (!moment.isValid())
            continue;
        // A two-digit year names the century that puts it nearest, as HTTP asks.
        if (format.contains(u"-yy "_s) && moment.date().year() < 1970)
            moment = moment.addYears(100);
        moment.setTimeSpec(Qt::UTC);
        return moment;
    }
    return std::nullopt;
}

} // namespace

qint64 RetryAfterMs(const QByteArray& headers, const QDateTime& now)
{
    const int status = StatusCodeOf(headers);
    if (status != 429 && status != 503)
        return -1;
    const QByteArray value = headerValue(headers, "retry-after");
    qint64 wait = DefaultRetryAfterMs;
    bool seconds = false;
    const qint64 count = value.toLongLong(&seconds);
    if (seconds && count >= 0) {
        wait = std::min(count, LongestRetryAfterMs / 1000) * 1000;
    } else if (const std::optional<QDateTime> until = httpDate(value)) {
        const std::optional<QDateTime> sent = httpDate(headerValue(headers, "date"));
        wait = sent.value_or(now).msecsTo(*until);
    }
    return std::clamp<qint64>(wait, 0, LongestRetryAfterMs);
}

qint64 StatedRetryAfterMs(const QByteArray& headers, const QDateTime& now)
{
    // Asked of every answer on the network thread: the lines are looked at only for a 429 or 503.
    const int status = StatusCodeOf(headers);
    if ((status != 429 && status != 503) || headerValue(headers, "retry-after").isEmpty())
        return -1;
    return RetryAfterMs(headers, now);
}

qint64 RetryAfterMs(const QByteArray& headers, const Clock& clock)
{
    const int status = StatusCodeOf(headers);
    return status == 429 || status == 503 ? RetryAfterMs(headers, clock.now()) : -1;
}
