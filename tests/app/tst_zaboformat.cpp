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

// Runs zabo-format in workingDirectory with the arguments as bytes and without DISPLAY or
// QT_QPA_PLATFORM, the way a server starts it. Standard output goes to standardOutput when given.
Invocation runFormat(const QByteArray &workingDirectory, const QList<QByteArray> &arguments,
                     const QByteArray &program = Program, const QByteArray &standardOutput = {})
{
    Invocation result;
    QTemporaryDir streams;
    const QByteArray outPath =
        standardOutput.isEmpty() ? QFile::encodeName(streams.filePath("out")) : standardOutput;
    const QByteArray errPath = QFile::encodeName(streams.filePath("err"));

    QList<QByteArray> argumentStore{program};
    argumentStore += arguments;
    std::vector<char *> argv;
    for (QByteArray &argument : argumentStore)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QList<QByteArray> environmentStore;
    for (char **variable = environ; *variable; ++variable) {
        const QByteArray entry(*variable);
        if (!entry.startsWith("DISPLAY=") && !entry.startsWith("QT_QPA_PLATFORM=") &&
            !entry.startsWith("WAYLAND_DISPLAY="))
            environmentStore.append(entry);
    }
    std::vector<char *> envp;
    for (QByteArray &entry : environmentStore)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.constData(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.constData(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.constData());
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, program.constData(), &actions, nullptr, argv.data(), envp.data());
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
            runFormat(m_dir, QByteArrayList{"--config", m_config} + arguments, Program, "/dev/full");
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

        const Invocation run = runFormat(m_dir, {"--list-styles"}, QFile::encodeName(program));
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
        const Invocation missing = runFormat(m_dir, {"--check", "untidy.c"}, QFile::encodeName(program));
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

    void everyStyleFormatsAsTheWindowsJobDoes()
    {
        QFETCH(int, style);
        write("src/a.c", fixture("untidy.c"));
        write("src/b.h", fixture("untidy.h"));
        write("src/c.cpp", fixture("unbalanced.c"));
        write("src/d.hpp", fixture("untidy.h"));
        QVector<StyleRecord> styles = builtInStyles();
        styles.append(styleWith(QStringLiteral("mine"), {"-kr", "-i2"}));
        write("one.dat", serializeStyleFile(styles, style));

        const Invocation run =
            runFormat(m_dir, {"--config", QFile::encodeName(path("one.dat")), "--output", "out", "src"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        const FileMap ours = filesIn(path("out"));
        const FileMap window = windowJobOutput(path("src"), ParameterTextOf(styles.at(style)));
        QCOMPARE(ours.keys(), (QStringList{"a.c", "b.h", "c.cpp", "d.hpp"}));
        QCOMPARE(ours, window);
        QVERIFY(ours.value("a.c") != fixture("untidy.c"));
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

    // As indent itself would: a profile in the working directory beats a style's preset.
    void aProfileInTheWorkingDirectoryCounts()
    {
        write("untidy.c", fixture("untidy.c"));
        write(".indent.pro", "-i8 -nut\n");
        const Invocation run = runFormat(m_dir, {"--config", m_config, "--style", "GNU", "untidy.c"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QVERIFY2(run.out.contains("{\n        int n = 0;\n"), run.out.constData());
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
