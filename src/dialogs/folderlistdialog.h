#pragma once
// FolderListDialog, what the directory list and the image list share: a folder with its browse
// button, the extensions to list, the page file name, a count with its label and unit, the
// subfolder switch, the dialog's own switches below it, and 開始 / ｷｬﾝｾﾙ. Its start refuses an
// empty folder, checks the count, stores the settings and writes the pages into the folder, which
// opens page 1 through the host; a failure is shown through the host too. A relative folder is
// taken from where the save folder dialog takes it (on Linux the home folder). The fields are
// loaded from the settings at the first opening and again after the window's close box; start and
// Cancel only hide, so other openings show what the dialog held.

#include "dialogs/loadingdialog.h"
#include "platform/filesystem.h"

#include <QList>
#include <QSize>
#include <utility>

struct DialogEnvironment;
struct NumberRule;
class CrawlHost;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The names and captions that tell the two dialogs apart.
struct FolderListCaptions {
    QString dialogName;
    QString title;
    QString folderBox;
    QString extsBox;
    QString fileNameBox;
    QString countBox;
    QString countTip;
    QString countLabel;
    QString countUnit;
    QString subDirCheck;
    // The settings key under which browse and start store the folder.
    QString folderKey;
};

class FolderListDialog : public LoadingDialog {
    Q_OBJECT
public:
    // What a start stores, key and text, in the order it stores them, from the controls as they are.
    virtual QList<std::pair<QString, QString>> startSettings() const = 0;

protected:
    FolderListDialog(DialogEnvironment& env, CrawlHost& host, const FolderListCaptions& captions, QWidget* parent);

    // Adds the buttons and lays everything out, once the dialog has made its own switches.
    void finishLayout(const QList<QCheckBox*>& switches, const QSize& size);
    // Fills the folder box from the stored folder; a stored folder that is gone leaves the picker
    // where it was, and the box shows that.
    void loadFolder();
    // The rule of the count as the dialog shows it now.
    virtual const NumberRule& countRule() const = 0;
    virtual IoStatus writePages(const QString& folder) = 0;

    DialogEnvironment& m_env;
    CrawlHost& m_host;
    QLineEdit* m_dirPath = nullptr;
    QLineEdit* m_exts = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLabel* m_countLabel = nullptr;
    QLineEdit* m_count = nullptr;
    QLabel* m_unitLabel = nullptr;
    QCheckBox* m_subDir = nullptr;

private:
    void browse();
    void start();
    void tell(const QString& text);

    QString m_folderKey;
    QLabel* m_folderLabel = nullptr;
    QPushButton* m_browse = nullptr;
    QLabel* m_extsLabel = nullptr;
    QLabel* m_fileNameLabel = nullptr;
};
