// The crawl options dialog driven through its widgets, opened as the site address dialog opens it.
// Every test reads what reached the stop flag and the settings.

#include "crawl/crawlstate.h"
#include "crawl/httpheaders.h"
#include "dialogs/deepaddrdialog.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "support/gui/dialogfixture.h"
#include "support/gui/messageboxes.h"
#include "support/gui/modaldialogs.h"
#include "support/gui/typing.h"
#include "support/temphome.h"
#include "support/tempsettings.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString NoCommas = u",(ｶﾝﾏ)は入力しないで下さい"_s;
const QString RangeTooLarge = u"[数-数]の範囲が大きすぎます｡範囲を狭めて下さい"_s;
const QStringList Keys { SettingsKeys::SearchType, SettingsKeys::DeepCount, SettingsKeys::DownloadExts,
    SettingsKeys::OnDownFileNames, SettingsKeys::NotDownFileNames, SettingsKeys::MaxSize, SettingsKeys::MinSize,
    SettingsKeys::SkipSameName, SettingsKeys::NoDirTree, SettingsKeys::NumberDuplicates, SettingsKeys::ListViewCheck,
    SettingsKeys::AuthString };

void type(QLineEdit* box, const QString& text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    typeText(box, text);
}

// Clicks a check box or option button on its indicator, which a click in the middle of a widget
// stretched by the layout might miss.
void tick(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

struct Fixture : DialogFixture {
    DeepAddrDialog deep { env };

    // Opens the dialog as the site address dialog's OK does, without waiting for it to close.
    void open(const QString& top = u"http://a.example/top/index.html"_s)
    {
        crawl.StopRequested = false;
        deep.setTopAddress(top);
        deep.show();
    }
    QLineEdit* box(const QString& name) const { return deep.findChild<QLineEdit*>(name); }
    QCheckBox* check(const QString& name) const { return deep.findChild<QCheckBox*>(name); }
    QRadioButton* option(int n) const { return deep.findChild<QRadioButton*>(u"Option"_s + QString::number(n)); }
    QString label(const QString& name) const { return deep.findChild<QLabel*>(name)->text(); }
    void click(const QString& name) { QTest::mouseClick(deep.findChild<QAbstractButton*>(name), Qt::LeftButton); }
    bool nothingSaved() const
    {
        return std::all_of(Keys.begin(), Keys.end(), [this](const QString& key) { return stored(key) == Absent; });
    }
};

} // namespace

class TestDeepAddrDialog : public QObject {
    Q_OBJECT
private slots:
    void firstOpeningShowsDefaults();
    void openingShowsStoredOptionsButNeverCredentials();
    void tabOrderFollowsTheLayout();
    void scopeLabelsFollowEachAddress_data();
    void scopeLabelsFollowEachAddress();
    void storedSearchTypeSelectsItsOption_data();
    void storedSearchTypeSelectsItsOption();
    void okStoresEveryKeyAndClearsTheStopFlag();
    void okWithEmptyCredentialsStoresColonAlone();
    void aCookieFileIsCheckedOnOkAndPickedFromHome();
    void numbersAreWholeOrRefused_data();
    void numbersAreWholeOrRefused();
    void commasAreRefused_data();
    void commasAreRefused();
    void hugeRangesAreRefused_data();
    void hugeRangesAreRefused();
    void hidesOrReloads_data();
    void hidesOrReloads();
};

