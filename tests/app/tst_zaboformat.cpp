// zabo-format run as the process a shell, a CI job or a hook starts: arguments as bytes, no display.
#include "CellTable.h"
#include "FormatCommand.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "FormattingJob.h"
#include "JobScript.h"
#include "ScriptedPrompts.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

Q_DECLARE_METATYPE(FormatStage)

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

// How a test starts zabo-format beyond its arguments.
struct Launch
{
    QByteArray program = Program;
    QByteArray standardInput;   // fed to it by runFormat; empty: /dev/null
    QByteArray standardOutput;  // a file to write to; empty: captured
    int standardOutputFd = -1;  // a descriptor instead, such as a pipe's end
    QByteArrayList environment; // "NAME=value" replaces the inherited NAME; "NAME" alone removes it
};
using RunInput = Launch;

// Starts zabo-format in workingDirectory with the arguments as bytes and without DISPLAY or
// QT_QPA_PLATFORM, the way a server starts it; -1 when it could not start.
pid_t startFormat(const QByteArray &workingDirectory, const QList<QByteArray> &arguments,
                  const Launch &launch, const QByteArray &outPath, const QByteArray &errPath,
                  const QByteArray &inPath = "/dev/null")
{
    QList<QByteArray> argumentStore{launch.program};
    argumentStore += arguments;
    std::vector<char *> argv;
    for (QByteArray &argument : argumentStore)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QList<QByteArray> environmentStore;
    const auto replaced = [&](const QByteArray &entry) {
        for (const QByteArray &given : launch.environment) {
            if (entry.startsWith(given.split('=').first() + '='))
                return true;
        }
        return false;
    };
    for (char **variable = environ; *variable; ++variable) {
        const QByteArray entry(*variable);
        if (!entry.startsWith("DISPLAY=") && !entry.startsWith("QT_QPA_PLATFORM=") &&
            !entry.startsWith("WAYLAND_DISPLAY=") && !replaced(entry))
            environmentStore.append(entry);
    }
    for (const QByteArray &given : launch.environment) {
        if (given.contains('='))
            environmentStore.append(given);
    }
    std::vector<char *> envp;
    for (QByteArray &entry : environmentStore)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.constData(), O_RDONLY, 0);
    if (launch.standardOutputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, launch.standardOutputFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.constData(), O_WRONLY | O_CREAT,
                                         0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.constData(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.constData());
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, launch.program.constData(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? child : -1;
}

Launch withProgram(const QByteArray &program)
{
    Launch launch;
    launch.program = program;
    return launch;
}

Launch withOutputTo(const QByteArray &standardOutput)
{
    Launch launch;
    launch.standardOutput = standardOutput;
    return launch;
}

Launch withEnvironment(const QByteArrayList &environment)
{
    Launch launch;
    launch.environment = environment;
    return launch;
}

// Runs zabo-format to its end; see startFormat.
Invocation runFormat(const QByteArray &workingDirectory, const QList<QByteArray> &arguments,
                     const Launch &launch = {})
{
    Invocation result;
    QTemporaryDir streams;
    const QByteArray outPath =
        launch.standardOutput.isEmpty() ? QFile::encodeName(streams.filePath("out")) : launch.standardOutput;
    const QByteArray inPath =
        launch.standardInput.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(streams.filePath("in"));
    if (!launch.standardInput.isEmpty() && !writeAll(streams.filePath("in"), launch.standardInput))
        return result;
    const pid_t child = startFormat(workingDirectory, arguments, launch, outPath,
                                    QFile::encodeName(streams.filePath("err")), inPath);
    if (child < 0)
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

// Every entry's name counts, those QDir cannot decode included.
qsizetype entryCount(const QByteArray &directory)
{
    qsizetype count = 0;
    if (DIR *dir = ::opendir(directory.constData())) {
        while (const dirent *entry = ::readdir(dir))
            count += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
        ::closedir(dir);
    }
    return count;
}

QByteArray readNamed(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    QByteArray bytes;
    char buffer[65536];
    ssize_t got = 0;
    while (fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    if (fd >= 0)
        ::close(fd);
    return bytes;
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

// The directories below /proc/<pid>/fd whose names begin with prefix: what a run holds open.
QStringList heldDirectories(pid_t process, const QString &prefix)
{
    QStringList held;
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(process));
    for (const QFileInfo &entry :
         descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = entry.symLinkTarget();
        if (QFileInfo(target).fileName().startsWith(prefix) && QFileInfo(target).isDir())
            held.append(target);
    }
    return held;
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
        styles.append(styleWith(QStringLiteral("keep time"), {"-kr", "-i2", "-pmt"}));
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
        const Invocation run =
            runFormat(m_dir, QByteArrayList{"--config", m_config} + arguments, withOutputTo("/dev/full"));
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

    void diffsApplyWithPatchWhateverTheNames_data()
    {
        QTest::addColumn<QByteArray>("from");     // the working directory, below the test's
        QTest::addColumn<QByteArray>("argument"); // ABS: the test's directory
        QTest::addColumn<bool>("reachable");
        QTest::newRow("relative") << QByteArray(".") << QByteArray("names") << true;
        QTest::newRow("dotted") << QByteArray(".") << QByteArray("./sub/../names/") << true;
        QTest::newRow("absolute") << QByteArray(".") << QByteArray("ABS/names") << true;
        QTest::newRow("from a directory above") << QByteArray("..") << QByteArray("ABS/names") << true;
        QTest::newRow("outside, by ../") << QByteArray("sub") << QByteArray("../names") << false;
        QTest::newRow("outside, absolute") << QByteArray("sub") << QByteArray("ABS/names") << false;
    }

    // A table of hostile names, diffed and applied with the real `patch -p1` where zabo-format ran:
    // the result is what --output makes; a file patch cannot reach from there is named, not diffed.
    void diffsApplyWithPatchWhateverTheNames()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, argument);
        QFETCH(bool, reachable);
        const QByteArrayList names = {"sp ace.c",      "tab\there.c", "new\nline.c", "q\"uote.c",
                                      "back\\slash.c", "e\x1bsc.c",   "caf\xe9.c",   "-dash.c",
                                      "\"lead.c",      "cr\rx.c",     "plain.c"};
        QVERIFY(::mkdir((m_dir + "/names").constData(), 0755) == 0);
        QVERIFY(::mkdir((m_dir + "/sub").constData(), 0755) == 0);
        for (const QByteArray &name : names)
            QVERIFY(writeNamed(m_dir + "/names/" + name, fixture("untidy.c")));
        const Invocation expected = runFormat(m_dir, {"--config", m_config, "--output", "expected", "names"});
        QVERIFY2(expected.exitCode == 0, describe(expected).constData());

        const QByteArray workingDirectory =
            QFileInfo(QFile::decodeName(m_dir + '/' + from)).canonicalFilePath().toLocal8Bit();
        argument.replace("ABS", m_dir);
        const Invocation diff = runFormat(workingDirectory, {"--config", m_config, "--diff", argument});
        QVERIFY2(diff.exitCode == 1, describe(diff).constData());
        if (!reachable) {
            QVERIFY2(diff.out.isEmpty(), describe(diff).constData());
            QVERIFY2(diff.err.contains("plain.c: warning: outside the working directory"),
                     describe(diff).constData());
            return;
        }
        QProcess patch;
        patch.setWorkingDirectory(QFile::decodeName(workingDirectory));
        patch.start("patch", {"-p1", "--batch", "--forward"});
        patch.write(diff.out);
        patch.closeWriteChannel();
        QVERIFY(patch.waitForFinished(-1));
        QVERIFY2(patch.exitCode() == 0,
                 patch.readAllStandardOutput() + patch.readAllStandardError() + diff.out);
        for (const QByteArray &name : names) {
            const QByteArray patched = readNamed(m_dir + "/names/" + name);
            QVERIFY2(patched == readNamed(m_dir + "/expected/" + name) && patched != fixture("untidy.c"),
                     name.constData());
        }
        QCOMPARE(entryCount(m_dir + "/names"), names.size()); // nothing new: no .orig, no .rej
    }

    // A link found in a tree may lead anywhere: --in-place never writes through it.
    void inPlaceNeverWritesThroughALinkInATree()
    {
        write("tree/inner.c", fixture("untidy.c"));
        write("outside/far.c", fixture("untidy.c"));
        QVERIFY(QFile::link("inner.c", path("tree/in-link.c")));
        QVERIFY(QFile::link("../outside/far.c", path("tree/out-link.c")));
        const Invocation run = runFormat(m_dir, {"--config", m_config, "--in-place", "-r", "tree"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QVERIFY2(run.err.contains("reformatted tree/inner.c\n"), describe(run).constData());
        QVERIFY2(run.err.contains("tree/out-link.c: warning: a symbolic link; --in-place does not write"),
                 describe(run).constData());
        QVERIFY2(!run.err.contains("in-link.c"), describe(run).constData());
        QCOMPARE(readAll(path("outside/far.c")), fixture("untidy.c"));
        QVERIFY(readAll(path("tree/inner.c")) != fixture("untidy.c"));
        QVERIFY(QFileInfo(path("tree/in-link.c")).isSymLink());
        QVERIFY(QFileInfo(path("tree/out-link.c")).isSymLink());

        // named on the command line, a link is followed as a person means it
        const Invocation named = runFormat(m_dir, {"--config", m_config, "--in-place", "tree/out-link.c"});
        QVERIFY2(named.exitCode == 0, describe(named).constData());
        QCOMPARE(readAll(path("outside/far.c")), readAll(path("tree/inner.c")));
        QVERIFY(QFileInfo(path("tree/out-link.c")).isSymLink());
    }

    void inPlaceKeepsAFilesIdentity_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<bool>("rewritten");
        QTest::newRow("hard link") << QByteArray("hard link") << 2
                                   << QByteArray("x.c: not rewritten: it has 2 hard links") << false;
        QTest::newRow("read-only") << QByteArray("read-only") << 2
                                   << QByteArray("x.c: not rewritten: it is read-only") << false;
        QTest::newRow("read-only, forced")
            << QByteArray("forced") << 0 << QByteArray("reformatted x.c\n") << true;
        QTest::newRow("-pmt") << QByteArray("-pmt") << 0 << QByteArray("reformatted x.c\n") << true;
        QTest::newRow("another user's file, as root")
            << QByteArray("foreign") << 0 << QByteArray("reformatted x.c\n") << true;
    }

    // A rewrite gives the file a new inode: so a file with other names, or one its owner made
    // read-only, is left alone, and mode, owner, group and (with -pmt) the modification time go along.
    void inPlaceKeepsAFilesIdentity()
    {
        QFETCH(QByteArray, kind);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        QFETCH(bool, rewritten);
        if (kind == "foreign" && ::geteuid() != 0)
            QSKIP("giving a file to another user needs root");
        write("x.c", fixture("untidy.c"));
        const QByteArray file = QFile::encodeName(path("x.c"));
        setModificationTime(path("x.c"), 1000000000);
        QByteArrayList arguments{"--config", m_config, "--in-place", "x.c"};
        mode_t mode = 0644;
        if (kind == "hard link")
            QVERIFY(::link(file.constData(), QFile::encodeName(path("other-name.c")).constData()) == 0);
        if (kind == "read-only" || kind == "forced")
            mode = 0444;
        if (kind == "forced")
            arguments << "--force-read-only";
        if (kind == "-pmt")
            arguments << "--style"
                      << "keep time";
        if (kind == "foreign")
            QVERIFY(::chown(file.constData(), 65534, 65534) == 0);
        QVERIFY(::chmod(file.constData(), mode) == 0);
        struct stat before;
        QVERIFY(::stat(file.constData(), &before) == 0);

        const Invocation run = runFormat(m_dir, arguments);
        QVERIFY2(run.exitCode == exitCode, describe(run).constData());
        QVERIFY2(run.err.contains(said), describe(run).constData());
        QVERIFY2(!run.err.contains("warning"), describe(run).constData());
        struct stat after;
        QVERIFY(::stat(file.constData(), &after) == 0);
        QCOMPARE(readAll(path("x.c")) != fixture("untidy.c"), rewritten);
        QCOMPARE(after.st_ino == before.st_ino, !rewritten);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mtim.tv_sec == before.st_mtim.tv_sec, !rewritten || kind == "-pmt");
        if (kind == "hard link")
            QCOMPARE(readAll(path("other-name.c")), fixture("untidy.c"));
        const QDir directory(m_work->path());
        QVERIFY(directory.entryList(QDir::Hidden | QDir::Files).filter(".zabo-").isEmpty());
    }

    // With -pmt the copies --output writes keep their sources' modification times.
    void outputKeepsTheModificationTimeWithPmt()
    {
        write("src/a.c", fixture("untidy.c"));
        write("src/b.h", fixture("untidy.h"));
        setModificationTime(path("src/a.c"), 1000000000);
        setModificationTime(path("src/b.h"), 1100000000);
        const Invocation kept =
            runFormat(m_dir, {"--config", m_config, "--style", "keep time", "--output", "kept", "src"});
        QVERIFY2(kept.exitCode == 0, describe(kept).constData());
        QCOMPARE(modificationTime(path("kept/a.c")), modificationTime(path("src/a.c")));
        QCOMPARE(modificationTime(path("kept/b.h")), modificationTime(path("src/b.h")));
        QVERIFY(readAll(path("kept/a.c")) != fixture("untidy.c"));
        const Invocation fresh = runFormat(m_dir, {"--config", m_config, "--output", "fresh", "src"});
        QVERIFY2(fresh.exitCode == 0, describe(fresh).constData());
        QVERIFY(modificationTime(path("fresh/a.c")) != modificationTime(path("src/a.c")));
    }

    // Run by a user who may rewrite another user's file (through its group or other write bit) but
    // cannot give the new one back: the loss of owner and group is named.
    void aLostOwnerOrGroupIsNamed()
    {
        if (::geteuid() != 0)
            QSKIP("another user's file needs root to set up");
        write("shared/x.c", fixture("untidy.c"));
        const QByteArray file = QFile::encodeName(path("shared/x.c"));
        QVERIFY(::chown(file.constData(), 0, 12345) == 0);
        QVERIFY(::chmod(file.constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(path("shared")).constData(), 0777) == 0);
        QVERIFY(makeReachable(path("styles.dat")));
        // as the other user entirely: Qt refuses to run with differing real and effective users
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty())
            QSKIP("setpriv(1) is needed to run as another user");
        const Invocation run = runFormat(m_dir,
                                         {"--reuid=65534", "--regid=65534", "--clear-groups", Program,
                                          "--config", m_config, "--in-place", "shared/x.c"},
                                         withProgram(QFile::encodeName(setpriv)));
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QVERIFY2(run.err.contains("shared/x.c: warning: its owner is now nobody (65534) instead of root (0)"),
                 describe(run).constData());
        QVERIFY2(run.err.contains("shared/x.c: warning: its group is now nogroup (65534) instead of (12345)"),
                 describe(run).constData());
        QVERIFY(readAll(path("shared/x.c")) != fixture("untidy.c"));
    }

    void aDirectorySwappedMidRunIsNeverWrittenThrough_data()
    {
        QTest::addColumn<FormatStage>("stage");
        QTest::addColumn<bool>("byLink"); // else another directory moved into its place
        QTest::newRow("link, before reading") << FormatStage::SourcesFound << true;
        QTest::newRow("link, before writing") << FormatStage::Formatted << true;
        QTest::newRow("directory, before reading") << FormatStage::SourcesFound << false;
        QTest::newRow("directory, before writing") << FormatStage::Formatted << false;
    }

    // --in-place -r over a tree whose subdirectory is swapped, mid-run, for a link to a directory
    // outside it or for that directory itself: the outside file is never read or written, the file is
    // named, and the rest of the tree is formatted.
    void aDirectorySwappedMidRunIsNeverWrittenThrough()
    {
        QFETCH(FormatStage, stage);
        QFETCH(bool, byLink);
        write("tree/a.c", fixture("untidy.c"));
        write("tree/zz/x.c", fixture("untidy.c"));
        write("outside/x.c", fixture("untidy.h"));
        const QByteArray outsideBefore = readAll(path("outside/x.c"));
        const QByteArray tree = QFile::encodeName(path("tree"));

        FormatOptions options;
        options.mode = FormatOptions::Mode::InPlace;
        options.recursive = true;
        options.configPath = m_config;
        options.paths = {tree};
        FormatSetup setup;
        bool swapped = false;
        setup.stageReached = [&](FormatStage reached) {
            if (reached != stage)
                return;
            swapped = QFile::rename(path("tree/zz"), path("tree/zz.old")) &&
                      (byLink ? QFile::link(path("outside"), path("tree/zz"))
                              : QFile::rename(path("outside"), path("tree/zz")));
        };
        QBuffer out;
        QBuffer err;
        QVERIFY(out.open(QIODevice::WriteOnly) && err.open(QIODevice::WriteOnly));
        FormatStreams streams{out, err};
        const int status = runFormatCommand(options, setup, streams);
        const QByteArray said = err.data();

        QVERIFY(swapped);
        QVERIFY2(status == 2, said.constData());
        QVERIFY2(said.contains(tree + "/zz/x.c: "), said.constData());
        QVERIFY2(said.contains("taken the place of its directory"), said.constData());
        QVERIFY2(!said.contains("reformatted " + tree + "/zz/x.c"), said.constData());
        QVERIFY2(said.contains("reformatted " + tree + "/a.c\n"), said.constData());
        QCOMPARE(readAll(byLink ? path("outside/x.c") : path("tree/zz/x.c")), outsideBefore);
        QCOMPARE(readAll(path("tree/zz.old/x.c")), fixture("untidy.c"));
        QVERIFY(readAll(path("tree/a.c")) != fixture("untidy.c"));
    }

    // A TMPDIR that names a missing folder falls back to a sound temporary directory, and another
    // user's directory at the name the formatter once had stops nothing. Nothing lands at the root.
    void aMissingTemporaryFolderIsNeverTheRoot()
    {
        write("untidy.c", fixture("untidy.c"));
        const QStringList rootBefore =
            QDir("/").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const Invocation missing =
            runFormat(m_dir, {"--config", m_config, "--in-place", "untidy.c"},
                      withEnvironment({"TMPDIR=/nonexistent/zabo", "XDG_RUNTIME_DIR"}));
        QVERIFY2(missing.exitCode == 0, describe(missing).constData());
        QCOMPARE(QDir("/").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), rootBefore);

        QVERIFY(QDir().mkpath(path("tmp/zabo-%1").arg(::geteuid())));
        if (::geteuid() == 0)
            QVERIFY(::chown(QFile::encodeName(path("tmp/zabo-0")).constData(), 65534, 65534) == 0);
        write("untidy.c", fixture("untidy.c"));
        const Invocation squatted =
            runFormat(m_dir, {"--config", m_config, "--check", "untidy.c"},
                      withEnvironment({"TMPDIR=" + QFile::encodeName(path("tmp")), "XDG_RUNTIME_DIR"}));
        QVERIFY2(squatted.exitCode == 1, describe(squatted).constData());
    }

    // kill -9 leaves the scratch copies and the formatter; the next run removes both.
    void whatAKilledRunLeftIsRemovedByTheNext()
    {
        QByteArray big;
        while (big.size() < 400 * 1024)
            big += fixture("untidy.c");
        write("big.c", big);
        QVERIFY(::mkdir(QFile::encodeName(path("runtime")).constData(), 0700) == 0);
        const Launch launchWith = withEnvironment({"XDG_RUNTIME_DIR=" + QFile::encodeName(path("runtime"))});
        int output[2];
        QVERIFY(::pipe2(output, O_CLOEXEC) == 0);
        Launch blocked = launchWith;
        blocked.standardOutputFd = output[1];
        // its formatted text fills the pipe, which nobody reads: the run waits with everything in place
        const pid_t run =
            startFormat(m_dir, {"--config", m_config, "big.c"}, blocked, {}, QFile::encodeName(path("err")));
        ::close(output[1]);
        QVERIFY(run > 0);
        auto ending = qScopeGuard([&] {
            ::kill(run, SIGKILL);
            ::waitpid(run, nullptr, 0);
            ::close(output[0]);
        });
        QStringList left;
        QTRY_VERIFY_WITH_TIMEOUT(
            (left = heldDirectories(run, "zabo-format-") + heldDirectories(run, "zabo-indent-")).size() == 2,
            60000);
        ending.dismiss();
        ::kill(run, SIGKILL);
        ::waitpid(run, nullptr, 0);
        ::close(output[0]);
        for (const QString &directory : left)
            QVERIFY2(QFileInfo(directory).isDir(), qPrintable(directory));
        QVERIFY(left.filter(path("runtime")).size() ==
                1); // the formatter went to the private runtime directory

        const Invocation next = runFormat(m_dir, {"--config", m_config, "--check", "big.c"}, launchWith);
        QVERIFY2(next.exitCode == 1, describe(next).constData());
        for (const QString &directory : left)
            QVERIFY2(!QFileInfo::exists(directory), qPrintable(directory));
        QCOMPARE(QDir(path("runtime")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
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

        const Invocation run = runFormat(m_dir, {"--list-styles"}, withProgram(QFile::encodeName(program)));
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
        const Invocation missing =
            runFormat(m_dir, {"--check", "untidy.c"}, withProgram(QFile::encodeName(program)));
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

        // a file --in-place leaves unformatted because it never settles fails the run as --check does
        const Invocation inPlace = runFormat(m_dir, orig + QByteArrayList{"--in-place", file});
        QVERIFY2(inPlace.exitCode == checkStatus, describe(inPlace).constData());
        QCOMPARE(inPlace.err.contains(warning), checkStatus == 1);
        if (checkStatus == 1)
            QCOMPARE(readAll(path(QString::fromUtf8(file))), ::fixture(fixture));
        else
            QVERIFY(readAll(path(QString::fromUtf8(file))) != ::fixture(fixture));

        const Invocation check = runFormat(m_dir, orig + QByteArrayList{"--check", file});
        QVERIFY2(check.exitCode == checkStatus, describe(check).constData());
        QCOMPARE(check.err.contains(warning), checkStatus == 1);
        QCOMPARE(check.err.contains("would reformat " + file + "\n"), checkStatus == 1);
        // where it keeps changing: the line, and with --diff the last two passes' difference
        QCOMPARE(check.err.contains("Its passes keep changing from line "), checkStatus == 1);
        const Invocation diff = runFormat(m_dir, orig + QByteArrayList{"--check", "--diff", file});
        QVERIFY2(diff.exitCode == checkStatus, describe(diff).constData());
        QCOMPARE(diff.err.contains("--- " + file + " (pass 9)\n+++ " + file + " (pass 10)\n@@ "),
                 checkStatus == 1);
        QVERIFY2(diff.out.isEmpty(), describe(diff).constData()); // standard output stays a patch

        // what indent alone does once more to the result
        const Invocation onePass = runFormat(m_dir, orig + QByteArrayList{"--single-pass", "--check", file});
        QVERIFY2(onePass.exitCode == (onePassStands ? 0 : 1), describe(onePass).constData());
        const Invocation again = runFormat(m_dir, orig + QByteArrayList{"--in-place", file});
        QVERIFY2(again.exitCode == checkStatus, describe(again).constData());
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
            << QByteArray("-kr victim.c\n") << QByteArray("\"victim.c\" is not an option");
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
