// The built program started as a user would: a second copy refuses to run, a copy that was
// killed leaves no lock behind, and the program stays in the folder it was started in.
#include "platform/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// The first line of a lock file: its holder's process number.
QByteArray lockHolder(const QString& path)
{
#ifdef Q_OS_WIN
    // A held lock file goes as it is closed, so only an opener that shares its deletion reads it.
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
        GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    char text[32];
    DWORD read = 0;
    const bool ok = ReadFile(file, text, sizeof text, &read, nullptr);
    CloseHandle(file);
    return ok ? QByteArray(text, read).split('\n').first() : QByteArray();
#else
    QFile lock(path);
    return lock.open(QIODevice::ReadOnly) ? lock.readLine() : QByteArray();
#endif
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void aSecondCopyRefusesToRun();
    void aSecondCopyBringsTheFirstToTheFront();
    void theProgramKeepsTheFolderItWasStartedIn();

private:
    void startProgram(QProcess& process);
    // Waits until the process with pid holds the program's lock.
    bool waitForLock(qint64 pid, int timeoutMs) const;

    QTemporaryDir m_home;
    QString m_program;
};

void TestStartup::initTestCase()
{
    m_program = qEnvironmentVariable("FW_PROGRAM");
    QVERIFY2(QFileInfo(m_program).isExecutable(), "FW_PROGRAM must name the built program");
    QVERIFY(QDir().mkpath(m_home.filePath(u"runtime"_s)));
    QFile::setPermissions(
        m_home.filePath(u"runtime"_s), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestStartup::startProgram(QProcess& process)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    // The lock lies in the runtime folder, on Windows in the temporary folder: here both are one.
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_home.filePath(u"runtime"_s));
    environment.insert(u"TMP"_s, QDir::toNativeSeparators(m_home.filePath(u"runtime"_s)));
    environment.insert(u"TEMP"_s, QDir::toNativeSeparators(m_home.filePath(u"runtime"_s)));
    environment.insert(u"XDG_CONFIG_HOME"_s, m_home.filePath(u"config"_s));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    if (process.workingDirectory().isEmpty())
        process.setWorkingDirectory(m_home.path());
    process.start(m_program, {});
    QVERIFY(process.waitForStarted(10000));
}

bool TestStartup::waitForLock(qint64 pid, int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (lockHolder(m_home.filePath(u"runtime/Quillmark-Fetchwright.lock"_s)).trimmed().toLongLong() == pid)
            return true;
        QTest::qWait(20);
    }
    return false;
}

void TestStartup::aSecondCopyBringsTheFirstToTheFront()
{
    const QString lock = m_home.filePath(u"raise.lock"_s);
    SingleInstance first(lock);
    QVERIFY(first.acquire());
    int raised = 0;
    first.onRaiseRequest([&raised] { ++raised; });
    SingleInstance second(lock);
    QVERIFY(!second.acquire());
    second.askToRaise();
    QTRY_COMPARE(raised, 1);
    second.askToRaise();
    QTRY_COMPARE(raised, 2);
}

void TestStartup::aSecondCopyRefusesToRun()
{
    QProcess first;
    startProgram(first);
    QVERIFY2(waitForLock(first.processId(), 15000), "the first copy must take the lock");

    QProcess second;
    startProgram(second);
    QString refusal;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 15000 && !refusal.contains(u"このアプリケーションはすでに開かれています。"_s)) {
        second.waitForReadyRead(100);
        refusal += QString::fromUtf8(second.readAllStandardError());
    }
    QVERIFY2(refusal.contains(u"このアプリケーションはすでに開かれています。"_s), qPrintable(refusal));
    second.kill();
    second.waitForFinished();
    QCOMPARE(first.state(), QProcess::Running);

    // A copy that crashes leaves its lock file, but not a lock; Windows removes the file with it.
    first.kill();
    first.waitForFinished();
#ifdef Q_OS_WIN
    const bool fileLeft = false;
#else
    const bool fileLeft = true;
#endif
    QCOMPARE(QFileInfo::exists(m_home.filePath(u"runtime/Quillmark-Fetchwright.lock"_s)), fileLeft);
    QProcess third;
    startProgram(third);
    QVERIFY2(waitForLock(third.processId(), 15000), "a new copy takes the lock of one that was killed");
    QVERIFY(!QString::fromUtf8(third.readAllStandardError()).contains(u"すでに開かれています"_s));
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished();
}

void TestStartup::theProgramKeepsTheFolderItWasStartedIn()
{
    // A relative save folder is the home folder's, so nothing needs the program's folder to be
    // current, and an installed program's folder is not writable anyway.
#ifdef Q_OS_WIN
    QSKIP("Windows makes the program's own folder current at start-up (SettleUserFolderBase)");
#endif
    QTemporaryDir startedIn;
    QProcess program;
    program.setWorkingDirectory(startedIn.path());
    startProgram(program);
    QVERIFY2(waitForLock(program.processId(), 15000), "the program must come up");
    const QString current = QFileInfo(u"/proc/%1/cwd"_s.arg(program.processId())).symLinkTarget();
    program.kill();
    program.waitForFinished();
    QCOMPARE(current, QFileInfo(startedIn.path()).canonicalFilePath());
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
