// The directory-tree job over trees of growing size (ten files a folder, 20,000 files at the most):
// whether it completes, its time, and the peak memory of the program itself. Each size runs in a
// process of its own, so that every peak is that size's; memory per file shows whether it grows
// linearly.
#include "FormatterDeployment.h"
#include "FormattingJob.h"
#include "ScriptedPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/resource.h>

namespace {

constexpr int FilesPerFolder = 10;
const QByteArray Source = "int f(int a,int b){if(a>b){return a;}else{return b;}}\n";

int runOneSize(int files)
{
    QTemporaryDir scratch;
    const QString tree = scratch.filePath(QStringLiteral("tree"));
    const QString program = scratch.filePath(QStringLiteral("program")) + QLatin1Char('/');
    QDir().mkpath(program);
    for (int index = 0; index < files; ++index) {
        const QString folder =
            tree + QStringLiteral("/d%1/e%2").arg(index / FilesPerFolder / 50).arg(index / FilesPerFolder);
        if (index % FilesPerFolder == 0)
            QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/f%1.c").arg(index));
        if (!file.open(QIODevice::WriteOnly) || file.write(Source) != Source.size())
            return 1;
    }
    const FormatterDeployment deployment = DeployFormatter(scratch.path());
    if (!deployment.ok)
        return 1;
    ScriptedPrompts prompts;
    prompts.queueDirectory(tree);
    FormattingJob job({program, deployment.formatterPath, [] { return QStringLiteral("-kr -i4 "); }},
                      prompts);
    QElapsedTimer timer;
    timer.start();
    job.IndentTreeItemClick();
    const double seconds = timer.nsecsElapsed() / 1e9;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const bool completed =
        prompts.messages == QStringList{QString::fromUtf8("代码风格整理完成！稍后自动打开整理代码目录")};
    std::printf("%d %d %.2f %ld\n", files, completed ? 1 : 0, seconds, usage.ru_maxrss);
    return completed ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--size") == 0)
        return runOneSize(QString::fromLocal8Bit(argv[2]).toInt());

    std::printf("%8s %8s %10s %14s %14s\n", "files", "folders", "seconds", "peak RSS (KiB)", "KiB per file");
    long firstPeak = 0;
    int firstFiles = 0;
    bool allCompleted = true;
    for (const int files : {2500, 5000, 10000, 20000}) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--size"), QString::number(files)});
        child.waitForFinished(-1);
        const QStringList fields =
            QString::fromLocal8Bit(child.readAllStandardOutput()).split(QLatin1Char(' '));
        if (fields.size() != 4 || fields.at(1) != QLatin1String("1")) {
            std::printf("%8d did not complete (exit %d)\n", files, child.exitCode());
            allCompleted = false;
            continue;
        }
        const long peak = fields.at(3).trimmed().toLong();
        if (!firstPeak) {
            firstPeak = peak;
            firstFiles = files;
        }
        std::printf("%8d %8d %10.2f %14ld %14.2f\n", files, files / FilesPerFolder, fields.at(2).toDouble(),
                    peak, double(peak - firstPeak) / std::max(1, files - firstFiles));
    }
    std::printf("every size completed: %s\n", allCompleted ? "yes" : "NO");
    return allCompleted ? 0 : 1;
}
