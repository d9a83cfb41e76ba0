#pragma once
// MakeListDirDialog, the directory list: a folder, the extensions to list, the page file name, the
// files per page and three switches. Its start stores them and writes the pages into the folder
// (MakeDirList), which opens page 1 through the host; a failure is shown through the host too:
//   MakeListDirDialog dirList(env, mainWindow, &mainWindow);
//   dirList.exec();
// The fields are loaded from the settings at the first opening and again after the window's close
// box; start and Cancel only hide, so other openings show what the dialog held.

#include "dialogs/folderlistdialog.h"

class MakeListDirDialog : public FolderListDialog {
    Q_OBJECT
public:
    MakeListDirDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent = nullptr);

    QList<std::pair<QString, QString>> startSettings() const override;

private:
    void load() override;
    const NumberRule& countRule() const override;
    IoStatus writePages(const QString& folder) override;

    QCheckBox* m_aviMov = nullptr;
    QCheckBox* m_swfDcr = nullptr;
};
