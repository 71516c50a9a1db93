#include "CellTable.h"
#include "ChildProcesses.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "HangLimit.h"
#include "LineEnds.h"
#include "OptionCatalogue.h"
#include "SmallFileSystem.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Outcome = FormatterProcessResult::Outcome;

namespace {

// Tabs, braces on their own lines, a boxed comment and a declaration: most options change something.
const QByteArray Sample = "#include <stdio.h>\n"
                          "struct point { int x; int y; };\n"
                          "static int add(int a,int b) { return a+b; }\n"
                          "int main(int argc, char **argv)\n"
                          "{\n"
                          "\tint i; char *name = argv[0];\t/* the program */\n"
                          "\t/*-\n"
                          "\t *\tboxed\n"
                          "\t */\n"
                          "\tfor (i=0;i<argc;i++)\n"
                          "\t{\n"
                          "\t\tif (i>0 && argv[i][0]=='-' || sizeof(int)>2)\n"
                          "\t\t{\n"
                          "\t\t\tprintf(\"%d %s\\n\", add(i,1), name);\n"
                          "\t\t}\n"
                          "\t\telse { switch (i) { case 0: { break; } default: break; } }\n"
                          "\t}\n"
                          "\treturn 0;\n"
                          "}\n";

QString recommendedParameterText()
{
    return ParameterTextOf(builtInStyles().at(3));
}

QString describe(const FormatterRunResult &result)
{
    QStringList lines;
    for (const FormatterProcessResult &run : result.runs)
        lines << QStringLiteral("outcome %1 exit %2 files %3 error %4 stderr %5")
                     .arg(int(run.outcome))
                     .arg(run.exitCode)
                     .arg(run.files.size())
                     .arg(run.errorString, QString::fromLocal8Bit(run.standardError));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

class TestFormatterRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void options_data();
    void options();
    void batches_data();
    void batches();
    void patternExpansion();

    void catalogueOptionAlone_data();
    void catalogueOptionAlone();
    void laterOptionWins_data();
    void laterOptionWins();
    void bareTypeNameIsPassedOn();
    void profileInWorkingDirectory_data();
    void profileInWorkingDirectory();
    void standardOutputOption();
    void awkwardNames();
    void largeDirectoryStaysBelowArgumentLimit();
    void backupRules_data();
    void backupRules();

    void noFilesStartsNothing();
    void exitStatuses_data();
    void exitStatuses();
    void crash();
    void standardErrorIsCaptured();
    void formatterThatCannotStart_data();
    void formatterThatCannotStart();
    void progressReachesTheTotal();
    void cancelEndsRunningFormatters();
    void fullFileSystemNeverPassesForFormatted_data();
    void fullFileSystemNeverPassesForFormatted();
    void wholeBlockOutputIsCheckedNotRewritten();
    void crLfFilesKeepTheirLineEnds();
    void fileSwappedForAFifoFailsAlone();

private:
    // A fresh directory holding the given files, each with content.
    QString makeDirectory(const QStringList &names, const QByteArray &content = Sample);
    QByteArray formatDirectly(const QStringList &options, const QByteArray &content = Sample,
                              int *exitCode = nullptr);
    FormatterRunResult runOver(const QStringList &files, const QString &parameterText, int maxParallel = 0);

    QTemporaryDir m_scratch;
    QString m_indent;
    QString m_originalDirectory;
    int m_directoryCount = 0;
};

void TestFormatterRun::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    m_indent = deployment.formatterPath;

    // No profile of the person running the tests may leak in.
    QVERIFY(isolateFromIndentSettings(m_scratch.path()));
    QVERIFY(QDir().mkpath(m_scratch.filePath(QStringLiteral("cwd"))));
    qunsetenv("FAKE_INDENT_MODE");
    m_originalDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_scratch.filePath(QStringLiteral("cwd"))));
}

void TestFormatterRun::cleanupTestCase()
{
    QDir::setCurrent(m_originalDirectory);
}

void TestFormatterRun::cleanup()
{
    // make sure we *always* restore what a test changed
    QDir::setCurrent(m_scratch.filePath(QStringLiteral("cwd")));
    qunsetenv("FAKE_INDENT_MODE");
}

QString TestFormatterRun::makeDirectory(const QStringList &names, const QByteArray &content)
{
    const QString directory = m_scratch.filePath(QStringLiteral("dir%1").arg(++m_directoryCount));
    if (!QDir().mkpath(directory))
        return {};
    for (const QString &name : names) {
        if (!writeAll(directory + QLatin1Char('/') + name, content))
            return {};
    }
    return directory;
}

