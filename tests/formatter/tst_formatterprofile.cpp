// The indent profile a run counts, read by the runner instead of by indent: words split as indent
// splits them, options that would change where indent writes left out, and nothing but a regular file
// ever opened. Word roles and value-taking options are proved against the real indent.
#include "ChildProcesses.h"
#include "FormatterDeployment.h"
#include "FormatterProfile.h"
#include "FormatterRun.h"
#include "HangLimit.h"
#include "IndentProfile.h"
#include "OptionCatalogue.h"
#include "SmallFileSystem.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Untidy = "int  main( ){if(1){return 0;}else{ for(;;)x++ ;}}\n";

QByteArray bytes(const char *text)
{
    return QByteArray(text);
}

} // namespace

Q_DECLARE_METATYPE(IndentWordRole)
Q_DECLARE_METATYPE(FormatterProfile::Status)

class TestFormatterProfile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void profileWords_data();
    void profileWords();
    void wordRolesAreIndentsOwn_data();
    void wordRolesAreIndentsOwn();
    void valueTakingOptionsAreIndentsOwn_data();
    void valueTakingOptionsAreIndentsOwn();
    void profileOptions_data();
    void profileOptions();
    void whichProfileCounts_data();
    void whichProfileCounts();
    void profilesThatAreNoFile_data();
    void profilesThatAreNoFile();
    void runnerFormatsAsIndentReadingTheProfile_data();
    void runnerFormatsAsIndentReadingTheProfile();
    void outputOptionsInTheProfileChangeNothing();
    void refusedProfileStartsNothingAndIsNamed();

private:
    // The real indent over one file with the words after it: what it did.
    struct Probe
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
        bool fileChanged = false;
        bool otherChanged = false;
    };
    Probe probe(const QStringList &arguments, bool withOtherFile);
    QByteArray formatWithIndentProfile(const QByteArray &profile, const QStringList &options,
                                       const QByteArray &source);
    QString freshDirectory();
    bool runIndent(QProcess &indent, const QString &directory, const QStringList &arguments,
                   const QString &profile = QString());

    QTemporaryDir m_scratch;
    QString m_indent;
    int m_directoryCount = 0;
};

void TestFormatterProfile::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    m_indent = deployment.formatterPath;
    QVERIFY(isolateFromIndentSettings(m_scratch.path()));
    QVERIFY(QDir::setCurrent(freshDirectory()));
}

QString TestFormatterProfile::freshDirectory()
{
    const QString directory = m_scratch.filePath(QStringLiteral("d%1").arg(++m_directoryCount));
    return QDir().mkpath(directory) ? directory : QString();
}

// The real indent in directory, without backups, with INDENT_PROFILE set when profile is given; false
// when it did not end in time.
bool TestFormatterProfile::runIndent(QProcess &indent, const QString &directory, const QStringList &arguments,
                                     const QString &profile)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    if (!profile.isEmpty())
        environment.insert(QStringLiteral("INDENT_PROFILE"), profile);
    indent.setProcessEnvironment(environment);
    indent.setWorkingDirectory(directory);
    indent.setStandardInputFile(QProcess::nullDevice());
    indent.start(m_indent, arguments);
    return indent.waitForFinished(HangMilliseconds);
}

TestFormatterProfile::Probe TestFormatterProfile::probe(const QStringList &arguments, bool withOtherFile)
{
    Probe result;
    const QString directory = freshDirectory();
    writeAll(directory + QStringLiteral("/t.c"), Untidy);
    writeAll(directory + QStringLiteral("/o.c"), Untidy);
    QProcess indent;
    if (!runIndent(indent, directory,
                   QStringList{"-npro", "t.c"} + arguments +
                       (withOtherFile ? QStringList{"o.c"} : QStringList())))
        return result;
    result.exitCode = indent.exitCode();
    result.out = indent.readAllStandardOutput();
    result.err = indent.readAllStandardError();
    result.fileChanged = readAll(directory + QStringLiteral("/t.c")) != Untidy;
    result.otherChanged = readAll(directory + QStringLiteral("/o.c")) != Untidy;
    return result;
}

