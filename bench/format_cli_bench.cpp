// `zabo-format --check -r` over a C project's sources against what a script could do instead: `cp -r`
// of the project plus one direct `indent` process over the copies with the same options and no backups.
// Two trees: the project as it is (untidy: files change, so zabo-format runs indent again until they
// settle) and a copy that `zabo-format --in-place` formatted first (settled: nothing changes, so
// settling costs nothing). clang-format's --dry-run over the untidy files is timed for context when it
// is installed. Each is run several times in the same session; the medians and their ratios are
// printed, with zabo-format's peak memory. Usage: format_cli_bench [rounds] [project directory]
// Without a directory the project is the C headers of libc6-dev and linux-libc-dev (glibc and Linux),
// copied with their tree.
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "StyleStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

const char *const ZaboFormat = ZABO_FORMAT_PATH;

struct Timed
{
    double seconds = 0;
    int exitCode = -1;
    long peakKilobytes = 0; // of the process itself, children not counted
};

// Starts program with arguments in workingDirectory, output discarded, and waits for it.
Timed timedRun(const QString &program, const QStringList &arguments, const QString &workingDirectory,
               const QByteArrayList &extraEnvironment = {})
{
    QList<QByteArray> store{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        store.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : store)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QList<QByteArray> environmentStore = extraEnvironment;
    for (char **variable = environ; *variable; ++variable)
        environmentStore.append(*variable);
    std::vector<char *> envp;
    for (QByteArray &entry : environmentStore)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray directory = QFile::encodeName(workingDirectory);
    posix_spawn_file_actions_addchdir_np(&actions, directory.constData());

    Timed timed;
    QElapsedTimer timer;
    timer.start();
    pid_t child = -1;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return timed;
    int status = 0;
    struct rusage usage = {};
    ::wait4(child, &status, 0, &usage);
    timed.seconds = double(timer.nsecsElapsed()) / 1e9;
    timed.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    timed.peakKilobytes = usage.ru_maxrss;
    return timed;
}

// The headers of libc6-dev and linux-libc-dev below /usr/include.
QStringList systemHeaders()
{
    QStringList headers;
    QProcess dpkg;
    dpkg.start(QStringLiteral("dpkg"), {"-L", "libc6-dev", "linux-libc-dev"});
    if (dpkg.waitForFinished(60000) && dpkg.exitStatus() == QProcess::NormalExit && dpkg.exitCode() == 0) {
        for (const QByteArray &line : dpkg.readAllStandardOutput().split('\n')) {
            const QString path = QString::fromLocal8Bit(line);
            if (path.startsWith(QLatin1String("/usr/include/")) && path.endsWith(QLatin1String(".h")) &&
                QFileInfo(path).isFile() && !QFileInfo(path).isSymLink())
                headers << path;
        }
    }
    headers.removeDuplicates();
    headers.sort();
    return headers;
}

bool makeProject(const QString &root, const QStringList &headers)
{
    const QDir include(QStringLiteral("/usr/include"));
    for (const QString &header : headers) {
        const QString copy = root + QLatin1Char('/') + include.relativeFilePath(header);
        QDir().mkpath(QFileInfo(copy).path());
        QFile source(header);
        QFile target(copy);
        if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly) ||
            target.write(source.readAll()) != source.size())
            return false;
    }
    return true;
}

