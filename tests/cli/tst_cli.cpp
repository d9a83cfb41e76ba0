// fetchwright-cli run as a process, as a script would run it, against nginx on 127.0.0.1.
#include "records/logs.h"
#include "records/recordfile.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include "support/crawlharness.h"
#include "support/nginxfixture.h"
#include "support/scriptedhttpserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void helpDescribesTheCommands();
    void invalidInputChangesNothing_data();
    void invalidInputChangesNothing();
    void aCrawlLeavesFilesLogsAndSettings();
    void optionsNotGivenAreTheWindowsDefaults();
    void interruptedThenResumedEndsAsAWholeCrawl();
    void resumeWithoutAListIsRefused();
    void aTopPageThatCannotBeHadFailsWithItsReason();
    void aSiteInTheResumeListIsReplacedOnlyWithYes();
    void aSiteFolderInUseRefusesASecondRunThatChangesNothing_data();
    void aSiteFolderInUseRefusesASecondRunThatChangesNothing();
    void folderListsAreWrittenWithoutOpening();

private:
    Run run(const QStringList& args, int interruptAfterMs = -1);
    QString settingsFile() const { return m_home->path() + u"/config/Quillmark/Fetchwright.conf"_s; }
    QString siteOf(const QString& saveDir) const
    {
        return saveDir + u"/127.0.0.1."_s + QString::number(m_nginx->port());
    }

    QString m_cli;
    QTemporaryDir m_root;
    std::unique_ptr<NginxFixture> m_nginx;
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestCli::initTestCase()
{
    m_cli = qEnvironmentVariable("FW_CLI");
    QVERIFY2(QFileInfo(m_cli).isExecutable(), "FW_CLI must name the built fetchwright-cli");
    if (NginxFixture::executable().isEmpty())
        QSKIP(NginxFixture::missingMessage());
    QByteArray index = "<a href=\"a.gif\">a</a><a href=\"docs/p.html\">p</a><a href=\"b.png\">b</a>";
    for (int i = 0; i < 3; ++i)
        index += "<a href=\"big" + QByteArray::number(i) + ".bin\">b</a>";
    QVERIFY(WriteFileBytes(m_root.filePath(u"index.html"_s), index));
    QVERIFY(WriteFileBytes(m_root.filePath(u"a.gif"_s), "GIF89a-a"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"b.png"_s), "PNG-b"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"docs/p.html"_s), "<img src=\"c.gif\">"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"docs/c.gif"_s), "GIF89a-c"));
    for (int i = 0; i < 3; ++i)
        QVERIFY(WriteFileBytes(m_root.filePath(u"big%1.bin"_s.arg(i)), QByteArray(600000, char('0' + i))));
    m_nginx = std::make_unique<NginxFixture>(m_root.path());
    // Slow enough that a crawl is still running when it is interrupted, however fast the rest.
    m_nginx->addDirective(u"location ~ \\.bin$ { limit_rate 300k; }"_s);
    QVERIFY2(m_nginx->start(), qPrintable(m_nginx->errorString()));
}

void TestCli::init()
{
    m_home = std::make_unique<QTemporaryDir>();
}

Run TestCli::run(const QStringList& args, int interruptAfterMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, m_home->path() + u"/config"_s);
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    process.setProcessEnvironment(environment);
    process.start(m_cli, args);
    process.closeWriteChannel();
    Run result;
    if (!process.waitForStarted(10000))
        return result;
    if (interruptAfterMs >= 0 && !process.waitForFinished(interruptAfterMs))
        process.terminate(); // the system's request to stop, which the program takes as Ctrl-C
    process.waitForFinished(120000);
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestCli::helpDescribesTheCommands()
{
    const Run result = run({ u"--help"_s });
    QCOMPARE(result.exitCode, 0);
    for (const QString& text : { u"crawl ADDRESS SAVE-FOLDER"_s, u"resume SAVE-FOLDER"_s, u"list images FOLDER"_s,
             u"--password-file"_s, u"--no-open"_s, u"3 stopped"_s })
        QVERIFY2(result.out.contains(text), qPrintable(text));
    QVERIFY(result.out.contains(u"(default \"%1\")"_s.arg(SettingsDefaults::DialogDownloadExts)));
}

