#pragma once
// GetHttpAddrDialog, the first step of a new download: the site's top address and the save folder.
// Its OK saves both and goes on to the crawl options dialog; only that dialog's OK clears the stop
// flag, so the main window starts a crawl when, after exec(), StopRequested is false:
//   DialogEnvironment env { settings, state, picker };
//   DeepAddrDialog deep(env, this);
//   GetHttpAddrDialog addr(env, deep, this);
//   addr.exec();
//   QString top = addr.sitesTopAddr();
//   if (!env.crawl.StopRequested) StartCrawl(context, top);
// The fields are loaded from the settings at the first opening and again after the window's close
// box; OK and Cancel only hide, so other openings show what the dialog held.

#include "dialogs/loadingdialog.h"

#include "dialogs/dialogenvironment.h"

#include <optional>

class DeepAddrDialog;
class QLineEdit;

class GetHttpAddrDialog : public LoadingDialog {
    Q_OBJECT
public:
    GetHttpAddrDialog(DialogEnvironment& env, DeepAddrDialog& deep, QWidget* parent = nullptr);

    // The top address as last confirmed with OK (SitesTopAddr).
    QString sitesTopAddr() const { return m_sitesTopAddr; }
    // The address the next opening shows instead of the stored one (an address dropped on the window).
    void presetAddress(const QString& address) { m_presetAddress = address; }

    void reject() override;

protected:
    void opening() override;
    void opened() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load() override;
    void browse();
    void confirm();
    // The save folder made ready (created when the user agrees), or nothing when the user was told
    // why it cannot be used.
    std::optional<QString> settleSaveFolder(QString savePath);
    QString createSaveFolder(const QString& typed) const;
    int ask(const QString& text, bool withCancel);

    DialogEnvironment& m_env;
    DeepAddrDialog& m_deep;
    QLineEdit* m_siteAddress = nullptr;
    QLineEdit* m_savePath = nullptr;
    QString m_sitesTopAddr;
    QString m_presetAddress;
};
