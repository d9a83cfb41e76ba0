// The directory list and image list dialogs driven through their widgets: what they load, the
// layout switch, the count check, what a start stores and writes into a real folder, and which
// ways out keep or drop what was typed.

#include "crawl/crawlhost.h"
#include "crawl/crawlstate.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "dialogs/makegraphviewdialog.h"
#include "dialogs/makelistdirdialog.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "support/gui/dialogfixture.h"
#include "support/gui/messageboxes.h"
#include "support/gui/modaldialogs.h"
#include "support/temphome.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class Host final : public CrawlHost {
public:
    void yield() override { }
    bool askOkCancel(const QString&) override { return true; }
    void showMessage(const QString& text) override { messages.append(text); }
    void setCounter(Counter, qint64) override { }
    void setCurrentAddress(const QString&) override { }
    void setCaption(const QString&) override { }
    void stepProgress() override { }
    void resetProgress() override { }
    void openDocument(const QString& path) override { opened.append(path); }

    QStringList messages;
    QStringList opened;
};

template <typename Dialog> struct Names;
template <> struct Names<MakeListDirDialog> {
    static QString dir() { return u"MakeDirPath"_s; }
    static QString count() { return u"MakeListFileCount"_s; }
    static QString base() { return u"MakeListFileName"_s; }
};
template <> struct Names<MakeGraphViewDialog> {
    static QString dir() { return u"MakeGraphDirPath"_s; }
    static QString count() { return u"MakeGraphMinNLine"_s; }
    static QString base() { return u"MakeGraphListFileName"_s; }
};

template <typename Dialog> struct Fixture : DialogFixture {
    Host host;
    Dialog dialog { env, host };

    QLineEdit* box(const QString& name) const { return dialog.template findChild<QLineEdit*>(name); }
    QCheckBox* check(const QString& name) const { return dialog.template findChild<QCheckBox*>(name); }
    QLabel* label(const QString& name) const { return dialog.template findChild<QLabel*>(name); }
    QPushButton* button(const QString& name) const { return dialog.template findChild<QPushButton*>(name); }
    void type(const QString& name, const QString& text) const
    {
        box(name)->clear();
        QTest::keyClicks(box(name), text);
    }
    void click(const QString& name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    // A folder under the test's own, holding the given files (a name ending in "/" is a folder).
    QString folder(const QString& name, const QStringList& files = {}) const
    {
        const QString path = dir.filePath(u"files/"_s + name);
        QDir().mkpath(path);
        for (const QString& file : files) {
            if (file.endsWith(u'/')) {
                QDir().mkpath(path + u'/' + file);
                continue;
            }
            QFile out(path + u'/' + file);
            if (out.open(QIODevice::WriteOnly))
                out.write("x");
        }
        return QDir::toNativeSeparators(path);
    }
};

// A check box is clicked on its indicator: its middle may lie beyond the text, where a click misses.
void clickCheck(QCheckBox* box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers the folder picker from inside its exec(): points it at folder and confirms, or cancels
// when folder is empty. A picker that never comes up is given up on after a few seconds.
void answerPicker(DirDialog& picker, const QString& folder, QString* caption)
{
    whenModal(&picker, [=, &picker] {
        *caption = picker.windowTitle();
        if (!folder.isEmpty() && picker.setFolder(folder))
            picker.findChild<QPushButton*>(u"OKButton"_s)->click();
        else
            picker.reject();
    });
}

template <typename Dialog> void checkTabOrder(Fixture<Dialog>& f, const QStringList& order)
{
    QWidget* widget = f.box(order.first());
    for (qsizetype i = 1; i < order.size(); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus)
            widget = widget->nextInFocusChain();
        QCOMPARE(widget->objectName(), order[i]);
    }
}

template <typename Dialog> void checkNumeric(const QString& typed)
{
    Fixture<Dialog> f;
    f.dialog.show();
    const QString site = f.folder(u"site"_s, { u"a.gif"_s });
    f.type(Names<Dialog>::dir(), site);
    f.type(Names<Dialog>::count(), typed);
    f.button(u"OKButton"_s)->setFocus();
    MessageBoxAnswer answer(QMessageBox::Ok);
    f.click(u"OKButton"_s);
    QVERIFY2(answer.texts().size() == 1 && answer.texts()[0].startsWith(u"ページ"_s)
            && answer.texts()[0].endsWith(u"は数値で入力して下さい"_s),
        qPrintable(answer.texts().join(u'|')));
    QVERIFY(f.dialog.isVisible());
    QCOMPARE(f.dialog.focusWidget(), f.box(Names<Dialog>::count()));
    QCOMPARE(f.box(Names<Dialog>::count())->text(), typed);
    QVERIFY(f.storedKeys().isEmpty());
    QVERIFY(f.host.opened.isEmpty());
    QVERIFY(QDir(site).entryList({ u"*.html"_s }).isEmpty());
}

template <typename Dialog> void missingFolder()
{
    Fixture<Dialog> f;
    const QString missing = f.dir.filePath(u"files/missing"_s);
    const QString shown = QDir::toNativeSeparators(missing);
    f.dialog.show();
    f.type(Names<Dialog>::dir(), missing);
    f.click(u"OKButton"_s);
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.host.messages.size(), 1);
    QVERIFY2(f.host.messages[0].contains(shown), qPrintable(f.host.messages[0]));
    QVERIFY(f.host.messages[0].contains(u"フォルダが見つかりません。"_s));
    QVERIFY(f.host.opened.isEmpty());
    QVERIFY(!QFileInfo::exists(missing));
    // The options were stored before the pages were tried.
    QCOMPARE(f.store.get(Names<Dialog>::dir(), u"?"_s), shown);
}

