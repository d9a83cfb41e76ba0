#include "dialogs/settingdialog.h"

#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
#include "productnames.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

SettingDialog::SettingDialog(DialogEnvironment& env, QWidget* parent)
    : LoadingDialog(parent)
    , m_env(env)
{
    setObjectName(u"SettingDialog"_s);
    setWindowTitle(u"設定"_s);
    setModal(true);

    auto* label1 = makeLabel(this, u"Label1"_s, u"インターネットとの通信に使うアクセスの種類 "_s);
    m_accessType = makeNamed<QComboBox>(this, u"AccessType"_s);
    m_accessType->addItems({ u"既定値"_s, u"直接接続"_s, u"プロキシ サーバー"_s });

    auto* label2 = makeLabel(this, u"Label2"_s, u"プロキシ サーバー"_s);
    m_proxyAddress = makeBox(this, u"ProxyAddress"_s);
    auto* label6 = makeLabel(this, u"Label6"_s, u"ポート"_s);
    m_portNo = makeBox(this, u"PortNO"_s);

    auto* label3 = makeLabel(this, u"Label3"_s, u"接続タイムアウト"_s);
    m_requestTimeout = makeBox(this, u"RequestTimeout"_s);
    auto* label7 = makeLabel(this, u"Label7"_s, u"秒"_s);
    const QString connectionsTip
        = u"%1 から %2 まで。一つのサーバーにこれより多くは接続しません"_s.arg(SettingsDefaults::MinConnections)
              .arg(SettingsDefaults::MaxConnections);
    auto* label14 = makeLabel(this, u"Label14"_s, u"同時接続数"_s);
    label14->setToolTip(connectionsTip);
    m_connections = makeBox(this, u"Connections"_s, connectionsTip);
    const QString intervalTip = u"同じサーバーへのリクエストの最小間隔"_s;
    auto* label15 = makeLabel(this, u"Label15"_s, u"間隔"_s);
    label15->setToolTip(intervalTip);
    m_requestInterval = makeBox(this, u"RequestIntervalMs"_s, intervalTip);
    auto* label16 = makeLabel(this, u"Label16"_s, u"ミリ秒"_s);

    auto* label4 = makeLabel(this, u"Label4"_s, u"バッファの大きさ"_s);
    m_buffLen = makeBox(this, u"BuffLen"_s);
    auto* label5 = makeLabel(this, u"Label5"_s, u"MB"_s);

    auto* label12 = makeLabel(this, u"Label12"_s, u"リンクを探すページの上限"_s);
    m_scanLimit = makeBox(this, u"ScanLimitMB"_s);
    auto* label13 = makeLabel(this, u"Label13"_s, u"MB"_s);

    auto* label8 = makeLabel(this, u"Label8"_s, u"User_Agent"_s);
    m_userAgent = makeValueBox(this, u"User_Agent"_s, TypicalValues::UserAgent);

    const QString graphsTip = u"ダウンロード一覧のみ"_s;
    auto* label9 = makeLabel(this, u"Label9"_s, u"一覧表示で画像として表示するもの"_s);
    label9->setToolTip(graphsTip);
    m_listViewGraphs = makeValueBox(this, u"ListViewGraphs"_s, TypicalValues::ExtensionList, graphsTip);
    auto* label10 = makeLabel(this, u"Label10"_s, u"セミコロン区切り"_s);

    const QString sizeTip = u"一覧表示で一度に表示するファイルの数"_s;
    auto* label11 = makeLabel(this, u"Label11"_s, u"一覧表示で表示する数"_s);
    label11->setToolTip(sizeTip);
    m_listViewSize = makeBox(this, u"ListViewSize"_s, sizeTip);

    const ButtonRow buttons = makeButtonRow(this, u"OK"_s, CancelOnEnter::WhenFocused);

    auto* grid = new QGridLayout;
    grid->addWidget(label1, 0, 0, 1, 4);
    grid->addWidget(m_accessType, 1, 0, 1, 2);
    grid->addWidget(label2, 2, 0);
    grid->addWidget(m_proxyAddress, 2, 1);
    grid->addWidget(label6, 2, 2);
    grid->addWidget(m_portNo, 2, 3);
    auto* connectionsRow = new QHBoxLayout;
    connectionsRow->addWidget(label14);
    connectionsRow->addWidget(m_connections);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(label15);
    intervalRow->addWidget(m_requestInterval);
    intervalRow->addWidget(label16);
    grid->addWidget(label3, 3, 0);
    grid->addWidget(m_requestTimeout, 3, 1);
    grid->addWidget(label7, 3, 2);
    grid->addLayout(connectionsRow, 3, 3);
    grid->addWidget(label4, 4, 0);
    grid->addWidget(m_buffLen, 4, 1);
    grid->addWidget(label5, 4, 2);
    grid->addLayout(intervalRow, 4, 3);
    grid->addWidget(label12, 5, 0);
    grid->addWidget(m_scanLimit, 5, 1);
    grid->addWidget(label13, 5, 2);
    grid->addWidget(label8, 6, 0);
    grid->addWidget(m_userAgent, 6, 1, 1, 3);
    grid->addWidget(label9, 7, 0);
    grid->addWidget(m_listViewGraphs, 7, 1);
    grid->addWidget(label10, 7, 2, 1, 2);
    grid->addWidget(label11, 8, 0);
    grid->addWidget(m_listViewSize, 8, 1);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons.layout);
    resizeToContents(this);

    // Tab through the boxes as they are laid out, top to bottom and left to right.
    chainTabOrder({ m_accessType, m_proxyAddress, m_portNo, m_requestTimeout, m_connections, m_buffLen,
        m_requestInterval, m_scanLimit, m_userAgent, m_listViewGraphs, m_listViewSize, buttons.ok, buttons.cancel });

    connect(buttons.ok, &QPushButton::clicked, this, &SettingDialog::okClicked);
}

