#include "Descriptor.h"
#include "JobSources.h"
#include "TestFiles.h"
#include "Watchdog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray contentOf(const Descriptor &fd)
{
    QByteArray bytes;
    int error = 0;
    return readWhole(fd.get(), &bytes, &error) ? bytes : QByteArray("(unreadable)");
}

} // namespace

// A tree below tree/: a.c, sub/b.c, sub/link.c (a link to a.c), sub/fifo.c, sub/dir.c/, and outside/
// beside it. Each row changes the world between the first opening and the second.
class TestJobSources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void openingFindsTheFileItFoundFirst_data();
    void openingFindsTheFileItFoundFirst();
    void withoutARootSourcesAreOpenedByPath();

private:
    std::unique_ptr<QTemporaryDir> m_scratch;
    QString m_tree;
    QString m_outside;
};

void TestJobSources::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_tree = m_scratch->filePath(QStringLiteral("tree"));
    m_outside = m_scratch->filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(m_tree + QStringLiteral("/sub/dir.c")) && QDir().mkpath(m_outside));
    QVERIFY(writeAll(m_tree + QStringLiteral("/a.c"), "a\n"));
    QVERIFY(writeAll(m_tree + QStringLiteral("/sub/b.c"), "b\n"));
    QVERIFY(QFile::link(QStringLiteral("../a.c"), m_tree + QStringLiteral("/sub/link.c")));
    QVERIFY(::mkfifo(QFile::encodeName(m_tree + QStringLiteral("/sub/fifo.c")).constData(), 0600) == 0);
    QVERIFY(writeAll(m_outside + QStringLiteral("/b.c"), "outside\n"));
}

void TestJobSources::openingFindsTheFileItFoundFirst_data()
{
    QTest::addColumn<QString>("source");     // below the tree
    QTest::addColumn<QString>("change");     // what happens after the first opening
    QTest::addColumn<QByteArray>("content"); // read at the second opening; empty when refused
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("replaced");
    const QString replacedFolder = text("所在的目录已被替换（例如换成了指向别处的链接）");
    const QString replacedFile = text("开始整理后已被替换为另一个文件");
    QTest::newRow("unchanged") << "sub/b.c"
                               << "" << QByteArray("b\n") << "" << false;
    QTest::newRow("a link to a file") << "sub/link.c"
                                      << "" << QByteArray("a\n") << "" << false;
    QTest::newRow("rewritten in place") << "sub/b.c"
                                        << "rewrite" << QByteArray("new\n") << "" << false;
    QTest::newRow("folder became a link") << "sub/b.c"
                                          << "folder link" << QByteArray() << replacedFolder << true;
    QTest::newRow("folder became a file") << "sub/b.c"
                                          << "folder file" << QByteArray() << replacedFolder << true;
    QTest::newRow("folder moved in") << "sub/b.c"
                                     << "folder moved in" << QByteArray() << replacedFile << true;
    QTest::newRow("file became a link") << "sub/b.c"
                                        << "file link" << QByteArray() << replacedFile << true;
    QTest::newRow("file removed") << "sub/b.c"
                                  << "remove" << QByteArray() << text("文件不存在") << false;
    QTest::newRow("FIFO") << "sub/fifo.c"
                          << "" << QByteArray() << text("不是普通文件") << false;
    QTest::newRow("directory") << "sub/dir.c"
                               << "" << QByteArray() << text("这是一个目录，不是文件") << false;
}

void TestJobSources::openingFindsTheFileItFoundFirst()
{
    QFETCH(QString, source);
    QFETCH(QString, change);
    QFETCH(QByteArray, content);
    QFETCH(QString, failure);
    QFETCH(bool, replaced);
    const Descriptor root(::open(QFile::encodeName(m_tree).constData(), O_RDONLY | O_DIRECTORY));
    JobSources sources(m_tree + QLatin1Char('/'), root.get());
    const QString path = m_tree + QLatin1Char('/') + source;
    const Watchdog watchdog("opening a source", 30);
    sources.open(path);
    sources.closeFolder();

    const QString sub = m_tree + QStringLiteral("/sub");
    const QString moved = m_scratch->filePath(QStringLiteral("moved"));
    if (change == QLatin1String("rewrite"))
        QVERIFY(writeAll(path, "new\n"));
    else if (change == QLatin1String("folder link"))
        QVERIFY(QDir().rename(sub, moved) && QFile::link(m_outside, sub));
    else if (change == QLatin1String("folder file"))
        QVERIFY(QDir().rename(sub, moved) && writeAll(sub, "x"));
    else if (change == QLatin1String("folder moved in"))
        QVERIFY(QDir().rename(sub, moved) && QDir().rename(m_outside, sub));
    else if (change == QLatin1String("file link"))
        QVERIFY(QFile::remove(path) && QFile::link(m_outside + QStringLiteral("/b.c"), path));
    else if (change == QLatin1String("remove"))
        QVERIFY(QFile::remove(path));

    const JobSources::Opened opened = sources.open(path);
    QCOMPARE(opened.failure, failure);
    QCOMPARE(opened.replaced, replaced);
    QCOMPARE(opened.fd.get() >= 0, failure.isEmpty());
    if (failure.isEmpty()) {
        QCOMPARE(contentOf(opened.fd), content);
        QCOMPARE(opened.size, qint64(content.size()));
    }
}

void TestJobSources::withoutARootSourcesAreOpenedByPath()
{
    JobSources sources;
    const QString path = m_tree + QStringLiteral("/sub/b.c");
    QCOMPARE(contentOf(sources.open(path).fd), QByteArray("b\n"));
    QVERIFY(QFile::remove(path) && QFile::link(m_outside + QStringLiteral("/b.c"), path));
    const JobSources::Opened opened = sources.open(path);
    QVERIFY(opened.replaced);
    QVERIFY(opened.fd.get() < 0);
}

QTEST_GUILESS_MAIN(TestJobSources)
#include "tst_jobsources.moc"