void TestCli::invalidInputChangesNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("an ftp address") << QStringList { u"crawl"_s, u"ftp://h/"_s, u"SAVE"_s }
                                    << u"アドレスが不正です。"_s;
    QTest::newRow("a capitalised scheme")
        << QStringList { u"crawl"_s, u"HTTP://h/"_s, u"SAVE"_s } << u"アドレスが不正です。"_s;
    QTest::newRow("an empty address") << QStringList { u"crawl"_s, QString(), u"SAVE"_s }
                                      << u"サイトトップのアドレスを入力して下さい。"_s;
    QTest::newRow("a depth that is no number") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--depth"_s,
        u"abc"_s } << u"制限階層数は数値で入力して下さい｡"_s;
    QTest::newRow("a comma in the extensions") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--exts"_s,
        u".gif,.jpg"_s } << u",(ｶﾝﾏ)は入力しないで下さい"_s;
    QTest::newRow("a name range too large to expand") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s,
        u"--names"_s, u"a;[0-9999999]"_s } << u"[数-数]の範囲が大きすぎます｡範囲を狭めて下さい (--names)"_s;
    // Out of its range, a number is refused in the words of the window's box, then the option.
    QTest::newRow("a buffer below one megabyte") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s,
        u"--buffer-mb"_s, u"0"_s } << u"バッファの大きさは1から1024の数値で入力して下さい。 (--buffer-mb)"_s;
    QTest::newRow("seventeen full-width connections") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s,
        u"--connections"_s, u"１７"_s } << u"同時接続数は1から16の数値で入力して下さい。 (--connections)"_s;
    QTest::newRow("no connection at all") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--connections"_s,
        u" 0\n"_s } << u"同時接続数は1から16の数値で入力して下さい。 (--connections)"_s;
    QTest::newRow("a port beyond 65535") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--port"_s,
        u"99999"_s } << u"ポートは1から65535の数値で入力して下さい。"_s;
    QTest::newRow("a fraction of a connection") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s,
        u"--connections"_s, u"1.5"_s } << u"同時接続数は数値で入力して下さい｡ (--connections)"_s;
    QTest::newRow("a fraction of a millisecond") << QStringList { u"resume"_s, u"SAVE"_s, u"--interval-ms"_s, u"2.5"_s }
                                                 << u"数値で入力して下さい｡ (--interval-ms)"_s;
    QTest::newRow("a fraction of a link") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--depth"_s,
        u"2.6"_s } << u"数値で入力して下さい｡ (--depth)"_s;
    QTest::newRow("a fraction of a file per page") << QStringList { u"list"_s, u"dir"_s, u"SAVE"_s, u"--per-page"_s,
        u"2.5"_s } << u"数値で入力して下さい (--per-page)"_s;
    QTest::newRow("a negative interval") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--interval-ms"_s,
        u"-5"_s } << u"リクエストの間隔は0から3600000の数値で入力して下さい。 (--interval-ms)"_s;
    QTest::newRow("a resume with connections that are no number") << QStringList { u"resume"_s, u"SAVE"_s,
        u"--connections"_s, u"many"_s } << u"数値で入力して下さい｡ (--connections)"_s;
    QTest::newRow("an unknown option") << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--fast"_s }
                                       << u"--fast"_s;
    QTest::newRow("an unknown option before the positionals")
        << QStringList { u"crawl"_s, u"--fast"_s, u"http://h/"_s, u"SAVE"_s } << u"不明なオプションです: --fast"_s;
    QTest::newRow("an unknown option of resume")
        << QStringList { u"resume"_s, u"SAVE"_s, u"--depth"_s } << u"不明なオプションです: --depth"_s;
    QTest::newRow("an option without its value")
        << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--depth"_s } << u"--depth には値が必要です。"_s;
    QTest::newRow("a positional too many")
        << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"extra"_s } << u"余分な引数です: extra"_s;
    QTest::newRow("an unknown command") << QStringList { u"fetch"_s } << u"fetch"_s;
    QTest::newRow("a minimum size above the maximum")
        << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--min-kb"_s, u"2000"_s, u"--max-kb"_s, u"1000"_s }
        << u"ダウンロード最小サイズがダウンロード最大サイズより大きいため"_s;
    QTest::newRow("a cookie file that is not there")
        << QStringList { u"crawl"_s, u"http://h/"_s, u"SAVE"_s, u"--cookies"_s, u"/nonexistent/cookies.txt"_s }
        << u"クッキーファイルを読めません。\n/nonexistent/cookies.txt: フォルダがありません。"_s;
}

