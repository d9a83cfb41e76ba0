// The site address dialog and the crawl options dialog driven through their widgets as the main
// window opens them. Every test reads what reached the stop flag, the settings and the folders.

#include "address/addressfunctions.h"
#include "crawl/crawlstate.h"
#include "dialogs/deepaddrdialog.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "dialogs/gethttpaddrdialog.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "support/gui/dialogfixture.h"
#include "support/gui/messageboxes.h"
#include "support/gui/modaldialogs.h"
#include "support/temphome.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString NoAddress = u"サイトトップのアドレスを入力して下さい。"_s;
const QString BadAddress = u"アドレスが不正です。"_s;
const QString NoFolder = u"ダウンロード先フォルダを入力して下さい。"_s;
const QStringList DeepKeys { SettingsKeys::SearchType, SettingsKeys::DeepCount, SettingsKeys::DownloadExts,
    SettingsKeys::OnDownFileNames, SettingsKeys::NotDownFileNames, SettingsKeys::MaxSize, SettingsKeys::MinSize,
    SettingsKeys::SkipSameName, SettingsKeys::NoDirTree, SettingsKeys::NumberDuplicates, SettingsKeys::ListViewCheck,
    SettingsKeys::AuthString };

void type(QLineEdit* box, const QString& text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

void click(QWidget* dialog, const QString& name)
{
    QTest::mouseClick(dialog->findChild<QAbstractButton*>(name), Qt::LeftButton);
}

// The save folder a first opening offers: the download folder, else the home folder; on Windows
// none, as the user picks one.
QString firstOffer(const TempHome& home, bool hasDownloads)
{
#ifdef Q_OS_WIN
    Q_UNUSED(home);
    Q_UNUSED(hasDownloads);
    return QString();
#else
    return hasDownloads ? home.filePath(u"Downloads"_s) : QDir::toNativeSeparators(home.path());
#endif
}

struct Fixture : DialogFixture {
    DeepAddrDialog deep { env };
    GetHttpAddrDialog addr { env, deep };

    QLineEdit* box(const QString& name) const
    {
        QLineEdit* found = addr.findChild<QLineEdit*>(name);
        return found ? found : deep.findChild<QLineEdit*>(name);
    }
    QString label(const QString& name) const { return deep.findChild<QLabel*>(name)->text(); }
    QString folder(const QString& name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
    bool nothingSaved() const
    {
        for (const QString& key : DeepKeys + QStringList { SettingsKeys::SiteAddress, SettingsKeys::SaveFolder })
            if (stored(key) != Absent)
                return false;
        return true;
    }
};

} // namespace

class TestSiteAddressDialogs : public QObject {
    Q_OBJECT
private slots:
    void firstOpeningShowsDefaults();
    void firstRunOffersTheDownloadFolder_data();
    void firstRunOffersTheDownloadFolder();
    void emptySaveFolderIsRefused_data();
    void emptySaveFolderIsRefused();
    void browseCancelledOnAnEmptyBoxStoresNothing();
    void relativeFolderIsTakenFromHome_data();
    void relativeFolderIsTakenFromHome();
    void openingShowsStoredAddressAndFolder();
    void addressIsChecked_data();
    void addressIsChecked();
    void okStoresAddressFolderAndDriveThenStartsOnlyWithOptionsOk_data();
    void okStoresAddressFolderAndDriveThenStartsOnlyWithOptionsOk();
    void missingFolderIsCreatedLevelByLevel_data();
    void missingFolderIsCreatedLevelByLevel();
    void declinedFolderKeepsTheDialogOpen();
    void unusableFolderIsRefusedBeforeTheOptions_data();
    void unusableFolderIsRefusedBeforeTheOptions();
    void browsePicksTheSaveFolder_data();
    void browsePicksTheSaveFolder();
    void addressDialogHidesOrReloads_data();
    void addressDialogHidesOrReloads();
};

void TestSiteAddressDialogs::firstOpeningShowsDefaults()
{
    TempHome home;
    Fixture f;
    f.crawl.StopRequested = false;
    f.addr.show();
    QCOMPARE(f.addr.windowTitle(), u"ダウンロード元とダウンロード先"_s);
    QCOMPARE(f.box(u"SiteAddress"_s)->text(), u"http://"_s);
    QCOMPARE(f.box(u"SiteAddress"_s)->selectedText(), u"http://"_s);
    QCOMPARE(f.addr.focusWidget(), f.box(u"SiteAddress"_s));
    QCOMPARE(f.box(u"SavePath"_s)->text(), firstOffer(home, false));
    QVERIFY(f.crawl.StopRequested);
    QCOMPARE(f.addr.findChild<QLabel*>(u"Label1"_s)->text(),
        u"最後が特定のファイル名でない場合必ず/（半角ｽﾗｯｼｭ）を入れてください"_s);
    QCOMPARE(f.addr.findChild<QLabel*>(u"Label2"_s)->text(), u"ダウンロード先フォルダの選択"_s);
    QCOMPARE(f.addr.findChild<QPushButton*>(u"DirDlg"_s)->text(), u"参照"_s);
    QCOMPARE(f.addr.findChild<QPushButton*>(u"OKButton"_s)->text(), u"OK"_s);
    QCOMPARE(f.addr.findChild<QPushButton*>(u"CancelButton"_s)->text(), u"ｷｬﾝｾﾙ"_s);
    QStringList tabOrder;
    for (QWidget* w = f.addr.nextInFocusChain(); w != &f.addr; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            tabOrder.append(w->objectName());
    QCOMPARE(
        tabOrder, (QStringList { u"SiteAddress"_s, u"SavePath"_s, u"DirDlg"_s, u"OKButton"_s, u"CancelButton"_s }));
}

void TestSiteAddressDialogs::firstRunOffersTheDownloadFolder_data()
{
    QTest::addColumn<bool>("hasDownloads");
    QTest::newRow("the download folder when the user has one") << true;
    QTest::newRow("the home folder when there is no download folder") << false;
}

void TestSiteAddressDialogs::firstRunOffersTheDownloadFolder()
{
    QFETCH(bool, hasDownloads);
    TempHome home;
    if (hasDownloads)
        QVERIFY(QDir(home.path()).mkpath(u"Downloads"_s));
    Fixture f;
    f.addr.show();
    const QString offered = firstOffer(home, hasDownloads);
    QCOMPARE(f.box(u"SavePath"_s)->text(), offered);
    f.addr.close();

    // A stored folder that has gone since, on a first opening: the same offer, never an empty box.
    f.store.save(SettingsKeys::SaveFolder, f.folder(u"gone/"_s));
    DirDialog freshPicker;
    DialogEnvironment env { f.store, f.crawl, freshPicker };
    DeepAddrDialog deep { env };
    GetHttpAddrDialog addr { env, deep };
    addr.show();
    QCOMPARE(addr.findChild<QLineEdit*>(u"SavePath"_s)->text(), offered);
}

void TestSiteAddressDialogs::emptySaveFolderIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("an empty box") << QString();
    QTest::newRow("blanks only") << u"   "_s;
}

void TestSiteAddressDialogs::emptySaveFolderIsRefused()
{
    QFETCH(QString, typed);
    Fixture f;
    f.addr.show();
    type(f.box(u"SiteAddress"_s), u"http://a.example/"_s);
    type(f.box(u"SavePath"_s), typed);
    MessageBoxAnswer answer(QMessageBox::Ok);
    click(&f.addr, u"OKButton"_s);
    QCOMPARE(answer.texts(), QStringList { NoFolder });
    QCOMPARE(f.addr.focusWidget(), f.box(u"SavePath"_s));
    QVERIFY(f.addr.isVisible());
    QVERIFY(!f.deep.isVisible());
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(f.nothingSaved());
    QCOMPARE(f.stored(SettingsKeys::SaveDrive), DialogFixture::Absent);
}

void TestSiteAddressDialogs::browseCancelledOnAnEmptyBoxStoresNothing()
{
    Fixture f;
    f.addr.show();
    type(f.box(u"SavePath"_s), QString());
    whenModal(&f.picker, [&] { click(&f.picker, u"CancelButton"_s); });
    click(&f.addr, u"DirDlg"_s);
    QCOMPARE(f.box(u"SavePath"_s)->text(), QString());
    QCOMPARE(f.stored(SettingsKeys::SaveFolder), DialogFixture::Absent);
}

void TestSiteAddressDialogs::relativeFolderIsTakenFromHome_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("exists");
    QTest::newRow("a new relative folder is created in the home folder") << u"relsave/sub"_s << false;
    QTest::newRow("an existing relative folder is the home folder's") << u"have"_s << true;
}