void TestDeepAddrDialog::firstOpeningShowsDefaults()
{
    Fixture f;
    f.open();
    QVERIFY(f.crawl.StopRequested);
    QCOMPARE(f.deep.windowTitle(), u"リンク移動の制御"_s);
    QCOMPARE(f.deep.findChild<QGroupBox*>(u"Frame1"_s)->title(), u"検索の対象範囲"_s);
    QCOMPARE(f.deep.findChild<QGroupBox*>(u"ninn"_s)->title(), u"認証"_s);
    QCOMPARE(f.option(1)->text(), u"アドレス以降のHTML検索"_s);
    QCOMPARE(f.option(2)->toolTip(), u"上に書かれたアドレス以降を検索の対象にします。"_s);
    // The options beyond the original ones say what they do.
    QVERIFY(f.check(u"MoreLinks"_s)->toolTip().contains(u"srcset"_s));
    QVERIFY(f.check(u"FollowRobots"_s)->toolTip().contains(u"Crawl-delay"_s));
    QVERIFY(f.box(u"CookieFile"_s)->toolTip().contains(u"クッキーを送ります"_s));
    QCOMPARE(f.label(u"Label5"_s), u"＊１;セミコロン区切り,無指定全て,[数-数]指定 例[00-99]"_s);
    QCOMPARE(f.box(u"DeepCount"_s)->toolTip(), u"リンクを追っていくネストの回数です。"_s);
    QCOMPARE(f.deep.findChild<QPushButton*>(u"OKButton"_s)->text(), u"開始"_s);
    QCOMPARE(f.deep.findChild<QPushButton*>(u"CancelButton"_s)->text(), u"ｷｬﾝｾﾙ"_s);

    QVERIFY(f.option(1)->isChecked());
    QVERIFY(!f.option(2)->isChecked() && !f.option(3)->isChecked());
    QCOMPARE(f.box(u"DeepCount"_s)->text(), u"3"_s);
    QCOMPARE(f.box(u"DownloadExts"_s)->text(), u".gif;.png;.jpg;.mpg;.avi;.rm"_s);
    QCOMPARE(f.box(u"OnDownFileNames"_s)->text(), QString());
    QCOMPARE(f.box(u"NotDownFileNames"_s)->text(), QString());
    QCOMPARE(f.box(u"MAXSIZE"_s)->text(), u"1024"_s);
    QCOMPARE(f.box(u"MINSIZE"_s)->text(), u"0"_s);
    QVERIFY(f.check(u"NOFileDownLoasFile"_s)->isChecked());
    QVERIFY(!f.check(u"DirNOSetCheck"_s)->isChecked());
    QVERIFY(f.check(u"FileName2NO"_s)->isChecked());
    QVERIFY(f.check(u"MoreLinks"_s)->isChecked());
    QCOMPARE(f.check(u"MoreLinks"_s)->text(), u"スタイルシートやsrcsetのリンクも探す"_s);
    QVERIFY(f.check(u"FollowSitemaps"_s)->isChecked());
    QCOMPARE(f.check(u"FollowSitemaps"_s)->text(), u"サイトマップのページも探す"_s);
    QVERIFY(f.check(u"ListViewCheck"_s)->isChecked());
    QCOMPARE(f.box(u"USERText"_s)->text(), QString());
    QCOMPARE(f.box(u"PASSText"_s)->text(), QString());
    QCOMPARE(f.box(u"PASSText"_s)->echoMode(), QLineEdit::Password);
}

void TestDeepAddrDialog::openingShowsStoredOptionsButNeverCredentials()
{
    Fixture f;
    const QList<std::pair<QString, QString>> values { { SettingsKeys::DeepCount, u"7"_s },
        { SettingsKeys::DownloadExts, u".zip"_s }, { SettingsKeys::OnDownFileNames, u"pic[00-99]"_s },
        { SettingsKeys::NotDownFileNames, u"thumb"_s }, { SettingsKeys::MaxSize, u"0"_s },
        { SettingsKeys::MinSize, u"5"_s } };
    for (const auto& [key, value] : values)
        f.store.save(key, value);
    for (const QString& key :
        { SettingsKeys::SkipSameName, SettingsKeys::NumberDuplicates, SettingsKeys::ListViewCheck })
        f.store.save(key, u"0"_s);
    f.store.save(SettingsKeys::NoDirTree, u"1"_s);
    f.store.save(SettingsKeys::AuthString, MakeBasicCredential(u"user"_s, u"secret"_s));
    f.open();
    for (const auto& [key, value] : values)
        QCOMPARE(f.box(key)->text(), value);
    QVERIFY(!f.check(u"NOFileDownLoasFile"_s)->isChecked());
    QVERIFY(f.check(u"DirNOSetCheck"_s)->isChecked());
    QVERIFY(!f.check(u"FileName2NO"_s)->isChecked());
    QVERIFY(!f.check(u"ListViewCheck"_s)->isChecked());
    QCOMPARE(f.box(u"USERText"_s)->text(), QString());
    QCOMPARE(f.box(u"PASSText"_s)->text(), QString());
}

