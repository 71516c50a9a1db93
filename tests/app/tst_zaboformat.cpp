// zabo-format run as the process a shell, a CI job or a hook starts: arguments as bytes, no display.
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "FormattingJob.h"
#include "JobScript.h"
#include "ScriptedPrompts.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using FileMap = QMap<QString, QByteArray>;

struct Invocation
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const QByteArray Program = ZABO_FORMAT_PATH;

QString dataPath(const QString &name)
{
    return qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + name;
}

QByteArray fixture(const QString &name)
{
    return readAll(dataPath(name));
}

// What a run gets besides its arguments.
struct RunInput
{
    QByteArray standardInput;   // fed to it; empty: /dev/null
    QByteArrayList environment; // "NAME=value" set or replaced
    QByteArray program = Program;
    QByteArray standardOutput; // a file to write to instead of one the run reads back
};

// Runs zabo-format in workingDirectory with the arguments as bytes and without DISPLAY or
// QT_QPA_PLATFORM, the way a server starts it.
Invocation runFormat(const QByteArray &workingDirectory, const QList<QByteArray> &arguments,
                     const RunInput &input = RunInput())
{
    Invocation result;
    QTemporaryDir streams;
    const QByteArray outPath =
        input.standardOutput.isEmpty() ? QFile::encodeName(streams.filePath("out")) : input.standardOutput;
    const QByteArray errPath = QFile::encodeName(streams.filePath("err"));
    const QByteArray inPath =
        input.standardInput.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(streams.filePath("in"));
    if (!input.standardInput.isEmpty() && !writeAll(streams.filePath("in"), input.standardInput))
        return result;

    QList<QByteArray> argumentStore{input.program};
    argumentStore += arguments;
    std::vector<char *> argv;
    for (QByteArray &argument : argumentStore)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QList<QByteArray> environmentStore = input.environment;
    for (char **variable = environ; *variable; ++variable) {
        const QByteArray entry(*variable);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        const bool replaced = std::any_of(input.environment.cbegin(), input.environment.cend(),
                                          [&](const QByteArray &set) { return set.startsWith(name); });
        if (!replaced && !entry.startsWith("DISPLAY=") && !entry.startsWith("QT_QPA_PLATFORM=") &&
            !entry.startsWith("WAYLAND_DISPLAY="))
            environmentStore.append(entry);
    }
    std::vector<char *> envp;
    for (QByteArray &entry : environmentStore)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.constData(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.constData(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.constData());
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, input.program.constData(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    int status = 0;
    ::waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readAll(streams.filePath("out"));
    result.err = readAll(streams.filePath("err"));
    return result;
}

// Runs a helper program (git, vim, pre-commit) to its end, failing the test when it would hang.
QProcess::ExitStatus runTool(QProcess &process, const QString &program, const QStringList &arguments,
                             const QString &workingDirectory)
{
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(-1);
        return QProcess::CrashExit;
    }
    return process.exitStatus();
}

QByteArray describe(const Invocation &invocation)
{
    return "exit " + QByteArray::number(invocation.exitCode) + "\n--- stdout\n" + invocation.out +
           "\n--- stderr\n" + invocation.err;
}

// Every file below directory by relative path, hidden ones included.
FileMap filesIn(const QString &directory)
{
    FileMap files;
    QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(directory).relativeFilePath(path), readAll(path));
    }
    return files;
}

StyleRecord styleWith(const QString &name, const QList<const char *> &options)
{
    StyleFlags flags{};
    for (const char *option : options)
        flags[catalogueRowOf(option)] = 1;
    return makeStyleRecord(name, flags);
}

