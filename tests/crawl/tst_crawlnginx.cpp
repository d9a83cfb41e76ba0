// Whole crawls through a real web server (nginx on 127.0.0.1) over a small fixture site with
// entity tags, byte ranges and a Basic-authentication area.
#include "crawl/crawlrun.h"
#include "crawl/httpheaders.h"
#include "records/logs.h"
#include "records/recordline.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "storage/partfile.h"

#include "support/browserlinksite.h"
#include "support/crawlharness.h"
#include "support/nginxfixture.h"
#include "support/testca.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray content(const QString& name, int size)
{
    QByteArray bytes = name.toUtf8();
    bytes.reserve(size);
    for (int i = 0; bytes.size() < size; ++i)
        bytes.append(char((i * 31 + name.size()) % 251));
    return bytes.left(size);
}

// The files the site offers, relative to the site root, with their contents.
QMap<QString, QByteArray> siteFiles()
{
    return { { u"a.gif"_s, content(u"a"_s, 1200) }, { u"img/b.jpg"_s, content(u"b"_s, 3000) },
        { u"big.mpg"_s, content(u"big"_s, 2621440) }, { u"private/secret.gif"_s, content(u"secret"_s, 77) },
        { u"thumb_x.gif"_s, content(u"thumb"_s, 10) }, { u"docs/c.gif"_s, content(u"c"_s, 4096) },
        { u"docs/sub/d.gif"_s, content(u"d"_s, 5) } };
}

using Settings = QList<std::pair<QString, QString>>;

// A file whose path is raw bytes, as an older Japanese server keeps Shift_JIS names; Qt's
// temporary folder cannot remove what it cannot name, so this does.
struct RawNamedFile {
    QByteArray folder;
    QByteArray path;
    RawNamedFile(const QByteArray& parent, const QByteArray& folderName, const QByteArray& name)
        : folder(parent + '/' + folderName)
        , path(folder + '/' + name)
    {
    }
    ~RawNamedFile()
    {
        ::unlink(path.constData());
        ::rmdir(folder.constData());
    }
    bool write(const QByteArray& bytes) const
    {
        ::mkdir(folder.constData(), 0755);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
        ::close(fd);
        return written;
    }
};

} // namespace

class TestCrawlNginx : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void crawlsBySettings_data();
    void crawlsBySettings();
    void largeFilesComeInRangedPieces();
    void largePagesAreScannedUpToTheLimit_data();
    void largePagesAreScannedUpToTheLimit();
    void wrongCredentialsAreErrorResponses();
    void sameNameRulesOnASecondCrawl();
    void overwritingNeverLosesAnEarlierFile();
    void stopInMidTransferThenResume();
    void aJapaneseSiteIsSavedUnderRealNames();
    void everyLinkABrowserFollows_data();
    void everyLinkABrowserFollows();
    void crawlsOverHttpsWithAnExtraTrustStore_data();
    void crawlsOverHttpsWithAnExtraTrustStore();

private:
    QMap<QString, QByteArray> expectedFiles(const QStringList& names, bool flat = false) const;

    QTemporaryDir m_root;
    QTemporaryDir m_otherRoot;
    QTemporaryDir m_switches;
    std::unique_ptr<NginxFixture> m_nginx;
    std::unique_ptr<NginxFixture> m_other;
    std::unique_ptr<CrawlHarness> m_crawl;
    QString m_otherFolder;
};

