#include "dialogs/getrestartformdialog.h"

#include "crawl/crawlstate.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
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

GetReStartFormDialog::GetReStartFormDialog(DialogEnvironment& env, GetRestartListDialog& list, QWidget* parent)
    : QDialog(parent)
    , m_env(env)
    , m_list(list)
{
    const QString caption = u"中断したダウンロード先フォルダを選択してください"_s;
    setObjectName(u"GetReStartFormDialog"_s);
    setWindowTitle(caption);
    setModal(true);

    auto* label1 = makeLabel(this, u"Label1"_s, caption);
    m_savePath = makeValueBox(this, u"SavePath"_s, TypicalValues::Folder);
    auto* browse = makeSideButton(this, u"DirDlg"_s, u"参照"_s);
    const ButtonRow buttons = makeButtonRow(this, u"OK"_s, CancelOnEnter::WhenFocused);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_savePath, 1);
    folderRow->addWidget(browse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addLayout(folderRow);
    layout->addStretch(1);
    layout->addLayout(buttons.layout);
    resizeToContents(this);

    chainTabOrder({ m_savePath, browse, buttons.ok, buttons.cancel });

    connect(browse, &QPushButton::clicked, this, &GetReStartFormDialog::browseClicked);
    connect(buttons.ok, &QPushButton::clicked, this, &GetReStartFormDialog::okClicked);
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
    m_savePath->setText(browseFolder(m_env.folderPicker, u"保存先のフォルダを選んでください。"_s, m_savePath->text()));
    m_env.settings.save(SettingsKeys::SaveFolder, m_savePath->text());
}

void GetReStartFormDialog::okClicked()
{
    m_env.crawl.StopRequested = false;
    // The resume list's name is appended straight to the folder: without its final separator the
    // folder would name a file beside the folder, not in it. A relative folder is taken from where
    // the save folder dialog takes it.
    m_savePath->setText(WithFinalSeparator(ResolveUserFolder(m_savePath->text()), EmptyFolder::StaysEmpty));
    m_env.settings.save(SettingsKeys::SaveFolder, m_savePath->text());
    done(Accepted);
    m_list.setSaveFolder(m_savePath->text());
    m_list.exec();
}
