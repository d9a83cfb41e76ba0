#pragma once
// DirDialog, the program's folder picker: a drive list (Drive1; on Linux the mounted volumes), a
// folder tree (Dir1) whose current folder is the answer, and the file list of that folder (File1).
// Callers set the caption, point it at a folder, exec() it and read isOK() and folder():
//   picker.setWindowTitle(u"保存先のフォルダを選んでください。"_s);
//   picker.setFolder(savePath);          // false when the folder does not exist
//   picker.exec();
//   if (picker.isOK()) savePath = picker.folder();
// A 参照 button beside a folder box does all of that through browseFolder.

#include <QDialog>
#include <QHash>
#include <QStringList>

class QComboBox;
class QFileSystemModel;
class QListWidget;
class QPushButton;
class QTreeView;

class DirDialog : public QDialog {
    Q_OBJECT
public:
    explicit DirDialog(QWidget* parent = nullptr);

    // Points Dir1 (and Drive1) at path; false, changing nothing, when it is not an existing folder.
    bool setFolder(const QString& path);
    // Dir1's current folder, in native separators, without a final separator (except a root).
    QString folder() const;
    // Points Drive1 at the volume holding path; false when there is none.
    bool setDrive(const QString& path);
    // The root of the volume chosen in Drive1.
    QString drive() const;
    // The names of the files File1 lists for the current folder.
    QStringList files() const;
    bool isOK() const { return m_isOK; }

    int exec() override;

private:
    void driveChosen(int index);
    void showDriveOf(const QString& folder);
    void folderChosen(const QString& path);
    void fillFiles();

    QComboBox* m_drive = nullptr;
    QTreeView* m_dir = nullptr;
    QFileSystemModel* m_model = nullptr;
    QListWidget* m_files = nullptr;
    QString m_folder;
    // Each volume's root -> the folder last shown on it, where choosing that drive goes back to.
    QHash<QString, QString> m_driveFolders;
    bool m_isOK = false;
};

// What a 参照 button does: shows the picker titled title at the folder typed in its box (a relative
// one taken from where every dialog takes it, on Linux the home folder) and returns what the box is
// to hold: the folder picked, or after Cancel the text typed in native separators, ending in the
// folder separator. An empty box left empty gives "", as a lone separator would name the file
// system's root.
QString browseFolder(DirDialog& picker, const QString& title, const QString& typed);
