#include "HangLimit.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The program ends cleanly on SIGTERM, SIGINT and SIGHUP, as when its window is closed: exit status 0,
// and no scratch directory of the preview left behind, whether the preview was opened or not.
class TestTermination : public QObject
{
    Q_OBJECT

private slots:
    void signalQuitsCleanly_data();
    void signalQuitsCleanly();
    void failedStartEndsAsAFailure_data();
    void failedStartEndsAsAFailure();
};

void TestTermination::signalQuitsCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("openPreview");
    QTest::newRow("SIGTERM, no preview") << int(SIGTERM) << false;
    QTest::newRow("SIGTERM, preview open") << int(SIGTERM) << true;
    QTest::newRow("SIGINT, preview open") << int(SIGINT) << true;
    QTest::newRow("SIGHUP, preview open") << int(SIGHUP) << true;
}

void TestTermination::signalQuitsCleanly()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, openPreview);
    QTemporaryDir program;
    QTemporaryDir home;
    QTemporaryDir temporary; // TMPDIR: where the preview's scratch directory goes
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR")); // else the scratch directory goes there
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(environment);
    QStringList arguments = {program.path(), home.filePath(QStringLiteral("config")),
                             home.filePath(QStringLiteral("documents")), temporary.path()};
    if (openPreview)
        arguments << QStringLiteral("preview");
    probe.start(QStringLiteral(ZABO_PROBE_PATH), arguments);
    QVERIFY(probe.waitForStarted());
    QByteArray output;
    while (!output.contains('\n') && probe.waitForReadyRead(HangMilliseconds))
        output += probe.readAllStandardOutput();
    QVERIFY2(output.startsWith("ready"), output.constData());
    const QString scratch = QString::fromLocal8Bit(output.mid(6).trimmed());
    QCOMPARE(QFileInfo(scratch).isDir(), openPreview);

    ::kill(pid_t(probe.processId()), signalNumber);
    QVERIFY(probe.waitForFinished(HangMilliseconds));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QDir(temporary.path()).entryList({QStringLiteral("zabo-preview-*")}, QDir::AllEntries),
             QStringList());
}

void TestTermination::failedStartEndsAsAFailure_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: the message is answered
    QTest::newRow("message answered") << 0;
    QTest::newRow("SIGTERM while the message is open") << int(SIGTERM);
    QTest::newRow("SIGINT while the message is open") << int(SIGINT);
}

// An installed copy whose configuration directory lies below a regular file (~/.config a file) cannot
// start: it says so, and ends with a failure status, also when a signal ends it meanwhile.
void TestTermination::failedStartEndsAsAFailure()
{
    QFETCH(int, signalNumber);
    QTemporaryDir home;
    QVERIFY(writeAll(home.filePath(QStringLiteral(".config")), "a file, not a directory"));
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(environment);
    QStringList arguments = {unwritablePath(home.path(), QStringLiteral("bin")),
                             home.filePath(QStringLiteral(".config/zabo")),
                             home.filePath(QStringLiteral("documents")), home.path()};
    if (signalNumber != 0)
        arguments << QStringLiteral("prompts");
    probe.start(QStringLiteral(ZABO_PROBE_PATH), arguments);
    QVERIFY(probe.waitForStarted());
    if (signalNumber != 0) {
        QByteArray output;
        while (!output.contains('\n') && probe.waitForReadyRead(HangMilliseconds))
            output += probe.readAllStandardOutput();
        QCOMPARE(output, QByteArray("shown\n"));
        ::kill(pid_t(probe.processId()), signalNumber);
    }
    QVERIFY(probe.waitForFinished(HangMilliseconds));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestTermination)
#include "tst_termination.moc"
