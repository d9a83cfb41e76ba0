// A crawl killed (SIGKILL) at 50 moments spread over its whole run and resumed each time must end
// exactly as an uninterrupted crawl: the same files, logs and counters, no partial or numbered
// copies. The site is large enough for a kill to land in every kind of step: probes, page scans,
// queue compactions, small files and ranged pieces.
#include "records/logs.h"
#include "records/recordfile.h"
#include "records/recordline.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include "support/crawlharness.h"
#include "support/gzipped.h"
#include "support/nginxfixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

struct Outcome {
    QMap<QString, QByteArray> files;
    QList<qint32> counters;
    QList<QStringList> downloads;
    QStringList detected;
    QList<QStringList> errors;
};

QList<QStringList> withoutTimeStamps(const QStringList& lines)
{
    QList<QStringList> records;
    for (qsizetype i = 1; i < lines.size(); ++i)
        records.append(SplitRecordLine(lines[i]).mid(1));
    return records;
}

// The names whose presence or content differs, for the failure message.
QByteArray differences(const QMap<QString, QByteArray>& got, const QMap<QString, QByteArray>& expected)
{
    QStringList names;
    for (auto it = got.cbegin(); it != got.cend(); ++it)
        if (expected.value(it.key()) != it.value())
            names.append(it.key());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        if (!got.contains(it.key()))
            names.append(it.key() + u" (missing)"_s);
    return names.join(u", "_s).toUtf8();
}

} // namespace

class TestCrawlKill : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void killedAnywhereResumesToTheSameEnd();

private:
    QString prepareSaveFolder(QTemporaryDir& dir);
    bool runChild(const QString& settings, const QStringList& args, int killAfterMs = -1);
    Outcome outcomeOf(const QString& saveDir) const;

    QTemporaryDir m_root;
    std::unique_ptr<NginxFixture> m_nginx;
    QString m_child;
    QString m_top;
};

void TestCrawlKill::initTestCase()
{
    if (NginxFixture::executable().isEmpty())
        QSKIP(NginxFixture::missingMessage());
    m_child = qEnvironmentVariable("FW_CRAWL_CHILD");
    QVERIFY2(QFileInfo(m_child).isExecutable(), "FW_CRAWL_CHILD must name the crawl child program");

    QByteArray index
        = "<html><link rel=stylesheet href=sub/look.css><a href=\"missing.gif\">m</a><a href=big1.bin>b</a>";
    for (int p = 0; p < 12; ++p) {
        index += "<a href=\"p" + QByteArray::number(p) + ".html\">page</a>";
        QByteArray page = "<img src=\"shared.gif\"><a href=\"index.html\">up</a><a href=\"../big2.bin\">b</a>";
        for (int f = 0; f < 5; ++f) {
            const QByteArray name = "f" + QByteArray::number(p) + '_' + QByteArray::number(f) + ".gif";
            page += "<img src=\"" + name + "\">";
            QVERIFY(WriteFileBytes(m_root.filePath(u"sub/"_s + QString::fromLatin1(name)),
                QByteArray((p * 5 + f + 1) * 2000, char('a' + f))));
        }
        QVERIFY(WriteFileBytes(m_root.filePath(u"sub/p%1.html"_s.arg(p)), page));
        index.replace("p" + QByteArray::number(p) + ".html", "sub/p" + QByteArray::number(p) + ".html");
    }
    QVERIFY(WriteFileBytes(m_root.filePath(u"index.html"_s), index));
    QVERIFY(WriteFileBytes(m_root.filePath(u"sub/shared.gif"_s), "shared"));
    QVERIFY(
        WriteFileBytes(m_root.filePath(u"sub/look.css"_s), "@import 'look.css'; p { background: url(shared.gif) }"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"big1.bin"_s), QByteArray(1500000, 'x')));
    QVERIFY(WriteFileBytes(m_root.filePath(u"big2.bin"_s), QByteArray(1200000, 'y')));
    m_nginx = std::make_unique<NginxFixture>(m_root.path());
    m_nginx->addDirective(u"location ~ \\.bin$ { limit_rate 6m; }"_s);
    QVERIFY2(m_nginx->start(), qPrintable(m_nginx->errorString()));
    m_top = m_nginx->url(u"/index.html"_s);
    // Pages that only the site's sitemap (gzip, behind an index) lists, read while the top page is.
    QByteArray listed = "<urlset>";
    for (int p = 0; p < 4; ++p) {
        const QByteArray page = "sub/listed" + QByteArray::number(p);
        listed += "<url><loc>" + m_nginx->url(u"/"_s).toUtf8() + page + ".html</loc></url>";
        QVERIFY(WriteFileBytes(
            m_root.filePath(QString::fromLatin1(page + ".html")), "<img src=\"" + page.mid(4) + ".gif\">"));
        QVERIFY(WriteFileBytes(m_root.filePath(QString::fromLatin1(page + ".gif")), QByteArray(30000 * (p + 1), 'l')));
    }
    QVERIFY(WriteFileBytes(m_root.filePath(u"listed.xml.gz"_s), Gzipped(listed + "</urlset>")));
    QVERIFY(WriteFileBytes(m_root.filePath(u"sitemap.xml"_s),
        "<sitemapindex><sitemap><loc>" + m_nginx->url(u"/listed.xml.gz"_s).toUtf8()
            + "</loc></sitemap></sitemapindex>"));
}