void TestDeepAddrDialog::tabOrderFollowsTheLayout()
{
    Fixture f;
    QStringList order;
    for (QWidget* w = f.deep.nextInFocusChain(); w != &f.deep; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
            order.append(w->objectName());
    QCOMPARE(order,
        (QStringList { u"Option1"_s, u"Option2"_s, u"Option3"_s, u"DeepCount"_s, u"DownloadExts"_s,
            u"OnDownFileNames"_s, u"NotDownFileNames"_s, u"MAXSIZE"_s, u"MINSIZE"_s, u"NOFileDownLoasFile"_s,
            u"DirNOSetCheck"_s, u"FileName2NO"_s, u"MoreLinks"_s, u"FollowSitemaps"_s, u"USERText"_s, u"PASSText"_s,
            u"ListViewCheck"_s, u"FollowRobots"_s, u"CookieFile"_s, u"CookieFileDlg"_s, u"OKButton"_s,
            u"CancelButton"_s }));
}

void TestDeepAddrDialog::scopeLabelsFollowEachAddress_data()
{
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("al1");
    QTest::addColumn<QString>("al2");
    QTest::newRow("file name") << u"http://h.example/a/b.html"_s << u"http://h.example/a/"_s << u"http://h.example/"_s;
    QTest::newRow("final slash") << u"https://h.example/a/"_s << u"https://h.example/a/"_s << u"https://h.example/"_s;
    QTest::newRow("no dot in last") << u"http://h.example/a/b"_s << u"http://h.example/a/b"_s << u"http://h.example/"_s;
    // The host's dots count as a file name's: only the root line keeps the host.
    QTest::newRow("host alone") << u"http://h.example"_s << u"http://"_s << u"http://h.example/"_s;
    QTest::newRow("port") << u"http://h:8080/x.cgi?a=1"_s << u"http://h:8080/"_s << u"http://h:8080/"_s;
}

void TestDeepAddrDialog::scopeLabelsFollowEachAddress()
{
    QFETCH(QString, top);
    QFETCH(QString, al1);
    QFETCH(QString, al2);
    Fixture f;
    // A second crawl in the same run shows the new address's scope.
    f.open(u"http://first.example/one/two.htm"_s);
    QCOMPARE(f.label(u"AL1"_s), u"http://first.example/one/"_s);
    f.click(u"CancelButton"_s);
    f.open(top);
    QCOMPARE(f.label(u"AL1"_s), al1);
    QCOMPARE(f.label(u"AL2"_s), al2);
}

void TestDeepAddrDialog::storedSearchTypeSelectsItsOption_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("saved");
    QTest::newRow("1") << u"1"_s << 1 << u"1"_s;
    QTest::newRow("2") << u"2"_s << 2 << u"2"_s;
    QTest::newRow("3") << u"3"_s << 3 << u"3"_s;
    QTest::newRow("other number selects none") << u"7"_s << 0 << u"3"_s;
    QTest::newRow("text selects none") << u"x"_s << 0 << u"3"_s;
}

void TestDeepAddrDialog::storedSearchTypeSelectsItsOption()
{
    QFETCH(QString, stored);
    QFETCH(int, selected);
    QFETCH(QString, saved);
    Fixture f;
    f.store.save(SettingsKeys::SearchType, stored);
    f.open();
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(f.option(n)->isChecked(), n == selected);
    f.click(u"OKButton"_s);
    QCOMPARE(f.stored(SettingsKeys::SearchType), saved);
}

