#include "dialogs/getrestartlistdialog.h"

#include "crawl/crawlstate.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dialogwidgets.h"
#include "productnames.h"
#include "records/resumerecord.h"

#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

GetRestartListDialog::GetRestartListDialog(DialogEnvironment& env, QWidget* parent)
    : QDialog(parent)
    , m_env(env)
{
    setObjectName(u"GetRestartListDialog"_s);
    setWindowTitle(u"再開するアドレスを選択してください"_s);
    setModal(true);

    m_list = new QListWidget(this);
    m_list->setObjectName(u"ListView1"_s);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* save = makeButton(this, u"SAVE"_s, u"保存"_s);
    auto* remove = makeButton(this, u"DELETE"_s, u"削除"_s);
    const ButtonRow buttons = makeButtonRow(this, u"開始"_s, CancelOnEnter::WhenFocused, { save, remove });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons.layout);

    chainTabOrder({ m_list, save, remove, buttons.ok, buttons.cancel });

    connect(save, &QPushButton::clicked, this, &GetRestartListDialog::saveClicked);
    connect(remove, &QPushButton::clicked, this, &GetRestartListDialog::deleteClicked);
    connect(buttons.ok, &QPushButton::clicked, this, &GetRestartListDialog::startClicked);
}

void GetRestartListDialog::setSaveFolder(const QString& folder)
{
    m_saveFolder = folder;
}

QString GetRestartListDialog::selectedAddress() const
{
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->isSelected())
            return m_list->item(row)->text();
    return QString();
}

QStringList GetRestartListDialog::addresses() const
{
    QStringList lines;
    for (int row = 0; row < m_list->count(); ++row)
        lines.append(m_list->item(row)->text());
    return lines;
}

int GetRestartListDialog::exec()
{
    // Nothing resumes unless Start is pressed with a line selected.
    m_env.crawl.StopRequested = true;
    m_list->clear();
    // Read anew at every opening, so the list is always that of the folder chosen just before.
    if (!m_saveFolder.isEmpty()) {
        const QStringList lines = ReadResumeList(ResumeListPath(m_saveFolder)).value_or(QStringList());
        for (const QString& line : lines)
            if (!line.trimmed().isEmpty())
                m_list->addItem(line);
    }
    if (m_list->count() == 0) {
        QMessageBox::information(parentWidget(), ProductName, u"再開するリストが見つかりません"_s, QMessageBox::Ok);
        setResult(Rejected);
        return Rejected;
    }
    m_list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    m_list->setFocus();
    return QDialog::exec();
}

void GetRestartListDialog::deleteClicked()
{
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->isSelected()) {
            delete m_list->takeItem(row);
            return;
        }
    }
}

void GetRestartListDialog::saveClicked()
{
    const IoStatus status = WriteResumeList(ResumeListPath(m_saveFolder), addresses());
    if (!status)
        QMessageBox::warning(this, ProductName, status.error, QMessageBox::Ok);
}

void GetRestartListDialog::startClicked()
{
    // A click on empty space clears the selection; Start would then resume nothing, silently.
    // An emptied list has nothing to choose: Start saves it and closes.
    if (m_list->count() > 0 && selectedAddress().isEmpty()) {
        QMessageBox::information(
            this, ProductName, u"再開するアドレスが選択されていません。一覧から選んでください。"_s, QMessageBox::Ok);
        m_list->setFocus();
        return;
    }
    if (!selectedAddress().isEmpty())
        m_env.crawl.StopRequested = false;
    // The deletions reach the file also when nothing is resumed.
    saveClicked();
    done(Accepted);
}
