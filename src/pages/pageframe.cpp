#include "pages/pageframe.h"

#include "platform/codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

QString ListBanner()
{
    return u"<P align=\"center\"><FONT face=\"Impact\"><I><B>"
           "<FONT size=\"+3\" color=\"#ff0000\">F</FONT>"
           "<FONT size=\"+3\" color=\"#ff0000\">et</FONT>"
           "<FONT color=\"#0000ff\"><FONT size=\"+3\">c</FONT></FONT>"
           "<FONT color=\"#0000ff\"><FONT size=\"+3\">hw</FONT></FONT>"
           "<FONT color=\"#000000\"><FONT size=\"+3\">right</FONT></FONT>"
           "</B></I> </FONT></P>"_s;
}

QString ListFooter()
{
    return u"<ADDRESS>Fetchwright</ADDRESS>"_s;
}

QString HtmlEscaped(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            escaped += u"&amp;";
            break;
        case u'<':
            escaped += u"&lt;";
            break;
        case u'>':
            escaped += u"&gt;";
            break;
        case u'"':
            escaped += u"&quot;";
            break;
        case u'\'':
            escaped += u"&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString PathTarget(const QString& path)
{
    QString target;
    target.reserve(path.size());
    for (QChar c : path) {
        switch (c.unicode()) {
        case u'%':
            target += u"%25";
            break;
        case u'#':
            target += u"%23";
            break;
        case u'?':
            target += u"%3F";
            break;
        default:
            target += c;
        }
    }
    return HtmlEscaped(target);
}

qint64 PageCountFor(qint64 count, qint64 perPage)
{
    if (count <= 0 || perPage <= 0)
        return 0;
    return (count + perPage - 1) / perPage;
}

QByteArray EncodePageText(const QString& text)
{
    return EncodeCodePage(text, [](char32_t c) { return u"&#"_s + QString::number(uint(c)) + u';'; });
}

ListPageWriter::ListPageWriter(PageFrame frame, Opener openFirstPage)
    : m_frame(std::move(frame))
    , m_open(std::move(openFirstPage))
{
    if (m_frame.pageCount > 1)
        for (qint64 k = 1; k <= m_frame.pageCount; ++k)
            m_index += u"<a href=\""_s + PathTarget(pagePath(k)) + u"\">"_s + QString::number(k) + u"</a>　"_s;
}

QString ListPageWriter::pagePath(qint64 n) const
{
    return m_frame.basePath + QString::number(n) + u".html"_s;
}

namespace {

QByteArray markLine(const QString& mark)
{
    return "<meta name=\"generator\" content=\"Fetchwright " + mark.toUtf8() + "\">";
}

} // namespace

QStringList ListPageWriter::foreignFiles() const
{
    QStringList foreign;
    const QByteArray mark = markLine(m_frame.mark);
    for (qint64 n = 1; n <= std::max<qint64>(m_frame.pageCount, 1); ++n) {
        QFile page(pagePath(n));
        // The mark stands in the head, within the first lines.
        if (QFileInfo(page).isFile() && !(page.open(QIODevice::ReadOnly) && page.read(1024).contains(mark)))
            foreign.append(QDir::toNativeSeparators(pagePath(n)));
    }
    return foreign;
}

IoStatus ListPageWriter::claimFiles(CrawlHost& host) const
{
    const QStringList foreign = foreignFiles();
    if (foreign.isEmpty() || host.mayReplaceFiles(foreign))
        return IoStatus::success();
    IoStatus declined = IoStatus::failure(foreign.constFirst(), u"一覧ページではないため、上書きしませんでした。"_s);
    declined.declined = true;
    return declined;
}

QString ListPageWriter::indexText() const
{
    return m_index;
}

QStringList ListPageWriter::navigationLines(qint64 n, bool last) const
{
    if (m_frame.pageCount <= 1)
        return { QString() };
    QStringList lines { QString(), u"<table width=\"80%\" align=\"center\"><tr>"_s };
    if (n > 1)
        lines.append(u"<td align=\"left\"><a href=\""_s + PathTarget(pagePath(n - 1)) + u"\">戻る</a></td>"_s);
    lines.append(u"<td align=\"right\"><a href=\""_s + PathTarget(pagePath(n + 1)) + u"\">"_s
        + (last ? QString() : u"次へ"_s) + u"</a></td></tr></table>"_s);
    return lines;
}

void ListPageWriter::startPage(qint64 n)
{
    m_page = n;
    m_body.clear();
}

IoStatus ListPageWriter::finishPage(bool last)
{
    const qint64 n = m_page;
    const QString subject = HtmlEscaped(m_frame.subject) + m_frame.kindPhrase;
    QStringList lines { u"<html><meta http-equiv=\"Content-type\" content=\"text/html;CHARSET=Shift_jis\">"_s,
        QString::fromUtf8(markLine(m_frame.mark)), u"<title>"_s + subject + QString::number(n) + u"</title>"_s,
        u"<body>"_s, ListBanner(), subject + u"<br>　<b>"_s + QString::number(n) + u"</b>　ページ<hr>"_s };
    lines += m_frame.summaryLines;
    lines.append(u"<center>"_s + m_index + u"</center>"_s);
    const QStringList navigation = navigationLines(n, last);
    lines += navigation;
    lines += m_frame.afterNavigation;
    lines += m_body;
    lines += m_frame.beforeClosing;
    lines.append(u"<hr>"_s);
    lines += navigation;
    if (m_frame.indexLineEndsWithRule) {
        lines.append(u"<center>"_s + m_index + u"</center><hr>"_s);
    } else {
        lines.append(u"<center>"_s + m_index + u"</center>"_s);
        lines.append(u"<hr>"_s);
    }
    lines.append(ListFooter() + u"</body></html>"_s);

    QString text;
    for (const QString& line : std::as_const(lines))
        text += u"\r\n"_s + line;
    text += u"\r\n"_s;
    const IoStatus written = OverwriteFile(pagePath(n), EncodePageText(text));
    if (written && n == 1 && m_open)
        m_open(pagePath(n));
    return written;
}
