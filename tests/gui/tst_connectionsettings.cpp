// The connection settings dialog driven through its widgets: what it loads, how OK checks and
// rewrites the numeric boxes, what it saves, and which ways out keep or drop what was typed.

#include "crawl/crawlstate.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "dialogs/settingdialog.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "support/gui/dialogfixture.h"
#include "support/gui/messageboxes.h"
#include "support/gui/typing.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QStringList NumericBoxes { u"BuffLen"_s, u"RequestTimeout"_s, u"PortNO"_s, u"ListViewSize"_s };
const QStringList NumericNames { u"バッファの大きさ"_s, u"接続タイムアウト"_s, u"ポート"_s, u"一覧表示で表示する数"_s };
const QStringList TextKeys { u"ProxyAddress"_s, u"PortNO"_s, u"RequestTimeout"_s, u"BuffLen"_s, u"ScanLimitMB"_s,
    u"User_Agent"_s, u"ListViewGraphs"_s, u"ListViewSize"_s, u"Connections"_s, u"RequestIntervalMs"_s };

struct Fixture : DialogFixture {
    SettingDialog dialog { env };

    QLineEdit* box(const QString& name) const { return dialog.findChild<QLineEdit*>(name); }
    QComboBox* accessType() const { return dialog.findChild<QComboBox*>(u"AccessType"_s); }
    QPushButton* button(const QString& name) const { return dialog.findChild<QPushButton*>(name); }
    void type(const QString& name, const QString& text) const
    {
        QLineEdit* edit = box(name);
        edit->clear();
        typeText(edit, text);
    }
};

} // namespace

class TestConnectionSettings : public QObject {
    Q_OBJECT
private slots:
    void controlsAndCaptions();
    void firstRunShowsDefaults();
    void loadsStoredValues();
    void accessTypeOutOfRangeShowsFirstItem_data();
    void accessTypeOutOfRangeShowsFirstItem();
    void okSavesAllKeys_data();
    void okSavesAllKeys();
    void numericCheckStopsAtFirstBadBox_data();
    void numericCheckStopsAtFirstBadBox();
    void scanLimitIsASizeOfAtLeastOne_data();
    void scanLimitIsASizeOfAtLeastOne();
    void connectionsAndIntervalAreCheckedLikeTheOtherNumbers_data();
    void connectionsAndIntervalAreCheckedLikeTheOtherNumbers();
    void integerConversion_data();
    void integerConversion();
    void cancelSavesNothingAndKeepsTyping();
    void escapeActsAsCancel();
    void okHidesAndKeepsValues();
    void closeBoxReloads();
};