void TestSiteAddressDialogs::relativeFolderIsTakenFromHome()
{
    QFETCH(QString, typed);
    QFETCH(bool, exists);
    TempHome home;
    QVERIFY(QDir(home.path()).mkpath(u"have"_s));
    // The current folder is somewhere else, as when the program was started from its own folder.
    QTemporaryDir elsewhere;
    QVERIFY(QDir(elsewhere.path()).mkpath(u"have"_s));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    Fixture f;
    whenModal(&f.deep, [&] { click(&f.deep, u"OKButton"_s); });
    f.addr.show();
    type(f.box(u"SiteAddress"_s), u"http://a.example/"_s);
    type(f.box(u"SavePath"_s), typed);
    MessageBoxAnswer answer(QMessageBox::Ok);
    click(&f.addr, u"OKButton"_s);
    QDir::setCurrent(previous);

#ifdef Q_OS_WIN
    // Windows takes it from the current folder, which start-up makes the program's own.
    const QString base = elsewhere.path(), other = home.path();
#else
    const QString base = home.path(), other = elsewhere.path();
#endif
    const QString expected = QDir::toNativeSeparators(base + u'/' + typed);
    QCOMPARE(
        answer.texts(), exists ? QStringList() : QStringList { expected + u"\r\nは存在しません、作成しますか？"_s });
    QVERIFY(QFileInfo(expected).isDir());
    QVERIFY(!QFileInfo::exists(other + u"/relsave"_s));
    QCOMPARE(f.stored(SettingsKeys::SaveFolder), expected + QDir::separator());
    QCOMPARE(f.box(u"SavePath"_s)->text(), expected + QDir::separator());
    QVERIFY(!f.crawl.StopRequested);
}

