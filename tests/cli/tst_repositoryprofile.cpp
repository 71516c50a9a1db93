#include "RepositoryProfile.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// A team's .indent.pro: how its words become indent's options, and which one each file gets.
class TestRepositoryProfile : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_work;

    QByteArray path(const QString &relative) const { return QFile::encodeName(m_work->filePath(relative)); }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        QVERIFY(QDir().mkpath(QFileInfo(m_work->filePath(relative)).absolutePath()));
        QVERIFY(writeAll(m_work->filePath(relative), bytes));
    }

private slots:
    void init() { m_work = std::make_unique<QTemporaryDir>(); }

    void optionsAsIndentReadsThem_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("options");

        QTest::newRow("Lindent") << QByteArray("-npro -kr -i8 -ts8 -sob -l80 -ss -ncs -cp1 -il0\n")
                                 << QStringList{"-npro", "-kr", "-i8",  "-ts8", "-sob",
                                                "-l80",  "-ss", "-ncs", "-cp1", "-il0"};
        QTest::newRow("comments and lines")
            << QByteArray("/* the team's style */\n-gnu // braces as GNU\n\t-i4 /* wider\n */ -nut\r\n")
            << QStringList{"-gnu", "-i4", "-nut"};
        QTest::newRow("long forms") << QByteArray("--line-length 100 +use-tabs --indent-level4")
                                    << QStringList{"--line-length", "100", "+use-tabs", "--indent-level4"};
        QTest::newRow("type names") << QByteArray("-T size_t -T -ts4 -Tuint8_t")
                                    << QStringList{"-T", "size_t", "-T", "-ts4", "-Tuint8_t"};
        QTest::newRow("a number as the next word")
            << QByteArray("-l 80 -c 33") << QStringList{"-l", "80", "-c", "33"};
        QTest::newRow("options of indent only")
            << QByteArray("-linux -pal -ppi2 -slc") << QStringList{"-linux", "-pal", "-ppi2", "-slc"};
        QTest::newRow("standard output left out")
            << QByteArray("-kr -st -stx --standard-output +standard-output -i2") << QStringList{"-kr", "-i2"};
        QTest::newRow("-orig is no output file") << QByteArray("-orig") << QStringList{"-orig"};
        QTest::newRow("empty") << QByteArray("/* nothing yet */\n") << QStringList{};
    }

    void optionsAsIndentReadsThem()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, options);
        const RepositoryProfileOptions read = repositoryProfileOptions(text);
        QVERIFY2(read.problem.isEmpty(), read.problem.constData());
        QCOMPARE(read.options, options);
    }

    void wordsThatWouldHarmAreRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("problem");
        QTest::newRow("a file") << QByteArray("-kr /etc/passwd") << QByteArray("\"etc\" is not an option");
        QTest::newRow("output file") << QByteArray("-kr -o out.c")
                                     << QByteArray("\"-o\" sends indent's output");
        QTest::newRow("output file glued") << QByteArray("-oout.c") << QByteArray("\"-oout.c\" sends");
        QTest::newRow("output file, long")
            << QByteArray("--output-file x.c") << QByteArray("sends indent's output");
        QTest::newRow("a word for a number") << QByteArray("-l wide") << QByteArray("\"-l\" needs a number");
        QTest::newRow("version") << QByteArray("-version") << QByteArray("stop without formatting");
        QTest::newRow("not UTF-8") << QByteArray("-T caf\xe9_t") << QByteArray("not valid UTF-8");
        QTest::newRow("a space indent cannot see") << QByteArray("-T a\xc2\xa0"
                                                                 "b")
                                                   << QByteArray("not plain UTF-8");
    }

    void wordsThatWouldHarmAreRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, problem);
        const RepositoryProfileOptions read = repositoryProfileOptions(text);
        QVERIFY2(read.problem.contains(problem), read.problem.constData());
        QVERIFY(read.options.isEmpty());
    }

    // Nearest first, looked up from the file's directory whatever the working directory.
    void eachFileGetsItsNearestProfile()
    {
        write("repo/.indent.pro", "-kr -i8 -ts8\n");
        write("repo/lib/.indent.pro", "-gnu\n");
        write("repo/src/deep/er/a.c", "int a;\n");
        QVERIFY(QDir().mkpath(m_work->filePath("repo/lib/sub")));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_work->filePath("repo/src")));

        RepositoryProfiles profiles;
        QByteArray problem;
        const int root = profiles.styleFor(path("repo/src/deep/er/a.c"), &problem);
        const int again = profiles.styleFor("deep/b.c", &problem);
        const int lib = profiles.styleFor(path("repo/lib/sub/c.c"), &problem);
        const int libFile = profiles.styleFor("../lib/d.h", &problem);
        QDir::setCurrent(previous);

        QVERIFY2(root >= 0 && lib >= 0, problem.constData());
        QCOMPARE(again, root);
        QCOMPARE(libFile, lib);
        QCOMPARE(profiles.styles().size(), std::size_t(2));
        QCOMPARE(profiles.styles().at(std::size_t(root)).parameterText, QStringLiteral("-kr -i8 -ts8"));
        QCOMPARE(profiles.styles().at(std::size_t(lib)).parameterText, QStringLiteral("-gnu"));
        // named as seen from the working directory when below it, else in full
        QCOMPARE(profiles.styles().at(std::size_t(root)).profilePath, path("repo/.indent.pro"));
    }

    void profilesThatAreNoFilesAreRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("a directory") << "directory";
        QTest::newRow("a dangling link") << "dangling";
    }

    // Without blocking on a FIFO: the lookup opens without waiting for a writer.
    void profilesThatAreNoFilesAreRefused()
    {
        QFETCH(QString, kind);
        write("repo/.indent.pro", "-kr\n");
        const QByteArray profile = path("repo/src/.indent.pro");
        QVERIFY(QDir().mkpath(m_work->filePath("repo/src")));
        if (kind == QLatin1String("fifo"))
            QVERIFY(::mkfifo(profile.constData(), 0600) == 0);
        else if (kind == QLatin1String("directory"))
            QVERIFY(::mkdir(profile.constData(), 0700) == 0);
        else
            QVERIFY(::symlink("nowhere", profile.constData()) == 0);

        RepositoryProfiles profiles;
        QByteArray problem;
        QCOMPARE(profiles.styleFor(path("repo/src/a.c"), &problem), -1);
        QVERIFY2(problem.contains(".indent.pro: "), problem.constData());
        QVERIFY(profiles.styles().empty());
    }

    void aTreeWithoutAProfileIsNamed()
    {
        for (QDir up(m_work->path()); !up.isRoot(); up.cdUp()) {
            if (QFileInfo::exists(up.filePath(QStringLiteral(".indent.pro"))))
                QSKIP("a .indent.pro above the temporary directory");
        }
        write("plain/a.c", "int a;\n");
        RepositoryProfiles profiles;
        QByteArray problem;
        QCOMPARE(profiles.styleFor(path("plain/a.c"), &problem), -1);
        QVERIFY2(problem.contains("no .indent.pro here or in a directory above"), problem.constData());
    }
};

QTEST_GUILESS_MAIN(TestRepositoryProfile)
#include "tst_repositoryprofile.moc"