void TestConnectionSettings::controlsAndCaptions()
{
    Fixture f;
    QCOMPARE(f.dialog.objectName(), u"SettingDialog"_s);
    QCOMPARE(f.dialog.windowTitle(), u"設定"_s);
    const QList<std::pair<QString, QString>> labels {
        { u"Label1"_s, u"インターネットとの通信に使うアクセスの種類 "_s },
        { u"Label2"_s, u"プロキシ サーバー"_s },
        { u"Label3"_s, u"接続タイムアウト"_s },
        { u"Label4"_s, u"バッファの大きさ"_s },
        { u"Label5"_s, u"MB"_s },
        { u"Label6"_s, u"ポート"_s },
        { u"Label7"_s, u"秒"_s },
        { u"Label8"_s, u"User_Agent"_s },
        { u"Label9"_s, u"一覧表示で画像として表示するもの"_s },
        { u"Label10"_s, u"セミコロン区切り"_s },
        { u"Label11"_s, u"一覧表示で表示する数"_s },
        { u"Label12"_s, u"リンクを探すページの上限"_s },
        { u"Label13"_s, u"MB"_s },
        { u"Label14"_s, u"同時接続数"_s },
        { u"Label15"_s, u"間隔"_s },
        { u"Label16"_s, u"ミリ秒"_s },
    };
    for (const auto& [name, text] : labels) {
        auto* label = f.dialog.findChild<QLabel*>(name);
        QVERIFY2(label, qPrintable(name));
        QCOMPARE(label->text(), text);
    }
    QCOMPARE(f.dialog.findChild<QLabel*>(u"Label9"_s)->toolTip(), u"ダウンロード一覧のみ"_s);
    QCOMPARE(f.dialog.findChild<QLabel*>(u"Label11"_s)->toolTip(), u"一覧表示で一度に表示するファイルの数"_s);
    QCOMPARE(f.box(u"ListViewSize"_s)->toolTip(), u"一覧表示で一度に表示するファイルの数"_s);
    QCOMPARE(f.accessType()->count(), 3);
    QCOMPARE(f.accessType()->itemText(0), u"既定値"_s);
    QCOMPARE(f.accessType()->itemText(1), u"直接接続"_s);
    QCOMPARE(f.accessType()->itemText(2), u"プロキシ サーバー"_s);
    for (const QString& name : TextKeys)
        QVERIFY2(f.box(name), qPrintable(name));
    QCOMPARE(f.button(u"OKButton"_s)->text(), u"OK"_s);
    QCOMPARE(f.button(u"CancelButton"_s)->text(), u"ｷｬﾝｾﾙ"_s);

    // Tab walks the controls top to bottom, as they are laid out.
    const QStringList order { u"AccessType"_s, u"ProxyAddress"_s, u"PortNO"_s, u"RequestTimeout"_s, u"Connections"_s,
        u"BuffLen"_s, u"RequestIntervalMs"_s, u"ScanLimitMB"_s, u"User_Agent"_s, u"ListViewGraphs"_s, u"ListViewSize"_s,
        u"OKButton"_s, u"CancelButton"_s };
    QWidget* widget = f.accessType();
    for (qsizetype i = 1; i < order.size(); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus)
            widget = widget->nextInFocusChain();
        QCOMPARE(widget->objectName(), order[i]);
    }
}

void TestConnectionSettings::firstRunShowsDefaults()
{
    Fixture f;
    f.dialog.show();
    QCOMPARE(f.accessType()->currentIndex(), 0);
    QCOMPARE(f.box(u"ProxyAddress"_s)->text(), QString());
    QCOMPARE(f.box(u"PortNO"_s)->text(), u"80"_s);
    QCOMPARE(f.box(u"RequestTimeout"_s)->text(), u"60"_s);
    QCOMPARE(f.box(u"BuffLen"_s)->text(), u"1"_s);
    QCOMPARE(f.box(u"ScanLimitMB"_s)->text(), u"1"_s);
    QCOMPARE(f.box(u"Connections"_s)->text(), u"6"_s);
    QCOMPARE(f.box(u"RequestIntervalMs"_s)->text(), u"0"_s);
    QCOMPARE(f.box(u"User_Agent"_s)->text(), u"Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)"_s);
    QCOMPARE(f.box(u"ListViewGraphs"_s)->text(), u".gif;.png;.jpg;.jpeg;.bmp"_s);
    QCOMPARE(f.box(u"ListViewSize"_s)->text(), u"20"_s);
    QVERIFY(f.storedKeys().isEmpty());
}

void TestConnectionSettings::loadsStoredValues()
{
    Fixture f;
    f.store.save(SettingsKeys::AccessType, u"2"_s);
    for (const QString& key : TextKeys)
        f.store.save(key, key + u"-stored"_s);
    f.dialog.show();
    QCOMPARE(f.accessType()->currentIndex(), 2);
    for (const QString& key : TextKeys)
        QCOMPARE(f.box(key)->text(), key + u"-stored"_s);
}

void TestConnectionSettings::accessTypeOutOfRangeShowsFirstItem_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("three") << u"3"_s;
    QTest::newRow("negative") << u"-1"_s;
    QTest::newRow("large") << u"99999999999"_s;
    QTest::newRow("not a number") << u"abc"_s;
    QTest::newRow("empty") << QString();
}

