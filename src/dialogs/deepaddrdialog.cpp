#include "dialogs/deepaddrdialog.h"

#include "address/addressfunctions.h"
#include "crawl/crawlstate.h"
#include "crawl/httpheaders.h"
#include "dialogs/dialogwidgets.h"
#include "platform/filesystem.h"
#include "productnames.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/filefilters.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include <optional>
#include <utility>

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

} // namespace

DeepAddrDialog::DeepAddrDialog(DialogEnvironment& env, QWidget* parent)
    : LoadingDialog(parent)
    , m_env(env)
{
    setObjectName(u"DeepAddrDialog"_s);
    setWindowTitle(u"リンク移動の制御"_s);

    // Widgets are made in their visual order, top to bottom, which is also the tab order.
    auto* frame1 = makeGroup(this, u"Frame1"_s, u"検索の対象範囲"_s);
    m_option1 = makeOption(frame1, u"Option1"_s, u"アドレス以降のHTML検索"_s,
        u"指定したアドレスの最後の/以降のアドレスを対象にします。"_s);
    m_al1 = makeLabel(frame1, u"AL1"_s, QString());
    m_option2 = makeOption(
        frame1, u"Option2"_s, u"ドメイン内すべて検索"_s, u"上に書かれたアドレス以降を検索の対象にします。"_s);
    m_al2 = makeLabel(frame1, u"AL2"_s, QString());
    m_option3 = makeOption(
        frame1, u"Option3"_s, u"サイトに含まれる全てのアドレス検索"_s, u"他のサイトも含めて検索の対象にします"_s);
    auto* scope = new QGridLayout(frame1);
    scope->addWidget(m_option1, 0, 0);
    scope->addWidget(m_al1, 0, 1);
    scope->addWidget(m_option2, 1, 0);
    scope->addWidget(m_al2, 1, 1);
    scope->addWidget(m_option3, 2, 0, 1, 2);
    scope->setColumnStretch(1, 1);

    m_deepCount = makeBox(this, u"DeepCount"_s, u"リンクを追っていくネストの回数です。"_s);
    m_downloadExts = makeValueBox(this, u"DownloadExts"_s, TypicalValues::ExtensionList);
    m_onDownFileNames = makeValueBox(this, u"OnDownFileNames"_s, TypicalValues::ExtensionList);
    m_notDownFileNames = makeValueBox(this, u"NotDownFileNames"_s, TypicalValues::ExtensionList);
    auto* label5 = makeLabel(this, u"Label5"_s, u"＊１;セミコロン区切り,無指定全て,[数-数]指定 例[00-99]"_s);
    m_maxSize = makeBox(this, u"MAXSIZE"_s);
    m_minSize = makeBox(this, u"MINSIZE"_s);
    auto* boxes = new QGridLayout;
    boxes->addWidget(makeLabel(this, QString(), u"制限階層数( 0 無制限)"_s, m_deepCount), 0, 0);
    boxes->addWidget(m_deepCount, 0, 1);
    boxes->addWidget(makeLabel(this, QString(), u"ダウンロードするファイルの拡張子（＊１）"_s, m_downloadExts), 1, 0);
    boxes->addWidget(m_downloadExts, 1, 1, 1, 2);
    boxes->addWidget(
        makeLabel(this, QString(), u"ダウンロードするファイル名に含まれる文字（＊１）"_s, m_onDownFileNames), 2, 0);
    boxes->addWidget(m_onDownFileNames, 2, 1, 1, 2);
    boxes->addWidget(
        makeLabel(this, QString(), u"ダウンロードしないファイル名に含まれる文字（＊１）"_s, m_notDownFileNames), 3, 0);
    boxes->addWidget(m_notDownFileNames, 3, 1, 1, 2);
    boxes->addWidget(label5, 4, 0, 1, 3);
    boxes->addWidget(makeLabel(this, QString(), u"ダウンロード最大サイズ( 0 無制限)"_s, m_maxSize), 5, 0);
    boxes->addWidget(m_maxSize, 5, 1);
    boxes->addWidget(makeLabel(this, QString(), u"Kb"_s), 5, 2);
    boxes->addWidget(makeLabel(this, QString(), u"ダウンロード最小サイズ( 0 無制限)"_s, m_minSize), 6, 0);
    boxes->addWidget(m_minSize, 6, 1);
    boxes->addWidget(makeLabel(this, QString(), u"Kb"_s), 6, 2);
    boxes->setColumnStretch(1, 1);

    m_skipSameName = makeCheck(
        this, u"NOFileDownLoasFile"_s, u"同じファイル名の物はダウンロードしない(サイズが違う場合ダウン）"_s);
    m_noDirTree = makeCheck(
        this, u"DirNOSetCheck"_s, u"ディレクトリを構成しない"_s, u"取得サイトのディレクトリ階層の複製をしません"_s);
    m_numberDuplicates = makeCheck(this, u"FileName2NO"_s, u"同名ファイルが既にある場合 ファイル名_数字"_s);
    m_moreLinks = makeCheck(this, u"MoreLinks"_s, u"スタイルシートやsrcsetのリンクも探す"_s,
        u"スタイルシートの背景画像や@import、srcset、動画のポスターなど、ブラウザが読み込むリンクも探して取得します"_s);
    m_followSitemaps = makeCheck(this, u"FollowSitemaps"_s, u"サイトマップのページも探す"_s,
        u"robots.txtやsitemap.xmlが示すサイトマップに載ったページも、トップページのリンクと同じ階層で探します"_s);

    auto* ninn = makeGroup(this, u"ninn"_s, u"認証"_s);
    m_user = makeBox(ninn, u"USERText"_s, u"アクセスに認証が必要なページのログインIDを入力して下さい。"_s);
    m_password = makeBox(ninn, u"PASSText"_s, u"アクセスに認証が必要なページのパスワードを入力して下さい。"_s);
    m_password->setEchoMode(QLineEdit::Password);
    auto* credentials = new QGridLayout(ninn);
    credentials->addWidget(makeLabel(ninn, QString(), u"ユーザ名"_s, m_user), 0, 0);
    credentials->addWidget(m_user, 0, 1);
    credentials->addWidget(makeLabel(ninn, QString(), u"パスワード"_s, m_password), 1, 0);
    credentials->addWidget(m_password, 1, 1);
    credentials->setColumnStretch(1, 1);

    m_listView
        = makeCheck(this, u"ListViewCheck"_s, u"終了･中断後に一覧を表示"_s, u"終了･中断後にブラウザで一覧を表示"_s);

    m_followRobots = makeCheck(this, u"FollowRobots"_s, u"robots.txtに従う"_s,
        u"各サイトのrobots.txtで禁止されたアドレスは取得せず、Crawl-delayの間隔を守ります"_s);
    m_cookieFile = makeValueBox(this, u"CookieFile"_s, TypicalValues::Folder + u"cookies.txt"_s,
        u"ログインしたブラウザから書き出したcookies.txt（Netscape形式）。このサイトのクッキーを送ります。空欄なら使いません"_s);
    auto* cookieBrowse = makeSideButton(this, u"CookieFileDlg"_s, u"参照"_s, u"cookies.txtを選びます"_s);
    auto* cookies = new QHBoxLayout;
    cookies->addWidget(makeLabel(this, QString(), u"cookies.txt"_s, m_cookieFile));
    cookies->addWidget(m_cookieFile, 1);
    cookies->addWidget(cookieBrowse);

    const ButtonRow buttons = makeButtonRow(this, u"開始"_s, CancelOnEnter::Never);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame1);
    layout->addLayout(boxes);
    layout->addWidget(m_skipSameName);
    layout->addWidget(m_noDirTree);
    layout->addWidget(m_numberDuplicates);
    layout->addWidget(m_moreLinks);
    layout->addWidget(m_followSitemaps);
    layout->addWidget(ninn);
    layout->addWidget(m_listView);
    layout->addWidget(m_followRobots);
    layout->addLayout(cookies);
    layout->addStretch();
    layout->addLayout(buttons.layout);
    resizeToContents(this);

    chainTabOrder({ m_option1, m_option2, m_option3, m_deepCount, m_downloadExts, m_onDownFileNames, m_notDownFileNames,
        m_maxSize, m_minSize, m_skipSameName, m_noDirTree, m_numberDuplicates, m_moreLinks, m_followSitemaps, m_user,
        m_password, m_listView, m_followRobots, m_cookieFile, cookieBrowse, buttons.ok, buttons.cancel });

    connect(buttons.ok, &QPushButton::clicked, this, &DeepAddrDialog::confirm);
    connect(cookieBrowse, &QPushButton::clicked, this, [this] {
        // From the file named, else from the home folder, where browsers' exports are saved.
        const QString named = m_cookieFile->text().trimmed();
        const QString chosen = QFileDialog::getOpenFileName(this, u"cookies.txtを選択"_s,
            named.isEmpty() ? QDir::homePath() : named, u"cookies.txt (*.txt);;すべてのファイル (*)"_s);
        if (!chosen.isEmpty())
            m_cookieFile->setText(QDir::toNativeSeparators(chosen));
    });
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
    m_moreLinks->setChecked(settings.flag(SettingsKeys::MoreLinks));
    m_followSitemaps->setChecked(settings.flag(SettingsKeys::FollowSitemaps));
    m_listView->setChecked(settings.flag(SettingsKeys::ListViewCheck));
    m_followRobots->setChecked(settings.flag(SettingsKeys::FollowRobots));
    m_cookieFile->setText(settings.text(SettingsKeys::CookieFile));
    // The credentials are stored, in the settings and in a crawl's resume record, as the Basic
    // credential (Base64 of "user:password", which anyone can decode), but never loaded back into
    // the boxes: they start empty in every program run.
    m_user->clear();
    m_password->clear();
}

