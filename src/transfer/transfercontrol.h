#pragma once
// What the crawl needs of an HTTP transfer component: one request at a time, run in the background,
// reporting progress as numbered state changes that are delivered only while the crawl pumps the
// control from its wait loops. A request:
//   control.execute(u"http://h/a.gif"_s, u"GET"_s, {}, u"User-Agent: \"x\"\r\nHost: h\r\n"_s);
//   while (control.busy()) { host.yield(); control.pump(10); }   // state handler reads the body
// The header lines are sent as given and in their order.

#include "transfer/presetproxy.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

class TransferControl {
public:
    // State numbers raised through the state handler; every other number is ignored by the crawl.
    enum State : int {
        ResponseReceiving = 8, // the final response's headers are complete, or more body bytes arrived
        Disconnected = 10, // the connection closed
        Error = 11, // the request failed; lastErrorCode() / lastErrorText() tell why
        ResponseCompleted = 12, // the whole response has arrived; the remaining body can be read
    };
    // Protocol numbers set from an address's scheme.
    enum Protocol : int { ProtocolDefault = 1, ProtocolFtp = 2, ProtocolHttp = 4, ProtocolHttps = 5 };
    // Access types: the system's proxy configuration, direct, or the named proxy.
    enum AccessType : int { AccessPreconfigured = 0, AccessDirect = 1, AccessNamedProxy = 2 };

    using StateHandler = std::function<void(int state)>;

    virtual ~TransferControl() = default;

    virtual void setStateHandler(StateHandler handler) = 0;

    // Starts a request and returns at once. verb is "GET" or "HEAD"; headerLines each end with CR LF.
    virtual void execute(
        const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines)
        = 0;
    // True from execute() until the request has finished, failed or been cancelled.
    virtual bool busy() const = 0;
    // Abandons the running request; harmless when idle. The control is idle afterwards.
    virtual void cancel() = 0;
    // Waits at most maxWaitMs for network activity (sleeping, never spinning), advances the request
    // and raises the state changes that resulted, on the calling thread.
    virtual void pump(int maxWaitMs) = 0;

    // The body bytes received and not read yet, in order; empty when there are none at the moment.
    // After ResponseCompleted an empty piece means the body is exhausted. The bytes stay valid until
    // the next call into the control: the control reuses its buffers rather than allocating one for
    // every piece.
    virtual QByteArrayView nextBodyPiece() = 0;
    // The raw header block of the last final response: lines ended by CR LF, the status line first;
    // empty when no response arrived.
    virtual QByteArray responseHeaders() const = 0;

    virtual int lastErrorCode() const = 0;
    virtual QString lastErrorText() const = 0;
    // Whether an error code says the connection failed rather than the server answered: refused,
    // reset, closed before any answer, or an HTTP/2 stream the server never took (a GOAWAY that
    // ended the connection before it). Sending such a request again is harmless.
    static bool isConnectionFailure(int errorCode)
    {
        // libcurl's COULDNT_CONNECT, HTTP2, GOT_NOTHING, SEND_ERROR, RECV_ERROR and HTTP2_STREAM.
        return errorCode == 7 || errorCode == 16 || errorCode == 52 || errorCode == 55 || errorCode == 56
            || errorCode == 92;
    }
    // What an error code means, in words a user reads in the window (libcurl's own text is English).
    static QString errorReason(int errorCode);

    // The most redirects followed in a row by the requests executed from now on; the one after them
    // is their answer.
    static constexpr int MostRedirects = 10;

    // The control's properties, held once here and read by whichever machinery runs the requests
    // (the easy handle, or every connection of the look-ahead) as it sends the next one.
    struct Settings {
        QString url; // the address of the request in progress or last executed
        int protocol = ProtocolDefault;
        int accessType = AccessPreconfigured;
        QString proxy; // "host:port", used when the access type is AccessNamedProxy
        // The system's own proxy settings, used when the access type is AccessPreconfigured; none:
        // libcurl reads the environment's.
        std::shared_ptr<const PresetProxy> presetProxy;
        int requestTimeout = 0; // seconds allowed for connecting and for silence; 0: no limit
        int remotePort = 0; // kept in the resume record and restored unchanged
        int redirectLimit = MostRedirects;
        bool http2 = false; // https requests offer HTTP/2, several requests at once on a connection
        // A 429 or 503 with Retry-After, to any request, holds its host for every connection.
        bool followRetryAfter = false;
        // Whether what a connection is opened and spoken with is the same.
        bool sameConnection(const Settings& other) const
        {
            // Each crawl reads the system's proxy anew: the same settings keep the connections.
            const bool samePreset = presetProxy == other.presetProxy
                || (presetProxy && other.presetProxy && *presetProxy == *other.presetProxy);
            return accessType == other.accessType && proxy == other.proxy && samePreset
                && requestTimeout == other.requestTimeout && http2 == other.http2;
        }
    };
    const Settings& settings() const { return m_settings; }
    void setSettings(const Settings& settings)
    {
        const Settings before = std::exchange(m_settings, settings);
        settingsChanged(before);
    }

