// The rows' examples and the grid's search, against baselines measured in the same run. Example: from a
// request (what hovering a row asks for) to its answer, the median over every row under the recommended
// style with nothing cached, against one direct indent run over the whole example corpus (target <= 3x),
// and the longest the event loop waited meanwhile (target <= 50 ms). Search: the window's work for each
// keystroke of typed queries, from the text changing to the grid's rows hidden and shown (target <= 16 ms).
// Usage: options_bench [rounds]   (offscreen: QT_QPA_PLATFORM=offscreen)
#include "Application.h"
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "Main.h"
#include "RowExample.h"
#include "ScriptedPrompts.h"
#include "StyleStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values.at(values.size() / 2);
}

double directRunMilliseconds(const QString &formatter, const QString &file, const QString &parameterText)
{
    QElapsedTimer timer;
    timer.start();
    QProcess indent;
    indent.setProcessEnvironment(formatterEnvironment());
    indent.start(formatter,
                 formatterArguments({file}, standardOutputOptions(QStringList{QStringLiteral("-npro")} +
                                                                  formatterOptions(parameterText))));
    indent.waitForFinished(30000);
    indent.readAllStandardOutput();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir scratch;
    const FormatterDeployment deployment = DeployFormatter(scratch.path());
    if (!deployment.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(deployment.error));
        return 1;
    }
    const CheckStates recommended = checkStatesOf(builtInStyles().last());
    const QString parameterText = ParameterTextFor(recommended);

    const QString corpus = scratch.filePath(QStringLiteral("examples.c"));
    QFile file(corpus);
    if (!file.open(QIODevice::WriteOnly) || file.write(exampleParts().join()) < 0)
        return 1;
    file.close();
    std::vector<double> direct;
    for (int round = 0; round < rounds; ++round)
        direct.push_back(directRunMilliseconds(deployment.formatterPath, corpus, parameterText));

    std::vector<double> examples;
    double longestStall = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.start();
    });
    for (int round = 0; round < rounds; ++round) {
        RowExampleMaker maker(deployment.formatterPath); // nothing cached
        for (int row = 0; row < OptionCount; ++row) {
            QEventLoop loop;
            QObject::connect(&maker, &RowExampleMaker::ready, &loop, [&loop] { loop.quit(); });
            QElapsedTimer timer;
            timer.start();
            sinceTick.start();
            ticker.start();
            maker.request(row, recommended);
            loop.exec();
            ticker.stop();
            examples.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }

    QTemporaryDir program;
    ScriptedPrompts prompts;
    StartupEnvironment environment;
    environment.programDirectory = program.path() + QLatin1Char('/');
    environment.tempDirectory = scratch.path();
    environment.prompts = &prompts;
    environment.exitProgram = [](int) {};
    if (!createWindows(environment))
        return 1;
    MainForm->show();
    auto *search = MainForm->findChild<QLineEdit *>(QStringLiteral("SearchEdit"));
    std::vector<double> keystrokes;
    for (int round = 0; round < rounds; ++round) {
        for (const QString &query : {QStringLiteral("--blank-lines-after"), QString::fromUtf8("花括号 缩进"),
                                     QStringLiteral("-lc120")}) {
            for (qsizetype length = 1; length <= query.size(); ++length) {
                QElapsedTimer timer;
                timer.start();
                search->setText(query.left(length));
                QCoreApplication::processEvents();
                keystrokes.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            search->clear();
        }
    }
    destroyWindows();

    const double baseline = median(direct);
    QTextStream out(stdout);
    out << "direct indent over the example corpus: " << baseline << " ms (median of " << rounds << ")\n";
    out << "row example, request to answer: " << median(examples) << " ms median over " << examples.size()
        << " requests, " << median(examples) / baseline << "x the direct run (target <= 3x)\n";
    out << "longest event-loop stall while examples were made: " << longestStall << " ms (target <= 50 ms)\n";
    out << "search, per keystroke: " << median(keystrokes) << " ms median, "
        << *std::max_element(keystrokes.begin(), keystrokes.end()) << " ms at most (target <= 16 ms)\n";
    return 0;
}