// indent itself reading the profile (INDENT_PROFILE), over a file, with options after it.
QByteArray TestFormatterProfile::formatWithIndentProfile(const QByteArray &profile,
                                                         const QStringList &options, const QByteArray &source)
{
    const QString directory = freshDirectory();
    writeAll(directory + QStringLiteral("/profile"), profile);
    writeAll(directory + QStringLiteral("/t.c"), source);
    QProcess indent;
    if (!runIndent(indent, directory, QStringList{"t.c"} + options, directory + QStringLiteral("/profile")) ||
        indent.exitCode() != 0)
        return "indent failed: " + indent.readAllStandardError();
    return readAll(directory + QStringLiteral("/t.c"));
}

void TestFormatterProfile::profileWords_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("words");

    using Words = QList<QByteArray>;
    QTest::newRow("empty") << QByteArray() << Words{};
    QTest::newRow("blanks and lines") << bytes(" -kr\t-i8\r\n\n-bl ") << Words{"-kr", "-i8", "-bl"};
    QTest::newRow("control characters separate")
        << bytes("-kr\x01-i8\x1f-bl\x7f") << Words{"-kr", "-i8", "-bl\x7f"};
    QTest::newRow("NUL separates") << QByteArray("-kr\0-i8", 7) << Words{"-kr", "-i8"};
    QTest::newRow("bytes above ASCII belong to words")
        << bytes("-Tcaf\xc3\xa9 -i8") << Words{"-Tcaf\xc3\xa9", "-i8"};
    QTest::newRow("block comment") << bytes("-kr /* -i8\n -bl */ -nut") << Words{"-kr", "-nut"};
    QTest::newRow("comment ends a word") << bytes("-kr/* x */-nut") << Words{"-kr", "-nut"};
    QTest::newRow("line comment") << bytes("-kr // -i8 -bl\n-nut // last") << Words{"-kr", "-nut"};
    QTest::newRow("empty block comment") << bytes("-kr /**/ -nut") << Words{"-kr", "-nut"};
    QTest::newRow("slash star slash is no end") << bytes("-kr /*/ -i8 */ -nut") << Words{"-kr", "-nut"};
    QTest::newRow("unterminated comment") << bytes("-kr /* -i8 -bl") << Words{"-kr"};
    QTest::newRow("lone slash dropped") << bytes("-kr/x -i8") << Words{"-kr", "x", "-i8"};
    QTest::newRow("slash at the end") << bytes("-kr /") << Words{"-kr"};
}

void TestFormatterProfile::profileWords()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, words);
    QCOMPARE(indentProfileWords(text), words);
}

void TestFormatterProfile::wordRolesAreIndentsOwn_data()
{
    QTest::addColumn<QString>("word");

    QStringList words = {"-st",
                         "-stx",
                         "--standard-output",
                         "+standard-output",
                         "-o",
                         "-ofoo",
                         "-o2",
                         "--output",
                         "--outputx",
                         "--output-file",
                         "+output-file",
                         "-orig",
                         "-origx",
                         "-v",
                         "-vx",
                         "-ver",
                         "--verbose",
                         "+verbose",
                         "-version",
                         "-versionx",
                         "--version",
                         "+version",
                         "-h",
                         "-hx",
                         "-help",
                         "--help",
                         "+help",
                         "--usage",
                         "+usage",
                         "-hnl",
                         "-nv",
                         "--no-verbosity",
                         "-npro",
                         "-l80",
                         "-Tsize_t",
                         "--use-tabs"};
    for (const OptionRow &row : OptionCatalogue) {
        const QString option = QString::fromUtf8(row.optionText);
        if (!takesNextWord(option) && option != QLatin1String("-pmt"))
            words.append(option);
    }
    words += knownLongOptions();
    words.removeDuplicates();
    for (const QString &word : words)
        QTest::newRow(qPrintable(word)) << word;
}

