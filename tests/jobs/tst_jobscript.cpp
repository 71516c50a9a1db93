#include "Descriptor.h"
#include "FormatterDeployment.h"
#include "JobScript.h"
#include "SmallFileSystem.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString Out = QStringLiteral("/p/FormatFile20160305-093007045");

JobScript smallJob()
{
    JobScript script;
    script.outputDirectory = Out;
    script.sources = {QStringLiteral("/src/a.c"), QStringLiteral("/src/b.h")};
    script.formatterPath = QStringLiteral("/tmp/zabo/indent");
    script.parameterText = QStringLiteral("-kr -i4 ");
    return script;
}

QByteArray scriptFor(const QString &directory, const QStringList &sources, const QString &formatter,
                     const QString &parameterText = QString())
{
    JobScript script;
    script.outputDirectory = directory;
    script.sources = sources;
    script.formatterPath = formatter;
    script.parameterText = parameterText;
    return buildJobScript(script);
}

// A tree: the top directory, src/ and src/util/, with copies into each.
JobScript treeJob()
{
    JobScript script = smallJob();
    script.subdirectories = {QStringLiteral("src"), QStringLiteral("src/util")};
    script.sources = {QStringLiteral("/t/a.c"), QStringLiteral("/t/src/b.c"),
                      QStringLiteral("/t/src/util/c.h")};
    script.targets = {QString(), QStringLiteral("src"), QStringLiteral("src/util")};
    return script;
}

} // namespace