std::optional<qint32> SettingDialog::ToInteger(const QString& text)
{
    return TextToInteger32(text);
}

void SettingDialog::load()
{
    SettingsStore& settings = m_env.settings;
    const qint64 accessType = settings.number(SettingsKeys::AccessType);
    // A value the list cannot show opens on its first item rather than on no item at all.
    m_accessType->setCurrentIndex(accessType >= 0 && accessType < m_accessType->count() ? int(accessType) : 0);
    m_proxyAddress->setText(settings.text(SettingsKeys::ProxyAddress));
    m_portNo->setText(settings.text(SettingsKeys::PortNo));
    m_requestTimeout->setText(settings.text(SettingsKeys::RequestTimeout));
    m_connections->setText(settings.text(SettingsKeys::Connections));
    m_requestInterval->setText(settings.text(SettingsKeys::RequestIntervalMs));
    m_buffLen->setText(settings.text(SettingsKeys::BuffLen));
    m_scanLimit->setText(settings.text(SettingsKeys::ScanLimitMB));
    m_userAgent->setText(settings.text(SettingsKeys::UserAgent));
    m_listViewGraphs->setText(settings.text(SettingsKeys::ListViewGraphs));
    m_listViewSize->setText(settings.text(SettingsKeys::ListViewSize));
}

bool SettingDialog::checkNumber(QLineEdit* box, const NumberRule& rule)
{
    const NumberReading number = ReadNumber(rule, box->text());
    if (!number.ok()) {
        QMessageBox::information(this, ProductName, number.message, QMessageBox::Ok);
        box->setFocus();
        return false;
    }
    box->setText(number.text);
    return true;
}

void SettingDialog::okClicked()
{
    namespace R = NumberRules;
    if (!checkNumber(m_buffLen, R::BuffLen) || !checkNumber(m_scanLimit, R::ScanLimitMb)
        || !checkNumber(m_requestTimeout, R::RequestTimeout) || !checkNumber(m_connections, R::Connections)
        || !checkNumber(m_requestInterval, R::RequestIntervalMs) || !checkNumber(m_portNo, R::PortNo))
        return;
    // A list size of 0 or less (after rounding) has always meant the default.
    bool isNumber = false;
    if (const double size = NumberText(m_listViewSize->text()).toDouble(&isNumber);
        isNumber && std::nearbyint(size) <= 0)
        m_listViewSize->setText(QString::number(SettingsDefaults::ListCount));
    if (!checkNumber(m_listViewSize, R::ListViewSize))
        return;

    done(Accepted);

    SettingsStore& settings = m_env.settings;
    settings.save(SettingsKeys::AccessType, QString::number(m_accessType->currentIndex()));
    settings.save(SettingsKeys::ProxyAddress, m_proxyAddress->text());
    settings.save(SettingsKeys::RequestTimeout, m_requestTimeout->text());
    settings.save(SettingsKeys::Connections, m_connections->text());
    settings.save(SettingsKeys::RequestIntervalMs, m_requestInterval->text());
    settings.save(SettingsKeys::BuffLen, m_buffLen->text());
    settings.save(SettingsKeys::ScanLimitMB, m_scanLimit->text());
    settings.save(SettingsKeys::PortNo, m_portNo->text());
    settings.save(SettingsKeys::UserAgent, m_userAgent->text());
    settings.save(SettingsKeys::ListViewGraphs, m_listViewGraphs->text());
    settings.save(SettingsKeys::ListViewSize, m_listViewSize->text());
}