qint64 modificationTime(const QString &path)
{
    struct stat status;
    ::stat(QFile::encodeName(path).constData(), &status);
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

void setModificationTime(const QString &path, qint64 seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

// A file at a path of raw bytes, which QString could not carry.
bool writeNamed(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

// No byte of text can steer a terminal: no C0 control but the line feed, no DEL, no C1 control.
bool terminalSafeText(const QByteArray &text)
{
    for (const char byte : text) {
        if ((quint8(byte) < 0x20 && byte != '\n') || quint8(byte) == 0x7f)
            return false;
    }
    for (const QChar character : QString::fromUtf8(text)) {
        if (character.unicode() >= 0x80 && character.unicode() < 0xa0)
            return false;
    }
    return !text.contains("lone\x9b");
}

mode_t modeOf(const QString &path)
{
    struct stat status;
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

} // namespace

class TestZaboFormat : public QObject
{
    Q_OBJECT

    QTemporaryDir m_formatterHome;
    QString m_indent;
    std::unique_ptr<QTemporaryDir> m_work;
    QByteArray m_dir;    // the working directory of every run, holding the files below
    QByteArray m_config; // built-in styles, "mine" (K&R with 2 columns) selected, "no type" (a bare -T)

    QString path(const QString &relative) const { return m_work->filePath(relative); }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        QVERIFY(QDir().mkpath(QFileInfo(path(relative)).absolutePath()));
        QVERIFY(writeAll(path(relative), bytes));
    }

    // An untidy tree with the things a real one holds beside its sources.
    void writeUntidyTree(const QString &root) const
    {
        write(root + "/main.c", fixture("untidy.c"));
        write(root + "/include/point.h", fixture("untidy.h"));
        write(root + "/lib/list.cpp", fixture("untidy.c"));
        write(root + "/lib/deep/er/list.hpp", fixture("untidy.h"));
        write(root + "/lib/deep/main.c", fixture("untidy.h")); // the name of another file, not its text
        write(root + "/docs/notes.txt", "not a source\n");
        write(root + "/MAIN.C", "int  x;\n");
        write(root + "/.git/objects/stash.c", fixture("untidy.c"));
        QVERIFY(QDir().mkpath(path(root + "/empty/folder")));
    }

    // What the window's directory job makes of directory's sources with parameterText.
    FileMap windowJobOutput(const QString &directory, const QString &parameterText)
    {
        QTemporaryDir program;
        ScriptedPrompts prompts;
        FormattingJob job(
            FormattingJob::Context{program.path() + "/", m_indent, [&] { return parameterText; }}, prompts);
        const QDateTime stamp(QDate(2026, 1, 2), QTime(3, 4, 5, 6));
        job.setClock([&] { return stamp; });
        prompts.queueDirectory(directory);
        job.IndentDirItemClick();
        return filesIn(outputDirectoryPath(program.path() + "/", stamp));
    }

private slots:
    void initTestCase()
    {
        const FormatterDeployment deployment = DeployFormatter(m_formatterHome.path());
        QVERIFY2(deployment.ok, qPrintable(deployment.error));
        m_indent = deployment.formatterPath;
        QVERIFY(QFileInfo(QString::fromLocal8Bit(Program)).isExecutable());
    }

    void init()
    {
        m_work = std::make_unique<QTemporaryDir>();
        m_dir = QFile::encodeName(m_work->path());
        QVector<StyleRecord> styles = builtInStyles();
        styles.append(styleWith(QStringLiteral("mine"), {"-kr", "-i2"}));
        styles.append(styleWith(QStringLiteral("no type"), {"-T"}));
        write("styles.dat", serializeStyleFile(styles, 4));
        m_config = QFile::encodeName(path("styles.dat"));
    }

    void invocations_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArrayList>("outParts"); // each must appear; an empty list: no output at all
        QTest::addColumn<QByteArrayList>("errParts");

        const QByteArray kr = "static int count(const char *s)\n{\n  int n = 0;\n  while (*s) {\n";
        const QByteArray gnu = "static int\ncount (const char *s)\n{\n  int n = 0;\n  while (*s)\n    {\n";
        QTest::newRow("help") << QByteArrayList{"--help"} << 0
                              << QByteArrayList{"Usage: zabo-format", "--check", "Exit status:"}
                              << QByteArrayList{};
        QTest::newRow("version") << QByteArrayList{"--version"} << 0 << QByteArrayList{"zabo-format 1."}
                                 << QByteArrayList{};
        QTest::newRow("list styles") << QByteArrayList{"--list-styles"} << 0
                                     << QByteArrayList{"  GNU\t-gnu\n", "  K&&R\t-kr\n", "* mine\t-i2 -kr\n",
                                                       "  no type\t-T\n"}
                                     << QByteArrayList{};
        QTest::newRow("print profile") << QByteArrayList{"--print-profile", "--style", "mine"} << 0
                                       << QByteArrayList{"mine", "\n-i2\n-kr\n"} << QByteArrayList{};
        QTest::newRow("print profile takes no file")
            << QByteArrayList{"--print-profile", "untidy.c"} << 2 << QByteArrayList{}
            << QByteArrayList{"--print-profile takes no file"};
        QTest::newRow("one file, selected style")
            << QByteArrayList{"untidy.c"} << 0 << QByteArrayList{kr} << QByteArrayList{};
        QTest::newRow("one file, named style")
            << QByteArrayList{"--style", "GNU", "untidy.c"} << 0 << QByteArrayList{gnu} << QByteArrayList{};
        QTest::newRow("unknown style")
            << QByteArrayList{"--style", "gnu", "untidy.c"} << 2 << QByteArrayList{}
            << QByteArrayList{"no style is named \"gnu\"", "  GNU\n", "  K&&R\n", "  mine\n",
                              QString::fromUtf8("  Zabo推荐风格\n").toUtf8()};
        QTest::newRow("chinese style name")
            << QByteArrayList{"--style", QString::fromUtf8("Zabo推荐风格").toUtf8(), "untidy.c"} << 0
            << QByteArrayList{"static int count (const char *s)\n{\n    int n = 0;\n"} << QByteArrayList{};
        QTest::newRow("missing file")
            << QByteArrayList{"--check", "untidy.c", "missing.c"} << 2 << QByteArrayList{}
            << QByteArrayList{"missing.c: No such file or directory"};
        QTest::newRow("check, would change")
            << QByteArrayList{"--check", "untidy.c", "formatted.c"} << 1 << QByteArrayList{}
            << QByteArrayList{"would reformat untidy.c\n",
                              "1 of 2 files would be reformatted (style \"mine\")"};
        QTest::newRow("check, clean")
            << QByteArrayList{"--check", "formatted.c"} << 0 << QByteArrayList{} << QByteArrayList{};
        QTest::newRow("diff") << QByteArrayList{"--diff", "untidy.c"} << 1
                              << QByteArrayList{"--- a/untidy.c\n+++ b/untidy.c\n@@ -1,5 +1,18 @@\n"}
                              << QByteArrayList{"would reformat untidy.c"};
        QTest::newRow("output")
            << QByteArrayList{"--output", "out", "untidy.c", "formatted.c"} << 0
            << QByteArrayList{"out\n2 files formatted, 1 of them changed (style \"mine\")\n"}
            << QByteArrayList{};
        QTest::newRow("in place") << QByteArrayList{"--in-place", "untidy.c", "formatted.c"} << 0
                                  << QByteArrayList{} << QByteArrayList{"reformatted untidy.c\n"};
        QTest::newRow("dash name after --") << QByteArrayList{"--check", "--", "-dash.c"} << 1
                                            << QByteArrayList{} << QByteArrayList{"would reformat -dash.c"};
        QTest::newRow("dash name as an option")
            << QByteArrayList{"--check", "-dash.c"} << 2 << QByteArrayList{}
            << QByteArrayList{"unknown option \"-dash.c\"", "Try 'zabo-format --help'"};
        QTest::newRow("undecodable name, check")
            << QByteArrayList{"--check", "caf\xe9.c"} << 1 << QByteArrayList{}
            << QByteArrayList{"would reformat caf\xe9.c\n"};
        QTest::newRow("undecodable name, standard output")
            << QByteArrayList{"caf\xe9.c"} << 0 << QByteArrayList{kr} << QByteArrayList{};
        QTest::newRow("undecodable name, in place")
            << QByteArrayList{"--in-place", "caf\xe9.c"} << 0 << QByteArrayList{}
            << QByteArrayList{"reformatted caf\xe9.c\n"};
        QTest::newRow("undecodable directory")
            << QByteArrayList{"--diff", "d\xe9p\xf4t"} << 1
            << QByteArrayList{"--- a/d\xe9p\xf4t/x.c\n+++ b/d\xe9p\xf4t/x.c\n"}
            << QByteArrayList{"would reformat d\xe9p\xf4t/x.c"};
        QTest::newRow("parse warning")
            << QByteArrayList{"unbalanced.c"} << 0 << QByteArrayList{"int main(void)\n{\n"}
            << QByteArrayList{"indent: unbalanced.c:6: Error:Unexpected end of file",
                              "unbalanced.c: warning: indent could not parse it"};
        QTest::newRow("formatter failure")
            << QByteArrayList{"--style", "no type", "--check", "untidy.c"} << 2 << QByteArrayList{}
            << QByteArrayList{"missing argument to parameter T",
                              "untidy.c: not formatted: indent failed with status 1"};
        QTest::newRow("directory to standard output")
            << QByteArrayList{"sub"} << 2 << QByteArrayList{} << QByteArrayList{"sub: is a directory"};
        QTest::newRow("no source in a directory")
            << QByteArrayList{"--check", "docs"} << 0 << QByteArrayList{}
            << QByteArrayList{"docs: warning: no .c, .h, .cpp or .hpp file found (-r descends"};
        QTest::newRow("bad arguments") << QByteArrayList{"--check", "--output", "out", "untidy.c"} << 2
                                       << QByteArrayList{} << QByteArrayList{"cannot be combined"};
        QTest::newRow("excludes in a tree")
            << QByteArrayList{"--check",   "-r",         ".",         "--exclude", "sub",
                              "--exclude", "d*",         "--exclude", "*dash*",    "--exclude",
                              "caf*",      "--exclude",  "two.c",     "--exclude", "unbalanced.c",
                              "--exclude", "formatted.c"}
            << 1 << QByteArrayList{} << QByteArrayList{"would reformat ./untidy.c\n", "1 of 1 file would"};
        QTest::newRow("exclude a named file")
            << QByteArrayList{"--check", "--exclude", "untidy.c", "untidy.c", "sub/x.c"} << 1
            << QByteArrayList{} << QByteArrayList{"would reformat sub/x.c\n", "1 of 1 file would"};
        QTest::newRow("only the lines asked for")
            << QByteArrayList{"--diff", "--lines", "3:3", "two.c"} << 1
            << QByteArrayList{" int  one(void){return 1;}\n \n-int  two(void){return 2;}\n+int two(void)\n"}
            << QByteArrayList{"would reformat two.c"};
        QTest::newRow("no change on the lines asked for")
            << QByteArrayList{"--check", "--lines", "2:2", "two.c"} << 0 << QByteArrayList{}
            << QByteArrayList{};
        QTest::newRow("no profile for the tree")
            << QByteArrayList{"--check", "--style", "file", "untidy.c"} << 2 << QByteArrayList{}
            << QByteArrayList{"no .indent.pro here or in a directory above"};
    }

    void invocations()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArrayList, outParts);
        QFETCH(QByteArrayList, errParts);

        write("untidy.c", fixture("untidy.c"));
        write("-dash.c", fixture("untidy.c"));
        write("unbalanced.c", fixture("unbalanced.c"));
        write("two.c", "int  one(void){return 1;}\n\nint  two(void){return 2;}\n");
        write("sub/x.c", fixture("untidy.c"));
        write("docs/readme.txt", "no source here\n");
        const QByteArray undecodable = m_dir + "/caf\xe9.c";
        const QByteArray undecodableDirectory = m_dir + "/d\xe9p\xf4t";
        QVERIFY(::mkdir(undecodableDirectory.constData(), 0755) == 0);
        for (const QByteArray &name : {undecodable, undecodableDirectory + "/x.c"}) {
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
            QVERIFY(fd >= 0);
            const QByteArray text = fixture("untidy.c");
            QCOMPARE(::write(fd, text.constData(), size_t(text.size())), ssize_t(text.size()));
            ::close(fd);
        }
        const Invocation formatted = runFormat(m_dir, {"--config", m_config, "untidy.c"});
        QCOMPARE(formatted.exitCode, 0);
        write("formatted.c", formatted.out);

        const Invocation run = runFormat(m_dir, QByteArrayList{"--config", m_config} + arguments);
        ::unlink(undecodable.constData());
        ::unlink((undecodableDirectory + "/x.c").constData());
        ::rmdir(undecodableDirectory.constData());

        QVERIFY2(run.exitCode == exitCode, describe(run).constData());
        if (outParts.isEmpty())
            QVERIFY2(run.out.isEmpty(), describe(run).constData());
        if (errParts.isEmpty())
            QVERIFY2(run.err.isEmpty(), describe(run).constData());
        for (const QByteArray &part : outParts)
            QVERIFY2(run.out.contains(part), describe(run).constData());
        for (const QByteArray &part : errParts)
            QVERIFY2(run.err.contains(part), describe(run).constData());
    }

    void anUnwritableStandardOutputIsAnError_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::newRow("help") << QByteArrayList{"--help"};
        QTest::newRow("version") << QByteArrayList{"--version"};
        QTest::newRow("list styles") << QByteArrayList{"--list-styles"};
        QTest::newRow("print profile") << QByteArrayList{"--print-profile"};
        QTest::newRow("one file") << QByteArrayList{"untidy.c"};
        QTest::newRow("diff") << QByteArrayList{"--diff", "untidy.c"};
        QTest::newRow("output summary") << QByteArrayList{"--output", "out", "untidy.c"};
    }

    // A full disk behind standard output (>/dev/full) is an error, never a quiet success.
    void anUnwritableStandardOutputIsAnError()
    {
        QFETCH(QByteArrayList, arguments);
        write("untidy.c", fixture("untidy.c"));
        RunInput full;
        full.standardOutput = "/dev/full";
        const Invocation run = runFormat(m_dir, QByteArrayList{"--config", m_config} + arguments, full);
        QVERIFY2(run.exitCode == 2, describe(run).constData());
        QVERIFY2(run.err.contains("cannot write to standard output: No space left on device"),
                 describe(run).constData());
        QCOMPARE(readAll(path("untidy.c")), fixture("untidy.c"));
    }

    // Names are bytes an attacker chooses; on a terminal every message shows them escaped.
    void controlCharactersInNamesAreEscaped()
    {
        const QList<QPair<QByteArray, QByteArray>> names = {
            {"e\x1b[31msc.c", "e\\x1b[31msc.c"}, {"new\nline.c", "new\\nline.c"},
            {"c1\xc2\x9bx.c", "c1\\u009bx.c"},   {"lone\x9bx.c", "lone\\x9bx.c"},
            {"del\x7f.c", "del\\x7f.c"},         {"caf\xc3\xa9.c", "caf\xc3\xa9.c"}};
        QVERIFY(::mkdir((m_dir + "/hostile").constData(), 0755) == 0);
        for (const auto &name : names)
            QVERIFY(writeNamed(m_dir + "/hostile/" + name.first, fixture("untidy.c")));
        QVERIFY(writeNamed(m_dir + "/hostile/un\x1b" + "balanced.c", fixture("unbalanced.c")));

        const Invocation check = runFormat(m_dir, {"--config", m_config, "--check", "hostile"});
        QVERIFY2(check.exitCode == 1, describe(check).constData());
        for (const auto &name : names)
            QVERIFY2(check.err.contains("would reformat hostile/" + name.second + "\n"),
                     describe(check).constData());
        QVERIFY2(check.err.contains("indent: hostile/un\\x1bbalanced.c:6: Error"),
                 describe(check).constData());
        const Invocation missing = runFormat(m_dir, {"--config", m_config, "--check", "missing\x1b.c"});
        QVERIFY2(missing.err.contains("missing\\x1b.c: No such file or directory"),
                 describe(missing).constData());
        const Invocation output = runFormat(m_dir, {"--config", m_config, "--output", "out\x1b", "hostile"});
        QVERIFY2(output.exitCode == 0, describe(output).constData());
        QVERIFY2(output.out.startsWith("out\\x1b\n"), describe(output).constData());

        for (const QByteArray &said : {check.err, missing.err, output.err, output.out})
            QVERIFY2(terminalSafeText(said), said.constData());
    }

    void styleFilesAreOnlyRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("errPart");
        QTest::newRow("damaged") << QByteArray("\x05\0\0\0\x01\0\0\0short", 13) << 2
                                 << QByteArray("the style file is damaged; it was left as it is");
        QTest::newRow("without styles") << QByteArray(8, '\0') << 0 << QByteArray();
    }

    // The program's own Zabocfg.dat beside the executable: read, never repaired or rewritten.
    void styleFilesAreOnlyRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, errPart);
        const QString program = path("bin/zabo-format");
        QVERIFY(QDir().mkpath(path("bin")));
        QVERIFY(QFile::copy(QString::fromLocal8Bit(Program), program));
        write("bin/Zabocfg.dat", content);
        write("untidy.c", fixture("untidy.c"));

        RunInput beside;
        beside.program = QFile::encodeName(program);
        const Invocation run = runFormat(m_dir, {"--list-styles"}, beside);
        QVERIFY2(run.exitCode == exitCode, describe(run).constData());
        QVERIFY2(run.err.contains(errPart), describe(run).constData());
        QCOMPARE(readAll(path("bin/Zabocfg.dat")), content);
        QStringList files = QDir(path("bin")).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        QCOMPARE(files, (QStringList{"Zabocfg.dat", "zabo-format"}));
        if (exitCode == 0) // what the program would create: the built-in styles, the fourth selected
            QVERIFY(run.out.endsWith(QString::fromUtf8("* Zabo推荐风格\t").toUtf8() +
                                     ParameterTextOf(builtInStyles().at(3)).trimmed().toUtf8() + "\n"));

        QFile::remove(path("bin/Zabocfg.dat"));
        const Invocation missing = runFormat(m_dir, {"--check", "untidy.c"}, beside);
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(!QFileInfo::exists(path("bin/Zabocfg.dat")));
        const Invocation explicitMissing = runFormat(m_dir, {"--config", "none.dat", "untidy.c"});
        QCOMPARE(explicitMissing.exitCode, 2);
        QVERIFY(explicitMissing.err.contains("none.dat: cannot read the style file"));
    }

    void checkAndDiffTellTheTruthAboutATree()
    {
        writeUntidyTree("src");
        const Invocation untidy = runFormat(m_dir, {"--config", m_config, "--check", "-r", "src/"});
        QVERIFY2(untidy.exitCode == 1, describe(untidy).constData());
        for (const char *name : {"src/main.c", "src/include/point.h", "src/lib/list.cpp",
                                 "src/lib/deep/main.c", "src/lib/deep/er/list.hpp"})
            QVERIFY2(untidy.err.contains(QByteArray("would reformat ") + name + '\n'),
                     describe(untidy).constData());
        QVERIFY(!untidy.err.contains("stash.c"));
        QVERIFY(!untidy.err.contains("MAIN.C"));

        const Invocation formatted =
            runFormat(m_dir, {"--config", m_config, "--output", "formatted", "-r", "src"});
        QVERIFY2(formatted.exitCode == 0, describe(formatted).constData());

        const Invocation diff = runFormat(m_dir, {"--config", m_config, "--diff", "-r", "src"});
        QCOMPARE(diff.exitCode, 1);
        QVERIFY(!diff.out.contains("\033[")); // a file, not a terminal: no colour
        QProcess patch;
        patch.setWorkingDirectory(m_work->path());
        patch.start("patch", {"-p1", "--batch", "--quiet"});
        patch.write(diff.out);
        patch.closeWriteChannel();
        QVERIFY(patch.waitForFinished(-1));
        QVERIFY2(patch.exitCode() == 0, patch.readAllStandardError().constData());
        FileMap patched = filesIn(path("src"));
        const FileMap expected = filesIn(path("formatted"));
        for (const QString &name : expected.keys())
            QCOMPARE(patched.value(name), expected.value(name));

        const Invocation clean = runFormat(m_dir, {"--config", m_config, "--check", "-r", "src"});
        QVERIFY2(clean.exitCode == 0, describe(clean).constData());
        QVERIFY(clean.out.isEmpty() && clean.err.isEmpty());
    }

    void inPlaceRewritesExactlyTheFilesThatDiffer()
    {
        write("tree/tidy.c", fixture("untidy.c"));
        write("tree/sub/tidy.h", fixture("untidy.h"));
        QVERIFY(runFormat(m_dir, {"--config", m_config, "--in-place", "-r", "tree"}).exitCode == 0);
        write("tree/untidy.c", fixture("untidy.c"));
        write("tree/sub/untidy.hpp", fixture("untidy.h"));
        QVERIFY(QFile::link("../untidy.c", path("tree/sub/link.c")));
        QVERIFY(::chmod(QFile::encodeName(path("tree/untidy.c")).constData(), 0751) == 0);
        QVERIFY(::chmod(QFile::encodeName(path("tree/sub/untidy.hpp")).constData(), 0604) == 0);
        QVERIFY(::chmod(QFile::encodeName(path("tree/tidy.c")).constData(), 0640) == 0);
        for (const char *name : {"tree/tidy.c", "tree/sub/tidy.h", "tree/untidy.c", "tree/sub/untidy.hpp"})
            setModificationTime(path(name), 1000000000);
        const FileMap before = filesIn(path("tree"));
        const qint64 tidyTime = modificationTime(path("tree/tidy.c"));
        const qint64 tidyHeaderTime = modificationTime(path("tree/sub/tidy.h"));

        const Invocation run = runFormat(m_dir, {"--config", m_config, "--in-place", "-r", "tree"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QVERIFY(run.err.contains("reformatted tree/untidy.c\n"));
        QVERIFY(run.err.contains("reformatted tree/sub/untidy.hpp\n"));

        const FileMap after = filesIn(path("tree"));
        QCOMPARE(after.keys(), before.keys()); // no temporary file left behind
        QCOMPARE(after.value("untidy.c"), before.value("tidy.c"));
        QCOMPARE(after.value("sub/untidy.hpp"), before.value("sub/tidy.h"));
        QCOMPARE(after.value("tidy.c"), before.value("tidy.c"));
        QCOMPARE(modificationTime(path("tree/tidy.c")), tidyTime);
        QCOMPARE(modificationTime(path("tree/sub/tidy.h")), tidyHeaderTime);
        QCOMPARE(modeOf(path("tree/untidy.c")), mode_t(0751));
        QCOMPARE(modeOf(path("tree/sub/untidy.hpp")), mode_t(0604));
        QCOMPARE(modeOf(path("tree/tidy.c")), mode_t(0640));
        QVERIFY(QFileInfo(path("tree/sub/link.c")).isSymLink()); // the link still leads to the rewritten file
        QVERIFY(modificationTime(path("tree/untidy.c")) != 1000000000LL * 1000000000);

        const Invocation again = runFormat(m_dir, {"--config", m_config, "--in-place", "-r", "tree"});
        QVERIFY2(again.exitCode == 0 && again.err.isEmpty(), describe(again).constData());
    }

    void everyStyleFormatsAsTheWindowsJobDoes_data()
    {
        QTest::addColumn<int>("style");
        const QVector<StyleRecord> styles = builtInStyles();
        for (int index = 0; index < styles.size(); ++index)
            QTest::newRow(qPrintable(QString::fromUtf8(styles.at(index).Name))) << index;
        QTest::newRow("mine") << 4;
    }

    // --single-pass is indent's one pass, exactly what the window's job writes, even for the files that
    // would settle only later, flip or grow.
    void everyStyleFormatsAsTheWindowsJobDoes()
    {
        QFETCH(int, style);
        write("src/a.c", fixture("untidy.c"));
        write("src/b.h", fixture("untidy.h"));
        write("src/c.cpp", fixture("unbalanced.c"));
        write("src/d.hpp", fixture("untidy.h"));
        write("src/flip.c", fixture("settle_flip.c"));
        write("src/grow.h", fixture("settle_grow.h"));
        write("src/second.h", fixture("settle_second.h"));
        QVector<StyleRecord> styles = builtInStyles();
        styles.append(styleWith(QStringLiteral("mine"), {"-kr", "-i2"}));
        write("one.dat", serializeStyleFile(styles, style));

        const Invocation run = runFormat(m_dir, {"--config", QFile::encodeName(path("one.dat")),
                                                 "--single-pass", "--output", "out", "src"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        const FileMap ours = filesIn(path("out"));
        const FileMap window = windowJobOutput(path("src"), ParameterTextOf(styles.at(style)));
        QCOMPARE(ours.keys(), (QStringList{"a.c", "b.h", "c.cpp", "d.hpp", "flip.c", "grow.h", "second.h"}));
        QCOMPARE(ours, window);
        QVERIFY(ours.value("a.c") != fixture("untidy.c"));
    }

    void settling_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("checkStatus"); // of --check after --in-place
        QTest::addColumn<bool>("onePassStands");
        // Real behaviour of indent 2.2.12 under the ORIG style, found by running it again and again:
        // statements inside a macro's arguments are split and joined back in turn; a long declaration
        // takes a second pass to settle; an extern "C" block gains blank lines with every pass.
        QTest::newRow("flips between two texts") << "settle_flip.c" << 0 << false;
        QTest::newRow("settles on the second pass") << "settle_second.h" << 0 << true;
        QTest::newRow("grows with every pass") << "settle_grow.h" << 1 << false;
    }

    // --in-place writes the settled form, which --check then accepts; a file that never settles is
    // left as it is and named, and --check counts it as one that would change.
    void settling()
    {
        QFETCH(QString, fixture);
        QFETCH(int, checkStatus);
        QFETCH(bool, onePassStands);
        const QByteArray file = "src/" + fixture.toUtf8();
        write(QString::fromUtf8(file), ::fixture(fixture));
        const QByteArrayList orig{"--config", m_config, "--style", "ORIG"};
        const QByteArray warning = file +
                                   ": warning: indent still changes it after 10 passes; left as it is. "
                                   "Fence the region with /* *INDENT-OFF* */ and /* *INDENT-ON* */";

        const Invocation inPlace = runFormat(m_dir, orig + QByteArrayList{"--in-place", file});
        QVERIFY2(inPlace.exitCode == 0, describe(inPlace).constData());
        QCOMPARE(inPlace.err.contains(warning), checkStatus == 1);
        if (checkStatus == 1)
            QCOMPARE(readAll(path(QString::fromUtf8(file))), ::fixture(fixture));
        else
            QVERIFY(readAll(path(QString::fromUtf8(file))) != ::fixture(fixture));

        const Invocation check = runFormat(m_dir, orig + QByteArrayList{"--check", file});
        QVERIFY2(check.exitCode == checkStatus, describe(check).constData());
        QCOMPARE(check.err.contains(warning), checkStatus == 1);
        QCOMPARE(check.err.contains("would reformat " + file + "\n"), checkStatus == 1);

        // what indent alone does once more to the result
        const Invocation onePass = runFormat(m_dir, orig + QByteArrayList{"--single-pass", "--check", file});
        QVERIFY2(onePass.exitCode == (onePassStands ? 0 : 1), describe(onePass).constData());
        const Invocation again = runFormat(m_dir, orig + QByteArrayList{"--in-place", file});
        QVERIFY2(again.exitCode == 0, describe(again).constData());
        QVERIFY2(!again.err.contains("reformatted"), describe(again).constData());
    }

    void recursionMirrorsTheTreeAndNeverLoops()
    {
        writeUntidyTree("src");
        write("outside/far.c", fixture("untidy.c"));
        QVERIFY(QFile::link("../..", path("src/lib/loop")));
        QVERIFY(QFile::link(path("src"), path("src/include/self")));
        QVERIFY(QFile::link(path("outside"), path("src/elsewhere")));

        const Invocation run = runFormat(m_dir, {"--config", m_config, "-r", "--output", "out/tree", "src"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QVERIFY(run.out.startsWith("out/tree\n5 files formatted, 5 of them changed"));
        const FileMap mirrored = filesIn(path("out/tree"));
        QCOMPARE(mirrored.keys(), (QStringList{"include/point.h", "lib/deep/er/list.hpp", "lib/deep/main.c",
                                               "lib/list.cpp", "main.c"}));
        QCOMPARE(mirrored.value("lib/deep/main.c"), mirrored.value("include/point.h"));
        QCOMPARE(mirrored.value("main.c"), mirrored.value("lib/list.cpp"));
        QVERIFY(!QFileInfo::exists(path("out/tree/empty")));
        QVERIFY(!QFileInfo::exists(path("out/tree/docs")));

        const Invocation flat = runFormat(m_dir, {"--config", m_config, "--output", "flat", "src"});
        QVERIFY2(flat.exitCode == 0, describe(flat).constData());
        QCOMPARE(filesIn(path("flat")).keys(), QStringList{"main.c"});

        const Invocation taken = runFormat(m_dir, {"--config", m_config, "--output", "flat", "src"});
        QCOMPARE(taken.exitCode, 2);
        QVERIFY(taken.err.contains("flat: the output directory must be new or empty"));

        write("other/main.c", "int x;\n");
        const Invocation clash = runFormat(m_dir, {"--config", m_config, "--output", "both", "src", "other"});
        QCOMPARE(clash.exitCode, 2);
        QVERIFY(clash.err.contains("src/main.c and other/main.c would both be written to both/main.c"));
        QVERIFY(!QFileInfo::exists(path("both")));
    }

    void aFormatterFailureLeavesIntactCopies()
    {
        write("src/a.c", fixture("untidy.c"));
        write("src/b.h", fixture("untidy.h"));
        const Invocation run =
            runFormat(m_dir, {"--config", m_config, "--style", "no type", "--output", "out", "src"});
        QVERIFY2(run.exitCode == 2, describe(run).constData());
        QVERIFY(run.err.contains("src/a.c: not formatted: indent failed with status 1"));
        QCOMPARE(filesIn(path("out")), filesIn(path("src")));
    }

    // A named style gives the same result on every machine: no profile of the working directory, of
    // HOME or of INDENT_PROFILE reaches indent.
    void aNamedStyleReadsNoProfile()
    {
        write("untidy.c", fixture("untidy.c"));
        const Invocation clean = runFormat(m_dir, {"--config", m_config, "--style", "GNU", "untidy.c"});
        QVERIFY2(clean.exitCode == 0, describe(clean).constData());
        write(".indent.pro", "-i8 -nut\n");
        write("home/.indent.pro", "-bl -i3\n");
        RunInput profiles;
        profiles.environment = {"HOME=" + QFile::encodeName(path("home"))};
        const Invocation local =
            runFormat(m_dir, {"--config", m_config, "--style", "GNU", "untidy.c"}, profiles);
        QVERIFY2(local.exitCode == 0, describe(local).constData());
        QCOMPARE(local.out, clean.out);
        profiles.environment.append("INDENT_PROFILE=" + QFile::encodeName(path("home/.indent.pro")));
        const Invocation named =
            runFormat(m_dir, {"--config", m_config, "--style", "GNU", "untidy.c"}, profiles);
        QVERIFY2(named.exitCode == 0, describe(named).constData());
        QCOMPARE(named.out, clean.out);
    }

    // A style committed as .indent.pro formats alike from any working directory and whatever profile
    // the user keeps at home, with every option of indent as the profile states it.
    void aRepositoryProfileFormatsAlikeEverywhere()
    {
        write("repo/.indent.pro",
              "/* as the kernel's Lindent */\n-npro -kr -i8 -ts8 -sob -l80 -ss -ncs -cp1 -il0\n");
        write("repo/lib/.indent.pro", "-gnu -T size_t\n");
        write("repo/main.c", fixture("untidy.c"));
        write("repo/lib/list.c", fixture("untidy.c"));
        write("repo/lib/deep/point.h", fixture("untidy.h"));
        write("home/.indent.pro", "-bl -i3\n");
        write(".indent.pro", "-orig\n");
        write("repo/lib/deep/.indent.pro.txt", "not a profile\n");

        const Invocation fromRoot =
            runFormat(QFile::encodeName(path("repo")), {"--style", "file", "--output", "../out1", "-r", "."});
        QVERIFY2(fromRoot.exitCode == 0, describe(fromRoot).constData());
        QVERIFY2(fromRoot.out.contains("3 files formatted, 3 of them changed (profiles .indent.pro, "
                                       "lib/.indent.pro)\n"),
                 describe(fromRoot).constData());
        RunInput elsewhere;
        elsewhere.environment = {"HOME=" + QFile::encodeName(path("home")),
                                 "INDENT_PROFILE=" + QFile::encodeName(path("home/.indent.pro"))};
        const Invocation fromBelow =
            runFormat(QFile::encodeName(path("repo/lib/deep")),
                      {"--style", "file", "--output", "../../../out2", "-r", "../.."}, elsewhere);
        QVERIFY2(fromBelow.exitCode == 0, describe(fromBelow).constData());
        const Invocation fromOutside = runFormat(
            m_dir, {"--style", "file", "--output", "out3", "-r", QFile::encodeName(path("repo"))}, elsewhere);
        QVERIFY2(fromOutside.exitCode == 0, describe(fromOutside).constData());
        QVERIFY2(fromOutside.out.contains("(profiles repo/.indent.pro, repo/lib/.indent.pro)\n"),
                 describe(fromOutside).constData());
        // above the working directory they are named in full
        QVERIFY2(fromBelow.out.contains("(profiles " + QFile::encodeName(path("repo/.indent.pro")) + ", " +
                                        QFile::encodeName(path("repo/lib/.indent.pro")) + ")\n"),
                 describe(fromBelow).constData());

        const FileMap formatted = filesIn(path("out1"));
        QCOMPARE(formatted.keys(), (QStringList{"lib/deep/point.h", "lib/list.c", "main.c"}));
        QCOMPARE(filesIn(path("out2")), formatted);
        QCOMPARE(filesIn(path("out3")), formatted);

        // the options as they stand: indent's own result with the profile's words
        for (const auto &[file, options] :
             {std::pair<QString, QStringList>{
                  "main.c", {"-kr", "-i8", "-ts8", "-sob", "-l80", "-ss", "-ncs", "-cp1", "-il0"}},
              std::pair<QString, QStringList>{"lib/list.c", {"-gnu", "-T", "size_t"}}}) {
            QProcess indent;
            indent.setProcessChannelMode(QProcess::SeparateChannels);
            indent.start(m_indent, QStringList{"-npro", "-st"} + options + QStringList{path("repo/" + file)});
            QVERIFY(indent.waitForFinished(-1) && indent.exitCode() == 0);
            QCOMPARE(formatted.value(file), indent.readAllStandardOutput());
        }
        QVERIFY(formatted.value("main.c").contains("\n\tint n = 0;\n"));

        const Invocation inPlace =
            runFormat(QFile::encodeName(path("repo")), {"--style", "file", "-ri", "."});
        QVERIFY2(inPlace.exitCode == 0, describe(inPlace).constData());
        const Invocation check = runFormat(QFile::encodeName(path("repo/lib")),
                                           {"--style", "file", "--check", "-r", ".."}, elsewhere);
        QVERIFY2(check.exitCode == 0 && check.err.isEmpty(), describe(check).constData());
    }

    void aProfileThatWouldHarmIsRefused_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<QByteArray>("problem");
        QTest::newRow("a file to rewrite")
            << QByteArray("-kr victim.c\n") << QByteArray("\"victim.c\" is no option");
        QTest::newRow("an output file") << QByteArray("-kr -o victim.c\n") << QByteArray("\"-o\" sends");
        QTest::newRow("a FIFO") << QByteArray() << QByteArray(".indent.pro: not a regular file");
    }

    // Nothing is formatted and nothing else is written; a FIFO in the profile's place never blocks.
    void aProfileThatWouldHarmIsRefused()
    {
        QFETCH(QByteArray, profile);
        QFETCH(QByteArray, problem);
        write("repo/a.c", fixture("untidy.c"));
        write("repo/victim.c", "keep me\n");
        if (profile.isEmpty())
            QVERIFY(::mkfifo(QFile::encodeName(path("repo/.indent.pro")).constData(), 0600) == 0);
        else
            write("repo/.indent.pro", profile);
        const Invocation run = runFormat(QFile::encodeName(path("repo")), {"--style", "file", "-i", "a.c"});
        QVERIFY2(run.exitCode == 2 && run.err.contains(problem), describe(run).constData());
        QCOMPARE(readAll(path("repo/a.c")), fixture("untidy.c"));
        QCOMPARE(readAll(path("repo/victim.c")), QByteArray("keep me\n"));
    }

    void standardInputAsAFile_data()
    {
        QTest::addColumn<QByteArray>("style");
        for (const char *style : {"GNU", "K&&R", "ORIG", "Zabo推荐风格", "file"})
            QTest::newRow(style) << QByteArray(style);
    }

    // What an editor gets for its buffer is what the file itself would give, named after it.
    void standardInputAsAFile()
    {
        QFETCH(QByteArray, style);
        write("src/.indent.pro", "-kr -i3\n");
        write("src/untidy.c", fixture("untidy.c"));
        write("src/flip.c", fixture("settle_flip.c"));
        for (const QByteArray &file : {QByteArray("src/untidy.c"), QByteArray("src/flip.c")}) {
            const QByteArrayList named{"--config", m_config, "--style", style};
            const Invocation direct = runFormat(m_dir, named + QByteArrayList{file});
            QVERIFY2(direct.exitCode == 0, describe(direct).constData());
            RunInput buffer;
            buffer.standardInput = readAll(path(QString::fromUtf8(file)));
            const Invocation piped =
                runFormat(m_dir, named + QByteArrayList{"--stdin-name", file, "-"}, buffer);
            QVERIFY2(piped.exitCode == 0, describe(piped).constData());
            QCOMPARE(piped.out, direct.out);

            const Invocation check =
                runFormat(m_dir, named + QByteArrayList{"--stdin-name", file, "--check", "-"}, buffer);
            QVERIFY2(check.exitCode == 1 && check.err.contains("would reformat " + file + "\n"),
                     describe(check).constData());
            buffer.standardInput = direct.out;
            const Invocation tidy =
                runFormat(m_dir, named + QByteArrayList{"--check", "--stdin-name", file, "-"}, buffer);
            QVERIFY2(tidy.exitCode == 0, describe(tidy).constData());
        }
    }

    // An editor's buffer is never emptied: on a failure, or when the name is excluded, it comes back.
    void standardInputComesBackWhenNotFormatted()
    {
        RunInput buffer;
        buffer.standardInput = fixture("untidy.c");
        const Invocation failed = runFormat(m_dir, {"--config", m_config, "--style", "no type", "-"}, buffer);
        QVERIFY2(failed.exitCode == 2 && failed.err.contains("<stdin>: not formatted"),
                 describe(failed).constData());
        QCOMPARE(failed.out, fixture("untidy.c"));
        const Invocation excluded = runFormat(
            m_dir, {"--config", m_config, "--exclude", "vendor", "--stdin-name", "vendor/z/inflate.c", "-"},
            buffer);
        QVERIFY2(excluded.exitCode == 0 && excluded.err.isEmpty(), describe(excluded).constData());
        QCOMPARE(excluded.out, fixture("untidy.c"));
    }

    // vim in Ex mode filters its buffer through the real executable, as the README sets it up.
    void vimFormatsItsBuffer()
    {
        QString vim = QStandardPaths::findExecutable(QStringLiteral("vim.tiny"));
        if (vim.isEmpty())
            vim = QStandardPaths::findExecutable(QStringLiteral("vim"));
        if (vim.isEmpty())
            QSKIP("vim is needed (tools/install-deps.sh installs vim-tiny)");
        write("src/untidy.c", fixture("untidy.c"));
        const Invocation expected =
            runFormat(m_dir, {"--config", m_config, "--style", "GNU", "src/untidy.c"});
        QVERIFY2(expected.exitCode == 0, describe(expected).constData());

        const QString filter = QStringLiteral("%!") + QString::fromLocal8Bit(Program) + " --config " +
                               QString::fromLocal8Bit(m_config) + " --style GNU --stdin-name % - 2>/dev/null";
        QProcess editor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path("."));
        editor.setProcessEnvironment(environment);
        editor.setStandardInputFile(QProcess::nullDevice());
        QCOMPARE(
            runTool(editor, vim,
                    {"-u", "NONE", "-i", "NONE", "-N", "-n", "-Es", "-c", filter, "-c", "wq", "src/untidy.c"},
                    path(".")),
            QProcess::NormalExit);
        QVERIFY2(editor.exitCode() == 0, editor.readAllStandardError().constData());
        QCOMPARE(readAll(path("src/untidy.c")), expected.out);
    }

    // Only what changed since a commit is formatted: a legacy file can adopt the style one commit at a time.
    void sinceFormatsOnlyWhatChanged()
    {
        const QByteArray legacy = "int  first(int a){return a+1;}\n\nint  second(int b){return b+2;}\n\n"
                                  "int  third(int c){return c+3;}\n";
        write("repo/src/legacy.c", legacy);
        write("repo/src/other.c", legacy);
        const QStringList identity{"-c", "user.name=Zabo", "-c", "user.email=zabo@example.org"};
        for (const QStringList &command : {QStringList{"init", "-q"}, QStringList{"add", "."},
                                           identity + QStringList{"commit", "-qm", "legacy"}}) {
            QProcess git;
            QCOMPARE(runTool(git, QStringLiteral("git"), command, path("repo")), QProcess::NormalExit);
            QVERIFY2(git.exitCode() == 0, git.readAllStandardError().constData());
        }
        QByteArray touched = legacy;
        touched.replace("b+2", "b*2");
        write("repo/src/legacy.c", touched);
        write("repo/src/new.c", "int  fresh(void){return 0;}\n");
        const QByteArray repo = QFile::encodeName(path("repo"));
        const QByteArrayList kr{"--config", m_config, "--style", "K&&R"};

        const Invocation check =
            runFormat(repo, kr + QByteArrayList{"--check", "--since", "HEAD", "-r", "src"});
        QVERIFY2(check.exitCode == 1, describe(check).constData());
        QVERIFY(check.err.contains("would reformat src/legacy.c\n") &&
                check.err.contains("would reformat src/new.c\n"));
        QVERIFY(!check.err.contains("other.c"));

        const Invocation inPlace =
            runFormat(repo, kr + QByteArrayList{"--in-place", "--since", "HEAD", "-r", "src"});
        QVERIFY2(inPlace.exitCode == 0, describe(inPlace).constData());
        QCOMPARE(readAll(path("repo/src/legacy.c")),
                 QByteArray("int  first(int a){return a+1;}\n\nint second(int b)\n{\n    return b * 2;\n}\n\n"
                            "int  third(int c){return c+3;}\n"));
        QCOMPARE(readAll(path("repo/src/new.c")), QByteArray("int fresh(void)\n{\n    return 0;\n}\n"));
        QCOMPARE(readAll(path("repo/src/other.c")), legacy);

        const Invocation clean =
            runFormat(repo, kr + QByteArrayList{"--check", "--since", "HEAD", "-r", "src"});
        QVERIFY2(clean.exitCode == 0, describe(clean).constData());
        const Invocation whole = runFormat(repo, kr + QByteArrayList{"--check", "-r", "src"});
        QVERIFY2(whole.exitCode == 1, describe(whole).constData());
        const Invocation unknown =
            runFormat(repo, kr + QByteArrayList{"--check", "--since", "--output=x", "src"});
        QVERIFY2(unknown.exitCode == 2 && unknown.err.contains("is no commit"),
                 describe(unknown).constData());
        const Invocation outside =
            runFormat(m_dir, kr + QByteArrayList{"--check", "--since", "HEAD", "repo"});
        QVERIFY2(outside.exitCode == 2 && outside.err.contains("--since needs a git work tree"),
                 describe(outside).constData());
    }

    // The hook as the pre-commit framework runs it, twice on an untidy repository: the first run
    // rewrites and fails the commit, the second passes.
    void preCommitHookSettles()
    {
        const QString preCommit = QStandardPaths::findExecutable(QStringLiteral("pre-commit"));
        if (preCommit.isEmpty())
            QSKIP("pre-commit is needed (tools/install-deps.sh installs it)");
        const QString sourceRoot = QFileInfo(dataPath(QStringLiteral("../.."))).canonicalFilePath();
        write("hooks/.pre-commit-hooks.yaml", readAll(sourceRoot + "/.pre-commit-hooks.yaml"));
        write("project/.indent.pro", "-kr -i8 -ts8\n");
        write("project/src/a.c", fixture("untidy.c"));
        write("project/src/flip.c", fixture("settle_flip.c"));
        write("project/vendor/z.c", fixture("untidy.c"));
        QVERIFY(QDir().mkpath(path("bin")));
        QVERIFY(QFile::link(QString::fromLocal8Bit(Program), path("bin/zabo-format")));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path("."));
        environment.insert(QStringLiteral("PRE_COMMIT_HOME"), path("cache"));
        environment.insert(QStringLiteral("PATH"),
                           path("bin") + ':' + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("GIT_AUTHOR_NAME"), QStringLiteral("Zabo"));
        environment.insert(QStringLiteral("GIT_AUTHOR_EMAIL"), QStringLiteral("zabo@example.org"));
        environment.insert(QStringLiteral("GIT_COMMITTER_NAME"), QStringLiteral("Zabo"));
        environment.insert(QStringLiteral("GIT_COMMITTER_EMAIL"), QStringLiteral("zabo@example.org"));
        const auto run = [&](const QString &program, const QStringList &arguments, const QString &directory) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.setStandardInputFile(QProcess::nullDevice());
            if (runTool(process, program, arguments, path(directory)) != QProcess::NormalExit)
                return std::pair<int, QByteArray>{-1, "did not finish"};
            return std::pair<int, QByteArray>{process.exitCode(), process.readAll()};
        };
        const QString git = QStringLiteral("git");
        for (const QStringList &command :
             {QStringList{"init", "-q"}, QStringList{"add", "."}, QStringList{"commit", "-qm", "hooks"}})
            QCOMPARE(run(git, command, "hooks").first, 0);
        const QByteArray revision = run(git, {"rev-parse", "HEAD"}, "hooks").second.trimmed();
        write("project/.pre-commit-config.yaml",
              "repos:\n- repo: " + QFile::encodeName(path("hooks")) + "\n  rev: " + revision +
                  "\n  hooks:\n  - id: zabo-format\n    args: [--style, file, --exclude, vendor, --]\n");
        for (const QStringList &command : {QStringList{"init", "-q"}, QStringList{"add", "."}})
            QCOMPARE(run(git, command, "project").first, 0);

        const auto first = run(preCommit, {"run", "--all-files"}, "project");
        QVERIFY2(first.first == 1 && first.second.contains("files were modified by this hook"),
                 first.second.constData());
        QVERIFY(readAll(path("project/src/a.c")) != fixture("untidy.c"));
        QCOMPARE(readAll(path("project/vendor/z.c")), fixture("untidy.c"));
        QCOMPARE(run(git, {"add", "."}, "project").first, 0);
        const auto second = run(preCommit, {"run", "--all-files"}, "project");
        QVERIFY2(second.first == 0 && second.second.contains("Passed"), second.second.constData());
    }

    void colourOnlyOnATerminal()
    {
        const QString script = QStandardPaths::findExecutable("script");
        if (script.isEmpty())
            QSKIP("script(1) is needed to give zabo-format a terminal");
        write("untidy.c", fixture("untidy.c"));
        QProcess terminal;
        terminal.setWorkingDirectory(m_work->path());
        terminal.start(script, {"-qec",
                                QString::fromLocal8Bit(Program) + " --config " +
                                    QString::fromLocal8Bit(m_config) + " --diff untidy.c",
                                "/dev/null"});
        QVERIFY(terminal.waitForFinished(-1));
        const QByteArray shown = terminal.readAllStandardOutput();
        QCOMPARE(terminal.exitCode(), 1);
        QVERIFY2(shown.contains("\033[31m-static int count(const char*s)"), shown.constData());
        QVERIFY(shown.contains("\033[32m+static int count(const char *s)"));
    }

    void noDisplayLibraryIsLoaded()
    {
        QProcess ldd;
        ldd.start("ldd", {QString::fromLocal8Bit(Program)});
        QVERIFY(ldd.waitForFinished(-1));
        const QByteArray libraries = ldd.readAllStandardOutput();
        QVERIFY(libraries.contains("libQt6Core"));
        for (const char *library : {"libQt6Gui", "libQt6Widgets", "libX11", "libxcb", "libGL", "libEGL"})
            QVERIFY2(!libraries.contains(library), libraries.constData());
    }
};

QTEST_GUILESS_MAIN(TestZaboFormat)
#include "tst_zaboformat.moc"
