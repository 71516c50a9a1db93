// zabo-format as users start it, where its scratch space runs full, where its profile is no file, and
// over CRLF sources. Every run here has a time limit: a run that hangs fails instead of blocking CI.
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "LineEnds.h"
#include "OptionCatalogue.h"
#include "SmallFileSystem.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int RunMilliseconds = 60000;
// The style "wide": it makes the untidy fixture about half as long again.
const QStringList WideOptions = {"-nut", "-i4", "-bli4"};

struct Invocation
{
    int exitCode = -1; // -1 when it did not end by itself in time
    QByteArray out;
    QByteArray err;
};

QByteArray describe(const Invocation &invocation)
{
    return "exit " + QByteArray::number(invocation.exitCode) + "\n--- stdout\n" + invocation.out.left(2000) +
           "\n--- stderr\n" + invocation.err.left(2000);
}

QByteArray fixture(const char *name)
{
    return readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
}

StyleRecord styleWith(const QString &name, const QList<const char *> &options)
{
    StyleFlags flags{};
    for (const char *option : options) {
        const int row = catalogueRowOf(option);
        Q_ASSERT(row >= 0);
        flags[row] = 1;
    }
    return makeStyleRecord(name, flags);
}

// The untidy fixture repeated to about bytes, each copy's names made its own.
QByteArray untidyText(qsizetype bytes)
{
    const QByteArray unit = fixture("untidy.c");
    QByteArray text;
    for (int copy = 0; text.size() < bytes; ++copy) {
        QByteArray renamed = unit;
        text += renamed.replace("count", "count" + QByteArray::number(copy))
                    .replace("main", "main" + QByteArray::number(copy));
    }
    return text;
}

} // namespace