template <typename Dialog> void browse()
{
    Fixture<Dialog> f;
    const QString chosen = f.folder(u"chosen"_s);
    const QString dirName = Names<Dialog>::dir();
    f.dialog.show();
    // A picker cancelled on the empty box stores nothing: a lone separator would name the root.
    QString caption;
    answerPicker(f.picker, QString(), &caption);
    f.click(u"Command1"_s);
    QCOMPARE(f.box(dirName)->text(), QString());
    QVERIFY(f.storedKeys().isEmpty());

    answerPicker(f.picker, chosen, &caption);
    f.click(u"Command1"_s);
    QCOMPARE(caption, u"一覧リストを作るフォルダを選んでください。"_s);
    QCOMPARE(f.box(dirName)->text(), chosen + QDir::separator());
    QCOMPARE(f.store.get(dirName, u"?"_s), chosen + QDir::separator());

    // A cancelled picker keeps the typed text, which still gets its separator and is stored.
    f.type(dirName, u"/typed/elsewhere"_s);
    answerPicker(f.picker, QString(), &caption);
    f.click(u"Command1"_s);
    QCOMPARE(f.box(dirName)->text(), QDir::toNativeSeparators(u"/typed/elsewhere/"_s));
    QCOMPARE(f.store.get(dirName, u"?"_s), QDir::toNativeSeparators(u"/typed/elsewhere/"_s));
    // Only the system's own separator, never the other system's.
    QVERIFY(!f.box(dirName)->text().contains(QDir::separator() == u'/' ? u'\\' : u'/'));
    QCOMPARE(f.storedKeys().size(), 1);
}

template <typename Dialog> void refuseEmptyFolder()
{
    for (const QString& typed : { QString(), u"  "_s }) {
        Fixture<Dialog> f;
        f.dialog.show();
        f.type(Names<Dialog>::dir(), typed);
        MessageBoxAnswer answer(QMessageBox::Ok);
        f.click(u"OKButton"_s);
        QCOMPARE(answer.texts(), QStringList { u"一覧を作成するディレクトリを入力して下さい。"_s });
        QVERIFY(f.dialog.isVisible());
        QCOMPARE(f.dialog.focusWidget(), f.box(Names<Dialog>::dir()));
        QVERIFY(f.storedKeys().isEmpty() && f.host.messages.isEmpty());
    }
}

// A relative folder, stored or typed, is the home folder's, not the current folder's.
template <typename Dialog> void relativeFromHome()
{
    TempHome home;
    QVERIFY(QDir(home.path()).mkpath(u"pics"_s));
    Fixture<Dialog> f;
    f.store.save(Names<Dialog>::dir(), u"pics/"_s);
    f.dialog.show();
    QCOMPARE(f.box(Names<Dialog>::dir())->text(), home.filePath(u"pics"_s));
    f.type(Names<Dialog>::dir(), u"pics"_s);
    f.click(u"OKButton"_s);
    QVERIFY2(f.host.messages.isEmpty(), qPrintable(f.host.messages.join(u'\n')));
    QCOMPARE(f.store.get(Names<Dialog>::dir(), u"?"_s), home.filePath(u"pics"_s));
    QVERIFY(f.host.opened.value(0).startsWith(home.filePath(u"pics/"_s)));
}

