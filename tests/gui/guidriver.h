#pragma once
// Driving modal dialogs from a test: the action runs from inside the dialog's exec() once it is
// the modal window; a dialog that never comes up, or stays up, is closed after a few seconds so a
// failing test cannot hang.

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

inline void whenModal(QWidget* dialog, std::function<void()> action)
{
    auto* timer = new QTimer(dialog);
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (QApplication::activeModalWidget() == dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action();
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start(5);
}
