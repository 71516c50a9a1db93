// Every front end's private directories, left behind by a kill -9, are removed by the next start of any
// of them: the window (its preview and the formatter its jobs run), zabo-format and zabo-format --infer,
// each a real process killed at a moment it has said, or shown, that its directories are in use.
#include "HangLimit.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList ScratchNames = {QStringLiteral("zabo-indent-??????"), QStringLiteral("zabo-preview-??????"),
                                  QStringLiteral("zabo-format-??????"), QStringLiteral("zabo-infer-??????"),
                                  QStringLiteral("zabo-runtime-??????")};

// Whether a process holds the directory (its lock), as a living owner does.
bool isHeld(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

QStringList sourceFiles()
{
    const QDir data(QStringLiteral(ZABO_BENCH_DATA));
    QStringList files;
    for (const QString &name : data.entryList({QStringLiteral("*.c")}, QDir::Files, QDir::Name))
        files << data.filePath(name);
    return files;
}

} // namespace

class TestScratchCleanup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_runtime;   // XDG_RUNTIME_DIR, private as a session's is
    QString m_temporary; // TMPDIR
    QProcessEnvironment m_environment;

    QStringList bases() const { return {QStringLiteral("/dev/shm"), m_runtime, m_temporary}; }

    // The private directories below every base, by path.
    QStringList scratchDirectories() const
    {
        QStringList paths;
        for (const QString &base : bases()) {
            const QDir directory(base);
            for (const QString &name : directory.entryList(ScratchNames, QDir::Dirs | QDir::Hidden))
                paths << directory.filePath(name);
        }
        return paths;
    }

    bool startVictim(const QString &frontEnd, QProcess &victim, int *outputFd);
    bool runNextStart(const QString &frontEnd);

private slots:
    void initTestCase();
    void leftoversOfAKilledRunGoAtTheNextStart_data();
    void leftoversOfAKilledRunGoAtTheNextStart();
    void theWindowGivesQtAPrivateRuntimeDirectory_data();
    void theWindowGivesQtAPrivateRuntimeDirectory();
};

void TestScratchCleanup::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    m_runtime = m_scratch.filePath(QStringLiteral("runtime"));
    m_temporary = m_scratch.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(m_runtime) && QDir().mkpath(m_temporary));
    QVERIFY(QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(writeAll(m_scratch.filePath(QStringLiteral("sources.c")), [] {
        QByteArray text;
        for (int copy = 0; copy < 2; ++copy) {
            for (const QString &file : sourceFiles())
                text += readAll(file);
        }
        return text;
    }()));
    QVERIFY(QFileInfo(m_scratch.filePath(QStringLiteral("sources.c"))).size() > 128 * 1024);
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
    m_environment.insert(QStringLiteral("TMPDIR"), m_temporary);
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
}