void TestDeepAddrDialog::okStoresEveryKeyAndClearsTheStopFlag()
{
    Fixture f;
    f.open();
    tick(f.option(2));
    QVERIFY(f.option(2)->isChecked());
    type(f.box(u"DeepCount"_s), u" 12"_s);
    type(f.box(u"DownloadExts"_s), u".zip;.lzh"_s);
    type(f.box(u"OnDownFileNames"_s), u"img[01-20]"_s);
    type(f.box(u"NotDownFileNames"_s), u"thumb;small"_s);
    type(f.box(u"MAXSIZE"_s), u"2048"_s);
    type(f.box(u"MINSIZE"_s), u"１"_s);
    for (const QString& name :
        { u"NOFileDownLoasFile"_s, u"DirNOSetCheck"_s, u"FileName2NO"_s, u"ListViewCheck"_s, u"FollowRobots"_s })
        tick(f.check(name));
    tick(f.check(u"MoreLinks"_s));
    tick(f.check(u"FollowSitemaps"_s));
    type(f.box(u"USERText"_s), u"guest"_s);
    type(f.box(u"PASSText"_s), u"p@ss"_s);
    const QString cookies = f.dir.filePath(u"cookies.txt"_s);
    QVERIFY(WriteFileBytes(cookies, "a.example\tFALSE\t/\tFALSE\t0\tk\tv\n"));
    type(f.box(u"CookieFile"_s), u" "_s + cookies);
    f.click(u"OKButton"_s);

    QVERIFY(!f.deep.isVisible());
    QVERIFY(!f.crawl.StopRequested);
    QCOMPARE(f.deep.result(), int(QDialog::Accepted));
    QCOMPARE(f.box(u"DeepCount"_s)->text(), u"12"_s);
    const QList<std::pair<QString, QString>> expected { { SettingsKeys::SearchType, u"2"_s },
        { SettingsKeys::DeepCount, u"12"_s }, { SettingsKeys::DownloadExts, u".zip;.lzh"_s },
        { SettingsKeys::OnDownFileNames, u"img[01-20]"_s }, { SettingsKeys::NotDownFileNames, u"thumb;small"_s },
        { SettingsKeys::MaxSize, u"2048"_s }, { SettingsKeys::MinSize, u"1"_s }, { SettingsKeys::SkipSameName, u"0"_s },
        { SettingsKeys::NoDirTree, u"1"_s }, { SettingsKeys::NumberDuplicates, u"0"_s },
        { SettingsKeys::ListViewCheck, u"0"_s }, { SettingsKeys::FollowRobots, u"0"_s },
        { SettingsKeys::CookieFile, cookies }, { SettingsKeys::AuthString, u"Z3Vlc3Q6cEBzcw=="_s },
        { SettingsKeys::MoreLinks, u"0"_s }, { SettingsKeys::FollowSitemaps, u"0"_s } };
    for (const auto& [key, value] : expected)
        QCOMPARE(f.stored(key), value);
    // The options a crawl from the command line stores as this dialog would, and the credential.
    QCOMPARE(f.storedKeys().size(), SettingsKeys::CrawlOptions.size() + 1);
}

void TestDeepAddrDialog::aCookieFileIsCheckedOnOkAndPickedFromHome()
{
    Fixture f;
    f.open();
    const TempHome home;
    QStringList filters;
    QString from;
    whenModal(u"QFileDialog"_s, [&filters, &from](QWidget* dialog) {
        filters = static_cast<QFileDialog*>(dialog)->nameFilters();
        from = static_cast<QFileDialog*>(dialog)->directory().path();
        static_cast<QFileDialog*>(dialog)->reject();
    });
    f.click(u"CookieFileDlg"_s);
    QCOMPARE(from, QDir::homePath());
    QCOMPARE(filters.value(0), u"cookies.txt (*.txt)"_s);

    const QString missing = f.dir.filePath(u"none/cookies.txt"_s);
    type(f.box(u"CookieFile"_s), missing);
    MessageBoxAnswer answer(QMessageBox::Ok);
    f.click(u"OKButton"_s);
    QCOMPARE(answer.texts(),
        QStringList { u"cookies.txtのファイルを読めません。\n"_s + QDir::toNativeSeparators(missing)
            + u": フォルダがありません。"_s });
    QCOMPARE(f.deep.focusWidget(), f.box(u"CookieFile"_s));
    QVERIFY(f.deep.isVisible() && f.nothingSaved());
}

void TestDeepAddrDialog::okWithEmptyCredentialsStoresColonAlone()
{
    Fixture f;
    f.store.save(SettingsKeys::AuthString, MakeBasicCredential(u"old"_s, u"pw"_s));
    f.open();
    f.click(u"OKButton"_s);
    QCOMPARE(f.stored(SettingsKeys::AuthString), u"Og=="_s);
    QCOMPARE(f.stored(SettingsKeys::SkipSameName), u"1"_s);
    QCOMPARE(f.stored(SettingsKeys::NoDirTree), u"0"_s);
    QCOMPARE(f.stored(SettingsKeys::SearchType), u"1"_s);
    QVERIFY(!f.crawl.StopRequested);
}