void TestSiteAddressDialogs::openingShowsStoredAddressAndFolder()
{
    Fixture f;
    QVERIFY(QDir(f.dir.path()).mkpath(u"saved"_s));
    f.store.save(SettingsKeys::SiteAddress, u"https://a.example/x/"_s);
    f.store.save(SettingsKeys::SaveFolder, f.folder(u"saved"_s) + QDir::separator());
    f.addr.show();
    QCOMPARE(f.box(u"SiteAddress"_s)->text(), u"https://a.example/x/"_s);
    // The box shows the picker's folder, which carries no final separator.
    QCOMPARE(f.box(u"SavePath"_s)->text(), f.folder(u"saved"_s));
    f.addr.close();

    // A stored folder that is gone: the picker's current folder is shown instead.
    f.store.save(SettingsKeys::SaveFolder, f.folder(u"gone"_s));
    QVERIFY(f.picker.setFolder(f.dir.path()));
    f.addr.show();
    QCOMPARE(f.box(u"SavePath"_s)->text(), QDir::toNativeSeparators(f.dir.path()));
}

void TestSiteAddressDialogs::addressIsChecked_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QString() << NoAddress;
    QTest::newRow("no scheme") << u"www.example.com/"_s << BadAddress;
    QTest::newRow("ftp") << u"ftp://example.com/"_s << BadAddress;
    QTest::newRow("capital HTTP") << u"HTTP://example.com/"_s << BadAddress;
    QTest::newRow("capital Https") << u"Https://example.com/"_s << BadAddress;
    QTest::newRow("blanks only") << u"   "_s << NoAddress;
}

void TestSiteAddressDialogs::addressIsChecked()
{
    QFETCH(QString, address);
    QFETCH(QString, message);
    Fixture f;
    QVERIFY(QDir(f.dir.path()).mkpath(u"save"_s));
    f.addr.show();
    type(f.box(u"SiteAddress"_s), address);
    type(f.box(u"SavePath"_s), f.folder(u"save"_s));
    MessageBoxAnswer answer(QMessageBox::Ok);
    click(&f.addr, u"OKButton"_s);
    QCOMPARE(answer.texts(), QStringList { message });
    QCOMPARE(f.addr.focusWidget(), f.box(u"SiteAddress"_s));
    QVERIFY(f.addr.isVisible());
    QVERIFY(!f.deep.isVisible());
    QVERIFY(f.crawl.StopRequested);
    QCOMPARE(f.addr.sitesTopAddr(), QString());
    QVERIFY(f.nothingSaved());
}

void TestSiteAddressDialogs::okStoresAddressFolderAndDriveThenStartsOnlyWithOptionsOk_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("typedFolder");
    QTest::addColumn<QString>("optionsButton");
    QTest::newRow("http, options OK") << u"http://a.example/top/index.html"_s << u"save"_s << u"OKButton"_s;
    QTest::newRow("https, final separator typed") << u"https://b.example/"_s << u"save/"_s << u"OKButton"_s;
    QTest::newRow("options cancelled") << u"http://a.example/"_s << u"save"_s << u"CancelButton"_s;
    QTest::newRow("blanks around, removed") << u"  http://a.example/index.html "_s << u"save  "_s << u"OKButton"_s;
}

