// The wakeup that ends the network thread's wait on its sockets: readable once signalled, from any
// thread, and quiet again once cleared.
#include "platform/wakeup.h"

#include <QTest>

#include <sys/select.h>
#include <thread>

namespace {

// Whether the descriptor is readable within milliseconds.
bool readable(int descriptor, int milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(descriptor, &set);
    timeval limit { 0, milliseconds * 1000 };
    return select(descriptor + 1, &set, nullptr, nullptr, &limit) == 1;
}

} // namespace

class TestWakeup : public QObject {
    Q_OBJECT
private slots:
    void aSignalFromAnotherThreadEndsTheWaitUntilCleared();
};

void TestWakeup::aSignalFromAnotherThreadEndsTheWaitUntilCleared()
{
    Wakeup wakeup;
    QVERIFY(wakeup.descriptor() >= 0);
    QVERIFY(!readable(wakeup.descriptor(), 0));
    std::thread other([&wakeup] {
        for (int i = 0; i < 1000; ++i)
            wakeup.signal(); // more signals than the pipe holds never block
    });
    QVERIFY(readable(wakeup.descriptor(), 900));
    other.join();
    wakeup.clear();
    QVERIFY(!readable(wakeup.descriptor(), 0));
    wakeup.signal();
    QVERIFY(readable(wakeup.descriptor(), 0));
}

QTEST_GUILESS_MAIN(TestWakeup)
#include "tst_wakeup.moc"