class TestJobScript : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("FAKE_INDENT_MODE", "ok"); }

    void scriptBytesOfASmallJob()
    {
        QCOMPARE(buildJobScript(smallJob()),
                 QByteArray("mkdir \"/p/FormatFile20160305-093007045\"\n"
                            "copy \"/src/a.c\" \"/p/FormatFile20160305-093007045\"\n"
                            "copy \"/src/b.h\" \"/p/FormatFile20160305-093007045\"\n"
                            "\"/tmp/zabo/indent\" \"/p/FormatFile20160305-093007045/*.*\" -kr -i4 \n"));
    }

    void emptyParameterTextEndsTheFormatterLineInABlank()
    {
        JobScript script = smallJob();
        script.sources.clear();
        script.parameterText.clear();
        QCOMPARE(buildJobScript(script),
                 QByteArray("mkdir \"/p/FormatFile20160305-093007045\"\n"
                            "\"/tmp/zabo/indent\" \"/p/FormatFile20160305-093007045/*.*\" \n"));
    }

    void linesEndInALineFeedAlone()
    {
        const QByteArray bytes = buildJobScript(smallJob());
        QVERIFY(!bytes.contains('\r'));
        QVERIFY(!bytes.contains('\0'));
        QCOMPARE(bytes.count('\n'), 4);
        QVERIFY(bytes.endsWith("-i4 \n"));
    }

    void nonAsciiPathsAreWrittenInUtf8()
    {
        JobScript script = smallJob();
        script.outputDirectory = QString::fromUtf8("/home/用户/工具/FormatFile20160305-093007045");
        script.sources = {QString::fromUtf8("/home/用户/源码/主程序.c")};
        const QByteArray bytes = buildJobScript(script);
        QVERIFY(bytes.contains("copy \"/home/\xe7\x94\xa8\xe6\x88\xb7/\xe6\xba\x90\xe7\xa0\x81/"
                               "\xe4\xb8\xbb\xe7\xa8\x8b\xe5\xba\x8f.c\" \"/home/\xe7\x94\xa8\xe6\x88\xb7/"));
    }

    void outputDirectoryName_data()
    {
        QTest::addColumn<QString>("programDirectory");
        QTest::addColumn<QDateTime>("stamp");
        QTest::addColumn<QString>("expected");
        QTest::newRow("example") << "/tools/" << QDateTime(QDate(2016, 3, 5), QTime(9, 30, 7, 45))
                                 << "/tools/FormatFile20160305-093007045";
        QTest::newRow("end of a year") << "/tools/" << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999))
                                       << "/tools/FormatFile20231231-235959999";
        QTest::newRow("small numbers padded") << "/a b/" << QDateTime(QDate(987, 1, 2), QTime(0, 0, 0, 0))
                                              << "/a b/FormatFile09870102-000000000";
        QTest::newRow("separator added") << "/tools" << QDateTime(QDate(2016, 3, 5), QTime(9, 30, 7, 45))
                                         << "/tools/FormatFile20160305-093007045";
    }

    void outputDirectoryName()
    {
        QFETCH(QString, programDirectory);
        QFETCH(QDateTime, stamp);
        QFETCH(QString, expected);
        QCOMPARE(outputDirectoryPath(programDirectory, stamp), expected);
        QCOMPARE(jobScriptPath(programDirectory),
                 QStringLiteral("%1/cmd.bat").arg(QDir::cleanPath(programDirectory)));
    }

    void scriptSafeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain") << "/src/main.c" << true;
        QTest::newRow("blanks") << "/my src/a b.c" << true;
        QTest::newRow("non-ASCII") << QString::fromUtf8("/源码/文件.c") << true;
        QTest::newRow("shell syntax") << "/src/$(touch x);`y`|z&w>v.c" << true;
        QTest::newRow("single quote and backslash") << "/src/it's\\.c" << true;
        QTest::newRow("percent") << "/src/%PATH%.c" << true;
        QTest::newRow("double quote") << "/src/a\".c" << false;
        QTest::newRow("line feed") << "/src/a\n.c" << false;
        QTest::newRow("carriage return") << "/src/a\r.c" << false;
        QTest::newRow("tab") << "/src/a\t.c" << false;
        QTest::newRow("escape") << "/src/a\x1b[31m.c" << false;
        QTest::newRow("delete") << "/src/a\x7f.c" << false;
        QTest::newRow("next line") << QString(QStringLiteral("/src/a") + QChar(0x85) + QStringLiteral(".c"))
                                   << false;
        QTest::newRow("line separator")
            << QString(QStringLiteral("/src/a") + QChar(0x2028) + QStringLiteral(".c")) << false;
        QTest::newRow("undecodable bytes") << QFile::decodeName("/src/a\xff\xfe.c") << false;
        QTest::newRow("lone surrogate")
            << QString(QStringLiteral("/src/a") + QChar(0xd800) + QStringLiteral(".c")) << false;
    }

    void scriptSafeNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(isScriptSafeName(name), safe);
    }

    void parsingGivesBackWhatWasBuilt()
    {
        JobScript empty;
        empty.outputDirectory = Out;
        empty.formatterPath = QStringLiteral("/i");
        for (const JobScript &script : {smallJob(), empty, treeJob()}) {
            const ParsedJobScript parsed = parseJobScript(buildJobScript(script));
            QVERIFY(parsed.valid);
            QCOMPARE(parsed.script.outputDirectory, script.outputDirectory);
            QCOMPARE(parsed.script.sources, script.sources);
            QCOMPARE(parsed.script.subdirectories, script.subdirectories);
            for (int index = 0; index < script.sources.size(); ++index)
                QCOMPARE(parsed.script.targetOf(index), script.targetOf(index));
            QCOMPARE(parsed.script.formatterPath, script.formatterPath);
            QCOMPARE(parsed.script.parameterText, script.parameterText);
        }
    }

    void aTreeMakesItsDirectoriesFirstAndFormatsEach()
    {
        QCOMPARE(
            buildJobScript(treeJob()),
            QByteArray("mkdir \"/p/FormatFile20160305-093007045\"\n"
                       "mkdir \"/p/FormatFile20160305-093007045/src\"\n"
                       "mkdir \"/p/FormatFile20160305-093007045/src/util\"\n"
                       "copy \"/t/a.c\" \"/p/FormatFile20160305-093007045\"\n"
                       "copy \"/t/src/b.c\" \"/p/FormatFile20160305-093007045/src\"\n"
                       "copy \"/t/src/util/c.h\" \"/p/FormatFile20160305-093007045/src/util\"\n"
                       "\"/tmp/zabo/indent\" \"/p/FormatFile20160305-093007045/*.*\" -kr -i4 \n"
                       "\"/tmp/zabo/indent\" \"/p/FormatFile20160305-093007045/src/*.*\" -kr -i4 \n"
                       "\"/tmp/zabo/indent\" \"/p/FormatFile20160305-093007045/src/util/*.*\" -kr -i4 \n"));
    }

    void onlyTheThreeKindsOfLineAreAccepted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("invalidLine");
        const QByteArray mkdir = "mkdir \"/o\"\n";
        const QByteArray copy = "copy \"/s/a.c\" \"/o\"\n";
        const QByteArray run = "\"/i\" \"/o/*.*\" -kr \n";
        QTest::newRow("a shell command") << mkdir + "rm -rf /tmp/x\n" + copy + run << 2;
        QTest::newRow("an empty line") << mkdir + "\n" + run << 2;
        QTest::newRow("carriage returns") << QByteArray("mkdir \"/o\"\r\n") + run << 1;
        QTest::newRow("no final line feed") << mkdir + run.chopped(1) << 0;
        QTest::newRow("copy elsewhere") << mkdir + "copy \"/s/a.c\" \"/etc\"\n" + run << 2;
        QTest::newRow("format elsewhere") << mkdir + copy + "\"/i\" \"/etc/*.*\" \n" << 3;
        QTest::newRow("no mkdir first") << copy + mkdir + run << 1;
        QTest::newRow("formatter twice") << mkdir + run + run << 3;
        QTest::newRow("no formatter line") << mkdir + copy << 2;
        QTest::newRow("only mkdir") << mkdir << 1;
        QTest::newRow("quote in a path") << mkdir + "copy \"/s/a\"b.c\" \"/o\"\n" + run << 2;
        QTest::newRow("quote in the options") << mkdir + "\"/i\" \"/o/*.*\" -T \"x\"\n" << 2;
        QTest::newRow("not UTF-8") << mkdir + "copy \"/s/\xff.c\" \"/o\"\n" + run << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("subdirectory outside") << mkdir + "mkdir \"/etc/x\"\n" + run << 2;
        QTest::newRow("subdirectory climbing out") << mkdir + "mkdir \"/o/../etc\"\n" + run << 2;
        QTest::newRow("subdirectory before its parent") << mkdir + "mkdir \"/o/a/b\"\n" + run << 2;
        QTest::newRow("copy into an unmade subdirectory")
            << mkdir + "copy \"/s/a.c\" \"/o/sub\"\n" + run << 2;
        QTest::newRow("mkdir after a copy") << mkdir + copy + "mkdir \"/o/sub\"\n" + run << 3;
        QTest::newRow("subdirectory copies not formatted")
            << mkdir + "mkdir \"/o/sub\"\n" + "copy \"/s/a.c\" \"/o/sub\"\n" + run << 4;
        QTest::newRow("formatter lines that differ")
            << mkdir + "mkdir \"/o/sub\"\n" + run + "\"/i\" \"/o/sub/*.*\" -gnu \n"
            << 4;
    }

    void onlyTheThreeKindsOfLineAreAccepted()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, invalidLine);
        const ParsedJobScript parsed = parseJobScript(bytes);
        QVERIFY(!parsed.valid);
        QCOMPARE(parsed.invalidLineNumber, invalidLine);
    }

    void anInvalidScriptDoesNothing()
    {
        QTemporaryDir scratch;
        const QString out = scratch.filePath("out");
        writeAll(scratch.filePath("a.c"), "int a;\n");
        const QByteArray bytes = "mkdir \"" + out.toUtf8() + "\"\ncopy \"" +
                                 scratch.filePath("a.c").toUtf8() + "\" \"" + out.toUtf8() + "\"\ntouch \"" +
                                 scratch.filePath("x").toUtf8() + "\"\n";
        const JobScriptResult result = JobScriptRunner().run(bytes);
        QCOMPARE(result.stop, JobScriptResult::Stop::InvalidScript);
        QVERIFY(!result.problem.isEmpty());
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"a.c"});
    }

    void anExistingDirectoryIsNeverReused()
    {
        QTemporaryDir scratch;
        const QString out = scratch.filePath("out");
        QVERIFY(QDir().mkdir(out));
        writeAll(out + "/old.c~", "old");
        writeAll(scratch.filePath("a.c"), "int a;\n");
        const JobScriptResult result =
            JobScriptRunner().run(scriptFor(out, {scratch.filePath("a.c")}, FAKE_INDENT_PATH));
        QCOMPARE(result.stop, JobScriptResult::Stop::DirectoryNotMade);
        QVERIFY(!result.directoryMade);
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{"old.c~"});
    }

    void aDirectoryBelowAFileCannotBeMade()
    {
        QTemporaryDir scratch;
        const QString out = unwritablePath(scratch.path(), "out");
        const JobScriptResult result = JobScriptRunner().run(scriptFor(out, {}, FAKE_INDENT_PATH));
        QCOMPARE(result.stop, JobScriptResult::Stop::DirectoryNotMade);
        QVERIFY(!result.directoryMade);
    }

    void copiesAreMadeWritableAndSourcesStayAsTheyWere()
    {
        QTemporaryDir scratch;
        const QString source = scratch.filePath("ro.c");
        writeAll(source, "int  ro ;\n");
        QVERIFY(QFile::setPermissions(source, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const QString out = scratch.filePath("out");
        const JobScriptResult result = JobScriptRunner().run(scriptFor(out, {source}, FAKE_INDENT_PATH));
        QCOMPARE(result.stop, JobScriptResult::Stop::Completed);
        QCOMPARE(result.copied, QStringList{out + "/ro.c"});
        QVERIFY(QFile::permissions(out + "/ro.c") & QFileDevice::WriteOwner);
        QCOMPARE(readAll(out + "/ro.c"), QByteArray("int  ro ;\n"));
        // The user bits say what this process may do (root may do anything); the mode bits are what counts.
        const QFileDevice::Permissions modeBits =
            ~QFileDevice::Permissions(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QCOMPARE(QFile::permissions(source) & modeBits, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        QVERIFY(result.formatterStarted);
        QCOMPARE(result.filesToFormat, 1);
        QVERIFY(result.formatter.succeeded());
    }

    void whatCannotBeCopiedIsNamedAndTheRestGoesOn()
    {
        QTemporaryDir scratch;
        writeAll(scratch.filePath("a.c"), "int a;\n");
        QVERIFY(QDir().mkdir(scratch.filePath("x.c")));
        writeAll(scratch.filePath("x.c/inner.c"), "int inner;\n");
        QCOMPARE(::mkfifo(QFile::encodeName(scratch.filePath("fifo.c")).constData(), 0600), 0);
        const QStringList sources = {scratch.filePath("missing.c"), scratch.filePath("x.c"),
                                     scratch.filePath("fifo.c"), scratch.filePath("a.c")};
        const QString out = scratch.filePath("out");
        const JobScriptResult result = JobScriptRunner().run(scriptFor(out, sources, FAKE_INDENT_PATH));
        QCOMPARE(result.stop, JobScriptResult::Stop::Completed);
        QCOMPARE(result.copied, QStringList{out + "/a.c"});
        QCOMPARE(result.copyFailures.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(result.copyFailures.at(i).source, sources.at(i));
            QVERIFY(!result.copyFailures.at(i).reason.isEmpty());
        }
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"a.c"});
        QCOMPARE(result.filesToFormat, 1);
    }

    void namesAreNeverExecuted()
    {
        QTemporaryDir scratch;
        const QString trap = scratch.filePath("pwned");
        const QStringList names = {"$(touch " + trap + ").c", "a;touch " + trap + ";.c",
                                   "`touch " + trap + "`.c", "-rf.c", "*.c"};
        QStringList sources;
        QVERIFY(QDir().mkdir(scratch.filePath("src")));
        for (const QString &name : names) {
            const QString path = scratch.filePath("src/") + name.section(QLatin1Char('/'), -1);
            QVERIFY(writeAll(path, "int x;\n"));
            sources.append(path);
        }
        const QString out = scratch.filePath("out");
        const JobScriptResult result =
            JobScriptRunner().run(scriptFor(out, sources, FAKE_INDENT_PATH, "-kr "));
        QCOMPARE(result.copyFailures.size(), 0);
        QCOMPARE(result.copied.size(), names.size());
        QVERIFY(!QFileInfo::exists(trap));
    }

    void aSwappedDirectoryPathIsNeverFollowed()
    {
        QTemporaryDir scratch;
        const QString out = scratch.filePath("out");
        const QString elsewhere = scratch.filePath("elsewhere");
        QVERIFY(QDir().mkdir(elsewhere));
        QVERIFY(writeAll(elsewhere + "/a.c", "the user's own file\n"));
        QVERIFY(writeAll(elsewhere + "/notes.txt", "keep me\n"));
        QStringList sources;
        for (const char *name : {"a.c", "b.c"}) {
            QVERIFY(writeAll(scratch.filePath(name), "int  x ;\n"));
            sources.append(scratch.filePath(name));
        }
        qputenv("FAKE_INDENT_MODE", "cut-and-crash");
        bool swapped = false;
        // right after the directory is made and the first copy is in, its path becomes a link elsewhere
        const JobScriptResult result =
            JobScriptRunner().run(scriptFor(out, sources, FAKE_INDENT_PATH), [&](int, int) {
                if (!swapped) {
                    swapped = QDir().rename(out, scratch.filePath("moved")) && QFile::link(elsewhere, out);
                }
                return true;
            });
        QVERIFY(swapped);
        QCOMPARE(result.copied.size(), 2);
        QCOMPARE(readAll(elsewhere + "/a.c"), QByteArray("the user's own file\n"));
        QCOMPARE(QDir(elsewhere).entryList(QDir::Files, QDir::Name), (QStringList{"a.c", "notes.txt"}));
        // the crash cut the copies in the directory the job made, and they were put back there
        QCOMPARE(readAll(scratch.filePath("moved/a.c")), QByteArray("int  x ;\n"));
        QCOMPARE(readAll(scratch.filePath("moved/b.c")), QByteArray("int  x ;\n"));
        QCOMPARE(result.restored.size(), 2);
    }

    // Copies cut by a crashed formatter are put back from their sources: never from a folder that took
    // a source folder's place after the job had begun.
    void aCopyIsNeverRestoredFromWhatReplacedItsSource()
    {
        QTemporaryDir scratch;
        const QString tree = scratch.filePath("tree");
        const QString outside = scratch.filePath("outside");
        QVERIFY(QDir().mkpath(tree + "/zz") && QDir().mkpath(outside));
        QVERIFY(writeAll(tree + "/zz/x.c", "int  x ;\n"));
        QVERIFY(writeAll(outside + "/x.c", "int secret;\n"));
        JobScript script;
        script.outputDirectory = scratch.filePath("out");
        script.subdirectories = {"zz"};
        script.sources = {tree + "/zz/x.c"};
        script.targets = {"zz"};
        script.formatterPath = FAKE_INDENT_PATH;
        qputenv("FAKE_INDENT_MODE", "cut-and-crash");
        const auto restoreMode = qScopeGuard([] { qunsetenv("FAKE_INDENT_MODE"); });

        const Descriptor root(::open(QFile::encodeName(tree).constData(), O_RDONLY | O_DIRECTORY));
        JobScriptRunner runner;
        runner.setSourceDirectory(tree + "/", root.get());
        bool swapped = false;
        const JobScriptResult result = runner.run(buildJobScript(script), [&](int done, int) {
            if (done == 1 && !swapped) // the copy is in; the formatter has not started
                swapped = QDir().rename(tree + "/zz", scratch.filePath("zz-old")) &&
                          QFile::link(outside, tree + "/zz");
            return true;
        });
        QVERIFY(swapped);
        QCOMPARE(result.copied, QStringList{script.outputDirectory + "/zz/x.c"});
        QVERIFY(result.restored.isEmpty());
        QCOMPARE(result.restoreFailures.size(), 1);
        QCOMPARE(result.restoreFailures.first().source, tree + "/zz/x.c");
        QVERIFY(readAll(script.outputDirectory + "/zz/x.c") != "int secret;\n");
        QCOMPARE(readAll(outside + "/x.c"), QByteArray("int secret;\n"));
    }

    void notEnoughFreeSpaceStopsTheJobBeforeAnythingIsMade()
    {
        QTemporaryDir scratch;
        QVERIFY(writeAll(scratch.filePath("a.c"), QByteArray(100000, 'x')));
        JobScriptRunner runner;
        QString probed;
        runner.setFreeSpaceProbe([&](const QString &directory) {
            probed = directory;
            return JobScriptRunner::bytesNeeded(100000) - 1;
        });
        const QString out = scratch.filePath("out");
        const JobScriptResult result =
            runner.run(scriptFor(out, {scratch.filePath("a.c")}, FAKE_INDENT_PATH));
        QCOMPARE(result.stop, JobScriptResult::Stop::NoSpace);
        QCOMPARE(probed, scratch.path());
        QCOMPARE(result.bytesNeeded, JobScriptRunner::bytesNeeded(100000));
        QVERIFY(!result.directoryMade);
        QVERIFY(!QFileInfo::exists(out));
    }

    // indent exits 0 when its own writes fail; a file system that runs full while it writes must show.
    void aFileSystemThatRunsFullWhileFormattingIsDetected()
    {
        QTemporaryDir scratch;
        const QString mountPoint = scratch.filePath("small");
        QVERIFY(QDir().mkdir(mountPoint));
        // in a mount namespace of the test's own: a killed test leaks no mount
        const SmallFileSystem small(mountPoint, 1024 * 1024);
        if (!small.isMounted())
            QSKIP("cannot mount a small tmpfs here");

        // nested blocks that "-nut -i8" spreads over indented lines: each file grows several times
        QByteArray deep;
        for (int line = 0; line < 300; ++line)
            deep += "if(a){if(b){if(c){if(d){x=1;}}}}\n";
        const QByteArray source = "void f(void)\n{\n" + deep + "}\n";
        QStringList sources;
        for (int i = 0; i < 40; ++i) {
            sources.append(scratch.filePath(QStringLiteral("f%1.c").arg(i)));
            QVERIFY(writeAll(sources.last(), source));
        }
        const FormatterDeployment deployment = DeployFormatter(scratch.path());
        QVERIFY(deployment.ok);
        JobScriptRunner runner;
        runner.setFreeSpaceProbe([](const QString &) { return qint64(1) << 40; }); // let it start
        const QString out = mountPoint + "/out";
        const JobScriptResult result =
            runner.run(scriptFor(out, sources, deployment.formatterPath, "-npro -nut -i8 "));
        QCOMPARE(result.stop, JobScriptResult::Stop::Completed);
        QVERIFY(!result.incomplete.isEmpty());
        QVERIFY(result.filesFormatted() < 40);
        // what is left is formatted completely or an intact copy, or named as neither
        const QByteArray formatted = [&] {
            QTemporaryDir direct;
            writeAll(direct.filePath("f.c"), source);
            QProcess indent;
            indent.start(deployment.formatterPath, {direct.filePath("f.c"), "-npro", "-nut", "-i8"});
            indent.waitForFinished(-1);
            return readAll(direct.filePath("f.c"));
        }();
        QVERIFY(formatted.size() > 2 * source.size());
        QStringList unrestored;
        for (const CopyFailure &failure : result.restoreFailures)
            unrestored.append(QFileInfo(failure.source).fileName());
        int formattedCount = 0;
        for (int i = 0; i < 40; ++i) {
            const QString name = QStringLiteral("f%1.c").arg(i);
            const QByteArray made = readAll(out + "/" + name);
            QVERIFY2(made == formatted || made == source || unrestored.contains(name), qPrintable(name));
            formattedCount += made == formatted ? 1 : 0;
        }
        QCOMPARE(formattedCount, result.filesFormatted());
    }

    void cancellingBetweenCopiesStopsBeforeTheFormatter()
    {
        QTemporaryDir scratch;
        QStringList sources;
        for (const char *name : {"a.c", "b.c", "c.c"}) {
            writeAll(scratch.filePath(name), "int x;\n");
            sources.append(scratch.filePath(name));
        }
        QList<QPair<int, int>> updates;
        const JobScriptResult result = JobScriptRunner().run(
            scriptFor(scratch.filePath("out"), sources, FAKE_INDENT_PATH), [&](int done, int total) {
                updates.append({done, total});
                return updates.size() < 2;
            });
        QCOMPARE(result.stop, JobScriptResult::Stop::Cancelled);
        QCOMPARE(result.copied.size(), 2);
        QVERIFY(!result.formatterStarted);
        QCOMPARE(updates, (QList<QPair<int, int>>{{1, 6}, {2, 6}}));
    }
};

QTEST_GUILESS_MAIN(TestJobScript)
#include "tst_jobscript.moc"