void TestCrawlNginx::initTestCase()
{
    if (NginxFixture::executable().isEmpty())
        QSKIP(NginxFixture::missingMessage());
    m_other = std::make_unique<NginxFixture>(m_otherRoot.path());
    QVERIFY(WriteFileBytes(m_otherRoot.filePath(u"x.gif"_s), content(u"x"_s, 64)));
    QVERIFY2(m_other->start(), qPrintable(m_other->errorString()));
    m_otherFolder = u"http：／／127.0.0.1."_s + QString::number(m_other->port());

    const QMap<QString, QByteArray> files = siteFiles();
    for (auto it = files.begin(); it != files.end(); ++it)
        QVERIFY(WriteFileBytes(m_root.filePath(it.key()), it.value()));
    QVERIFY(WriteFileBytes(m_root.filePath(u"index.html"_s),
        "<html><body><a href=\"a.gif\">A</a><IMG SRC=\"img/b.jpg\">"
        "<a href=\"docs/page.html\">docs</a><a href=big.mpg>big</a>"
        "<a href=\"private/secret.gif\">secret</a><a href='thumb_x.gif'>t</a>"
        "<a href=\""
            + m_other->url(u"/x.gif"_s).toLatin1() + "\">other</a></body></html>"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"docs/page.html"_s),
        "<img src=\"c.gif\"><a href=\"../a.gif\">a</a><a href=\"sub/deep.html\">deep</a>"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"docs/sub/deep.html"_s), "<img src=\"d.gif\">"));
    // A 2.5 MB table of contents in UTF-8, whose characters straddle the ranged pieces' edges.
    QByteArray toc = "<html><body>";
    while (toc.size() < 2500000)
        toc += u"目次の項目、"_s.toUtf8();
    QVERIFY(WriteFileBytes(
        m_root.filePath(u"toc.html"_s), toc + "<a href=\"a.gif\">a</a><img src=\"docs/c.gif\"></body></html>"));

    QVERIFY(WriteBrowserLinkSite(m_root.path()));
    m_nginx = std::make_unique<NginxFixture>(m_root.path());
    m_nginx->requireBasicAuth(u"/private/"_s, u"user"_s, u"secret"_s);
    m_nginx->addDirective(u"location = /big.mpg { limit_rate 4m; }"_s);
    // While the switch file exists, every GET of a file is answered 500 (HEAD still succeeds).
    m_nginx->addDirective(uR"(set $broken "";
        if (-f %1) { set $broken "on"; }
        if ($request_method = GET) { set $broken "${broken}-get"; }
        if ($uri ~ "\.(gif|jpg|mpg)$") { set $broken "${broken}-file"; }
        if ($broken = "on-get-file") { return 500; })"_s.arg(m_switches.filePath(u"broken"_s)));
    QVERIFY2(m_nginx->start(), qPrintable(m_nginx->errorString()));
    QVERIFY(WriteBrowserLinkSitemaps(m_root.path(), m_nginx->url(QString())));
}

void TestCrawlNginx::init()
{
    m_crawl = std::make_unique<CrawlHarness>();
    SettingsStore& settings = m_crawl->settings();
    settings.save(SettingsKeys::SearchType, 2);
    settings.save(SettingsKeys::DeepCount, 0);
    settings.save(SettingsKeys::MaxSize, 0);
    settings.save(SettingsKeys::ListViewCheck, 0);
    settings.save(SettingsKeys::AuthString, MakeBasicCredential(u"user"_s, u"secret"_s));
}

QMap<QString, QByteArray> TestCrawlNginx::expectedFiles(const QStringList& names, bool flat) const
{
    const QMap<QString, QByteArray> files = siteFiles();
    QMap<QString, QByteArray> expected;
    for (const QString& name : names) {
        if (name == u"x.gif"_s)
            expected.insert(flat ? name : m_otherFolder + u"/x.gif"_s, content(u"x"_s, 64));
        else
            expected.insert(flat ? QFileInfo(name).fileName() : name, files.value(name));
    }
    return expected;
}

