#include "platform/clock.h"

using namespace Qt::StringLiterals;

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