// Starts the front end and returns once its private directories are in use.
bool TestScratchCleanup::startVictim(const QString &frontEnd, QProcess &victim, int *outputFd)
{
    victim.setProcessEnvironment(m_environment);
    victim.setWorkingDirectory(m_scratch.path());
    if (frontEnd.startsWith(QLatin1String("window"))) {
        const QString home = m_scratch.filePath(QStringLiteral("home"));
        QStringList arguments = {m_scratch.filePath(QStringLiteral("program")),
                                 home + QStringLiteral("/config"), home + QStringLiteral("/documents"),
                                 m_runtime};
        if (frontEnd == QLatin1String("window preview"))
            arguments << QStringLiteral("preview");
        QDir().mkpath(arguments.first());
        victim.start(QStringLiteral(ZABO_PROBE_PATH), arguments);
        QByteArray output;
        while (!output.contains('\n') && victim.waitForReadyRead(HangMilliseconds))
            output += victim.readAllStandardOutput();
        return output.startsWith("ready");
    }
    if (frontEnd == QLatin1String("zabo-format")) {
        // its output goes into a FIFO read only up to the first bytes: the run then waits, mid-delivery,
        // with its copies and its formatter in place, until it is killed
        const QString fifo = m_scratch.filePath(QStringLiteral("output"));
        QFile::remove(fifo);
        if (::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
            return false;
        *outputFd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        victim.setStandardInputFile(m_scratch.filePath(QStringLiteral("sources.c")));
        victim.setStandardOutputFile(fifo);
        victim.start(QStringLiteral(ZABO_FORMAT_PATH),
                     {QStringLiteral("--style"), QStringLiteral("GNU"), QStringLiteral("-")});
        pollfd readable = {*outputFd, POLLIN, 0};
        char first[512];
        return ::poll(&readable, 1, HangMilliseconds) == 1 && ::read(*outputFd, first, sizeof first) > 0;
    }
    // the search runs indent hundreds of times over the copies; its directory appearing is the sign
    victim.start(QStringLiteral(ZABO_FORMAT_PATH),
                 {QStringLiteral("--infer"), m_scratch.filePath(QStringLiteral("sources.c"))});
    return QTest::qWaitFor(
        [&] {
            const QStringList places = bases();
            return std::any_of(places.begin(), places.end(), [](const QString &base) {
                const QDir directory(base);
                for (const QString &name :
                     directory.entryList({QStringLiteral("zabo-infer-??????")}, QDir::Dirs)) {
                    if (QFileInfo::exists(directory.filePath(name) + QStringLiteral("/w0")) &&
                        isHeld(directory.filePath(name)))
                        return true;
                }
                return false;
            });
        },
        HangMilliseconds);
}

bool TestScratchCleanup::runNextStart(const QString &frontEnd)
{
    QProcess next;
    next.setProcessEnvironment(m_environment);
    next.setWorkingDirectory(m_scratch.path());
    if (frontEnd == QLatin1String("window")) {
        const QString home = m_scratch.filePath(QStringLiteral("home2"));
        const QString program = m_scratch.filePath(QStringLiteral("program2"));
        QDir().mkpath(program);
        next.start(QStringLiteral(ZABO_PROBE_PATH), {program, home + QStringLiteral("/config"),
                                                     home + QStringLiteral("/documents"), m_runtime});
        QByteArray output;
        while (!output.contains('\n') && next.waitForReadyRead(HangMilliseconds))
            output += next.readAllStandardOutput();
        ::kill(pid_t(next.processId()), SIGTERM);
        return output.startsWith("ready") && next.waitForFinished(HangMilliseconds) && next.exitCode() == 0;
    }
    next.start(QStringLiteral(ZABO_FORMAT_PATH),
               {QStringLiteral("--style"), QStringLiteral("GNU"), QStringLiteral("-")});
    next.write("int main(void){return 0;}\n");
    next.closeWriteChannel();
    return next.waitForFinished(HangMilliseconds) && next.exitStatus() == QProcess::NormalExit &&
           next.exitCode() == 0;
}

void TestScratchCleanup::leftoversOfAKilledRunGoAtTheNextStart_data()
{
    QTest::addColumn<QString>("killed");
    QTest::addColumn<QStringList>("kinds"); // what it must have left
    QTest::addColumn<QString>("next");
    const QStringList nextStarts = {QStringLiteral("zabo-format"), QStringLiteral("window")};
    for (const QString &next : nextStarts) {
        const auto row = [&](const char *killed, const QStringList &kinds) {
            QTest::addRow("%s killed, %s next", killed, qPrintable(next))
                << QString::fromLatin1(killed) << kinds << next;
        };
        row("window preview", {QStringLiteral("zabo-indent-"), QStringLiteral("zabo-preview-")});
        row("window jobs", {QStringLiteral("zabo-indent-")});
        row("zabo-format", {QStringLiteral("zabo-indent-"), QStringLiteral("zabo-format-")});
        row("--infer", {QStringLiteral("zabo-indent-"), QStringLiteral("zabo-infer-")});
    }
}

void TestScratchCleanup::leftoversOfAKilledRunGoAtTheNextStart()
{
    QFETCH(QString, killed);
    QFETCH(QStringList, kinds);
    QFETCH(QString, next);
    const QStringList before = scratchDirectories();

    QProcess victim;
    int outputFd = -1;
    const bool ready = startVictim(killed, victim, &outputFd);
    const QStringList during = scratchDirectories();
    ::kill(pid_t(victim.processId()), SIGKILL);
    QVERIFY(victim.waitForFinished(HangMilliseconds));
    if (outputFd >= 0)
        ::close(outputFd);
    QVERIFY2(ready, qPrintable(killed + QStringLiteral(" never showed its directories in use: ") +
                               QString::fromLocal8Bit(victim.readAllStandardError())));
    QCOMPARE(victim.exitStatus(), QProcess::CrashExit);

    // what the killed process held: new since it started (another program's directories in /dev/shm
    // may come and go meanwhile, and a test running beside this one may already have cleared them)
    QStringList held;
    for (const QString &path : during) {
        if (!before.contains(path))
            held << path;
    }
    for (const QString &kind : kinds) {
        QVERIFY2(
            std::any_of(held.begin(), held.end(),
                        [&](const QString &path) { return QFileInfo(path).fileName().startsWith(kind); }),
            qPrintable(kind + QStringLiteral(" not held: ") + held.join(QLatin1Char(' '))));
    }
    QStringList leftovers;
    for (const QString &path : held) {
        if (QFileInfo(path).isDir() && !isHeld(path))
            leftovers << path;
    }

    QVERIFY(runNextStart(next));
    for (const QString &path : leftovers)
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path + QStringLiteral(" is still there")));
}

