#pragma once
// DeepAddrDialog, the crawl options: scope, depth, filters, size limits, existing-file rules, the
// links looked for, credentials, the list display, robots.txt and a browser's cookies file. Shown by
// GetHttpAddrDialog's OK, which first passes the top address in with setTopAddress(). Its OK ("開始")
// saves every option and clears StopRequested; Cancel, Escape and the close box leave it set.
// Controls are loaded from the settings at the first opening and again after the close box; the
// user name and password never are.

#include "dialogs/loadingdialog.h"

#include "dialogs/dialogenvironment.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class DeepAddrDialog : public LoadingDialog {
    Q_OBJECT
public:
    DeepAddrDialog(DialogEnvironment& env, QWidget* parent = nullptr);

    // The top address whose scope AL1 and AL2 show at the next opening (SitesTopAddr).
    void setTopAddress(const QString& address) { m_topAddress = address; }
    QString topAddress() const { return m_topAddress; }

    void reject() override;

protected:
    void opening() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load() override;
    void confirm();
    void save();
    bool convertNumbers();
    bool refuseCommas();
    bool refuseHugeRanges();
    void tell(const QString& text);

    DialogEnvironment& m_env;
    QString m_topAddress;

    QRadioButton* m_option1 = nullptr;
    QRadioButton* m_option2 = nullptr;
    QRadioButton* m_option3 = nullptr;
    QLabel* m_al1 = nullptr;
    QLabel* m_al2 = nullptr;
    QLineEdit* m_deepCount = nullptr;
    QLineEdit* m_downloadExts = nullptr;
    QLineEdit* m_onDownFileNames = nullptr;
    QLineEdit* m_notDownFileNames = nullptr;
    QLineEdit* m_maxSize = nullptr;
    QLineEdit* m_minSize = nullptr;
    QCheckBox* m_skipSameName = nullptr;
    QCheckBox* m_noDirTree = nullptr;
    QCheckBox* m_numberDuplicates = nullptr;
    QCheckBox* m_moreLinks = nullptr;
    QCheckBox* m_followSitemaps = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_listView = nullptr;
    QCheckBox* m_followRobots = nullptr;
    QLineEdit* m_cookieFile = nullptr;
};