QByteArray TestFormatterRun::formatDirectly(const QStringList &options, const QByteArray &content,
                                            int *exitCode)
{
    const QString directory = makeDirectory({QStringLiteral("direct.c")}, content);
    const QString file = directory + QStringLiteral("/direct.c");
    QProcess indent;
    indent.setStandardInputFile(QProcess::nullDevice());
    // The file first, so that a bare "-T" at the end is really last.
    indent.start(m_indent, QStringList{file} + options);
    indent.waitForFinished(HangMilliseconds);
    if (exitCode)
        *exitCode = indent.exitCode();
    return readAll(file);
}

FormatterRunResult TestFormatterRun::runOver(const QStringList &files, const QString &parameterText,
                                             int maxParallel)
{
    FormatterRequest request;
    request.formatterPath = m_indent;
    request.files = files;
    request.parameterText = parameterText;
    request.maxParallel = maxParallel;
    return FormatterRunner().run(request);
}

void TestFormatterRun::options_data()
{
    QTest::addColumn<QString>("parameterText");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("one blank after each") << "-bad -i4 " << QStringList{"-bad", "-i4"};
    QTest::newRow("stray whitespace") << "  -bad \t -i4\n" << QStringList{"-bad", "-i4"};
    QTest::newRow("bare -T before -ts4") << "-nut -T -ts4 " << QStringList{"-nut", "-T", "-ts4"};
    QTest::newRow("bare -T last") << "-bad -T " << QStringList{"-bad", "-T"};
    QTest::newRow("-T with a type name kept") << "-Tsize_t " << QStringList{"-Tsize_t"};
    QTest::newRow("-st left out") << "-npro -st -v " << QStringList{"-npro", "-v"};
    QTest::newRow("-pmt passed on") << "-pmt " << QStringList{"-pmt"};
    QTest::newRow("recommended style")
        << recommendedParameterText()
        << QStringList{"-bap",  "-bbb",   "-bbo", "-bli0", "-br",    "-brs",  "-bs",   "-c41", "-cbi4",
                       "-cd41", "-cdb",   "-cdw", "-ce",   "-ci0",   "-cs",   "-fc1",  "-i4",  "-ip4",
                       "-l120", "-lc120", "-lp",  "-nbc",  "-nbfda", "-ncdb", "-npsl", "-nut", "-pcs",
                       "-saf",  "-sai",   "-saw", "-sbi4", "-sc",    "-sob",  "-ss",   "-T",   "-ts4"};
}

void TestFormatterRun::options()
{
    QFETCH(QString, parameterText);
    QFETCH(QStringList, expected);
    QCOMPARE(formatterOptions(parameterText), expected);
}

void TestFormatterRun::batches_data()
{
    QTest::addColumn<int>("fileCount");
    QTest::addColumn<int>("nameLength");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<qsizetype>("budget");
    QTest::addColumn<int>("expectedBatches"); // -1: only the budget decides

    QTest::newRow("one file") << 1 << 10 << 2 << qsizetype(1 << 20) << 1;
    QTest::newRow("fewer files than wanted batches") << 10 << 10 << 2 << qsizetype(1 << 20) << 10;
    QTest::newRow("eight per process") << 1000 << 10 << 2 << qsizetype(1 << 20) << 16;
    QTest::newRow("one process") << 1000 << 10 << 1 << qsizetype(1 << 20) << 8;
    QTest::newRow("no core count") << 1000 << 10 << 0 << qsizetype(1 << 20) << 8;
    QTest::newRow("budget splits further") << 1000 << 100 << 2 << qsizetype(10000) << -1;
    QTest::newRow("a name above the budget") << 3 << 300 << 2 << qsizetype(100) << 3;
}

void TestFormatterRun::batches()
{
    QFETCH(int, fileCount);
    QFETCH(int, nameLength);
    QFETCH(int, parallel);
    QFETCH(qsizetype, budget);
    QFETCH(int, expectedBatches);

    QStringList files;
    for (int i = 0; i < fileCount; ++i)
        files << QStringLiteral("/d/%1-").arg(i) + QString(nameLength, QLatin1Char('x'));

    const QVector<QStringList> batches = formatterBatches(files, parallel, budget);
    if (expectedBatches >= 0)
        QCOMPARE(batches.size(), expectedBatches);
    QStringList together;
    for (const QStringList &batch : batches) {
        QVERIFY(!batch.isEmpty());
        qsizetype bytes = 0;
        for (const QString &file : batch)
            bytes += file.toUtf8().size() + 1 + qsizetype(sizeof(char *));
        QVERIFY2(batch.size() == 1 || bytes <= budget, qPrintable(QString::number(bytes)));
        together += batch;
    }
    together.sort();
    files.sort();
    QCOMPARE(together, files);
}

