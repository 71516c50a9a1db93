// Formats copies of the system's C headers once through FormatterRunner (parallel batches) and once
// through a single direct indent process, with the recommended style's options, and prints both times.
// Usage: formatter_bench [rounds]
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
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

// The headers of libc6-dev and linux-libc-dev; without dpkg, the directories they fill.
QStringList headerCorpus()
{
    QStringList headers;
    QProcess dpkg;
    dpkg.start(QStringLiteral("dpkg"), {"-L", "libc6-dev", "linux-libc-dev"});
    if (dpkg.waitForFinished(60000) && dpkg.exitStatus() == QProcess::NormalExit && dpkg.exitCode() == 0) {
        const QList<QByteArray> lines = dpkg.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            const QString path = QString::fromLocal8Bit(line);
            if (path.startsWith(QLatin1String("/usr/include/")) && path.endsWith(QLatin1String(".h")) &&
                QFileInfo(path).isFile())
                headers << path;
        }
    }
    if (headers.isEmpty()) {
        QDirIterator it(QStringLiteral("/usr/include"), {QStringLiteral("*.h")}, QDir::Files);
        while (it.hasNext())
            headers << it.next();
        for (const char *directory : {"/usr/include/linux", "/usr/include/asm-generic"}) {
            QDirIterator sub(QString::fromLatin1(directory), {QStringLiteral("*.h")}, QDir::Files,
                             QDirIterator::Subdirectories);
            while (sub.hasNext())
                headers << sub.next();
        }
    }
    headers.removeDuplicates();
    headers.sort();
    return headers;
}

// Copies every header below root, keeping its place relative to /usr/include.
QStringList copyCorpus(const QStringList &headers, const QString &root)
{
    QStringList copies;
    const QDir include(QStringLiteral("/usr/include"));
    for (const QString &header : headers) {
        const QString copy = root + QLatin1Char('/') + include.relativeFilePath(header);
        QDir().mkpath(QFileInfo(copy).path());
        QFile source(header);
        QFile target(copy);
        // Plain copies: QFile::copy syncs every file to disk, which would dominate the set-up.
        if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            target.write(source.readAll()) != source.size()) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(header));
            return {};
        }
        copies << copy;
    }
    return copies;
}

QString recommendedParameterText()
{
    return ParameterTextOf(builtInStyles().at(3));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;

    QTemporaryDir scratch;
    const FormatterDeployment deployment = DeployFormatter(scratch.path());
    if (!deployment.ok) {
        std::fprintf(stderr, "deployment failed: %s\n", qPrintable(deployment.error));
        return 1;
    }
    // The same backup rule for both sides (the runner would choose it when none is set).
    qputenv("VERSION_CONTROL", "simple");

    const QStringList headers = headerCorpus();
    qint64 bytes = 0;
    for (const QString &header : headers)
        bytes += QFileInfo(header).size();
    const QString parameterText = recommendedParameterText();
    const QStringList options = formatterOptions(parameterText);
    std::printf("corpus: %lld headers, %.1f MB; cores: %d; options: %s\n", qlonglong(headers.size()),
                double(bytes) / 1e6, QThread::idealThreadCount(), qPrintable(options.join(QLatin1Char(' '))));

    // Other work on the machine skews both timings; say how busy it was.
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly))
        std::printf("load average before: %s", loadAverage.readLine().constData());

    QList<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        const QString runnerRoot = scratch.filePath(QStringLiteral("runner%1").arg(round));
        const QString directRoot = scratch.filePath(QStringLiteral("direct%1").arg(round));
        const QStringList runnerFiles = copyCorpus(headers, runnerRoot);
        const QStringList directFiles = copyCorpus(headers, directRoot);
        if (runnerFiles.isEmpty() || directFiles.isEmpty())
            return 1;

        QElapsedTimer timer;
        timer.start();
        FormatterRequest request;
        request.formatterPath = deployment.formatterPath;
        request.files = runnerFiles;
        request.parameterText = parameterText;
        const FormatterRunResult result = FormatterRunner().run(request);
        const double runnerSeconds = double(timer.nsecsElapsed()) / 1e9;

        timer.restart();
        QProcess direct;
        direct.setStandardInputFile(QProcess::nullDevice());
        direct.start(deployment.formatterPath, options + directFiles);
        direct.waitForFinished(-1);
        const double directSeconds = double(timer.nsecsElapsed()) / 1e9;

        int same = 0;
        for (int i = 0; i < runnerFiles.size(); ++i) {
            QFile a(runnerFiles.at(i)), b(directFiles.at(i));
            if (a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.readAll() == b.readAll())
                ++same;
        }
        const double ratio = runnerSeconds / directSeconds;
        ratios << ratio;
        std::printf(
            "round %d: runner %.3f s (%lld processes, exit status %s), direct indent %.3f s (exit %d), "
            "ratio %.2f, identical output %d/%lld\n",
            round, runnerSeconds, qlonglong(result.runs.size()),
            result.failedFiles().isEmpty() ? "0 or 2" : "failures", directSeconds, direct.exitCode(), ratio,
            same, qlonglong(runnerFiles.size()));
        QDir(runnerRoot).removeRecursively();
        QDir(directRoot).removeRecursively();
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("median ratio over %d rounds: %.2f (target <= 0.60)\n", rounds, ratios.at(ratios.size() / 2));
    return 0;
}
