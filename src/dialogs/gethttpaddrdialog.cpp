#include "dialogs/gethttpaddrdialog.h"

#include "crawl/crawlstate.h"
#include "dialogs/deepaddrdialog.h"
#include "dialogs/dialogwidgets.h"
#include "dialogs/dirdialog.h"
#include "platform/filesystem.h"
#include "platform/userfolders.h"
#include "productnames.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

using namespace Qt::StringLiterals;

GetHttpAddrDialog::GetHttpAddrDialog(DialogEnvironment& env, DeepAddrDialog& deep, QWidget* parent)
    : LoadingDialog(parent)
    , m_env(env)
    , m_deep(deep)
{
    setObjectName(u"GetHttpAddrDialog"_s);
    setWindowTitle(u"ダウンロード元とダウンロード先"_s);

    // Widgets are made in their visual order, which is also the tab order.
    m_siteAddress = makeValueBox(this, u"SiteAddress"_s, TypicalValues::Address);
    m_siteAddress->setText(u"http://www.example.com/"_s);
    auto* label1
        = makeLabel(this, u"Label1"_s, u"最後が特定のファイル名でない場合必ず/（半角ｽﾗｯｼｭ）を入れてください"_s);
    label1->setWordWrap(true);
    auto* label2 = makeLabel(this, u"Label2"_s, u"ダウンロード先フォルダの選択"_s);
    m_savePath = makeValueBox(this, u"SavePath"_s, TypicalValues::Folder);
    auto* browseButton = makeSideButton(this, u"DirDlg"_s, u"参照"_s);
    const ButtonRow buttons = makeButtonRow(this, u"OK"_s, CancelOnEnter::Never);

    auto* grid = new QGridLayout;
    grid->addWidget(m_siteAddress, 0, 0, 1, 2);
    grid->addWidget(label1, 1, 0, 1, 2);
    grid->addWidget(label2, 2, 0, 1, 2);
    grid->addWidget(m_savePath, 3, 0);
    grid->addWidget(browseButton, 3, 1);
    grid->setColumnStretch(0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons.layout);
    resizeToContents(this, QSize(480, 200));

    connect(browseButton, &QPushButton::clicked, this, &GetHttpAddrDialog::browse);
    connect(buttons.ok, &QPushButton::clicked, this, &GetHttpAddrDialog::confirm);
}

void GetHttpAddrDialog::reject()
{
    // Cancel, Escape and (through QDialog's close handling) the close box: no crawl.
    m_env.crawl.StopRequested = true;
    done(Rejected);
}

void GetHttpAddrDialog::opening()
{
    // Set at every opening, so any way out but the options dialog's OK cancels the crawl.
    m_env.crawl.StopRequested = true;
}

void GetHttpAddrDialog::opened()
{
    if (!m_presetAddress.isEmpty())
        m_siteAddress->setText(std::exchange(m_presetAddress, QString()));
    m_siteAddress->selectAll();
    m_siteAddress->setFocus();
}

void GetHttpAddrDialog::closeEvent(QCloseEvent* event)
{
    m_env.crawl.StopRequested = true;
    LoadingDialog::closeEvent(event);
}

void GetHttpAddrDialog::load()
{
    SettingsStore& settings = m_env.settings;
    DirDialog& picker = m_env.folderPicker;
    m_siteAddress->setText(settings.get(SettingsKeys::SiteAddress, SettingsDefaults::SiteAddressInDialog));
    // A stored folder that is gone leaves the picker where it was, and the box shows that; with
    // no folder there either (the first run), a folder the user keeps downloads in is offered.
    if (!picker.setFolder(ResolveUserFolder(settings.text(SettingsKeys::SaveFolder))) && picker.folder().isEmpty())
        picker.setFolder(DefaultSaveFolder());
    m_savePath->setText(picker.folder());
    picker.setDrive(settings.text(SettingsKeys::SaveDrive));
}

