#pragma once
// MakeGraphViewDialog, the image list: a folder, the extensions to list, the page file name, whether
// subfolders are included and the layout (a thumbnail table paged by rows of five, or one picture
// per entry paged by pictures) with its count. Its start stores them and writes the pages into the
// folder (MakeGraphList), which opens page 1 through the host; a failure is shown through the host:
//   MakeGraphViewDialog imageList(env, mainWindow, &mainWindow);
//   imageList.exec();
// The fields are loaded from the settings at the first opening and again after the window's close
// box; start and Cancel only hide, so other openings show what the dialog held.

#include "dialogs/loadingdialog.h"
#include <QList>
#include <utility>

struct DialogEnvironment;
class CrawlHost;
class QCheckBox;
class QLabel;
class QLineEdit;

class MakeGraphViewDialog : public LoadingDialog {
    Q_OBJECT
public:
    MakeGraphViewDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent = nullptr);

    // What a start stores, key and text, in the order it stores them, from the controls as they are.
    QList<std::pair<QString, QString>> startSettings() const;

protected:
private:
    void load() override;
    void switchLayout();
    void browse();
    void start();

    DialogEnvironment& m_env;
    CrawlHost& m_host;
    QLineEdit* m_dirPath = nullptr;
    QLineEdit* m_exts = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLabel* m_countLabel = nullptr;
    QLineEdit* m_count = nullptr;
    QLabel* m_unitLabel = nullptr;
    QCheckBox* m_subDir = nullptr;
    QCheckBox* m_thumbnails = nullptr;
};
