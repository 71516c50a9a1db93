#include "FormatArguments.h"

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
    }

    void invalidCommandLines_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing") << QByteArrayList{} << "no file given";
        QTest::newRow("check without files") << QByteArrayList{"--check"} << "no file or directory given";
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
        // "--=x" is no "--": the switches after it are not read as names
        QTest::newRow("--=x") << QByteArrayList{"--check", "--=x", "-ri", "a.c"} << "unknown option \"--=x\"";
        QTest::newRow("--= alone") << QByteArrayList{"--check", "--=", "a.c"} << "unknown option \"--=\"";
        QTest::newRow("unknown option with a value")
            << QByteArrayList{"--check", "--lines=1:2", "a.c"} << "unknown option \"--lines=1:2\"";
        QTest::newRow("unknown long option")
            << QByteArrayList{"--lines", "a.c"} << "unknown option \"--lines\"";
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
             {"--check", "--diff", "--in-place", "--output", "--list-styles", "--style", "--config",
              "--recursive", "--help", "--", "Exit status:", "  0  ", "  1  ", "  2  ", "  130  "})
            QVERIFY2(usage.contains(QLatin1String(part)), part);
    }
};

QTEST_GUILESS_MAIN(TestFormatArguments)
#include "tst_formatarguments.moc"
