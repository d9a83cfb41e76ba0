#include "cli/commandline.h"

#include "cli/argumentreader.h"
#include "cli/crawloptions.h"
#include "cli/listoptions.h"
#include "platform/filesystem.h"
#include "settings/settingskeys.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;
namespace K = SettingsKeys;

namespace {

// A folder named on the command line, absolute, in native separators and ending in one.
QString absoluteFolder(const QString& folder)
{
    return WithFinalSeparator(ToNativeSeparators(QFileInfo(folder).absoluteFilePath()), EmptyFolder::BecomesRoot);
}

bool readAddress(ArgumentReader& r, const QString& address)
{
    if (address.isEmpty())
        return r.fail(u"サイトトップのアドレスを入力して下さい。"_s);
    if (!address.startsWith(u"http://"_s) && !address.startsWith(u"https://"_s))
        return r.fail(u"アドレスが不正です。"_s);
    r.command.address = address;
    return true;
}

} // namespace

Command ParseCommandLine(const QStringList& args)
{
    Command command;
    ArgumentReader r { args, 0, command };
    const QString verb = r.next();
    if (verb.isEmpty() || verb == u"--help"_s || verb == u"-h"_s || args.contains(u"--help"_s)) {
        command.kind = Command::Help;
        return command;
    }
    const bool lists = verb == u"list"_s;
    const QStringList valueOptions = lists ? ListValueOptions
        : verb == u"crawl"_s               ? CrawlValueOptions
        : verb == u"resume"_s              ? ResumeValueOptions
                                           : QStringList();
    QStringList positionals;
    QStringList options;
    if (!SplitArguments(r, valueOptions, positionals, options))
        return command;
    ArgumentReader o { options, 0, command };
    if (verb == u"crawl"_s) {
        command.kind = Command::Crawl;
        if (!readAddress(r, positionals.value(0)))
            return command;
        const QString folder = positionals.value(1);
        if (folder.isEmpty()) {
            r.fail(u"保存先のフォルダを指定してください。"_s);
            return command;
        }
        if (!NoMorePositionals(r, positionals, 2) || !ReadCrawlOptions(o))
            return command;
        command.folder = absoluteFolder(folder);
        command.createFolder = !QFileInfo(command.folder).isDir();
        command.settings.prepend({ K::SaveFolder, command.folder });
        command.settings.prepend({ K::SiteAddress, command.address });
        return command;
    }
    if (verb == u"resume"_s) {
        command.kind = Command::Resume;
        const QString folder = positionals.value(0);
        if (folder.isEmpty()) {
            r.fail(u"保存先のフォルダを指定してください。"_s);
            return command;
        }
        if (!NoMorePositionals(r, positionals, 2) || !ReadResumeOptions(o))
            return command;
        command.folder = absoluteFolder(folder);
        command.address = positionals.value(1);
        command.settings.prepend({ K::SaveFolder, command.folder });
        return command;
    }
    if (lists) {
        const QString what = positionals.value(0);
        if (what == u"downloads"_s) {
            command.kind = Command::ListDownloads;
            if (!NoMorePositionals(r, positionals, 1))
                return command;
            while (o.more()) {
                const QString option = o.next();
                if (option != u"--no-open"_s) {
                    o.fail(u"不明なオプションです: "_s + option);
                    break;
                }
                command.noOpen = true;
            }
            return command;
        }
        if (what == u"dir"_s || what == u"images"_s) {
            const bool images = what == u"images"_s;
            command.kind = images ? Command::ListImages : Command::ListDir;
            const QString folder = positionals.value(1);
            if (folder.isEmpty()) {
                r.fail(u"一覧を作成するディレクトリを指定してください。"_s);
                return command;
            }
            if (!NoMorePositionals(r, positionals, 2))
                return command;
            command.folder = absoluteFolder(folder);
            command.settings.append({ images ? K::MakeGraphDirPath : K::MakeDirPath, command.folder });
            ReadListOptions(o, images);
            return command;
        }
        r.fail(u"list の次は downloads、dir または images です。"_s);
        return command;
    }
    r.fail(u"不明なコマンドです: "_s + verb);
    return command;
}