// indent run as "indent -npro t.c WORD o.c" shows what WORD does: formats both files where they are,
// writes t.c's text into o.c (-o), refuses two files (-st), prints counts (-v), its version, or usage.
void TestFormatterProfile::wordRolesAreIndentsOwn()
{
    QFETCH(QString, word);
    const Probe seen = probe({word}, true);
    IndentWordRole role = IndentWordRole::Setting;
    if (seen.err.contains("only one input file when stdout"))
        role = IndentWordRole::StandardOutput;
    else if (seen.err.contains("usage:"))
        role = IndentWordRole::Usage;
    else if (seen.out.contains("GNU indent"))
        role = IndentWordRole::Version;
    else if (seen.out.contains("There were"))
        role = IndentWordRole::Verbose;
    else if (!seen.fileChanged && seen.otherChanged && seen.exitCode == 0)
        role = IndentWordRole::OutputFile;
    else
        QVERIFY2(seen.exitCode == 0 && seen.fileChanged && seen.otherChanged,
                 qPrintable(
                     QStringLiteral("exit %1: %2").arg(seen.exitCode).arg(QString::fromLocal8Bit(seen.err))));
    QCOMPARE(int(indentWordRole(word)), int(role));
}

void TestFormatterProfile::valueTakingOptionsAreIndentsOwn_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("takesValue");

    for (const char *name : {"bli", "c", "cbi", "cd", "ci", "cli", "cp", "d", "di", "i", "il", "ip", "l",
                             "lc", "pi", "ppi", "sbi", "ts", "T"})
        QTest::newRow(name) << QStringLiteral("-%1").arg(QLatin1String(name)) << true;
    for (const QString &option : knownLongOptions()) {
        // numeric long options are listed with a number glued on: the bare name takes the next word
        QString bare = option;
        while (!bare.isEmpty() && bare.back().isDigit())
            bare.chop(1);
        QTest::newRow(qPrintable(bare)) << bare << (bare != option);
    }
    for (const char *word : {"-l80", "-Tsize_t", "-bad", "-kr", "-lp", "-cdb", "-nip", "-sbi2"})
        QTest::newRow(word) << QString::fromLatin1(word) << false;
}

void TestFormatterProfile::valueTakingOptionsAreIndentsOwn()
{
    QFETCH(QString, word);
    QFETCH(bool, takesValue);
    QCOMPARE(takesNextWord(word), takesValue);
    // last on the line, a value-taking option has nothing to take
    const Probe seen = probe({word}, false);
    QCOMPARE(seen.err.contains("missing argument"), takesValue);
}

void TestFormatterProfile::profileOptions_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("leftOut");
    QTest::addColumn<QString>("problem");

    QTest::newRow("plain") << bytes("-kr -i8\n-bl") << QStringList{"-kr", "-i8", "-bl"} << QStringList()
                           << QString();
    QTest::newRow("values as next words")
        << bytes("-l 90 --line-length 80 -T size_t -T -st")
        << QStringList{"-l", "90", "--line-length", "80", "-T", "size_t", "-T", "-st"} << QStringList()
        << QString();
    QTest::newRow("output options left out")
        << bytes("-kr -st --standard-output -o out.c -o -i8 --output-file x -v -version -h -bl")
        << QStringList{"-kr", "-i8", "-bl"}
        << QStringList{"-st", "--standard-output", "-o", "out.c", "-o", "--output-file", "x",
                       "-v",  "-version",          "-h"}
        << QString();
    QTest::newRow("-orig and -hnl stay")
        << bytes("-orig -hnl") << QStringList{"-orig", "-hnl"} << QStringList() << QString();
    QTest::newRow("bare -T at the end") << bytes("-kr -T") << QStringList() << QStringList()
                                        << QStringLiteral("\"-T\" at the end has no value");
    QTest::newRow("bare -l at the end") << bytes("-kr -l") << QStringList() << QStringList()
                                        << QStringLiteral("\"-l\" at the end has no value");
    QTest::newRow("a file name") << bytes("-kr main.c") << QStringList() << QStringList()
                                 << QStringLiteral("\"main.c\" is not an option (word 2)");
    QTest::newRow("standard input") << bytes("-kr -") << QStringList() << QStringList()
                                    << QStringLiteral("\"-\" is not an option (word 2)");
    QTest::newRow("not UTF-8") << bytes("-Tcaf\xe9") << QStringList() << QStringList()
                               << QStringLiteral("a word is not valid UTF-8 text");
    QTest::newRow("overlong word") << "-T" + QByteArray(9000, 'x') << QStringList() << QStringList()
                                   << QStringLiteral("a word is longer than indent reads (8191 bytes)");
}