// Cancel stores nothing and start stores everything, but both only hide: the next opening shows
// what the dialog held. The close box drops what was typed: the next opening reads the store.
template <typename Dialog> void checkWaysOut()
{
    Fixture<Dialog> f;
    const QString base = Names<Dialog>::base();
    const QString count = Names<Dialog>::count();
    f.dialog.show();
    f.type(base, u"typed"_s);
    f.type(count, u"nonsense"_s);
    MessageBoxAnswer none(QMessageBox::Ok);
    f.click(u"CancelButton"_s);
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.dialog.result(), int(QDialog::Rejected));
    QVERIFY(f.storedKeys().isEmpty());
    f.store.save(base, u"stored"_s);
    f.dialog.show();
    QCOMPARE(f.box(base)->text(), u"typed"_s);
    QCOMPARE(f.box(count)->text(), u"nonsense"_s);

    f.type(Names<Dialog>::dir(), f.folder(u"site"_s));
    f.type(count, u"3"_s);
    f.click(u"OKButton"_s);
    QVERIFY(none.texts().isEmpty());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.store.get(base, u"?"_s), u"typed"_s);
    f.store.save(base, u"second"_s);
    f.store.save(count, u"7"_s);
    f.dialog.show();
    QCOMPARE(f.box(base)->text(), u"typed"_s);
    QCOMPARE(f.box(count)->text(), u"3"_s);

    f.type(count, u"99"_s);
    QVERIFY(f.dialog.close());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.store.get(count, u"?"_s), u"7"_s);
    f.dialog.show();
    QCOMPARE(f.box(base)->text(), u"second"_s);
    QCOMPARE(f.box(count)->text(), u"7"_s);
}

} // namespace

class TestListDialogs : public QObject {
    Q_OBJECT
private slots:
    void listControls();
    void graphControls();
    void firstOpeningShowsDefaults();
    void storedFolderOrPickerFolder();
    void layoutSwitch_data();
    void layoutSwitch();
    void numericCheck_data();
    void numericCheck();
    void listStartStores_data();
    void listStartStores();
    void graphStartStores_data();
    void graphStartStores();
    void listStartWritesPages();
    void missingFolderReported();
    void unwritablePageReported();
    void browseStoresFolderWithSeparator();
    void emptyFolderIsRefused();
    void relativeFolderIsTakenFromHome();
    void waysOut();
};

// Each control's caption (label or button text) and tooltip; a row without a tooltip checks for none.
template <typename Dialog> void checkCaptions(Fixture<Dialog>& f, const QList<QStringList>& rows)
{
    for (const QStringList& row : rows) {
        QWidget* widget = f.dialog.template findChild<QWidget*>(row[0]);
        QVERIFY2(widget, qPrintable(row[0]));
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(widget))
            caption = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            caption = button->text();
        QCOMPARE(caption, row[1]);
        QCOMPARE(widget->toolTip(), row.value(2));
    }
}

const QString DirTip = u"一覧を作るファイルが含まれたディレクトリを指定します。"_s;
const QString NameTip = u"このファイル名のファイルが作成するディレクトリに作られます。"_s;

