// The boxes for long values (lists, folders, addresses, the User-Agent) in every dialog that has
// one: a typical value shows whole at the dialog's default size, the box takes the width a wider
// dialog gives it, and its tool tip shows the whole value as it changes.

#include "dialogs/deepaddrdialog.h"
#include "dialogs/gethttpaddrdialog.h"
#include "dialogs/getrestartformdialog.h"
#include "dialogs/getrestartlistdialog.h"
#include "dialogs/makegraphviewdialog.h"
#include "dialogs/makelistdirdialog.h"
#include "dialogs/settingdialog.h"
#include "settings/settingskeys.h"
#include "support/gui/dialogfixture.h"
#include "support/quiethost.h"

#include <QHash>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOption>
#include <QTest>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace {

struct Fixture : DialogFixture {
    QuietHost host;
    DeepAddrDialog deep { env };
    GetHttpAddrDialog addr { env, deep };
    SettingDialog settings { env };
    GetRestartListDialog list { env };
    GetReStartFormDialog form { env, list };
    MakeListDirDialog listDir { env, host };
    MakeGraphViewDialog graph { env, host };
    QHash<QString, QDialog*> dialog;

    Fixture()
    {
        for (QDialog* each : QList<QDialog*> { &deep, &addr, &settings, &form, &listDir, &graph })
            dialog.insert(each->objectName(), each);
    }
};

// The width a line box has for its text: its contents less the text margins and QLineEdit's own
// two pixels a side.
int textRoom(const QLineEdit* box)
{
    QStyleOptionFrame option;
    option.initFrom(box);
    option.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box) : 0;
    const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
    const QMargins margins = box->textMargins();
    return contents.width() - margins.left() - margins.right() - 4;
}

} // namespace

class TestValueBoxes : public QObject {
    Q_OBJECT
private slots:
    void longValueShowsWholeAndInTheTip_data();
    void longValueShowsWholeAndInTheTip();
    void markupInAValueIsShownAsWritten();
};

void TestValueBoxes::longValueShowsWholeAndInTheTip_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("explanation");
    const QString folder = u"/home/yamada/ダウンロード/www.example.co.jp/photos/"_s;
    QTest::newRow("the directory list shows its default extensions")
        << u"MakeListDirDialog"_s << u"MakeListExts"_s << SettingsDefaults::MakeListExts << QString();
    QTest::newRow("the image list shows a folder below its explanation")
        << u"MakeGraphViewDialog"_s << u"MakeGraphDirPath"_s << folder
        << u"一覧を作るファイルが含まれたディレクトリを指定します。"_s;
    QTest::newRow("the crawl options show an extension list")
        << u"DeepAddrDialog"_s << u"DownloadExts"_s << u".gif;.png;.jpg;.jpeg;.bmp;.mpg;.avi;.zip"_s << QString();
    QTest::newRow("the settings show a browser's User-Agent")
        << u"SettingDialog"_s << u"User_Agent"_s
        << u"Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0"_s << QString();
    QTest::newRow("the site address dialog shows a save folder")
        << u"GetHttpAddrDialog"_s << u"SavePath"_s << folder << QString();
    QTest::newRow("the resume dialog shows a save folder")
        << u"GetReStartFormDialog"_s << u"SavePath"_s << folder << QString();
}

void TestValueBoxes::longValueShowsWholeAndInTheTip()
{
    QFETCH(QString, dialog);
    QFETCH(QString, box);
    QFETCH(QString, value);
    QFETCH(QString, explanation);
    Fixture f;
    QDialog* shown = f.dialog.value(dialog);
    auto* edit = shown->findChild<QLineEdit*>(box);
    shown->show();
    edit->clear();
    QCOMPARE(edit->toolTip(), explanation);
    edit->insert(value); // as pasted: key clicks carry Latin-1 only
    // The text and the cursor after it fit, or the box scrolls the start out of sight.
    const int needed = edit->fontMetrics().horizontalAdvance(value) + 1;
    QVERIFY2(needed <= textRoom(edit), qPrintable(u"%1 > %2"_s.arg(needed).arg(textRoom(edit))));
    const auto tip = [&](const QString& text) { return explanation.isEmpty() ? text : explanation + u'\n' + text; };
    QCOMPARE(edit->toolTip(), tip(value));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->toolTip(), tip(value.chopped(1)));

    const int narrow = edit->width();
    shown->resize(shown->width() + 200, shown->height());
    QCoreApplication::processEvents();
    QCOMPARE(edit->width(), narrow + 200);
}

void TestValueBoxes::markupInAValueIsShownAsWritten()
{
    Fixture f;
    const QString value = u"<b>.gif</b>;<img src=x>.png"_s;
    f.listDir.findChild<QLineEdit*>(u"MakeListExts"_s)->setText(value);
    QTextDocument tip;
    tip.setHtml(f.listDir.findChild<QLineEdit*>(u"MakeListExts"_s)->toolTip());
    QCOMPARE(tip.toPlainText(), value);
}

QTEST_MAIN(TestValueBoxes)
#include "tst_valueboxes.moc"
