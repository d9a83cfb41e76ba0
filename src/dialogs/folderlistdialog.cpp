#include "dialogs/folderlistdialog.h"

#include "crawl/crawlhost.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
#include "dialogs/dirdialog.h"
#include "platform/userfolders.h"
#include "productnames.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

FolderListDialog::FolderListDialog(
    DialogEnvironment& env, CrawlHost& host, const FolderListCaptions& captions, QWidget* parent)
    : LoadingDialog(parent)
    , m_env(env)
    , m_host(host)
    , m_folderKey(captions.folderKey)
{
    setObjectName(captions.dialogName);
    setWindowTitle(captions.title);

    // Widgets are made in their visual order, top to bottom and left to right.
    const QString dirTip = u"一覧を作るファイルが含まれたディレクトリを指定します。"_s;
    m_dirPath = makeValueBox(this, captions.folderBox, TypicalValues::Folder, dirTip);
    m_folderLabel = makeLabel(this, u"Label1"_s, u"一覧を作成するディレクトリ"_s, m_dirPath);
    m_browse = makeSideButton(this, u"Command1"_s, u"参照"_s, dirTip);

    // The longest list the dialogs offer by default is shown whole.
    m_exts = makeValueBox(this, captions.extsBox, SettingsDefaults::MakeListExts);
    m_extsLabel = makeLabel(this, u"Label2"_s, u"一覧に含める拡張子（セミコロン区切り）"_s, m_exts);

    m_fileName = makeBox(this, captions.fileNameBox, u"このファイル名のファイルが作成するディレクトリに作られます。"_s);
    m_fileNameLabel = makeLabel(this, u"Label3"_s, u"出力ファイル名（ｘｘｘ数字.html xxxの部分）"_s, m_fileName);

    m_count = makeBox(this, captions.countBox, captions.countTip);
    m_countLabel = makeLabel(this, u"Label4"_s, captions.countLabel, m_count);
    m_unitLabel = makeLabel(this, u"Label5"_s, captions.countUnit);

    m_subDir = makeCheck(this, captions.subDirCheck, u"サブディレクトリも含める"_s);
}

void FolderListDialog::finishLayout(const QList<QCheckBox*>& switches, const QSize& size)
{
    const ButtonRow buttons = makeButtonRow(this, u"開始"_s, CancelOnEnter::Never);

    auto* grid = new QGridLayout;
    grid->addWidget(m_folderLabel, 0, 0, 1, 4);
    grid->addWidget(m_dirPath, 1, 0, 1, 3);
    grid->addWidget(m_browse, 1, 3);
    grid->addWidget(m_extsLabel, 2, 0, 1, 4);
    grid->addWidget(m_exts, 3, 0, 1, 4);
    grid->addWidget(m_fileNameLabel, 4, 0, 1, 4);
    grid->addWidget(m_fileName, 5, 0, 1, 4);
    grid->addWidget(m_countLabel, 6, 0);
    grid->addWidget(m_count, 6, 1);
    grid->addWidget(m_unitLabel, 6, 2);
    grid->setColumnStretch(2, 1);

    auto* checks = new QVBoxLayout;
    checks->addWidget(m_subDir);
    for (QCheckBox* check : switches)
        checks->addWidget(check);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(checks);
    layout->addStretch(1);
    layout->addLayout(buttons.layout);
    resizeToContents(this, size);

    QList<QWidget*> order { m_dirPath, m_browse, m_exts, m_fileName, m_count, m_subDir };
    for (QCheckBox* check : switches)
        order.append(check);
    chainTabOrder(order + QList<QWidget*> { buttons.ok, buttons.cancel });

    connect(m_browse, &QPushButton::clicked, this, &FolderListDialog::browse);
    connect(buttons.ok, &QPushButton::clicked, this, &FolderListDialog::start);
}

void FolderListDialog::loadFolder()
{
    DirDialog& picker = m_env.folderPicker;
    picker.setFolder(ResolveUserFolder(m_env.settings.text(m_folderKey)));
    m_dirPath->setText(picker.folder());
    picker.setDrive(m_dirPath->text());
}

void FolderListDialog::browse()
{
    const QString folder
        = browseFolder(m_env.folderPicker, u"一覧リストを作るフォルダを選んでください。"_s, m_dirPath->text());
    // An empty box left empty stores nothing, so the stored folder is kept.
    if (folder.isEmpty())
        return;
    m_dirPath->setText(folder);
    m_env.settings.save(m_folderKey, folder);
}

void FolderListDialog::start()
{
    // Refused before anything is stored: an empty box names no folder to list.
    if (m_dirPath->text().trimmed().isEmpty()) {
        tell(u"一覧を作成するディレクトリを入力して下さい。"_s);
        m_dirPath->setFocus();
        return;
    }
    const NumberReading count = ReadNumber(countRule(), m_count->text());
    if (!count.ok()) {
        tell(count.message);
        m_count->setFocus();
        return;
    }
    // A relative folder is taken from where the save folder dialog takes it, and stored absolute.
    m_dirPath->setText(ResolveUserFolder(m_dirPath->text()));
    m_count->setText(count.text);

    for (const auto& [key, value] : startSettings())
        m_env.settings.save(key, value);

    done(Accepted);
    const IoStatus written = writePages(m_dirPath->text());
    if (!written && !written.declined) // declined: the user kept a file of theirs, and knows
        m_host.showMessage(written.error);
}

void FolderListDialog::tell(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, ProductName, text, QMessageBox::Ok, this);
    box.exec();
}
