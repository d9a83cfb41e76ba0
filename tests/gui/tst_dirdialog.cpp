// The folder picker driven through its widgets: pointing it at folders and drives, the file list,
// and what its OK and Cancel leave in isOK.

#include "dialogs/dirdialog.h"
#include "support/gui/modaldialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

} // namespace

class TestDirDialog : public QObject {
    Q_OBJECT
private slots:
    void controlsAndCaption();
    void setFolderPointsFolderAndDrive();
    void setFolderRefusesWhatIsNoFolder_data();
    void setFolderRefusesWhatIsNoFolder();
    void filesListsOrdinaryFilesByName();
    void okSetsIsOkAndCancelLeavesItClear_data();
    void okSetsIsOkAndCancelLeavesItClear();
    void choosingADriveGoesBackToItsFolder();
};

void TestDirDialog::controlsAndCaption()
{
    DirDialog picker;
    QCOMPARE(picker.objectName(), u"DirDialog"_s);
    QCOMPARE(picker.windowTitle(), u"ﾀﾞｲｱﾛｸﾞ ｷｬﾌﾟｼｮﾝ"_s);
    QVERIFY(picker.findChild<QComboBox*>(u"Drive1"_s));
    QVERIFY(picker.findChild<QTreeView*>(u"Dir1"_s));
    QVERIFY(picker.findChild<QListWidget*>(u"File1"_s));
    QCOMPARE(picker.findChild<QPushButton*>(u"OKButton"_s)->text(), u"OK"_s);
    QCOMPARE(picker.findChild<QPushButton*>(u"CancelButton"_s)->text(), u"ｷｬﾝｾﾙ"_s);
    QVERIFY(!picker.isOK());
    // Never pointed anywhere: no folder yet.
    QCOMPARE(picker.folder(), QString());
}

void TestDirDialog::setFolderPointsFolderAndDrive()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(u"a/b"_s));
    DirDialog picker;
    QVERIFY(picker.setFolder(dir.filePath(u"a/b/"_s)));
    QCOMPARE(picker.folder(), native(dir.filePath(u"a/b"_s)));
    QCOMPARE(picker.drive(), native(QStorageInfo(dir.path()).rootPath()));
    auto* tree = picker.findChild<QTreeView*>(u"Dir1"_s);
    QCOMPARE(QDir::cleanPath(tree->currentIndex().data(QFileSystemModel::FilePathRole).toString()),
        QDir::cleanPath(dir.filePath(u"a/b"_s)));
    // A root keeps its separator.
    QVERIFY(picker.setFolder(QDir::rootPath()));
    QCOMPARE(picker.folder(), native(QDir::rootPath()));
    QVERIFY(picker.setDrive(dir.path()));
    QCOMPARE(picker.drive(), native(QStorageInfo(dir.path()).rootPath()));
    QVERIFY(!picker.setDrive(dir.filePath(u"missing"_s)));
    QVERIFY(!picker.setDrive(QString()));
}

void TestDirDialog::setFolderRefusesWhatIsNoFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << u"missing"_s;
    QTest::newRow("missing below") << u"missing/deeper"_s;
    QTest::newRow("a file") << u"file.txt"_s;
    QTest::newRow("empty") << QString();
#ifndef Q_OS_WIN
    // "\" is an ordinary name character here, never a separator.
    QTest::newRow("backslash") << u"a\\b"_s;
#endif
}

void TestDirDialog::setFolderRefusesWhatIsNoFolder()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(u"a/b"_s));
    touch(dir.filePath(u"file.txt"_s));
    DirDialog picker;
    QVERIFY(picker.setFolder(dir.path()));
    const QString path = name.isEmpty() ? QString() : dir.filePath(name);
    QVERIFY(!picker.setFolder(path));
    QCOMPARE(picker.folder(), native(dir.path()));
}

