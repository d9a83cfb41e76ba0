#pragma once
// The current time and the system's short date and long time formats used in record time stamps
// and on the main window. Time is passed in as a Clock so that a test can fix it.
// Linux has no system-wide pair of formats, so the Japanese defaults stand: 2026/12/07 9:05:03.

#include <QDateTime>
#include <QString>

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

QString ShortDateText(const QDate& date);
QString LongTimeText(const QTime& time);
// Short date, one blank, long time: the time stamp of every log record.
QString TimeStampText(const QDateTime& moment);
