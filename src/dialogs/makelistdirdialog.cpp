#include "dialogs/makelistdirdialog.h"

#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
#include "pages/folderlist.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace Qt::StringLiterals;

MakeListDirDialog::MakeListDirDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent)
    : FolderListDialog(env, host,
        {
            .dialogName = u"MakeListDirDialog"_s,
            .title = u"ディリクトリ一覧表示"_s,
            .folderBox = u"MakeDirPath"_s,
            .extsBox = u"MakeListExts"_s,
            .fileNameBox = u"MakeListFileName"_s,
            .countBox = u"MakeListFileCount"_s,
            .countTip = u"１ページに表示するファイル数です。"_s,
            .countLabel = u"ページファイル数"_s,
            .countUnit = u"個"_s,
            .subDirCheck = u"MakeSubDirCheck"_s,
            .folderKey = SettingsKeys::MakeDirPath,
        },
        parent)
{
    m_aviMov = makeCheck(this, u"MakeAviMovCheck"_s, u"ムービーを表示"_s);
    m_swfDcr = makeCheck(this, u"MakeSwfDcrCheck"_s, u"SWF・DCRを表示"_s, u"Flash・Directorムービーを表示します"_s);
    finishLayout({ m_aviMov, m_swfDcr }, QSize(480, 320));
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
        { SettingsKeys::MakeListFileCount, m_count->text() },
    };
}

void MakeListDirDialog::load()
{
    SettingsStore& settings = m_env.settings;
    loadFolder();
    m_fileName->setText(settings.text(SettingsKeys::MakeListFileName));
    m_exts->setText(settings.text(SettingsKeys::MakeListExts));
    m_count->setText(settings.text(SettingsKeys::MakeListFileCount));
    m_subDir->setChecked(settings.flag(SettingsKeys::MakeSubDirCheck));
    m_aviMov->setChecked(settings.flag(SettingsKeys::MakeAviMovCheck));
    m_swfDcr->setChecked(settings.flag(SettingsKeys::MakeSwfDcrCheck));
}

const NumberRule& MakeListDirDialog::countRule() const
{
    return NumberRules::MakeListFileCount;
}

IoStatus MakeListDirDialog::writePages(const QString& folder)
{
    return MakeDirList(m_env.settings, m_host, folder);
}