void TestListDialogs::listControls()
{
    Fixture<MakeListDirDialog> f;
    QCOMPARE(f.dialog.objectName(), u"MakeListDirDialog"_s);
    QCOMPARE(f.dialog.windowTitle(), u"ディリクトリ一覧表示"_s);
    checkCaptions(f,
        { { u"MakeDirPath"_s, QString(), DirTip }, { u"Command1"_s, u"参照"_s, DirTip },
            { u"Label1"_s, u"一覧を作成するディレクトリ"_s },
            { u"Label2"_s, u"一覧に含める拡張子（セミコロン区切り）"_s },
            { u"Label3"_s, u"出力ファイル名（ｘｘｘ数字.html xxxの部分）"_s },
            { u"MakeListFileName"_s, QString(), NameTip }, { u"Label4"_s, u"ページファイル数"_s },
            { u"Label5"_s, u"個"_s }, { u"MakeListFileCount"_s, QString(), u"１ページに表示するファイル数です。"_s },
            { u"MakeSubDirCheck"_s, u"サブディレクトリも含める"_s }, { u"MakeAviMovCheck"_s, u"ムービーを表示"_s },
            { u"MakeSwfDcrCheck"_s, u"SWF・DCRを表示"_s, u"Flash・Directorムービーを表示します"_s },
            { u"OKButton"_s, u"開始"_s }, { u"CancelButton"_s, u"ｷｬﾝｾﾙ"_s } });
    checkTabOrder(f,
        { u"MakeDirPath"_s, u"Command1"_s, u"MakeListExts"_s, u"MakeListFileName"_s, u"MakeListFileCount"_s,
            u"MakeSubDirCheck"_s, u"MakeAviMovCheck"_s, u"MakeSwfDcrCheck"_s, u"OKButton"_s, u"CancelButton"_s });
}

void TestListDialogs::graphControls()
{
    Fixture<MakeGraphViewDialog> f;
    QCOMPARE(f.dialog.objectName(), u"MakeGraphViewDialog"_s);
    QCOMPARE(f.dialog.windowTitle(), u"画像の一覧表示"_s);
    checkCaptions(f,
        { { u"MakeGraphDirPath"_s, QString(), DirTip }, { u"Command1"_s, u"参照"_s, DirTip },
            { u"Label1"_s, u"一覧を作成するディレクトリ"_s },
            { u"Label2"_s, u"一覧に含める拡張子（セミコロン区切り）"_s },
            { u"Label3"_s, u"出力ファイル名（ｘｘｘ数字.html xxxの部分）"_s },
            { u"MakeGraphListFileName"_s, QString(), NameTip },
            { u"MakeGraphMinNLine"_s, QString(),
                u"１ページに表示する画像の数又は行数です。１行は５画像含まれます。"_s },
            { u"MakeGraphSubDirCheck"_s, u"サブディレクトリも含める"_s },
            { u"MakeGraphMinCheck"_s, u"縮小した一覧を作る"_s, u"画像を縮小してテーブル形式で並べて表示します。"_s },
            { u"OKButton"_s, u"開始"_s }, { u"CancelButton"_s, u"ｷｬﾝｾﾙ"_s } });
    checkTabOrder(f,
        { u"MakeGraphDirPath"_s, u"Command1"_s, u"MakeGraphListExts"_s, u"MakeGraphListFileName"_s,
            u"MakeGraphMinNLine"_s, u"MakeGraphSubDirCheck"_s, u"MakeGraphMinCheck"_s, u"OKButton"_s,
            u"CancelButton"_s });
}

void TestListDialogs::firstOpeningShowsDefaults()
{
    Fixture<MakeListDirDialog> f;
    f.dialog.show();
    QCOMPARE(f.box(u"MakeDirPath"_s)->text(), QString()); // the picker was never pointed anywhere
    QCOMPARE(f.box(u"MakeListExts"_s)->text(),
        u".html;.htm;.pdf;.doc;.xls;.gif;.png;.jpg;.jpeg;.bmp;.mov;.mpg;.mpeg;.avi;.rm;.ram;.asf;.wmv;.swf;.dcr"_s);
    QCOMPARE(f.box(u"MakeListFileName"_s)->text(), u"プレビュー"_s);
    QCOMPARE(f.box(u"MakeListFileCount"_s)->text(), u"20"_s);
    QVERIFY(f.check(u"MakeSubDirCheck"_s)->isChecked());
    QVERIFY(!f.check(u"MakeAviMovCheck"_s)->isChecked() && !f.check(u"MakeSwfDcrCheck"_s)->isChecked());
    QVERIFY(f.storedKeys().isEmpty());

    Fixture<MakeGraphViewDialog> g;
    g.dialog.show();
    QCOMPARE(g.box(u"MakeGraphDirPath"_s)->text(), QString());
    QCOMPARE(g.box(u"MakeGraphListExts"_s)->text(), u".gif;.png;.jpg;.jpeg;.bmp;.ico"_s);
    QCOMPARE(g.box(u"MakeGraphListFileName"_s)->text(), u"プレビュー"_s);
    QVERIFY(g.check(u"MakeGraphSubDirCheck"_s)->isChecked() && g.check(u"MakeGraphMinCheck"_s)->isChecked());
    QCOMPARE(g.label(u"Label4"_s)->text(), u"ページ行数"_s);
    QCOMPARE(g.label(u"Label5"_s)->text(), u"行（1行5画像)"_s);
    QCOMPARE(g.box(u"MakeGraphMinNLine"_s)->text(), u"10"_s);
    QVERIFY(g.storedKeys().isEmpty());
}

