#include "CellTable.h"
#include "ChildProcesses.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "HangLimit.h"
#include "LineEnds.h"
#include "PreviewRunner.h"
#include "SmallFileSystem.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Outcome = PreviewResult::Outcome;

namespace {

QByteArray testData(const char *name)
{
    return readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
}

PreviewRequest request(const QByteArray &source, const QString &fileName, const QString &parameterText)
{
    PreviewRequest request;
    request.source = source;
    request.fileName = fileName;
    request.parameterText = parameterText;
    return request;
}

PreviewResult formatAndWait(PreviewRunner &runner, const PreviewRequest &request)
{
    QSignalSpy spy(&runner, &PreviewRunner::finished);
    const quint64 id = runner.format(request);
    if (!spy.wait(60000))
        return {};
    const auto result = spy.takeFirst().at(0).value<PreviewResult>();
    return result.id == id ? result : PreviewResult();
}

} // namespace

Q_DECLARE_METATYPE(PreviewResult)

class TestPreviewRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void previewEqualsJobOutput_data();
    void previewEqualsJobOutput();
    void burstEndsWithTheLatestStyle();
    void cancelKillsAndReportsNothing();
    void failures_data();
    void failures();
    void userFileIsReadWholeByItsBytes();
    void onlyRegularFilesWithinTheLimitAreRead_data();
    void onlyRegularFilesWithinTheLimitAreRead();
    void lineEndsAsAJobKeepsThem_data();
    void lineEndsAsAJobKeepsThem();
    void verboseStyleGivesTheJobsText();
    void profileThatIsNoFileIsNamed();
    void fullScratchCannotCutTheText();
    void copyNames_data();
    void copyNames();

private:
    QByteArray formatLikeAJob(const QByteArray &source, const QString &parameterText,
                              int *exitCode = nullptr);
    QByteArray formatDirectly(const QByteArray &source, const QString &parameterText);

    QTemporaryDir m_scratch;
    QString m_indent;
    int m_directoryCount = 0;
};

void TestPreviewRunner::initTestCase()
{
    qRegisterMetaType<PreviewResult>();
    QVERIFY(m_scratch.isValid());
    const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    m_indent = deployment.formatterPath;

    // No profile of the person running the tests may leak in.
    QVERIFY(isolateFromIndentSettings(m_scratch.path()));
    qunsetenv("FAKE_INDENT_MODE");
    QVERIFY(!previewSample().isEmpty());
}

void TestPreviewRunner::cleanup()
{
    qunsetenv("FAKE_INDENT_MODE");
    QTRY_COMPARE_WITH_TIMEOUT(childProcessCount(), 0, HangMilliseconds);
}

// What a job makes of the text: FormatterRunner over a copy, inside the copy's directory by a
// directory handle and a relative name, as the job hands it over.
QByteArray TestPreviewRunner::formatLikeAJob(const QByteArray &source, const QString &parameterText,
                                             int *exitCode)
{
    const QString directory = m_scratch.filePath(QStringLiteral("job%1").arg(++m_directoryCount));
    if (!QDir().mkpath(directory) || !writeAll(directory + QStringLiteral("/file.c"), source))
        return {};
    const int handle = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FormatterRequest request;
    request.formatterPath = m_indent;
    request.files = {QStringLiteral("file.c")};
    request.parameterText = parameterText;
    request.directoryDescriptor = handle;
    const FormatterRunResult result = FormatterRunner().run(request);
    ::close(handle);
    if (exitCode)
        *exitCode = result.runs.value(0).exitCode;
    return readAll(directory + QStringLiteral("/file.c"));
}