// The sources below root as zabo-format -r finds them (relative paths), for the other tools.
QStringList sourcesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, {"*.c", "*.h", "*.cpp", "*.hpp"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// Copies project to settled and formats it in place there with zabo-format, then removes the files it
// names as never settling; returns how many, or -1 on a failure.
int makeSettledTree(const QString &project, const QString &settled, const QString &config)
{
    if (timedRun(QStringLiteral("cp"), {"-r", project, settled}, QDir::tempPath()).exitCode != 0)
        return -1;
    QProcess format;
    format.setWorkingDirectory(settled);
    format.start(QString::fromLocal8Bit(ZaboFormat), {"--config", config, "--in-place", "-r", "."});
    if (!format.waitForFinished(-1) || format.exitStatus() != QProcess::NormalExit || format.exitCode() != 0)
        return -1;
    const QByteArray marker = ": warning: indent still changes it";
    int removed = 0;
    for (const QByteArray &line : format.readAllStandardError().split('\n')) {
        const qsizetype at = line.indexOf(marker);
        const QByteArray prefix = "zabo-format: ";
        if (at < 0 || !line.startsWith(prefix))
            continue;
        if (!QFile::remove(settled + QLatin1Char('/') +
                           QFile::decodeName(line.mid(prefix.size(), at - prefix.size()))))
            return -1;
        ++removed;
    }
    return removed;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

QString recommendedParameterText()
{
    return ParameterTextOf(builtInStyles().at(3));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;

    QTemporaryDir scratch;
    QString project = argc > 2 ? QDir(QString::fromLocal8Bit(argv[2])).absolutePath() : QString();
    if (project.isEmpty()) {
        project = scratch.filePath(QStringLiteral("project"));
        if (!makeProject(project, systemHeaders())) {
            std::fprintf(stderr, "cannot copy the system headers\n");
            return 1;
        }
    }
    const QStringList files = sourcesBelow(project);
    qint64 bytes = 0;
    for (const QString &file : files)
        bytes += QFileInfo(project + QLatin1Char('/') + file).size();

    const FormatterDeployment deployment = DeployFormatter(QDir::tempPath());
    if (!deployment.ok) {
        std::fprintf(stderr, "deployment failed: %s\n", qPrintable(deployment.error));
        return 1;
    }
    const QString parameterText = recommendedParameterText();
    const QStringList options = formatterOptions(parameterText);
    const QString config = scratch.filePath(QStringLiteral("Zabocfg.dat"));
    QFile configFile(config);
    if (!configFile.open(QIODevice::WriteOnly) ||
        configFile.write(serializeStyleFile(builtInStyles(), 3)) < 0)
        return 1;
    configFile.close();
    const QString clangFormat = QStandardPaths::findExecutable(QStringLiteral("clang-format"));

    std::printf("project: %s, %lld sources, %.1f MB; cores: %d; rounds: %d\n", qPrintable(project),
                qlonglong(files.size()), double(bytes) / 1e6, QThread::idealThreadCount(), rounds);
    std::printf("options: %s\n", qPrintable(options.join(QLatin1Char(' '))));
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly))
        std::printf("load average before: %s", loadAverage.readLine().constData());

    // the settled tree: what a team's repository holds once zabo-format --in-place ran over it and the
    // files indent never settles on were fenced or excluded (here: left out)
    const QString settled = scratch.filePath(QStringLiteral("settled"));
    const int neverSettling = makeSettledTree(project, settled, config);
    if (neverSettling < 0) {
        std::fprintf(stderr, "cannot make the settled tree\n");
        return 1;
    }
    std::printf("settled tree: %lld sources (%d that never settle left out)\n",
                qlonglong(sourcesBelow(settled).size()), neverSettling);

    struct Row
    {
        const char *name;
        QString tree;
        QStringList files;
        QList<double> check;
        QList<double> baseline;
        int status = -1;
    };
    Row rows[] = {{"settled tree", settled, sourcesBelow(settled), {}, {}},
                  {"untidy tree", project, files, {}, {}}};
    QList<double> clangTimes;
    long peakKilobytes = 0;
    for (int round = 1; round <= rounds; ++round) {
        std::printf("round %d:", round);
        for (Row &row : rows) {
            const Timed check = timedRun(QString::fromLocal8Bit(ZaboFormat),
                                         {"--config", config, "--check", "-r", row.tree}, scratch.path());
            if (check.exitCode < 0) {
                std::fprintf(stderr, "zabo-format did not run\n");
                return 1;
            }
            peakKilobytes = std::max(peakKilobytes, check.peakKilobytes);

            // the baseline: a copy to work on, and one indent over every file of it
            const QString copy = scratch.filePath(QStringLiteral("copy%1").arg(round));
            const Timed cp = timedRun(QStringLiteral("cp"), {"-r", row.tree, copy}, scratch.path());
            const Timed indent = timedRun(deployment.formatterPath, row.files + options, copy,
                                          {"VERSION_CONTROL=none", "INDENT_PROFILE=/dev/null"});
            QDir(copy).removeRecursively();

            row.check << check.seconds;
            row.baseline << cp.seconds + indent.seconds;
            row.status = check.exitCode;
            std::printf(" %s: --check %.3f s (status %d), cp + indent %.3f s, ratio %.2f;", row.name,
                        check.seconds, check.exitCode, cp.seconds + indent.seconds,
                        check.seconds / (cp.seconds + indent.seconds));
        }
        if (!clangFormat.isEmpty()) {
            const Timed clang = timedRun(clangFormat, QStringList{"--dry-run"} + files, project);
            clangTimes << clang.seconds;
            std::printf(" clang-format --dry-run %.3f s", clang.seconds);
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    for (const Row &row : rows) {
        const double checkMedian = median(row.check);
        const double baselineMedian = median(row.baseline);
        std::printf(
            "median of %d, %s: zabo-format --check %.3f s (status %d), cp + indent %.3f s, ratio %.2f%s\n",
            rounds, row.name, checkMedian, row.status, baselineMedian, checkMedian / baselineMedian,
            &row == &rows[0] ? " (target 0.5 or less)" : "");
    }
    if (!clangFormat.isEmpty())
        std::printf("median clang-format --dry-run: %.3f s (for context)\n", median(clangTimes));
    else
        std::printf("clang-format is not installed: no context figure\n");
    std::printf("zabo-format peak memory: %.1f MB\n", double(peakKilobytes) / 1024);
    return 0;
}
