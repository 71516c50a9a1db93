// Parses large indent profiles with parseIndentProfile and prints the median time against a baseline
// measured in the same run: decoding the same bytes and splitting them into words, the least any reader
// of the text does. The 100 KB rows beside the 1 MB ones show whether the cost grows with the length
// alone. Usage: profile_parser_bench [rounds]
#include "IndentProfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Input
{
    const char *name;
    QByteArray (*make)(qsizetype size);
};

QByteArray repeatedTo(const QByteArray &unit, qsizetype size)
{
    return unit.repeated(size / unit.size() + 1).left(size);
}

// A profile whose blanks and line ends were lost: one word.
QByteArray withoutBlanks(qsizetype size)
{
    return repeatedTo("-bad-kr--line-length80-T-ts4", size);
}

// Presets and explicit options one a line, as a generated profile might list them.
QByteArray oneOptionALine(qsizetype size)
{
    return repeatedTo("-kr\n-gnu\n-i4\n-T\n-ts4\n-l\n80\n", size);
}

// What a team's .indent.pro holds: comments, long and short forms, numbers, type names.
QByteArray teamProfile(qsizetype size)
{
    return repeatedTo("/* house style */\n-kr -i4 -ts4 -nut  // spaces only\n--line-length 100 -bl -bli0\n"
                      "-T size_t -T uint32_t --no-space-after-casts -npsl\n",
                      size);
}

double medianMilliseconds(int rounds, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    const Input inputs[] = {
        {"no blanks", withoutBlanks},
        {"one option a line", oneOptionALine},
        {"team profile", teamProfile},
    };

    std::printf("%-18s %8s %12s %12s %7s\n", "input", "size", "split (ms)", "parse (ms)", "ratio");
    for (const Input &input : inputs) {
        for (const qsizetype size : {qsizetype(100) * 1024, qsizetype(1024) * 1024}) {
            const QByteArray bytes = input.make(size);
            qsizetype sink = 0;
            const double split = medianMilliseconds(rounds, [&] {
                sink +=
                    QString::fromUtf8(bytes).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
            });
            const double parse = medianMilliseconds(rounds, [&] {
                const ProfileImport import = parseIndentProfile(QString::fromUtf8(bytes));
                sink += import.unmapped.size() + import.files.size();
            });
            std::printf("%-18s %6lldKB %12.1f %12.1f %6.2fx\n", input.name,
                        static_cast<long long>(size / 1024), split, parse, parse / split);
            if (sink < 0)
                return 1;
        }
    }
    return 0;
}
