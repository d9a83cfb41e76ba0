#pragma once
// Expected list pages built in the test from the page rules themselves, independently of the
// writers: the frame, the index, the navigation and the closing lines.

#include <QString>
#include <QStringList>

namespace expected {

inline QString banner()
{
    return QStringLiteral(
        "<P align=\"center\"><FONT face=\"Impact\"><I><B><FONT size=\"+3\" color=\"#ff0000\">F</FONT>"
        "<FONT size=\"+3\" color=\"#ff0000\">et</FONT><FONT color=\"#0000ff\"><FONT size=\"+3\">c</FONT>"
        "</FONT><FONT color=\"#0000ff\"><FONT size=\"+3\">hw</FONT></FONT><FONT color=\"#000000\">"
        "<FONT size=\"+3\">right</FONT></FONT></B></I> </FONT></P>");
}

struct Frame {
    QString base;
    int pages = 0;
    QString subject;
    QString kind;
    QStringList summary;
    QStringList afterNavigation;
    QStringList beforeClosing;
    bool ruleOnIndexLine = true;
    QString mark; // which list, in the head
};

inline QString index(const Frame& f)
{
    QString text;
    if (f.pages > 1)
        for (int k = 1; k <= f.pages; ++k)
            text += QStringLiteral("<a href=\"%1%2.html\">%2</a>").arg(f.base).arg(k) + QChar(0x3000);
    return text;
}

inline QStringList navigation(const Frame& f, int n, bool last)
{
    if (f.pages <= 1)
        return { QString() };
    QStringList lines { QString(), QStringLiteral("<table width=\"80%\" align=\"center\"><tr>") };
    if (n > 1)
        lines << QStringLiteral("<td align=\"left\"><a href=\"%1%2.html\">戻る</a></td>").arg(f.base).arg(n - 1);
    lines << QStringLiteral("<td align=\"right\"><a href=\"%1%2.html\">%3</a></td></tr></table>")
                 .arg(f.base)
                 .arg(n + 1)
                 .arg(last ? QString() : QStringLiteral("次へ"));
    return lines;
}

inline QString page(const Frame& f, int n, bool last, const QStringList& entries)
{
    const QString sp = QString(QChar(0x3000));
    QStringList lines { QStringLiteral(
                            "<html><meta http-equiv=\"Content-type\" content=\"text/html;CHARSET=Shift_jis\">"),
        QStringLiteral("<meta name=\"generator\" content=\"Fetchwright %1\">").arg(f.mark),
        QStringLiteral("<title>") + f.subject + f.kind + QString::number(n) + QStringLiteral("</title>"),
        QStringLiteral("<body>"), banner(),
        f.subject + f.kind + QStringLiteral("<br>") + sp + QStringLiteral("<b>") + QString::number(n)
            + QStringLiteral("</b>") + sp + QStringLiteral("ページ<hr>") };
    lines << f.summary << QStringLiteral("<center>") + index(f) + QStringLiteral("</center>") << navigation(f, n, last)
          << f.afterNavigation << entries << f.beforeClosing << QStringLiteral("<hr>") << navigation(f, n, last);
    if (f.ruleOnIndexLine)
        lines << QStringLiteral("<center>") + index(f) + QStringLiteral("</center><hr>");
    else
        lines << QStringLiteral("<center>") + index(f) + QStringLiteral("</center>") << QStringLiteral("<hr>");
    lines << QStringLiteral("<ADDRESS>Fetchwright</ADDRESS></body></html>");
    QString text;
    for (const QString& line : lines)
        text += QStringLiteral("\r\n") + line;
    return text + QStringLiteral("\r\n");
}

} // namespace expected
