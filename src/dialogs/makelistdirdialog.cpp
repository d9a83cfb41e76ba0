#include "dialogs/makelistdirdialog.h"

#include "crawl/crawlhost.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
#include "dialogs/dirdialog.h"
#include "pages/folderlist.h"
#include "platform/filesystem.h"
#include "productnames.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cmath>
#include <iterator>
#include <limits>

using namespace Qt::StringLiterals;

std::optional<qint32> ListCountFromText(const QString& text)
{
    return TextToInteger32(text);
}

MakeListDirDialog::MakeListDirDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent)
    : LoadingDialog(parent)
    , m_env(env)
    , m_host(host)
{
    setObjectName(u"MakeListDirDialog"_s);
    setWindowTitle(u"ディリクトリ一覧表示"_s);

    // Widgets are made in their visual order, top to bottom and left to right.
    const QString dirTip = u"一覧を作るファイルが含まれたディレクトリを指定します。"_s;
    m_dirPath = makeBox(this, u"MakeDirPath"_s, dirTip);
    auto* label1 = makeLabel(this, u"Label1"_s, u"一覧を作成するディレクトリ"_s, m_dirPath);
    auto* browseButton = new QPushButton(u"参照"_s, this);
    browseButton->setObjectName(u"Command1"_s);
    browseButton->setToolTip(dirTip);
    browseButton->setAutoDefault(false);

    m_exts = makeBox(this, u"MakeListExts"_s);
    auto* label2 = makeLabel(this, u"Label2"_s, u"一覧に含める拡張子（セミコロン区切り）"_s, m_exts);

    m_fileName
        = makeBox(this, u"MakeListFileName"_s, u"このファイル名のファイルが作成するディレクトリに作られます。"_s);
    auto* label3 = makeLabel(this, u"Label3"_s, u"出力ファイル名（ｘｘｘ数字.html xxxの部分）"_s, m_fileName);

    m_fileCount = makeBox(this, u"MakeListFileCount"_s, u"１ページに表示するファイル数です。"_s);
    auto* label4 = makeLabel(this, u"Label4"_s, u"ページファイル数"_s, m_fileCount);
    auto* label5 = makeLabel(this, u"Label5"_s, u"個"_s);

    m_subDir = makeCheck(this, u"MakeSubDirCheck"_s, u"サブディレクトリも含める"_s);
    m_aviMov = makeCheck(this, u"MakeAviMovCheck"_s, u"ムービーを表示"_s);
    m_swfDcr = makeCheck(this, u"MakeSwfDcrCheck"_s, u"SWF・DCRを表示"_s, u"Flash・Directorムービーを表示します"_s);

    auto* okButton = new QPushButton(u"開始"_s, this);
    okButton->setObjectName(u"OKButton"_s);
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(u"ｷｬﾝｾﾙ"_s, this);
    cancelButton->setObjectName(u"CancelButton"_s);
    cancelButton->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(label1, 0, 0, 1, 4);
    grid->addWidget(m_dirPath, 1, 0, 1, 3);
    grid->addWidget(browseButton, 1, 3);
    grid->addWidget(label2, 2, 0, 1, 4);
    grid->addWidget(m_exts, 3, 0, 1, 4);
    grid->addWidget(label3, 4, 0, 1, 4);
    grid->addWidget(m_fileName, 5, 0, 1, 4);
    grid->addWidget(label4, 6, 0);
    grid->addWidget(m_fileCount, 6, 1);
    grid->addWidget(label5, 6, 2);
    grid->setColumnStretch(2, 1);

    auto* checks = new QVBoxLayout;
    checks->addWidget(m_subDir);
    checks->addWidget(m_aviMov);
    checks->addWidget(m_swfDcr);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(checks);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(480, 320);

    QWidget* order[] = { m_dirPath, browseButton, m_exts, m_fileName, m_fileCount, m_subDir, m_aviMov, m_swfDcr,
        okButton, cancelButton };
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(browseButton, &QPushButton::clicked, this, &MakeListDirDialog::browse);
    connect(okButton, &QPushButton::clicked, this, &MakeListDirDialog::start);
    connect(cancelButton, &QPushButton::clicked, this, &MakeListDirDialog::reject);
}

QList<std::pair<QString, QString>> MakeListDirDialog::startSettings() const
{
    return {
        { SettingsKeys::MakeDirPath, m_dirPath->text() },
        { SettingsKeys::MakeListFileName, m_fileName->text() },
        { SettingsKeys::MakeListExts, m_exts->text() },
        { SettingsKeys::MakeAviMovCheck, checkText(m_aviMov) },
        { SettingsKeys::MakeSwfDcrCheck, checkText(m_swfDcr) },
        { SettingsKeys::MakeSubDirCheck, checkText(m_subDir) },
        { SettingsKeys::MakeListFileCount, m_fileCount->text() },
    };
}

void MakeListDirDialog::load()
{
    SettingsStore& settings = m_env.settings;
    DirDialog& picker = m_env.folderPicker;
    // A stored folder that is gone leaves the picker where it was, and the box shows that.
    picker.setFolder(settings.text(SettingsKeys::MakeDirPath));
    m_dirPath->setText(picker.folder());
    picker.setDrive(m_dirPath->text());

    m_fileName->setText(settings.text(SettingsKeys::MakeListFileName));
    m_exts->setText(settings.text(SettingsKeys::MakeListExts));
    m_fileCount->setText(settings.text(SettingsKeys::MakeListFileCount));
    m_subDir->setChecked(settings.flag(SettingsKeys::MakeSubDirCheck));
    m_aviMov->setChecked(settings.flag(SettingsKeys::MakeAviMovCheck));
    m_swfDcr->setChecked(settings.flag(SettingsKeys::MakeSwfDcrCheck));
}

void MakeListDirDialog::browse()
{
    DirDialog& picker = m_env.folderPicker;
    picker.setWindowTitle(u"一覧リストを作るフォルダを選んでください。"_s);
    picker.setFolder(m_dirPath->text());
    picker.setDrive(picker.folder());
    picker.exec();
    QString folder = m_dirPath->text();
    if (picker.isOK())
        folder = picker.folder();
    if (!folder.endsWith(NativeSeparator()))
        folder += NativeSeparator();
    m_dirPath->setText(folder);
    m_env.settings.save(SettingsKeys::MakeDirPath, folder);
}

void MakeListDirDialog::start()
{
    const std::optional<qint32> count = ListCountFromText(m_fileCount->text());
    if (!count) {
        QMessageBox box(QMessageBox::NoIcon, ProductName, u"数値で入力して下さい"_s, QMessageBox::Ok, this);
        box.exec();
        m_fileCount->setFocus();
        return;
    }
    // A page needs at least one file; a count below that would never finish a page.
    m_fileCount->setText(QString::number(*count < 1 ? SettingsDefaults::ListCount : *count));

    for (const auto& [key, value] : startSettings())
        m_env.settings.save(key, value);

    done(Accepted);
    const IoStatus written = MakeDirList(m_env.settings, m_host, m_dirPath->text());
    if (!written)
        m_host.showMessage(written.error);
}
