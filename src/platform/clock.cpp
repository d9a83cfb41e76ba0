#include "platform/clock.h"

using namespace Qt::StringLiterals;

QDateTime SystemClock::now() const
{
    // The local time looks at the time zone's file at every call, once for each log line: the
    // offset is asked again only when the minute changes, as zones change it on whole minutes.
    thread_local qint64 minute = -1;
    thread_local int offset = 0;
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 thisMinute = utc.toMSecsSinceEpoch() / 60000;
    if (thisMinute != minute) {
        offset = utc.toLocalTime().offsetFromUtc();
        minute = thisMinute;
    }
    return utc.toOffsetFromUtc(offset);
}

QString ShortDateText(const QDate& date)
{
    return date.toString(u"yyyy/MM/dd"_s);
}

QString LongTimeText(const QTime& time)
{
    return time.toString(u"H:mm:ss"_s);
}

QString TimeStampText(const QDateTime& moment)
{
    return ShortDateText(moment.date()) + u' ' + LongTimeText(moment.time());
}
