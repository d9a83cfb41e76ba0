#pragma once
// SettingDialog, the connection settings: access type, proxy and port, timeout, connections at
// once and the interval between requests to one host, the size of a ranged download piece, the
// largest page scanned for links, the User-Agent and two options of the download list pages. Its
// values are only stored; a crawl reads them when it starts and the list pages when they are
// written. It loads from the settings store on its first opening and after its close box; OK and
// Cancel only hide it, so the next opening shows what it held.

#include "dialogs/loadingdialog.h"
#include <optional>

struct DialogEnvironment;
struct NumberRule;
class QComboBox;
class QLineEdit;

class SettingDialog : public LoadingDialog {
    Q_OBJECT
public:
    explicit SettingDialog(DialogEnvironment& env, QWidget* parent = nullptr);

    // The text of a numeric box as a 32-bit integer, rounded to the nearest, halves to even;
    // nullopt when it is not a number or out of range.
    static std::optional<qint32> ToInteger(const QString& text);

protected:
private:
    void load() override;
    void okClicked();
    bool checkNumber(QLineEdit* box, const NumberRule& rule);

    DialogEnvironment& m_env;
    QComboBox* m_accessType = nullptr;
    QLineEdit* m_proxyAddress = nullptr;
    QLineEdit* m_portNo = nullptr;
    QLineEdit* m_requestTimeout = nullptr;
    QLineEdit* m_connections = nullptr;
    QLineEdit* m_requestInterval = nullptr;
    QLineEdit* m_buffLen = nullptr;
    QLineEdit* m_scanLimit = nullptr;
    QLineEdit* m_userAgent = nullptr;
    QLineEdit* m_listViewGraphs = nullptr;
    QLineEdit* m_listViewSize = nullptr;
};
