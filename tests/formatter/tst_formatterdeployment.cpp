#include "FormatterDeployment.h"
#include "HangLimit.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t NobodyUid = 65534;

struct stat linkStatus(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        status.st_mode = 0;
    return status;
}

bool makeForeign(const QString &path)
{
    return ::lchown(QFile::encodeName(path).constData(), NobodyUid, NobodyUid) == 0;
}

QStringList entriesOf(const QString &directory)
{
    QStringList names = QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// An executable that leaves a marker beside itself when anything runs it.
void writeTrap(const QString &path, const QString &marker)
{
    QVERIFY(writeAll(path, QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8()));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QByteArray runVersion(const QString &formatterPath)
{
    QProcess process;
    process.start(formatterPath, {QStringLiteral("--version")});
    if (!process.waitForFinished(HangMilliseconds) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return process.readAllStandardOutput();
}

} // namespace

class TestFormatterDeployment : public QObject
{
    Q_OBJECT

private slots:
    void deploysTheImageByteForByte();
    void nothingAnotherUserPlantedIsUsed();
    void unusableTemporaryDirectoriesFail_data();
    void unusableTemporaryDirectoriesFail();
    void shortWriteFailsAndLeavesNothing();
    void whatAKilledStartLeftIsRemoved();
};

void TestFormatterDeployment::deploysTheImageByteForByte()
{
    const QByteArray image = FormatterImage();
    QVERIFY(!image.isEmpty());
    QCOMPARE(image, readAll(QStringLiteral(INDENT_EXECUTABLE)));

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    const QFileInfo formatter(deployment.formatterPath);
    QCOMPARE(formatter.fileName(), QStringLiteral("indent"));
    QCOMPARE(formatter.dir().absolutePath(),
             QDir(temp.path()).absolutePath() + "/" + formatter.dir().dirName());
    QVERIFY(formatter.dir().dirName().startsWith("zabo-indent-"));
    QCOMPARE(readAll(deployment.formatterPath), image);

    const struct stat file = linkStatus(deployment.formatterPath);
    QVERIFY(S_ISREG(file.st_mode));
    QCOMPARE(file.st_mode & 07777, mode_t(0700));
    const struct stat directory = linkStatus(formatter.path());
    QVERIFY(S_ISDIR(directory.st_mode));
    QCOMPARE(directory.st_mode & 07777, mode_t(0700));
    QCOMPARE(directory.st_uid, ::geteuid());

    QVERIFY(runVersion(deployment.formatterPath).startsWith("GNU indent"));
    // Only the formatter itself: no temporary file left behind.
    QCOMPARE(entriesOf(formatter.path()), QStringList{QStringLiteral("indent")});

    // Each deployment has a directory of its own; the first one's formatter stays usable.
    const FormatterDeployment second = DeployFormatter(temp.path());
    QVERIFY2(second.ok, qPrintable(second.error));
    QVERIFY(second.formatterPath != deployment.formatterPath);
    QCOMPARE(readAll(deployment.formatterPath), image);
}

// Another local user can create any name in a shared temporary directory first: the directory the
// formatter used to go to (zabo-<uid>), or a link named like a deployment. Neither stops a start,
// and nothing in them is written or run.
void TestFormatterDeployment::nothingAnotherUserPlantedIsUsed()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString marker = temp.filePath(QStringLiteral("trap-ran"));
    const QString fixedName = temp.filePath(QStringLiteral("zabo-%1").arg(::geteuid()));
    QVERIFY(QDir().mkpath(fixedName));
    writeTrap(fixedName + QStringLiteral("/indent"), marker);
    const QString elsewhere = temp.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    writeTrap(elsewhere + QStringLiteral("/indent"), marker);
    const QByteArray trapBytes = readAll(elsewhere + QStringLiteral("/indent"));
    QVERIFY(QFile::link(elsewhere, temp.filePath(QStringLiteral("zabo-indent-AAAAAA"))));
    if (::geteuid() == 0) {
        QVERIFY(makeForeign(fixedName));
        QVERIFY(makeForeign(fixedName + QStringLiteral("/indent")));
    }

    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    QVERIFY(!deployment.formatterPath.startsWith(fixedName));
    QVERIFY(!deployment.formatterPath.contains(QStringLiteral("AAAAAA")));
    QVERIFY(runVersion(deployment.formatterPath).startsWith("GNU indent"));
    QCOMPARE(readAll(elsewhere + QStringLiteral("/indent")), trapBytes);
    QCOMPARE(readAll(fixedName + QStringLiteral("/indent")), trapBytes);
    QCOMPARE(entriesOf(elsewhere), QStringList{QStringLiteral("indent")});
    QVERIFY(QFileInfo(temp.filePath(QStringLiteral("zabo-indent-AAAAAA"))).isSymLink());
    QVERIFY(!QFileInfo::exists(marker));
}

void TestFormatterDeployment::unusableTemporaryDirectoriesFail_data()
{
    QTest::addColumn<QString>("tempDirectory");
    QTest::newRow("empty, as Qt reports a TMPDIR that names a missing folder") << QString();
    QTest::newRow("relative") << QStringLiteral("tmp");
    QTest::newRow("below a file") << QStringLiteral("BELOW-A-FILE");
}

void TestFormatterDeployment::unusableTemporaryDirectoriesFail()
{
    QFETCH(QString, tempDirectory);
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    if (tempDirectory == QLatin1String("BELOW-A-FILE"))
        tempDirectory = unwritablePath(temp.path(), QStringLiteral("tmp"));
    const QStringList rootBefore = entriesOf(QStringLiteral("/"));
    const QStringList workingBefore = entriesOf(QDir::currentPath());
    const FormatterDeployment deployment = DeployFormatter(tempDirectory);
    QVERIFY(!deployment.ok);
    QVERIFY(deployment.formatterPath.isEmpty());
    QVERIFY(!deployment.error.isEmpty());
    QCOMPARE(entriesOf(QStringLiteral("/")), rootBefore);
    QCOMPARE(entriesOf(QDir::currentPath()), workingBefore);
}

void TestFormatterDeployment::shortWriteFailsAndLeavesNothing()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());

    // The file size limit cuts the write short; the signal it raises would end the test otherwise.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit previousLimit = {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    struct rlimit smallLimit = previousLimit;
    smallLimit.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &smallLimit), 0);
    const FormatterDeployment deployment = DeployFormatter(temp.path());
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!deployment.ok);
    QVERIFY(!deployment.error.isEmpty());
    QCOMPARE(entriesOf(temp.path()), QStringList());
}

// A start killed with kill -9 leaves its directory; the next deployment removes it, and spares one
// that a living start holds.
void TestFormatterDeployment::whatAKilledStartLeftIsRemoved()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString left = temp.filePath(QStringLiteral("zabo-indent-x1y2z3"));
    QVERIFY(QDir().mkpath(left));
    QVERIFY(writeAll(left + QStringLiteral("/indent"), FormatterImage()));
    const FormatterDeployment living = DeployFormatter(temp.path());
    QVERIFY(living.ok);

    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    QVERIFY(!QFileInfo::exists(left));
    QVERIFY(QFileInfo(living.formatterPath).isExecutable());
}

QTEST_GUILESS_MAIN(TestFormatterDeployment)
#include "tst_formatterdeployment.moc"
