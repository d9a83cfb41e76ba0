#pragma once
// An answer that asks the client to come back later: 429 (too many requests) or 503 (unavailable),
// with Retry-After in seconds or as an HTTP date, which is read against the answer's own Date so
// that a server whose clock is off still gets the wait it meant.
//   RetryAfterMs("HTTP/1.1 429 Too Many Requests\r\nRetry-After: 30\r\n\r\n", now) // 30000

#include <QByteArray>
#include <QDateTime>

class Clock;

// The wait when the answer names none, and the longest one taken at a time.
inline constexpr qint64 DefaultRetryAfterMs = 5000;
inline constexpr qint64 LongestRetryAfterMs = 120000;
// How often one request is sent again after such answers before the last one stands.
inline constexpr int MostRetryAfterResends = 3;

// How long the answer asks us to wait, in milliseconds, 0 to LongestRetryAfterMs; -1 when it is no
// such answer. now: the current time, used when the answer carries no Date.
qint64 RetryAfterMs(const QByteArray& headers, const QDateTime& now);
// The same for an answer that names its wait in a Retry-After line; -1 for any other.
qint64 StatedRetryAfterMs(const QByteArray& headers, const QDateTime& now);
// The same, reading the clock only for an answer that may ask for a wait: the local time costs a
// look at the time zone, and nearly every answer is no such answer.
qint64 RetryAfterMs(const QByteArray& headers, const Clock& clock);