void TestDeepAddrDialog::numbersAreWholeOrRefused_data()
{
    QTest::addColumn<QString>("deepCount");
    QTest::addColumn<QString>("minSize");
    QTest::addColumn<QString>("maxSize");
    QTest::addColumn<QString>("failing"); // the box refused, or empty when all convert
    QTest::addColumn<QStringList>("after"); // the three boxes' texts afterwards
    QTest::addColumn<QString>("message");
    QTest::newRow("blanks and fractions, which sizes keep")
        << u" 12 "_s << u"2.50"_s << u"2.7"_s << QString() << QStringList { u"12"_s, u"2.5"_s, u"2.7"_s } << QString();
    QTest::newRow("full-width, halves to even; a maximum of 0 sets no limit")
        << u"　３．５"_s << u"４"_s << u"０"_s << QString() << QStringList { u"4"_s, u"4"_s, u"0"_s } << QString();
    QTest::newRow("letters in DeepCount")
        << u"abc"_s << u"0.6"_s << u"x"_s << u"DeepCount"_s << QStringList { u"abc"_s, u"0.6"_s, u"x"_s }
        << u"制限階層数は数値で入力して下さい｡"_s;
    QTest::newRow("empty MINSIZE") << u"2.7"_s << QString() << u"1.5"_s << u"MINSIZE"_s
                                   << QStringList { u"3"_s, QString(), u"1.5"_s }
                                   << u"ダウンロード最小サイズは数値で入力して下さい｡"_s;
    QTest::newRow("a minimum above the maximum, which no file can meet")
        << u"1"_s << u"２０４８"_s << u"1024"_s << u"MINSIZE"_s << QStringList { u"1"_s, u"2048"_s, u"1024"_s }
        << u"ダウンロード最小サイズがダウンロード最大サイズより大きいため、ファイルを１つもダウンロードできません。"_s;
}

void TestDeepAddrDialog::numbersAreWholeOrRefused()
{
    QFETCH(QString, deepCount);
    QFETCH(QString, minSize);
    QFETCH(QString, maxSize);
    QFETCH(QString, failing);
    QFETCH(QStringList, after);
    QFETCH(QString, message);
    Fixture f;
    f.open();
    type(f.box(u"DeepCount"_s), deepCount);
    type(f.box(u"MINSIZE"_s), minSize);
    type(f.box(u"MAXSIZE"_s), maxSize);
    MessageBoxAnswer answer(QMessageBox::Ok);
    f.click(u"OKButton"_s);
    QCOMPARE(QStringList({ f.box(u"DeepCount"_s)->text(), f.box(u"MINSIZE"_s)->text(), f.box(u"MAXSIZE"_s)->text() }),
        after);
    if (failing.isEmpty()) {
        QCOMPARE(answer.texts(), QStringList());
        QCOMPARE(f.stored(SettingsKeys::DeepCount), after[0]);
        QCOMPARE(f.stored(SettingsKeys::MinSize), after[1]);
        QCOMPARE(f.stored(SettingsKeys::MaxSize), after[2]);
        QVERIFY(!f.crawl.StopRequested);
        return;
    }
    QCOMPARE(answer.texts(), QStringList { message });
    QCOMPARE(f.deep.focusWidget(), f.box(failing));
    QVERIFY(f.deep.isVisible());
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(f.nothingSaved());
}

void TestDeepAddrDialog::commasAreRefused_data()
{
    QTest::addColumn<QString>("exts");
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("notOn");
    QTest::addColumn<QString>("failing");
    QTest::newRow("DownloadExts") << u".gif,.jpg"_s << u"a,b"_s << u","_s << u"DownloadExts"_s;
    QTest::newRow("OnDownFileNames") << u".gif;.jpg"_s << u"a,b"_s << u","_s << u"OnDownFileNames"_s;
    QTest::newRow("NotDownFileNames") << u".gif"_s << u"a;b"_s << u"x,"_s << u"NotDownFileNames"_s;
}

void TestDeepAddrDialog::commasAreRefused()
{
    QFETCH(QString, exts);
    QFETCH(QString, on);
    QFETCH(QString, notOn);
    QFETCH(QString, failing);
    Fixture f;
    f.open();
    type(f.box(u"DeepCount"_s), u"2.7"_s);
    type(f.box(u"DownloadExts"_s), exts);
    type(f.box(u"OnDownFileNames"_s), on);
    type(f.box(u"NotDownFileNames"_s), notOn);
    MessageBoxAnswer answer(QMessageBox::Ok);
    f.click(u"OKButton"_s);
    QCOMPARE(answer.texts(), QStringList { NoCommas });
    QCOMPARE(f.deep.focusWidget(), f.box(failing));
    // The numbers were converted before the commas were looked at.
    QCOMPARE(f.box(u"DeepCount"_s)->text(), u"3"_s);
    QVERIFY(f.deep.isVisible());
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(f.nothingSaved());
}

