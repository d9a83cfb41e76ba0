// MainWindow's controls: the buttons, the counters, the times, the address being worked on and
// the progress bar, laid out and connected to what they do, and enabled as a crawl runs or not.
#include "app/mainwindow.h"

#include "dialogs/makegraphviewdialog.h"
#include "dialogs/makelistdirdialog.h"
#include "dialogs/settingdialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

struct CounterRow {
    const char16_t* caption;
    const char16_t* toolTip;
};

constexpr CounterRow CounterRows[] = {
    { u"検出数", u"自動ダウンロードをしているサイトから検索されたファイルの数" },
    { u"ダウンロード数", u"ダウンロードしたファイルの数" },
    { u"検査済ファイル数", u"リンクがないか検索済みのファイルの数" },
    { u"障害数", u" 主に内部で発生したエラーの数 " },
    { u"予定ダウンロード数", u" ダウンロードするファイルの予定数 " },
    { u"エラーレスポンス数", u" Webサーバから取得したエラーの数 " },
};

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QString& toolTip)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    return button;
}

} // namespace

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* buttons = new QGridLayout;
    m_getFiles = makeButton(
        central, u"GetFiles"_s, u"ファイル取得"_s, u"新規にウエブサイトから自動ダウンロードを開始します"_s);
    m_resume = makeButton(central, u"Command2"_s, u"再開"_s, u"以前に途中停止した、自動ダウンロードを再開します"_s);
    m_stop = makeButton(central, u"StopBtm"_s, u"停止"_s, u" 自動ダウンロードしているのを停止します "_s);
    m_settingsButton
        = makeButton(central, u"Command1"_s, u"設定"_s, u"接続設定や内部で使用するバッファの量を指定します"_s);
    auto* listView = m_listButton = makeButton(
        central, u"IEView"_s, u"一覧表示"_s, u"現在・直前にダウンロードしたファイルをIEでリスト表示します。"_s);
    auto* dirList = makeButton(central, u"Command3"_s, u" ディリクトリ    一覧表示"_s,
        u"指定したフォルダにあるファイルをIEでリスト表示します。"_s);
    auto* imageList = makeButton(central, u"Command4"_s, u"    画像の      一覧表示"_s,
        u"指定したフォルダにある画像ファイルをIEでリスト表示します。"_s);
    auto* explore
        = makeButton(central, u"run_exp"_s, u"ｴｸｽﾌﾟﾛｰﾗ"_s, u"エクスプローラで保存先のディレクトリを開きます"_s);
    buttons->addWidget(m_getFiles, 0, 0);
    buttons->addWidget(m_resume, 0, 1);
    buttons->addWidget(m_stop, 0, 2);
    buttons->addWidget(m_settingsButton, 0, 3);
    buttons->addWidget(listView, 1, 0);
    buttons->addWidget(dirList, 1, 1);
    buttons->addWidget(imageList, 1, 2);
    buttons->addWidget(explore, 1, 3);
    buttons->setColumnStretch(4, 1);
    layout->addLayout(buttons);

    // Captions and values in two groups of three; the values keep beside their captions at any
    // width, and the space to the right takes what the window adds.
    auto* counters = new QGridLayout;
    const int valueWidth = fontMetrics().horizontalAdvance(u"00000000"_s);
    for (int i = 1; i <= 6; ++i) {
        auto* label = new QLabel(QString::fromUtf16(CounterRows[i - 1].caption), central);
        label->setObjectName(u"Label%1"_s.arg(i));
        label->setToolTip(QString::fromUtf16(CounterRows[i - 1].toolTip));
        auto* count = new QLabel(u"0"_s, central);
        count->setObjectName(u"Count%1"_s.arg(i));
        count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        count->setMinimumWidth(valueWidth);
        m_counts[size_t(i - 1)] = count;
        const int row = (i - 1) % 3;
        const int column = (i - 1) / 3 * 3;
        counters->addWidget(label, row, column);
        counters->addWidget(count, row, column + 1);
    }
    counters->setColumnMinimumWidth(2, 4 * fontMetrics().averageCharWidth());
    counters->setColumnStretch(5, 1);
    layout->addLayout(counters);

    m_time1 = new QLabel(u"開始時間"_s, central);
    m_time1->setObjectName(u"time1"_s);
    m_time2 = new QLabel(u"終了時間"_s, central);
    m_time2->setObjectName(u"time2"_s);
    m_elapsed = new QLabel(central);
    m_elapsed->setObjectName(u"ElapsedTime"_s);
    auto* times = new QHBoxLayout;
    times->addWidget(m_time1);
    times->addWidget(m_time2);
    times->addWidget(m_elapsed);
    times->addStretch(1);
    layout->addLayout(times);

    m_comment = new QLabel(central);
    m_comment->setObjectName(u"CommentLabel"_s);
    m_comment->setToolTip(u"現在取得中のアドレス"_s);
    m_comment->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_comment->setMinimumWidth(0);
    m_comment->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_comment);

    m_progress = new QProgressBar(central);
    m_progress->setObjectName(u"ProgressBar1"_s);
    m_progress->setRange(0, 1); // empty; busy (0 to 0) while a crawl runs
    m_progress->setTextVisible(false);
    layout->addWidget(m_progress);
    // How the last crawl ended, in one line that stays until the next one starts.
    m_summary = new QLabel(central);
    m_summary->setObjectName(u"Summary"_s);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_summary);
    layout->addStretch();
    setCentralWidget(central);

    connect(m_getFiles, &QPushButton::clicked, this, &MainWindow::getFilesClicked);
    connect(m_resume, &QPushButton::clicked, this, &MainWindow::resumeClicked);
    connect(m_stop, &QPushButton::clicked, this, [this] { m_state.StopRequested = true; });
    connect(m_settingsButton, &QPushButton::clicked, this, [this] { m_settingDialog->exec(); });
    connect(explore, &QPushButton::clicked, this, &MainWindow::exploreClicked);
    connect(listView, &QPushButton::clicked, this, &MainWindow::showDownloadList);
    connect(dirList, &QPushButton::clicked, this, [this] { m_listDirDialog->exec(); });
    connect(imageList, &QPushButton::clicked, this, [this] { m_graphViewDialog->exec(); });
    m_context.listDisplay = [this] { showDownloadList(); };
    m_stop->setEnabled(false);
    resize(560, 300);
}

void MainWindow::setRunning(bool running)
{
    m_running = running;
    m_getFiles->setEnabled(!running);
    m_settingsButton->setEnabled(!running);
    m_resume->setEnabled(!running);
    m_stop->setEnabled(running);
}