void TestCrawlNginx::crawlsBySettings_data()
{
    QTest::addColumn<QString>("topPath");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("flat");

    const QStringList all { u"a.gif"_s, u"img/b.jpg"_s, u"big.mpg"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s,
        u"docs/c.gif"_s, u"docs/sub/d.gif"_s };
    QTest::newRow("unlimited depth in the domain takes every file of the host")
        << u"/"_s << Settings {} << all << false;
    QTest::newRow("depth 1 takes the top page's files only")
        << u"/"_s << Settings { { SettingsKeys::DeepCount, u"1"_s } }
        << QStringList { u"a.gif"_s, u"img/b.jpg"_s, u"big.mpg"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s } << false;
    QTest::newRow("depth 2 adds the files of the pages one level down")
        << u"/"_s << Settings { { SettingsKeys::DeepCount, u"2"_s } }
        << QStringList { u"a.gif"_s, u"img/b.jpg"_s, u"big.mpg"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s,
               u"docs/c.gif"_s }
        << false;
    QTest::newRow("scope 1 keeps below the top address's folder")
        << u"/docs/page.html"_s << Settings { { SettingsKeys::SearchType, u"1"_s } }
        << QStringList { u"docs/c.gif"_s, u"docs/sub/d.gif"_s } << false;
    QTest::newRow("scope 3 follows links to other hosts into their own folder")
        << u"/"_s << Settings { { SettingsKeys::SearchType, u"3"_s } } << QStringList(all + QStringList { u"x.gif"_s })
        << false;
    QTest::newRow("an extension list of gif alone")
        << u"/"_s << Settings { { SettingsKeys::DownloadExts, u".GIF"_s } }
        << QStringList { u"a.gif"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s, u"docs/c.gif"_s, u"docs/sub/d.gif"_s }
        << false;
    QTest::newRow("names that must occur")
        << u"/"_s << Settings { { SettingsKeys::OnDownFileNames, u"thumb;SECRET"_s } }
        << QStringList { u"private/secret.gif"_s, u"thumb_x.gif"_s } << false;
    QTest::newRow("names that must not occur")
        << u"/"_s << Settings { { SettingsKeys::NotDownFileNames, u"thumb;big"_s } }
        << QStringList { u"a.gif"_s, u"img/b.jpg"_s, u"private/secret.gif"_s, u"docs/c.gif"_s, u"docs/sub/d.gif"_s }
        << false;
    QTest::newRow("the default maximum of 1024 KB leaves the big file")
        << u"/"_s << Settings { { SettingsKeys::MaxSize, u"1024"_s } }
        << QStringList { u"a.gif"_s, u"img/b.jpg"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s, u"docs/c.gif"_s,
               u"docs/sub/d.gif"_s }
        << false;
    QTest::newRow("a minimum of 2 KB takes the larger files")
        << u"/"_s << Settings { { SettingsKeys::MinSize, u"2"_s } }
        << QStringList { u"img/b.jpg"_s, u"big.mpg"_s, u"docs/c.gif"_s } << false;
    QTest::newRow("without a directory tree every file lands in the site folder")
        << u"/"_s << Settings { { SettingsKeys::NoDirTree, u"1"_s } } << all << true;
}

void TestCrawlNginx::crawlsBySettings()
{
    QFETCH(QString, topPath);
    QFETCH(Settings, settings);
    QFETCH(QStringList, files);
    QFETCH(bool, flat);
    for (const auto& [key, value] : settings)
        m_crawl->settings().save(key, value);
    m_crawl->start(m_nginx->url(topPath));
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    QCOMPARE(m_crawl->mirroredFiles(), expectedFiles(files, flat));
    QCOMPARE(m_crawl->host.counter(Counter::Download), files.size());
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
    QCOMPARE(m_crawl->host.messages, QStringList());
}

void TestCrawlNginx::largeFilesComeInRangedPieces()
{
    const QStringList before = m_nginx->accessLog();
    m_crawl->settings().save(SettingsKeys::DownloadExts, u".mpg"_s);
    m_crawl->start(m_nginx->url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles(), expectedFiles({ u"big.mpg"_s }));
    QStringList pieces;
    for (const QString& line : m_nginx->accessLog().mid(before.size()))
        if (line.contains(u"\"GET /big.mpg"_s))
            pieces.append(line.section(u' ', -1));
    QCOMPARE(pieces, (QStringList { u"206"_s, u"206"_s, u"206"_s }));
}

void TestCrawlNginx::largePagesAreScannedUpToTheLimit_data()
{
    QTest::addColumn<int>("limitMb"); // 0: the setting is not stored
    QTest::addColumn<QStringList>("files");
    QTest::newRow("the default of 1 MB leaves a 2.5 MB page unscanned") << 0 << QStringList();
    QTest::newRow("a limit of 3 MB scans it, fetched in ranged pieces")
        << 3 << QStringList { u"a.gif"_s, u"docs/c.gif"_s };
}

