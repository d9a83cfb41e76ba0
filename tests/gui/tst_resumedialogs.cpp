// The two resume dialogs driven through their widgets as the main window opens them: the folder
// dialog, then the list of that folder's resume list. Every test reads what reached the stop flag,
// the settings and the resume list file.

#include "crawl/crawlstate.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "dialogs/getrestartformdialog.h"
#include "dialogs/getrestartlistdialog.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "support/gui/dialogfixture.h"
#include "support/gui/messageboxes.h"
#include "support/gui/modaldialogs.h"
#include "support/tempsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QByteArray ThreeSites
    = "http://a.example/\r\n\r\nhttp://b.example/x/\r\n   \r\nhttp://c.example/top.html\r\n\r\n";
const QByteArray ThreeSitesSaved = "http://a.example/\r\nhttp://b.example/x/\r\nhttp://c.example/top.html\r\n";

enum WayOut { CancelButton, EscapeKey, CloseBox };

// Presses Cancel, Escape or the close box of a dialog shown modally.
void leave(QDialog& dialog, WayOut way)
{
    if (way == CancelButton)
        QTest::mouseClick(dialog.findChild<QPushButton*>(u"CancelButton"_s), Qt::LeftButton);
    else if (way == EscapeKey)
        QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_Escape);
    else
        dialog.close();
}

void addWaysOut()
{
    QTest::addColumn<int>("way");
    QTest::newRow("cancel") << int(CancelButton);
    QTest::newRow("escape") << int(EscapeKey);
    QTest::newRow("close box") << int(CloseBox);
}

struct Fixture : DialogFixture {
    GetRestartListDialog list { env };
    GetReStartFormDialog form { env, list };

    Fixture()
    {
        QDir(dir.path()).mkpath(u"save1"_s);
        QDir(dir.path()).mkpath(u"save2"_s);
    }
    // A save folder as the user types it, ending in the separator.
    QString folder(const QString& name) const
    {
        return QDir::toNativeSeparators(dir.filePath(name)) + QDir::separator();
    }
    QString listFile(const QString& name) const { return dir.filePath(name + u"/FetchwrightRecode.csv"_s); }

    QLineEdit* savePath() const { return form.findChild<QLineEdit*>(u"SavePath"_s); }
    QListWidget* view() const { return list.findChild<QListWidget*>(u"ListView1"_s); }
    QPushButton* formButton(const QString& name) const { return form.findChild<QPushButton*>(name); }
    QPushButton* listButton(const QString& name) const { return list.findChild<QPushButton*>(name); }
    QStringList items() const
    {
        QStringList texts;
        for (int row = 0; row < view()->count(); ++row)
            texts.append(view()->item(row)->text());
        return texts;
    }
    void click(QPushButton* button) const { QTest::mouseClick(button, Qt::LeftButton); }

    // Opens the folder dialog, types folder into SavePath and presses OK; listAction then runs in
    // the list dialog.
    void resumeFrom(const QString& folder, std::function<void()> listAction)
    {
        whenModal(&form, [=, this] {
            savePath()->clear();
            QTest::keyClicks(savePath(), folder);
            whenModal(&list, listAction);
            click(formButton(u"OKButton"_s));
        });
        crawl.StopRequested = false; // as the main window leaves it before the dialogs
        form.exec();
    }
};

} // namespace

class TestResumeDialogs : public QObject {
    Q_OBJECT
private slots:
    void controlsAndCaptions();
    void firstRunShowsHomeFolder();
    void listShowsNonBlankLinesFirstSelected();
    void missingOrEmptyListIsReported_data();
    void missingOrEmptyListIsReported();
    void deleteThenStartWritesTheRest();
    void deleteEverythingLeavesEmptyFile();
    void listWaysOutKeepTheFile_data();
    void listWaysOutKeepTheFile();
    void startWithoutSelectionSaysSoAndStaysOpen();
    void saveWritesWithoutClosing();
    void secondOpeningListsTheOtherFolder();
    void folderWithoutFinalSeparatorFindsTheList();
    void formWaysOutResumeNothing_data();
    void formWaysOutResumeNothing();
    void browseAppendsSeparatorAndSaves();
};