void DeepAddrDialog::confirm()
{
    if (!convertNumbers() || !refuseCommas() || !refuseHugeRanges())
        return;
    if (const QString problem = SizeLimitsProblem(m_minSize->text(), m_maxSize->text()); !problem.isEmpty()) {
        tell(problem);
        m_minSize->setFocus();
        return;
    }
    // Told here, not once the crawl has begun.
    m_cookieFile->setText(m_cookieFile->text().trimmed());
    if (QFile cookies(m_cookieFile->text()); !m_cookieFile->text().isEmpty() && !cookies.open(QIODevice::ReadOnly)) {
        tell(u"cookies.txtのファイルを読めません。\n"_s + FileFailure(cookies, m_cookieFile->text()).error);
        m_cookieFile->setFocus();
        return;
    }
    done(Accepted);
    save();
    m_env.crawl.StopRequested = false;
}

bool DeepAddrDialog::convertNumbers()
{
    const std::pair<QLineEdit*, const NumberRule&> boxes[] { { m_deepCount, NumberRules::DeepCount },
        { m_minSize, NumberRules::MinSize }, { m_maxSize, NumberRules::MaxSize } };
    for (const auto& [box, rule] : boxes) {
        const NumberReading number = ReadNumber(rule, box->text());
        if (!number.ok()) {
            tell(number.message);
            box->setFocus();
            return false;
        }
        box->setText(number.text);
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

bool DeepAddrDialog::refuseHugeRanges()
{
    for (QLineEdit* box : { m_downloadExts, m_onDownFileNames, m_notDownFileNames }) {
        if (NamePatternsTooLarge(box->text())) {
            tell(RangeTooLargeMessage);
            box->setFocus();
            return false;
        }
    }
    return true;
}

void DeepAddrDialog::save()
{
    SettingsStore& settings = m_env.settings;
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
    settings.save(SettingsKeys::MoreLinks, checkText(m_moreLinks));
    settings.save(SettingsKeys::FollowSitemaps, checkText(m_followSitemaps));
    settings.save(SettingsKeys::ListViewCheck, checkText(m_listView));
    settings.save(SettingsKeys::FollowRobots, checkText(m_followRobots));
    settings.save(SettingsKeys::CookieFile, m_cookieFile->text());
    settings.save(SettingsKeys::AuthString, MakeBasicCredential(m_user->text(), m_password->text()));
}

void DeepAddrDialog::tell(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, ProductName, text, QMessageBox::Ok, this);
    box.exec();
}