void TestFormatterProfile::profileOptions()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, options);
    QFETCH(QStringList, leftOut);
    QFETCH(QString, problem);
    const ProfileOptions read = ::profileOptions(indentProfileWords(text));
    QCOMPARE(read.options, options);
    QCOMPARE(read.leftOut, leftOut);
    QCOMPARE(read.problem, problem);
}

void TestFormatterProfile::whichProfileCounts_data()
{
    QTest::addColumn<QString>("variable"); // INDENT_PROFILE, "-" for unset
    QTest::addColumn<bool>("local");       // a .indent.pro in the working directory
    QTest::addColumn<bool>("home");        // one in HOME
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("expected"); // "variable", "local", "home", "" for none
    QTest::addColumn<QStringList>("options");

    QTest::newRow("nothing") << "-" << false << false << "-kr "
                             << "" << QStringList();
    QTest::newRow("home") << "-" << false << true << "-kr "
                          << "home" << QStringList{"-i3"};
    QTest::newRow("local before home") << "-" << true << true << "-kr "
                                       << "local" << QStringList{"-i2"};
    QTest::newRow("variable before both") << "named.pro" << true << true << "-kr "
                                          << "variable" << QStringList{"-i7"};
    QTest::newRow("-npro") << "named.pro" << true << true << "-kr -npro "
                           << "" << QStringList();
    QTest::newRow("--ignore-profile") << "-" << true << true << "--ignore-profile "
                                      << "" << QStringList();
    QTest::newRow("/dev/null") << "/dev/null" << true << true << "-kr "
                               << "/dev/null" << QStringList();
}

void TestFormatterProfile::whichProfileCounts()
{
    QFETCH(QString, variable);
    QFETCH(bool, local);
    QFETCH(bool, home);
    QFETCH(QString, style);
    QFETCH(QString, expected);
    QFETCH(QStringList, options);

    const QString working = freshDirectory();
    const QString homeDirectory = freshDirectory();
    QVERIFY(writeAll(working + QStringLiteral("/named.pro"), "-i7"));
    if (local)
        QVERIFY(writeAll(working + QStringLiteral("/.indent.pro"), "-i2"));
    if (home)
        QVERIFY(writeAll(homeDirectory + QStringLiteral("/.indent.pro"), "-i3"));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), homeDirectory);
    if (variable != QLatin1String("-"))
        environment.insert(QStringLiteral("INDENT_PROFILE"), variable);

    const FormatterProfile profile = findFormatterProfile(formatterOptions(style), environment, working);
    const QString path = expected == QLatin1String("variable") ? working + QStringLiteral("/named.pro")
                         : expected == QLatin1String("local")  ? working + QStringLiteral("/.indent.pro")
                         : expected == QLatin1String("home") ? homeDirectory + QStringLiteral("/.indent.pro")
                                                             : expected;
    QCOMPARE(profile.path, path);
    QCOMPARE(int(profile.status),
             int(expected.isEmpty() ? FormatterProfile::Status::None : FormatterProfile::Status::Read));
    QCOMPARE(profile.options.options, options);
    QVERIFY(profile.usable());
}