void TestResumeDialogs::controlsAndCaptions()
{
    Fixture f;
    QCOMPARE(f.form.windowTitle(), u"中断したダウンロード先フォルダを選択してください"_s);
    QCOMPARE(f.form.findChild<QLabel*>(u"Label1"_s)->text(), u"中断したダウンロード先フォルダを選択してください"_s);
    QVERIFY(f.savePath());
    QCOMPARE(f.formButton(u"DirDlg"_s)->text(), u"参照"_s);
    QCOMPARE(f.formButton(u"OKButton"_s)->text(), u"OK"_s);
    QCOMPARE(f.formButton(u"CancelButton"_s)->text(), u"ｷｬﾝｾﾙ"_s);
    QCOMPARE(f.list.windowTitle(), u"再開するアドレスを選択してください"_s);
    QVERIFY(f.view());
    QCOMPARE(f.listButton(u"SAVE"_s)->text(), u"保存"_s);
    QCOMPARE(f.listButton(u"DELETE"_s)->text(), u"削除"_s);
    QCOMPARE(f.listButton(u"OKButton"_s)->text(), u"開始"_s);
    QCOMPARE(f.listButton(u"CancelButton"_s)->text(), u"ｷｬﾝｾﾙ"_s);
    QCOMPARE(f.savePath()->nextInFocusChain(), f.formButton(u"DirDlg"_s));
    QCOMPARE(f.formButton(u"DirDlg"_s)->nextInFocusChain(), f.formButton(u"OKButton"_s));
    QCOMPARE(f.formButton(u"OKButton"_s)->nextInFocusChain(), f.formButton(u"CancelButton"_s));
}

void TestResumeDialogs::firstRunShowsHomeFolder()
{
    Fixture f;
    QString shown;
    whenModal(&f.form, [&] {
        shown = f.savePath()->text();
        f.click(f.formButton(u"CancelButton"_s));
    });
    QCOMPARE(f.form.exec(), int(QDialog::Rejected));
    QCOMPARE(shown, SettingsDefaults::HomeSaveFolder());
    QVERIFY(shown.endsWith(QDir::separator()));
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(!f.form.isVisible());
}

void TestResumeDialogs::listShowsNonBlankLinesFirstSelected()
{
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), ThreeSites));
    QStringList shown;
    bool firstSelected = false;
    bool listFocused = false;
    f.resumeFrom(f.folder(u"save1"_s), [&] {
        shown = f.items();
        firstSelected = f.view()->item(0)->isSelected() && f.view()->selectedItems().size() == 1;
        listFocused = f.list.focusWidget() == f.view();
        f.click(f.listButton(u"OKButton"_s));
    });
    QCOMPARE(shown, (QStringList { u"http://a.example/"_s, u"http://b.example/x/"_s, u"http://c.example/top.html"_s }));
    QVERIFY(firstSelected);
    QVERIFY(listFocused);
    QVERIFY(!f.crawl.StopRequested);
    QCOMPARE(f.list.selectedAddress(), u"http://a.example/"_s);
    QCOMPARE(f.form.savePath(), f.folder(u"save1"_s));
    QCOMPARE(f.store.get(SettingsKeys::SaveFolder, u"?"_s), f.folder(u"save1"_s));
    QCOMPARE(ReadFileBytes(f.listFile(u"save1"_s)), ThreeSitesSaved);
    QVERIFY(!f.form.isVisible());
    QVERIFY(!f.list.isVisible());
}

void TestResumeDialogs::missingOrEmptyListIsReported_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing") << false << QByteArray();
    QTest::newRow("empty") << true << QByteArray();
    QTest::newRow("blank lines only") << true << QByteArray("\r\n\r\n  \r\n");
}

void TestResumeDialogs::missingOrEmptyListIsReported()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    Fixture f;
    if (exists)
        QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), content));
    bool listShown = false;
    MessageBoxAnswer answer(QMessageBox::Ok);
    f.resumeFrom(f.folder(u"save1"_s), [&] { listShown = true; });
    QCOMPARE(answer.texts(), QStringList { u"再開するリストが見つかりません"_s });
    QVERIFY(!listShown);
    QVERIFY(!f.list.isVisible());
    QVERIFY(f.crawl.StopRequested);
    QCOMPARE(f.list.selectedAddress(), QString());
    QCOMPARE(QFileInfo::exists(f.listFile(u"save1"_s)), exists);
    if (exists)
        QCOMPARE(ReadFileBytes(f.listFile(u"save1"_s)), content);
}