class TestZaboFormatFullFs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_formatterHome;
    QString m_indent;
    std::unique_ptr<QTemporaryDir> m_work;
    QByteArray m_config;
    QProcessEnvironment m_environment;

    QString path(const QString &relative) const { return m_work->filePath(relative); }

    Invocation run(const QStringList &arguments) const
    {
        Invocation result;
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setWorkingDirectory(m_work->path());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(ZABO_FORMAT_PATH),
                      QStringList{QStringLiteral("--config"), QFile::decodeName(m_config)} + arguments);
        if (!process.waitForFinished(RunMilliseconds)) {
            process.kill();
            process.waitForFinished(-1);
            result.err = "did not end within the time limit";
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    // What indent itself makes of text with options, on a file system with room.
    QByteArray indentDirectly(const QByteArray &text, const QStringList &options) const
    {
        QTemporaryDir directory;
        writeAll(directory.filePath(QStringLiteral("x.c")), text);
        QProcess indent;
        indent.setStandardInputFile(QProcess::nullDevice());
        indent.start(m_indent, QStringList{directory.filePath(QStringLiteral("x.c")), "-npro"} + options);
        indent.waitForFinished(RunMilliseconds);
        return readAll(directory.filePath(QStringLiteral("x.c")));
    }

private slots:
    void initTestCase()
    {
        const FormatterDeployment deployment = DeployFormatter(m_formatterHome.path());
        QVERIFY2(deployment.ok, qPrintable(deployment.error));
        m_indent = deployment.formatterPath;
    }

    void init()
    {
        m_work = std::make_unique<QTemporaryDir>();
        QVector<StyleRecord> styles = builtInStyles();
        styles.append(styleWith(QStringLiteral("wide"), {"-nut", "-i4", "-bli4"}));
        QVERIFY(writeAll(path("styles.dat"), serializeStyleFile(styles, 4)));
        m_config = QFile::encodeName(path("styles.dat"));
        QVERIFY(QDir().mkpath(path("home")));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("HOME"), path("home"));
        m_environment.remove(QStringLiteral("INDENT_PROFILE"));
        m_environment.remove(QStringLiteral("DISPLAY"));
        m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        // the formatter goes beside the copies, below TMPDIR, as in a session without one
        m_environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    }

    void cleanup() { m_work.reset(); }

    // Repro A of the full-disk report: /dev/shm too small for the copies, so the scratch goes to a
    // TMPDIR with room for the copy but not for indent's longer text. indent exits 0 with the text cut
    // at a block boundary; zabo-format must say so and change nothing.
    void aScratchThatRunsFullChangesNothing_data()
    {
        QTest::addColumn<QStringList>("mode");
        QTest::newRow("--in-place") << QStringList{"--in-place"};
        QTest::newRow("--check --diff") << QStringList{"--check", "--diff"};
        QTest::newRow("--output") << QStringList{"--output", "out"};
    }

    void aScratchThatRunsFullChangesNothing()
    {
        QFETCH(QStringList, mode);
        if (!SmallFileSystem::hasPrivateMounts())
            QSKIP("no mount namespace of our own: /dev/shm cannot be replaced for this test alone");
        const SmallFileSystem shm(QStringLiteral("/dev/shm"), 1024 * 1024);
        QVERIFY(QDir().mkpath(path("tmp")));
        const SmallFileSystem scratch(path("tmp"), 612 * 1024);
        if (!shm.isMounted() || !scratch.isMounted())
            QSKIP("cannot mount a small tmpfs here");
        m_environment.insert(QStringLiteral("TMPDIR"), path("tmp"));

        const QByteArray original = untidyText(390870);
        const QByteArray formatted = indentDirectly(original, WideOptions);
        // indent rewrites the copy in place beside the deployed formatter: its text cannot fit
        QVERIFY(formatted.size() > scratch.freeBytes() - FormatterImage().size());
        QVERIFY(writeAll(path("x.c"), original));

        const Invocation run = this->run(QStringList{"--style", "wide"} + mode + QStringList{"x.c"});
        QVERIFY2(run.exitCode == 2, describe(run).constData());
        QVERIFY2(run.err.contains("x.c: not formatted:"), describe(run).constData());
        QVERIFY(!run.err.contains("reformatted"));
        QCOMPARE(readAll(path("x.c")), original);
        if (mode.contains(QStringLiteral("--diff")))
            QVERIFY2(!run.out.contains("@@"), run.out.left(500).constData()); // no diff that cuts the tail
        if (mode.contains(QStringLiteral("--output"))) {
            // an intact copy, as the window's job leaves one for a file indent failed on
            QCOMPARE(readAll(path("out/x.c")), original);
        }
        // the same file where the scratch has room is formatted whole
        m_environment.insert(QStringLiteral("TMPDIR"), m_work->path());
        const Invocation roomy = this->run({"--style", "wide", "--in-place", "x.c"});
        QVERIFY2(roomy.exitCode == 0, describe(roomy).constData());
        QCOMPARE(readAll(path("x.c")), formatted);
    }

    // --output onto a file system with room for some copies only: each one is whole or not there.
    void anOutputThatRunsFullKeepsNoCutCopy()
    {
        QVERIFY(QDir().mkpath(path("out")));
        const SmallFileSystem out(path("out"), 256 * 1024);
        if (!out.isMounted())
            QSKIP("cannot mount a small tmpfs here");
        QVERIFY(QDir().mkpath(path("src")));
        const QByteArray unit = untidyText(40 * 1024);
        for (int file = 0; file < 12; ++file)
            QVERIFY(writeAll(path(QStringLiteral("src/f%1.c").arg(file, 2, 10, QLatin1Char('0'))), unit));
        const QByteArray formatted = indentDirectly(unit, WideOptions);

        const Invocation run = this->run({"--style", "wide", "--output", "out/copies", "src"});
        QVERIFY2(run.exitCode == 2, describe(run).constData());
        QVERIFY2(run.err.contains("nothing of it was kept"), describe(run).constData());
        const QStringList written = QDir(path("out/copies")).entryList(QDir::Files);
        QVERIFY(!written.isEmpty() && written.size() < 12);
        for (const QString &name : written)
            QVERIFY2(readAll(path("out/copies/") + name) == formatted, qPrintable(name));
    }

    // indent leaves the "\r" of a CRLF line at the start of the next; a CRLF file comes out as its LF
    // twin would, with CRLF.
    void crLfFilesKeepTheirLineEnds()
    {
        const QByteArray source = withCrLf(fixture("untidy.c"));
        QVERIFY(writeAll(path("x.c"), source));
        const Invocation run = this->run({"--style", "wide", "--in-place", "x.c"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QCOMPARE(readAll(path("x.c")), withCrLf(indentDirectly(fixture("untidy.c"), WideOptions)));
        const Invocation check = this->run({"--style", "wide", "--check", "x.c"});
        QVERIFY2(check.exitCode == 0, describe(check).constData());
    }

    void profilesThatAreNoFileAreNamed_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO in the working directory") << "."
                                                       << "fifo";
        QTest::newRow("FIFO in HOME") << "home"
                                      << "fifo";
        QTest::newRow("link to /dev/zero in the working directory") << "."
                                                                    << "zero";
        QTest::newRow("link to /dev/zero in HOME") << "home"
                                                   << "zero";
    }

    // A .indent.pro that can be committed to a repository must never hang a CI job: a named style
    // reads no profile at all, and --style file names one that is no file.
    void profilesThatAreNoFileAreNamed()
    {
        QFETCH(QString, where);
        QFETCH(QString, kind);
        const QString profile = path(where + QStringLiteral("/.indent.pro"));
        const QByteArray profilePath = QFile::encodeName(profile);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(profilePath.constData(), 0644), 0);
        else
            QCOMPARE(::symlink("/dev/zero", profilePath.constData()), 0);
        QVERIFY(writeAll(path("x.c"), fixture("untidy.c")));
        const Invocation named = this->run({"--check", "x.c"});
        QVERIFY2(named.exitCode == 1, describe(named).constData());
        if (where != QLatin1String("."))
            return;
        for (const QStringList &mode : {QStringList{"--check"}, QStringList{"--in-place"}, QStringList()}) {
            const Invocation run = this->run(mode + QStringList{"--style", "file", "x.c"});
            QVERIFY2(run.exitCode == 2, describe(run).constData());
            QVERIFY2(run.err.contains(".indent.pro: not a regular file"), describe(run).constData());
            QCOMPARE(readAll(path("x.c")), fixture("untidy.c"));
        }
    }

    // "-st" in a profile made indent print the text and leave the copy, so --check found nothing.
    void aProfileCannotHideChanges()
    {
        QVERIFY(writeAll(path(".indent.pro"), "-st\n--standard-output -kr -i8\n"));
        QVERIFY(writeAll(path("x.c"), fixture("untidy.c")));
        const Invocation check = run({"--style", "file", "--check", "x.c"});
        QVERIFY2(check.exitCode == 1, describe(check).constData());
        QVERIFY(check.err.contains("would reformat x.c"));
        const Invocation shown = run({"--style", "file", "x.c"});
        QVERIFY2(shown.exitCode == 0, describe(shown).constData());
        QCOMPARE(shown.out, indentDirectly(fixture("untidy.c"), {"-kr", "-i8"}));
    }
};

QTEST_GUILESS_MAIN(TestZaboFormatFullFs)
#include "tst_zaboformat_fullfs.moc"