void TestListDialogs::storedFolderOrPickerFolder()
{
    Fixture<MakeListDirDialog> f;
    const QString kept = f.folder(u"kept"_s);
    f.store.save(SettingsKeys::MakeDirPath, kept + QDir::separator());
    f.store.save(SettingsKeys::MakeAviMovCheck, u"1"_s);
    f.store.save(SettingsKeys::MakeSubDirCheck, u"0"_s);
    f.dialog.show();
    QCOMPARE(f.box(u"MakeDirPath"_s)->text(), kept); // as the picker shows it
    QVERIFY(f.check(u"MakeAviMovCheck"_s)->isChecked());
    QVERIFY(!f.check(u"MakeSubDirCheck"_s)->isChecked());

    // A stored folder that is gone: the image dialog shows where the picker already is.
    Fixture<MakeGraphViewDialog> g;
    const QString current = g.folder(u"current"_s);
    g.picker.setFolder(current);
    g.store.save(SettingsKeys::MakeGraphDirPath, g.dir.filePath(u"gone/"_s));
    g.dialog.show();
    QCOMPARE(g.box(u"MakeGraphDirPath"_s)->text(), current);
}

void TestListDialogs::layoutSwitch_data()
{
    QTest::addColumn<QStringList>("stored"); // key, value, key, value ...
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("defaults") << QStringList() << true << u"10"_s << u"20"_s;
    QTest::newRow("stored counts") << QStringList { u"MakeGraphMinNLine"_s, u"3"_s, u"MakeGraphListCount"_s, u"7"_s }
                                   << true << u"3"_s << u"7"_s;
    QTest::newRow("single layout stored") << QStringList { u"MakeGraphMinCheck"_s, u"0"_s, u"MakeGraphListCount"_s,
        u"9"_s } << false << u"9"_s << u"10"_s;
}

void TestListDialogs::layoutSwitch()
{
    QFETCH(QStringList, stored);
    QFETCH(bool, ticked);
    QFETCH(QString, first);
    QFETCH(QString, second);
    Fixture<MakeGraphViewDialog> f;
    for (qsizetype i = 0; i + 1 < stored.size(); i += 2)
        f.store.save(stored[i], stored[i + 1]);
    const auto expectLayout = [&f](bool thumbnails, const QString& count) {
        QCOMPARE(f.check(u"MakeGraphMinCheck"_s)->isChecked(), thumbnails);
        QCOMPARE(f.label(u"Label4"_s)->text(), thumbnails ? u"ページ行数"_s : u"ページ画像数"_s);
        QCOMPARE(f.label(u"Label5"_s)->text(), thumbnails ? u"行（1行5画像)"_s : u"個"_s);
        QCOMPARE(f.box(u"MakeGraphMinNLine"_s)->text(), count);
    };
    f.dialog.show();
    expectLayout(ticked, first);
    f.type(u"MakeGraphMinNLine"_s, u"77"_s);
    clickCheck(f.check(u"MakeGraphMinCheck"_s));
    expectLayout(!ticked, second);
    f.type(u"MakeGraphMinNLine"_s, u"88"_s);
    QTest::keyClick(f.check(u"MakeGraphMinCheck"_s), Qt::Key_Space);
    expectLayout(ticked, first);
    QCOMPARE(f.storedKeys().size(), stored.size() / 2);
}

void TestListDialogs::numericCheck_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("letters") << u"abc"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("letter O for zero") << u"2O"_s;
}

void TestListDialogs::numericCheck()
{
    QFETCH(QString, typed);
    checkNumeric<MakeListDirDialog>(typed);
    if (!QTest::currentTestFailed())
        checkNumeric<MakeGraphViewDialog>(typed);
}

