#include "cli/terminalhost.h"

#include "crawl/crawlstate.h"
#include "platform/shell.h"
#include "platform/terminal.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr const char16_t* CounterLabels[CounterCount]
    = { u"検出数", u"ダウンロード数", u"検査済ファイル数", u"障害数", u"予定ダウンロード数", u"エラーレスポンス数" };

// Status lines are redrawn at most this often.
constexpr qint64 RedrawMilliseconds = 250;
// Events are handled at most this often.
constexpr qint64 EventMilliseconds = 20;

} // namespace

TerminalHost::TerminalHost(Shell& shell, bool interactive, bool answerYes, bool openDocuments)
    : m_shell(shell)
    , m_interactive(interactive)
    , m_answerYes(answerYes)
    , m_openDocuments(openDocuments)
{
    m_sinceDrawn.start();
}

void TerminalHost::watchSignals(CrawlState& state)
{
    m_state = &state;
    WatchStopSignals();
}

void TerminalHost::yield()
{
    // Nothing here waits on events as a window does: a turn of the event loop per record, a poll of
    // its own, is work the crawl need not do that often.
    if (!m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= EventMilliseconds) {
        QCoreApplication::processEvents();
        m_sinceEvents.start();
    }
    if (m_state && StopSignalled())
        m_state->StopRequested = true;
    // What changed since the last draw is shown once its turn comes, even when nothing else changes
    // (a countdown's first second, the address after it).
    if (m_stale)
        drawStatus(false);
}

bool TerminalHost::askOkCancel(const QString& text)
{
    endStatusLine();
    if (m_answerYes)
        return true;
    QTextStream out(stderr);
    if (!StandardInputIsTerminal()) {
        out << text << u" ⇒ Cancel (--yes で OK)"_s << Qt::endl; // nobody to ask
        return false;
    }
    out << text << u" [OK/Cancel]: "_s << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == u"ok"_s || answer == u"y"_s || answer == u"yes"_s;
}

void TerminalHost::showMessage(const QString& text)
{
    endStatusLine();
    m_messageShown = true;
    QTextStream(stderr) << text << Qt::endl;
}

bool TerminalHost::mayReplaceFiles(const QStringList& paths)
{
    // Nothing a list writes is worth a user's file: the command line never replaces one.
    showMessage(paths.join(u'\n') + u"\nは一覧ページではないため、上書きしません。一覧を作りませんでした。"_s);
    return false;
}

void TerminalHost::setCounter(Counter counter, qint64 value)
{
    m_counters[size_t(counter)] = value;
    drawStatus(false);
}

void TerminalHost::setCurrentAddress(const QString& text)
{
    m_address = text;
    drawStatus(false);
}

void TerminalHost::openDocument(const QString& path)
{
    endStatusLine();
    QTextStream(stdout) << path << Qt::endl;
    // The path is on stdout already; say why no browser came up.
    if (m_openDocuments && !m_shell.openDocument(path))
        QTextStream(stderr) << u"ページをブラウザで開けませんでした。"_s << Qt::endl;
}

QString TerminalHost::countersLine() const
{
    QStringList parts;
    for (Counter counter : AllCounters)
        parts.append(
            QString::fromUtf16(CounterLabels[size_t(counter)]) + u' ' + QString::number(this->counter(counter)));
    return parts.join(u"  "_s);
}

void TerminalHost::drawStatus(bool force)
{
    if (!m_interactive)
        return;
    m_stale = !force && m_statusShown && m_sinceDrawn.elapsed() < RedrawMilliseconds;
    if (m_stale)
        return;
    m_sinceDrawn.restart();
    m_statusShown = true;
    QString line = countersLine() + u"  "_s + m_address;
    if (line.size() > 200)
        line = line.left(197) + u"..."_s;
    QTextStream(stderr) << clearedLine(line) << Qt::flush;
}

// The status line's text drawn over the last one: cleared by the terminal's escape, or where the
// console takes none (Windows' older consoles), padded with blanks over what the last one showed.
QString TerminalHost::clearedLine(const QString& line)
{
    const auto width = [](const QString& text) {
        qsizetype columns = 0;
        for (QChar c : text)
            columns += c.unicode() >= 0x1100 && !(c.unicode() >= 0xFF61 && c.unicode() <= 0xFF9F) ? 2 : 1;
        return columns;
    };
    const qsizetype shown = std::exchange(m_shownWidth, width(line));
    if (StandardErrorTakesEscapes())
        return u"\r\x1b[K"_s + line;
    const qsizetype pad = std::max<qsizetype>(0, shown - m_shownWidth);
    return u'\r' + line + QString(pad, u' ') + QString(pad > 0 ? u"\r"_s + line : QString());
}

void TerminalHost::endStatusLine()
{
    if (!m_statusShown)
        return;
    m_statusShown = false;
    QTextStream(stderr) << clearedLine(QString()) << u'\r' << Qt::flush;
}