void TestCrawlNginx::largePagesAreScannedUpToTheLimit()
{
    QFETCH(int, limitMb);
    QFETCH(QStringList, files);
    if (limitMb > 0)
        m_crawl->settings().save(SettingsKeys::ScanLimitMB, limitMb);
    const QStringList before = m_nginx->accessLog();
    m_crawl->start(m_nginx->url(u"/toc.html"_s));
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    QCOMPARE(m_crawl->mirroredFiles(), expectedFiles(files));
    QCOMPARE(m_crawl->host.counter(Counter::Detect), 1 + files.size());
    QStringList pieces;
    for (const QString& line : m_nginx->accessLog().mid(before.size()))
        if (line.contains(u"\"GET /toc.html"_s))
            pieces.append(line.section(u' ', -1));
    const QStringList expected = limitMb > 0 ? QStringList { u"206"_s, u"206"_s, u"206"_s } : QStringList();
    QCOMPARE(pieces, expected);
}

void TestCrawlNginx::wrongCredentialsAreErrorResponses()
{
    m_crawl->settings().save(SettingsKeys::AuthString, MakeBasicCredential(u"user"_s, u"wrong"_s));
    m_crawl->settings().save(SettingsKeys::DeepCount, 1);
    m_crawl->start(m_nginx->url(u"/"_s));
    QVERIFY(!m_crawl->mirroredFiles().contains(u"private/secret.gif"_s));
    const QStringList errors = m_crawl->logLines(ErrorResponseLogName);
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors[1].contains(u"401 Unauthorized"_s));
    QVERIFY(errors[1].contains(m_nginx->url(u"/private/secret.gif"_s)));
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 1);
}

void TestCrawlNginx::sameNameRulesOnASecondCrawl()
{
    SettingsStore& settings = m_crawl->settings();
    settings.save(SettingsKeys::DeepCount, 1);
    settings.save(SettingsKeys::DownloadExts, u".gif"_s);
    const QString top = m_nginx->url(u"/"_s);
    m_crawl->start(top);
    const QMap<QString, QByteArray> first = m_crawl->mirroredFiles();
    QCOMPARE(first.size(), 3);

    m_crawl->start(top); // files of equal size are already there
    QCOMPARE(m_crawl->mirroredFiles(), first);
    QCOMPARE(m_crawl->host.counter(Counter::Download), 0);

    settings.save(SettingsKeys::SkipSameName, 0);
    m_crawl->start(top); // numbered copies beside the old ones
    QMap<QString, QByteArray> numbered = first;
    numbered.insert(u"a_0.gif"_s, first.value(u"a.gif"_s));
    numbered.insert(u"thumb_x_0.gif"_s, first.value(u"thumb_x.gif"_s));
    numbered.insert(u"private/secret_0.gif"_s, first.value(u"private/secret.gif"_s));
    QCOMPARE(m_crawl->mirroredFiles(), numbered);

    settings.save(SettingsKeys::NumberDuplicates, 0);
    QVERIFY(WriteFileBytes(m_crawl->siteDir() + u"/a.gif"_s, "stale"));
    m_crawl->start(top); // overwritten in place
    QCOMPARE(m_crawl->mirroredFiles(), numbered);
    QCOMPARE(m_crawl->host.counter(Counter::Download), 3);
}

void TestCrawlNginx::overwritingNeverLosesAnEarlierFile()
{
    SettingsStore& settings = m_crawl->settings();
    settings.save(SettingsKeys::DeepCount, 1);
    settings.save(SettingsKeys::DownloadExts, u".gif"_s);
    const QString top = m_nginx->url(u"/"_s);
    m_crawl->start(top);
    const QMap<QString, QByteArray> gifs = expectedFiles({ u"a.gif"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s });
    QCOMPARE(m_crawl->mirroredFiles(), gifs);

    // Other extensions, overwriting: the files of the first crawl are checked but never fetched.
    settings.save(SettingsKeys::SkipSameName, 0);
    settings.save(SettingsKeys::NumberDuplicates, 0);
    settings.save(SettingsKeys::DownloadExts, u".jpg;.mpg"_s);
    m_crawl->start(top);
    QMap<QString, QByteArray> both = gifs;
    both.insert(expectedFiles({ u"img/b.jpg"_s, u"big.mpg"_s }));
    QCOMPARE(m_crawl->mirroredFiles(), both);

    // Every download fails now: each old file stays as it was, with no partial file anywhere.
    settings.save(SettingsKeys::DownloadExts, u".gif;.jpg;.mpg"_s);
    QVERIFY(WriteFileBytes(m_switches.filePath(u"broken"_s), "on"));
    m_crawl->start(top);
    QVERIFY(QFile::remove(m_switches.filePath(u"broken"_s)));
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    QCOMPARE(m_crawl->mirroredFiles(), both);
    QCOMPARE(m_crawl->host.counter(Counter::Download), 0);
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 5);
    QCOMPARE(m_crawl->logLines(DownloadLogName), QStringList { DownloadLogHeader });
}

