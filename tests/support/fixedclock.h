#pragma once
// A clock that tells the time the test sets.

#include "platform/clock.h"

class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime moment = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)))
        : m_moment(std::move(moment))
    {
    }
    QDateTime now() const override { return m_moment; }
    void set(const QDateTime& moment) { m_moment = moment; }

private:
    QDateTime m_moment;
};