void TestResumeDialogs::deleteThenStartWritesTheRest()
{
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), ThreeSites));
    f.resumeFrom(f.folder(u"save1"_s), [&] {
        f.view()->setCurrentRow(1);
        f.click(f.listButton(u"DELETE"_s));
        f.view()->setCurrentRow(1);
        f.click(f.listButton(u"OKButton"_s));
    });
    QVERIFY(!f.crawl.StopRequested);
    QCOMPARE(f.list.selectedAddress(), u"http://c.example/top.html"_s);
    QCOMPARE(ReadFileBytes(f.listFile(u"save1"_s)), QByteArray("http://a.example/\r\nhttp://c.example/top.html\r\n"));
}

void TestResumeDialogs::deleteEverythingLeavesEmptyFile()
{
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), ThreeSites));
    f.resumeFrom(f.folder(u"save1"_s), [&] {
        for (int i = 0; i < 3; ++i) {
            f.view()->setCurrentRow(0);
            f.click(f.listButton(u"DELETE"_s));
        }
        f.click(f.listButton(u"DELETE"_s)); // nothing left to delete
        f.click(f.listButton(u"OKButton"_s));
    });
    QCOMPARE(f.view()->count(), 0);
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(QFileInfo::exists(f.listFile(u"save1"_s)));
    QCOMPARE(ReadFileBytes(f.listFile(u"save1"_s)), QByteArray());
}

void TestResumeDialogs::listWaysOutKeepTheFile_data()
{
    addWaysOut();
}

void TestResumeDialogs::listWaysOutKeepTheFile()
{
    QFETCH(int, way);
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), ThreeSites));
    f.resumeFrom(f.folder(u"save1"_s), [&] {
        f.click(f.listButton(u"DELETE"_s));
        f.click(f.listButton(u"DELETE"_s));
        leave(f.list, WayOut(way));
    });
    QCOMPARE(f.view()->count(), 1);
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(!f.list.isVisible());
    QCOMPARE(ReadFileBytes(f.listFile(u"save1"_s)), ThreeSites);
}

void TestResumeDialogs::startWithoutSelectionSaysSoAndStaysOpen()
{
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), ThreeSites));
    QStringList messages;
    bool stillOpen = false;
    QByteArray fileAfterRefusal;
    f.resumeFrom(f.folder(u"save1"_s), [&] {
        // A click on the empty space below the lines, as a user clears the selection.
        QWidget* viewport = f.view()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(viewport->width() / 2, viewport->height() - 4));
        QVERIFY(f.view()->selectedItems().isEmpty());
        MessageBoxAnswer answer(QMessageBox::Ok);
        f.click(f.listButton(u"OKButton"_s));
        messages = answer.texts();
        stillOpen = f.list.isVisible();
        fileAfterRefusal = ReadFileBytes(f.listFile(u"save1"_s));
        f.view()->setCurrentRow(1);
        f.click(f.listButton(u"OKButton"_s));
    });
    QCOMPARE(messages, QStringList { u"再開するアドレスが選択されていません。一覧から選んでください。"_s });
    QVERIFY(stillOpen);
    QCOMPARE(fileAfterRefusal, ThreeSites);
    QVERIFY(!f.crawl.StopRequested);
    QCOMPARE(f.list.selectedAddress(), u"http://b.example/x/"_s);
    QCOMPARE(ReadFileBytes(f.listFile(u"save1"_s)), ThreeSitesSaved);
}

void TestResumeDialogs::saveWritesWithoutClosing()
{
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), ThreeSites));
    QByteArray afterSave;
    bool stillOpen = false;
    f.resumeFrom(f.folder(u"save1"_s), [&] {
        f.click(f.listButton(u"DELETE"_s));
        f.click(f.listButton(u"SAVE"_s));
        afterSave = ReadFileBytes(f.listFile(u"save1"_s));
        stillOpen = f.list.isVisible();
        f.click(f.listButton(u"CancelButton"_s));
    });
    QVERIFY(stillOpen);
    QCOMPARE(afterSave, QByteArray("http://b.example/x/\r\nhttp://c.example/top.html\r\n"));
    QCOMPARE(ReadFileBytes(f.listFile(u"save1"_s)), afterSave);
    QVERIFY(f.crawl.StopRequested);
}