void TestCrawlNginx::stopInMidTransferThenResume()
{
    CrawlHarness& crawl = *m_crawl;
    crawl.host.onYield = [&] {
        if (crawl.state.LocalPath.endsWith(u"big.mpg"_s)
            && QFileInfo(PartFilePath(crawl.state.LocalPath)).size() > 100000)
            crawl.state.StopRequested = true;
    };
    crawl.start(m_nginx->url(u"/"_s));
    QCOMPARE(crawl.host.currentAddresses.last(), u"中断"_s);
    QVERIFY2(!QFileInfo::exists(crawl.siteDir() + u"/big.mpg"_s), "no partial file under the real name");
    QVERIFY(QFileInfo(PartFilePath(crawl.siteDir() + u"/big.mpg"_s)).size() < 2621440);

    crawl.host.onYield = {};
    crawl.resume();
    QCOMPARE(crawl.host.currentAddresses.last(), u"終了"_s);
    const QStringList all { u"a.gif"_s, u"img/b.jpg"_s, u"big.mpg"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s,
        u"docs/c.gif"_s, u"docs/sub/d.gif"_s };
    QCOMPARE(crawl.mirroredFiles(), expectedFiles(all));
    QCOMPARE(crawl.host.counter(Counter::Download), all.size());
    QCOMPARE(crawl.logLines(DownloadLogName).size(), all.size() + 1);
    QCOMPARE(crawl.host.counter(Counter::Failure), 0);
}

