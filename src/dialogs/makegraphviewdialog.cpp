#include "dialogs/makegraphviewdialog.h"

#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
#include "pages/folderlist.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace {

const QString RowsLabel = u"ページ行数"_s;
const QString RowsUnit = u"行（1行5画像)"_s;
const QString ImagesLabel = u"ページ画像数"_s;
const QString ImagesUnit = u"個"_s;

} // namespace

MakeGraphViewDialog::MakeGraphViewDialog(DialogEnvironment& env, CrawlHost& host, QWidget* parent)
    : FolderListDialog(env, host,
        {
            .dialogName = u"MakeGraphViewDialog"_s,
            .title = u"画像の一覧表示"_s,
            .folderBox = u"MakeGraphDirPath"_s,
            .extsBox = u"MakeGraphListExts"_s,
            .fileNameBox = u"MakeGraphListFileName"_s,
            .countBox = u"MakeGraphMinNLine"_s,
            .countTip = u"１ページに表示する画像の数又は行数です。１行は５画像含まれます。"_s,
            .countLabel = RowsLabel,
            .countUnit = RowsUnit,
            .subDirCheck = u"MakeGraphSubDirCheck"_s,
            .folderKey = SettingsKeys::MakeGraphDirPath,
        },
        parent)
{
    m_thumbnails = makeCheck(
        this, u"MakeGraphMinCheck"_s, u"縮小した一覧を作る"_s, u"画像を縮小してテーブル形式で並べて表示します。"_s);
    finishLayout({ m_thumbnails }, QSize(480, 300));
    // clicked, not toggled: the load sets the box and then switches once by itself.
    connect(m_thumbnails, &QCheckBox::clicked, this, &MakeGraphViewDialog::switchLayout);
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
    loadFolder();
    m_fileName->setText(settings.text(SettingsKeys::MakeGraphListFileName));
    m_exts->setText(settings.text(SettingsKeys::MakeGraphListExts));
    m_subDir->setChecked(settings.flag(SettingsKeys::MakeGraphSubDirCheck));
    m_thumbnails->setChecked(settings.flag(SettingsKeys::MakeGraphMinCheck));
    switchLayout();
}

const NumberRule& MakeGraphViewDialog::countRule() const
{
    return m_thumbnails->isChecked() ? NumberRules::MakeGraphMinNLine : NumberRules::MakeGraphListCount;
}

IoStatus MakeGraphViewDialog::writePages(const QString& folder)
{
    return MakeGraphList(m_env.settings, m_host, folder);
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
