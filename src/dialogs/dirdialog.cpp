#include "dialogs/dirdialog.h"

#include "dialogs/dialogwidgets.h"
#include "platform/filesystem.h"
#include "platform/userfolders.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The folder as the dialog keeps it: absolute, "/"-separated, no final separator except a root.
QString cleanFolder(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

DirDialog::DirDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(u"DirDialog"_s);
    setWindowTitle(u"ﾀﾞｲｱﾛｸﾞ ｷｬﾌﾟｼｮﾝ"_s);

    m_drive = makeNamed<QComboBox>(this, u"Drive1"_s);
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady())
            m_drive->addItem(QDir::toNativeSeparators(volume.rootPath()), volume.rootPath());
    }

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QDir::rootPath());

    m_dir = makeNamed<QTreeView>(this, u"Dir1"_s);
    m_dir->setModel(m_model);
    m_dir->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_dir->hideColumn(column);
    m_dir->setRootIndex(m_model->index(QDir::rootPath()));

    m_files = makeNamed<QListWidget>(this, u"File1"_s);

    const ButtonRow buttons = makeButtonRow(this, u"OK"_s, CancelOnEnter::WhenFocused);

    auto* lists = new QHBoxLayout;
    lists->addWidget(m_dir, 3);
    lists->addWidget(m_files, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_drive);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons.layout);
    resizeToContents(this, QSize(520, 380));

    // activated, not currentIndexChanged: only the user's choice moves the folder; setDrive does not.
    connect(m_drive, &QComboBox::activated, this, &DirDialog::driveChosen);
    connect(m_dir->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            folderChosen(m_model->filePath(current));
    });
    connect(buttons.ok, &QPushButton::clicked, this, [this] {
        m_isOK = true;
        accept();
    });
}

bool DirDialog::setFolder(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isDir())
        return false;
    m_folder = cleanFolder(path);
    showDriveOf(m_folder);
    const QModelIndex index = m_model->index(m_folder);
    if (index.isValid() && m_dir->currentIndex() != index) {
        m_dir->setCurrentIndex(index);
        m_dir->scrollTo(index);
    }
    const QStorageInfo volume(m_folder);
    if (volume.isValid())
        m_driveFolders.insert(volume.rootPath(), m_folder);
    setDrive(m_folder);
    // Listed afresh at every pointing: the list pages read files the user may just have added.
    fillFiles();
    return true;
}

void DirDialog::showDriveOf(const QString& folder)
{
    // One tree holds every folder where all lie below the system's root; elsewhere (Windows'
    // drives) the tree shows the drive of the folder, so that a folder on another one can be seen.
    QString root = QDir::rootPath();
    if (!folder.startsWith(root, Qt::CaseInsensitive)) {
        const QStorageInfo volume(folder);
        if (volume.isValid())
            root = volume.rootPath();
    }
    const QModelIndex index = m_model->index(root);
    if (index.isValid() && m_dir->rootIndex() != index)
        m_dir->setRootIndex(index);
}

QString DirDialog::folder() const
{
    return QDir::toNativeSeparators(m_folder);
}

bool DirDialog::setDrive(const QString& path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    const QStorageInfo volume(path);
    if (!volume.isValid())
        return false;
    const QString root = volume.rootPath();
    int index = m_drive->findData(root);
    if (index < 0) {
        // A volume the start-up list left out (mounted since, or not ready then).
        m_drive->addItem(QDir::toNativeSeparators(root), root);
        index = m_drive->count() - 1;
    }
    m_drive->setCurrentIndex(index);
    return true;
}

QString DirDialog::drive() const
{
    return QDir::toNativeSeparators(m_drive->currentData().toString());
}

QStringList DirDialog::files() const
{
    QStringList names;
    names.reserve(m_files->count());
    for (int row = 0; row < m_files->count(); ++row)
        names.append(m_files->item(row)->text());
    return names;
}

int DirDialog::exec()
{
    m_isOK = false;
    // Nobody has pointed the picker anywhere yet: start where the user's files are.
    if (m_folder.isEmpty())
        setFolder(QDir::homePath());
    return QDialog::exec();
}

void DirDialog::driveChosen(int index)
{
    const QString root = m_drive->itemData(index).toString();
    // Each drive remembers the folder last shown on it, as its current folder.
    if (setFolder(m_driveFolders.value(root, root)) || setFolder(root))
        return;
    // A volume gone since the list was filled: stay where we were.
    setDrive(m_folder);
}

void DirDialog::folderChosen(const QString& path)
{
    if (cleanFolder(path) != m_folder)
        setFolder(path);
}

void DirDialog::fillFiles()
{
    m_files->clear();
    const QDir dir(m_folder);
    m_files->addItems(dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

QString browseFolder(DirDialog& picker, const QString& title, const QString& typed)
{
    picker.setWindowTitle(title);
    // A folder that no longer exists leaves the picker where it was.
    picker.setFolder(ResolveUserFolder(typed));
    picker.setDrive(picker.folder());
    picker.exec();
    // A "/" typed on Windows becomes the "\" that the final separator and a picked folder use.
    return WithFinalSeparator(picker.isOK() ? picker.folder() : ToNativeSeparators(typed), EmptyFolder::StaysEmpty);
}