    QString url() const { return m_settings.url; }
    void setUrl(const QString& address) { change(&Settings::url, address); }
    int protocol() const { return m_settings.protocol; }
    void setProtocol(int protocol) { change(&Settings::protocol, protocol); }
    int accessType() const { return m_settings.accessType; }
    void setAccessType(int accessType) { change(&Settings::accessType, accessType); }
    QString proxy() const { return m_settings.proxy; }
    void setProxy(const QString& proxy) { change(&Settings::proxy, proxy); }
    void setPresetProxy(const std::shared_ptr<const PresetProxy>& preset) { change(&Settings::presetProxy, preset); }
    int requestTimeout() const { return m_settings.requestTimeout; }
    void setRequestTimeout(int seconds) { change(&Settings::requestTimeout, seconds); }
    int remotePort() const { return m_settings.remotePort; }
    void setRemotePort(int port) { change(&Settings::remotePort, port); }
    void setRedirectLimit(int most) { change(&Settings::redirectLimit, most); }
    void setHttp2(bool on) { change(&Settings::http2, on); }
    void setFollowRetryAfter(bool on) { change(&Settings::followRetryAfter, on); }
    // The address the last response came from: url() after the redirects that were followed.
    virtual QString finalUrl() const = 0;

    // Look-ahead: a control with several connections may run requests it is told are coming before
    // they are executed, and serves execute() from such a prediction when address, verb and header
    // lines are identical, with the same states, headers, body and errors. Predictions are grouped
    // by a tag the caller chooses; those never executed are dropped with their tag. A control
    // without look-ahead ignores all of this and runs every request itself.
    // Connections at once, never more to one host (the executed request included); 1 predicts nothing.
    static constexpr int MostConnections = 16;
    virtual int connections() const { return 1; }
    virtual void setConnections(int connections) { Q_UNUSED(connections); }
    // The most requests run at once now, for how far ahead the crawl predicts: the connections, or
    // more once a server multiplexes them.
    virtual int requestsAtOnce() const { return connections(); }
    // The least time between the starts of two requests to the same host.
    virtual void setRequestInterval(int milliseconds) { Q_UNUSED(milliseconds); }
    // What a host asked of the crawl, kept by every connection: a longer least time between requests
    // to address's host (host and port) than the common one, and no request to it at all for
    // milliseconds from now; an answer fetched ahead that asked to wait is then asked again after it.
    virtual void setHostInterval(const QString& address, int milliseconds)
    {
        Q_UNUSED(address);
        Q_UNUSED(milliseconds);
    }
    virtual void holdHost(const QString& address, qint64 milliseconds)
    {
        Q_UNUSED(address);
        Q_UNUSED(milliseconds);
    }
    // Forgets what hosts asked, as a crawl starts.
    virtual void forgetHosts() { }
    // How long the executed request still waits before it is sent (an interval, a Crawl-delay or a
    // hold its host asked for), in milliseconds; 0 once it is out.
    virtual qint64 sendingWaitMs() const { return 0; }
    // The crawl's cookies: requests carry those that match them (domain, path, secure, expiry). With
    // keep, what a request's answers set joins them once the crawl has taken the request whole (not
    // one it cancelled), in the crawl's order, so every request carries the cookies it would with one
    // connection. text: the cookies.txt format browsers export; empty, without keep, no cookie is
    // kept or sent at all.
    virtual void setCookies(const QByteArray& text, bool keep)
    {
        Q_UNUSED(text);
        Q_UNUSED(keep);
    }
    // The cookies as the answers taken so far left them, in the cookies.txt format; empty without any.
    virtual QByteArray cookies() const { return {}; }
    // Changes whenever cookies() does, so a caller need not compare the text.
    virtual quint64 cookiesVersion() const { return 0; }
    virtual void predict(const QString& address, const QString& verb, const QString& headerLines, qint64 tag)
    {
        Q_UNUSED(address);
        Q_UNUSED(verb);
        Q_UNUSED(headerLines);
        Q_UNUSED(tag);
    }
    // The answer of a prediction that has arrived whole, left to be executed: its header block,
    // where it came from and its body, when the body is small enough to be at hand.
    virtual bool answerFetchedAhead(const QString& address, const QString& verb, const QString& headerLines,
        QByteArray& headers, QString& finalUrl, QByteArray& body) const
    {
        Q_UNUSED(address);
        Q_UNUSED(verb);
        Q_UNUSED(headerLines);
        Q_UNUSED(headers);
        Q_UNUSED(finalUrl);
        Q_UNUSED(body);
        return false;
    }
    // Cancels the predictions of tag that were not executed.
    virtual void dropPredictions(qint64 tag) { Q_UNUSED(tag); }
    // Cancels every prediction not executed.
    virtual void dropAllPredictions() { }

protected:
    // Told after the settings changed, with what they were.
    virtual void settingsChanged(const Settings& before) { Q_UNUSED(before); }

private:
    template <typename Value, typename Given> void change(Value Settings::*field, const Given& value)
    {
        Settings changed = m_settings;
        changed.*field = value;
        setSettings(changed);
    }

    Settings m_settings;
};