void TestConnectionSettings::accessTypeOutOfRangeShowsFirstItem()
{
    QFETCH(QString, stored);
    Fixture f;
    f.store.save(SettingsKeys::AccessType, stored);
    f.dialog.show();
    QCOMPARE(f.accessType()->currentIndex(), 0);
    QCOMPARE(f.accessType()->currentText(), u"既定値"_s);
}

void TestConnectionSettings::okSavesAllKeys_data()
{
    QTest::addColumn<int>("access");
    QTest::addColumn<QStringList>("typed"); // BuffLen, RequestTimeout, PortNO, ListViewSize
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("integers") << 1 << QStringList { u"4"_s, u"30"_s, u"8080"_s, u"50"_s }
                              << QStringList { u"4"_s, u"30"_s, u"8080"_s, u"50"_s };
    QTest::newRow("halves to even") << 2 << QStringList { u"1.5"_s, u"0.5"_s, u"2.5"_s, u"3.5"_s }
                                    << QStringList { u"2"_s, u"0"_s, u"2"_s, u"4"_s };
    QTest::newRow("nearest") << 0 << QStringList { u"2.5"_s, u"59.6"_s, u"7.4"_s, u"9.49"_s }
                             << QStringList { u"2"_s, u"60"_s, u"7"_s, u"9"_s };
    QTest::newRow("blanks and exponent") << 0 << QStringList { u" 3 "_s, u"1e2"_s, u"+81"_s, u"7"_s }
                                         << QStringList { u"3"_s, u"100"_s, u"81"_s, u"7"_s };
    QTest::newRow("list size zero") << 0 << QStringList { u"1"_s, u"60"_s, u"80"_s, u"0"_s }
                                    << QStringList { u"1"_s, u"60"_s, u"80"_s, u"20"_s };
    QTest::newRow("list size negative") << 0 << QStringList { u"1"_s, u"60"_s, u"80"_s, u"-3"_s }
                                        << QStringList { u"1"_s, u"60"_s, u"80"_s, u"20"_s };
    QTest::newRow("list size half") << 0 << QStringList { u"1"_s, u"60"_s, u"80"_s, u"0.5"_s }
                                    << QStringList { u"1"_s, u"60"_s, u"80"_s, u"20"_s };
}

void TestConnectionSettings::okSavesAllKeys()
{
    QFETCH(int, access);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, stored);
    Fixture f;
    f.dialog.show();
    f.accessType()->setCurrentIndex(access);
    f.type(u"ProxyAddress"_s, u"proxy.example"_s);
    f.type(u"User_Agent"_s, u"Agent/1.0"_s);
    f.box(u"ListViewGraphs"_s)->clear(); // stored as typed, also when empty
    for (int i = 0; i < NumericBoxes.size(); ++i)
        f.type(NumericBoxes[i], typed[i]);

    MessageBoxAnswer answer(QMessageBox::Ok);
    QTest::mouseClick(f.button(u"OKButton"_s), Qt::LeftButton);
    QVERIFY(answer.texts().isEmpty());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.dialog.result(), int(QDialog::Accepted));

    QCOMPARE(f.storedKeys().size(), 11);
    QCOMPARE(f.store.get(SettingsKeys::ScanLimitMB, u"?"_s), u"1"_s);
    QCOMPARE(f.store.get(SettingsKeys::Connections, u"?"_s), u"6"_s);
    QCOMPARE(f.store.get(SettingsKeys::RequestIntervalMs, u"?"_s), u"0"_s);
    QCOMPARE(f.store.get(SettingsKeys::AccessType, u"?"_s), QString::number(access));
    QCOMPARE(f.store.get(SettingsKeys::ProxyAddress, u"?"_s), u"proxy.example"_s);
    QCOMPARE(f.store.get(SettingsKeys::UserAgent, u"?"_s), u"Agent/1.0"_s);
    QCOMPARE(f.store.get(SettingsKeys::ListViewGraphs, u"?"_s), QString());
    for (int i = 0; i < NumericBoxes.size(); ++i) {
        QCOMPARE(f.store.get(NumericBoxes[i], u"?"_s), stored[i]);
        QCOMPARE(f.box(NumericBoxes[i])->text(), stored[i]);
    }
}

