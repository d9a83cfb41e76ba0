// The command-line crawler side by side with wget and curl on the same local nginx, as whole
// processes: each job runs ours and theirs in turn (A B A B ...), every run in a fresh folder, and
// prints the median wall, user and system seconds, peak memory, and the median of the pair-by-pair
// wall ratios, so a machine whose speed drifts during the run still compares fairly.
//   bench_sidebyside [--runs N] [--only crawl|ranged|links] [--gib] [--connections N]
//   bench_sidebyside --write-sites DIR      (only writes the sites, for profiling by hand)
// Ours runs on one connection unless --connections says otherwise.
// Jobs:
//   crawl   a generated 600-page / 3,000-image site, images to depth 3, against wget -r -l 3 -np
//   ranged  a 256 MiB and (with --gib) a 1 GiB file in 1 MiB ranged pieces, against curl -o
//   links   sites of 5,000 and 100,000 links (HEAD probes and queue records only): ours alone, the
//           cost per link must not grow with the site
#include "support/nginxfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    double wall = 0;
    double user = 0;
    double sys = 0;
    double peakMiB = 0;
    int status = 0;
};

double now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs argv as a child with its output thrown away and environment additions, measured by wait4.
Run runMeasured(const QStringList& args, const QStringList& environment)
{
    std::vector<QByteArray> storage;
    for (const QString& arg : args)
        storage.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envStorage;
    for (const QString& entry : environment)
        envStorage.push_back(entry.toLocal8Bit());

    Run run;
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        for (QByteArray& entry : envStorage)
            putenv(entry.data());
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    run.wall = now() - start;
    run.user = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6;
    run.sys = double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
    run.peakMiB = double(usage.ru_maxrss) / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One side of a comparison: the arguments of a run in a given fresh folder.
struct Side {
    QString name;
    std::function<QStringList(const QString& folder)> args;
    std::function<QStringList(const QString& folder)> environment = [](const QString&) { return QStringList(); };
    std::vector<Run> runs {};
};

void printSide(const Side& side, double units, const char* unitName)
{
    std::vector<double> wall, user, sys, peak;
    int failures = 0;
    for (const Run& run : side.runs) {
        wall.push_back(run.wall);
        user.push_back(run.user);
        sys.push_back(run.sys);
        peak.push_back(run.peakMiB);
        failures += run.status != 0 && run.status != 8; // wget says 8 for any 404 it met
    }
    std::printf("  %-34s wall %7.3f s  user %7.3f s  sys %7.3f s  peak %7.1f MiB", qPrintable(side.name), median(wall),
        median(user), median(sys), median(peak));
    if (units > 0)
        std::printf("  %7.1f us/%s", median(wall) * 1e6 / units, unitName);
    if (failures)
        std::printf("  (%d runs failed)", failures);
    std::printf("\n");
}

// Runs the sides in turn, runs times each after one warm-up round, each run in a new folder.
void compare(std::vector<Side>& sides, int runs, double units = 0, const char* unitName = "")
{
    for (int round = -1; round < runs; ++round) {
        for (Side& side : sides) {
            QTemporaryDir folder(QDir::currentPath() + u"/run-XXXXXX"_s);
            // The last run's writes reach the disk first, so that no run pays for the one before.
            ::sync();
            const Run run = runMeasured(side.args(folder.path()), side.environment(folder.path()));
            if (round >= 0)
                side.runs.push_back(run);
        }
    }
    for (const Side& side : sides)
        printSide(side, units, unitName);
    for (size_t other = 1; other < sides.size(); ++other) {
        std::vector<double> ratios;
        for (size_t i = 0; i < sides[0].runs.size(); ++i)
            ratios.push_back(sides[0].runs[i].wall / sides[other].runs[i].wall);
        std::sort(ratios.begin(), ratios.end());
        std::printf("  wall ratio %s / %s: median %.2f (min %.2f, max %.2f)\n", qPrintable(sides[0].name),
            qPrintable(sides[other].name), median(ratios), ratios.front(), ratios.back());
    }
    std::fflush(stdout);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// 1 top page, 24 section pages and 24 pages in each section: 601 pages, and on each page but the
// top 5 images (3,000). Every page links back up, so most links are known already.
bool makeImageSite(const QString& root)
{
    const char* const kinds[] = { "gif", "jpg", "png" };
    int image = 0;
    const auto page = [&](const QString& path, QByteArray body, const QByteArray& prefix) {
        for (int i = 0; i < 5; ++i, ++image) {
            const QByteArray name = prefix + '_' + QByteArray::number(i) + '.' + kinds[image % 3];
            body += "<img src=\"img/" + name + "\">\n";
            if (!writeFile(QFileInfo(path).path() + u"/img/"_s + QString::fromLatin1(name),
                    QByteArray(1024 + (image * 397) % 7168, char('a' + image % 26))))
                return false;
        }
        return writeFile(path, body + "</body></html>\n");
    };
    QByteArray top = "<html><body>\n";
    for (int s = 0; s < 24; ++s) {
        const QString section = root + u"/site/s"_s + QString::number(s);
        top += "<a href=\"s" + QByteArray::number(s) + "/index.html\">section</a>\n";
        QByteArray sectionPage = "<html><body><a href=\"../index.html\">top</a>\n";
        for (int p = 0; p < 24; ++p) {
            const QByteArray name = "p" + QByteArray::number(p);
            sectionPage += "<a href=\"" + name + ".html\">page</a>\n";
            if (!page(section + u'/' + QString::fromLatin1(name) + u".html"_s,
                    "<html><body><a href=\"index.html\">up</a><a href=\"../index.html\">top</a>\n", name))
                return false;
        }
        if (!page(section + u"/index.html"_s, sectionPage, "index"))
            return false;
    }
    return writeFile(root + u"/site/index.html"_s, top + "</body></html>\n");
}

// A top page linking to pages of 1,000 links each to .dat addresses that nginx answers empty.
bool makeLinkSite(const QString& root, int links)
{
    const QString base = root + u"/links"_s + QString::number(links);
    QByteArray top = "<html><body>\n";
    const int pages = (links + 999) / 1000;
    for (int p = 0; p < pages; ++p) {
        const QByteArray page = "p" + QByteArray::number(p) + ".html";
        top += "<a href=\"" + page + "\">" + page + "</a>\n";
        QByteArray body = "<html><body>\n";
        for (int i = p * 1000; i < std::min(links, (p + 1) * 1000); ++i)
            body += "<a href=\"f" + QByteArray::number(i) + ".dat\">f</a>\n";
        if (!writeFile(base + u'/' + QString::fromLatin1(page), body + "</body></html>\n"))
            return false;
    }
    return writeFile(base + u"/index.html"_s, top + "</body></html>\n");
}

bool makeSparseFile(const QString& path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = 5;
    QString only;
    bool gib = false;
    QString sitesOnly;
    QString connections = u"1"_s;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--runs"_s && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == u"--only"_s && i + 1 < args.size())
            only = args[++i];
        else if (args[i] == u"--gib"_s)
            gib = true;
        else if (args[i] == u"--connections"_s && i + 1 < args.size())
            connections = args[++i];
        else if (args[i] == u"--write-sites"_s && i + 1 < args.size())
            sitesOnly = args[++i];
    }
    const QString cli = QStringLiteral(FW_CLI_PATH);
    if (NginxFixture::executable().isEmpty()) {
        std::fprintf(stderr, "%s\n", NginxFixture::missingMessage());
        return 1;
    }
    QTemporaryDir work(QDir::tempPath() + u"/fw-bench-XXXXXX"_s);
    const QString root = sitesOnly.isEmpty() ? work.filePath(u"www"_s) : sitesOnly;
    if (!makeImageSite(root) || !makeLinkSite(root, 5000) || !makeLinkSite(root, 100000)
        || !makeSparseFile(root + u"/256m.bin"_s, qint64(256) << 20)
        || (gib && !makeSparseFile(root + u"/1g.bin"_s, qint64(1) << 30))) {
        std::fprintf(stderr, "cannot write the sites\n");
        return 1;
    }
    if (!sitesOnly.isEmpty())
        return 0;
    NginxFixture nginx(root);
    nginx.addDirective(u"location ~ \\.dat$ { return 200 \"\"; }"_s);
    if (!nginx.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(nginx.errorString()));
        return 1;
    }
    QDir::setCurrent(work.path());
    const auto ours = [&](const QString& address, const QStringList& options) {
        return [=](const QString& folder) {
            return QStringList { cli, u"crawl"_s, address, folder + u"/save/"_s, u"--max-kb"_s, u"0"_s, u"--min-kb"_s,
                u"0"_s, u"--no-list"_s, u"--connections"_s, connections }
            + options;
        };
    };
    const auto ownSettings = [](const QString& folder) { return QStringList { u"XDG_CONFIG_HOME="_s + folder }; };
    std::printf(
        "%d runs of each after one warm-up, medians; ours on %s connection(s)\n", runs, qPrintable(connections));

    if (only.isEmpty() || only == u"crawl"_s) {
        const QString top = nginx.url(u"/site/index.html"_s);
        std::printf("crawl: 601 pages, 3000 images, images to depth 3\n");
        std::vector<Side> sides {
            { u"ours"_s, ours(top, { u"--scope"_s, u"1"_s, u"--depth"_s, u"3"_s, u"--exts"_s, u".gif;.jpg;.png"_s }),
                ownSettings },
            { u"wget -r -l 3 -np"_s,
                [top](const QString& folder) {
                    return QStringList { u"wget"_s, u"-q"_s, u"-r"_s, u"-l"_s, u"3"_s, u"-np"_s, u"-A"_s,
                        u"gif,jpg,png,html"_s, u"-P"_s, folder, top };
                } },
        };
        compare(sides, runs);
    }
    if (only.isEmpty() || only == u"ranged"_s) {
        QStringList files { u"256m.bin"_s };
        if (gib)
            files.append(u"1g.bin"_s);
        for (const QString& file : files) {
            const QString address = nginx.url(u"/"_s + file);
            std::printf("ranged: %s in 1 MiB pieces\n", qPrintable(file));
            std::vector<Side> sides {
                { u"ours --buffer-mb 1"_s, ours(address, { u"--exts"_s, u".bin"_s, u"--buffer-mb"_s, u"1"_s }),
                    ownSettings },
                { u"curl -s -o FILE"_s,
                    [address](const QString& folder) {
                        return QStringList { u"curl"_s, u"-s"_s, u"-o"_s, folder + u"/out.bin"_s, address };
                    } },
            };
            compare(sides, runs, double(QFileInfo(root + u'/' + file).size()) / 1048576.0, "MiB");
        }
    }
    if (only.isEmpty() || only == u"links"_s) {
        for (int links : { 5000, 100000 }) {
            const QString top = nginx.url(u"/links"_s + QString::number(links) + u"/index.html"_s);
            std::printf("links: %d links to unwanted files, one HEAD and one queue record each\n", links);
            std::vector<Side> sides { { u"ours"_s, ours(top, { u"--exts"_s, u".gif"_s }), ownSettings } };
            compare(sides, links > 10000 ? std::max(1, runs / 2) : runs, links, "link");
        }
    }
    return 0;
}
