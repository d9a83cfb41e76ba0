#pragma once
// Headless Chromium driven over the DevTools protocol, for tests that check pages as a browser
// sees them. The browser gets a fresh profile in a temporary folder, runs in a process group of
// its own and talks over a pipe (its descriptors 3 and 4, NUL-terminated JSON), so no port is
// opened; the object ends every process of that group when it goes.
//   HeadlessChromium browser;
//   QVERIFY2(browser.start(), qPrintable(browser.error()));
//   QVERIFY2(browser.open(QUrl::fromLocalFile(page)), qPrintable(browser.error()));
//   const QJsonValue title = browser.evaluate(u"document.title"_s);

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/types.h>

class HeadlessChromium {
public:
    HeadlessChromium() = default;
    ~HeadlessChromium();
    HeadlessChromium(const HeadlessChromium&) = delete;
    HeadlessChromium& operator=(const HeadlessChromium&) = delete;

    // The browser program, or "" when none is installed.
    static QString executable();

    // Starts the browser with one page of the given size; false with error() set on failure.
    bool start(const QSize& window = QSize(1024, 768));
    // Loads url in the page and waits for its load event (images and frames included).
    bool open(const QUrl& url);
    // Runs expression (which starts a navigation, such as a link's click()) and waits for the
    // next page's load event.
    bool navigateBy(const QString& expression);
    // The value of a JavaScript expression in the page; undefined on an error or exception.
    QJsonValue evaluate(const QString& expression);
    // A PNG picture of the page as it is shown.
    QByteArray screenshot();
    // The messages of the JavaScript dialogs (alert, confirm, prompt) pages opened; each is
    // dismissed as it opens.
    QStringList dialogs() const { return m_dialogs; }
    QString error() const { return m_error; }
    // Closes the browser and ends what is left of its process group.
    void stop();

private:
    QJsonObject call(const QString& method, const QJsonObject& params = {}, bool inPage = true);
    bool send(const QJsonObject& message);
    // Reads what has arrived within timeoutMs and handles it; false when the pipe is closed.
    bool pump(int timeoutMs);
    void handle(const QJsonObject& message);
    bool waitForLoad(int loadsBefore);
    QString logTail() const;

    QTemporaryDir m_profile;
    pid_t m_pid = -1;
    int m_toBrowser = -1;
    int m_fromBrowser = -1;
    QByteArray m_incoming;
    int m_nextId = 0;
    QHash<int, QJsonObject> m_responses;
    QString m_session;
    int m_loads = 0;
    QStringList m_dialogs;
    QString m_error;
};
