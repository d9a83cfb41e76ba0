// A page scanned through link resolution and probing, with a transfer control that answers each
// request from the input's script: 200, 404, 405 (then the GET stand-in), 401 (then the retry with
// the credential), 206, 500 or a transfer error. Every queued record is a whole, escaped, in-scope
// work record of this page; every address is detected and logged once, probed at most twice, and
// queued exactly when its last answer lets it be. The page may have been found after a redirect.

#include "crawl/crawlcontext.h"
#include "crawl/linkaddress.h"
#include "crawl/linkscanner.h"
#include "crawl/transport.h"
#include "records/logs.h"
#include "records/recordfile.h"
#include "records/recordline.h"
#include "records/resumerecord.h"
#include "records/worklists.h"
#include "settings/settingsstore.h"
#include "support/fixedclock.h"

#include "fuzzsupport.h"

#include <QHash>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class ScriptedTransfer final : public TransferControl {
public:
    enum Answer { Ok, NotFound, NotAllowed, Unauthorised, Partial, ServerError, TransferError, AnswerCount };
    struct Request {
        QString address;
        QString verb;
        Answer answer;
    };

    explicit ScriptedTransfer(std::vector<uint8_t> script)
        : m_script(std::move(script))
    {
        setProtocol(ProtocolHttp);
    }

    QList<Request> requests;

    void setStateHandler(StateHandler handler) override { m_handler = std::move(handler); }
    void execute(const QString& address, const QString& verb, const QByteArray&, const QString&) override
    {
        const uint8_t step = m_script.empty() ? 0 : m_script[m_next++ % m_script.size()];
        m_answer = Answer(step % AnswerCount);
        m_length = step / AnswerCount;
        setUrl(address);
        m_headers.clear();
        m_busy = true;
        requests.append({ address, verb, m_answer });
    }
    bool busy() const override { return m_busy; }
    void cancel() override { m_busy = false; }
    void pump(int) override
    {
        if (!m_busy)
            return;
        if (m_answer == TransferError) {
            m_busy = false;
            raise(Error);
            return;
        }
        static const char* const statusLines[]
            = { "HTTP/1.1 200 OK", "HTTP/1.1 404 Not Found", "HTTP/1.1 405 Method Not Allowed",
                  "HTTP/1.1 401 Unauthorized", "HTTP/1.1 206 Partial Content", "HTTP/1.1 500 Internal Server Error" };
        m_headers = QByteArray(statusLines[m_answer]) + "\r\nContent-Type: text/html\r\n";
        if (m_length % 3 != 0)
            m_headers += "Content-Length: " + QByteArray::number(m_length * 100) + "\r\n";
        if (m_length % 2 != 0)
            m_headers += "ETag: \"e" + QByteArray::number(m_length) + "\"\r\nAccept-Ranges: bytes\r\n";
        m_headers += "\r\n";
        raise(ResponseReceiving);
        if (!m_busy)
            return; // abandoned after its headers
        m_busy = false;
        raise(ResponseCompleted);
    }
    QByteArrayView nextBodyPiece() override { return {}; }
    QByteArray responseHeaders() const override { return m_headers; }
    int lastErrorCode() const override { return m_answer == TransferError ? 28 : 0; }
    QString lastErrorText() const override { return m_answer == TransferError ? u"Timeout was reached"_s : QString(); }
    QString finalUrl() const override { return url(); }

private:
    void raise(int state)
    {
        if (m_handler)
            m_handler(state);
    }

    std::vector<uint8_t> m_script;
    size_t m_next = 0;
    Answer m_answer = Ok;
    int m_length = 0;
    bool m_busy = false;
    QByteArray m_headers;
    StateHandler m_handler;
};

class SilentHost final : public CrawlHost {
public:
    void yield() override { }
    bool askOkCancel(const QString& text) override { FuzzFail("a question during a page scan", text); }
    void showMessage(const QString& text) override { FuzzFail("a message during a page scan", text); }
    void setCounter(Counter, qint64) override { }
    void setCurrentAddress(const QString&) override { }
    void setCaption(const QString&) override { }
    void stepProgress() override { }
    void resetProgress() override { }
    void openDocument(const QString&) override { }
};

