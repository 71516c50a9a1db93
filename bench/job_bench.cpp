// The whole directory job, from the menu command to its closing message, against what a person could
// type instead: `cp` of the same files and one `indent` process over them with the same options.
// Corpus: copies of the system's C headers. One run of each; prints both times and their ratio.
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
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

#include <cstdio>

#include <unistd.h>

namespace {

constexpr int CorpusLimit = 400;

QString recommendedParameterText()
{
    const StyleRecord record = builtInStyles().at(3);
    CheckStates checks{};
    for (int row = 0; row < OptionCount; ++row)
        checks[row] = record.Flags[row] != 0;
    return ParameterTextFor(checks);
}

// Up to CorpusLimit headers below /usr/include, one per file name, copied flat into directory.
QStringList makeCorpus(const QString &directory)
{
    QStringList found;
    QDirIterator it(QStringLiteral("/usr/include"), {QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
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

bool runProcess(const QString &program, const QStringList &arguments)
{
    QProcess process;
    // The backup rule the job's formatter runs with: indent's default one reads the whole directory for
    // every file, which would measure that rule rather than the job.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.value(QStringLiteral("VERSION_CONTROL")).isEmpty())
        environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("simple"));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString corpusDir = scratch.filePath(QStringLiteral("corpus"));
    const QString programDir = scratch.filePath(QStringLiteral("program")) + QLatin1Char('/');
    const QString baselineDir = scratch.filePath(QStringLiteral("baseline"));
    QDir().mkdir(corpusDir);
    QDir().mkdir(programDir);
    QDir().mkdir(baselineDir);
    QDir().mkdir(scratch.filePath(QStringLiteral("tmp")));

    const FormatterDeployment deployment = DeployFormatter(scratch.filePath(QStringLiteral("tmp")));
    if (!deployment.ok) {
        std::fprintf(stderr, "cannot deploy the formatter: %s\n", qPrintable(deployment.error));
        return 1;
    }
    const QStringList corpus = makeCorpus(corpusDir);
    const QString parameterText = recommendedParameterText();
    std::printf("corpus: %lld headers from /usr/include, style: %s\n", static_cast<long long>(corpus.size()),
                qPrintable(parameterText));

    ScriptedPrompts prompts;
    prompts.queueDirectory(corpusDir);
    FormattingJob job({programDir, deployment.formatterPath, [&] { return parameterText; }}, prompts);
    // Written-back before each side, so that neither pays for the other's dirty pages.
    ::sync();
    QElapsedTimer timer;
    timer.start();
    job.IndentDirItemClick();
    const qint64 jobNs = timer.nsecsElapsed();

    ::sync();
    timer.restart();
    const bool copied = runProcess(QStringLiteral("cp"), corpus + QStringList{baselineDir});
    QStringList copies;
    for (const QString &path : corpus)
        copies.append(baselineDir + QLatin1Char('/') + QFileInfo(path).fileName());
    const bool formatted =
        runProcess(deployment.formatterPath, copies + formatterOptions(parameterText));
    const qint64 baselineNs = timer.nsecsElapsed();

    const QString message = prompts.messages.value(0).section(QLatin1Char('\n'), 0, 0);
    std::printf("job's closing message: %s\n", qPrintable(message));
    if (!copied || !formatted)
        std::printf("warning: the baseline's cp or indent did not end normally\n");
    std::printf("directory job:          %8.1f ms\n", jobNs / 1e6);
    std::printf("cp + one indent:        %8.1f ms\n", baselineNs / 1e6);
    std::printf("ratio (job / baseline): %8.2f\n", double(jobNs) / double(baselineNs));
    return 0;
}
