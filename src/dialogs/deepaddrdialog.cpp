#include "dialogs/deepaddrdialog.h"

#include "address/addressfunctions.h"
#include "crawl/crawlstate.h"
#include "crawl/httpheaders.h"
#include "productnames.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include <cmath>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Pieces 0, 1 and 2 of the address, each followed by "/": the scheme-and-host root, also for an
// address without a path ("http://host"), where SiteRootOf has none.
QString ScopeRootOf(const QString& address)
{
    const QString root = SiteRootOf(address);
    if (!root.isEmpty())
        return root;
    const QStringList pieces = address.split(u'/');
    QString built;
    for (qsizetype i = 0; i < 3; ++i)
        built += pieces.value(i) + u'/';
    return built;
}

QLabel* NewLabel(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QLineEdit* NewBox(const QString& name, const QString& toolTip, QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setToolTip(toolTip);
    return box;
}

QCheckBox* NewCheck(const QString& name, const QString& text, const QString& toolTip, QWidget* parent)
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(name);
    check->setToolTip(toolTip);
    return check;
}

} // namespace

DeepAddrDialog::DeepAddrDialog(DialogEnvironment& env, QWidget* parent)
    : LoadingDialog(parent)
    , m_env(env)
{
    setObjectName(u"DeepAddrDialog"_s);
    setWindowTitle(u"リンク移動の制御"_s);

    // Widgets are made in their visual order, top to bottom, which is also the tab order.
    auto* frame1 = new QGroupBox(u"検索の対象範囲"_s, this);
    frame1->setObjectName(u"Frame1"_s);
    m_option1 = new QRadioButton(u"アドレス以降のHTML検索"_s, frame1);
    m_option1->setObjectName(u"Option1"_s);
    m_option1->setToolTip(u"指定したアドレスの最後の/以降のアドレスを対象にします。"_s);
    m_al1 = new QLabel(frame1);
    m_al1->setObjectName(u"AL1"_s);
    m_option2 = new QRadioButton(u"ドメイン内すべて検索"_s, frame1);
    m_option2->setObjectName(u"Option2"_s);
    m_option2->setToolTip(u"上に書かれたアドレス以降を検索の対象にします。"_s);
    m_al2 = new QLabel(frame1);
    m_al2->setObjectName(u"AL2"_s);
    m_option3 = new QRadioButton(u"サイトに含まれる全てのアドレス検索"_s, frame1);
    m_option3->setObjectName(u"Option3"_s);
    m_option3->setToolTip(u"他のサイトも含めて検索の対象にします"_s);
    auto* scope = new QGridLayout(frame1);
    scope->addWidget(m_option1, 0, 0);
    scope->addWidget(m_al1, 0, 1);
    scope->addWidget(m_option2, 1, 0);
    scope->addWidget(m_al2, 1, 1);
    scope->addWidget(m_option3, 2, 0, 1, 2);
    scope->setColumnStretch(1, 1);

    m_deepCount = NewBox(u"DeepCount"_s, u"リンクを追っていくネストの回数です。"_s, this);
    m_downloadExts = NewBox(u"DownloadExts"_s, QString(), this);
    m_onDownFileNames = NewBox(u"OnDownFileNames"_s, QString(), this);
    m_notDownFileNames = NewBox(u"NotDownFileNames"_s, QString(), this);
    auto* label5 = new QLabel(u"＊１;セミコロン区切り,無指定全て,[数-数]指定 例[00-99]"_s, this);
    label5->setObjectName(u"Label5"_s);
    m_maxSize = NewBox(u"MAXSIZE"_s, QString(), this);
    m_minSize = NewBox(u"MINSIZE"_s, QString(), this);
    auto* boxes = new QGridLayout;
    boxes->addWidget(NewLabel(u"制限階層数( 0 無制限)"_s, m_deepCount, this), 0, 0);
    boxes->addWidget(m_deepCount, 0, 1);
    boxes->addWidget(NewLabel(u"ダウンロードするファイルの拡張子（＊１）"_s, m_downloadExts, this), 1, 0);
    boxes->addWidget(m_downloadExts, 1, 1, 1, 2);
    boxes->addWidget(NewLabel(u"ダウンロードするファイル名に含まれる文字（＊１）"_s, m_onDownFileNames, this), 2, 0);
    boxes->addWidget(m_onDownFileNames, 2, 1, 1, 2);
    boxes->addWidget(NewLabel(u"ダウンロードしないファイル名に含まれる文字（＊１）"_s, m_notDownFileNames, this), 3, 0);
    boxes->addWidget(m_notDownFileNames, 3, 1, 1, 2);
    boxes->addWidget(label5, 4, 0, 1, 3);
    boxes->addWidget(NewLabel(u"ダウンロード最大サイズ( 0 無制限)"_s, m_maxSize, this), 5, 0);
    boxes->addWidget(m_maxSize, 5, 1);
    boxes->addWidget(new QLabel(u"Kb"_s, this), 5, 2);
    boxes->addWidget(NewLabel(u"ダウンロード最小サイズ( 0 無制限)"_s, m_minSize, this), 6, 0);
    boxes->addWidget(m_minSize, 6, 1);
    boxes->addWidget(new QLabel(u"Kb"_s, this), 6, 2);
    boxes->setColumnStretch(1, 1);

    m_skipSameName = NewCheck(
        u"NOFileDownLoasFile"_s, u"同じファイル名の物はダウンロードしない(サイズが違う場合ダウン）"_s, QString(), this);
    m_noDirTree = NewCheck(
        u"DirNOSetCheck"_s, u"ディレクトリを構成しない"_s, u"取得サイトのディレクトリ階層の複製をしません"_s, this);
    m_numberDuplicates = NewCheck(u"FileName2NO"_s, u"同名ファイルが既にある場合 ファイル名_数字"_s, QString(), this);

    auto* ninn = new QGroupBox(u"認証"_s, this);
    ninn->setObjectName(u"ninn"_s);
    m_user = NewBox(u"USERText"_s, u"アクセスに認証が必要なページのログインIDを入力して下さい。"_s, ninn);
    m_password = NewBox(u"PASSText"_s, u"アクセスに認証が必要なページのパスワードを入力して下さい。"_s, ninn);
    m_password->setEchoMode(QLineEdit::Password);
    auto* credentials = new QGridLayout(ninn);
    credentials->addWidget(NewLabel(u"ユーザ名"_s, m_user, ninn), 0, 0);
    credentials->addWidget(m_user, 0, 1);
    credentials->addWidget(NewLabel(u"パスワード"_s, m_password, ninn), 1, 0);
    credentials->addWidget(m_password, 1, 1);
    credentials->setColumnStretch(1, 1);

    m_listView
        = NewCheck(u"ListViewCheck"_s, u"終了･中断後に一覧を表示"_s, u"終了･中断後にブラウザで一覧を表示"_s, this);

    auto* okButton = new QPushButton(u"開始"_s, this);
    okButton->setObjectName(u"OKButton"_s);
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(u"ｷｬﾝｾﾙ"_s, this);
    cancelButton->setObjectName(u"CancelButton"_s);
    cancelButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame1);
    layout->addLayout(boxes);
    layout->addWidget(m_skipSameName);
    layout->addWidget(m_noDirTree);
    layout->addWidget(m_numberDuplicates);
    layout->addWidget(ninn);
    layout->addWidget(m_listView);
    layout->addStretch();
    layout->addLayout(buttons);

    const QList<QWidget*> tabOrder { m_option1, m_option2, m_option3, m_deepCount, m_downloadExts, m_onDownFileNames,
        m_notDownFileNames, m_maxSize, m_minSize, m_skipSameName, m_noDirTree, m_numberDuplicates, m_user, m_password,
        m_listView, okButton, cancelButton };
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(okButton, &QPushButton::clicked, this, &DeepAddrDialog::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &DeepAddrDialog::reject);
}

