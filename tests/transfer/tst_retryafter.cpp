#include "transfer/retryafter.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestRetryAfter : public QObject {
    Q_OBJECT
private slots:
    void waits_data();
    void waits();
};

void TestRetryAfter::waits_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<qint64>("wait");
    const QByteArray date = "Date: Mon, 07 Dec 2026 09:00:00 GMT\r\n";
    QTest::newRow("an RFC 850 date") << "HTTP/1.1 503 Busy\r\n" + date
            + "retry-after: Monday, 07-Dec-26 09:01:00 GMT\r\n"
                                     << 60000LL;
    QTest::newRow("an asctime date") << "HTTP/1.1 429 x\r\n" + date + "Retry-After: Mon Dec  7 09:00:05 2026\r\n"
                                     << 5000LL;
    QTest::newRow("without a Date the date is read against now")
        << "HTTP/1.1 503 Busy\r\nRetry-After: Mon, 07 Dec 2026 12:00:03 GMT\r\n"_ba << 3000LL;
    QTest::newRow("without a Retry-After it can read, five seconds")
        << "HTTP/1.1 429 x\r\nRetry-After: soon\r\n"_ba << 5000LL;
    QTest::newRow("never more than two minutes") << "HTTP/1.1 429 x\r\nRetry-After: 86400\r\n"_ba << 120000LL;
    QTest::newRow("other answers do not ask to wait") << "HTTP/1.1 500 Error\r\nRetry-After: 3\r\n"_ba << -1LL;
}

void TestRetryAfter::waits()
{
    QFETCH(QByteArray, headers);
    QFETCH(qint64, wait);
    QCOMPARE(RetryAfterMs(headers, QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC)), wait);
}

QTEST_GUILESS_MAIN(TestRetryAfter)
#include "tst_retryafter.moc"