void TestSiteAddressDialogs::okStoresAddressFolderAndDriveThenStartsOnlyWithOptionsOk()
{
    QFETCH(QString, address);
    QFETCH(QString, typedFolder);
    QFETCH(QString, optionsButton);
    Fixture f;
    QVERIFY(QDir(f.dir.path()).mkpath(u"save"_s));
    f.crawl.StopRequested = false;
    QString al1;
    bool addressHidden = false;
    whenModal(&f.addr, [&] {
        type(f.box(u"SiteAddress"_s), address);
        type(f.box(u"SavePath"_s), f.folder(typedFolder));
        whenModal(&f.deep, [&] {
            addressHidden = !f.addr.isVisible();
            al1 = f.label(u"AL1"_s);
            click(&f.deep, optionsButton);
        });
        click(&f.addr, u"OKButton"_s);
    });
    f.addr.exec();
    QVERIFY(addressHidden);
    address = address.trimmed();
    QCOMPARE(al1, DirectoryAddressOf(address));
    QCOMPARE(f.addr.sitesTopAddr(), address);
    QCOMPARE(f.stored(SettingsKeys::SiteAddress), address);
    QCOMPARE(f.stored(SettingsKeys::SaveFolder), f.folder(u"save"_s) + QDir::separator());
    QCOMPARE(f.box(u"SavePath"_s)->text(), f.folder(u"save"_s) + QDir::separator());
    QCOMPARE(f.stored(SettingsKeys::SaveDrive), QDir::toNativeSeparators(QStorageInfo(f.dir.path()).rootPath()));
    QCOMPARE(f.crawl.StopRequested, optionsButton == u"CancelButton"_s);
    QVERIFY(!f.addr.isVisible() && !f.deep.isVisible());
}

void TestSiteAddressDialogs::unusableFolderIsRefusedBeforeTheOptions_data()
{
    QTest::addColumn<QString>("typed"); // under the test's folder, which holds a file named "file"
    QTest::addColumn<QStringList>("messages"); // with {} for the folder as shown
    QTest::newRow("an existing file") << u"file"_s
                                      << QStringList { u"{}\r\nはファイルです。保存先のフォルダを指定して下さい。"_s };
    QTest::newRow("cannot be created") << u"file/sub"_s
                                       << QStringList { u"{}\r\nは存在しません、作成しますか？"_s,
                                              u"{}"_s + QDir::separator()
                                                  + u"\r\nを作成できません。別のフォルダを指定して下さい。"_s };
    // Not even root may make a file there.
    QTest::newRow("cannot be written") << u"/proc"_s
                                       << QStringList { u"{}\r\nに書き込めません。別のフォルダを指定して下さい。"_s };
}

void TestSiteAddressDialogs::unusableFolderIsRefusedBeforeTheOptions()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, messages);
    Fixture f;
    QFile file(f.dir.filePath(u"file"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QString folder = typed.startsWith(u'/') ? typed : f.folder(typed);
    f.addr.show();
    type(f.box(u"SiteAddress"_s), u"http://a.example/"_s);
    type(f.box(u"SavePath"_s), folder);
    MessageBoxAnswer answer(QMessageBox::Ok, int(messages.size()));
    click(&f.addr, u"OKButton"_s);
    for (QString& message : messages)
        message.replace(u"{}"_s, QDir::toNativeSeparators(folder));
    QCOMPARE(answer.texts(), messages);
    QVERIFY(f.addr.isVisible() && !f.deep.isVisible());
    QVERIFY(f.nothingSaved());
}

void TestSiteAddressDialogs::missingFolderIsCreatedLevelByLevel_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("three new levels") << u"new/one/two"_s << u"new/one/two/"_s;
    QTest::newRow("final separator typed") << u"new/one/two/"_s << u"new/one/two/"_s;
    QTest::newRow("doubled separator") << u"new//one"_s << u"new/one/"_s;
    QTest::newRow("backslash is a name character") << u"new/a\\b"_s << u"new/a\\b/"_s;
}

void TestSiteAddressDialogs::missingFolderIsCreatedLevelByLevel()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Fixture f;
    const QString expected = f.folder(shown);
    whenModal(&f.deep, [&] { click(&f.deep, u"OKButton"_s); });
    f.addr.show();
    type(f.box(u"SiteAddress"_s), u"http://a.example/"_s);
    type(f.box(u"SavePath"_s), f.dir.path() + u'/' + typed);
    MessageBoxAnswer answer(QMessageBox::Ok);
    click(&f.addr, u"OKButton"_s);
    QCOMPARE(answer.texts(),
        QStringList {
            QDir::toNativeSeparators(f.dir.path() + u'/' + typed) + u"\r\nは存在しません、作成しますか？"_s });
    QVERIFY(QFileInfo(expected).isDir());
    QCOMPARE(f.box(u"SavePath"_s)->text(), expected);
    QCOMPARE(f.stored(SettingsKeys::SaveFolder), expected);
    QVERIFY(!f.crawl.StopRequested);
}

