// "Selection changed -> result ready for painting" for the preview, against one direct indent process
// on the same text with the same options, in the same run; and the longest event-loop stall while the
// window updates. "Markers shown" is when the lines in view are marked; the rest follow between
// events, and "every line marked" is when the last of them is. The window is timed a second time with
// the changes view shown, which then lists every toggle's changes. Sources of about 1,000, 20,000 and
// 100,000 lines (the last with a quarter of the rounds, at least three). Targets: "markers and changes
// shown" within 2x of the direct run at 1,000 lines and 3x at 20,000, no stall over 50 ms at 20,000.
// Usage: preview_bench [rounds, default 20] [lines ...; default 1000 20000 100000]
#include "CellTable.h"
#include "ChangeMarking.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "Preview.h"
#include "PreviewRunner.h"
#include "ScriptedPrompts.h"
#include "StyleStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

QTextStream out(stdout);

QString recommendedParameterText()
{
    return ParameterTextOf(builtInStyles().at(3));
}

// Whole copies of the sample, so that every copy parses as the sample does.
QByteArray sourceOfAbout(int lines)
{
    const QByteArray sample = previewSample();
    QByteArray source;
    while (source.count('\n') < lines)
        source += sample;
    return source;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double milliseconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// The selection toggles "-psl" on and off from round to round, as a click in the grid would.
QString selection(int round)
{
    return recommendedParameterText() + (round % 2 ? QStringLiteral("-psl ") : QString());
}

struct Stalls
{
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer ticker;

    Stalls()
    {
        ticker.setInterval(2);
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            longest = std::max(longest, milliseconds(sinceTick));
            sinceTick.start();
        });
    }
    void start()
    {
        longest = 0;
        sinceTick.start();
        ticker.start();
    }
    void stop() { ticker.stop(); }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int allRounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;

    QTemporaryDir scratch;
    const FormatterDeployment deployment = DeployFormatter(scratch.path());
    if (!deployment.ok) {
        out << "cannot deploy the formatter: " << deployment.error << '\n';
        return 1;
    }
    ScriptedPrompts prompts;
    TPreviewForm window(deployment.formatterPath, prompts);
    window.resize(1100, 720);
    window.show();
    Stalls stalls;

    std::vector<int> sizes;
    for (int argument = 2; argument < argc; ++argument)
        sizes.push_back(std::max(1, QString::fromLocal8Bit(argv[argument]).toInt()));
    if (sizes.empty())
        sizes = {1000, 20000, 100000};
    for (const int lines : sizes) {
        const int rounds = lines < 100000 ? allRounds : std::max(3, allRounds / 4);
        const QByteArray source = sourceOfAbout(lines);
        const QString file = scratch.filePath(QStringLiteral("bench.c"));
        std::vector<double> direct;
        std::vector<double> runnerTimes;
        std::vector<double> windowTimes;
        std::vector<double> runnerDiffTimes;
        std::vector<double> windowDiffTimes;
        std::vector<double> allMarkedTimes;

        // one direct indent process: the file first, the same options, no backups
        for (int round = 0; round < rounds; ++round) {
            QFile copy(file);
            copy.open(QIODevice::WriteOnly | QIODevice::Truncate);
            copy.write(source);
            copy.close();
            QProcess indent;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
            indent.setProcessEnvironment(environment);
            indent.setWorkingDirectory(scratch.path());
            indent.setStandardInputFile(QProcess::nullDevice());
            QElapsedTimer clock;
            clock.start();
            indent.start(deployment.formatterPath,
                         formatterArguments({QStringLiteral("bench.c")}, formatterOptions(selection(round))));
            indent.waitForFinished(-1);
            direct.push_back(milliseconds(clock));
        }

        // the runner alone: request to result with its diffs against the source and the previous result
        PreviewRunner runner(deployment.formatterPath);
        QByteArray previous;
        for (int round = 0; round < rounds; ++round) {
            PreviewRequest request;
            request.source = source;
            request.fileName = QStringLiteral("bench.c");
            request.parameterText = selection(round);
            request.previousResult = previous;
            request.comparePrevious = !previous.isEmpty();
            QEventLoop loop;
            QElapsedTimer clock;
            QObject::connect(&runner, &PreviewRunner::finished, &loop, [&](const PreviewResult &result) {
                previous = result.formatted;
                runnerTimes.push_back(milliseconds(clock));
            });
            QObject::connect(&runner, &PreviewRunner::diffsReady, &loop, &QEventLoop::quit);
            clock.start();
            runner.format(request);
            loop.exec();
            runnerDiffTimes.push_back(milliseconds(clock));
        }

        // the window: a new selection until its views hold the result (its own handler runs first)
        QFile copy(file);
        copy.open(QIODevice::WriteOnly | QIODevice::Truncate);
        copy.write(source);
        copy.close();
        window.setParameterText(selection(1));
        window.openSource(QFile::encodeName(file));
        {
            QEventLoop loop;
            QObject::connect(&window.runner(), &PreviewRunner::diffsReady, &loop, &QEventLoop::quit);
            loop.exec();
        }
        const auto *marking = window.findChild<ChangeMarking *>();
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("ViewTabs"));
        double longestStall = 0;
        const auto windowRound = [&](int round, std::vector<double> *shownTimes,
                                     std::vector<double> &readyTimes) {
            QEventLoop loop;
            QElapsedTimer clock;
            QObject::connect(&window.runner(), &PreviewRunner::finished, &loop, [&] {
                if (shownTimes)
                    shownTimes->push_back(milliseconds(clock));
            });
            QObject::connect(&window.runner(), &PreviewRunner::diffsReady, &loop, &QEventLoop::quit);
            stalls.start();
            clock.start();
            window.setParameterText(selection(round));
            loop.exec();
            readyTimes.push_back(milliseconds(clock));
            // the lines out of view are marked in slices between events
            if (shownTimes) {
                while (!marking->isComplete())
                    QCoreApplication::processEvents();
                allMarkedTimes.push_back(milliseconds(clock));
            }
            QTimer::singleShot(20, &loop, &QEventLoop::quit); // let it paint, with the ticker running
            loop.exec();
            stalls.stop();
            longestStall = std::max(longestStall, stalls.longest);
        };
        tabs->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("ResultPage")));
        for (int round = 0; round < rounds; ++round)
            windowRound(round, &windowTimes, windowDiffTimes);
        // the same with the changes of each toggle in view, which the window lists only when shown
        tabs->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("ChangesPage")));
        std::vector<double> changesInViewTimes;
        for (int round = rounds; round < 2 * rounds; ++round) // every round toggles
            windowRound(round, nullptr, changesInViewTimes);

        const double base = median(direct);
        out << QStringLiteral("%1 lines, %2 rounds (medians)\n").arg(source.count('\n')).arg(rounds);
        out << QStringLiteral("  %1 %2 ms\n").arg(QLatin1String("direct indent"), -40).arg(base, 8, 'f', 2);
        const auto line = [&](const char *what, const std::vector<double> &times) {
            out << QStringLiteral("  %1 %2 ms  ratio %3\n")
                       .arg(QString::fromUtf8(what), -40)
                       .arg(median(times), 8, 'f', 2)
                       .arg(median(times) / base, 0, 'f', 2);
        };
        line("preview runner, formatted text", runnerTimes);
        line("preview runner, line diffs too", runnerDiffTimes);
        line("preview window, formatted code shown", windowTimes);
        line("preview window, markers and changes shown", windowDiffTimes);
        line("preview window, every line marked", allMarkedTimes);
        line("the same, the changes view shown", changesInViewTimes);
        out << QStringLiteral("  longest event-loop stall while the window updates: %1 ms\n")
                   .arg(longestStall, 0, 'f', 1);
        out.flush();
    }
    return 0;
}