void TestDirDialog::filesListsOrdinaryFilesByName()
{
    QTemporaryDir dir;
    touch(dir.filePath(u"b.jpg"_s));
    touch(dir.filePath(u"A.gif"_s));
    touch(dir.filePath(u"c.html"_s));
    touch(dir.filePath(u".hidden"_s));
    QVERIFY(QDir(dir.path()).mkpath(u"sub"_s));
    touch(dir.filePath(u"sub/inner.png"_s));
    DirDialog picker;
    QVERIFY(picker.setFolder(dir.path()));
    QCOMPARE(picker.files(), (QStringList { u"A.gif"_s, u"b.jpg"_s, u"c.html"_s }));
    QVERIFY(picker.setFolder(dir.filePath(u"sub"_s)));
    QCOMPARE(picker.files(), QStringList { u"inner.png"_s });
    // Pointing again lists afresh.
    touch(dir.filePath(u"sub/later.png"_s));
    QVERIFY(picker.setFolder(dir.filePath(u"sub"_s)));
    QCOMPARE(picker.files(), (QStringList { u"inner.png"_s, u"later.png"_s }));
}

void TestDirDialog::okSetsIsOkAndCancelLeavesItClear_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("isOK");
    QTest::newRow("OK") << u"OKButton"_s << true;
    QTest::newRow("Cancel") << u"CancelButton"_s << false;
    QTest::newRow("Escape") << u"Escape"_s << false;
    QTest::newRow("close box") << u"close"_s << false;
}

void TestDirDialog::okSetsIsOkAndCancelLeavesItClear()
{
    QFETCH(QString, how);
    QFETCH(bool, isOK);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(u"x"_s));
    DirDialog picker;
    picker.setWindowTitle(u"保存先のフォルダを選んでください。"_s);
    QVERIFY(picker.setFolder(dir.path()));

    // A first OK, so the second opening must clear isOK itself.
    whenModal(&picker, [&] { QTest::mouseClick(picker.findChild<QPushButton*>(u"OKButton"_s), Qt::LeftButton); });
    picker.exec();
    QVERIFY(picker.isOK());

    bool clearedAtOpening = false;
    whenModal(&picker, [&] {
        clearedAtOpening = !picker.isOK();
        QVERIFY(picker.setFolder(dir.filePath(u"x"_s)));
        if (how == u"Escape"_s)
            QTest::keyClick(&picker, Qt::Key_Escape);
        else if (how == u"close"_s)
            picker.close();
        else
            QTest::mouseClick(picker.findChild<QPushButton*>(how), Qt::LeftButton);
    });
    picker.exec();
    QVERIFY(clearedAtOpening);
    QCOMPARE(picker.isOK(), isOK);
    QVERIFY(!picker.isVisible());
    QCOMPARE(picker.windowTitle(), u"保存先のフォルダを選んでください。"_s);
    QCOMPARE(picker.folder(), native(dir.filePath(u"x"_s)));
}

void TestDirDialog::choosingADriveGoesBackToItsFolder()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(u"deep/er"_s));
    const QString home = QStorageInfo(dir.path()).rootPath();
    QString other;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && volume.rootPath() != home && QFileInfo(volume.rootPath()).isDir()
            && QStorageInfo(volume.rootPath()).rootPath() == volume.rootPath())
            other = volume.rootPath();
    }
    if (other.isEmpty())
        QSKIP("a second volume is needed");

    DirDialog picker;
    const auto* tree = picker.findChild<QTreeView*>(u"Dir1"_s);
    const auto inSight = [tree] { // the folder shown lies in the tree the user sees
        for (QModelIndex at = tree->currentIndex(); at.isValid(); at = at.parent())
            if (at == tree->rootIndex())
                return true;
        return false;
    };
    QVERIFY(picker.setFolder(dir.filePath(u"deep/er"_s)));
    QVERIFY(inSight());
    QVERIFY(picker.setFolder(other));
    QVERIFY(inSight());
    QCOMPARE(picker.drive(), native(other));
    auto* drives = picker.findChild<QComboBox*>(u"Drive1"_s);
    const int index = drives->findData(home);
    QVERIFY(index >= 0);
    drives->setCurrentIndex(index);
    emit drives->activated(index);
    QCOMPARE(picker.folder(), native(dir.filePath(u"deep/er"_s)));
    QCOMPARE(picker.drive(), native(home));
    QVERIFY(inSight());
}

QTEST_MAIN(TestDirDialog)
#include "tst_dirdialog.moc"
