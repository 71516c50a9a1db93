#include "FormatReporter.h"
#include "FormatSources.h"
#include "SourceExcludes.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

#include <unistd.h>

// What --exclude and .zaboignore files leave out: the same patterns for a tree (-r .), for the files a
// hook names and for an editor's buffer, read as git reads .gitignore.
class TestSourceExcludes : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QByteArray m_err;

    void write(const QString &relative, const QByteArray &bytes)
    {
        QVERIFY(QDir().mkpath(QFileInfo(m_work.filePath(relative)).absolutePath()));
        QVERIFY(writeAll(m_work.filePath(relative), bytes));
    }

    // The relative paths of the sources that arguments name and that are not left out; empty with
    // the messages in m_err when an ignore file cannot be read.
    std::optional<QByteArrayList> kept(const QByteArrayList &arguments, const QByteArrayList &globs = {},
                                       bool recursive = true)
    {
        FormatOptions options;
        options.mode = FormatOptions::Mode::Check;
        options.recursive = recursive;
        options.paths = arguments;
        return keptOf(options, globs);
    }

    // What is left of standard input named name.
    std::optional<QByteArrayList> keptInput(const QByteArray &name)
    {
        FormatOptions options;
        options.paths = {"-"};
        options.standardInputName = name;
        return keptOf(options, {});
    }

    std::optional<QByteArrayList> keptOf(const FormatOptions &options, const QByteArrayList &globs)
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        FormatStreams streams{out, err};
        Reporter reporter(streams);
        std::vector<Source> sources;
        std::vector<SourceTree> trees;
        if (!collectSources(options, reporter, &sources, &trees))
            return std::nullopt;
        SourceExcludes excludes(globs);
        const bool known = excludes.dropExcluded(&sources, trees, reporter);
        m_err = err.data();
        if (!known)
            return std::nullopt;
        QByteArrayList paths;
        for (const Source &source : sources)
            paths.append(source.path);
        return paths;
    }

