#pragma once
// What each origin (scheme, host and port) taught the look-ahead during a crawl: how quickly it
// answers, how many of our connections it takes at once, when we last dropped one of them in
// mid-request, and the plain rules the connection scheduler draws from that. Every rule takes the
// time (milliseconds on the scheduler's clock) as an argument.
//   OriginBook book;
//   book.reset(6);                                        // every origin may take 6 connections
//   book.answered(u"http://h:80"_s, 1000, 1040);          // started at 1000, headers at 1040
//   OriginBook::stalled(book.of(u"http://h:80"_s), 1000, 1400);  // true: 8 x 40 ms passed
//   OriginBook::limitAfterRefusal(6, 2);                  // 2: no more than it answered on

#include <QHash>
#include <QString>
#include <limits>

struct OriginState {
    int limit = 0; // connections it takes at once
    qint64 fastestMs = -1; // the quickest answer it gave, from start to headers; -1 before any
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
    // least the floor, for its own.
    static constexpr int StallFactor = 8;
    static constexpr qint64 StallFloorMs = 100;
    // A prediction sent to an origin that has answered nothing yet gives its connection up to the
    // crawl's own request after this long without an answer.
    static constexpr qint64 SilentGiveWayMs = 2000;

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
    // When a running prediction may give its connection up to the crawl's own request: at once (-1)
    // when nothing of it was sent; else only once it is held up (waiting for its answer StallFactor
    // times the origin's quickest answer, sentAt the hop in progress's sending) while a request
    // started after it was answered, or SilentGiveWayMs after startedAt at an origin that answered
    // nothing at all; NotYet while neither can be told. A request cut off after the server began on
    // it would reach the server twice.
    static constexpr qint64 NotYet = std::numeric_limits<qint64>::max();
    static qint64 mayGiveWayAt(const OriginState& origin, bool sent, qint64 startedAt, qint64 sentAt);
    // The connections an origin takes after it refused one of several: one fewer, and no more than
    // it has answered on (answered 0: one fewer alone); never below one.
    static int limitAfterRefusal(int limit, int answered);
    // The pause before the resends-th sending again of a refused request (resends from 1).
    static qint64 resendPause(int resends) { return ResendPauseMs << (resends - 1); }

private:
    int m_connections = 1;
    QHash<QString, OriginState> m_origins;
};
