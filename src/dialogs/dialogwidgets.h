#pragma once
// Making the controls of a dialog with their names, as the tests and the settings know them. Every
// dialog makes its controls here, so a name, a tool tip or a default button is set one way only.

#include <QList>
#include <QSize>
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
// A box for a value that may be long (a list, a folder, an address): at its dialog's default size it
// is wide enough to show the typical value whole, it takes the width a wider dialog gives it, and its tool tip
// shows the whole value, kept up to date as it changes. A fixed explanation stays the tip's first
// line, with the value below it.
QLineEdit* makeValueBox(QWidget* parent, const QString& name, const QString& typical, const QString& explanation = {});
// The tool tip of a value box holding value.
QString valueTip(const QString& explanation, const QString& value);

// Typical long values, which the boxes show whole at their dialog's default size.
namespace TypicalValues {
inline const QString ExtensionList = QStringLiteral(".gif;.png;.jpg;.jpeg;.bmp;.ico;.mpg;.mpeg;.avi;.mov;.zip");
inline const QString UserAgent
    = QStringLiteral("Mozilla/5.0 (X11; Ubuntu; Linux x86_64; rv:126.0) Gecko/20100101 Firefox/126.0");
// A save folder of a Japanese desktop, where the download folder is "ダウンロード".
inline const QString Folder = QStringLiteral("/home/username/ダウンロード/www.example.com/images/2024/");
inline const QString Address = QStringLiteral("https://www.example.com/gallery/2024/photos/index.html");
} // namespace TypicalValues

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

// Gives a dialog the size its controls ask for (so each value box shows its typical value whole),
// and at least least. A dialog larger than the screen's room (a small screen at 150 or 200%) scrolls
// instead: its controls move into a scroll area as large as the room, so every one can be reached.
void resizeToContents(QDialog* dialog, const QSize& least = {});

// Makes Tab walk the widgets in the order given.
void chainTabOrder(const QList<QWidget*>& order);

// A check box as the settings store it: "1" ticked, "0" clear.
QString checkText(const QCheckBox* check);
