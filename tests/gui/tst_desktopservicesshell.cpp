// The window's document service hands Qt's desktop services the very file or folder it names,
// whatever characters its name holds, and reports whether the desktop took it.
#include "platform/desktopservicesshell.h"

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

class TestDesktopServicesShell : public QObject {
    Q_OBJECT
private slots:
    void handsOverTheNamedPath_data();
    void handsOverTheNamedPath();
};

void TestDesktopServicesShell::handsOverTheNamedPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("a page whose name has a blank") << u"/tmp/list pages/プレビュー 1.html"_s;
    QTest::newRow("a page whose name has %, # and ?") << u"/tmp/100%/#1/what?.html"_s;
    QTest::newRow("a page whose name has an emoji") << u"/tmp/😀/プレビュー1.html"_s;
    QTest::newRow("a folder") << u"/tmp/保存 先/"_s;
}

void TestDesktopServicesShell::handsOverTheNamedPath()
{
    QFETCH(QString, path);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
    DesktopServicesShell shell;
    const bool opened = path.endsWith(u'/') ? shell.exploreFolder(path) : shell.openDocument(path);
    QDesktopServices::unsetUrlHandler(u"file"_s);
    QVERIFY(opened);
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.first().toLocalFile(), path);
}

QTEST_MAIN(TestDesktopServicesShell)
#include "tst_desktopservicesshell.moc"
