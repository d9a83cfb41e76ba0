#pragma once
// The pacer's turn for each hop of one request (the first one and each that follows a redirect): a
// hop is sent only when the pacer lets its host go, and libcurl's own re-send of it, on a new
// connection when a kept-alive one turned out closed, waits its turn too.
//   HopPacing pacing;
//   pacing.setPacer(&pacer);
//   if (pacing.start(u"http://h/a"_s)) send();   // else held: ask delay() and start again later
//   pacing.sent();                                // as it is sent
//   pacing.sending();                             // from libcurl's pre-request callback

#include "transfer/requestpacer.h"

#include <QString>

class HopPacing {
public:
    // Without a pacer (the default) every hop goes at once.
    void setPacer(RequestPacer* pacer) { m_pacer = pacer; }
    // A hop to address is about to start: true when it may be sent now, else it is held.
    bool start(const QString& address);
    bool held() const { return m_held; }
    // Milliseconds until a held hop may be sent; -1 when none is held.
    qint64 delay() const;
    // The hop is sent now.
    void sent();
    // When the hop in progress was sent, on the pacer's clock; -1 while held or without a pacer.
    qint64 sentAt() const { return m_held ? -1 : m_sentAt; }
    // libcurl begins to send the hop: false when that is a re-send that came too soon, which is
    // then held (resendHeld) to be started again later.
    bool sending();
    bool resendHeld() const { return m_resendHeld; }
    // Whether libcurl began to send the hop: its connection is up and the request may have reached
    // the server.
    bool began() const { return !m_held && m_sends > 0; }
    // Forgets the hop, as its request is abandoned.
    void clear();

private:
    RequestPacer* m_pacer = nullptr;
    QString m_host;
    bool m_held = false; // the hop waits for the pacer before it is sent
    qint64 m_sentAt = -1;
    int m_sends = 0; // how often libcurl began to send the hop
    bool m_resendHeld = false; // libcurl's re-send came too soon and was stopped, to be sent later
};