void TestResumeDialogs::secondOpeningListsTheOtherFolder()
{
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), "http://one.example/\r\n"));
    QVERIFY(WriteFileBytes(f.listFile(u"save2"_s), "http://two.example/a/\r\nhttp://two.example/b/\r\n"));
    QStringList first;
    QStringList second;
    QString shownAtSecondOpening;
    f.resumeFrom(f.folder(u"save1"_s), [&] {
        first = f.items();
        f.click(f.listButton(u"OKButton"_s));
    });
    QVERIFY(!f.crawl.StopRequested);
    whenModal(&f.form, [&] {
        shownAtSecondOpening = f.savePath()->text();
        f.savePath()->setText(f.folder(u"save2"_s));
        whenModal(&f.list, [&] {
            second = f.items();
            f.view()->setCurrentRow(1);
            f.click(f.listButton(u"OKButton"_s));
        });
        f.click(f.formButton(u"OKButton"_s));
    });
    f.crawl.StopRequested = false;
    f.form.exec();
    QCOMPARE(first, QStringList { u"http://one.example/"_s });
    QCOMPARE(shownAtSecondOpening, f.folder(u"save1"_s));
    QCOMPARE(second, (QStringList { u"http://two.example/a/"_s, u"http://two.example/b/"_s }));
    QVERIFY(!f.crawl.StopRequested);
    QCOMPARE(f.form.savePath(), f.folder(u"save2"_s));
    QCOMPARE(f.list.selectedAddress(), u"http://two.example/b/"_s);
}

void TestResumeDialogs::folderWithoutFinalSeparatorFindsTheList()
{
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), "http://a.example/\r\n"));
    QString typed = f.folder(u"save1"_s);
    typed.chop(1);
    QStringList shown;
    MessageBoxAnswer answer(QMessageBox::Ok);
    f.resumeFrom(typed, [&] {
        shown = f.items();
        f.click(f.listButton(u"OKButton"_s));
    });
    QVERIFY(answer.texts().isEmpty());
    QCOMPARE(shown, QStringList { u"http://a.example/"_s });
    QVERIFY(!f.crawl.StopRequested);
    QCOMPARE(f.form.savePath(), typed + QDir::separator());
    QCOMPARE(f.store.get(SettingsKeys::SaveFolder, u"?"_s), typed + QDir::separator());
    // Only the system's own separator, never the other system's.
    QVERIFY(!f.form.savePath().contains(QDir::separator() == u'/' ? u'\\' : u'/'));
}

void TestResumeDialogs::formWaysOutResumeNothing_data()
{
    addWaysOut();
}

void TestResumeDialogs::formWaysOutResumeNothing()
{
    QFETCH(int, way);
    Fixture f;
    QVERIFY(WriteFileBytes(f.listFile(u"save1"_s), "http://a.example/\r\n"));
    f.store.save(SettingsKeys::SaveFolder, f.folder(u"save1"_s));
    bool listShown = false;
    QString shownFirst;
    whenModal(&f.list, [&] { listShown = true; });
    whenModal(&f.form, [&] {
        shownFirst = f.savePath()->text();
        f.savePath()->setText(u"typed then left"_s);
        leave(f.form, WayOut(way));
    });
    f.crawl.StopRequested = false;
    QCOMPARE(f.form.exec(), int(QDialog::Rejected));
    QCOMPARE(shownFirst, f.folder(u"save1"_s));
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(!f.form.isVisible());
    QCOMPARE(f.store.get(SettingsKeys::SaveFolder, u"?"_s), f.folder(u"save1"_s));

    // Cancel and Escape only hid it and the next opening shows what was typed; the close box
    // dropped it and the next opening shows the stored folder again.
    QString shownAgain;
    whenModal(&f.form, [&] {
        shownAgain = f.savePath()->text();
        f.form.reject();
    });
    f.form.exec();
    QCOMPARE(shownAgain, way == CloseBox ? f.folder(u"save1"_s) : u"typed then left"_s);
    QVERIFY(!listShown);
}

void TestResumeDialogs::browseAppendsSeparatorAndSaves()
{
    Fixture f;
    QString typed = f.folder(u"save2"_s);
    typed.chop(1);
    QString pickerTitle;
    whenModal(&f.form, [&] {
        f.savePath()->setText(typed);
        whenModal(&f.picker, [&] {
            pickerTitle = f.picker.windowTitle();
            f.picker.reject();
        });
        f.click(f.formButton(u"DirDlg"_s));
        f.click(f.formButton(u"CancelButton"_s));
    });
    f.form.exec();
    QCOMPARE(pickerTitle, u"保存先のフォルダを選んでください。"_s);
    QCOMPARE(f.savePath()->text(), typed + QDir::separator());
    QCOMPARE(f.store.get(SettingsKeys::SaveFolder, u"?"_s), typed + QDir::separator());
    QVERIFY(f.crawl.StopRequested);
}

QTEST_MAIN(TestResumeDialogs)
#include "tst_resumedialogs.moc"