void TestCrawlNginx::aJapaneseSiteIsSavedUnderRealNames()
{
    QTemporaryDir root;
    const QByteArray index
        = u"<html><head><meta charset=\"utf-8\"></head><body><img src=\"日本.gif\">"
          "<a href=\"%E5%86%99%E7%9C%9F/utf8.gif\">写真</a><a href=\"%8E%CA%90%5E/sjis.gif\">写真</a>"
          "<a href=\"a&#32;b.gif\">空白</a><a href=\"c%20d.gif\">空白</a><a href=\"jp\">フォルダ</a><a href=\"sjis.html\">旧</a></body></html>"_s
              .toUtf8();
    QVERIFY(WriteFileBytes(root.filePath(u"index.html"_s), index));
    const QByteArray sjisPage
        = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head><body>"
          "<img src=\"\x8e\xca\x90\x5e/s.gif\">\x93\xfa\x96\x7b</body></html>";
    QVERIFY(WriteFileBytes(root.filePath(u"sjis.html"_s), sjisPage));
    QVERIFY(WriteFileBytes(root.filePath(u"jp/index.html"_s), "<img src=\"p.gif\">"));
    const QMap<QString, QByteArray> onDisk { { u"日本.gif"_s, "nihon"_ba }, { u"写真/utf8.gif"_s, "utf8"_ba },
        { u"写真/s.gif"_s, "s"_ba }, { u"a b.gif"_s, "blank"_ba }, { u"c d.gif"_s, "escaped blank"_ba },
        { u"jp/p.gif"_s, "p"_ba } };
    for (auto it = onDisk.begin(); it != onDisk.end(); ++it)
        QVERIFY(WriteFileBytes(root.filePath(it.key()), it.value()));
    const RawNamedFile sjisNamed(QFile::encodeName(root.path()), "\x8e\xca\x90\x5e", "sjis.gif");
    QVERIFY(sjisNamed.write("sjis"));
    NginxFixture site(root.path());
    QVERIFY2(site.start(), qPrintable(site.errorString()));

    m_crawl->settings().save(SettingsKeys::DownloadExts, u".gif;.html"_s);
    const QString top = site.url(u"/index.html"_s);
    m_crawl->start(top);
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    const QMap<QString, QByteArray> expected { { u"index.html"_s, index }, { u"sjis.html"_s, sjisPage },
        { u"日本.gif"_s, "nihon"_ba }, { u"写真/utf8.gif"_s, "utf8"_ba }, { u"写真/sjis.gif"_s, "sjis"_ba },
        { u"写真/s.gif"_s, "s"_ba }, { u"a.b.gif"_s, "blank"_ba }, { u"c.d.gif"_s, "escaped blank"_ba },
        { u"jp/p.gif"_s, "p"_ba }, { u"jp/jpｽﾗｯｼｭﾄｯﾌﾟ.html"_s, "<img src=\"p.gif\">"_ba } };
    QCOMPARE(m_crawl->mirroredFiles(), expected);

    const QString at = site.url(u"/"_s);
    QStringList detected;
    for (const QString& path :
        { u"index.html"_s, u"%E6%97%A5%E6%9C%AC.gif"_s, u"%E5%86%99%E7%9C%9F/utf8.gif"_s, u"%8E%CA%90%5E/sjis.gif"_s,
            u"a%20b.gif"_s, u"c%20d.gif"_s, u"jp"_s, u"sjis.html"_s, u"jp/p.gif"_s, u"%E5%86%99%E7%9C%9F/s.gif"_s })
        detected.append(u"\""_s + at + path + u"\",\"\""_s);
    QCOMPARE(m_crawl->logLines(DetectedLogName).mid(1), detected);

    QMap<QString, QString> logged; // the name column against the address column
    const QStringList logLines = m_crawl->logLines(DownloadLogName);
    QCOMPARE(logLines.size(), expected.size() + 1);
    for (const QString& line : logLines.mid(1)) {
        const QStringList fields = SplitRecordLine(line);
        const QString relative = fields[2].mid(m_crawl->siteDir().size() + 1);
        QVERIFY2(expected.contains(QDir::fromNativeSeparators(relative)), qPrintable(fields[2]));
        logged.insert(fields[1], fields[3].mid(at.size()));
    }
    const QMap<QString, QString> names { { u"index.html"_s, u"index.html"_s },
        { u"日本.gif"_s, u"%E6%97%A5%E6%9C%AC.gif"_s }, { u"utf8.gif"_s, u"%E5%86%99%E7%9C%9F/utf8.gif"_s },
        { u"sjis.gif"_s, u"%8E%CA%90%5E/sjis.gif"_s }, { u"a.b.gif"_s, u"a%20b.gif"_s },
        { u"c.d.gif"_s, u"c%20d.gif"_s }, { u"jpｽﾗｯｼｭﾄｯﾌﾟ.html"_s, u"jp"_s }, { u"sjis.html"_s, u"sjis.html"_s },
        { u"p.gif"_s, u"jp/p.gif"_s }, { u"s.gif"_s, u"%E5%86%99%E7%9C%9F/s.gif"_s } };
    QCOMPARE(logged, names);
    QCOMPARE(m_crawl->host.counter(Counter::Planned), expected.size());
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 0);
}