void TestFormatterRun::patternExpansion()
{
    const QString directory = makeDirectory({"a.c", "MAIN.C", ".hidden.h", "notes.txt", "x.test.c", "a.c~"});
    QVERIFY(QDir(directory).mkpath(QStringLiteral("sub.c")));
    QVERIFY(writeAll(directory + QStringLiteral("/sub.c/inner.c"), Sample));
    QVERIFY(QFile::link(directory + QStringLiteral("/a.c"), directory + QStringLiteral("/link-to-file.c")));
    QVERIFY(QFile::link(directory + QStringLiteral("/sub.c"), directory + QStringLiteral("/link-to-dir.c")));

    QStringList expected;
    for (const char *name : {".hidden.h", "MAIN.C", "a.c", "a.c~", "link-to-file.c", "notes.txt", "x.test.c"})
        expected << directory + QLatin1Char('/') + QLatin1String(name);
    QStringList found = expandFormatterPattern(directory);
    found.sort();
    QCOMPARE(found, expected);

    QVERIFY(expandFormatterPattern(makeDirectory({})).isEmpty());
    QVERIFY(expandFormatterPattern(m_scratch.filePath(QStringLiteral("missing"))).isEmpty());
}

void TestFormatterRun::catalogueOptionAlone_data()
{
    QTest::addColumn<QString>("optionText");
    for (const OptionRow &row : OptionCatalogue)
        QTest::newRow(row.optionText) << QString::fromUtf8(row.optionText);
}

void TestFormatterRun::catalogueOptionAlone()
{
    QFETCH(QString, optionText);

    const QString file = makeDirectory({QStringLiteral("a.c")}) + QStringLiteral("/a.c");
    const FormatterRunResult result = runOver({file}, optionText + QLatin1Char(' '));
    QCOMPARE(result.runs.size(), 1);
    QCOMPARE(result.runs.at(0).files, QStringList{file});
    QVERIFY(!QFileInfo::exists(file + QLatin1Char('~')));

    // Alone, a bare -T has no type name: indent refuses, as it does when typed.
    if (optionText == QLatin1String("-T")) {
        QCOMPARE(result.runs.at(0).exitCode, 1);
        QCOMPARE(readAll(file), Sample);
        return;
    }
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    // -st is left out: the file is formatted as with no option at all.
    const QStringList direct = optionText == QLatin1String("-st") ? QStringList() : QStringList{optionText};
    int directExit = -1;
    QCOMPARE(readAll(file), formatDirectly(direct, Sample, &directExit));
    QCOMPARE(directExit, 0);
    QVERIFY(readAll(file) != Sample);
}

void TestFormatterRun::laterOptionWins_data()
{
    QTest::addColumn<QString>("parameterText");
    QTest::addColumn<QStringList>("winner");
    QTest::addColumn<QStringList>("loser");

    QTest::newRow("-bl -br") << "-bl -br " << QStringList{"-br"} << QStringList{"-bl"};
    QTest::newRow("-bli0 -bli4") << "-bli0 -bli4 " << QStringList{"-bli4"} << QStringList{"-bli0"};
    QTest::newRow("-gnu -i4") << "-gnu -i4 " << QStringList{"-gnu", "-i4"} << QStringList{"-gnu"};
    QTest::newRow("-nsaf -saf") << "-nsaf -saf " << QStringList{"-saf"} << QStringList{"-nsaf"};
}

void TestFormatterRun::laterOptionWins()
{
    QFETCH(QString, parameterText);
    QFETCH(QStringList, winner);
    QFETCH(QStringList, loser);

    const QString file = makeDirectory({QStringLiteral("a.c")}) + QStringLiteral("/a.c");
    const FormatterRunResult result = runOver({file}, parameterText);
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    const QByteArray formatted = readAll(file);
    QCOMPARE(formatted, formatDirectly(winner));
    QVERIFY(formatted != formatDirectly(loser));

    if (parameterText.startsWith(QLatin1String("-bl -br")))
        QVERIFY(formatted.contains("if (i > 0 && argv[i][0] == '-' || sizeof (int) > 2) {"));
    if (parameterText.startsWith(QLatin1String("-gnu -i4")))
        QVERIFY(formatted.contains("\n    int i;"));
}

void TestFormatterRun::bareTypeNameIsPassedOn()
{
    // Recommended: ends "-T -ts4 "; "-ts4" becomes a type name, so tabs stay at indent's 8.
    const QString recommended = recommendedParameterText();
    QVERIFY(recommended.endsWith(QLatin1String("-T -ts4 ")));
    const QStringList options = formatterOptions(recommended);
    const QString file = makeDirectory({QStringLiteral("a.c")}) + QStringLiteral("/a.c");
    FormatterRunResult result = runOver({file}, recommended);
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    const QByteArray formatted = readAll(file);
    QCOMPARE(formatted, formatDirectly(options));
    QVERIFY(formatted != formatDirectly(options.mid(0, options.size() - 2) + QStringList{"-ts4"}));

    // Last: the files come first, so indent finds no type name and refuses the whole run.
    const QString another = makeDirectory({QStringLiteral("b.c")}) + QStringLiteral("/b.c");
    result = runOver({another}, QStringLiteral("-kr -T "));
    QVERIFY(!result.succeeded());
    QCOMPARE(result.failedFiles(), QStringList{another});
    QVERIFY(result.standardErrorText().contains(QLatin1String("missing argument to parameter T")));
    QCOMPARE(readAll(another), Sample);
}

