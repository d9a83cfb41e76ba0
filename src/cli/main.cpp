// fetchwright-cli: the crawl, resume and list pages of Fetchwright for scripts and machines without
// a screen, on the same settings and files as the window.
#include "address/addressfunctions.h"
#include "cli/commandline.h"
#include "cli/helptext.h"
#include "cli/terminalhost.h"
#include "crawl/crawlrun.h"
#include "crawl/transport.h"
#include "pages/downloadlist.h"
#include "pages/folderlist.h"
#include "platform/clock.h"
#include "platform/shell.h"
#include "platform/terminal.h"
#include "productnames.h"
#include "records/resumerecord.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/localpath.h"
#include "transfer/lookaheadtransfercontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QStorageInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

// A site folder held by another program counts as invalid input: nothing was done, and the same
// command succeeds once that program is done.
enum ExitStatus { Finished = 0, Failed = 1, InvalidInput = 2, Stopped = 3 };

void storeSettings(SettingsStore& settings, const Command& command)
{
    settings.saveAll(command.settings);
}

int runCrawl(const Command& command, SettingsStore& settings, TerminalHost& host)
{
    CrawlState state;
    LookAheadTransferControl transfer;
    SystemClock clock;
    CrawlContext context(state, host, transfer, settings, clock);
    transfer.setStateHandler([&context](int changed) { OnTransferStateChanged(context, changed); });
    context.listDisplay = [&settings, &host] { IEView_Click(settings, host); };
    host.watchSignals(state);

    const QString started = LongTimeText(clock.now().time());
    CrawlOutcome outcome;
    if (command.kind == Command::Crawl) {
        QString top = command.address;
        outcome = StartCrawl(context, top);
    } else {
        state.SaveDir = command.folder;
        const QStringList sites = ReadResumeList(ResumeListPath(command.folder)).value_or(QStringList());
        QString chosen = sites.value(0);
        if (!command.address.isEmpty()) {
            QString wanted = command.address;
            EnsureHostSlash(wanted);
            chosen.clear();
            for (const QString& site : sites)
                if (HostOf(site) == HostOf(wanted)) {
                    chosen = site;
                    break;
                }
        }
        if (chosen.isEmpty()) {
            host.showMessage(u"再開するリストが見つかりません"_s);
            return InvalidInput;
        }
        state.SiteDir = SiteDirOf(command.folder, chosen);
        // An option given to the resume changes the crawl from here on; else it goes on as it started.
        std::optional<bool> moreLinks;
        for (const auto& [key, value] : command.settings)
            if (key == SettingsKeys::MoreLinks)
                moreLinks = value == u"1"_s;
        outcome = ResumeCrawl(context, state.SiteDir, moreLinks);
    }
    transfer.setStateHandler({});
    const QString ended = LongTimeText(clock.now().time());

    host.endStatusLine();
    // The host has shown the reason of a run that did not run.
    if (outcome.kind == CrawlOutcome::InUse)
        return InvalidInput;
    if (outcome.kind == CrawlOutcome::Declined || outcome.kind == CrawlOutcome::Failed)
        return Failed;
    QTextStream out(stdout);
    out << outcome.caption() << Qt::endl
        << host.countersLine()
        << (state.RobotsRefusals > 0 ? u"（うちrobots.txtで禁止 %1）"_s.arg(state.RobotsRefusals) : QString())
        << Qt::endl
        << u"開始時間 "_s << started << u"  終了時間 "_s << ended << Qt::endl;
    return outcome.kind == CrawlOutcome::Stopped ? Stopped : Finished;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    PrepareTerminalOutput();
    QCoreApplication::setOrganizationName(MakerName);
    QCoreApplication::setApplicationName(ProductName);
    const Command command = ParseCommandLine(app.arguments().mid(1));
    QTextStream err(stderr);
    if (command.kind == Command::Help) {
        QTextStream(stdout) << HelpText();
        return Finished;
    }
    if (command.kind == Command::Invalid) {
        err << command.error << Qt::endl << u"fetchwright-cli --help で使い方を表示します。"_s << Qt::endl;
        return InvalidInput;
    }

    SettingsStore settings;
    DesktopShell shell;
    TerminalHost host(shell, StandardErrorIsTerminal(), command.yes, !command.noOpen);

    // Limits no file can meet, the command's own or with those stored, are refused before anything
    // changes.
    if (command.kind == Command::Crawl) {
        const auto given = [&command, &settings](const QString& key, int shown) {
            QString value = settings.get(key, QString::number(shown));
            for (const auto& [name, text] : command.settings)
                if (name == key)
                    value = text;
            return value;
        };
        const QString problem = SizeLimitsProblem(given(SettingsKeys::MinSize, SettingsDefaults::MinSizeKb),
            given(SettingsKeys::MaxSize, SettingsDefaults::MaxSizeKb));
        if (!problem.isEmpty()) {
            err << problem << Qt::endl;
            return InvalidInput;
        }
    }

    if (command.createFolder) {
        if (!QDir().mkpath(command.folder)) {
            err << command.folder << u" を作成できません。"_s << Qt::endl;
            return Failed;
        }
    }
    storeSettings(settings, command);
    // What the options did not say is taken as the window's dialog would show it.
    if (command.kind == Command::Crawl) {
        settings.saveShown(SettingsKeys::CrawlOptions);
        settings.save(SettingsKeys::SaveDrive, QStorageInfo(command.folder).rootPath());
    } else if (command.kind == Command::ListDir) {
        settings.saveShown(SettingsKeys::DirListOptions);
    } else if (command.kind == Command::ListImages) {
        settings.saveShown(SettingsKeys::ImageListOptions);
    }

    switch (command.kind) {
    case Command::Crawl:
    case Command::Resume:
        return runCrawl(command, settings, host);
    case Command::ListDownloads:
        switch (IEView_Click(settings, host).kind) {
        case CrawlOutcome::Finished:
            return Finished;
        case CrawlOutcome::InUse:
        case CrawlOutcome::Declined: // a file of the user's where a page would go
            return InvalidInput;
        default:
            return Failed;
        }
    case Command::ListDir:
    case Command::ListImages: {
        const IoStatus written = command.kind == Command::ListDir ? MakeDirList(settings, host, command.folder)
                                                                  : MakeGraphList(settings, host, command.folder);
        if (written.declined) // told by the host already
            return InvalidInput;
        if (!written) {
            err << written.error << Qt::endl;
            return Failed;
        }
        return Finished;
    }
    default:
        return Failed;
    }
}