void TestCli::invalidInputChangesNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    {
        SettingsStore before(settingsFile());
        before.save(SettingsKeys::DeepCount, 7);
    }
    const QByteArray settingsBefore = ReadFileBytes(settingsFile());
    const QString save = m_home->path() + u"/save"_s;
    args.replaceInStrings(u"SAVE"_s, save);
    const Run result = run(args);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QCOMPARE(ReadFileBytes(settingsFile()), settingsBefore);
    QVERIFY(!QFileInfo::exists(save));
}

void TestCli::aCrawlLeavesFilesLogsAndSettings()
{
    const QString save = m_home->path() + u"/new/save"_s;
    const QString top = m_nginx->url(u"/index.html"_s);
    // Options before, between and after the positionals; blanks around values, full-width digits.
    const Run result = run({ u"crawl"_s, u"--exts"_s, u" .gif\n"_s, top + u"\r\n"_s, u"--depth"_s, u"　３"_s,
        u" "_s + save, u"--scan-limit-mb"_s, u"２．５０"_s, u"--no-list"_s, u"--connections"_s, u"3"_s,
        u"--interval-ms"_s, u"5"_s, u"--no-more-links"_s, u"--no-sitemaps"_s });
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.startsWith(u"終了\n"_s), qPrintable(result.out));
    QVERIFY(result.out.contains(u"ダウンロード数 2"_s));
    QVERIFY(result.out.contains(u"開始時間 "_s));
    QVERIFY2(!result.err.contains(u"\r"_s), "no status line without a terminal");
    const QString site = siteOf(save);
    QCOMPARE(MirroredFiles(site),
        (QMap<QString, QByteArray> { { u"a.gif"_s, "GIF89a-a"_ba }, { u"docs/c.gif"_s, "GIF89a-c"_ba } }));
    QCOMPARE(ReadRecordLines(site + u'/' + DownloadLogName).value().size(), 3);

    SettingsStore settings(settingsFile());
    QCOMPARE(settings.get(SettingsKeys::SiteAddress, QString()), top);
    QCOMPARE(settings.get(SettingsKeys::SaveFolder, QString()), save + u'/');
    QCOMPARE(settings.get(SettingsKeys::DeepCount, QString()), u"3"_s);
    QCOMPARE(settings.get(SettingsKeys::DownloadExts, QString()), u".gif"_s);
    QCOMPARE(settings.get(SettingsKeys::ListViewCheck, QString()), u"0"_s);
    QCOMPARE(settings.get(SettingsKeys::ScanLimitMB, QString()), u"2.5"_s);
    QCOMPARE(settings.get(SettingsKeys::Connections, QString()), u"3"_s);
    QCOMPARE(settings.get(SettingsKeys::RequestIntervalMs, QString()), u"5"_s);
    QCOMPARE(settings.get(SettingsKeys::MoreLinks, QString()), u"0"_s);
    QCOMPARE(settings.get(SettingsKeys::FollowSitemaps, QString()), u"0"_s);

    const Run list = run({ u"list"_s, u"downloads"_s, u"--no-open"_s });
    QCOMPARE(list.exitCode, 0);
    const QString page = site + u"/index.html_プレビュー1.html"_s;
    QCOMPARE(list.out.trimmed(), page);
    QVERIFY(QFileInfo::exists(page));
}

void TestCli::optionsNotGivenAreTheWindowsDefaults()
{
    // The crawl alone would leave ".png" out; the window's dialog shows and stores it.
    const QString save = m_home->path() + u"/defaults"_s;
    QCOMPARE(run({ u"crawl"_s, m_nginx->url(u"/index.html"_s), save, u"--no-list"_s }).exitCode, 0);
    QVERIFY(MirroredFiles(siteOf(save)).contains(u"b.png"_s));
    SettingsStore settings(settingsFile());
    QCOMPARE(settings.get(SettingsKeys::DownloadExts, QString()), SettingsDefaults::DialogDownloadExts);
}