void DeepAddrDialog::reject()
{
    // Cancel, Escape and (through QDialog's close handling) the close box: nothing saved, no crawl.
    m_env.crawl.StopRequested = true;
    done(Rejected);
}

void DeepAddrDialog::opening()
{
    // Every opening: the scope of this crawl's address, and the crawl cancelled unless confirmed.
    m_al1->setText(DirectoryAddressOf(m_topAddress));
    m_al2->setText(ScopeRootOf(m_topAddress));
    m_env.crawl.StopRequested = true;
}

void DeepAddrDialog::closeEvent(QCloseEvent* event)
{
    m_env.crawl.StopRequested = true;
    LoadingDialog::closeEvent(event);
}

void DeepAddrDialog::load()
{
    const SettingsStore& settings = m_env.settings;
    const std::optional<double> searchType = TextToNumber(settings.text(SettingsKeys::SearchType));
    const QList<QRadioButton*> options { m_option1, m_option2, m_option3 };
    for (qsizetype i = 0; i < options.size(); ++i) {
        // Auto-exclusive buttons refuse to be cleared; a stored type outside 1..3 selects none.
        options[i]->setAutoExclusive(false);
        options[i]->setChecked(searchType && *searchType == double(i + 1));
        options[i]->setAutoExclusive(true);
    }
    m_deepCount->setText(settings.text(SettingsKeys::DeepCount));
    m_downloadExts->setText(settings.text(SettingsKeys::DownloadExts));
    m_onDownFileNames->setText(settings.text(SettingsKeys::OnDownFileNames));
    m_notDownFileNames->setText(settings.text(SettingsKeys::NotDownFileNames));
    m_maxSize->setText(settings.text(SettingsKeys::MaxSize));
    m_minSize->setText(settings.text(SettingsKeys::MinSize));
    m_skipSameName->setChecked(settings.flag(SettingsKeys::SkipSameName));
    m_noDirTree->setChecked(settings.flag(SettingsKeys::NoDirTree));
    m_numberDuplicates->setChecked(settings.flag(SettingsKeys::NumberDuplicates));
    m_listView->setChecked(settings.flag(SettingsKeys::ListViewCheck));
    // Credentials are never stored readably; they are typed again in every program run.
    m_user->clear();
    m_password->clear();
}

