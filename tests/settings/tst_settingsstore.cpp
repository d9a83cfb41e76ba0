#include "platform/settingslocation.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include "support/tempsettings.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void absentKeysGiveTheReadersDefault();
    void valuesAreTextUnderQuillmarkFetchwright();
    void valuesPersistAcrossStores();
    void flagConversion_data();
    void flagConversion();
    void numberConversion_data();
    void numberConversion();
    void sizesScaleToBytes_data();
    void sizesScaleToBytes();
    void followsTheUsersConfigurationFolder();
    void theFileIsReadableByItsOwnerOnly_data();
    void theFileIsReadableByItsOwnerOnly();
    void anEarlierFileIsTakenOverOnce();
};

void TestSettingsStore::absentKeysGiveTheReadersDefault()
{
    TempSettings settings;
    SettingsStore& store = settings.store();
    QCOMPARE(store.get(SettingsKeys::SiteAddress, SettingsDefaults::SiteAddressInDialog), u"http://"_s);
    QCOMPARE(store.get(SettingsKeys::SaveFolder, QString()), QString());
    QCOMPARE(store.number(SettingsKeys::DeepCount, SettingsDefaults::DeepCount), 3);
    QCOMPARE(store.flag(SettingsKeys::SkipSameName, true), true);
    QCOMPARE(store.get(SettingsKeys::MakeListFileName, SettingsDefaults::ListFileName), u"プレビュー"_s);
}

void TestSettingsStore::valuesAreTextUnderQuillmarkFetchwright()
{
    TempSettings settings;
    settings.store().save(SettingsKeys::SaveFolder, u"/home/u/保存/"_s);
    settings.store().save(SettingsKeys::DeepCount, 5);
    QVERIFY(settings.store().sync());
    QVERIFY(settings.store().filePath().endsWith(u"/Quillmark/Fetchwright.conf"_s));
    QSettings raw(settings.store().filePath(), QSettings::IniFormat);
    QCOMPARE(raw.value(u"Fetchwright/DeepCount"_s).toString(), u"5"_s);
    QCOMPARE(raw.value(u"Fetchwright/DirDialog.Dir1"_s).toString(), u"/home/u/保存/"_s);
}

void TestSettingsStore::valuesPersistAcrossStores()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"s.conf"_s);
    {
        SettingsStore store(file);
        store.save(SettingsKeys::UserAgent, u"agent \"x\"; y=1"_s);
    }
    SettingsStore again(file);
    QCOMPARE(again.get(SettingsKeys::UserAgent, QString()), u"agent \"x\"; y=1"_s);
}

void TestSettingsStore::flagConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");
    QTest::newRow("1 is true") << u"1"_s << false << true;
    QTest::newRow("-1 is true") << u"-1"_s << false << true;
    QTest::newRow("True is true") << u"True"_s << false << true;
    QTest::newRow("0 is false") << u"0"_s << true << false;
    QTest::newRow("False is false") << u"False"_s << true << false;
    QTest::newRow("text that is no flag gives the default") << u"yes please"_s << true << true;
}

void TestSettingsStore::flagConversion()
{
    QFETCH(QString, text);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    TempSettings settings;
    settings.store().save(u"Flag"_s, text);
    QCOMPARE(settings.store().flag(u"Flag"_s, defaultValue), expected);
}

void TestSettingsStore::numberConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("digits") << u"42"_s << qint64(42);
    QTest::newRow("blanks around digits") << u" 7 "_s << qint64(7);
    QTest::newRow("a decimal rounds to the nearest") << u"2.6"_s << qint64(3);
    QTest::newRow("a negative number") << u"-4"_s << qint64(-4);
    QTest::newRow("text gives the default") << u"abc"_s << qint64(-99);
    QTest::newRow("empty gives the default") << QString() << qint64(-99);
}

void TestSettingsStore::numberConversion()
{
    QFETCH(QString, text);
    QFETCH(qint64, expected);
    TempSettings settings;
    settings.store().save(u"Number"_s, text);
    QCOMPARE(settings.store().number(u"Number"_s, -99), expected);
}