QString TestCrawlKill::prepareSaveFolder(QTemporaryDir& dir)
{
    const QString settingsFile = dir.filePath(u"settings.conf"_s);
    SettingsStore settings(settingsFile);
    settings.save(SettingsKeys::SaveFolder, dir.path() + u"/save/"_s);
    settings.save(SettingsKeys::SearchType, 2);
    settings.save(SettingsKeys::DeepCount, 0);
    settings.save(SettingsKeys::MaxSize, 0);
    settings.save(SettingsKeys::ListViewCheck, 0);
    settings.save(SettingsKeys::DownloadExts, u".gif;.bin"_s);
    // Killed with requests running side by side, work fetched ahead and not applied is lost and
    // done again on resume.
    settings.save(SettingsKeys::Connections, 6);
    return settingsFile;
}

bool TestCrawlKill::runChild(const QString& settings, const QStringList& args, int killAfterMs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(m_child, QStringList { settings } + args);
    if (!child.waitForStarted(10000))
        return false;
    if (killAfterMs >= 0 && !child.waitForFinished(killAfterMs)) {
        child.kill();
        child.waitForFinished(10000);
        return true;
    }
    // A child that ended before its kill time has finished already: waiting again would report
    // that as a failure (on a busy machine a run can be quicker than the timed reference run).
    if (child.state() != QProcess::NotRunning && !child.waitForFinished(180000))
        return false;
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

Outcome TestCrawlKill::outcomeOf(const QString& saveDir) const
{
    const QString siteDir = saveDir + u"127.0.0.1."_s + QString::number(m_nginx->port());
    Outcome outcome;
    outcome.files = MirroredFiles(siteDir);
    const std::optional<ResumeRecord> record = ReadResumeRecord(ResumeRecordPath(siteDir));
    if (record)
        outcome.counters = QList<qint32>(record->counters.values.begin(), record->counters.values.end());
    outcome.downloads = withoutTimeStamps(ReadRecordLines(LogPath(siteDir, DownloadLogName)).value_or(QStringList()));
    for (QStringList& download : outcome.downloads)
        download[1].remove(0, saveDir.size()); // the local path, relative to its own save folder
    outcome.detected = ReadRecordLines(LogPath(siteDir, DetectedLogName)).value_or(QStringList());
    outcome.errors = withoutTimeStamps(ReadRecordLines(LogPath(siteDir, ErrorResponseLogName)).value_or(QStringList()));
    return outcome;
}

void TestCrawlKill::killedAnywhereResumesToTheSameEnd()
{
    QTemporaryDir referenceDir;
    const QString referenceSettings = prepareSaveFolder(referenceDir);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runChild(referenceSettings, { u"start"_s, m_top }));
    const int duration = int(timer.elapsed());
    const Outcome reference = outcomeOf(referenceDir.path() + u"/save/"_s);
    QVERIFY(reference.files.size() > 60);
    QCOMPARE(reference.counters.value(1), reference.files.size());
    QCOMPARE(reference.errors.size(), 2); // missing.gif and sub/index.html
    QVERIFY(reference.files.contains(u"sub/listed3.gif"_s));

    const int kills = 50;
    int interrupted = 0;
    for (int k = 0; k < kills; ++k) {
        QTemporaryDir dir;
        const QString settings = prepareSaveFolder(dir);
        const QString saveDir = dir.path() + u"/save/"_s;
        const QString siteDir = saveDir + u"127.0.0.1."_s + QString::number(m_nginx->port());
        const int delay = duration * (k + 1) / (kills + 1);
        QVERIFY(runChild(settings, { u"start"_s, m_top }, delay));
        if (!ReadResumeList(ResumeListPath(saveDir)).value_or(QStringList()).isEmpty())
            ++interrupted;
        for (int round = 0; round < 8; ++round) {
            const QStringList pending = ReadResumeList(ResumeListPath(saveDir)).value_or(QStringList());
            const bool started = QFileInfo::exists(ResumeRecordPath(siteDir));
            if (pending.isEmpty() && started)
                break;
            QVERIFY(
                runChild(settings, started ? QStringList { u"resume"_s, siteDir } : QStringList { u"start"_s, m_top }));
        }
        const Outcome resumed = outcomeOf(saveDir);
        const QByteArray when = "killed after " + QByteArray::number(delay) + " ms";
        QVERIFY2(
            resumed.files == reference.files, (when + ": " + differences(resumed.files, reference.files)).constData());
        QVERIFY2(resumed.counters == reference.counters, when.constData());
        QVERIFY2(resumed.downloads == reference.downloads, when.constData());
        QVERIFY2(resumed.detected.size() == reference.detected.size(), when.constData());
        QVERIFY2(resumed.errors == reference.errors, when.constData());
    }
    QVERIFY2(interrupted >= kills / 2, "most kills must land while the crawl runs");
}

QTEST_GUILESS_MAIN(TestCrawlKill)
#include "tst_crawlkill.moc"
