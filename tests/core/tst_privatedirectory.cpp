#include "HangLimit.h"
#include "PrivateDirectory.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t NobodyUid = 65534;
const QByteArray Prefix = "zabo-test-";

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

struct stat linkStatus(const QByteArray &path)
{
    struct stat status = {};
    if (::lstat(path.constData(), &status) != 0)
        status.st_mode = 0;
    return status;
}

bool exists(const QByteArray &path)
{
    return linkStatus(path).st_mode != 0;
}

QStringList entriesOf(const QString &directory)
{
    QStringList names =
        QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class TestPrivateDirectory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch;

private slots:
    void theTemporaryDirectoryIsNeverTheRoot_data()
    {
        QTest::addColumn<QByteArray>("candidate");
        QTest::addColumn<bool>("taken"); // false: /tmp instead
        QTest::newRow("unset") << QByteArray() << false;
        QTest::newRow("a missing folder") << QByteArray("/nonexistent/zabo") << false;
        QTest::newRow("relative") << QByteArray("tmp") << false;
        QTest::newRow("the root") << QByteArray("/") << false;
        QTest::newRow("a file") << QByteArray("FILE") << false;
        QTest::newRow("a directory") << QByteArray("DIR") << true;
        QTest::newRow("a directory with a trailing slash") << QByteArray("DIR/") << true;
    }

    void theTemporaryDirectoryIsNeverTheRoot()
    {
        QFETCH(QByteArray, candidate);
        QFETCH(bool, taken);
        const QByteArray directory = native(m_scratch.path()) + "/dir";
        QVERIFY(QDir().mkpath(m_scratch.filePath("dir")));
        QVERIFY(writeAll(m_scratch.filePath("file"), "not a directory"));
        candidate.replace("DIR", directory).replace("FILE", native(m_scratch.filePath("file")));
        QCOMPARE(temporaryDirectory(candidate), taken ? directory : QByteArray("/tmp"));
    }

    void theRuntimeDirectoryCountsOnlyWhenPrivate_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<bool>("taken");
        QTest::newRow("private") << QByteArray("0700") << true;
        QTest::newRow("others may enter") << QByteArray("0755") << false;
        QTest::newRow("a link to a private directory") << QByteArray("link") << false;
        QTest::newRow("missing") << QByteArray("missing") << false;
        QTest::newRow("relative") << QByteArray("relative") << false;
        QTest::newRow("another user's") << QByteArray("foreign") << false;
    }

    void theRuntimeDirectoryCountsOnlyWhenPrivate()
    {
        QFETCH(QByteArray, kind);
        QFETCH(bool, taken);
        if (kind == "foreign" && ::geteuid() != 0)
            QSKIP("giving a directory to another user needs root");
        QTemporaryDir work;
        const QByteArray runtime = native(work.filePath("runtime"));
        const QByteArray temporary = native(work.filePath("tmp"));
        QVERIFY(::mkdir(temporary.constData(), 0700) == 0);
        QByteArray given = runtime;
        if (kind == "missing") {
        } else if (kind == "relative") {
            given = "runtime";
        } else if (kind == "link") {
            QVERIFY(::mkdir((runtime + "-real").constData(), 0700) == 0);
            QVERIFY(::symlink((runtime + "-real").constData(), runtime.constData()) == 0);
        } else {
            QVERIFY(::mkdir(runtime.constData(), kind == "0755" ? 0755 : 0700) == 0);
            QVERIFY(::chmod(runtime.constData(), kind == "0755" ? 0755 : 0700) == 0);
            if (kind == "foreign")
                QVERIFY(::chown(runtime.constData(), NobodyUid, NobodyUid) == 0);
        }
        QCOMPARE(privateTemporaryRoot(given, temporary), taken ? runtime : temporary);
    }

    // Made fresh and private; gone with everything in it, never through a link inside it.
    void aPrivateDirectoryIsFreshAndLeavesNothing()
    {
        QTemporaryDir base;
        const QString outside = base.filePath("outside");
        QVERIFY(writeAll(outside, "kept"));
        QByteArray path;
        {
            const PrivateDirectory directory(native(base.path()), Prefix);
            QVERIFY2(directory.isValid(), qPrintable(directory.errorString()));
            path = directory.nativePath();
            QVERIFY(path.startsWith(native(base.path()) + '/' + Prefix));
            QCOMPARE(path.size(), native(base.path()).size() + 1 + Prefix.size() + 6);
            const struct stat status = linkStatus(path);
            QVERIFY(S_ISDIR(status.st_mode));
            QCOMPARE(status.st_mode & 07777, mode_t(0700));
            QCOMPARE(status.st_uid, ::geteuid());

            QVERIFY(writeAll(directory.filePath("copy.c"), "int x;\n"));
            QVERIFY(QDir().mkpath(directory.filePath("sub/deeper")));
            QVERIFY(writeAll(directory.filePath("sub/deeper/y.c"), "int y;\n"));
            QVERIFY(QFile::link(outside, directory.filePath("link")));
            QVERIFY(QFile::link(base.path(), directory.filePath("sub/up")));
        }
        QVERIFY(!exists(path));
        QCOMPARE(entriesOf(base.path()), QStringList{"outside"});
        QCOMPARE(readAll(outside), QByteArray("kept"));
    }

    void anUnusableBaseIsAnErrorValue()
    {
        const PrivateDirectory none(QByteArray(), Prefix);
        QVERIFY(!none.isValid());
        QVERIFY(!none.errorString().isEmpty());
        const PrivateDirectory belowAFile(native(unwritablePath(m_scratch.path(), "tmp")), Prefix);
        QVERIFY(!belowAFile.isValid());
        QVERIFY(!belowAFile.errorString().isEmpty());
    }

    // What kill -9 left is removed by the next start; whatever a living process holds, whatever
    // belongs to another user and whatever only looks like ours stays.
    void whatADeadProcessLeftIsRemoved()
    {
        QTemporaryDir base;
        const QByteArray root = native(base.path());
        const QByteArray stale = root + '/' + Prefix + "stale1";
        QVERIFY(::mkdir(stale.constData(), 0700) == 0);
        QVERIFY(writeAll(QFile::decodeName(stale + "/copy.c"), "int x;\n"));
        QVERIFY(::mkdir((stale + "/sub").constData(), 0700) == 0);

        const QByteArray killed = root + '/' + Prefix + "killed";
        QVERIFY(::mkdir(killed.constData(), 0700) == 0);
        QProcess holder; // another process holding its directory, then killed
        holder.start("flock", {"--no-fork", QFile::decodeName(killed), "sleep", "600"});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute("flock", {"-n", QFile::decodeName(killed), "true"}) == 1,
                                 HangMilliseconds);

        const QByteArray held = root + '/' + Prefix + "heldnw";
        QVERIFY(::mkdir(held.constData(), 0700) == 0);
        QProcess living;
        living.start("flock", {"--no-fork", QFile::decodeName(held), "sleep", "600"});
        QVERIFY(living.waitForStarted());
        const auto endLiving = qScopeGuard([&] {
            living.kill();
            living.waitForFinished();
        });
        QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute("flock", {"-n", QFile::decodeName(held), "true"}) == 1,
                                 HangMilliseconds);
        const PrivateDirectory sameProcess(root, Prefix);
        QVERIFY(sameProcess.isValid());

        const QByteArray target = native(base.filePath("target"));
        QVERIFY(::mkdir(target.constData(), 0700) == 0);
        QVERIFY(writeAll(QFile::decodeName(target + "/precious.c"), "int p;\n"));
        const QByteArray link = root + '/' + Prefix + "linked";
        QVERIFY(::symlink(target.constData(), link.constData()) == 0);
        const QByteArray longer = root + '/' + Prefix + "longer1";
        QVERIFY(::mkdir(longer.constData(), 0700) == 0);
        const QByteArray other = root + "/zabo-else-stale1";
        QVERIFY(::mkdir(other.constData(), 0700) == 0);
        const QByteArray foreign = root + '/' + Prefix + "nobody";
        const bool asRoot = ::geteuid() == 0; // only root can give a directory away
        if (asRoot) {
            QVERIFY(::mkdir(foreign.constData(), 0700) == 0);
            QVERIFY(::chown(foreign.constData(), NobodyUid, NobodyUid) == 0);
        }

        holder.kill();
        QVERIFY(holder.waitForFinished());
        const PrivateDirectory next(root, Prefix);
        QVERIFY(next.isValid());

        QVERIFY(!exists(stale));
        QVERIFY(!exists(killed));
        QVERIFY(exists(held));
        QVERIFY(exists(sameProcess.nativePath()));
        QVERIFY(S_ISLNK(linkStatus(link).st_mode));
        QCOMPARE(readAll(QFile::decodeName(target + "/precious.c")), QByteArray("int p;\n"));
        QVERIFY(exists(longer));
        QVERIFY(exists(other));
        QCOMPARE(exists(foreign), asRoot);
    }

    // One mechanism for every program: any start removes what a killed run of any kind left below
    // every place they go, and only that.
    void aStartRemovesWhatAnyKindLeftEverywhere()
    {
        QTemporaryDir temporary;
        QTemporaryDir runtime;
        QVERIFY(
            QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray oldTemporary = qgetenv("TMPDIR");
        const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", native(temporary.path()));
        qputenv("XDG_RUNTIME_DIR", native(runtime.path()));
        const auto restore = qScopeGuard([&] {
            qputenv("TMPDIR", oldTemporary);
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
        });
        QStringList left;
        for (const QString &base : {temporary.path(), runtime.path()}) {
            for (const QByteArray &kind :
                 {ScratchPrefix::Formatter, ScratchPrefix::Preview, ScratchPrefix::Format,
                  ScratchPrefix::Infer, ScratchPrefix::Runtime}) {
                left << base + QLatin1Char('/') + QString::fromLatin1(kind) + QStringLiteral("abc123");
                QVERIFY(QDir().mkpath(left.last() + QStringLiteral("/sub")));
            }
        }
        const QString unlike = temporary.filePath(QStringLiteral("zabo-infer-toolong1"));
        QVERIFY(QDir().mkpath(unlike));
        QVERIFY(removeLeftoverScratch() >= left.size());
        for (const QString &path : left)
            QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
        QVERIFY(QFileInfo::exists(unlike));

        // and a directory made in a base sweeps it of every kind too
        const QString again = temporary.filePath(QStringLiteral("zabo-preview-xyz789"));
        QVERIFY(QDir().mkpath(again));
        const PrivateDirectory made(native(temporary.path()), ScratchPrefix::Format);
        QVERIFY(made.isValid());
        QVERIFY(!QFileInfo::exists(again));
    }

    void scratchCopiesGoToSharedMemoryWhenThereIsRoom()
    {
        struct stat status;
        if (::stat("/dev/shm", &status) != 0 || ::access("/dev/shm", W_OK | X_OK) != 0)
            QSKIP("no writable /dev/shm here");
        QCOMPARE(scratchBase(1), QByteArray("/dev/shm"));
        QCOMPARE(scratchBase(qint64(1) << 60), temporaryDirectory());
    }

    // Qt makes its runtime directory below the temporary path when the session names none: root's
    // would be /runtime-root with an unusable TMPDIR.
    void qtIsGivenAPrivateRuntimeDirectory()
    {
        QTemporaryDir temporary;
        const QByteArray oldTemporary = qgetenv("TMPDIR");
        const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] {
            qputenv("TMPDIR", oldTemporary);
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
        });
        const QByteArray mine = native(temporary.filePath(QStringLiteral("mine")));
        QVERIFY(::mkdir(mine.constData(), 0700) == 0);
        qputenv("XDG_RUNTIME_DIR", mine);
        QVERIFY(ensurePrivateRuntimeDirectory());
        QCOMPARE(qgetenv("XDG_RUNTIME_DIR"), mine); // a sound one stays

        for (const QByteArray &unsound : {QByteArray(), QByteArray("relative"), native(temporary.path())}) {
            qputenv("TMPDIR", native(temporary.path()));
            qputenv("XDG_RUNTIME_DIR", unsound); // the last: open to others (QTemporaryDir's 0700 widened)
            QVERIFY(::chmod(native(temporary.path()).constData(), 0755) == 0);
            QString error;
            QVERIFY2(ensurePrivateRuntimeDirectory(&error), qPrintable(error));
            const QByteArray given = qgetenv("XDG_RUNTIME_DIR");
            QVERIFY2(given.startsWith(native(temporary.path()) + "/" + ScratchPrefix::Runtime),
                     given.constData());
            const struct stat status = linkStatus(given);
            QVERIFY(S_ISDIR(status.st_mode));
            QCOMPARE(status.st_mode & 07777, mode_t(0700));
            QCOMPARE(status.st_uid, ::geteuid());
        }
    }
};

QTEST_GUILESS_MAIN(TestPrivateDirectory)
#include "tst_privatedirectory.moc"