void TestCrawlNginx::everyLinkABrowserFollows_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<bool>("stopInSheet"); // stopped while a sheet is scanned, then resumed
    QTest::addColumn<QStringList>("files"); // below links/, or from the site's root after a "/"
    QTest::addColumn<QStringList>("detected"); // after the top page, in order, named as files are
    QTest::addColumn<QByteArray>("robots"); // robots.txt, when there is one
    const QStringList images = BrowserLinkSiteImages();
    const QString eucImage = u"%E5%86%99%E7%9C%9F/euc.gif"_s; // 写真/euc.gif, linked from a page in EUC-JP
    const QStringList detected = QStringList { u"next.html"_s, u"css/site.css"_s, u"css/theme.css"_s }
        + images.mid(0, 18) + QStringList { u"euc.html"_s }
        + QStringList { u"img/next.gif"_s, u"css/more.css"_s, u"img/sheet.gif"_s, u"img/theme.gif"_s, eucImage,
              u"css/sjis.css"_s, u"%E7%94%BB%E5%83%8F/%E8%83%8C%E6%99%AF.gif"_s };
    // The sitemaps' pages follow the top page's links; their own links come at the next level.
    const auto withSitemaps = [&detected](const QStringList& listed, const QStringList& below) {
        const qsizetype top = detected.indexOf(u"euc.html"_s) + 1;
        const qsizetype next = detected.indexOf(u"css/sjis.css"_s);
        return detected.first(top) + listed + detected.sliced(top, next - top) + below + detected.sliced(next);
    };
    const QStringList all = withSitemaps({ u"listed.html"_s, u"img/listed-direct.gif"_s }, { u"img/listed.gif"_s });
    const QStringList everyImage = images + QStringList { u"img/listed.gif"_s, u"img/listed-direct.gif"_s };
    const Settings sitemaps { { SettingsKeys::FollowSitemaps, u"1"_s } };
    QTest::newRow("every image a browser shows, the sheets fetched only to be scanned")
        << sitemaps << false << everyImage << all << QByteArray();
    QTest::newRow("a stop in the middle of a sheet resumes to the same end")
        << sitemaps << true << everyImage << all << QByteArray();
    QTest::newRow("style sheets are saved when wanted, and a sitemap when .xml is")
        << Settings { { SettingsKeys::FollowSitemaps, u"1"_s }, { SettingsKeys::DownloadExts, u".gif;.css;.xml"_s } }
        << false
        << everyImage
            + QStringList { u"css/site.css"_s, u"css/theme.css"_s, u"css/more.css"_s, u"css/sjis.css"_s,
                  u"/sitemap.xml"_s, u"sitemap-more.xml"_s }
        << withSitemaps({ u"/sitemap.xml"_s, u"listed.html"_s, u"sitemap-more.xml"_s, u"img/listed-direct.gif"_s },
               { u"img/listed.gif"_s })
        << QByteArray();
    const auto belowTheNextPage = [eucImage](QStringList names) {
        for (const QString& belowAPage : { u"img/next.gif"_s, u"写真/euc.gif"_s, eucImage, u"img/listed.gif"_s })
            names.removeOne(belowAPage);
        return names;
    };
    QTest::newRow("at depth 1 a sheet's images count at the sheet's depth, and listed pages as the top's links")
        << Settings { { SettingsKeys::FollowSitemaps, u"1"_s }, { SettingsKeys::DeepCount, u"1"_s } } << false
        << belowTheNextPage(everyImage) << belowTheNextPage(all) << QByteArray();
    QTest::newRow("the sitemaps robots.txt names, rather than /sitemap.xml")
        << sitemaps << false << images + QStringList { u"img/listed-direct.gif"_s }
        << withSitemaps({ u"img/listed-direct.gif"_s }, {})
        << "User-agent: *\nDisallow: /private/\nSitemap: {origin}/links/sitemap-more.xml\n"_ba;
    QTest::newRow("without more links or sitemaps the classic links alone, and none that cannot exist")
        << Settings { { SettingsKeys::MoreLinks, u"0"_s } } << false
        << QStringList { u"img/p.gif"_s, u"写真/euc.gif"_s }
        << QStringList { u"css/site.css"_s, u"img/p.gif"_s, u"euc.html"_s, eucImage } << QByteArray();
}

void TestCrawlNginx::everyLinkABrowserFollows()
{
    QFETCH(Settings, settings);
    QFETCH(bool, stopInSheet);
    QFETCH(QStringList, files);
    QFETCH(QStringList, detected);
    QFETCH(QByteArray, robots);
    CrawlHarness& crawl = *m_crawl;
    for (const auto& [key, value] : settings)
        crawl.settings().save(key, value);
    const QString robotsPath = m_root.filePath(u"robots.txt"_s);
    const auto noRobots = qScopeGuard([&robotsPath] { QFile::remove(robotsPath); });
    if (!robots.isEmpty())
        QVERIFY(WriteFileBytes(robotsPath, robots.replace("{origin}", m_nginx->url(QString()).toUtf8())));
    const QString imported = m_nginx->url(u"/links/css/more.css"_s);
    crawl.host.onYield = [&] {
        crawl.state.StopRequested |= stopInSheet && crawl.state.RefChain.endsWith(u"/site.css"_s)
            && crawl.state.DetectedAddrs.contains(imported);
    };
    const CrawlOutcome first = crawl.start(m_nginx->url(u"/links/index.html"_s));
    QCOMPARE(first.kind == CrawlOutcome::Stopped, stopInSheet);
    crawl.host.onYield = {};
    if (stopInSheet)
        crawl.resume();
    QCOMPARE(crawl.host.currentAddresses.last(), u"終了"_s);
    for (QString& file : files)
        file = file.startsWith(u'/') ? file.mid(1) : u"links/"_s + file;
    files.sort();
    QCOMPARE(crawl.mirroredFiles().keys(), files);
    QStringList logged;
    for (const QString& path : QStringList { u"index.html"_s } + detected)
        logged.append(u"\""_s + m_nginx->url(path.startsWith(u'/') ? path : u"/links/"_s + path) + u"\",\"\""_s);
    QCOMPARE(crawl.logLines(DetectedLogName).mid(1), logged);
    QCOMPARE(crawl.host.counter(Counter::Planned), files.size());
    QCOMPARE(crawl.host.counter(Counter::ErrorResponse), 0);
    QCOMPARE(crawl.host.counter(Counter::Failure), 0);
    QVERIFY2(crawl.logLines(FailureReportName).size() <= 1, "every sitemap within reach is read, and no other");
}

