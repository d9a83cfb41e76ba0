// The command line's terminal checks and stop signals, each tried in a child copy of this program
// (a second stop signal ends the process it arrives in).
#include "platform/terminal.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The child's part: what the parent names in FW_TERMINAL_CHILD, told on standard output.
int runChild(const QByteArray& what)
{
    if (what == "terminals") {
        std::printf("input %d error %d", int(StandardInputIsTerminal()), int(StandardErrorIsTerminal()));
        return 0;
    }
    // Otherwise "watch" or "ignore", then the signals to raise: "int", "term".
    const QList<QByteArray> words = what.split(' ');
    if (words.value(0) == "watch")
        WatchStopSignals();
    for (qsizetype i = 1; i < words.size(); ++i)
        std::raise(words[i] == "int" ? SIGINT : SIGTERM);
    std::printf(StopSignalled() ? "stopped" : "running");
    return 0;
}

struct ChildRun {
    bool crashed = false;
    int exitCode = -1;
    QString out;
};

ChildRun runAsChild(const QString& what, const QString& program, const QStringList& args)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"FW_TERMINAL_CHILD"_s, what);
    process.setProcessEnvironment(environment);
    process.start(program, args);
    process.waitForFinished(60000);
    return { process.exitStatus() != QProcess::NormalExit, process.exitCode(),
        QString::fromUtf8(process.readAllStandardOutput()) };
}

} // namespace

class TestTerminal : public QObject {
    Q_OBJECT
private slots:
    void stopSignals_data();
    void stopSignals();
    void pipesAreNoTerminal();
    void aTerminalIsOne();
};

void TestTerminal::stopSignals_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::newRow("nothing is signalled before a signal") << u"watch"_s << 0 << u"running"_s;
    QTest::newRow("Ctrl-C requests a stop") << u"watch int"_s << 0 << u"stopped"_s;
    QTest::newRow("a request to terminate requests a stop") << u"watch term"_s << 0 << u"stopped"_s;
    QTest::newRow("a second Ctrl-C ends the process at once") << u"watch int int"_s << 130 << QString();
    QTest::newRow("Ctrl-C after a request to terminate ends it at once") << u"watch term int"_s << 130 << QString();
}

void TestTerminal::stopSignals()
{
    QFETCH(QString, what);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    const ChildRun run = runAsChild(what, QCoreApplication::applicationFilePath(), {});
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out, out);
}

void TestTerminal::pipesAreNoTerminal()
{
    // QProcess connects standard input and standard error to pipes.
    const ChildRun run = runAsChild(u"terminals"_s, QCoreApplication::applicationFilePath(), {});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, u"input 0 error 0"_s);
}

void TestTerminal::aTerminalIsOne()
{
    // script(1) runs the child on a pseudo-terminal of its own.
    const QString script = QStandardPaths::findExecutable(u"script"_s);
    if (script.isEmpty())
        QSKIP("script(1) is not installed");
    const QString command = u"'"_s + QCoreApplication::applicationFilePath() + u"'"_s;
    const ChildRun run = runAsChild(u"terminals"_s, script, { u"-qec"_s, command, u"/dev/null"_s });
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(u"input 1 error 1"_s), qPrintable(run.out));
}

int main(int argc, char* argv[])
{
    const QByteArray child = qgetenv("FW_TERMINAL_CHILD");
    if (!child.isEmpty())
        return runChild(child);
    QCoreApplication app(argc, argv);
    TestTerminal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_terminal.moc"
