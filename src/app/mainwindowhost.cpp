// MainWindow as the engine's host: what the crawl asks of the window and shows in it, the counters,
// the current address, the title and the progress bar.
#include "app/mainwindow.h"

#include "platform/shell.h"
#include "productnames.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>

using namespace Qt::StringLiterals;

void MainWindow::yield()
{
    QCoreApplication::processEvents();
}

bool MainWindow::askOkCancel(const QString& text)
{
    return QMessageBox::question(this, ProductName, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}

void MainWindow::showMessage(const QString& text)
{
    // What the engine shows is what went wrong; the time the user reads it is no time of the run's.
    const bool timing = m_ticker.isActive();
    m_ticker.stop();
    QElapsedTimer open;
    open.start();
    QMessageBox::critical(this, ProductName, text, QMessageBox::Ok);
    if (timing) {
        m_pausedMs += open.elapsed();
        m_ticker.start();
    }
}

void MainWindow::setCounter(Counter counter, qint64 value)
{
    m_counts[size_t(counter)]->setText(QString::number(value));
    if (!m_titleState.isEmpty() && (counter == Counter::Checked || counter == Counter::Detect))
        updateTitle();
}

void MainWindow::setCurrentAddress(const QString& text)
{
    m_comment->setText(text);
    m_comment->repaint();
}

void MainWindow::setCaption(const QString& caption)
{
    m_titleState = caption == ProductName ? QString() : caption;
    updateTitle();
}

void MainWindow::updateTitle()
{
    // While a crawl works: what it does and how far it is, records dealt with of those found.
    if (m_titleState.isEmpty()) {
        setWindowTitle(ProductName);
        return;
    }
    const CrawlCounters& counters = m_state.Counters;
    setWindowTitle(u"%1 - %2 %3/%4"_s.arg(ProductName, m_titleState)
                       .arg(counters[Counter::Checked])
                       .arg(counters[Counter::Detect]));
}

void MainWindow::stepProgress()
{
    // A busy bar: how many records remain is not known, so it shows activity, not a share done.
    if (m_progress->maximum() != 0)
        m_progress->setRange(0, 0);
    m_progress->update();
}

void MainWindow::resetProgress()
{
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    repaint();
}

void MainWindow::openDocument(const QString& path)
{
    // The pages are written whether or not a browser comes up; the user must learn where they are.
    if (!m_shell.openDocument(path))
        reportUnopened(u"ページをブラウザで開けませんでした。次のファイルを開いてください。"_s, path);
}