void TestFormatterRun::profileInWorkingDirectory_data()
{
    QTest::addColumn<QString>("parameterText");
    QTest::addColumn<QStringList>("sameAs");

    // The profile counts as explicit: it beats a preset, and an explicit option beats it.
    QTest::newRow("profile beats -kr") << "-kr " << QStringList{"-kr", "-i8"};
    QTest::newRow("explicit beats profile") << "-kr -i2 " << QStringList{"-kr", "-i2"};
    QTest::newRow("-npro") << "-kr -npro " << QStringList{"-kr"};
    QTest::newRow("-npro first") << "-npro -kr " << QStringList{"-kr"};
}

void TestFormatterRun::profileInWorkingDirectory()
{
    QFETCH(QString, parameterText);
    QFETCH(QStringList, sameAs);

    const QString workingDirectory = makeDirectory({});
    QVERIFY(writeAll(workingDirectory + QStringLiteral("/.indent.pro"), "-i8\n"));
    const QString file = makeDirectory({QStringLiteral("a.c")}) + QStringLiteral("/a.c");
    QVERIFY(QDir::setCurrent(workingDirectory));
    const FormatterRunResult result = runOver({file}, parameterText);
    QVERIFY(QDir::setCurrent(m_scratch.filePath(QStringLiteral("cwd"))));
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QCOMPARE(readAll(file), formatDirectly(QStringList{"-npro"} + sameAs));
}

void TestFormatterRun::standardOutputOption()
{
    // Formatting always goes to the files: with one file as with many, -st changes nothing.
    const QStringList oneFile = {makeDirectory({QStringLiteral("one.c")}) + QStringLiteral("/one.c")};
    FormatterRunResult result = runOver(oneFile, QStringLiteral("-kr -st "));
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QVERIFY(result.runs.at(0).standardOutput.isEmpty());
    QCOMPARE(readAll(oneFile.at(0)), formatDirectly({"-kr"}));

    const QString directory = makeDirectory({QStringLiteral("one.c"), QStringLiteral("two.c")});
    const QStringList twoFiles = expandFormatterPattern(directory);
    QCOMPARE(twoFiles.size(), 2);
    result = runOver(twoFiles, QStringLiteral("-kr -st "), 1);
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QCOMPARE(result.runs.size(), 2); // batches of one file each
    for (const QString &file : twoFiles)
        QCOMPARE(readAll(file), formatDirectly({"-kr"}));
    for (const FormatterProcessResult &run : result.runs)
        QVERIFY(run.standardOutput.isEmpty());
}

void TestFormatterRun::awkwardNames()
{
    const QStringList names = {"with space.c",
                               "quote'single.c",
                               "quote\"double.c",
                               "-npro.c",
                               "-st.c",
                               "--help.c",
                               "line\nbreak.c",
                               "back\\slash.c",
                               "star*.c",
                               "ünïcödé.c",
                               "$(touch injected).c",
                               "semi;colon.c",
                               "-T"};
    const QString directory = makeDirectory(names);
    QVERIFY(!directory.isEmpty());
    // A profile in the working directory shows whether "-npro.c" was read as an option.
    QVERIFY(writeAll(QDir::current().filePath(QStringLiteral(".indent.pro")), "-i8\n"));
    const FormatterRunResult result = runOver(expandFormatterPattern(directory), QStringLiteral("-kr "));
    QFile::remove(QDir::current().filePath(QStringLiteral(".indent.pro")));
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));

    const QByteArray expected = formatDirectly({"-npro", "-kr", "-i8"});
    for (const QString &name : names)
        QVERIFY2(readAll(directory + QLatin1Char('/') + name) == expected, qPrintable(name));
    QVERIFY(!QFileInfo::exists(directory + QStringLiteral("/injected")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("injected")));

    // Relative names are handed over as full paths too.
    const QString relativeDirectory = makeDirectory({QStringLiteral("-npro.c"), QStringLiteral("-v")});
    QVERIFY(QDir::setCurrent(relativeDirectory));
    const FormatterRunResult relative = runOver({"-npro.c", "-v"}, QStringLiteral("-kr "));
    QVERIFY2(relative.succeeded(), qPrintable(describe(relative)));
    QCOMPARE(relative.runs.at(0).files.at(0), relativeDirectory + QStringLiteral("/-npro.c"));
    QCOMPARE(readAll(relativeDirectory + QStringLiteral("/-npro.c")), formatDirectly({"-npro", "-kr"}));
    QCOMPARE(readAll(relativeDirectory + QStringLiteral("/-v")), formatDirectly({"-npro", "-kr"}));
}