void TestConnectionSettings::numericCheckStopsAtFirstBadBox_data()
{
    QTest::addColumn<QStringList>("typed"); // BuffLen, RequestTimeout, PortNO, ListViewSize
    QTest::addColumn<int>("bad");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("letters in BuffLen") << QStringList { u"abc"_s, u"0.5"_s, u"1.5"_s, u"x"_s } << 0
                                        << QStringList { u"abc"_s, u"0.5"_s, u"1.5"_s, u"x"_s };
    QTest::newRow("empty RequestTimeout") << QStringList { u"1.5"_s, QString(), u"2.5"_s, u"x"_s } << 1
                                          << QStringList { u"2"_s, QString(), u"2.5"_s, u"x"_s };
    QTest::newRow("letter in PortNO") << QStringList { u"2.5"_s, u"30.4"_s, u"8o"_s, u"x"_s } << 2
                                      << QStringList { u"2"_s, u"30"_s, u"8o"_s, u"x"_s };
    QTest::newRow("ListViewSize not a number")
        << QStringList { u"3"_s, u"4.5"_s, u"5.5"_s, u"2O"_s } << 3 << QStringList { u"3"_s, u"4"_s, u"6"_s, u"2O"_s };
}

void TestConnectionSettings::numericCheckStopsAtFirstBadBox()
{
    QFETCH(QStringList, typed);
    QFETCH(int, bad);
    QFETCH(QStringList, shown);
    Fixture f;
    f.dialog.show();
    for (int i = 0; i < NumericBoxes.size(); ++i)
        f.type(NumericBoxes[i], typed[i]);
    f.button(u"OKButton"_s)->setFocus();

    MessageBoxAnswer answer(QMessageBox::Ok);
    QTest::mouseClick(f.button(u"OKButton"_s), Qt::LeftButton);
    QCOMPARE(answer.texts(), QStringList { NumericNames[bad] + u"は数値で入力して下さい｡"_s });
    QVERIFY(f.dialog.isVisible());
    QCOMPARE(f.dialog.focusWidget(), f.box(NumericBoxes[bad]));
    for (int i = 0; i < NumericBoxes.size(); ++i)
        QCOMPARE(f.box(NumericBoxes[i])->text(), shown[i]);
    QVERIFY(f.storedKeys().isEmpty());

    // Mending the box lets OK through.
    f.type(NumericBoxes[bad], u"5"_s);
    MessageBoxAnswer none(QMessageBox::Ok);
    for (int i = bad + 1; i < NumericBoxes.size(); ++i)
        f.type(NumericBoxes[i], u"6"_s);
    QTest::mouseClick(f.button(u"OKButton"_s), Qt::LeftButton);
    QVERIFY(none.texts().isEmpty());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.store.get(NumericBoxes[bad], u"?"_s), u"5"_s);
}

void TestConnectionSettings::scanLimitIsASizeOfAtLeastOne_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty: refused with the message, nothing saved
    QTest::newRow("eight megabytes are stored") << u"8"_s << u"8"_s;
    QTest::newRow("2.5 keeps its fraction") << u"2.5"_s << u"2.5"_s;
    QTest::newRow("letters are refused") << u"big"_s << QString();
}