void TestFormatterProfile::profilesThatAreNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<FormatterProfile::Status>("status");

    QTest::newRow("FIFO") << "fifo" << FormatterProfile::Status::NotRegular;
    QTest::newRow("link to /dev/zero") << "zero" << FormatterProfile::Status::NotRegular;
    QTest::newRow("directory") << "directory" << FormatterProfile::Status::NotRegular;
    QTest::newRow("larger than 1 MiB") << "large" << FormatterProfile::Status::TooLarge;
    QTest::newRow("dangling link") << "dangling" << FormatterProfile::Status::Unreadable;
    QTest::newRow("ends with -T") << "dangling -T" << FormatterProfile::Status::Unusable;
}

// What a repository or HOME can hold as .indent.pro: each is refused at once, with its path named.
void TestFormatterProfile::profilesThatAreNoFile()
{
    QFETCH(QString, kind);
    QFETCH(FormatterProfile::Status, status);

    const QString working = freshDirectory();
    const QByteArray path = QFile::encodeName(working + QStringLiteral("/.indent.pro"));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(path.constData(), 0644), 0);
    else if (kind == QLatin1String("zero"))
        QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    else if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(QFile::decodeName(path)));
    else if (kind == QLatin1String("large"))
        QVERIFY(writeAll(QFile::decodeName(path), QByteArray(FormatterProfile::MaximumBytes + 1, ' ')));
    else if (kind == QLatin1String("dangling"))
        QCOMPARE(::symlink("nowhere", path.constData()), 0);
    else
        QVERIFY(writeAll(QFile::decodeName(path), "-kr -T"));

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), working);
    const HangGuard guard("reading a hostile .indent.pro");
    // found in the working directory and in HOME alike
    for (const QString &directory : {working, freshDirectory()}) {
        const FormatterProfile profile = findFormatterProfile({"-kr"}, environment, directory);
        if (kind == QLatin1String("dangling")) {
            QCOMPARE(int(profile.status),
                     int(FormatterProfile::Status::None)); // no profile at all, as indent sees it
            continue;
        }
        QCOMPARE(int(profile.status), int(status));
        QVERIFY(!profile.usable());
        QVERIFY2(profile.problem().contains(QFile::decodeName(path)), qPrintable(profile.problem()));
    }
    environment.insert(QStringLiteral("INDENT_PROFILE"), QFile::decodeName(path));
    const FormatterProfile named = findFormatterProfile({"-kr"}, environment, freshDirectory());
    QCOMPARE(int(named.status), int(status));
    QVERIFY(named.problem().contains(QFile::decodeName(path)));
}

void TestFormatterProfile::runnerFormatsAsIndentReadingTheProfile_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QString>("style");

    QTest::newRow("one option") << bytes("-i8\n") << "-kr ";
    QTest::newRow("beats a preset, loses to the style") << bytes("-i8 -bl -nut") << "-kr -i2 -br ";
    QTest::newRow("presets in the profile") << bytes("-gnu\n-i6") << "-bli4 ";
    QTest::newRow("comments") << bytes("/* team style */ -i8 // eight\n-bl/**/-bli0\n") << "-kr ";
    QTest::newRow("values as next words") << bytes("-l 60\n-T size_t\n-T\tvalue_t") << "-kr ";
    QTest::newRow("long forms") << bytes("--line-length 70 --braces-on-if-line --no-tabs") << "-gnu ";
    QTest::newRow("-npro in the profile") << bytes("-npro -i8") << "-kr ";
    QTest::newRow("bare -T in the style") << bytes("-i8") << "-kr -T -ts4 ";
}

