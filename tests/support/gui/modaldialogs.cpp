#include "support/gui/modaldialogs.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int GiveUpMs = 5000;

// Polls from the event loop, so the action runs inside whatever exec() is waiting then; the timer
// is stopped first, as the action may open the next modal window.
void pollUntil(QObject* owner, std::function<bool()> condition, std::function<void()> action)
{
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, condition, action] {
        if (!condition())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(5);
}

// Runs action on the modal window that found returns, or closes whatever modal window is up once
// the deadline has passed.
void whenFound(QObject* owner, std::function<QWidget*()> found, std::function<void(QWidget*)> action)
{
    const QDeadlineTimer deadline(GiveUpMs);
    pollUntil(
        owner, [found, deadline] { return found() || deadline.hasExpired(); },
        [found, action] {
            if (QWidget* dialog = found())
                action(dialog);
            else if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
}

} // namespace

void whenModal(QWidget* dialog, std::function<void()> action)
{
    whenFound(
        dialog,
        [dialog]() -> QWidget* {
            return QApplication::activeModalWidget() == dialog && dialog->isVisible() ? dialog : nullptr;
        },
        [action](QWidget*) { action(); });
}

void whenModal(const QString& name, std::function<void(QWidget*)> action)
{
    whenFound(
        nullptr,
        [name]() -> QWidget* {
            QWidget* modal = QApplication::activeModalWidget();
            return modal && modal->objectName() == name ? modal : nullptr;
        },
        action);
}

void once(std::function<bool()> condition, std::function<void()> action)
{
    pollUntil(nullptr, condition, action);
}
