#include "dialogs/getrestartformdialog.h"

#include "crawl/crawlstate.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "dialogs/getrestartlistdialog.h"
#include "platform/filesystem.h"
#include "platform/userfolders.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The resume list's name is appended straight to the folder, so the folder must end in a separator.
QString withFinalSeparator(const QString& folder)
{
    if (folder.isEmpty() || IsFolderSeparator(folder.back()))
        return folder;
    return folder + NativeSeparator();
}

} // namespace

GetReStartFormDialog::GetReStartFormDialog(DialogEnvironment& env, GetRestartListDialog& list, QWidget* parent)
    : QDialog(parent)
    , m_env(env)
    , m_list(list)
{
    const QString caption = u"中断したダウンロード先フォルダを選択してください"_s;
    setObjectName(u"GetReStartFormDialog"_s);
    setWindowTitle(caption);
    setModal(true);

    auto* label1 = new QLabel(caption, this);
    label1->setObjectName(u"Label1"_s);
    m_savePath = new QLineEdit(this);
    m_savePath->setObjectName(u"SavePath"_s);
    m_browse = new QPushButton(u"参照"_s, this);
    m_browse->setObjectName(u"DirDlg"_s);
    m_browse->setAutoDefault(false);
    m_ok = new QPushButton(u"OK"_s, this);
    m_ok->setObjectName(u"OKButton"_s);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(u"ｷｬﾝｾﾙ"_s, this);
    m_cancel->setObjectName(u"CancelButton"_s);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_savePath, 1);
    folderRow->addWidget(m_browse);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addLayout(folderRow);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(m_savePath, m_browse);
    setTabOrder(m_browse, m_ok);
    setTabOrder(m_ok, m_cancel);

    connect(m_browse, &QPushButton::clicked, this, &GetReStartFormDialog::browseClicked);
    connect(m_ok, &QPushButton::clicked, this, &GetReStartFormDialog::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &GetReStartFormDialog::reject);
}

QString GetReStartFormDialog::savePath() const
{
    return m_savePath->text();
}

int GetReStartFormDialog::exec()
{
    // Any way out but OK cancels the resume.
    m_env.crawl.StopRequested = true;
    if (m_needsLoad) {
        m_needsLoad = false;
        m_savePath->setText(m_env.settings.get(SettingsKeys::SaveFolder, SettingsDefaults::HomeSaveFolder()));
    }
    m_savePath->setFocus();
    return QDialog::exec();
}

void GetReStartFormDialog::reject()
{
    m_env.crawl.StopRequested = true;
    QDialog::reject();
}

void GetReStartFormDialog::closeEvent(QCloseEvent* event)
{
    // The close box drops what was typed: the next opening shows the stored folder again.
    m_needsLoad = true;
    m_env.crawl.StopRequested = true;
    QDialog::closeEvent(event);
}

void GetReStartFormDialog::browseClicked()
{
    DirDialog& picker = m_env.folderPicker;
    picker.setWindowTitle(u"保存先のフォルダを選んでください。"_s);
    // A folder that no longer exists leaves the picker where it was.
    picker.setFolder(m_savePath->text());
    picker.setDrive(m_savePath->text());
    picker.exec();
    if (picker.isOK())
        m_savePath->setText(picker.folder());
    m_savePath->setText(withFinalSeparator(m_savePath->text()));
    m_env.settings.save(SettingsKeys::SaveFolder, m_savePath->text());
}

void GetReStartFormDialog::okClicked()
{
    m_env.crawl.StopRequested = false;
    // A folder typed without its final separator would name a file beside the folder, not in it;
    // a relative one is taken from where the save folder dialog takes it.
    m_savePath->setText(withFinalSeparator(ResolveUserFolder(m_savePath->text())));
    m_env.settings.save(SettingsKeys::SaveFolder, m_savePath->text());
    done(Accepted);
    m_list.setSaveFolder(m_savePath->text());
    m_list.exec();
}