void GetHttpAddrDialog::browse()
{
    const QString savePath
        = browseFolder(m_env.folderPicker, u"保存先のフォルダを選んでください。"_s, m_savePath->text());
    // An empty box left empty stores nothing, so the stored folder is kept.
    if (savePath.isEmpty())
        return;
    m_savePath->setText(savePath);
    m_env.settings.save(SettingsKeys::SaveFolder, savePath);
}

void GetHttpAddrDialog::confirm()
{
    // Blanks and line breaks around a pasted address or folder can mean nothing else.
    const QString address = m_siteAddress->text().trimmed();
    m_siteAddress->setText(address);
    if (address.isEmpty()) {
        ask(u"サイトトップのアドレスを入力して下さい。"_s, false);
        m_siteAddress->setFocus();
        return;
    }
    if (!address.startsWith(u"http://"_s) && !address.startsWith(u"https://"_s)) {
        ask(u"アドレスが不正です。"_s, false);
        m_siteAddress->setFocus();
        return;
    }
    m_savePath->setText(m_savePath->text().trimmed());
    // Refused before anything is stored: an empty folder would be created and saved as the root.
    if (m_savePath->text().isEmpty()) {
        ask(u"ダウンロード先フォルダを入力して下さい。"_s, false);
        m_savePath->setFocus();
        return;
    }
    const std::optional<QString> savePath = settleSaveFolder(ResolveUserFolder(m_savePath->text()));
    if (!savePath) {
        m_savePath->setFocus();
        return;
    }
    m_sitesTopAddr = address;
    m_env.settings.save(SettingsKeys::SiteAddress, address);
    m_savePath->setText(*savePath);
    m_env.settings.save(SettingsKeys::SaveFolder, *savePath);
    // The drive stored is the save folder's, also when that folder was only just created.
    m_env.folderPicker.setDrive(*savePath);
    m_env.settings.save(SettingsKeys::SaveDrive, m_env.folderPicker.drive());

    // StopRequested stays set: only the options dialog's OK clears it.
    done(Accepted);
    m_deep.setTopAddress(m_sitesTopAddr);
    m_deep.exec();
}

std::optional<QString> GetHttpAddrDialog::settleSaveFolder(QString savePath)
{
    // A folder the crawl could not write to is found out here, before the options are asked for.
    const auto refuse = [this](const QString& path, const QString& reason) {
        ask(ToNativeSeparators(path) + u"\r\n"_s + reason, false);
        return std::nullopt;
    };
    if (QFileInfo(savePath).exists() && !QFileInfo(savePath).isDir())
        return refuse(savePath, u"はファイルです。保存先のフォルダを指定して下さい。"_s);
    if (!m_env.folderPicker.setFolder(savePath)) {
        if (ask(savePath + u"\r\n"_s + u"は存在しません、作成しますか？"_s, true) != QMessageBox::Ok)
            return std::nullopt;
        savePath = createSaveFolder(savePath);
        if (!QFileInfo(savePath).isDir() || !m_env.folderPicker.setFolder(savePath))
            return refuse(savePath, u"を作成できません。別のフォルダを指定して下さい。"_s);
    }
    if (!FolderWritable(savePath))
        return refuse(savePath, u"に書き込めません。別のフォルダを指定して下さい。"_s);
    return WithFinalSeparator(savePath, EmptyFolder::StaysEmpty);
}

QString GetHttpAddrDialog::createSaveFolder(const QString& typed) const
{
    // Level by level below the root (a drive or a network share, which cannot be made), each
    // level's failure ignored (it may exist). Empty parts (doubled or final separators) add no
    // level, so the text never ends in two.
    const QString native = ToNativeSeparators(typed);
    QString path = FolderRoot(native);
    for (const QString& part : native.mid(path.size()).split(NativeSeparator(), Qt::SkipEmptyParts)) {
        path += part + NativeSeparator();
        QDir().mkdir(path);
    }
    return path;
}

int GetHttpAddrDialog::ask(const QString& text, bool withCancel)
{
    QMessageBox box(withCancel ? QMessageBox::Question : QMessageBox::NoIcon, ProductName, text,
        withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
    return box.exec();
}