// indent <file> <options> in a scratch directory, no backups, nothing else in between.
QByteArray TestPreviewRunner::formatDirectly(const QByteArray &source, const QString &parameterText)
{
    const QString directory = m_scratch.filePath(QStringLiteral("direct%1").arg(++m_directoryCount));
    if (!QDir().mkpath(directory) || !writeAll(directory + QStringLiteral("/file.c"), source))
        return {};
    QProcess indent;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    indent.setProcessEnvironment(environment);
    indent.setWorkingDirectory(directory);
    indent.setStandardInputFile(QProcess::nullDevice());
    indent.start(m_indent, QStringList{QStringLiteral("file.c")} +
                               parameterText.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    indent.waitForFinished(HangMilliseconds);
    return readAll(directory + QStringLiteral("/file.c"));
}

void TestPreviewRunner::previewEqualsJobOutput_data()
{
    QTest::addColumn<QString>("parameterText");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("exitCode");

    const QVector<StyleRecord> builtIns = builtInStyles();
    const QList<QPair<QByteArray, QString>> styles = {
        {"gnu", ParameterTextOf(builtIns.at(0))},     {"kr", ParameterTextOf(builtIns.at(1))},
        {"orig", ParameterTextOf(builtIns.at(2))},    {"recommended", ParameterTextOf(builtIns.at(3))},
        {"-T before -ut", QStringLiteral("-T -ut ")}, {"-bl with -br", QStringLiteral("-bl -br ")},
    };
    const QList<QPair<QByteArray, QByteArray>> sources = {
        {"sample", previewSample()},
        {"tabs", testData("tabs.c")},
        {"unparsable", testData("unparsable.c")},
    };
    for (const auto &style : styles) {
        for (const auto &source : sources) {
            QTest::addRow("%s, %s", style.first.constData(), source.first.constData())
                << style.second << source.second << (source.first == "unparsable" ? 2 : 0);
        }
    }
}

void TestPreviewRunner::previewEqualsJobOutput()
{
    QFETCH(QString, parameterText);
    QFETCH(QByteArray, source);
    QFETCH(int, exitCode);
    QVERIFY(!source.isEmpty());

    PreviewRunner runner(m_indent);
    QSignalSpy diffs(&runner, &PreviewRunner::diffsReady);
    const QByteArray previous = source + "/* before */\n";
    const PreviewResult result =
        formatAndWait(runner, {source, QStringLiteral("file.c"), parameterText, previous, true});
    QVERIFY(result.id != 0);
    QVERIFY(result.sourceDiff.isEmpty()); // the text first, so that it shows at once
    // a small text's diffs follow at once, a big one's from a worker thread
    QTRY_VERIFY_WITH_TIMEOUT(!diffs.isEmpty(), HangMilliseconds);
    const auto diffed = diffs.takeFirst().at(0).value<PreviewResult>();
    QCOMPARE(diffed.id, result.id);
    QCOMPARE(diffed.formatted, result.formatted);
    QCOMPARE(result.outcome, Outcome::Finished);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.hasOutput());
    QCOMPARE(result.optionCount, int(formatterOptions(parameterText).size()));

    int jobExitCode = -1;
    QCOMPARE(result.formatted, formatLikeAJob(source, parameterText, &jobExitCode));
    QCOMPARE(jobExitCode, exitCode);
    QCOMPARE(result.formatted, formatDirectly(source, parameterText));
    QVERIFY(result.formatted != source);
    QCOMPARE(changedLineCount(diffed.sourceDiff), changedLineCount(diffLines(source, result.formatted)));
    QVERIFY(changedLineCount(diffed.sourceDiff) > 0);
    QCOMPARE(changedLineCount(diffed.previousDiff), changedLineCount(diffLines(previous, result.formatted)));
    if (exitCode == 2)
        QVERIFY(result.messages.contains("file.c:"));
}