void TestFormatterRun::largeDirectoryStaysBelowArgumentLimit()
{
    // Long names: all of them on one command line would be several times the argument limit.
    const QByteArray tiny = "int  f(){return 0;}\n";
    const QString directory = makeDirectory({});
    const QString padding(180, QLatin1Char('n'));
    constexpr int FileCount = 20500;
    for (int i = 0; i < FileCount; ++i)
        QVERIFY(writeAll(QStringLiteral("%1/%2-%3.c").arg(directory, padding).arg(i), tiny));
    const QStringList files = expandFormatterPattern(directory);
    QCOMPARE(files.size(), FileCount);

    // A bulky environment leaves less room for arguments; each string stays below the per-string limit.
    QList<QByteArray> ballastNames;
    for (int i = 0; i < 18; ++i) {
        ballastNames << QByteArray("ZABO_TEST_BALLAST_") + QByteArray::number(i);
        qputenv(ballastNames.last().constData(), QByteArray(100 * 1024, 'b'));
    }
    const FormatterRunResult result = runOver(files, QStringLiteral("-npro -kr "));
    for (const QByteArray &name : ballastNames)
        qunsetenv(name.constData());
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QVERIFY(result.runs.size() >= 2);

    QSet<QString> handedOver;
    for (const FormatterProcessResult &run : result.runs)
        for (const QString &file : run.files)
            handedOver.insert(file);
    QCOMPARE(handedOver.size(), FileCount);
    QCOMPARE(handedOver, QSet<QString>(files.cbegin(), files.cend()));

    const QByteArray expected = formatDirectly({"-npro", "-kr"}, tiny);
    QVERIFY(expected != tiny);
    for (const QString &file : files)
        QVERIFY2(readAll(file) == expected, qPrintable(file));
}

void TestFormatterRun::backupRules_data()
{
    QTest::addColumn<QByteArray>("versionControl");
    QTest::addColumn<QByteArray>("suffix");

    // Whatever the user's backup rule, indent writes no backup for a job that would only delete it.
    QTest::newRow("no rule") << QByteArray() << QByteArray();
    QTest::newRow("simple") << QByteArray("simple") << QByteArray();
    QTest::newRow("numbered") << QByteArray("numbered") << QByteArray();
    QTest::newRow("existing") << QByteArray("existing") << QByteArray();
    QTest::newRow("suffix that looks like a source") << QByteArray("simple") << QByteArray(".c");
}

void TestFormatterRun::backupRules()
{
    QFETCH(QByteArray, versionControl);
    QFETCH(QByteArray, suffix);
    const QStringList expectedEntries = {"a.c", "a.c.~1~"};

    const QString directory = makeDirectory({QStringLiteral("a.c"), QStringLiteral("a.c.~1~")});
    if (!versionControl.isEmpty())
        qputenv("VERSION_CONTROL", versionControl);
    if (!suffix.isEmpty())
        qputenv("SIMPLE_BACKUP_SUFFIX", suffix);
    const FormatterRunResult result =
        runOver({directory + QStringLiteral("/a.c")}, QStringLiteral("-npro -kr "));
    qunsetenv("VERSION_CONTROL");
    qunsetenv("SIMPLE_BACKUP_SUFFIX");
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QCOMPARE(QDir(directory).entryList(QDir::Files, QDir::Name), expectedEntries);
}

void TestFormatterRun::noFilesStartsNothing()
{
    qputenv("FAKE_INDENT_MODE", "exit:1");
    FormatterRequest request;
    request.formatterPath = QStringLiteral(FAKE_INDENT_PATH);
    request.parameterText = QStringLiteral("-kr ");
    int progressCalls = 0;
    const FormatterRunResult result =
        FormatterRunner().run(request, [&](int, int) { return ++progressCalls, true; });
    QVERIFY(result.runs.isEmpty());
    QVERIFY(result.succeeded());
    QVERIFY(!result.cancelled);
    QCOMPARE(progressCalls, 0);
}

void TestFormatterRun::exitStatuses_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("1: an unknown option") << 1;
    QTest::newRow("2: a file did not parse cleanly") << 2;
    QTest::newRow("4: a file could not be written") << 4;
}

void TestFormatterRun::exitStatuses()
{
    QFETCH(int, status);
    qputenv("FAKE_INDENT_MODE", "exit:" + QByteArray::number(status));
    FormatterRequest request;
    request.formatterPath = QStringLiteral(FAKE_INDENT_PATH);
    request.files = expandFormatterPattern(makeDirectory({"a.c", "b.c", "c.c", "d.c", "e.c"}));
    const FormatterRunResult result = FormatterRunner().run(request);

    QVERIFY(!result.succeeded());
    QCOMPARE(result.runs.size(), 5);
    for (const FormatterProcessResult &run : result.runs) {
        QCOMPARE(run.outcome, Outcome::Finished);
        QCOMPARE(run.exitCode, status);
        QCOMPARE(run.standardError, "fake indent: failed on " + QFile::encodeName(run.files.at(0)) + '\n');
    }
    QStringList warned = result.filesWithWarnings();
    QStringList failed = result.failedFiles();
    warned.sort();
    failed.sort();
    QStringList all = request.files;
    all.sort();
    QCOMPARE(warned, status == 2 ? all : QStringList());
    QCOMPARE(failed, status == 2 ? QStringList() : all);
    QVERIFY(result.standardErrorText().contains(QStringLiteral("fake indent: failed on ") +
                                                result.runs.at(4).files.at(0)));
}