void DeepAddrDialog::confirm()
{
    if (!convertNumbers() || !refuseCommas())
        return;
    done(Accepted);
    save();
    m_env.crawl.StopRequested = false;
}

bool DeepAddrDialog::convertNumbers()
{
    for (QLineEdit* box : { m_deepCount, m_minSize, m_maxSize }) {
        const std::optional<qint32> number = TextToInteger32(box->text());
        if (!number) {
            tell(u"数値で入力して下さい｡"_s);
            box->setFocus();
            return false;
        }
        box->setText(QString::number(*number));
    }
    return true;
}

bool DeepAddrDialog::refuseCommas()
{
    for (QLineEdit* box : { m_downloadExts, m_onDownFileNames, m_notDownFileNames }) {
        if (box->text().contains(u',')) {
            tell(u",(ｶﾝﾏ)は入力しないで下さい"_s);
            box->setFocus();
            return false;
        }
    }
    return true;
}

void DeepAddrDialog::save()
{
    SettingsStore& settings = m_env.settings;
    const auto checkText = [](const QCheckBox* check) { return check->isChecked() ? u"1"_s : u"0"_s; };
    settings.save(SettingsKeys::SearchType, m_option1->isChecked() ? u"1"_s : m_option2->isChecked() ? u"2"_s : u"3"_s);
    settings.save(SettingsKeys::DeepCount, m_deepCount->text());
    settings.save(SettingsKeys::DownloadExts, m_downloadExts->text());
    settings.save(SettingsKeys::OnDownFileNames, m_onDownFileNames->text());
    settings.save(SettingsKeys::NotDownFileNames, m_notDownFileNames->text());
    settings.save(SettingsKeys::MaxSize, m_maxSize->text());
    settings.save(SettingsKeys::MinSize, m_minSize->text());
    settings.save(SettingsKeys::SkipSameName, checkText(m_skipSameName));
    settings.save(SettingsKeys::NoDirTree, checkText(m_noDirTree));
    settings.save(SettingsKeys::NumberDuplicates, checkText(m_numberDuplicates));
    settings.save(SettingsKeys::ListViewCheck, checkText(m_listView));
    settings.save(SettingsKeys::AuthString, MakeBasicCredential(m_user->text(), m_password->text()));
}

void DeepAddrDialog::tell(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, ProductName, text, QMessageBox::Ok, this);
    box.exec();
}
