#pragma once
// Making the controls of a dialog with their names, as the tests and the settings know them. Every
// dialog makes its controls here, so a name, a tool tip or a default button is set one way only.

#include <QList>
#include <QString>

class QCheckBox;
class QDialog;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// A label, named unless name is empty; a buddy gives the label's shortcut to that control.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QWidget* buddy = nullptr);
QLineEdit* makeBox(QWidget* parent, const QString& name, const QString& toolTip = {});
QCheckBox* makeCheck(QWidget* parent, const QString& name, const QString& text, const QString& toolTip = {});
QRadioButton* makeOption(QWidget* parent, const QString& name, const QString& text, const QString& toolTip = {});
QGroupBox* makeGroup(QWidget* parent, const QString& name, const QString& title);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text);
// A button beside a box (a browse button): Enter in the dialog never presses it.
QPushButton* makeSideButton(QWidget* parent, const QString& name, const QString& text, const QString& toolTip = {});
// Any other control (a list, a tree, a drop-down list), named.
template <typename Control> Control* makeNamed(QWidget* parent, const QString& name)
{
    auto* control = new Control(parent);
    control->setObjectName(name);
    return control;
}

// Whether Enter presses Cancel while Cancel has the focus (a push button's usual way in a dialog),
// or always presses OK.
enum class CancelOnEnter { WhenFocused, Never };

// The row at the foot of a dialog: any extra buttons on the left, then OK ("OKButton", the default
// button) and Cancel ("CancelButton", "ｷｬﾝｾﾙ", which rejects the dialog) on the right.
struct ButtonRow {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QHBoxLayout* layout = nullptr;
};
ButtonRow makeButtonRow(
    QDialog* dialog, const QString& okText, CancelOnEnter cancelOnEnter, const QList<QWidget*>& leading = {});

// Makes Tab walk the widgets in the order given.
void chainTabOrder(const QList<QWidget*>& order);

// A check box as the settings store it: "1" ticked, "0" clear.
QString checkText(const QCheckBox* check);
