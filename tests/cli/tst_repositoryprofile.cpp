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
        QTest::newRow("the largest sensible values")
            << QByteArray("-l10000 -lc 10000 -di1000 --declaration-indentation1000 -c1000 -i100 -bli100 "
                          "--indent-level 100 -ts100 -cli100")
            << QStringList{"-l10000", "-lc",    "10000",   "-di1000",        "--declaration-indentation1000",
                           "-c1000",  "-i100",  "-bli100", "--indent-level", "100",
                           "-ts100",  "-cli100"};
        QTest::newRow("names that only begin like numeric ones")
            << QByteArray("-lp -lps -cdb -cli4 -ip0 -fc1 -cs -il-1")
            << QStringList{"-lp", "-lps", "-cdb", "-cli4", "-ip0", "-fc1", "-cs", "-il-1"};
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
        QTest::newRow("Arabic-Indic digits")
            << QByteArray("-kr -l \xd9\xa8\xd9\xa0") << QByteArray("\"-l\" needs a number in ASCII digits");
        QTest::newRow("fullwidth digits, glued") << QByteArray("-kr -l\xef\xbc\x98\xef\xbc\x90")
                                                 << QByteArray("\"-l\" needs a number in ASCII digits");
        QTest::newRow("a declaration column of two billion")
            << QByteArray("-kr -di2000000000") << QByteArray("\"-di\" \"2000000000\" is beyond any sensible");
        QTest::newRow("a brace indent of two billion")
            << QByteArray("-kr -bli2000000000 -bl") << QByteArray("\"-bli\" \"2000000000\" is beyond");
        QTest::newRow("one past the line bound") << QByteArray("-l10001") << QByteArray("at most 10000");
        QTest::newRow("one past the column bound, apart")
            << QByteArray("-cd 1001")
            << QByteArray("\"-cd\" \"1001\" is beyond any sensible layout (at most 1000)");
        QTest::newRow("one past the indentation bound, long")
            << QByteArray("--indent-level101") << QByteArray("\"--indent-level\" \"101\" is beyond");
        QTest::newRow("a word of another file, shortened and escaped")
            << QByteArray("root:x:0:0:root:/root\x1b[2J:/bin/bash")
            << QByteArray("\"root:x:0:0:r...\" is not an option (word 1)");
        QTest::newRow("control characters escaped")
            << QByteArray("-kr a\x7f"
                          "b\xc2\x9b"
                          "c")
            << QByteArray("\"a\\x7fb\\x9bc\" is not an option (word 2)");
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

    // A hostile repository cannot have a file elsewhere read as its profile, nor see a word of it.
    void aLinkIsFollowedOnlyWithinItsTreeOrRepository_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("followed");
        QTest::newRow("a file of secrets elsewhere") << "secrets" << false;
        QTest::newRow("a file below its directory") << "repo/src/style/indent.pro" << true;
        QTest::newRow("a file elsewhere in its repository") << "repo/shared.pro" << true;
    }

    void aLinkIsFollowedOnlyWithinItsTreeOrRepository()
    {
        QFETCH(QString, target);
        QFETCH(bool, followed);
        write("secrets", "hunter2-password\n");
        write("repo/src/style/indent.pro", "-kr\n");
        write("repo/shared.pro", "-gnu\n");
        QVERIFY(QDir().mkpath(m_work->filePath("repo/.git")));
        QVERIFY(::symlink(path(target).constData(), path("repo/src/.indent.pro").constData()) == 0);
        RepositoryProfiles profiles;
        QByteArray problem;
        QCOMPARE(profiles.styleFor(path("repo/src/a.c"), &problem) >= 0, followed);
        if (!followed) {
            QVERIFY2(problem.contains("a link to a file outside"), problem.constData());
            QVERIFY(!problem.contains("hunter2"));
        }
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
