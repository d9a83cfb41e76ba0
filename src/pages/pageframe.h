#pragma once
// The frame every HTML list page shares: numbered page files (base path + N + ".html"), Shift_JIS
// text in which every line is preceded by CR LF (so a page begins with an empty line), a head with
// the banner and the page index, navigation tables at the top and bottom, and closing lines.
// The last page's next-links keep no text. Names, paths and addresses are escaped, so nothing a
// site names its files can run as script in a page.

#include "crawl/crawlhost.h"
#include "platform/filesystem.h"

#include <QString>
#include <QStringList>
#include <functional>

QString ListBanner();
QString ListFooter();

// Escapes the characters HTML gives a meaning to, for text and for attribute values.
QString HtmlEscaped(const QString& text);
// A local path as a link or image target: "%", "#" and "?" are percent-encoded so the browser
// takes them as part of the file name, then the result is escaped.
QString PathTarget(const QString& path);

// The smallest whole number not less than count / perPage; 0 for no entries.
qint64 PageCountFor(qint64 count, qint64 perPage);

struct PageFrame {
    QString basePath; // page N is basePath + N + ".html"
    qint64 pageCount = 0; // P
    QString subject; // shown in the title and the heading, escaped here
    QString kindPhrase;
    QStringList summaryLines; // head line 6
    QStringList afterNavigation; // lines after the top navigation (the thumbnail table's start)
    QStringList beforeClosing; // lines before the closing lines (the thumbnail table's end)
    bool indexLineEndsWithRule = true; // "<center>index</center><hr>" as one line, else two lines
    // Which list the pages belong to, written into each page's head: a later run replaces the pages
    // that carry it and no other file.
    QString mark;
};

// Builds the pages of one run one after the other and writes each when it is finished.
class ListPageWriter {
public:
    using Opener = std::function<void(const QString& path)>;
    ListPageWriter(PageFrame frame, Opener openFirstPage);

    QString pagePath(qint64 n) const;
    // The files the pages would replace that are not pages of this list: a user's own, or another
    // list's written under the same name.
    QStringList foreignFiles() const;
    // Whether the pages may be written: foreign files are replaced only when host agrees; declined,
    // nothing is written.
    IoStatus claimFiles(CrawlHost& host) const;
    QString indexText() const;
    // The navigation lines of page n; on the last page the next-links have no text.
    QStringList navigationLines(qint64 n, bool last) const;

    void startPage(qint64 n);
    void addLines(const QStringList& lines) { m_body += lines; }
    // Writes the page; page 1 is opened as soon as it is written.
    IoStatus finishPage(bool last);
    qint64 currentPage() const { return m_page; }

private:
    PageFrame m_frame;
    Opener m_open;
    QString m_index;
    qint64 m_page = 0;
    QStringList m_body;
};

// Encodes page text as Shift_JIS; characters it cannot hold become numeric character references.
QByteArray EncodePageText(const QString& text);