private slots:
    void init()
    {
        QVERIFY(::chdir("/") == 0);
        QDir(m_work.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_work.path()));
        QVERIFY(::chdir(QFile::encodeName(m_work.path()).constData()) == 0);
        ::setlocale(LC_ALL, "C.UTF-8"); // as a user's terminal has it
    }

    void patterns_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("excluded");

        QTest::newRow("a name at any depth")
            << QByteArray("third_party") << QByteArray("src/third_party/y.c") << true;
        QTest::newRow("a name, deeper")
            << QByteArray("vendor") << QByteArray("a/b/vendor/zlib/inflate.c") << true;
        QTest::newRow("a name alike") << QByteArray("vendor") << QByteArray("vendors/a.c") << false;
        QTest::newRow("a file name") << QByteArray("*.pb.c") << QByteArray("proto/gen/m.pb.c") << true;
        QTest::newRow("a directory") << QByteArray("vendor/") << QByteArray("x/vendor/a.c") << true;
        QTest::newRow("a directory only") << QByteArray("gen.c/") << QByteArray("src/gen.c") << false;
        QTest::newRow("from the root") << QByteArray("/vendor") << QByteArray("vendor/a.c") << true;
        QTest::newRow("only from the root") << QByteArray("/vendor") << QByteArray("src/vendor/a.c") << false;
        QTest::newRow("a slash inside") << QByteArray("src/gen") << QByteArray("src/gen/a.c") << true;
        QTest::newRow("a slash inside, deeper")
            << QByteArray("src/gen") << QByteArray("x/src/gen/a.c") << false;
        QTest::newRow("'*' stops at '/'") << QByteArray("src/*.c") << QByteArray("src/a/b.c") << false;
        QTest::newRow("'*' in a name") << QByteArray("src/*.c") << QByteArray("src/b.c") << true;
        QTest::newRow("everything below") << QByteArray("vendor/*") << QByteArray("vendor/zlib/x.h") << true;
        QTest::newRow("everything inside") << QByteArray("vendor/**") << QByteArray("vendor/z/x.h") << true;
        QTest::newRow("** at the start") << QByteArray("**/gen/*.c") << QByteArray("a/b/gen/x.c") << true;
        QTest::newRow("** at the start, none") << QByteArray("**/gen/*.c") << QByteArray("gen/x.c") << true;
        QTest::newRow("** inside") << QByteArray("a/**/z.c") << QByteArray("a/b/c/z.c") << true;
        QTest::newRow("** inside, none") << QByteArray("a/**/z.c") << QByteArray("a/z.c") << true;
        QTest::newRow("** inside, elsewhere") << QByteArray("a/**/z.c") << QByteArray("b/a/z.c") << false;
        QTest::newRow("taken back") << QByteArray("*.c\n!keep.c") << QByteArray("src/keep.c") << false;
        QTest::newRow("taken back, others") << QByteArray("*.c\n!keep.c") << QByteArray("src/drop.c") << true;
        QTest::newRow("the last one decides") << QByteArray("!keep.c\n*.c") << QByteArray("keep.c") << true;
        QTest::newRow("inside a directory left out")
            << QByteArray("vendor/\n!vendor/keep.c") << QByteArray("vendor/keep.c") << true;
        QTest::newRow("comments and blanks")
            << QByteArray("# vendor\n\n   \n") << QByteArray("vendor/a.c") << false;
        QTest::newRow("a literal #") << QByteArray("\\#x.c") << QByteArray("#x.c") << true;
        QTest::newRow("a literal !") << QByteArray("\\!x.c") << QByteArray("!x.c") << true;
        QTest::newRow("trailing blanks") << QByteArray("vendor   \r\n") << QByteArray("vendor/a.c") << true;
        QTest::newRow("an escaped blank") << QByteArray("a\\ ") << QByteArray("a /x.c") << true;
        QTest::newRow("leading ./") << QByteArray("./gen") << QByteArray("./gen/a.c") << true;
        QTest::newRow("classes") << QByteArray("test[0-9]*") << QByteArray("test3/x.c") << true;
        QTest::newRow("dot files") << QByteArray("*.c") << QByteArray(".hidden.c") << true;
        QTest::newRow("undecodable") << QByteArray("caf\xe9") << QByteArray("caf\xe9/a.c") << true;
        QTest::newRow("undecodable, any byte") << QByteArray("caf*.c") << QByteArray("caf\xe9.c") << true;
        // a hostile repository's pattern: as many "**" as a line holds against a deep path
        QByteArray hostile;
        QByteArray deep;
        for (int at = 0; at < 40; ++at)
            hostile += "**/x/";
        for (int at = 0; at < 400; ++at)
            deep += "x/";
        QTest::newRow("many **") << QByteArray(hostile + "y") << QByteArray(deep + "z.c") << false;
        QTest::newRow("many **, matching") << QByteArray(hostile + "z.c") << QByteArray(deep + "z.c") << true;
        QTest::newRow("nothing") << QByteArray() << QByteArray("a.c") << false;
    }

    void patterns()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, path);
        QFETCH(bool, excluded);
        QCOMPARE(IgnorePatterns::fromFile(lines).excludes(path), excluded);
        // --exclude reads each glob as a line of an ignore file
        if (!lines.contains('\n') && !lines.startsWith('#'))
            QCOMPARE(IgnorePatterns::fromGlobs({lines}).excludes(path), excluded);
    }

    void aGlobBeginsNoComment() { QVERIFY(IgnorePatterns::fromGlobs({"#gen.c"}).excludes("src/#gen.c")); }

    // A .zaboignore governs the tree below its directory; the nearest decides first.
    void ignoreFilesUpTheTree()
    {
        write("repo/.zaboignore", "# vendored code keeps its own style\nthird_party/\n*.pb.c\n/build\n");
        write("repo/src/.zaboignore", "!keep.pb.c\ngenerated/\n");
        for (const char *name :
             {"repo/main.c", "repo/build/x.c", "repo/src/build/y.c", "repo/src/a.c", "repo/src/m.pb.c",
              "repo/src/keep.pb.c", "repo/src/generated/g.c", "repo/src/third_party/lib/deep/z.c",
              "repo/lib/third_party/t.h", "repo/generated/kept.c"})
            write(QString::fromLatin1(name), "int x;\n");
        const QByteArrayList expected{"repo/main.c", "repo/src/a.c", "repo/src/keep.pb.c",
                                      "repo/src/build/y.c", "repo/generated/kept.c"};
        std::optional<QByteArrayList> found = kept({"repo"});
        QVERIFY(found);
        std::sort(found->begin(), found->end());
        QByteArrayList sortedExpected = expected;
        std::sort(sortedExpected.begin(), sortedExpected.end());
        QCOMPARE(*found, sortedExpected);

        // the files a hook names, from inside the repository and from outside it, as the tree gives them
        QByteArrayList named;
        for (const char *name : {"main.c", "src/m.pb.c", "src/keep.pb.c", "src/third_party/lib/deep/z.c"})
            named.append(QByteArray("repo/") + name);
        QCOMPARE(kept(named, {}, false), (QByteArrayList{"repo/main.c", "repo/src/keep.pb.c"}));
        QVERIFY(::chdir("repo/src") == 0);
        QCOMPARE(kept({"m.pb.c", "keep.pb.c", "../main.c", "third_party/lib/deep/z.c"}, {}, false),
                 (QByteArrayList{"keep.pb.c", "../main.c"}));
        // an editor's buffer, by the name it stands for, even in a directory not made yet
        QCOMPARE(keptInput("third_party/new/dir/n.c"), QByteArrayList{});
        QCOMPARE(keptInput("new/dir/n.c"), (QByteArrayList{"new/dir/n.c"}));
        QCOMPARE(keptInput("../build/x.c"), QByteArrayList{});
        QCOMPARE(keptInput("../main.c"), (QByteArrayList{"../main.c"}));
    }

    // --exclude matches below the argument, ignore files below their own directory: both apply.
    void globsAndIgnoreFilesTogether()
    {
        write("repo/.zaboignore", "vendor\n");
        write("repo/src/a.c", "int a;\n");
        write("repo/src/vendor/v.c", "int v;\n");
        write("repo/src/gen/g.c", "int g;\n");
        QCOMPARE(kept({"repo"}, {"src/gen"}), (QByteArrayList{"repo/src/a.c"}));
        QCOMPARE(kept({"repo/src"}, {"gen"}), (QByteArrayList{"repo/src/a.c"}));
        QCOMPARE(kept({"repo/src"}, {"/src/gen"}), (QByteArrayList{"repo/src/a.c", "repo/src/gen/g.c"}));
    }

    // An ignore file that cannot be read stops the run rather than let vendored code be formatted.
    void anUnreadableIgnoreFileIsNamed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("a link") << QStringLiteral("link") << QByteArray("a symbolic link");
        QTest::newRow("a directory") << QStringLiteral("directory") << QByteArray("not a regular file");
        QTest::newRow("a FIFO") << QStringLiteral("fifo") << QByteArray("not a regular file");
        QTest::newRow("too large") << QStringLiteral("large") << QByteArray("larger than 1 MiB");
    }

    void anUnreadableIgnoreFileIsNamed()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, message);
        write("repo/src/a.c", "int a;\n");
        write("secret", "vendor\n");
        const QString ignore = m_work.filePath("repo/.zaboignore");
        if (kind == "link")
            QVERIFY(QFile::link(m_work.filePath("secret"), ignore));
        else if (kind == "directory")
            QVERIFY(QDir().mkpath(ignore));
        else if (kind == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(ignore).constData(), 0600) == 0);
        else
            write("repo/.zaboignore", QByteArray(2 * 1024 * 1024, '#'));
        QCOMPARE(kept({"repo"}), std::nullopt);
        QVERIFY2(m_err.contains("repo/.zaboignore: " + message), m_err.constData());
    }
};

QTEST_GUILESS_MAIN(TestSourceExcludes)
#include "tst_sourceexcludes.moc"