QStringList recordLinesOf(const QString& path)
{
    return ReadRecordLines(path).value_or(QStringList());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString site = ScratchDir() + u"/site"_s;
    EmptyFolder(site);
    static SettingsStore settings(ScratchDir() + u"/settings.conf"_s);
    static const FixedClock clock;

    static const QStringList pages { u"http://h/a/index.html"_s, u"http://h/a/b/"_s, u"http://h/a/page"_s,
        u"http://k:8080/x/y.html"_s, u"https://h/a/s.html"_s };
    const QString page = pages[data.ConsumeIntegralInRange<qsizetype>(0, pages.size() - 1)];
    // Where the page was found after a redirect, when it was: its links resolve against that.
    const QString foundAt
        = data.ConsumeBool() ? pages[data.ConsumeIntegralInRange<qsizetype>(0, pages.size() - 1)] : QString();

    CrawlState s;
    s.SiteDir = site;
    s.TopAddr = u"http://h/a/index.html"_s;
    s.TopRoot = u"http://h/"_s;
    s.TopBase = u"http://h/a/"_s;
    s.SearchType = qint16(data.ConsumeIntegralInRange(1, 3));
    s.CurDepth = qint16(data.ConsumeIntegralInRange(0, 3));
    s.NoDirTree = data.ConsumeBool();
    s.SkipSameName = data.ConsumeBool();
    s.NumberDuplicates = data.ConsumeBool();
    s.MaxSize = data.ConsumeBool() ? 0 : 1000;
    s.RefChain = s.TopAddr + u'\t' + page;
    s.WorkList = WorkListPath(site, 0);
    s.AuthString = u"dXNlcjpwYXNz"_s;
    s.UserAgent = u"fuzz"_s;
    s.FetchKind = BodyKind::Text;
    const auto syntax = LinkSyntax(data.ConsumeIntegralInRange(0, 2));

    const std::vector<uint8_t> script = data.ConsumeBytes<uint8_t>(data.ConsumeIntegralInRange(1, 12));
    const QString text = FuzzedText(data, data.remaining_bytes());

    // The resume record is written once per record by the fetch loop, never while a page is scanned.
    FUZZ_CHECK(bool(WriteResumeRecord(ResumeRecordPath(site), ResumeRecord())), site);

    ScriptedTransfer transfer(script);
    SilentHost host;
    CrawlContext context(s, host, transfer, settings, clock);
    transfer.setStateHandler([&context](int state) { OnTransferStateChanged(context, state); });
    ScanPageLinks(context, page, text, foundAt, syntax);

    // Detected: each address once, in the log as in the state, and counted.
    const QStringList detected = s.DetectedAddrs.inOrder();
    FUZZ_CHECK(s.Counters[Counter::Detect] == detected.size(), QString::number(s.Counters[Counter::Detect]));
    QStringList logged;
    for (const QString& line : recordLinesOf(LogPath(site, DetectedLogName)))
        logged.append(SplitRecordLine(line).value(0));
    FUZZ_CHECK(logged == detected, logged.join(u' '));
    FUZZ_CHECK(QSet<QString>(detected.begin(), detected.end()).size() == detected.size(), detected.join(u' '));
    const std::optional<ResumeRecord> resume = ReadResumeRecord(ResumeRecordPath(site));
    FUZZ_CHECK(resume && resume->toFields() == ResumeRecord().toFields(), site);

    // Probes: only detected addresses, at most two HEAD requests each; the last answer decides.
    QHash<QString, int> heads;
    QHash<QString, ScriptedTransfer::Answer> lastAnswer;
    for (const ScriptedTransfer::Request& request : transfer.requests) {
        FUZZ_CHECK(s.DetectedAddrs.contains(request.address), request.address);
        if (request.verb == u"HEAD"_s)
            ++heads[request.address];
        lastAnswer[request.address] = request.answer;
    }
    for (auto it = heads.cbegin(); it != heads.cend(); ++it)
        FUZZ_CHECK(it.value() <= 2, it.key());

    // Queued: whole work records of this page's links, in scope, each once.
    QSet<QString> queued;
    for (const QString& line : recordLinesOf(s.WorkList)) {
        const QStringList fields = SplitRecordLine(line);
        FUZZ_CHECK(fields.size() == WorkRecord::FieldCount, line);
        const WorkRecord record = WorkRecord::fromFields(fields);
        const QString& address = record.address;
        FUZZ_CHECK(address.startsWith(u"http"_s) && !address.contains(u'#'), address);
        FUZZ_CHECK(EncodeForWire(address) == address, address);
        FUZZ_CHECK(InScope(address, s.SearchType, s.TopRoot, s.TopBase), address);
        FUZZ_CHECK(s.DetectedAddrs.contains(address) && !queued.contains(address), address);
        FUZZ_CHECK(record.depth == QString::number(s.CurDepth), line);
        FUZZ_CHECK(record.referrerChain == s.RefChain + u'\t' + address, line);
        FUZZ_CHECK(!record.contentLength.isEmpty(), line);
        queued.insert(address);
    }
    for (const QString& address : detected) {
        const ScriptedTransfer::Answer answer = lastAnswer.value(address);
        const bool followable
            = answer == ScriptedTransfer::Ok || (answer == ScriptedTransfer::Partial && heads.value(address) < 2);
        FUZZ_CHECK(queued.contains(address) == followable, address);
    }
    return 0;
}
