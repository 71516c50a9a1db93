#include "InferenceInput.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray local(const QString &path)
{
    return QFile::encodeName(path);
}

QStringList pathsOf(const InferenceInput &input, const QString &root)
{
    QStringList paths;
    for (const SourceText &source : input.files)
        paths.append(QFile::decodeName(source.path).mid(root.size() + 1));
    return paths;
}

} // namespace

// Which files a style is learnt from, read how: the paths a person gives, by the rules of the jobs.
class TestInferenceInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void aDirectoryStandsForItsSourcesAndRecursionForItsTree_data()
    {
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("the directory itself") << false << QStringList{"src/a.c", "src/b.h"};
        QTest::newRow("its tree") << true << QStringList{"src/a.c", "src/b.h", "src/sub/c.cpp"};
    }

    void aDirectoryStandsForItsSourcesAndRecursionForItsTree()
    {
        QFETCH(bool, recursive);
        QFETCH(QStringList, expected);
        const QString root = m_dir->path();
        QVERIFY(QDir(root).mkpath("src/sub") && QDir(root).mkpath("src/.git"));
        for (const char *name : {"src/a.c", "src/b.h", "src/notes.txt", "src/sub/c.cpp", "src/.git/d.c"})
            QVERIFY(writeAll(root + '/' + name, "int x;\n"));
        const InferenceInput input = collectInferenceInput({local(root + "/src")}, recursive);
        QCOMPARE(pathsOf(input, root), expected);
        QVERIFY(input.problems.isEmpty());
        QCOMPARE(input.filesFound, expected.size());
        QVERIFY(!input.sampled);
    }

    void aFileIsTakenWhateverItsNameAndOnlyOnce()
    {
        const QString root = m_dir->path();
        QVERIFY(writeAll(root + "/style.txt", "int y;\n"));
        QVERIFY(writeAll(root + "/a.c", "int x;\n"));
        const InferenceInput input =
            collectInferenceInput({local(root + "/style.txt"), local(root), local(root + "/a.c")}, false);
        QCOMPARE(pathsOf(input, root), (QStringList{"style.txt", "a.c"}));
    }

    void whatCannotBeReadIsNamedAndLeftOut()
    {
        const QString root = m_dir->path();
        QVERIFY(writeAll(root + "/good.c", "int x;\n"));
        QVERIFY(::mkfifo(local(root + "/pipe.c").constData(), 0600) == 0);
        QVERIFY(QDir(root).mkdir("empty"));
        QVERIFY(QFile::link(root + "/nowhere.c", root + "/dangling.c"));
        // a file whose size alone says it is no source; never read
        QFile huge(root + "/huge.c");
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(MaximumSourceBytes + 1));
        huge.close();

        InferenceInput input;
        // a FIFO must be refused, not waited on: fail rather than hang
        QThread *collecting = QThread::create([&] {
            input = collectInferenceInput({local(root + "/good.c"), local(root + "/pipe.c"),
                                           local(root + "/missing.c"), local(root + "/empty"),
                                           local(root + "/dangling.c"), local(root + "/huge.c")},
                                          false);
        });
        collecting->start();
        const bool finished = collecting->wait(10000);
        if (!finished) {
            collecting->terminate();
            collecting->wait();
        }
        delete collecting;
        QVERIFY2(finished, "collecting the sources blocked");

        QCOMPARE(pathsOf(input, root), QStringList{"good.c"});
        QVector<InputProblem::Kind> kinds;
        QStringList named;
        for (const InputProblem &problem : input.problems) {
            kinds.append(problem.kind);
            named.append(QFile::decodeName(problem.path).mid(root.size() + 1));
        }
        using Kind = InputProblem::Kind;
        QCOMPARE(kinds, (QVector<Kind>{Kind::NotRegularFile, Kind::Missing, Kind::NoSourceFiles,
                                       Kind::NotRegularFile, Kind::TooLarge}));
        QCOMPARE(named, (QStringList{"pipe.c", "missing.c", "empty", "dangling.c", "huge.c"}));
    }

    void crlfLinesAreLearntAsIndentSeesTheirLfTwin_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("learnt");
        QTest::addColumn<bool>("converted");
        QTest::newRow("every line CRLF")
            << QByteArray("int a;\r\nint b;\r\n") << QByteArray("int a;\nint b;\n") << true;
        QTest::newRow("mixed line ends")
            << QByteArray("int a;\r\nint b;\n") << QByteArray("int a;\r\nint b;\n") << false;
        QTest::newRow("LF") << QByteArray("int a;\n") << QByteArray("int a;\n") << false;
        QTest::newRow("a lone carriage return") << QByteArray("int a;\r") << QByteArray("int a;\r") << false;
    }

    void crlfLinesAreLearntAsIndentSeesTheirLfTwin()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, learnt);
        QFETCH(bool, converted);
        QVERIFY(writeAll(m_dir->filePath("a.c"), text));
        const InferenceInput input = collectInferenceInput({local(m_dir->filePath("a.c"))}, false);
        QCOMPARE(input.files.size(), 1);
        QCOMPARE(input.files.first().text, learnt);
        QCOMPARE(input.files.first().crlf, converted);
    }

    void aLargeTreeIsLearntFromAnEvenSpreadOfItsFiles()
    {
        const QString root = m_dir->path();
        for (int index = 0; index < 40; ++index)
            QVERIFY(writeAll(root + QStringLiteral("/f%1.c").arg(index, 2, 10, QLatin1Char('0')),
                             QByteArray(1000, 'x') + '\n'));
        const InferenceInput input = collectInferenceInput({local(root)}, false, 10 * 1001);
        QVERIFY(input.sampled);
        QCOMPARE(input.filesFound, 40);
        const QStringList chosen = pathsOf(input, root);
        QCOMPARE(chosen.size(), 10);
        // spread over the whole tree, not its first files
        QVERIFY(chosen.first() < "f05.c");
        QVERIFY(chosen.last() > "f34.c");
        QCOMPARE(pathsOf(collectInferenceInput({local(root)}, false, 10 * 1001), root), chosen);
        // a single file larger than the share is read all the same
        const InferenceInput one = collectInferenceInput({local(root + "/f00.c")}, false, 10);
        QCOMPARE(one.files.size(), 1);
        QVERIFY(!one.sampled);
    }

    void theLargeFilesThatHoldMostOfTheCodeAreSampledToo()
    {
        // eight large files hold more than half the bytes among sixty small ones
        const QString root = m_dir->path();
        QStringList large;
        for (int index = 0; index < 68; ++index) {
            const bool isLarge = index % 8 == 3;
            const QString name = QStringLiteral("f%1.c").arg(index, 2, 10, QLatin1Char('0'));
            if (isLarge)
                large.append(name);
            QVERIFY(writeAll(root + '/' + name, QByteArray(isLarge ? 8999 : 999, 'x') + '\n'));
        }
        const qint64 budget = 32000;
        const InferenceInput input = collectInferenceInput({local(root)}, false, budget);
        QVERIFY(input.sampled);
        const QStringList chosen = pathsOf(input, root);
        qint64 bytes = 0;
        int largeChosen = 0;
        for (const SourceText &source : input.files) {
            bytes += source.text.size();
            largeChosen += source.text.size() > 1000 ? 1 : 0;
        }
        QVERIFY2(bytes <= budget, qPrintable(QString::number(bytes)));
        QVERIFY2(largeChosen >= 1, qPrintable(chosen.join(' ')));
        QVERIFY2(chosen.size() - largeChosen >= 8, qPrintable(chosen.join(' ')));
        QVERIFY(std::is_sorted(chosen.cbegin(), chosen.cend()));
        QCOMPARE(pathsOf(collectInferenceInput({local(root)}, false, budget), root), chosen);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestInferenceInput)
#include "tst_inferenceinput.moc"
