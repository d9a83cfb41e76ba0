#pragma once
// Driving modal dialogs from a test: an action armed before the click that opens a dialog runs
// from inside the dialog's exec() once it is the modal window. A dialog that never comes up, or
// stays up, has the modal window closed after a few seconds, so a failing test cannot hang.
//   whenModal(&dialog, [&] { click(&dialog, u"OKButton"_s); });
//   dialog.exec();

#include <QString>
#include <functional>

class QWidget;

// Runs action once dialog is the visible modal window.
void whenModal(QWidget* dialog, std::function<void()> action);
// Runs action on the modal window named name once it is up (a dialog the test cannot reach, such
// as one the main window owns).
void whenModal(const QString& name, std::function<void(QWidget*)> action);
// Runs action once, at the first moment condition holds, however long that takes.
void once(std::function<bool()> condition, std::function<void()> action);
