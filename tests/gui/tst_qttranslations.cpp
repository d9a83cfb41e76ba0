// Qt's own texts next to the window's Japanese: the standard buttons, the text boxes' context
// menus and the folder picker's view, after start-up has loaded Qt's Japanese catalogue.
#include "app/qttranslations.h"
#include "dialogs/dirdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString shownText(const QString& where)
{
    if (where == u"message box"_s) {
        QMessageBox box(QMessageBox::Question, u"t"_s, u"x"_s, QMessageBox::Ok | QMessageBox::Cancel);
        return box.button(QMessageBox::Cancel)->text();
    }
    if (where == u"context menu"_s) {
        QLineEdit box;
        const std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                texts.append(action->text());
        return texts.join(u'|');
    }
    DirDialog picker;
    auto* view = picker.findChild<QTreeView*>(u"Dir1"_s);
    return view->model()->headerData(0, Qt::Horizontal).toString();
}

} // namespace

class TestQtTranslations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void standardTextsAreJapanese_data();
    void standardTextsAreJapanese();
};

void TestQtTranslations::initTestCase()
{
    // Without the catalogue Qt speaks English, which is what the checks below must not find.
    QCOMPARE(shownText(u"message box"_s), u"Cancel"_s);
    QVERIFY2(LoadQtTranslations(*qApp), "Qt's Japanese catalogue (qt6-translations-l10n) must be installed");
}

void TestQtTranslations::standardTextsAreJapanese_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("english");
    QTest::newRow("a question's Cancel button") << u"message box"_s << u"Cancel"_s;
    QTest::newRow("a text box's context menu") << u"context menu"_s << u"Undo"_s;
    QTest::newRow("the folder picker's folder view") << u"folder view"_s << u"Name"_s;
}

void TestQtTranslations::standardTextsAreJapanese()
{
    QFETCH(QString, where);
    QFETCH(QString, english);
    const QString text = shownText(where);
    qInfo() << text;
    QVERIFY2(!text.contains(english), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression(u"[\\x{3040}-\\x{30ff}\\x{4e00}-\\x{9fff}]"_s)), qPrintable(text));
}

QTEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
