#pragma once
// Answering the modal message boxes a dialog shows while a test drives it: arm an answer before
// the click that raises the box; the answer is given as soon as the box is up, and the box's text
// is kept for the test to check.
//   MessageBoxAnswer answer(QMessageBox::Ok);
//   QTest::mouseClick(okButton, Qt::LeftButton);
//   QCOMPARE(answer.texts(), QStringList{u"アドレスが不正です。"_s});

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

class MessageBoxAnswer {
public:
    // afterMs: how long each box stays up before it is answered.
    explicit MessageBoxAnswer(QMessageBox::StandardButton button, int times = 1, int afterMs = 10)
        : m_button(button)
        , m_remaining(times)
    {
        m_timer.setInterval(afterMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start();
    }
    QStringList texts() const { return m_texts; }
    QList<QMessageBox::Icon> icons() const { return m_icons; }
    int remaining() const { return m_remaining; }

private:
    void answer()
    {
        if (m_remaining <= 0)
            return;
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        m_texts.append(box->text());
        m_icons.append(box->icon());
        --m_remaining;
        if (QAbstractButton* button = box->button(m_button))
            button->click();
        else
            box->reject();
    }

    QMessageBox::StandardButton m_button;
    int m_remaining;
    QList<QMessageBox::Icon> m_icons;
    QStringList m_texts;
    QTimer m_timer;
};
