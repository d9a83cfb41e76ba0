#pragma once
// GetReStartFormDialog asks for the save folder of an interrupted download; its OK opens
// GetRestartListDialog on that folder's resume list. Every opening sets StopRequested, so only a
// confirmed choice in both dialogs lets a crawl resume. The folder is loaded from the settings on
// the first opening and after the close box; OK and Cancel only hide the dialog.
//   GetRestartListDialog list(env, this);
//   GetReStartFormDialog form(env, list, this);
//   form.exec();
//   if (!env.crawl.StopRequested) resume(form.savePath(), list.selectedAddress());

#include <QDialog>

struct DialogEnvironment;
class GetRestartListDialog;
class QLineEdit;

class GetReStartFormDialog : public QDialog {
    Q_OBJECT
public:
    GetReStartFormDialog(DialogEnvironment& env, GetRestartListDialog& list, QWidget* parent = nullptr);

    // The save folder as SavePath holds it (after OK it ends in the folder separator).
    QString savePath() const;

    int exec() override;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void browseClicked();
    void okClicked();

    DialogEnvironment& m_env;
    GetRestartListDialog& m_list;
    bool m_needsLoad = true;
    QLineEdit* m_savePath = nullptr;
};