void TestListDialogs::listStartStores_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("checks"); // MakeAviMovCheck, MakeSwfDcrCheck, MakeSubDirCheck
    QTest::addColumn<QString>("count");
    QTest::newRow("whole") << u"5"_s << QStringList { u"0"_s, u"0"_s, u"1"_s } << u"5"_s;
    QTest::newRow("half down to even") << u"2.5"_s << QStringList { u"1"_s, u"1"_s, u"0"_s } << u"2"_s;
    QTest::newRow("half up to even") << u"3.5"_s << QStringList { u"1"_s, u"0"_s, u"1"_s } << u"4"_s;
    QTest::newRow("nearest") << u" 7.6 "_s << QStringList { u"0"_s, u"1"_s, u"0"_s } << u"8"_s;
}

void TestListDialogs::listStartStores()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, checks);
    QFETCH(QString, count);
    Fixture<MakeListDirDialog> f;
    const QString site = f.folder(u"site"_s);
    f.dialog.show();
    f.type(u"MakeDirPath"_s, site);
    f.type(u"MakeListFileName"_s, u"index"_s);
    f.type(u"MakeListExts"_s, u".gif;.txt"_s);
    const QStringList checkNames { u"MakeAviMovCheck"_s, u"MakeSwfDcrCheck"_s, u"MakeSubDirCheck"_s };
    for (qsizetype i = 0; i < checkNames.size(); ++i)
        f.check(checkNames[i])->setChecked(checks[i] == u"1"_s);
    f.type(u"MakeListFileCount"_s, typed);
    MessageBoxAnswer none(QMessageBox::Ok);
    f.click(u"OKButton"_s);
    QVERIFY(none.texts().isEmpty());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.box(u"MakeListFileCount"_s)->text(), count);

    const QList<std::pair<QString, QString>> expected { { u"MakeDirPath"_s, site },
        { u"MakeListFileName"_s, u"index"_s }, { u"MakeListExts"_s, u".gif;.txt"_s },
        { u"MakeAviMovCheck"_s, checks[0] }, { u"MakeSwfDcrCheck"_s, checks[1] }, { u"MakeSubDirCheck"_s, checks[2] },
        { u"MakeListFileCount"_s, count } };
    QCOMPARE(f.dialog.startSettings(), expected);
    for (const auto& [key, value] : expected)
        QCOMPARE(f.store.get(key, u"?"_s), value);
    QCOMPARE(f.storedKeys().size(), expected.size());
    QVERIFY(QFileInfo::exists(site + u"/index1.html"_s));
}

void TestListDialogs::graphStartStores_data()
{
    QTest::addColumn<bool>("thumbnails");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("pages"); // for six pictures
    QTest::newRow("one row") << true << u"1"_s << u"1"_s << 2;
    QTest::newRow("rows half to even") << true << u"4.5"_s << u"4"_s << 1;
    QTest::newRow("images") << false << u"4"_s << u"4"_s << 2;
}

void TestListDialogs::graphStartStores()
{
    QFETCH(bool, thumbnails);
    QFETCH(QString, typed);
    QFETCH(QString, count);
    QFETCH(int, pages);
    Fixture<MakeGraphViewDialog> f;
    const QString site = f.folder(
        u"site"_s, { u"p1.png"_s, u"p2.png"_s, u"p3.png"_s, u"p4.png"_s, u"p5.png"_s, u"p6.png"_s, u"r.txt"_s });
    f.dialog.show();
    f.type(u"MakeGraphDirPath"_s, site);
    f.type(u"MakeGraphListFileName"_s, u"gallery"_s);
    f.type(u"MakeGraphListExts"_s, u".png"_s);
    f.check(u"MakeGraphSubDirCheck"_s)->setChecked(thumbnails);
    if (!thumbnails)
        clickCheck(f.check(u"MakeGraphMinCheck"_s));
    f.type(u"MakeGraphMinNLine"_s, typed);
    f.click(u"OKButton"_s);
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.box(u"MakeGraphMinNLine"_s)->text(), count);

    const QString flag = thumbnails ? u"1"_s : u"0"_s;
    const QString countKey = thumbnails ? u"MakeGraphMinNLine"_s : u"MakeGraphListCount"_s;
    const QList<std::pair<QString, QString>> expected { { u"MakeGraphDirPath"_s, site },
        { u"MakeGraphListFileName"_s, u"gallery"_s }, { u"MakeGraphListExts"_s, u".png"_s },
        { u"MakeGraphSubDirCheck"_s, flag }, { u"MakeGraphMinCheck"_s, flag }, { countKey, count } };
    QCOMPARE(f.dialog.startSettings(), expected);
    for (const auto& [key, value] : expected)
        QCOMPARE(f.store.get(key, u"?"_s), value);
    QCOMPARE(f.storedKeys().size(), expected.size());

    // The pages follow the stored layout and count; page 1 is opened.
    QVERIFY(f.host.messages.isEmpty());
    QCOMPARE(f.host.opened, QStringList { QDir::toNativeSeparators(site + u"/gallery1.html"_s) });
    const QByteArray first = readAll(site + u"/gallery1.html"_s);
    QVERIFY(first.contains("p1.png") && !first.contains("r.txt"));
    QCOMPARE(first.contains("width=\"48\""), thumbnails);
    QCOMPARE(first.contains("p6.png"), pages == 1);
    QCOMPARE(QFileInfo::exists(site + u"/gallery2.html"_s), pages == 2);
    QVERIFY(!QFileInfo::exists(site + u"/gallery3.html"_s));
}

