#pragma once
// GetRestartListDialog: the resume list of a save folder (one top address per line), from which
// the user picks the crawl to resume and may delete lines. Every opening reads the list anew and
// sets StopRequested; only Start with a selected line clears it. An empty or missing list is
// reported and the dialog does not open.
//   list.setSaveFolder(folder);      // ends in the folder separator
//   list.exec();
//   if (!env.crawl.StopRequested) resume(list.selectedAddress());

#include <QDialog>
#include <QStringList>

struct DialogEnvironment;
class QListWidget;

class GetRestartListDialog : public QDialog {
    Q_OBJECT
public:
    explicit GetRestartListDialog(DialogEnvironment& env, QWidget* parent = nullptr);

    // The folder whose resume list the next opening shows.
    void setSaveFolder(const QString& folder);
    QString saveFolder() const { return m_saveFolder; }
    // The text of the first selected line; empty when none is selected.
    QString selectedAddress() const;
    // The lines as the list now shows them.
    QStringList addresses() const;

    // Reads the list and shows the dialog; Rejected at once when there is nothing to resume.
    int exec() override;

private:
    void deleteClicked();
    void saveClicked();
    void startClicked();

    DialogEnvironment& m_env;
    QString m_saveFolder;
    QListWidget* m_list = nullptr;
};