void TestFormatterRun::crash()
{
    qputenv("FAKE_INDENT_MODE", "crash");
    FormatterRequest request;
    request.formatterPath = QStringLiteral(FAKE_INDENT_PATH);
    request.files = expandFormatterPattern(makeDirectory({"a.c", "b.c"}));
    const FormatterRunResult result = FormatterRunner().run(request);

    QVERIFY(!result.succeeded());
    for (const FormatterProcessResult &run : result.runs) {
        QCOMPARE(run.outcome, Outcome::Crashed);
        QVERIFY(!run.errorString.isEmpty());
    }
    QCOMPARE(result.failedFiles().size(), 2);
    QVERIFY(result.filesWithWarnings().isEmpty());
}

void TestFormatterRun::standardErrorIsCaptured()
{
    qputenv("FAKE_INDENT_MODE", "stderr");
    FormatterRequest request;
    request.formatterPath = QStringLiteral(FAKE_INDENT_PATH);
    request.files = expandFormatterPattern(makeDirectory({"a.c", "b.c", "c.c"}));
    const FormatterRunResult result = FormatterRunner().run(request);

    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QCOMPARE(result.runs.size(), 3);
    QCOMPARE(result.standardErrorText(),
             QStringLiteral("fake indent: a warning on standard error\n").repeated(3));
    QVERIFY(result.failedFiles().isEmpty());
}

void TestFormatterRun::formatterThatCannotStart_data()
{
    QTest::addColumn<QString>("formatterPath");
    QTest::newRow("missing") << m_scratch.filePath(QStringLiteral("no-such-indent"));
    const QString notExecutable = m_scratch.filePath(QStringLiteral("not-executable"));
    writeAll(notExecutable, FormatterImage());
    QFile::setPermissions(notExecutable, QFile::ReadOwner | QFile::WriteOwner);
    QTest::newRow("not executable") << notExecutable;
    QTest::newRow("a directory") << m_scratch.path();
}

void TestFormatterRun::formatterThatCannotStart()
{
    QFETCH(QString, formatterPath);
    FormatterRequest request;
    request.formatterPath = formatterPath;
    request.files = expandFormatterPattern(makeDirectory({"a.c", "b.c", "c.c"}));
    const FormatterRunResult result = FormatterRunner().run(request);

    QVERIFY(!result.succeeded());
    QVERIFY(!result.runs.isEmpty());
    for (const FormatterProcessResult &run : result.runs) {
        QCOMPARE(run.outcome, Outcome::FailedToStart);
        QVERIFY(!run.errorString.isEmpty());
    }
    QStringList failed = result.failedFiles();
    failed.sort();
    QStringList all = request.files;
    all.sort();
    QCOMPARE(failed, all);
    for (const QString &file : request.files)
        QCOMPARE(readAll(file), Sample);
}

void TestFormatterRun::progressReachesTheTotal()
{
    FormatterRequest request;
    request.formatterPath = m_indent;
    QStringList names;
    for (int i = 0; i < 100; ++i)
        names << QStringLiteral("f%1.c").arg(i);
    request.files = expandFormatterPattern(makeDirectory(names));
    request.parameterText = QStringLiteral("-npro ");
    request.maxParallel = 2;

    QList<int> reported;
    const FormatterRunResult result = FormatterRunner().run(request, [&](int done, int total) {
        reported << done;
        return total == 100;
    });
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QCOMPARE(result.runs.size(), 16);
    QVERIFY(!reported.isEmpty());
    QVERIFY(std::is_sorted(reported.cbegin(), reported.cend()));
    QCOMPARE(reported.last(), 100);
}

void TestFormatterRun::cancelEndsRunningFormatters()
{
    qputenv("FAKE_INDENT_MODE", "hang");
    FormatterRequest request;
    request.formatterPath = QStringLiteral(FAKE_INDENT_PATH);
    QStringList names;
    for (int i = 0; i < 40; ++i)
        names << QStringLiteral("f%1.c").arg(i);
    request.files = expandFormatterPattern(makeDirectory(names));
    request.maxParallel = 2;

    int calls = 0;
    const FormatterRunResult result = FormatterRunner().run(request, [&](int done, int total) {
        [&] {
            QCOMPARE(done, 0);
            QCOMPARE(total, 40);
        }();
        return ++calls < 3;
    });
    QCOMPARE(calls, 3);
    QCOMPARE(childProcessCount(), 0);
    QVERIFY(result.cancelled);
    QVERIFY(!result.succeeded());
    QCOMPARE(result.runs.size(), 16);
    for (const FormatterProcessResult &run : result.runs)
        QCOMPARE(run.outcome, Outcome::Cancelled);
    QCOMPARE(result.failedFiles().size(), 40);
}

