#pragma once
// What each origin (scheme, host and port) taught the look-ahead during a crawl: how quickly it
// answers, how many of our connections it takes at once, when we last dropped one of them in
// mid-request, and the plain rules the connection scheduler draws from that. Every rule takes the
// time (milliseconds on the scheduler's clock) as an argument.
//   OriginBook book;
//   book.reset(6);                                        // every origin may take 6 connections
//   book.answered(u"http://h:80"_s, 1000, 1040);          // started at 1000, headers at 1040
//   OriginBook::stalled(book.of(u"http://h:80"_s), 1000, 1400);  // true: 8 x 40 ms passed (and 2 x 40)
//   OriginBook::limitAfterRefusal(6, 2);                  // 2: no more than it answered on

#include <QHash>
#include <QString>

struct OriginState {
    int limit = 0; // connections it takes at once
    qint64 fastestMs = -1; // the quickest answer it gave, from start to headers; -1 before any
    qint64 slowestMs = -1; // and the slowest
    qint64 lastAnsweredStart = -1; // when the latest request it answered had started
    qint64 abandonedAt = -1; // when we last dropped a connection to it in mid-request
};

class OriginBook {
public:
    // How often a refused request is sent again, and the first pause before it: the pause doubles
    // each time, so a server that still counts a connection we dropped has time to let it go.
    static constexpr int MostResends = 4;
    static constexpr qint64 ResendPauseMs = 100;
    // A dropped connection may still be counted by the server for about this long.
    static constexpr qint64 AbandonMemoryMs = 2000;
    // A request is held up when it waited this many times the origin's quickest answer, and at
    // least the floor, for its own; and twice its slowest, as a server whose answers take their
    // own time is only slow.
    static constexpr int StallFactor = 8;
    static constexpr int StallSlowFactor = 2;
    static constexpr qint64 StallFloorMs = 100;
    // A prediction the server may have begun on gives its connection up to the crawl's own request
    // only when it is held up and has waited at least this long for its answer: cut off, it would
    // reach the server twice, but a server that never answers it must not hold the crawl up.
    static constexpr qint64 GiveWayFloorMs = 2000;

    // Forgets every origin; each new one may take connections at once.
    void reset(int connections);
    // The origin's state, made with the common limit when it is new.
    OriginState& of(const QString& origin);
    // A request to origin that started at startedAt was answered (its headers came) at now.
    void answered(const QString& origin, qint64 startedAt, qint64 now);
    // We dropped a connection to origin in mid-request at now.
    void abandoned(const QString& origin, qint64 now) { of(origin).abandonedAt = now; }
    // Whether a connection we dropped may still be counted by the origin's server at now.
    bool justAbandoned(const QString& origin, qint64 now);

    // Whether a request sent at sentAt and not answered by now is held up.
    static bool stalled(const OriginState& origin, qint64 sentAt, qint64 now);
    // When a prediction sent at sentAt (the hop in progress) and not answered may give its connection
    // up; -1 never, its hop waiting for the interval.
    static qint64 givesWayAt(const OriginState& origin, qint64 sentAt);
    // The connections an origin takes after it refused one of several: one fewer, and no more than
    // it has answered on (answered 0: one fewer alone); never below one.
    static int limitAfterRefusal(int limit, int answered);
    // The pause before the resends-th sending again of a refused request (resends from 1).
    static qint64 resendPause(int resends) { return ResendPauseMs << (resends - 1); }

private:
    int m_connections = 1;
    QHash<QString, OriginState> m_origins;
};
