#pragma once
// The six counters of a crawl, one value each, in the order of the main window's labels Count1 to
// Count6 and of the resume record's fields 19 to 24. The crawl state, the checkpoint, the resume
// record and every host hold them as this one type, indexed by Counter.
//   CrawlCounters c;  ++c[Counter::Download];  c.values  // {0, 1, 0, 0, 0, 0}

#include <QtGlobal>

#include <array>

enum class Counter : int { Detect, Download, Checked, Failure, Planned, ErrorResponse };
inline constexpr int CounterCount = 6;
inline constexpr std::array<Counter, CounterCount> AllCounters { Counter::Detect, Counter::Download, Counter::Checked,
    Counter::Failure, Counter::Planned, Counter::ErrorResponse };

struct CrawlCounters {
    std::array<qint32, CounterCount> values {};

    qint32& operator[](Counter counter) { return values[size_t(counter)]; }
    qint32 operator[](Counter counter) const { return values[size_t(counter)]; }
    void clear() { values.fill(0); }
    bool operator==(const CrawlCounters&) const = default;
};
