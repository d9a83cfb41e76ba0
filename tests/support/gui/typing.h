#pragma once
// Typing into a box: ASCII as key presses (all QTest takes), anything else committed as a Japanese
// input method commits it.

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>

inline void typeText(QWidget* box, const QString& text)
{
    for (const QChar c : text) {
        QInputMethodEvent commit;
        commit.setCommitString(c);
        if (c.unicode() < 0x80)
            QTest::keyClick(box, c.toLatin1());
        else
            QApplication::sendEvent(box, &commit);
    }
}