void TestCrawlNginx::crawlsOverHttpsWithAnExtraTrustStore_data()
{
    QTest::addColumn<QByteArray>("variable"); // names the test CA's certificate; empty: none does
    QTest::newRow("the test CA given through CURL_CA_BUNDLE") << "CURL_CA_BUNDLE"_ba;
    QTest::newRow("the test CA given through SSL_CERT_FILE") << "SSL_CERT_FILE"_ba;
    QTest::newRow("an untrusted certificate is one failure") << QByteArray();
}

void TestCrawlNginx::crawlsOverHttpsWithAnExtraTrustStore()
{
    QFETCH(QByteArray, variable);
    if (TestCa::executable().isEmpty())
        QSKIP("openssl is not installed (scripts/install-deps --test installs it)");
    TestCa ca;
    QVERIFY2(ca.make(), qPrintable(ca.errorString()));
    NginxFixture secure(m_root.path());
    secure.enableTls(ca.serverCertificate(), ca.serverKey());
    secure.requireBasicAuth(u"/private/"_s, u"user"_s, u"secret"_s);
    QVERIFY2(secure.start(), qPrintable(secure.errorString()));

    const QByteArray saved[] = { qgetenv("CURL_CA_BUNDLE"), qgetenv("SSL_CERT_FILE") };
    qunsetenv("CURL_CA_BUNDLE");
    qunsetenv("SSL_CERT_FILE");
    if (!variable.isEmpty())
        qputenv(variable.constData(), QFile::encodeName(ca.caCertificate()));
    m_crawl->settings().save(SettingsKeys::DeepCount, 1);
    m_crawl->settings().save(SettingsKeys::DownloadExts, u".gif"_s);
    const QString top = secure.url(u"/"_s);
    QVERIFY(top.startsWith(u"https://"_s));
    const CrawlOutcome outcome = m_crawl->start(top);
    for (const char* name : { "CURL_CA_BUNDLE", "SSL_CERT_FILE" }) {
        const QByteArray& before = saved[name[0] == 'C' ? 0 : 1];
        if (before.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, before);
    }

    if (variable.isEmpty()) {
        // The top page failed: the run says why instead of "終了".
        QCOMPARE(outcome.kind, CrawlOutcome::Failed);
        QCOMPARE(m_crawl->host.currentAddresses.last(), u"トップページを取得できませんでした。"_s);
        QVERIFY2(m_crawl->host.messages.value(0).endsWith(
                     u"\n接続エラーが起きました。エラー：60\nサーバの証明書を信頼できません。"_s),
            qPrintable(m_crawl->host.messages.value(0)));
        QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray>()));
        const QStringList failures = m_crawl->logLines(FailureReportName);
        QCOMPARE(failures.size(), 2);
        QVERIFY2(failures[1].contains(u"\"接続エラーが起きました。エラー：60\""_s), qPrintable(failures[1]));
        QVERIFY(failures[1].endsWith(u"\""_s + top + u"\""_s));
        QCOMPARE(m_crawl->host.counter(Counter::Failure), 1);
        return;
    }
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    QCOMPARE(m_crawl->mirroredFiles(), expectedFiles({ u"a.gif"_s, u"private/secret.gif"_s, u"thumb_x.gif"_s }));
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
    QCOMPARE(m_crawl->logLines(DetectedLogName).value(1), u"\""_s + top + u"\",\"\""_s);
}

QTEST_GUILESS_MAIN(TestCrawlNginx)
#include "tst_crawlnginx.moc"
