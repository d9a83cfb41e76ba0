#include "dialogs/makegraphviewdialog.h"

#include "crawl/crawlhost.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
#include "dialogs/dirdialog.h"
#include "dialogs/makelistdirdialog.h"
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

#include <iterator>

using namespace Qt::StringLiterals;

namespace {

const QString RowsLabel = u"ページ行数"_s;
const QString RowsUnit = u"行（1行5画像)"_s;
const QString ImagesLabel = u"ページ画像数"_s;
const QString ImagesUnit = u"個"_s;

} // namespace

MakeGraphViewDialog::MakeGraphViewDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent)
    : LoadingDialog(parent)
    , m_env(env)
    , m_host(host)
{
    setObjectName(u"MakeGraphViewDialog"_s);
    setWindowTitle(u"画像の一覧表示"_s);

    // Widgets are made in their visual order, top to bottom and left to right.
    const QString dirTip = u"一覧を作るファイルが含まれたディレクトリを指定します。"_s;
    m_dirPath = makeBox(this, u"MakeGraphDirPath"_s, dirTip);
    auto* label1 = makeLabel(this, u"Label1"_s, u"一覧を作成するディレクトリ"_s, m_dirPath);
    auto* browseButton = new QPushButton(u"参照"_s, this);
    browseButton->setObjectName(u"Command1"_s);
    browseButton->setToolTip(dirTip);
    browseButton->setAutoDefault(false);

    m_exts = makeBox(this, u"MakeGraphListExts"_s);
    auto* label2 = makeLabel(this, u"Label2"_s, u"一覧に含める拡張子（セミコロン区切り）"_s, m_exts);

    m_fileName
        = makeBox(this, u"MakeGraphListFileName"_s, u"このファイル名のファイルが作成するディレクトリに作られます。"_s);
    auto* label3 = makeLabel(this, u"Label3"_s, u"出力ファイル名（ｘｘｘ数字.html xxxの部分）"_s, m_fileName);

    m_count
        = makeBox(this, u"MakeGraphMinNLine"_s, u"１ページに表示する画像の数又は行数です。１行は５画像含まれます。"_s);
    m_countLabel = makeLabel(this, u"Label4"_s, RowsLabel, m_count);
    m_unitLabel = makeLabel(this, u"Label5"_s, RowsUnit);

    m_subDir = makeCheck(this, u"MakeGraphSubDirCheck"_s, u"サブディレクトリも含める"_s);
    m_thumbnails = makeCheck(
        this, u"MakeGraphMinCheck"_s, u"縮小した一覧を作る"_s, u"画像を縮小してテーブル形式で並べて表示します。"_s);

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
    grid->addWidget(m_countLabel, 6, 0);
    grid->addWidget(m_count, 6, 1);
    grid->addWidget(m_unitLabel, 6, 2);
    grid->setColumnStretch(2, 1);

    auto* checks = new QVBoxLayout;
    checks->addWidget(m_subDir);
    checks->addWidget(m_thumbnails);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(checks);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(480, 300);

    QWidget* order[]
        = { m_dirPath, browseButton, m_exts, m_fileName, m_count, m_subDir, m_thumbnails, okButton, cancelButton };
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(browseButton, &QPushButton::clicked, this, &MakeGraphViewDialog::browse);
    // clicked, not toggled: the load sets the box and then switches once by itself.
    connect(m_thumbnails, &QCheckBox::clicked, this, &MakeGraphViewDialog::switchLayout);
    connect(okButton, &QPushButton::clicked, this, &MakeGraphViewDialog::start);
    connect(cancelButton, &QPushButton::clicked, this, &MakeGraphViewDialog::reject);
}

QList<std::pair<QString, QString>> MakeGraphViewDialog::startSettings() const
{
    const QString& countKey
        = m_thumbnails->isChecked() ? SettingsKeys::MakeGraphMinNLine : SettingsKeys::MakeGraphListCount;
    return {
        { SettingsKeys::MakeGraphDirPath, m_dirPath->text() },
        { SettingsKeys::MakeGraphListFileName, m_fileName->text() },
        { SettingsKeys::MakeGraphListExts, m_exts->text() },
        { SettingsKeys::MakeGraphSubDirCheck, checkText(m_subDir) },
        { SettingsKeys::MakeGraphMinCheck, checkText(m_thumbnails) },
        { countKey, m_count->text() },
    };
}

void MakeGraphViewDialog::load()
{
    SettingsStore& settings = m_env.settings;
    DirDialog& picker = m_env.folderPicker;
    // A stored folder that is gone leaves the picker where it was, and the box shows that.
    picker.setFolder(settings.text(SettingsKeys::MakeGraphDirPath));
    m_dirPath->setText(picker.folder());
    picker.setDrive(m_dirPath->text());

    m_fileName->setText(settings.text(SettingsKeys::MakeGraphListFileName));
    m_exts->setText(settings.text(SettingsKeys::MakeGraphListExts));
    m_subDir->setChecked(settings.flag(SettingsKeys::MakeGraphSubDirCheck));
    m_thumbnails->setChecked(settings.flag(SettingsKeys::MakeGraphMinCheck));
    switchLayout();
}

void MakeGraphViewDialog::switchLayout()
{
    // Each layout has its own stored count; whatever was typed belongs to neither.
    SettingsStore& settings = m_env.settings;
    if (m_thumbnails->isChecked()) {
        m_countLabel->setText(RowsLabel);
        m_unitLabel->setText(RowsUnit);
        m_count->setText(settings.text(SettingsKeys::MakeGraphMinNLine));
    } else {
        m_countLabel->setText(ImagesLabel);
        m_unitLabel->setText(ImagesUnit);
        m_count->setText(settings.text(SettingsKeys::MakeGraphListCount));
    }
}

void MakeGraphViewDialog::browse()
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
    m_env.settings.save(SettingsKeys::MakeGraphDirPath, folder);
}

void MakeGraphViewDialog::start()
{
    const std::optional<qint32> count = ListCountFromText(m_count->text());
    if (!count) {
        QMessageBox box(QMessageBox::NoIcon, ProductName, u"数値で入力して下さい"_s, QMessageBox::Ok, this);
        box.exec();
        m_count->setFocus();
        return;
    }
    // A page needs at least one row or picture; a count below that would never finish a page.
    const qint32 fallback
        = m_thumbnails->isChecked() ? SettingsDefaults::MakeGraphMinNLine : SettingsDefaults::MakeGraphListCount;
    m_count->setText(QString::number(*count < 1 ? fallback : *count));

    for (const auto& [key, value] : startSettings())
        m_env.settings.save(key, value);

    done(Accepted);
    const IoStatus written = MakeGraphList(m_env.settings, m_host, m_dirPath->text());
    if (!written)
        m_host.showMessage(written.error);
}