void TestPreviewRunner::burstEndsWithTheLatestStyle()
{
    const QVector<StyleRecord> builtIns = builtInStyles();
    const QByteArray source = previewSample().repeated(20); // long enough to be killed mid-run
    PreviewRunner runner(m_indent);
    QSignalSpy spy(&runner, &PreviewRunner::finished);
    QSignalSpy diffs(&runner, &PreviewRunner::diffsReady);
    QString last;
    quint64 lastId = 0;
    for (int toggle = 0; toggle < 30; ++toggle) {
        last = ParameterTextOf(builtIns.at(toggle % builtIns.size())) +
               (toggle % 2 ? QStringLiteral("-i4 ") : QString());
        lastId = runner.format(request(source, QStringLiteral("burst.c"), last));
        // never more than the one current run alive
        QVERIFY(childProcessCount() <= 1);
        QTest::qWait(2);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty() && spy.last().at(0).value<PreviewResult>().id == lastId,
                             HangMilliseconds);
    QTest::qWait(50);
    const auto final = spy.last().at(0).value<PreviewResult>();
    QCOMPARE(final.request.parameterText, last);
    QCOMPARE(final.formatted, formatLikeAJob(source, last));
    // results arrive in request order and only for the request that was the latest at the time
    for (int i = 1; i < spy.size(); ++i)
        QVERIFY(spy.at(i - 1).at(0).value<PreviewResult>().id < spy.at(i).at(0).value<PreviewResult>().id);
    QVERIFY(!runner.isRunning());
    QCOMPARE(runner.processId(), 0);
    QCOMPARE(childProcessCount(), 0);
    // the diffs that arrive last are the final result's
    QTRY_VERIFY_WITH_TIMEOUT(!diffs.isEmpty() && diffs.last().at(0).value<PreviewResult>().id == lastId,
                             HangMilliseconds);
}

void TestPreviewRunner::cancelKillsAndReportsNothing()
{
    qputenv("FAKE_INDENT_MODE", "hang");
    PreviewRunner runner(QStringLiteral(FAKE_INDENT_PATH));
    QSignalSpy spy(&runner, &PreviewRunner::finished);
    runner.format(request("int x;\n", QStringLiteral("a.c"), QString()));
    QTRY_VERIFY_WITH_TIMEOUT(runner.processId() != 0, HangMilliseconds);
    QCOMPARE(childProcessCount(), 1);
    runner.cancel();
    QVERIFY(!runner.isRunning());
    QCOMPARE(childProcessCount(), 0);
    QTest::qWait(100);
    QVERIFY(spy.isEmpty());
}

void TestPreviewRunner::failures_data()
{
    QTest::addColumn<QString>("formatter");
    QTest::addColumn<QByteArray>("fakeMode");
    QTest::addColumn<QString>("parameterText");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");

    const QString fake = QStringLiteral(FAKE_INDENT_PATH);
    QTest::newRow("crash") << fake << QByteArray("crash") << QString() << int(Outcome::Crashed) << 0
                           << QByteArray();
    QTest::newRow("hang") << fake << QByteArray("hang") << QString() << int(Outcome::TimedOut) << 0
                          << QByteArray();
    QTest::newRow("fails") << fake << QByteArray("exit:4") << QString() << int(Outcome::Finished) << 4
                           << QByteArray("failed on file.c");
    QTest::newRow("missing") << m_scratch.filePath(QStringLiteral("no-such-indent")) << QByteArray()
                             << QString() << int(Outcome::FailedToStart) << 0 << QByteArray();
    QTest::newRow("-T last") << QString() << QByteArray() << QStringLiteral("-kr -T ")
                             << int(Outcome::Finished) << 1 << QByteArray("missing argument to parameter T");
}

void TestPreviewRunner::failures()
{
    QFETCH(QString, formatter);
    QFETCH(QByteArray, fakeMode);
    QFETCH(QString, parameterText);
    QFETCH(int, outcome);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);

    if (!fakeMode.isEmpty())
        qputenv("FAKE_INDENT_MODE", fakeMode);
    PreviewRunner runner(formatter.isEmpty() ? m_indent : formatter);
    // short only where the formatter hangs for real; a loaded machine may start any other one slowly
    if (fakeMode == "hang")
        runner.setTimeLimit(300);
    const PreviewResult result =
        formatAndWait(runner, request(previewSample(), QStringLiteral("file.c"), parameterText));
    QVERIFY(result.id != 0);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(!result.hasOutput());
    QVERIFY2(result.messages.contains(message), result.messages.constData());
    QVERIFY(!runner.isRunning());
    QCOMPARE(childProcessCount(), 0);

    // the runner recovers: the next request gets its result
    qunsetenv("FAKE_INDENT_MODE");
    PreviewRunner good(m_indent);
    QVERIFY(formatAndWait(good, request(previewSample(), QStringLiteral("file.c"), QStringLiteral("-kr ")))
                .hasOutput());
}