void TestConnectionSettings::scanLimitIsASizeOfAtLeastOne()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    Fixture f;
    f.dialog.show();
    f.type(u"ScanLimitMB"_s, typed);
    MessageBoxAnswer answer(QMessageBox::Ok);
    QTest::mouseClick(f.button(u"OKButton"_s), Qt::LeftButton);
    if (stored.isEmpty()) {
        QCOMPARE(answer.texts(), QStringList { u"リンクを探すページの上限は数値で入力して下さい｡"_s });
        QVERIFY(f.dialog.isVisible());
        QVERIFY(f.storedKeys().isEmpty());
    } else {
        QVERIFY(answer.texts().isEmpty());
        QCOMPARE(f.store.get(SettingsKeys::ScanLimitMB, QString()), stored);
    }
}

void TestConnectionSettings::connectionsAndIntervalAreCheckedLikeTheOtherNumbers_data()
{
    QTest::addColumn<QString>("connections");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("refused"); // the box that keeps the focus, or "" when OK goes through
    QTest::addColumn<QStringList>("stored"); // Connections, RequestIntervalMs; else the message
    const QStringList connections { u"同時接続数は1から16の数値で入力して下さい。"_s };
    QTest::newRow("one connection and no interval are stored")
        << u"1"_s << u"0"_s << QString() << QStringList { u"1"_s, u"0"_s };
    QTest::newRow("sixteen connections are the most")
        << u"16"_s << u"250"_s << QString() << QStringList { u"16"_s, u"250"_s };
    QTest::newRow("a fraction is rounded as in the other boxes")
        << u"2.5"_s << u"99.5"_s << QString() << QStringList { u"2"_s, u"100"_s };
    QTest::newRow("full-width digits are stored as ASCII")
        << u"１６"_s << u"　２５０ "_s << QString() << QStringList { u"16"_s, u"250"_s };
    QTest::newRow("seventeen connections are refused") << u"１７"_s << u"0"_s << u"Connections"_s << connections;
    QTest::newRow("no connection at all is refused") << u"0"_s << u"0"_s << u"Connections"_s << connections;
    QTest::newRow("letters are refused") << u"six"_s << u"0"_s << u"Connections"_s
                                         << QStringList { u"同時接続数は数値で入力して下さい｡"_s };
    QTest::newRow("a negative interval is refused")
        << u"6"_s << u"-1"_s << u"RequestIntervalMs"_s
        << QStringList { u"リクエストの間隔は0から3600000の数値で入力して下さい。"_s };
}

void TestConnectionSettings::connectionsAndIntervalAreCheckedLikeTheOtherNumbers()
{
    QFETCH(QString, connections);
    QFETCH(QString, interval);
    QFETCH(QString, refused);
    QFETCH(QStringList, stored);
    Fixture f;
    f.dialog.show();
    f.type(u"Connections"_s, connections);
    f.type(u"RequestIntervalMs"_s, interval);
    f.button(u"OKButton"_s)->setFocus();

    MessageBoxAnswer answer(QMessageBox::Ok);
    QTest::mouseClick(f.button(u"OKButton"_s), Qt::LeftButton);
    if (refused.isEmpty()) {
        QVERIFY(answer.texts().isEmpty());
        QVERIFY(!f.dialog.isVisible());
        QCOMPARE(f.store.get(SettingsKeys::Connections, u"?"_s), stored[0]);
        QCOMPARE(f.store.get(SettingsKeys::RequestIntervalMs, u"?"_s), stored[1]);
    } else {
        QCOMPARE(answer.texts(), stored);
        QVERIFY(f.dialog.isVisible());
        QCOMPARE(f.dialog.focusWidget(), f.box(refused));
        QVERIFY(f.storedKeys().isEmpty());
    }
}