void TestSiteAddressDialogs::declinedFolderKeepsTheDialogOpen()
{
    Fixture f;
    f.addr.show();
    type(f.box(u"SiteAddress"_s), u"http://a.example/"_s);
    type(f.box(u"SavePath"_s), f.folder(u"new/one"_s));
    MessageBoxAnswer answer(QMessageBox::Cancel);
    click(&f.addr, u"OKButton"_s);
    QCOMPARE(answer.texts().size(), 1);
    QVERIFY(!QFileInfo::exists(f.dir.filePath(u"new"_s)));
    QVERIFY(f.addr.isVisible());
    QVERIFY(!f.deep.isVisible());
    QVERIFY(f.crawl.StopRequested);
    QCOMPARE(f.box(u"SavePath"_s)->text(), f.folder(u"new/one"_s));
    QCOMPARE(f.stored(SettingsKeys::SaveFolder), DialogFixture::Absent);
    QCOMPARE(f.stored(SettingsKeys::SaveDrive), DialogFixture::Absent);
}

void TestSiteAddressDialogs::browsePicksTheSaveFolder_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("result");
    QTest::newRow("picked") << u"OKButton"_s << u"picked"_s;
    QTest::newRow("cancelled") << u"CancelButton"_s << u"typed"_s;
}

void TestSiteAddressDialogs::browsePicksTheSaveFolder()
{
    QFETCH(QString, button);
    QFETCH(QString, result);
    Fixture f;
    QVERIFY(QDir(f.dir.path()).mkpath(u"typed"_s));
    QVERIFY(QDir(f.dir.path()).mkpath(u"picked"_s));
    f.addr.show();
    type(f.box(u"SavePath"_s), f.folder(u"typed"_s));
    QString caption, shownFolder;
    whenModal(&f.picker, [&] {
        caption = f.picker.windowTitle();
        shownFolder = f.picker.folder();
        QVERIFY(f.picker.setFolder(f.dir.filePath(u"picked"_s)));
        click(&f.picker, button);
    });
    click(&f.addr, u"DirDlg"_s);
    QCOMPARE(caption, u"保存先のフォルダを選んでください。"_s);
    QCOMPARE(shownFolder, f.folder(u"typed"_s));
    QCOMPARE(f.box(u"SavePath"_s)->text(), f.folder(result) + QDir::separator());
    QCOMPARE(f.stored(SettingsKeys::SaveFolder), f.folder(result) + QDir::separator());
}

void TestSiteAddressDialogs::addressDialogHidesOrReloads_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("reloads");
    QTest::newRow("Cancel") << u"CancelButton"_s << false;
    QTest::newRow("Escape") << u"Escape"_s << false;
    QTest::newRow("close box") << u"close"_s << true;
}

void TestSiteAddressDialogs::addressDialogHidesOrReloads()
{
    QFETCH(QString, how);
    QFETCH(bool, reloads);
    TempHome home;
    Fixture f;
    f.store.save(SettingsKeys::SiteAddress, u"http://stored.example/"_s);
    for (int opening = 0; opening < 2; ++opening) {
        f.crawl.StopRequested = false;
        whenModal(&f.addr, [&] {
            type(f.box(u"SiteAddress"_s), u"http://typed.example/"_s);
            type(f.box(u"SavePath"_s), u"typed folder"_s);
            if (how == u"Escape"_s)
                QTest::keyClick(&f.addr, Qt::Key_Escape);
            else if (how == u"close"_s)
                f.addr.close();
            else
                click(&f.addr, how);
        });
        QCOMPARE(f.addr.exec(), int(QDialog::Rejected));
        QVERIFY(f.crawl.StopRequested);
        QVERIFY(!f.addr.isVisible());
        QVERIFY(!f.deep.isVisible());
    }
    QCOMPARE(f.stored(SettingsKeys::SiteAddress), u"http://stored.example/"_s);
    QCOMPARE(f.stored(SettingsKeys::SaveFolder), DialogFixture::Absent);
    f.addr.show();
    QCOMPARE(f.box(u"SiteAddress"_s)->text(), reloads ? u"http://stored.example/"_s : u"http://typed.example/"_s);
    QCOMPARE(f.box(u"SavePath"_s)->text(), reloads ? firstOffer(home, false) : u"typed folder"_s);
}

QTEST_MAIN(TestSiteAddressDialogs)
#include "tst_siteaddressdialogs.moc"