namespace {

// Nested blocks that "-nut -i8" spreads over indented lines: the text grows about three times.
QByteArray growingSource()
{
    QByteArray deep;
    for (int line = 0; line < 300; ++line)
        deep += "if(a){if(b){if(c){if(d){x=1;}}}}\n";
    return "void f(void)\n{\n" + deep + "}\n";
}

const QStringList GrowingOptions = {"-npro", "-nut", "-i8"};

} // namespace

void TestFormatterRun::fullFileSystemNeverPassesForFormatted_data()
{
    QTest::addColumn<QString>("filler"); // "" for none, "keep" or "free": another writer during the run
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("maxParallel");
    QTest::addColumn<bool>("byDescriptor");
    QTest::addColumn<bool>("allWhole"); // every file can be made whole
    QTest::addColumn<qint64>("size");   // of the file system

    // The copies fit, indent's longer texts do not: it exits 0 with files cut at a block boundary.
    const qint64 small = 1024 * 1024;
    QTest::newRow("too small for the results") << "" << 40 << 0 << false << false << small;
    QTest::newRow("too small, through a directory handle") << "" << 40 << 0 << true << false << small;
    // Another program fills the file system while each batch runs, then frees the room again: only
    // the sizes of the cut files tell.
    QTest::newRow("filled during the run, freed after") << "free" << 4 << 1 << true << true << 4 * small;
    // ... or keeps it full: nothing can be written whole any more.
    QTest::newRow("filled during the run, kept full") << "keep" << 4 << 1 << false << false << small;
}

void TestFormatterRun::fullFileSystemNeverPassesForFormatted()
{
    QFETCH(QString, filler);
    QFETCH(int, files);
    QFETCH(int, maxParallel);
    QFETCH(bool, byDescriptor);
    QFETCH(bool, allWhole);
    QFETCH(qint64, size);

    const QByteArray source = growingSource();
    const QByteArray expected = formatDirectly(GrowingOptions, source);
    QVERIFY(expected.size() > 2 * source.size());

    const QString mountPoint = makeDirectory({});
    SmallFileSystem small(mountPoint, size);
    if (!small.isMounted())
        QSKIP("cannot mount a small tmpfs here");
    QStringList names;
    for (int i = 0; i < files; ++i) {
        names << QStringLiteral("f%1.c").arg(i);
        QVERIFY(writeAll(mountPoint + QLatin1Char('/') + names.last(), source));
    }

    FormatterRequest request;
    request.formatterPath = m_indent;
    request.parameterText = GrowingOptions.join(QLatin1Char(' '));
    request.maxParallel = maxParallel;
    const int directory =
        ::open(QFile::encodeName(mountPoint).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(directory >= 0);
    if (byDescriptor) {
        request.directoryDescriptor = directory;
        request.files = names;
    } else {
        for (const QString &name : names)
            request.files << mountPoint + QLatin1Char('/') + name;
    }
    if (!filler.isEmpty()) {
        request.formatterPath = QStringLiteral(FAKE_INDENT_PATH);
        qputenv("FAKE_INDENT_MODE", "fill-then-run");
        qputenv("FAKE_INDENT_FILL", QFile::encodeName(mountPoint + QStringLiteral("/filler")));
        qputenv("FAKE_INDENT_REAL", QFile::encodeName(m_indent));
        if (filler == QLatin1String("free"))
            qputenv("FAKE_INDENT_FREE", "1");
    }
    const FormatterRunResult result = FormatterRunner().run(request);
    QVERIFY(filler != QLatin1String("free") || small.freeBytes() > FormatterRunner::LowSpaceBytes);
    qunsetenv("FAKE_INDENT_FILL");
    qunsetenv("FAKE_INDENT_REAL");
    qunsetenv("FAKE_INDENT_FREE");
    ::close(directory);

    // Whatever is not reported as failed holds indent's whole text.
    const QStringList failed = result.failedFiles();
    for (int i = 0; i < files; ++i) {
        const QString name = request.files.at(i);
        if (!failed.contains(name))
            QVERIFY2(readAll(mountPoint + QLatin1Char('/') + names.at(i)) == expected, qPrintable(name));
    }
    for (const FormatterProcessResult &run : result.runs) {
        QVERIFY2(run.outcome == Outcome::Finished || run.outcome == Outcome::FileFailed,
                 qPrintable(describe(result)));
        if (run.outcome == Outcome::FileFailed)
            QVERIFY2(run.errorString.contains(QLatin1String("No space left")), qPrintable(run.errorString));
    }
    QVERIFY(!result.checkedFiles.isEmpty());
    if (allWhole) {
        QVERIFY2(result.succeeded(), qPrintable(describe(result)));
        QCOMPARE(result.repairedFiles.size(), files);
    } else {
        QVERIFY(!result.succeeded());
        QVERIFY(!failed.isEmpty());
    }
    QCOMPARE(childProcessCount(), 0);
}

// A text that really is a whole number of blocks long is formatted once more to be sure, and left as
// indent wrote it.
void TestFormatterRun::wholeBlockOutputIsCheckedNotRewritten()
{
    const QStringList options = {"-npro", "-kr"};
    QByteArray source;
    QByteArray expected;
    int padding = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        source = Sample + "char pad[] = \"" + QByteArray(padding, 'x') + "\";\n";
        expected = formatDirectly(options, source);
        if (expected.size() % FormatterRunner::CutGranularity == 0)
            break;
        padding += int(FormatterRunner::CutGranularity - expected.size() % FormatterRunner::CutGranularity);
    }
    QCOMPARE(expected.size() % FormatterRunner::CutGranularity, 0);

    const QString file = makeDirectory({QStringLiteral("a.c")}, source) + QStringLiteral("/a.c");
    const FormatterRunResult result = runOver({file}, options.join(QLatin1Char(' ')));
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    QCOMPARE(result.checkedFiles, QStringList{file});
    QVERIFY(result.repairedFiles.isEmpty());
    QCOMPARE(readAll(file), expected);
}