void TestSettingsStore::sizesScaleToBytes_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("unit");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("1024 KB is one MiB") << 1024.0 << qint64(1024) << qint64(1048576);
    QTest::newRow("2 MB of buffer") << 2.0 << qint64(1048576) << qint64(2097152);
    QTest::newRow("half a kilobyte rounds") << 0.5 << qint64(1024) << qint64(512);
    QTest::newRow("beyond 32 bits is kept") << 4194304.0 << qint64(1024) << qint64(4294967296);
    QTest::newRow("a negative size is none") << -3.0 << qint64(1024) << qint64(0);
}

void TestSettingsStore::sizesScaleToBytes()
{
    QFETCH(double, value);
    QFETCH(qint64, unit);
    QFETCH(qint64, expected);
    QCOMPARE(ScaledSize(value, unit), expected);
}

void TestSettingsStore::followsTheUsersConfigurationFolder()
{
#ifdef Q_OS_WIN
    QSKIP("Windows keeps a user's configuration in AppData, whatever XDG_CONFIG_HOME says");
#endif
    QTemporaryDir dir;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    const QString path = SettingsStore::defaultFilePath();
    {
        SettingsStore store;
        store.save(SettingsKeys::SiteAddress, u"http://h/"_s);
    }
    if (old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", old);
    QCOMPARE(path, dir.path() + u"/Quillmark/Fetchwright.conf"_s);
    QVERIFY(QFile::exists(path));
}

void TestSettingsStore::theFileIsReadableByItsOwnerOnly_data()
{
    QTest::addColumn<bool>("existedForAll");
    QTest::newRow("a new file is created so") << false;
    QTest::newRow("an older file readable by all is made so") << true;
}

void TestSettingsStore::theFileIsReadableByItsOwnerOnly()
{
    if (!AccessListsAreKept())
        QSKIP("Wine keeps no access lists on its Unix drives");
    QFETCH(bool, existedForAll);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"config/Quillmark/Fetchwright.conf"_s);
    if (existedForAll) {
        QVERIFY(WriteFileBytes(path, "[Fetchwright]\nDeepCount=2\n"));
        QVERIFY(
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QVERIFY(!IsOwnerOnly(path));
    }
    {
        SettingsStore store(path);
        store.save(SettingsKeys::AuthString, u"dXNlcjpwYXNz"_s);
        QVERIFY(store.sync());
    }
    QVERIFY(IsOwnerOnly(path));
    SettingsStore reread(path);
    QCOMPARE(reread.get(SettingsKeys::AuthString, QString()), u"dXNlcjpwYXNz"_s);
    QCOMPARE(reread.number(SettingsKeys::DeepCount, 0), existedForAll ? 2 : 0);
}

void TestSettingsStore::anEarlierFileIsTakenOverOnce()
{
    QTemporaryDir dir;
#ifdef Q_OS_WIN
    // The registry, as the user's store is there, under a key of the test's own.
    const QString key = u"Quillmark-test-%1"_s.arg(QRandomGenerator::global()->generate());
    const auto removeKey
        = qScopeGuard([&key] { QSettings(u"HKEY_CURRENT_USER\\Software"_s, QSettings::NativeFormat).remove(key); });
    const SettingsLocation location { u"HKEY_CURRENT_USER\\Software\\"_s + key, QSettings::NativeFormat };
#else
    const SettingsLocation location { dir.filePath(u"new.conf"_s) };
#endif
    const QString file = dir.filePath(u"Fetchwright.conf"_s);
    QVERIFY(WriteFileBytes(file, "[Fetchwright]\nDeepCount=5\nDirDialog.Dir1=D:/保存/\n"));
    {
        SettingsStore store(location);
        QVERIFY(store.takeOverFile(file));
        QVERIFY(!QFile::exists(file) && QFile::exists(file + u".old"_s));
        // A file left behind, its rename failed, is not read over what the store holds.
        QVERIFY(WriteFileBytes(file, "[Fetchwright]\nDeepCount=9\n"));
        QVERIFY(!store.takeOverFile(file));
    }
    SettingsStore reread(location);
    QCOMPARE(reread.number(SettingsKeys::DeepCount), 5);
    QCOMPARE(reread.get(SettingsKeys::SaveFolder, QString()), u"D:/保存/"_s);
    QCOMPARE(reread.filePath(), location.inRegistry() ? location.path + u"\\Fetchwright"_s : location.path);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
