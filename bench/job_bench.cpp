// The whole directory job, from the menu command to its closing message, against what a person could
// type instead over the same files with the same options:
//   1. `cp` and one `indent` process, VERSION_CONTROL=simple;
//   2. `cp` and `xargs -P2 -n50 indent`, VERSION_CONTROL=simple, the best one-line script on 2 cores.
// Corpus: system C headers copied flat, or the .c and .h files below the directory given after the
// rounds (`job_bench 7 DIR`). Every round works in fresh directories under a parent marked
// `chattr +T` (ext4 then spreads new directories over fresh block groups; file creation right after
// mass deletion in one group costs far more) or on a tmpfs when TMPDIR points at one. Prints each
// round, the medians and the two ratios, and whether all outputs agree.
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormattingJob.h"
#include "ScriptedPrompts.h"
#include "StyleStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

constexpr int CorpusLimit = 472;

QString recommendedParameterText()
{
    return ParameterTextOf(builtInStyles().at(3));
}

// Up to CorpusLimit sources below from (headers below /usr/include by default), one per file name,
// copied flat into directory.
QStringList makeCorpus(const QString &from, const QStringList &patterns, const QString &directory)
{
    QStringList found;
    QDirIterator it(from, patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    found.sort();
    QSet<QString> names;
    QStringList corpus;
    for (const QString &path : std::as_const(found)) {
        const QString name = QFileInfo(path).fileName();
        if (names.contains(name) || corpus.size() >= CorpusLimit)
            continue;
        names.insert(name);
        const QString copy = directory + QLatin1Char('/') + name;
        if (QFile::copy(path, copy)) {
            QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::WriteOwner);
            corpus.append(copy);
        }
    }
    return corpus;
}

bool runProcess(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("simple"));
    process.setProcessEnvironment(environment);
    if (input.isEmpty())
        process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    // indent's 2 is a warning about a file; xargs says 123 when any of its commands said anything else
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           (process.exitCode() == 0 || process.exitCode() == 2 || process.exitCode() == 123);
}

QMap<QString, QByteArray> sourcesIn(const QString &directory)
{
    QMap<QString, QByteArray> files;
    for (const QString &name :
         QDir(directory).entryList({QStringLiteral("*.h"), QStringLiteral("*.c")}, QDir::Files)) {
        QFile file(directory + QLatin1Char('/') + name);
        file.open(QIODevice::ReadOnly);
        files.insert(name, file.readAll());
    }
    return files;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir scratch;
    const QString corpusDir = scratch.filePath(QStringLiteral("corpus"));
    const QString roundsDir = scratch.filePath(QStringLiteral("rounds"));
    QDir().mkdir(corpusDir);
    QDir().mkdir(roundsDir);
    QDir().mkdir(scratch.filePath(QStringLiteral("tmp")));
    const bool spread = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+T"), roundsDir}) == 0;

    const FormatterDeployment deployment = DeployFormatter(scratch.filePath(QStringLiteral("tmp")));
    if (!deployment.ok) {
        std::fprintf(stderr, "cannot deploy the formatter: %s\n", qPrintable(deployment.error));
        return 1;
    }
    const QString from = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/usr/include");
    const QStringList patterns = argc > 2 ? QStringList{QStringLiteral("*.h"), QStringLiteral("*.c")}
                                          : QStringList{QStringLiteral("*.h")};
    const QStringList corpus = makeCorpus(from, patterns, corpusDir);
    const QString parameterText = recommendedParameterText();
    const QStringList options = parameterText.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    std::printf("corpus: %lld sources from %s in %s%s\nstyle: %s\n", static_cast<long long>(corpus.size()),
                qPrintable(from), qPrintable(scratch.path()),
                spread ? " (rounds under chattr +T)" : " (chattr +T not available here)",
                qPrintable(parameterText));

    QByteArray fileList;
    std::vector<double> jobMs, singleMs, xargsMs;
    bool allAgree = true;
    for (int round = 0; round < rounds; ++round) {
        const QString base = roundsDir + QStringLiteral("/r%1").arg(round);
        QDir().mkpath(base + QStringLiteral("/program"));
        QDir().mkpath(base + QStringLiteral("/single"));
        QDir().mkpath(base + QStringLiteral("/xargs"));
        const QString programDir = base + QStringLiteral("/program/");

        ScriptedPrompts prompts;
        prompts.queueDirectory(corpusDir);
        FormattingJob job({programDir, deployment.formatterPath, [&] { return parameterText; }}, prompts);
        // written back before each side, so that none pays for another's dirty pages
        ::sync();
        QElapsedTimer timer;
        timer.start();
        job.IndentDirItemClick();
        jobMs.push_back(timer.nsecsElapsed() / 1e6);
        const QString jobOutput = QDir(programDir).entryList({QStringLiteral("FormatFile*")}).value(0);

        const auto copiesIn = [&](const QString &directory) {
            QStringList copies;
            for (const QString &path : corpus)
                copies.append(directory + QLatin1Char('/') + QFileInfo(path).fileName());
            return copies;
        };
        ::sync();
        timer.restart();
        bool ok = runProcess(QStringLiteral("cp"), corpus + QStringList{base + QStringLiteral("/single")});
        ok = runProcess(deployment.formatterPath, copiesIn(base + QStringLiteral("/single")) + options) && ok;
        singleMs.push_back(timer.nsecsElapsed() / 1e6);

        QByteArray list;
        for (const QString &copy : copiesIn(base + QStringLiteral("/xargs")))
            list += QFile::encodeName(copy) + '\0';
        ::sync();
        timer.restart();
        ok = runProcess(QStringLiteral("cp"), corpus + QStringList{base + QStringLiteral("/xargs")}) && ok;
        ok = runProcess(QStringLiteral("xargs"),
                        QStringList{QStringLiteral("-0"), QStringLiteral("-P2"), QStringLiteral("-n50"),
                                    deployment.formatterPath} +
                            options,
                        list) &&
             ok;
        xargsMs.push_back(timer.nsecsElapsed() / 1e6);

        const auto jobFiles = sourcesIn(programDir + jobOutput);
        const bool agree = jobFiles == sourcesIn(base + QStringLiteral("/single")) &&
                           jobFiles == sourcesIn(base + QStringLiteral("/xargs")) &&
                           jobFiles.size() == corpus.size();
        allAgree = allAgree && agree && ok;
        std::printf("round %d: job %8.1f ms   cp + indent %8.1f ms   cp + xargs -P2 -n50 indent %8.1f ms%s\n",
                    round + 1, jobMs.back(), singleMs.back(), xargsMs.back(),
                    agree ? "" : "   OUTPUTS DIFFER");
        if (round == 0)
            std::printf("job's closing message: %s\n",
                        qPrintable(prompts.messages.value(0).section(QLatin1Char('\n'), 0, 0)));
        QDir(base).removeRecursively();
    }

    std::printf("median of %d: job %.1f ms, cp + indent %.1f ms, cp + xargs %.1f ms\n", rounds, median(jobMs),
                median(singleMs), median(xargsMs));
    std::printf("ratio job / (cp + one indent):          %.2f (target 0.45)\n",
                median(jobMs) / median(singleMs));
    std::printf("ratio job / (cp + xargs -P2 -n50 indent): %.2f (target 0.90)\n",
                median(jobMs) / median(xargsMs));
    std::printf("outputs identical in every round: %s\n", allAgree ? "yes" : "NO");
    return allAgree ? 0 : 1;
}
