#include "ChildProcesses.h"
#include "FolderOpener.h"
#include "HangLimit.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

// The desktop shell's half of "open the output folder": a real xdg-open process, here a script on
// PATH that behaves like xdg-open with or without a file manager behind it.
class TestFolderOpener : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void theOpenerSaysWhetherTheFolderWasShown_data();
    void theOpenerSaysWhetherTheFolderWasShown();
    void anOpenerStillRunningIsEndedWithTheProgram();
    void busyUntilTheOpenerHasEnded_data();
    void busyUntilTheOpenerHasEnded();
    void anOpenerWaitingForItsFileManagerIsBusyNoLongerThanTheLimit();

private:
    // Puts an executable "xdg-open" with this shell body on the PATH the opener searches.
    void installOpener(const QByteArray &body);

    QByteArray m_path;
    QTemporaryDir m_bin;
    QTemporaryDir m_folder;
};

void TestFolderOpener::init()
{
    m_path = qgetenv("PATH");
    // the real xdg-open, if installed, is never found
    qputenv("PATH", QFile::encodeName(m_bin.path()));
}

void TestFolderOpener::cleanup()
{
    qputenv("PATH", m_path);
    QFile::remove(m_bin.filePath(QStringLiteral("xdg-open")));
    QCOMPARE(childProcessCount(), 0);
}

void TestFolderOpener::installOpener(const QByteArray &body)
{
    const QString opener = m_bin.filePath(QStringLiteral("xdg-open"));
    QVERIFY(writeAll(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.argument\"\n" + body + '\n'));
    QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestFolderOpener::theOpenerSaysWhetherTheFolderWasShown_data()
{
    QTest::addColumn<QByteArray>("opener"); // the script's body; empty: no xdg-open at all
    QTest::addColumn<QString>("failure");
    QTest::newRow("shown") << QByteArray("exit 0") << QString();
    QTest::newRow("no handler") << QByteArray("exit 3") << text("没有找到可以打开目录的程序");
    QTest::newRow("handler failed") << QByteArray("exit 4") << text("打开目录的程序运行失败");
    QTest::newRow("no such folder") << QByteArray("exit 2") << text("目录不存在");
    QTest::newRow("other status") << QByteArray("exit 9") << text("xdg-open 以状态 9 结束");
    QTest::newRow("crash") << QByteArray("kill -SEGV $$") << text("xdg-open 异常终止");
    QTest::newRow("no xdg-open") << QByteArray() << text("未找到 xdg-open");
}

void TestFolderOpener::theOpenerSaysWhetherTheFolderWasShown()
{
    QFETCH(QByteArray, opener);
    QFETCH(QString, failure);
    if (!opener.isEmpty())
        installOpener(opener);
    const QString folder = m_folder.filePath(text("整理 结果"));
    QVERIFY(QDir().mkpath(folder));

    FolderOpener shell;
    QStringList failures;
    shell.open(folder, [&](const QString &reason) { failures.append(reason); });
    // the call never waits for the shell; its answer comes once xdg-open has ended
    QTRY_VERIFY_WITH_TIMEOUT(shell.findChildren<QProcess *>().isEmpty(), HangMilliseconds);
    QCOMPARE(failures, failure.isEmpty() ? QStringList() : QStringList{failure});
    if (!opener.isEmpty())
        QCOMPARE(QFile::decodeName(readAll(m_bin.filePath(QStringLiteral("xdg-open.argument")))), folder);
}

void TestFolderOpener::anOpenerStillRunningIsEndedWithTheProgram()
{
    // xdg-open waits for the file manager it started, and the program ends first
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"), {"/usr/bin", "/bin"});
    QVERIFY(!sleep.isEmpty());
    installOpener("exec " + QFile::encodeName(sleep) + " 600");
    QStringList failures;
    {
        FolderOpener shell;
        shell.open(m_folder.path(), [&](const QString &reason) { failures.append(reason); });
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_bin.filePath(QStringLiteral("xdg-open.argument"))),
                                 HangMilliseconds);
        QCOMPARE(childProcessCount(), 1);
    }
    QCOMPARE(childProcessCount(), 0);
    QVERIFY(failures.isEmpty());
}

void TestFolderOpener::busyUntilTheOpenerHasEnded_data()
{
    QTest::addColumn<QByteArray>("opener");
    QTest::addColumn<QStringList>("events");
    const QString failed = text("没有找到可以打开目录的程序");
    // without a file manager xdg-open tries browsers for a while before it gives up
    QTest::newRow("fails slowly") << QByteArray("sleep 0.3; exit 3") << QStringList{"busy", "idle", failed};
    QTest::newRow("shown") << QByteArray("exit 0") << QStringList{"busy", "idle"};
    QTest::newRow("no xdg-open") << QByteArray() << QStringList{text("未找到 xdg-open")};
}

void TestFolderOpener::busyUntilTheOpenerHasEnded()
{
    QFETCH(QByteArray, opener);
    QFETCH(QStringList, events);
    if (!opener.isEmpty())
        installOpener(opener);
    FolderOpener shell;
    QStringList seen;
    connect(&shell, &FolderOpener::busyChanged, this,
            [&seen](bool busy) { seen.append(QLatin1String(busy ? "busy" : "idle")); });
    shell.open(m_folder.path(), [&seen](const QString &reason) { seen.append(reason); });
    QCOMPARE(seen, events.mid(0, 1)); // busy at once, before xdg-open has done anything
    // idle before the failure is told, so the message box does not show a busy cursor
    QTRY_COMPARE(seen, events);
}

void TestFolderOpener::anOpenerWaitingForItsFileManagerIsBusyNoLongerThanTheLimit()
{
    // xdg-open that runs the file manager and waits for it: the folder is shown, so the busy cursor goes
    // after the limit while the process lives on, and no failure is told
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"), {"/usr/bin", "/bin"});
    QVERIFY(!sleep.isEmpty());
    installOpener("exec " + QFile::encodeName(sleep) + " 600");
    FolderOpener shell;
    shell.setBusyLimit(200);
    QStringList seen;
    connect(&shell, &FolderOpener::busyChanged, this,
            [&seen](bool busy) { seen.append(QLatin1String(busy ? "busy" : "idle")); });
    shell.open(m_folder.path(), [&seen](const QString &reason) { seen.append(reason); });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_bin.filePath(QStringLiteral("xdg-open.argument"))),
                             HangMilliseconds);
    QTRY_COMPARE_WITH_TIMEOUT(seen, (QStringList{"busy", "idle"}), HangMilliseconds);
    QCOMPARE(childProcessCount(), 1);
}

QTEST_GUILESS_MAIN(TestFolderOpener)
#include "tst_folderopener.moc"