void TestPreviewRunner::userFileIsReadWholeByItsBytes()
{
    const QByteArray path = QFile::encodeName(m_scratch.path()) + "/caf\xe9 -\n'x'.c";
    const QByteArray content = previewSample() + QByteArray(1, '\0') + "\xff\xfe tail without line feed";
    const int descriptor = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    QVERIFY(descriptor >= 0);
    QCOMPARE(::write(descriptor, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(descriptor);

    const PreviewSourceFile file = readPreviewSource(path);
    QVERIFY2(file.ok, qPrintable(file.error));
    QCOMPARE(file.text, content);

    const PreviewSourceFile missing = readPreviewSource(path + ".gone");
    QVERIFY(!missing.ok);
    QVERIFY(!missing.error.isEmpty());
    const PreviewSourceFile directory = readPreviewSource(QFile::encodeName(m_scratch.path()));
    QVERIFY(!directory.ok);
    ::unlink(path.constData());
}

void TestPreviewRunner::onlyRegularFilesWithinTheLimitAreRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("problem");

    using Problem = PreviewSourceFile::Problem;
    QTest::newRow("FIFO") << "fifo" << int(Problem::NotRegular);
    QTest::newRow("/dev/zero") << "zero" << int(Problem::NotRegular);
    QTest::newRow("link to /dev/zero") << "zero link" << int(Problem::NotRegular);
    QTest::newRow("directory") << "directory" << int(Problem::NotRegular);
    QTest::newRow("one byte over the limit") << "over" << int(Problem::TooLarge);
    QTest::newRow("at the limit") << "limit" << int(Problem::None);
    QTest::newRow("missing") << "missing" << int(Problem::Failed);
}

void TestPreviewRunner::onlyRegularFilesWithinTheLimitAreRead()
{
    QFETCH(QString, kind);
    QFETCH(int, problem);

    const QTemporaryDir directory;
    QByteArray path = QFile::encodeName(directory.filePath(QStringLiteral("source.c")));
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(path.constData(), 0644), 0);
    } else if (kind == QLatin1String("zero")) {
        path = "/dev/zero";
    } else if (kind == QLatin1String("zero link")) {
        QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    } else if (kind == QLatin1String("directory")) {
        path = QFile::encodeName(directory.path());
    } else if (kind != QLatin1String("missing")) {
        const qint64 size = PreviewSourceFile::MaximumBytes + (kind == QLatin1String("over") ? 1 : 0);
        QVERIFY(writeAll(QFile::decodeName(path), QByteArray()));
        QCOMPARE(::truncate(path.constData(), size), 0);
    }
    const HangGuard guard("reading a preview source that is no regular file");
    const PreviewSourceFile file = readPreviewSource(path);
    QCOMPARE(int(file.problem), problem);
    QCOMPARE(file.ok, problem == int(PreviewSourceFile::Problem::None));
    QCOMPARE(file.error.isEmpty(), problem != int(PreviewSourceFile::Problem::Failed));
    if (file.ok)
        QCOMPARE(file.text.size(), PreviewSourceFile::MaximumBytes);
}

void TestPreviewRunner::lineEndsAsAJobKeepsThem_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<bool>("mixed");

    const QByteArray sample = previewSample();
    QByteArray mixed = sample;
    mixed.replace("{\n", "{\r\n");
    QTest::newRow("CRLF") << withCrLf(sample) << false;
    QTest::newRow("mixed") << mixed << true;
}

// A CRLF text is formatted as its LF twin and shown with CRLF, as a job writes it; a mixed one is
// formatted as it is and flagged.
void TestPreviewRunner::lineEndsAsAJobKeepsThem()
{
    QFETCH(QByteArray, source);
    QFETCH(bool, mixed);

    PreviewRunner runner(m_indent);
    const PreviewResult result =
        formatAndWait(runner, request(source, QStringLiteral("file.c"), QStringLiteral("-kr ")));
    QVERIFY(result.hasOutput());
    QCOMPARE(result.mixedLineEnds, mixed);
    QCOMPARE(result.formatted, formatLikeAJob(source, QStringLiteral("-kr ")));
    if (!mixed) {
        QCOMPARE(result.formatted, withCrLf(formatDirectly(withLineFeeds(source), QStringLiteral("-kr "))));
        QVERIFY(!withLineFeeds(result.formatted).contains('\r')); // no "\r" left at a line's start
    }
}