void TestListDialogs::listStartWritesPages()
{
    Fixture<MakeListDirDialog> f;
    const QString site = f.folder(u"site"_s, { u"a.gif"_s, u"b.txt"_s, u"sub/"_s });
    f.folder(u"site/sub"_s, { u"c.png"_s });
    f.dialog.show();
    f.type(u"MakeDirPath"_s, site + u'/');
    f.type(u"MakeListFileCount"_s, u"1"_s);
    f.click(u"OKButton"_s);
    QVERIFY(f.host.messages.isEmpty());
    QCOMPARE(f.host.opened, QStringList { QDir::toNativeSeparators(site + u"/プレビュー1.html"_s) });
    const QByteArray first = readAll(site + u"/プレビュー1.html"_s);
    const QByteArray second = readAll(site + u"/プレビュー2.html"_s);
    QVERIFY(first.contains("a.gif") && !first.contains("c.png"));
    QVERIFY(second.contains("c.png"));
    QVERIFY(!first.contains("b.txt") && !second.contains("b.txt"));
    QVERIFY(!QFileInfo::exists(site + u"/プレビュー3.html"_s));
}

void TestListDialogs::missingFolderReported()
{
    missingFolder<MakeListDirDialog>();
    if (!QTest::currentTestFailed())
        missingFolder<MakeGraphViewDialog>();
}

void TestListDialogs::unwritablePageReported()
{
    // A folder where page 1 should go stops the pages there, whoever runs the test.
    Fixture<MakeListDirDialog> f;
    const QString site = f.folder(u"site"_s, { u"a.gif"_s, u"b.gif"_s, u"プレビュー1.html/"_s });
    f.dialog.show();
    f.type(u"MakeDirPath"_s, site);
    f.check(u"MakeSubDirCheck"_s)->setChecked(false);
    f.type(u"MakeListFileCount"_s, u"1"_s);
    f.click(u"OKButton"_s);
    QCOMPARE(f.host.messages.size(), 1);
    QVERIFY2(f.host.messages[0].contains(u"プレビュー1.html"_s), qPrintable(f.host.messages[0]));
    QVERIFY(f.host.opened.isEmpty());
    QVERIFY(!QFileInfo::exists(site + u"/プレビュー2.html"_s));
}

void TestListDialogs::browseStoresFolderWithSeparator()
{
    browse<MakeListDirDialog>();
    if (!QTest::currentTestFailed())
        browse<MakeGraphViewDialog>();
}

void TestListDialogs::emptyFolderIsRefused()
{
    refuseEmptyFolder<MakeListDirDialog>();
    if (!QTest::currentTestFailed())
        refuseEmptyFolder<MakeGraphViewDialog>();
}

void TestListDialogs::relativeFolderIsTakenFromHome()
{
    relativeFromHome<MakeListDirDialog>();
    if (!QTest::currentTestFailed())
        relativeFromHome<MakeGraphViewDialog>();
}

void TestListDialogs::waysOut()
{
    checkWaysOut<MakeListDirDialog>();
    if (!QTest::currentTestFailed())
        checkWaysOut<MakeGraphViewDialog>();
}

QTEST_MAIN(TestListDialogs)
#include "tst_listdialogs.moc"