void TestFormatterRun::crLfFilesKeepTheirLineEnds()
{
    const QStringList options = {"-npro", "-kr"};
    const QByteArray crLf = withCrLf(Sample);
    QByteArray mixed = Sample;
    mixed.replace("{\n", "{\r\n");
    QCOMPARE(lineEndsOf(mixed), LineEnds::Mixed);
    const QString directory = makeDirectory({});
    QVERIFY(writeAll(directory + QStringLiteral("/crlf.c"), crLf));
    QVERIFY(writeAll(directory + QStringLiteral("/mixed.c"), mixed));
    QVERIFY(writeAll(directory + QStringLiteral("/lf.c"), Sample));
    const QStringList files = {directory + QStringLiteral("/crlf.c"), directory + QStringLiteral("/mixed.c"),
                               directory + QStringLiteral("/lf.c")};

    FormatterRunResult result = runOver(files, options.join(QLatin1Char(' ')), 1);
    QVERIFY2(result.succeeded(), qPrintable(describe(result)));
    const QByteArray formatted = formatDirectly(options, Sample);
    QVERIFY(!formatted.contains('\r'));
    QCOMPARE(readAll(files.at(0)), withCrLf(formatted));
    QCOMPARE(result.crLfFiles, QStringList{files.at(0)});
    // left as indent makes it, with the carriage returns where indent puts them, and named
    QCOMPARE(readAll(files.at(1)), formatDirectly(options, mixed));
    QCOMPARE(result.mixedLineEnds, QStringList{files.at(1)});
    QCOMPARE(readAll(files.at(2)), formatted);

    // A run that fails leaves the CRLF file as it was, not as its LF twin.
    QVERIFY(writeAll(files.at(0), crLf));
    result = runOver({files.at(0)}, QStringLiteral("-npro -kr -T "));
    QVERIFY(!result.succeeded());
    QCOMPARE(readAll(files.at(0)), crLf);
    QVERIFY(result.crLfFiles.isEmpty());
}

// The runner reads a file before indent does: a FIFO swapped in for a copy is refused at once, alone,
// instead of hanging indent and the run.
void TestFormatterRun::fileSwappedForAFifoFailsAlone()
{
    const QString directory = makeDirectory({QStringLiteral("a.c"), QStringLiteral("c.c")});
    QCOMPARE(::mkfifo(QFile::encodeName(directory + QStringLiteral("/b.c")).constData(), 0644), 0);
    const QStringList files = {directory + QStringLiteral("/a.c"), directory + QStringLiteral("/b.c"),
                               directory + QStringLiteral("/c.c")};
    FormatterRunResult result;
    {
        const HangGuard guard("a FIFO among the files to format");
        result = runOver(files, QStringLiteral("-npro -kr "), 1);
    }
    QCOMPARE(result.failedFiles(), QStringList{files.at(1)});
    const QByteArray formatted = formatDirectly({"-npro", "-kr"});
    QCOMPARE(readAll(files.at(0)), formatted);
    QCOMPARE(readAll(files.at(2)), formatted);
    QCOMPARE(result.runs.last().outcome, Outcome::FileFailed);
    QVERIFY(!result.runs.last().started);
    QCOMPARE(childProcessCount(), 0);
}

QTEST_GUILESS_MAIN(TestFormatterRun)
#include "tst_formatterrun.moc"
