// zabo-format --infer run as the process a script starts, and its engine stopped from within.
#include "CellTable.h"
#include "ChildProcesses.h"
#include "FormatterDeployment.h"
#include "HangLimit.h"
#include "IndentProfile.h"
#include "InferCommand.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>

namespace {

struct Invocation
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray fixture(const char *name)
{
    return readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
}

QProcessEnvironment serverEnvironment(const QString &profile = QStringLiteral("/dev/null"))
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(variable));
    environment.insert(QStringLiteral("INDENT_PROFILE"), profile);
    return environment;
}

QByteArray describe(const Invocation &invocation)
{
    return "exit " + QByteArray::number(invocation.exitCode) + "\n--- stdout\n" + invocation.out +
           "\n--- stderr\n" + invocation.err;
}

} // namespace

class TestZaboFormatInfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_deployed.isValid());
        const FormatterDeployment deployment = DeployFormatter(m_deployed.path());
        QVERIFY2(deployment.ok, qPrintable(deployment.error));
        m_indent = deployment.formatterPath;
    }

    void init()
    {
        m_work.reset(new QTemporaryDir);
        QVERIFY(m_work->isValid());
    }

    void itPrintsTheStyleAFileIsInAndWhatItStillChanges()
    {
        const QByteArray text = formatWith(fixture("options_sample.c"), "-kr -nut -ncs");
        QVERIFY(writeAll(m_work->filePath("kr.c"), text));
        const Invocation run = infer({"--infer", "kr.c"});
        QVERIFY2(run.exitCode == 0, describe(run));
        const QList<QByteArray> lines = run.out.split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(formatWith(text, QString::fromUtf8(lines.at(0))), text);
        QVERIFY2(lines.at(1).startsWith("0 changed lines in 1 file (best built-in style \""), lines.at(1));
        QVERIFY2(run.err.isEmpty(), run.err);
    }

    void aUsersProfileTakesNoPartInTheStyleLearnt_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("a profile that would change every line") << false;
        QTest::newRow("a FIFO as the profile") << true;
    }

    void aUsersProfileTakesNoPartInTheStyleLearnt()
    {
        // the learnt style is written out as a profile of its own, where no other profile adds to it
        QFETCH(bool, fifo);
        const QString profile = m_work->filePath("user.pro");
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(profile).constData(), 0600), 0);
        else
            QVERIFY(writeAll(profile, "-i8 -bl -bli4 -ut -ts8\n"));
        const QByteArray text = formatWith(fixture("options_sample.c"), "-kr -nut -ncs");
        QVERIFY(writeAll(m_work->filePath("kr.c"), text));
        const Invocation run = infer({"--infer", "kr.c"}, profile);
        QVERIFY2(run.exitCode == 0, describe(run));
        QCOMPARE(formatWith(text, QString::fromUtf8(run.out.split('\n').at(0))), text);
        QVERIFY2(run.out.split('\n').at(1).startsWith("0 changed lines in 1 file"), describe(run));
    }

    void withPrintProfileItPrintsTheProposalAsAProfile()
    {
        QVERIFY(writeAll(m_work->filePath("a.c"), fixture("untidy.c")));
        const Invocation plain = infer({"--infer", "a.c"});
        const Invocation profile = infer({"--print-profile", "--infer", "a.c"});
        QVERIFY2(plain.exitCode == 0, describe(plain));
        QVERIFY2(profile.exitCode == 0, describe(profile));
        QVERIFY2(profile.out.startsWith(QString::fromUtf8("/* Zabo 风格：从代码推断，改动 ").toUtf8()),
                 profile.out);
        const CheckStates proposed = checkStatesFor(QString::fromUtf8(plain.out.split('\n').first()));
        QCOMPARE(parseIndentProfile(QString::fromUtf8(profile.out)).checks, proposed);
        // the score goes to standard error, where it does not spoil the profile
        QVERIFY2(profile.err.contains(plain.out.split('\n').at(1)), profile.err);
    }

    // the whole profile, saved where --style file finds it, changes exactly the lines it promised
    void theWholeProfileRoundTripsThroughStyleFile()
    {
        QVERIFY(QDir(m_work->path()).mkpath("tree/sub"));
        for (const char *name : {"enough.c", "sub/gzlog.c"}) {
            const QString file = QString::fromLatin1(name);
            QVERIFY(writeAll(m_work->filePath("tree/" + file),
                             readAll(QStringLiteral(ZABO_BENCH_DATA "/") + file.section(u'/', -1))));
        }
        const Invocation learnt = infer({"--infer", "--all-options", "--print-profile", "-r", "tree"});
        QVERIFY2(learnt.exitCode == 0, describe(learnt));
        QVERIFY2(
            learnt.out.startsWith(QString::fromUtf8("/* Zabo 风格：从代码推断（全部选项），改动 ").toUtf8()),
            learnt.out);
        const QRegularExpression score(
            QStringLiteral("(\\d+) changed lines in 2 files \\(catalogue rows: (\\d+); best built-in"));
        const QRegularExpressionMatch scored = score.match(QString::fromUtf8(learnt.err));
        QVERIFY2(scored.hasMatch(), learnt.err);
        const int promised = scored.captured(1).toInt();
        QVERIFY2(promised < scored.captured(2).toInt(), learnt.err);
        QVERIFY(writeAll(m_work->filePath("tree/.indent.pro"), learnt.out));

        const Invocation checked = infer({"--style", "file", "--check", "-r", "tree"});
        QVERIFY2(checked.exitCode == 1, describe(checked));
        QVERIFY2(checked.err.contains("2 of 2 files would be reformatted (profile tree/.indent.pro), " +
                                      QByteArray::number(promised) + " changed lines"),
                 describe(checked));
    }

    void aDirectoryStandsForItsSourcesAndRDescends()
    {
        QVERIFY(QDir(m_work->path()).mkpath("tree/sub"));
        QVERIFY(writeAll(m_work->filePath("tree/sub/a.c"), fixture("untidy.c")));
        const Invocation flat = infer({"--infer", "tree"});
        QCOMPARE(flat.exitCode, 2);
        QVERIFY2(flat.err.contains("tree: warning: no .c, .h, .cpp or .hpp file found (-r descends"),
                 flat.err);
        QVERIFY2(flat.err.contains("no source file to learn a style from"), flat.err);
        QVERIFY(flat.out.isEmpty());
        const Invocation deep = infer({"--infer", "-r", "tree"});
        QVERIFY2(deep.exitCode == 0, describe(deep));
    }

    void aFileIndentCannotParseIsNamedAndLeftOut_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("it ends inside a block") << QByteArray("unparsable.c") << QByteArray(":7: Error:");
        QTest::newRow("else else") << QByteArray("else_else.c") << QByteArray(":6: Error:Unmatched 'else'");
        QTest::newRow("a stray #endif")
            << QByteArray("stray_endif.c") << QByteArray(":3: Error:Unmatched #endif");
    }

    void aFileIndentCannotParseIsNamedAndLeftOut()
    {
        // indent's output for such a file follows its confusion, not a style: it would only mislead
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, error);
        QVERIFY(QDir(m_work->path()).mkpath("tree"));
        const QByteArray text = formatWith(fixture("options_sample.c"), "-kr -nut -ncs");
        QVERIFY(writeAll(m_work->filePath("tree/kr.c"), text));
        QVERIFY(writeAll(m_work->filePath("tree/" + QString::fromLatin1(name)), fixture(name.constData())));
        const Invocation run = infer({"--infer", "tree"});
        QVERIFY2(run.exitCode == 0, describe(run));
        QVERIFY2(run.out.split('\n').at(1).startsWith("0 changed lines in 1 file "), describe(run));
        QVERIFY2(run.err.contains("tree/" + name + error), run.err);
        QVERIFY2(run.err.contains("tree/" + name +
                                  ": warning: indent could not parse it cleanly; left out of what is learnt"),
                 run.err);

        // with nothing else to learn from, it is learnt from all the same, and said so
        const Invocation alone = infer({"--infer", "tree/" + name});
        QVERIFY2(alone.exitCode == 0, describe(alone));
        QVERIFY2(alone.out.split('\n').at(1).contains(" in 1 file"), describe(alone));
        QVERIFY2(alone.err.contains("tree/" + name +
                                    ": warning: indent could not parse it cleanly; learnt from "
                                    "all the same, as no file parsed cleanly"),
                 alone.err);
    }

    void badInputIsNamedWithStatusTwo_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("a missing file") << QList<QByteArray>{"--infer", "a.c", "missing.c"}
                                        << QByteArray("missing.c: No such file or directory");
        QTest::newRow("a pipe") << QList<QByteArray>{"--infer", "pipe.c"}
                                << QByteArray("pipe.c: warning: not a regular file, skipped");
        QTest::newRow("no path") << QList<QByteArray>{"--infer"} << QByteArray("no file or directory given");
        QTest::newRow("with a style") << QList<QByteArray>{"--infer", "--style", "GNU", "a.c"}
                                      << QByteArray("it takes no --style or --config");
        QTest::newRow("with another mode") << QList<QByteArray>{"--infer", "--check", "a.c"}
                                           << QByteArray("--infer and --check cannot be combined");
        QTest::newRow("all options without --infer") << QList<QByteArray>{"--all-options", "--check", "a.c"}
                                                     << QByteArray("--all-options goes with --infer");
    }

    void badInputIsNamedWithStatusTwo()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(QByteArray, said);
        QVERIFY(writeAll(m_work->filePath("a.c"), fixture("untidy.c")));
        QVERIFY(::mkfifo(QFile::encodeName(m_work->filePath("pipe.c")).constData(), 0600) == 0);
        const Invocation run = infer(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(said), describe(run));
        QVERIFY(run.out.isEmpty());
    }

    void anyTmpdirLeavesAPlaceToLearnIn_data()
    {
        QTest::addColumn<QString>("temporary");
        QTest::newRow("a missing directory") << QStringLiteral("/nonexistent/zabo");
        QTest::newRow("empty") << QString();
    }

    // TMPDIR naming no directory, and no session runtime directory: /tmp and /dev/shm are still there
    void anyTmpdirLeavesAPlaceToLearnIn()
    {
        QFETCH(QString, temporary);
        QVERIFY(writeAll(m_work->filePath("a.c"), fixture("untidy.c")));
        QProcessEnvironment environment = serverEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), temporary);
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_work->path());
        process.start(QStringLiteral(ZABO_FORMAT_PATH), {"--infer", "a.c"});
        QVERIFY(process.waitForFinished(HangMilliseconds));
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, err.constData());
        QVERIFY(process.readAllStandardOutput().contains("changed line"));
    }

    void anInterruptedRunEndsWithStatus130()
    {
        QVERIFY(writeAll(m_work->filePath("a.c"), fixture("options_sample.c")));
        // its formatter, put in place in a runtime directory of this test's own, says the search begins
        const QString runtime = m_work->filePath("runtime");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcessEnvironment environment = serverEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_work->path());
        process.start(QStringLiteral(ZABO_FORMAT_PATH), {"--infer", "a.c"});
        QVERIFY(process.waitForStarted());
        QVERIFY(
            QTest::qWaitFor([&] { return !QDir(runtime).entryList({"zabo-indent-*"}, QDir::Dirs).isEmpty(); },
                            HangMilliseconds));
        // a pid of 0 would signal this test's whole process group
        const qint64 pid = process.processId();
        QVERIFY2(pid > 0 && process.state() == QProcess::Running, process.readAllStandardError());
        ::kill(pid_t(pid), SIGINT);
        QVERIFY(process.waitForFinished(HangMilliseconds));
        QCOMPARE(process.exitCode(), 130);
        QVERIFY(process.readAllStandardError().contains("interrupted; nothing was learnt"));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    void aStoppedRunLeavesNoProcessAndNoScratchCopy()
    {
        QVERIFY(writeAll(m_work->filePath("a.c"), fixture("options_sample.c")));
        QTemporaryDir scratch;
        FormatSetup setup;
        setup.scratchBase = scratch.path();
        QElapsedTimer clock;
        clock.start();
        // as after a Ctrl-C half a second in
        setup.stopRequested = [&clock] { return clock.elapsed() > 500; };
        FormatOptions options;
        options.mode = FormatOptions::Mode::Infer;
        options.paths = {QFile::encodeName(m_work->filePath("a.c"))};
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        FormatStreams streams{out, err};
        QCOMPARE(runInferCommand(options, setup, streams), 130);
        QCOMPARE(childProcessCount(), 0);
        QCOMPARE(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(out.data().isEmpty());
    }

private:
    Invocation infer(const QList<QByteArray> &arguments,
                     const QString &profile = QStringLiteral("/dev/null")) const
    {
        QProcess process;
        process.setProcessEnvironment(serverEnvironment(profile));
        process.setWorkingDirectory(m_work->path());
        QStringList decoded;
        for (const QByteArray &argument : arguments)
            decoded.append(QString::fromLocal8Bit(argument));
        process.start(QStringLiteral(ZABO_FORMAT_PATH), decoded);
        Invocation result;
        // a run that blocks (a pipe read as a source) fails here instead of holding up the tests
        if (!process.waitForFinished(HangMilliseconds)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    // indent over a copy of text with parameterText, as the search runs it
    QByteArray formatWith(const QByteArray &text, const QString &parameterText) const
    {
        QTemporaryDir directory;
        if (!writeAll(directory.filePath("copy.c"), text))
            return {};
        QProcess indent;
        indent.setWorkingDirectory(directory.path());
        QProcessEnvironment environment = serverEnvironment();
        environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
        indent.setProcessEnvironment(environment);
        indent.start(m_indent, QStringList{"copy.c"} + parameterText.split(' ', Qt::SkipEmptyParts));
        if (!indent.waitForFinished(HangMilliseconds) || indent.exitCode() != 0)
            return {};
        return readAll(directory.filePath("copy.c"));
    }

    QTemporaryDir m_deployed;
    QString m_indent;
    std::unique_ptr<QTemporaryDir> m_work;
};

QTEST_GUILESS_MAIN(TestZaboFormatInfer)
#include "tst_zaboformat_infer.moc"