void TestDeepAddrDialog::hugeRangesAreRefused_data()
{
    QTest::addColumn<QString>("exts");
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("notOn");
    QTest::addColumn<QString>("failing");
    QTest::newRow("a range of a million numbers in the extensions")
        << u".gif;[0-999999]"_s << u"[0-9999999]"_s << QString() << u"DownloadExts"_s;
    QTest::newRow("a twenty-digit bound in the names to include")
        << u".gif"_s << u"[0-10000000000000000000]"_s << u"[0-99999999]"_s << u"OnDownFileNames"_s;
    QTest::newRow("many wide ranges in the names to leave out")
        << u".gif"_s << u"[00-99]"_s << u"[0-99999999999999999];"_s.repeated(2) << u"NotDownFileNames"_s;
}

void TestDeepAddrDialog::hugeRangesAreRefused()
{
    QFETCH(QString, exts);
    QFETCH(QString, on);
    QFETCH(QString, notOn);
    QFETCH(QString, failing);
    Fixture f;
    f.open();
    type(f.box(u"DownloadExts"_s), exts);
    type(f.box(u"OnDownFileNames"_s), on);
    type(f.box(u"NotDownFileNames"_s), notOn);
    MessageBoxAnswer answer(QMessageBox::Ok);
    f.click(u"OKButton"_s);
    QCOMPARE(answer.texts(), QStringList { RangeTooLarge });
    QCOMPARE(f.deep.focusWidget(), f.box(failing));
    QVERIFY(f.deep.isVisible());
    QVERIFY(f.crawl.StopRequested);
    QVERIFY(f.nothingSaved());
}

void TestDeepAddrDialog::hidesOrReloads_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("reloads");
    QTest::newRow("Cancel") << u"CancelButton"_s << false;
    QTest::newRow("Escape") << u"Escape"_s << false;
    QTest::newRow("close box") << u"close"_s << true;
    QTest::newRow("OK") << u"OKButton"_s << false;
}

void TestDeepAddrDialog::hidesOrReloads()
{
    QFETCH(QString, how);
    QFETCH(bool, reloads);
    const bool confirms = how == u"OKButton"_s;
    Fixture f;
    f.store.save(SettingsKeys::DeepCount, u"5"_s);
    for (int opening = 0; opening < 2; ++opening) {
        f.open();
        if (opening == 0) {
            tick(f.option(3));
            type(f.box(u"DeepCount"_s), u"9"_s);
            tick(f.check(u"ListViewCheck"_s));
            type(f.box(u"USERText"_s), u"guest"_s);
            type(f.box(u"PASSText"_s), u"pw"_s);
        }
        if (how == u"Escape"_s)
            QTest::keyClick(&f.deep, Qt::Key_Escape);
        else if (how == u"close"_s)
            f.deep.close();
        else
            f.click(how);
        QVERIFY(!f.deep.isVisible());
        QCOMPARE(f.crawl.StopRequested, !confirms);
        QCOMPARE(f.stored(SettingsKeys::DeepCount), confirms ? u"9"_s : u"5"_s);
        QCOMPARE(f.stored(SettingsKeys::SearchType), confirms ? u"3"_s : DialogFixture::Absent);
        QCOMPARE(f.stored(SettingsKeys::AuthString),
            confirms ? MakeBasicCredential(u"guest"_s, u"pw"_s) : DialogFixture::Absent);
    }
    f.open();
    QVERIFY(f.crawl.StopRequested);
    QCOMPARE(f.option(3)->isChecked(), !reloads);
    QCOMPARE(f.box(u"DeepCount"_s)->text(), reloads ? u"5"_s : u"9"_s);
    QCOMPARE(f.check(u"ListViewCheck"_s)->isChecked(), reloads);
    QCOMPARE(f.box(u"USERText"_s)->text(), reloads ? QString() : u"guest"_s);
    QCOMPARE(f.box(u"PASSText"_s)->text(), reloads ? QString() : u"pw"_s);
}

QTEST_MAIN(TestDeepAddrDialog)
#include "tst_deepaddrdialog.moc"
