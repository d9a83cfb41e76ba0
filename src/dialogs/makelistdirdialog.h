#pragma once
// MakeListDirDialog, the directory list: a folder, the extensions to list, the page file name, the
// files per page and three switches. Its start stores them and writes the pages into the folder
// (MakeDirList), which opens page 1 through the host; a failure is shown through the host too:
//   MakeListDirDialog dirList(env, mainWindow, &mainWindow);
//   dirList.exec();
// The fields are loaded from the settings at the first opening and again after the window's close
// box; start and Cancel only hide, so other openings show what the dialog held.

#include "dialogs/loadingdialog.h"
#include <QList>
#include <optional>
#include <utility>

struct DialogEnvironment;
class CrawlHost;
class QCheckBox;
class QLineEdit;

// A page count typed into a list dialog, rounded to the nearest whole number with halves going to
// the even neighbour; nullopt when it is no number or beyond a 32-bit integer.
std::optional<qint32> ListCountFromText(const QString& text);

class MakeListDirDialog : public LoadingDialog {
    Q_OBJECT
public:
    MakeListDirDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent = nullptr);

    // What a start stores, key and text, in the order it stores them, from the controls as they are.
    QList<std::pair<QString, QString>> startSettings() const;

protected:
private:
    void load() override;
    void browse();
    void start();

    DialogEnvironment& m_env;
    CrawlHost& m_host;
    QLineEdit* m_dirPath = nullptr;
    QLineEdit* m_exts = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLineEdit* m_fileCount = nullptr;
    QCheckBox* m_subDir = nullptr;
    QCheckBox* m_aviMov = nullptr;
    QCheckBox* m_swfDcr = nullptr;
};
