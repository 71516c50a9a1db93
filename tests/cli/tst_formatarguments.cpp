#include "FormatArguments.h"

#include <QRegularExpression>
#include <QTest>

using Mode = FormatOptions::Mode;
Q_DECLARE_METATYPE(FormatOptions::Mode)

// How the command line of zabo-format is read; running it is tested on the executable (tests/app).
class TestFormatArguments : public QObject
{
    Q_OBJECT

private slots:
    void validCommandLines_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<bool>("diff");
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QByteArrayList>("paths");
        QTest::addColumn<QByteArray>("output");

        QTest::newRow("one file") << QByteArrayList{"a.c"} << Mode::StandardOutput << false << false
                                  << QByteArrayList{"a.c"} << QByteArray();
        QTest::newRow("check") << QByteArrayList{"--check", "src", "b.h"} << Mode::Check << false << false
                               << QByteArrayList{"src", "b.h"} << QByteArray();
        QTest::newRow("diff implies check") << QByteArrayList{"--diff", "-r", "src"} << Mode::Check << true
                                            << true << QByteArrayList{"src"} << QByteArray();
        QTest::newRow("check and diff") << QByteArrayList{"--check", "--diff", "src"} << Mode::Check << true
                                        << false << QByteArrayList{"src"} << QByteArray();
        QTest::newRow("in place, grouped") << QByteArrayList{"-ri", "src"} << Mode::InPlace << false << true
                                           << QByteArrayList{"src"} << QByteArray();
        QTest::newRow("output") << QByteArrayList{"--output", "out", "src"} << Mode::Output << false << false
                                << QByteArrayList{"src"} << QByteArray("out");
        QTest::newRow("output=") << QByteArrayList{"--output=out", "--recursive", "src"} << Mode::Output
                                 << false << true << QByteArrayList{"src"} << QByteArray("out");
        QTest::newRow("-o glued") << QByteArrayList{"-rodir", "src"} << Mode::Output << false << true
                                  << QByteArrayList{"src"} << QByteArray("dir");
        QTest::newRow("-o value with a dash") << QByteArrayList{"-o", "-out", "src"} << Mode::Output << false
                                              << false << QByteArrayList{"src"} << QByteArray("-out");
        QTest::newRow("names after --") << QByteArrayList{"--check", "--", "-a.c", "--diff"} << Mode::Check
                                        << false << false << QByteArrayList{"-a.c", "--diff"} << QByteArray();
        QTest::newRow("--=x after --") << QByteArrayList{"--check", "--", "--=x", "-ri"} << Mode::Check
                                       << false << false << QByteArrayList{"--=x", "-ri"} << QByteArray();
        QTest::newRow("undecodable name") << QByteArrayList{"--check", "caf\xe9.c"} << Mode::Check << false
                                          << false << QByteArrayList{"caf\xe9.c"} << QByteArray();
        QTest::newRow("help wins") << QByteArrayList{"--check", "--help"} << Mode::Help << false << false
                                   << QByteArrayList{} << QByteArray();
        QTest::newRow("list styles") << QByteArrayList{"--list-styles"} << Mode::ListStyles << false << false
                                     << QByteArrayList{} << QByteArray();
        QTest::newRow("infer") << QByteArrayList{"--infer", "-r", "src", "a.c"} << Mode::Infer << false
                               << true << QByteArrayList{"src", "a.c"} << QByteArray();
    }

    void inferPrintsAProfileWithPrintProfile()
    {
        for (const QByteArrayList &arguments : {QByteArrayList{"--print-profile", "--infer", "a.c"},
                                                QByteArrayList{"--infer", "a.c", "--print-profile"}}) {
            const ParsedFormatArguments parsed = parseFormatArguments(arguments);
            QVERIFY2(parsed.options, qPrintable(parsed.error));
            QCOMPARE(parsed.options->mode, Mode::Infer);
            QVERIFY(parsed.options->printProfile);
        }
        QVERIFY(!parseFormatArguments({"--infer", "a.c"}).options->printProfile);
    }

    // --annotate is a --check that names lines, with or without the diff; it rewrites nothing
    void annotateIsACheck()
    {
        for (const QByteArrayList &arguments : {QByteArrayList{"--annotate", "-r", "."},
                                                QByteArrayList{"--check", "--diff", "--annotate", "."}}) {
            const ParsedFormatArguments parsed = parseFormatArguments(arguments);
            QVERIFY2(parsed.options, qPrintable(parsed.error));
            QCOMPARE(parsed.options->mode, Mode::Check);
            QVERIFY(parsed.options->annotate);
            QCOMPARE(parsed.options->diff, arguments.contains("--diff"));
        }
        QVERIFY(!parseFormatArguments({"--check", "a.c"}).options->annotate);
        const ParsedFormatArguments inPlace = parseFormatArguments({"--annotate", "--in-place", "a.c"});
        QVERIFY(!inPlace.options);
        QVERIFY2(inPlace.error.contains(QStringLiteral("cannot be combined")), qPrintable(inPlace.error));
    }

    void validCommandLines()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(Mode, mode);
        QFETCH(bool, diff);
        QFETCH(bool, recursive);
        QFETCH(QByteArrayList, paths);
        QFETCH(QByteArray, output);
        const ParsedFormatArguments parsed = parseFormatArguments(arguments);
        QVERIFY2(parsed.options, qPrintable(parsed.error));
        QCOMPARE(parsed.options->mode, mode);
        QCOMPARE(parsed.options->diff, diff);
        QCOMPARE(parsed.options->recursive, recursive);
        QCOMPARE(parsed.options->paths, paths);
        QCOMPARE(parsed.options->outputDirectory, output);
    }

    void forceReadOnly()
    {
        const ParsedFormatArguments plain = parseFormatArguments({"-i", "a.c"});
        QVERIFY(plain.options && !plain.options->forceReadOnly);
        const ParsedFormatArguments forced = parseFormatArguments({"--force-read-only", "-ri", "src"});
        QVERIFY2(forced.options, qPrintable(forced.error));
        QVERIFY(forced.options->forceReadOnly);
        QCOMPARE(forced.options->mode, Mode::InPlace);
    }

    void styleAndConfig()
    {
        const ParsedFormatArguments parsed =
            parseFormatArguments({"--style", "K&&R", "--config=/etc/z.dat", "a.c"});
        QVERIFY(parsed.options);
        QCOMPARE(parsed.options->style, std::optional<QString>(QStringLiteral("K&&R")));
        QCOMPARE(parsed.options->configPath, QByteArray("/etc/z.dat"));

        const ParsedFormatArguments chinese =
            parseFormatArguments({QString::fromUtf8("--style=Zabo推荐风格").toUtf8(), "a.c"});
        QVERIFY(chinese.options);
        QCOMPARE(*chinese.options->style, QString::fromUtf8("Zabo推荐风格"));

        const ParsedFormatArguments none = parseFormatArguments({"a.c"});
        QVERIFY(none.options);
        QVERIFY(!none.options->style);
        QVERIFY(!none.options->repositoryProfile);

        const ParsedFormatArguments file = parseFormatArguments({"--style=file", "--check", "src"});
        QVERIFY(file.options);
        QVERIFY(file.options->repositoryProfile);
    }

    void selectionOptions()
    {
        const ParsedFormatArguments parsed =
            parseFormatArguments({"--check", "--single-pass", "--exclude", "vendor", "--exclude=*.pb.c", "-r",
                                  "--since", "origin/main", "src", "lib"});
        QVERIFY2(parsed.options, qPrintable(parsed.error));
        QVERIFY(parsed.options->singlePass);
        QCOMPARE(parsed.options->excludes, (QByteArrayList{"vendor", "*.pb.c"}));
        QCOMPARE(parsed.options->since, QByteArray("origin/main"));
        QVERIFY(parsed.options->lines.isEmpty());

        const ParsedFormatArguments lines =
            parseFormatArguments({"--lines", "3:7", "--lines=10:10", "--in-place", "a.c"});
        QVERIFY2(lines.options, qPrintable(lines.error));
        QCOMPARE(lines.options->lines, (QList<LineRange>{{3, 7}, {10, 10}}));

        const ParsedFormatArguments input =
            parseFormatArguments({"--stdin-name", "src/a.c", "--since", "HEAD", "-"});
        QVERIFY2(input.options, qPrintable(input.error));
        QCOMPARE(input.options->mode, Mode::StandardOutput);
        QCOMPARE(input.options->paths, QByteArrayList{"-"});
        QCOMPARE(input.options->standardInputName, std::optional<QByteArray>("src/a.c"));
        QVERIFY(parseFormatArguments({"--check", "-"}).options);
    }

    void colourAndTimeLimit()
    {
        const ParsedFormatArguments defaults = parseFormatArguments({"a.c"});
        QCOMPARE(defaults.options->colour, FormatOptions::Colour::Auto);
        QCOMPARE(defaults.options->timeLimitSeconds, FormatOptions::DefaultIndentTimeLimitSeconds);
        const ParsedFormatArguments given =
            parseFormatArguments({"--color=never", "--time-limit", "600", "--check", "a.c"});
        QVERIFY2(given.options, qPrintable(given.error));
        QCOMPARE(given.options->colour, FormatOptions::Colour::Never);
        QCOMPARE(given.options->timeLimitSeconds, 600);
        // --color alone means always, as ls, diff and git read it; its value is never the next word
        const ParsedFormatArguments alone = parseFormatArguments({"--color", "--diff", "a.c"});
        QVERIFY2(alone.options, qPrintable(alone.error));
        QCOMPARE(alone.options->colour, FormatOptions::Colour::Always);
    }

    void whatFiltersStandardInput_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<bool>("filters");
        QTest::newRow("the editor's line")
            << QByteArrayList{"--style", "file", "--stdin-name", "a.c", "-"} << true;
        QTest::newRow("a mistyped option") << QByteArrayList{"--sytle", "file", "-"} << true;
        QTest::newRow("a style named -") << QByteArrayList{"--style", "-", "a.c"} << false;
        QTest::newRow("a glued value") << QByteArrayList{"--stdin-name=-", "a.c"} << false;
        QTest::newRow("after --") << QByteArrayList{"--", "-"} << true;
        QTest::newRow("checked") << QByteArrayList{"--check", "-"} << false;
        QTest::newRow("a diff") << QByteArrayList{"-", "--diff"} << false;
        QTest::newRow("in place") << QByteArrayList{"-i", "-"} << false;
        QTest::newRow("a file") << QByteArrayList{"a.c"} << false;
    }

    void whatFiltersStandardInput()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(bool, filters);
        QCOMPARE(filtersStandardInput(arguments), filters);
    }

    void invalidCommandLines_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing") << QByteArrayList{} << "no file given";
        QTest::newRow("check without files") << QByteArrayList{"--check"} << "no file or directory given";
        QTest::newRow("infer without files")
            << QByteArrayList{"--infer", "-r"} << "no file or directory given";
        QTest::newRow("infer from a style")
            << QByteArrayList{"--infer", "--style", "GNU", "a.c"} << "it takes no --style or --config";
        QTest::newRow("infer and check")
            << QByteArrayList{"--infer", "--check", "a.c"} << "--infer and --check cannot be combined";
        QTest::newRow("unknown option") << QByteArrayList{"-x.c"} << "unknown option \"-x.c\"";
        QTest::newRow("two modes") << QByteArrayList{"--check", "--in-place", "a.c"}
                                   << "--check and --in-place cannot be combined";
        QTest::newRow("two files to standard output") << QByteArrayList{"a.c", "b.c"} << "exactly one file";
        QTest::newRow("output without directory")
            << QByteArrayList{"--output"} << "--output needs a directory";
        QTest::newRow("style without name")
            << QByteArrayList{"a.c", "--style"} << "--style needs a style name";
        QTest::newRow("value for a switch")
            << QByteArrayList{"--check=yes", "a.c"} << "--check takes no value";
        QTest::newRow("list styles with files")
            << QByteArrayList{"--list-styles", "a.c"} << "--list-styles takes no file";
        QTest::newRow("standard input and a file")
            << QByteArrayList{"--check", "-", "a.c"} << "formatted alone";
        QTest::newRow("standard input in place") << QByteArrayList{"--in-place", "-"} << "need files";
        QTest::newRow("standard input to a directory")
            << QByteArrayList{"--output", "out", "-"} << "need files";
        QTest::newRow("standard input, recursive")
            << QByteArrayList{"--check", "-r", "-"} << "-r means nothing";
        QTest::newRow("a name without standard input")
            << QByteArrayList{"--stdin-name", "a.c", "b.c"} << "give \"-\" as the file";
        QTest::newRow("lines of two files")
            << QByteArrayList{"--check", "--lines", "1:2", "a.c", "b.c"} << "--lines needs exactly one file";
        QTest::newRow("lines of a tree")
            << QByteArrayList{"--check", "--lines", "1:2", "-r", "src"} << "--lines needs exactly one file";
        QTest::newRow("lines backwards") << QByteArrayList{"--lines", "5:2", "a.c"} << "FIRST:LAST";
        QTest::newRow("lines from zero") << QByteArrayList{"--lines", "0:2", "a.c"} << "FIRST:LAST";
        QTest::newRow("lines without a range") << QByteArrayList{"--lines", "5", "a.c"} << "FIRST:LAST";
        QTest::newRow("lines and since")
            << QByteArrayList{"--lines", "1:2", "--since", "HEAD", "a.c"} << "cannot be combined";
        QTest::newRow("since of unnamed standard input")
            << QByteArrayList{"--since", "HEAD", "-"} << "--since needs --stdin-name";
        QTest::newRow("since without formatting")
            << QByteArrayList{"--since", "HEAD", "--list-styles"} << "--since goes with";
        QTest::newRow("empty exclude")
            << QByteArrayList{"--exclude=", "--check", "a.c"} << "--exclude needs a pattern";
        QTest::newRow("profile of the repository printed")
            << QByteArrayList{"--print-profile", "--style", "file"} << "--print-profile prints a saved style";
        // "--=x" is no "--": the switches after it are not read as names
        QTest::newRow("--=x") << QByteArrayList{"--check", "--=x", "-ri", "a.c"} << "unknown option \"--=x\"";
        QTest::newRow("--= alone") << QByteArrayList{"--check", "--=", "a.c"} << "unknown option \"--=\"";
        QTest::newRow("unknown option with a value")
            << QByteArrayList{"--check", "--width=80", "a.c"} << "unknown option \"--width=80\"";
        QTest::newRow("infer from standard input")
            << QByteArrayList{"--infer", "-"}
            << "--infer learns from files and directories, not standard input";
        QTest::newRow("colour of another kind")
            << QByteArrayList{"--color=sometimes", "a.c"} << "auto, always or never";
        QTest::newRow("no time at all") << QByteArrayList{"--time-limit", "0", "a.c"} << "--time-limit needs";
        QTest::newRow("time in other digits")
            << QByteArrayList{"--time-limit", "\xd9\xa8", "a.c"} << "--time-limit needs";
        QTest::newRow("--force-read-only without --in-place")
            << QByteArrayList{"--check", "--force-read-only", "a.c"}
            << "--force-read-only goes with --in-place";
        QTest::newRow("unknown long option")
            << QByteArrayList{"--width", "a.c"} << "unknown option \"--width\"";
    }

    void invalidCommandLines()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(QString, error);
        const ParsedFormatArguments parsed = parseFormatArguments(arguments);
        QVERIFY(!parsed.options);
        QVERIFY2(parsed.error.contains(error), qPrintable(parsed.error));
    }

    void theHelpNamesEveryModeAndExitStatus()
    {
        const QString usage = formatUsage();
        for (const char *part :
             {"--check",      "--diff",       "--in-place",    "--output",      "--list-styles",
              "--style",      "--style file", "--config",      "--single-pass", "--exclude",
              "--stdin-name", "--lines",      "--since",       "--recursive",   "--force-read-only",
              "hard links",   "read-only",    "-pmt",          "--infer",       "--help",
              "--",           "Exit status:", "~/.indent.pro", "settled",       "/* *INDENT-OFF* */",
              "  0  ",        "  1  ",        "  2  ",         "  130  "})
            QVERIFY2(usage.contains(QLatin1String(part)), part);
        QVERIFY(usage.contains(QStringLiteral("--annotate")));
    }

    // A terminal of 80 columns shows every line whole, and the statuses' texts start in one column.
    void theHelpFitsEightyColumns()
    {
        const QStringList lines = formatUsage().split(QLatin1Char('\n'));
        for (const QString &line : lines)
            QVERIFY2(line.size() <= 80, qPrintable(line));
        const qsizetype statuses = lines.indexOf(QStringLiteral("Exit status:"));
        QVERIFY(statuses > 0);
        QStringList rows;
        static const QRegularExpression row(QStringLiteral("^ *([0-9]+)  (\\S.*)$"));
        for (qsizetype index = statuses + 1; index < lines.size(); ++index) {
            const QRegularExpressionMatch match = row.match(lines.at(index));
            if (match.hasMatch()) {
                rows.append(match.captured(1));
                QCOMPARE(match.capturedStart(2), 7);
            } else if (lines.at(index).startsWith(QLatin1Char(' '))) {
                QCOMPARE(lines.at(index).indexOf(QRegularExpression(QStringLiteral("\\S"))), 7);
            }
        }
        QCOMPARE(rows, (QStringList{"0", "1", "2", "130"}));
    }
};

QTEST_GUILESS_MAIN(TestFormatArguments)
#include "tst_formatarguments.moc"
