#pragma once
// Making the controls of a dialog with their names, as the tests and the settings know them.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>

inline QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

inline QLineEdit* makeBox(QWidget* parent, const QString& name, const QString& toolTip = {})
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setToolTip(toolTip);
    return box;
}

inline QCheckBox* makeCheck(QWidget* parent, const QString& name, const QString& text, const QString& toolTip = {})
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(name);
    check->setToolTip(toolTip);
    return check;
}

// A check box as the settings store it: "1" ticked, "0" clear.
inline QString checkText(const QCheckBox* check)
{
    return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}
