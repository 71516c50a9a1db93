// zabo-format as a process where an editor, a hook or a hostile repository meets it: a buffer that
// always comes back, profiles that cannot hang a run or leak a file, colours as the user asks, and
// --in-place that keeps what it promises.
#include "ChildProcesses.h"
#include "SmallFileSystem.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString Program = QStringLiteral(ZABO_FORMAT_PATH);
// Far beyond any run of these tests; only a real hang reaches it.
constexpr int HangMilliseconds = 600 * 1000;

using Run = ChildRun;

QByteArray benchFile(const QString &name)
{
    return readAll(QStringLiteral(ZABO_BENCH_DATA) + QLatin1Char('/') + name);
}

// A source that keeps indent busy for many seconds with SlowProfile (about 15 s on a quiet machine):
// a real file many times over.
QByteArray largeSource()
{
    return benchFile(QStringLiteral("gun.c")).repeated(400);
}

// The widest columns a profile may ask for: indent pads every declaration and comment to them.
const QByteArray SlowProfile = "-kr -di1000 -c1000 -cd1000";

} // namespace

class TestZaboFormatGuards : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_elsewhere; // outside the scratch repository

    QString path(const QString &relative) const { return m_work->filePath(relative); }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        QVERIFY(QDir().mkpath(QFileInfo(path(relative)).absolutePath()));
        QVERIFY(writeAll(path(relative), bytes));
    }
    QProcessEnvironment scratchEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("home/.config")));
        environment.remove(QStringLiteral("NO_COLOR"));
        return environment;
    }

    Run format(const QStringList &arguments, const QByteArray &input = QByteArray(),
               const QProcessEnvironment &environment = QProcessEnvironment())
    {
        QProcess process;
        process.setWorkingDirectory(path(QStringLiteral("src")));
        process.setProcessEnvironment(environment.isEmpty() ? scratchEnvironment() : environment);
        process.start(Program, arguments);
        process.write(input);
        process.closeWriteChannel();
        return finishedRun(process, HangMilliseconds);
    }