// "-v" would add indent's counts to standard output, where the preview takes its text from.
void TestPreviewRunner::verboseStyleGivesTheJobsText()
{
    PreviewRunner runner(m_indent);
    const QString style = QStringLiteral("-kr -v ");
    const PreviewResult result =
        formatAndWait(runner, request(previewSample(), QStringLiteral("file.c"), style));
    QVERIFY(result.hasOutput());
    QCOMPARE(result.formatted, formatLikeAJob(previewSample(), style));
    QVERIFY(!result.formatted.contains("There were"));
    // "-T -v": a type name, not the verbose switch
    const QString typeName = QStringLiteral("-kr -T -v ");
    QCOMPARE(formatAndWait(runner, request(previewSample(), QStringLiteral("file.c"), typeName)).formatted,
             formatLikeAJob(previewSample(), typeName));
}

void TestPreviewRunner::profileThatIsNoFileIsNamed()
{
    const QString home = qEnvironmentVariable("HOME");
    const QString profile = home + QStringLiteral("/.indent.pro");
    QCOMPARE(::mkfifo(QFile::encodeName(profile).constData(), 0644), 0);
    PreviewResult result;
    {
        const HangGuard guard("a preview with a FIFO as ~/.indent.pro");
        PreviewRunner runner(m_indent);
        result =
            formatAndWait(runner, request(previewSample(), QStringLiteral("file.c"), QStringLiteral("-kr ")));
    }
    QFile::remove(profile);
    QCOMPARE(result.outcome, Outcome::FailedToStart);
    QVERIFY2(result.errorString.contains(profile), qPrintable(result.errorString));
    QCOMPARE(childProcessCount(), 0);
}

// The preview's scratch on a file system with room for the copy but not for indent's text: the text
// comes through a pipe, whole.
void TestPreviewRunner::fullScratchCannotCutTheText()
{
    QByteArray deep;
    for (int line = 0; line < 1500; ++line)
        deep += "if(a){if(b){if(c){if(d){x=1;}}}}\n";
    const QByteArray source = "void f(void)\n{\n" + deep + "}\n";
    const QString style = QStringLiteral("-nut -i8 ");
    const QByteArray expected = formatLikeAJob(source, style);
    QVERIFY(expected.size() > 3 * source.size());

    const QString mountPoint = m_scratch.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(mountPoint));
    SmallFileSystem small(mountPoint, 2 * source.size());
    if (!small.isMounted())
        QSKIP("cannot mount a small tmpfs here");
    // the scratch directory is made by the first run, below XDG_RUNTIME_DIR or else TMPDIR
    const QProcessEnvironment before = QProcessEnvironment::systemEnvironment();
    qputenv("TMPDIR", QFile::encodeName(mountPoint));
    qunsetenv("XDG_RUNTIME_DIR");
    PreviewRunner runner(m_indent);
    const PreviewResult result = formatAndWait(runner, request(source, QStringLiteral("deep.c"), style));
    for (const char *name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        if (before.contains(QLatin1String(name)))
            qputenv(name, QFile::encodeName(before.value(QLatin1String(name))));
        else
            qunsetenv(name);
    }
    QVERIFY(runner.scratchDirectory().startsWith(mountPoint));
    QVERIFY(result.hasOutput());
    QCOMPARE(result.formatted, expected);
}

void TestPreviewRunner::copyNames_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QByteArray("/a/b/main.c") << QStringLiteral("main.c");
    QTest::newRow("utf-8") << QByteArray("/a/示例 文件.cpp") << QString::fromUtf8("示例 文件.cpp");
    QTest::newRow("dash") << QByteArray("/a/-bad.c") << QStringLiteral("-bad.c");
    QTest::newRow("latin-1") << QByteArray("/a/caf\xe9.h") << QStringLiteral("preview.h");
    QTest::newRow("latin-1 suffix") << QByteArray("/a/x.\xe9") << QStringLiteral("preview.c");
}

void TestPreviewRunner::copyNames()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, name);
    QCOMPARE(previewCopyName(path), name);
}

QTEST_GUILESS_MAIN(TestPreviewRunner)
#include "tst_previewrunner.moc"