void TestCli::interruptedThenResumedEndsAsAWholeCrawl()
{
    const QString top = m_nginx->url(u"/index.html"_s);
    const QStringList options { u"--exts"_s, u".gif;.bin"_s, u"--max-kb"_s, u"0"_s, u"--no-list"_s };
    const QString reference = m_home->path() + u"/reference"_s;
    QCOMPARE(run(QStringList { u"crawl"_s, top, reference } + options).exitCode, 0);

    const QString save = m_home->path() + u"/stopped"_s;
    const Run stopped = run(QStringList { u"crawl"_s, top, save } + options, 700);
    QCOMPARE(stopped.exitCode, 3);
    QVERIFY2(stopped.out.startsWith(u"中断\n"_s), qPrintable(stopped.out));
    QCOMPARE(ReadResumeList(ResumeListPath(save + u'/')).value(), QStringList { top });

    const Run resumed = run({ u"resume"_s, save, u"--list"_s, top, u"--no-open"_s, u"--no-list"_s, u"--connections"_s,
        u"16"_s, u"--no-more-links"_s, u"--no-http2"_s });
    QCOMPARE(resumed.exitCode, 0);
    QVERIFY(resumed.out.startsWith(u"終了\n"_s));
    QCOMPARE(MirroredFiles(siteOf(save)), MirroredFiles(siteOf(reference)));
    QCOMPARE(MirroredFiles(siteOf(save)).size(), 5);
    QCOMPARE(ReadResumeRecord(ResumeRecordPath(siteOf(save)))->counters[Counter::Download], 5);
    QVERIFY(ReadResumeRecord(ResumeRecordPath(siteOf(save)))->moreLinks == false);
    QCOMPARE(SettingsStore(settingsFile()).get(SettingsKeys::Connections, QString()), u"16"_s);
    QCOMPARE(SettingsStore(settingsFile()).get(SettingsKeys::Http2, QString()), u"0"_s);
}

void TestCli::resumeWithoutAListIsRefused()
{
    const Run result = run({ u"resume"_s, m_home->path() });
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.err.contains(u"再開するリストが見つかりません"_s));
}

void TestCli::aTopPageThatCannotBeHadFailsWithItsReason()
{
    const Run result = run({ u"crawl"_s, u" http://127.0.0.1:1/site/index.html\n"_s, m_home->filePath(u"s"_s) });
    QCOMPARE(result.exitCode, 1);
    // robots.txt is followed by default: it could not be read either, and that says why.
    QVERIFY2(result.err.contains(u"トップページを取得できませんでした。\nhttp://127.0.0.1:1/site/index.html\n"
                                 "robots.txtを読めませんでした\n"
                                 "http://127.0.0.1:1/robots.txt エラー：7 サーバに接続できません。"_s),
        qPrintable(result.err));
    QVERIFY(!result.out.contains(u"終了"_s));
}

void TestCli::aSiteInTheResumeListIsReplacedOnlyWithYes()
{
    const QString save = m_home->path() + u"/again"_s;
    const QString top = m_nginx->url(u"/index.html"_s);
    QVERIFY(QDir().mkpath(save));
    QVERIFY(WriteResumeList(ResumeListPath(save + u'/'), { top, u"http://other/"_s }));
    const QByteArray before = ReadFileBytes(ResumeListPath(save + u'/'));
    const Run declined = run({ u"crawl"_s, top, save, u"--exts"_s, u".gif"_s, u"--no-list"_s });
    QCOMPARE(declined.exitCode, 1);
    QVERIFY2(
        declined.err.contains(u"のドメイン名は再開リストに存在しますが上書きしますか？"_s), qPrintable(declined.err));
    QCOMPARE(ReadFileBytes(ResumeListPath(save + u'/')), before);
    QVERIFY(!QFileInfo::exists(siteOf(save)));

    const Run accepted = run({ u"crawl"_s, top, save, u"--exts"_s, u".gif"_s, u"--no-list"_s, u"--yes"_s });
    QCOMPARE(accepted.exitCode, 0);
    QCOMPARE(ReadResumeList(ResumeListPath(save + u'/')).value(), QStringList { u"http://other/"_s });
}