private slots:
    void init()
    {
        m_work = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path(QStringLiteral("home/.config"))));
        QVERIFY(QDir().mkpath(path(QStringLiteral("src"))));
        QVERIFY(QDir().mkpath(path(QStringLiteral(".git")))); // the scratch tree is a repository's top
        m_elsewhere = std::make_unique<QTemporaryDir>();
        QVERIFY(writeAll(m_elsewhere->filePath(QStringLiteral("secrets")), "hunter2-password-of-root\n"));
    }

    void everyFailureGivesTheBufferBack_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("profile"); // "dir": a directory at the profile's name
        QTest::addColumn<QByteArray>("input");   // empty: an untidy source
        QTest::addColumn<QByteArray>("reason");

        const QStringList file{"--style", "file", "--stdin-name", "a.c"};
        QTest::newRow("an unknown option") << QStringList{"--bogus", "-"} << QByteArray("-kr") << QByteArray()
                                           << QByteArray("unknown option \"--bogus\"");
        QTest::newRow("an unknown style") << QStringList{"--style", "nope", "-"} << QByteArray("-kr")
                                          << QByteArray() << QByteArray("no style is named \"nope\"");
        QTest::newRow("a missing --config")
            << QStringList{"--config", "/nonexistent/styles.dat", "-"} << QByteArray("-kr") << QByteArray()
            << QByteArray("cannot read the style file");
        QTest::newRow("a bad word in the profile") << file + QStringList{"-"} << QByteArray("-kr victim.c")
                                                   << QByteArray() << QByteArray("is not an option");
        QTest::newRow("a profile ending in -T") << file + QStringList{"-"} << QByteArray("-kr -T")
                                                << QByteArray() << QByteArray("\"-T\" at the end");
        QTest::newRow("a profile ending in -l") << file + QStringList{"-"} << QByteArray("-kr -l")
                                                << QByteArray() << QByteArray("\"-l\" at the end");
        QTest::newRow("a profile that is a directory") << file + QStringList{"-"} << QByteArray("dir")
                                                       << QByteArray() << QByteArray("not a regular file");
        QTest::newRow("a profile linked to secrets")
            << file + QStringList{"-"} << QByteArray("link") << QByteArray()
            << QByteArray("a link to a file outside");
        QTest::newRow("a profile beyond any layout")
            << file + QStringList{"-"} << QByteArray("-kr -di2000000000") << QByteArray()
            << QByteArray("is beyond any sensible layout");
        QTest::newRow("Unicode digits") << file + QStringList{"-"} << QByteArray("-kr -l \xd9\xa8\xd9\xa0")
                                        << QByteArray() << QByteArray("ASCII digits");
        QTest::newRow("--since outside a git repository")
            << file + QStringList{"--since", "HEAD", "-"} << QByteArray("-kr") << QByteArray()
            << QByteArray("--since needs a git work tree");
        QTest::newRow("indent failing") << file + QStringList{"-"} << QByteArray("-kr --no-such-option")
                                        << QByteArray() << QByteArray("not formatted");
        QTest::newRow("indent out of time")
            << file + QStringList{"--time-limit", "1", "-"} << SlowProfile << largeSource()
            << QByteArray("a.c: not formatted: indent ran longer than the time limit of 1 s on it");
        QTest::newRow("more than 64 MiB") << file + QStringList{"-"} << QByteArray("-kr")
                                          << QByteArray("int  x;\n").repeated(9 * 1024 * 1024)
                                          << QByteArray("more than 64 MiB on standard input");
    }

    // An editor that pipes its buffer through gets it back unchanged, whatever went wrong.
    void everyFailureGivesTheBufferBack()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, profile);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, reason);
        if (QTest::currentDataTag() == QByteArrayLiteral("--since outside a git repository"))
            QVERIFY(QDir(path(QStringLiteral(".git"))).removeRecursively());
        if (profile == "dir")
            QVERIFY(QDir().mkpath(path(QStringLiteral("src/.indent.pro"))));
        else if (profile == "link")
            QVERIFY(::symlink(QFile::encodeName(m_elsewhere->filePath(QStringLiteral("secrets"))).constData(),
                              QFile::encodeName(path(QStringLiteral("src/.indent.pro"))).constData()) == 0);
        else
            write(QStringLiteral("src/.indent.pro"), profile + '\n');
        if (input.isEmpty())
            input = "static int count(const char*s){int n=0;while(*s++)n++;return n;}\n";
        const Run run = format(arguments, input);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(reason), run.err.constData());
        QVERIFY2(!run.err.contains("hunter2"), run.err.constData());
        QCOMPARE(run.out.size(), input.size());
        QVERIFY(run.out == input);
    }

    // No scratch space at all: not even the formatter can be put in place, and the buffer comes back.
    void aFullScratchSpaceGivesTheBufferBack()
    {
        if (!SmallFileSystem::hasPrivateMounts())
            QSKIP("no mount namespace of our own: /dev/shm cannot be replaced for this test alone");
        const SmallFileSystem shm(QStringLiteral("/dev/shm"), 64 * 1024);
        QVERIFY(QDir().mkpath(path(QStringLiteral("tmp"))));
        const SmallFileSystem scratch(path(QStringLiteral("tmp")), 64 * 1024);
        if (!shm.isMounted() || !scratch.isMounted())
            QSKIP("cannot mount a small tmpfs here");
        SmallFileSystem::fill(shm.path());
        SmallFileSystem::fill(scratch.path());
        QProcessEnvironment environment = scratchEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), scratch.path());
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        const QByteArray input = "int  main(){return 0;}\n";
        const Run run = format({"--style", "GNU", "-"}, input, environment);
        QVERIFY2(run.exitCode == 2 && run.err.contains("zabo-format: cannot "), run.err.constData());
        QCOMPARE(run.out, input);
    }

    // The README's vim line saves the buffer as it was when zabo-format refuses to format it.
    void vimKeepsItsBufferWhenFormattingFails_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::newRow("a bad word") << QByteArray("-kr victim.c\n");
        QTest::newRow("a profile ending in -l") << QByteArray("-kr -l\n");
        QTest::newRow("no profile at all") << QByteArray();
    }

    void vimKeepsItsBufferWhenFormattingFails()
    {
        QFETCH(QByteArray, profile);
        QString vim = QStandardPaths::findExecutable(QStringLiteral("vim.tiny"));
        if (vim.isEmpty())
            vim = QStandardPaths::findExecutable(QStringLiteral("vim"));
        if (vim.isEmpty())
            QSKIP("vim is needed (tools/install-deps.sh installs vim-tiny)");
        if (profile.isEmpty()) {
            for (QDir up(m_work->path()); !up.isRoot(); up.cdUp()) {
                if (QFileInfo::exists(up.filePath(QStringLiteral(".indent.pro"))))
                    QSKIP("a .indent.pro above the temporary directory");
            }
        } else {
            write(QStringLiteral("src/.indent.pro"), profile);
        }
        const QByteArray source = "int  main(){return 0;}\n";
        write(QStringLiteral("src/a.c"), source);
        QProcessEnvironment environment = scratchEnvironment();
        environment.insert(QStringLiteral("PATH"), QFileInfo(Program).absolutePath() + QLatin1Char(':') +
                                                       environment.value(QStringLiteral("PATH")));
        QProcess editor;
        editor.setProcessEnvironment(environment);
        editor.setWorkingDirectory(path(QStringLiteral("src")));
        editor.setStandardInputFile(QProcess::nullDevice());
        // the README's line, as printed
        editor.start(vim, {"-u", "NONE", "-i", "NONE", "-N", "-n", "-Es", "-c",
                           "%!zabo-format --style file --stdin-name % - 2>/dev/null", "-c", "wq", "a.c"});
        QVERIFY(editor.waitForFinished(HangMilliseconds));
        QCOMPARE(readAll(path(QStringLiteral("src/a.c"))), source);
    }

    // A stored "K&&R" is "K&R" to a person typing it.
    void kAndRIsNamedAsWritten()
    {
        write(QStringLiteral("src/a.c"), "int  main(){return 0;}\n");
        const Run stored = format({"--style", "K&&R", "a.c"});
        const Run written = format({"--style", "K&R", "a.c"});
        QCOMPARE(stored.exitCode, 0);
        QCOMPARE(written.exitCode, 0);
        QCOMPARE(written.out, stored.out);
    }

    void colourAsAsked_data()
    {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QString>("noColour"); // "-": unset
        QTest::addColumn<QString>("choice");   // empty: no --color
        QTest::addColumn<bool>("coloured");
        QTest::newRow("a terminal") << true << "-" << QString() << true;
        QTest::newRow("a terminal, NO_COLOR") << true << "1" << QString() << false;
        QTest::newRow("a terminal, NO_COLOR empty") << true << "" << QString() << true;
        QTest::newRow("a terminal, NO_COLOR, always") << true << "1"
                                                      << "--color=always" << true;
        QTest::newRow("a terminal, never") << true << "-"
                                           << "--color=never" << false;
        QTest::newRow("a terminal, auto") << true << "-"
                                          << "--color=auto" << true;
        QTest::newRow("a pipe") << false << "-" << QString() << false;
        QTest::newRow("a pipe, always") << false << "-"
                                        << "--color=always" << true;
        QTest::newRow("a pipe, --color alone") << false << "-"
                                               << "--color" << true;
    }

    void colourAsAsked()
    {
        QFETCH(bool, terminal);
        QFETCH(QString, noColour);
        QFETCH(QString, choice);
        QFETCH(bool, coloured);
        write(QStringLiteral("src/a.c"), "int  main(){return 0;}\n");
        QProcessEnvironment environment = scratchEnvironment();
        if (noColour != QLatin1String("-"))
            environment.insert(QStringLiteral("NO_COLOR"), noColour);
        QStringList arguments{"--style", "GNU", "--diff", "a.c"};
        if (!choice.isEmpty())
            arguments.prepend(choice);
        Run run;
        if (terminal) {
            const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
            if (script.isEmpty())
                QSKIP("script(1) is needed to give zabo-format a terminal");
            QProcess process;
            process.setProcessEnvironment(environment);
            process.setWorkingDirectory(path(QStringLiteral("src")));
            process.start(
                script, {"-qec", Program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')), "/dev/null"});
            QVERIFY(process.waitForFinished(HangMilliseconds));
            run.out = process.readAllStandardOutput();
        } else {
            run = format(arguments, {}, environment);
        }
        QVERIFY2(run.out.contains("@@"), run.out.constData());
        QCOMPARE(run.out.contains("\033["), coloured);
    }

    // A run that outlasts the time limit names the file indent was formatting and leaves the rest whole.
    void theTimeLimitNamesTheFile()
    {
        write(QStringLiteral("src/.indent.pro"), SlowProfile + '\n');
        write(QStringLiteral("src/big.c"), largeSource());
        write(QStringLiteral("src/small.c"), "int  x;\n");
        const Run run = format({"--style", "file", "--in-place", "--time-limit", "1", "big.c", "small.c"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("big.c: not formatted: indent ran longer than the time limit of 1 s on it"),
                 run.err.constData());
        QVERIFY2(run.err.contains("reformatted small.c"), run.err.constData());
        QCOMPARE(readAll(path(QStringLiteral("src/big.c"))), largeSource());
        QVERIFY(readAll(path(QStringLiteral("src/small.c"))) != "int  x;\n");
    }

    // A non-root user's set-user-ID and set-group-ID bits outlive --in-place: the mode is set after
    // the bytes, which would clear them.
    void inPlaceKeepsSetIdBitsForAnyUser()
    {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (::geteuid() != 0 || setpriv.isEmpty())
            QSKIP("needs root and setpriv to run zabo-format as the user nobody");
        QVERIFY(::chmod(QFile::encodeName(m_work->path()).constData(), 0755) == 0);
        write(QStringLiteral("src/a.c"), "int  main(){return 0;}\n");
        const QByteArray directory = QFile::encodeName(path(QStringLiteral("src")));
        const QByteArray file = QFile::encodeName(path(QStringLiteral("src/a.c")));
        QVERIFY(::chown(directory.constData(), 65534, 65534) == 0);
        QVERIFY(::chown(file.constData(), 65534, 65534) == 0);
        QVERIFY(::chmod(file.constData(), 06755) == 0);
        QProcess process;
        QProcessEnvironment environment = scratchEnvironment();
        environment.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(path(QStringLiteral("src")));
        process.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", Program, "--style", "GNU",
                                "--in-place", "a.c"});
        QVERIFY(process.waitForFinished(HangMilliseconds));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        struct stat status;
        QVERIFY(::stat(file.constData(), &status) == 0);
        QCOMPARE(status.st_mode & 07777, mode_t(06755));
        QVERIFY(readAll(path(QStringLiteral("src/a.c"))) != "int  main(){return 0;}\n");
    }

    // What a killed run left beside a source goes with the next run; nothing else does.
    void aKilledRunsFileBesideASourceIsRemoved()
    {
        write(QStringLiteral("src/a.c"), "int  main(){return 0;}\n");
        const pid_t killed = ::fork();
        if (killed == 0) {
            ::pause();
            ::_exit(0);
        }
        QVERIFY(killed > 0);
        QVERIFY(::kill(killed, SIGKILL) == 0);
        QCOMPARE(::waitpid(killed, nullptr, 0), killed);
        const QString dead = QStringLiteral("src/.a.c.zabo-%1-k3x9").arg(killed);
        const QString alive = QStringLiteral("src/.a.c.zabo-%1-k3x9").arg(::getpid());
        const QString other = QStringLiteral("src/.a.c.zabo-k3x9");
        for (const QString &leftover : {dead, alive, other})
            write(leftover, "half a file");
        const Run run = format({"--style", "GNU", "--in-place", "a.c"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(!QFileInfo::exists(path(dead)));
        QVERIFY(QFileInfo::exists(path(alive)));
        QVERIFY(QFileInfo::exists(path(other)));
    }
};

QTEST_GUILESS_MAIN(TestZaboFormatGuards)
#include "tst_zaboformat_guards.moc"