void TestScratchCleanup::theWindowGivesQtAPrivateRuntimeDirectory_data()
{
    QTest::addColumn<QString>("temporary"); // TMPDIR
    QTest::newRow("a missing directory") << QStringLiteral("/nonexistent/zabo");
    QTest::newRow("empty") << QString();
    QTest::newRow("relative") << QStringLiteral("tmp");
}

// Without a session's XDG_RUNTIME_DIR, Qt would make its runtime directory below the temporary path,
// which an unusable TMPDIR turns into a directory at the root (/runtime-root) or a failure.
void TestScratchCleanup::theWindowGivesQtAPrivateRuntimeDirectory()
{
    QFETCH(QString, temporary);
    const QString rootRuntime =
        QStringLiteral("/runtime-") + qEnvironmentVariable("USER", QStringLiteral("root"));
    const bool rootRuntimeWasThere = QFileInfo::exists(rootRuntime);
    const QStringList before =
        QDir(QStringLiteral("/tmp")).entryList({QStringLiteral("zabo-runtime-*")}, QDir::Dirs);
    // a portable copy, whose style file written beside it says it is up
    QTemporaryDir program;
    const QString zabo = program.filePath(QStringLiteral("zabo"));
    QVERIFY(QFile::copy(QStringLiteral(ZABO_PATH), zabo));
    QProcessEnvironment environment = m_environment;
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    environment.insert(QStringLiteral("HOME"), m_scratch.filePath(QStringLiteral("home")));
    QProcess window;
    window.setProcessEnvironment(environment);
    window.setWorkingDirectory(m_scratch.path());
    window.start(zabo, {});
    QVERIFY(window.waitForStarted());
    const bool up = QTest::qWaitFor(
        [&] { return QFileInfo(program.filePath(QStringLiteral("Zabocfg.dat"))).size() == 1400; },
        HangMilliseconds);
    window.terminate();
    QVERIFY(window.waitForFinished(HangMilliseconds));
    const QString messages = QString::fromLocal8Bit(window.readAllStandardError());
    QVERIFY2(up, qPrintable(messages));
    QCOMPARE(window.exitStatus(), QProcess::NormalExit);
    QCOMPARE(window.exitCode(), 0);
    QVERIFY2(!messages.contains(QStringLiteral("runtime"), Qt::CaseInsensitive), qPrintable(messages));
    if (!rootRuntimeWasThere)
        QVERIFY(!QFileInfo::exists(rootRuntime));
    // the directory it made went with it
    for (const QString &name :
         QDir(QStringLiteral("/tmp")).entryList({QStringLiteral("zabo-runtime-*")}, QDir::Dirs))
        QVERIFY2(before.contains(name), qPrintable(name));
}

QTEST_GUILESS_MAIN(TestScratchCleanup)
#include "tst_scratchcleanup.moc"