void TestCli::aSiteFolderInUseRefusesASecondRunThatChangesNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("a crawl of the site") << QStringList { u"crawl"_s, u"TOP"_s, u"SAVE"_s };
    QTest::newRow("a resume of the site") << QStringList { u"resume"_s, u"SAVE"_s };
    QTest::newRow("the list of its downloads") << QStringList { u"list"_s, u"downloads"_s, u"--no-open"_s };
}

void TestCli::aSiteFolderInUseRefusesASecondRunThatChangesNothing()
{
    QFETCH(QStringList, args);
    // The first run waits for the top page for ever, all it wrote before asking for it on disk.
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.route("/", ScriptedHttpServer::silence());
    const QString top = server.url(u"/"_s);
    const QString save = m_home->path() + u"/save/"_s;
    SettingsStore settings(settingsFile());
    settings.save(SettingsKeys::SaveFolder, save);
    settings.save(SettingsKeys::SiteAddress, top);
    settings.save(SettingsKeys::RequestTimeout, 600);
    QProcess first;
    first.start(qEnvironmentVariable("FW_CRAWL_CHILD"), { settingsFile(), u"start"_s, top });
    QVERIFY(server.waitForRequests(2, 60000)); // robots.txt (not there), then the top page
    const QMap<QString, QByteArray> before = SaveFolderContents(save);

    const Run second = run(args.replaceInStrings(u"TOP"_s, top).replaceInStrings(u"SAVE"_s, save));
    QCOMPARE(second.exitCode, 2);
    QVERIFY2(second.err.contains(u"このサイトのフォルダは別のダウンロードが使用中です。"_s), qPrintable(second.err));
    QCOMPARE(SaveFolderContents(save), before);
    first.kill();
    first.waitForFinished();
}

void TestCli::folderListsAreWrittenWithoutOpening()
{
    const QString folder = m_home->path() + u"/pics"_s;
    for (int i = 0; i < 7; ++i)
        QVERIFY(WriteFileBytes(folder + u"/p%1.gif"_s.arg(i), "x"));
    const Run images = run({ u"list"_s, u"images"_s, folder, u"--name"_s, u"thumbs"_s, u"--rows"_s, u"1"_s });
    QCOMPARE(images.exitCode, 0);
    QVERIFY(QFileInfo::exists(folder + u"/thumbs1.html"_s));
    QVERIFY(QFileInfo::exists(folder + u"/thumbs2.html"_s));
    const Run dir
        = run({ u"list"_s, u"dir"_s, folder, u"--exts"_s, u".gif"_s, u"--per-page"_s, u"5"_s, u"--no-open"_s });
    QCOMPARE(dir.exitCode, 0);
    QCOMPARE(dir.out.trimmed(), folder + u"/プレビュー1.html"_s);
    SettingsStore settings(settingsFile());
    QCOMPARE(settings.get(SettingsKeys::MakeGraphListFileName, QString()), u"thumbs"_s);
    QCOMPARE(settings.get(SettingsKeys::MakeGraphMinNLine, QString()), u"1"_s);
    QCOMPARE(settings.get(SettingsKeys::MakeListFileCount, QString()), u"5"_s);
    QCOMPARE(settings.get(SettingsKeys::MakeDirPath, QString()), folder + u'/');
    const Run missing = run({ u"list"_s, u"dir"_s, m_home->path() + u"/none"_s });
    QCOMPARE(missing.exitCode, 1);
    // The image list's pages are not the folder list's to replace, nor is a user's own file.
    const QByteArray imagePage = ReadFileBytes(folder + u"/thumbs1.html"_s);
    const Run over = run({ u"list"_s, u"dir"_s, folder, u"--name"_s, u"thumbs"_s, u"--no-open"_s });
    QCOMPARE(over.exitCode, 2);
    QVERIFY2(over.err.startsWith(folder + u"/thumbs1.html\n"_s) && over.err.contains(u"は一覧ページではないため"_s),
        qPrintable(over.err));
    QCOMPARE(ReadFileBytes(folder + u"/thumbs1.html"_s), imagePage);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