void TestConnectionSettings::integerConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");
    QTest::newRow("1.5") << u"1.5"_s << true << 2;
    QTest::newRow("0.5") << u"0.5"_s << true << 0;
    QTest::newRow("2.5") << u"2.5"_s << true << 2;
    QTest::newRow("-1.5") << u"-1.5"_s << true << -2;
    QTest::newRow("-0.5") << u"-0.5"_s << true << 0;
    QTest::newRow("2.51") << u"2.51"_s << true << 3;
    QTest::newRow("max") << u"2147483647.4"_s << true << 2147483647;
    QTest::newRow("above max") << u"2147483647.5"_s << false << 0;
    QTest::newRow("min") << u"-2147483648.5"_s << true << int(-2147483648LL);
    QTest::newRow("below min") << u"-2147483649"_s << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("word") << u"ten"_s << false << 0;
    QTest::newRow("infinite") << u"inf"_s << false << 0;
}

void TestConnectionSettings::integerConversion()
{
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(int, value);
    const std::optional<qint32> result = SettingDialog::ToInteger(text);
    QCOMPARE(result.has_value(), converts);
    if (converts)
        QCOMPARE(*result, value);
}

void TestConnectionSettings::cancelSavesNothingAndKeepsTyping()
{
    Fixture f;
    f.dialog.show();
    f.accessType()->setCurrentIndex(1);
    f.type(u"ProxyAddress"_s, u"typed.example"_s);
    f.type(u"BuffLen"_s, u"nonsense"_s);
    MessageBoxAnswer answer(QMessageBox::Ok);
    QTest::mouseClick(f.button(u"CancelButton"_s), Qt::LeftButton);
    QVERIFY(answer.texts().isEmpty());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.dialog.result(), int(QDialog::Rejected));
    QVERIFY(f.storedKeys().isEmpty());

    // Cancel only hid it: the next opening shows what it held, not the store.
    f.store.save(SettingsKeys::ProxyAddress, u"stored.example"_s);
    f.dialog.show();
    QCOMPARE(f.accessType()->currentIndex(), 1);
    QCOMPARE(f.box(u"ProxyAddress"_s)->text(), u"typed.example"_s);
    QCOMPARE(f.box(u"BuffLen"_s)->text(), u"nonsense"_s);
}

void TestConnectionSettings::escapeActsAsCancel()
{
    Fixture f;
    f.dialog.show();
    f.type(u"User_Agent"_s, u"Escaped/1"_s);
    QTest::keyClick(f.box(u"User_Agent"_s), Qt::Key_Escape);
    QVERIFY(!f.dialog.isVisible());
    QVERIFY(f.storedKeys().isEmpty());
    f.dialog.show();
    QCOMPARE(f.box(u"User_Agent"_s)->text(), u"Escaped/1"_s);
}

void TestConnectionSettings::okHidesAndKeepsValues()
{
    Fixture f;
    f.dialog.show();
    f.type(u"PortNO"_s, u"8080"_s);
    QTest::mouseClick(f.button(u"OKButton"_s), Qt::LeftButton);
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.store.get(SettingsKeys::PortNo, u"?"_s), u"8080"_s);

    f.store.save(SettingsKeys::PortNo, u"3128"_s);
    f.dialog.show();
    QCOMPARE(f.box(u"PortNO"_s)->text(), u"8080"_s);
}

void TestConnectionSettings::closeBoxReloads()
{
    Fixture f;
    f.store.save(SettingsKeys::AccessType, u"2"_s);
    f.dialog.show();
    f.accessType()->setCurrentIndex(0);
    f.type(u"RequestTimeout"_s, u"999"_s);
    QVERIFY(f.dialog.close());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.storedKeys().size(), 1);

    f.store.save(SettingsKeys::ListViewSize, u"35"_s);
    f.dialog.show();
    QCOMPARE(f.accessType()->currentIndex(), 2);
    QCOMPARE(f.box(u"RequestTimeout"_s)->text(), u"60"_s);
    QCOMPARE(f.box(u"ListViewSize"_s)->text(), u"35"_s);
}

QTEST_MAIN(TestConnectionSettings)
#include "tst_connectionsettings.moc"
