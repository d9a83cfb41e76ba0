#pragma once
// MakeGraphViewDialog, the image list: a folder, the extensions to list, the page file name, whether
// subfolders are included and the layout (a thumbnail table paged by rows of five, or one picture
// per entry paged by pictures) with its count. Its start stores them and writes the pages into the
// folder (MakeGraphList), which opens page 1 through the host; a failure is shown through the host:
//   MakeGraphViewDialog imageList(env, mainWindow, &mainWindow);
//   imageList.exec();
// The fields are loaded from the settings at the first opening and again after the window's close
// box; start and Cancel only hide, so other openings show what the dialog held.

#include "dialogs/folderlistdialog.h"

class MakeGraphViewDialog : public FolderListDialog {
    Q_OBJECT
public:
    MakeGraphViewDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent = nullptr);

    QList<std::pair<QString, QString>> startSettings() const override;

private:
    void load() override;
    const NumberRule& countRule() const override;
    IoStatus writePages(const QString& folder) override;
    void switchLayout();

    QCheckBox* m_thumbnails = nullptr;
};