void TestFormatterProfile::runnerFormatsAsIndentReadingTheProfile()
{
    QFETCH(QByteArray, profile);
    QFETCH(QString, style);

    const QString directory = freshDirectory();
    QVERIFY(writeAll(directory + QStringLiteral("/.indent.pro"), profile));
    const QString file = freshDirectory() + QStringLiteral("/t.c");
    const QByteArray sample =
        readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QStringLiteral("/options_sample.c"));
    QVERIFY(writeAll(file, sample));
    QVERIFY(QDir::setCurrent(directory));
    FormatterRequest request;
    request.formatterPath = m_indent;
    request.files = {file};
    request.parameterText = style;
    const FormatterRunResult result = FormatterRunner().run(request);
    QVERIFY(result.succeeded());
    QCOMPARE(result.profile.path, directory + QStringLiteral("/.indent.pro"));
    QCOMPARE(readAll(file), formatWithIndentProfile(profile, formatterOptions(style), sample));
}

// "-st" in a profile made indent write to standard output and leave the file as it was, so a check
// found nothing to change. The runner leaves such words out and the file is formatted.
void TestFormatterProfile::outputOptionsInTheProfileChangeNothing()
{
    const QString directory = freshDirectory();
    QVERIFY(writeAll(directory + QStringLiteral("/.indent.pro"), "-i8 -st\n-v -o elsewhere.c -bl\n"));
    const QString files = freshDirectory();
    QVERIFY(writeAll(files + QStringLiteral("/a.c"), Untidy));
    QVERIFY(writeAll(files + QStringLiteral("/b.c"), Untidy));
    QVERIFY(QDir::setCurrent(directory));
    FormatterRequest request;
    request.formatterPath = m_indent;
    request.files = {files + QStringLiteral("/a.c"), files + QStringLiteral("/b.c")};
    request.parameterText = QStringLiteral("-kr ");
    const FormatterRunResult result = FormatterRunner().run(request);
    QVERIFY(result.succeeded());
    QCOMPARE(result.profile.options.leftOut, (QStringList{"-st", "-v", "-o", "elsewhere.c"}));
    const QByteArray expected = formatWithIndentProfile("-i8 -bl", {"-kr"}, Untidy);
    QCOMPARE(readAll(files + QStringLiteral("/a.c")), expected);
    QCOMPARE(readAll(files + QStringLiteral("/b.c")), expected);
    for (const FormatterProcessResult &run : result.runs)
        QVERIFY(run.standardOutput.isEmpty());
    QVERIFY(!QFileInfo::exists(directory + QStringLiteral("/elsewhere.c")));
    QVERIFY(!QFileInfo::exists(files + QStringLiteral("/elsewhere.c")));
}

void TestFormatterProfile::refusedProfileStartsNothingAndIsNamed()
{
    const QString directory = freshDirectory();
    const QString profile = directory + QStringLiteral("/.indent.pro");
    QCOMPARE(::mkfifo(QFile::encodeName(profile).constData(), 0644), 0);
    const QString files = freshDirectory();
    QVERIFY(writeAll(files + QStringLiteral("/a.c"), Untidy));
    QVERIFY(QDir::setCurrent(directory));
    FormatterRequest request;
    request.formatterPath = m_indent;
    request.files = {files + QStringLiteral("/a.c")};
    request.parameterText = QStringLiteral("-kr ");
    FormatterRunResult result;
    {
        const HangGuard guard("a run with a FIFO as .indent.pro");
        result = FormatterRunner().run(request);
    }
    QVERIFY(!result.succeeded());
    QCOMPARE(result.failedFiles(), request.files);
    QCOMPARE(int(result.profile.status), int(FormatterProfile::Status::NotRegular));
    for (const FormatterProcessResult &run : result.runs) {
        QCOMPARE(run.outcome, FormatterProcessResult::Outcome::FailedToStart);
        QVERIFY(!run.started);
        QVERIFY2(run.errorString.contains(profile), qPrintable(run.errorString));
    }
    QCOMPARE(readAll(files + QStringLiteral("/a.c")), Untidy);
    QCOMPARE(childProcessCount(), 0);

    // the same profile given explicitly, as a repository's would be
    request.profile = readFormatterProfile(profile);
    QCOMPARE(FormatterRunner().run(request).failedFiles(), request.files);
}

QTEST_GUILESS_MAIN(TestFormatterProfile)
#include "tst_formatterprofile.moc"
