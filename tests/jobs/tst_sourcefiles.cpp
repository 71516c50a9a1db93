#include "OutputDirectory.h"
#include "SourceFiles.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void makeFiles(const QString &directory, const QStringList &names)
{
    for (const QString &name : names)
        QVERIFY(writeAll(directory + QLatin1Char('/') + name, name.toUtf8()));
}

QStringList namesOf(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names.append(QFileInfo(path).fileName());
    return names;
}

} // namespace

class TestSourceFiles : public QObject
{
    Q_OBJECT

private slots:
    void extensions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("source");
        QTest::newRow(".c") << "a.c" << true;
        QTest::newRow(".h") << "a.h" << true;
        QTest::newRow(".cpp") << "a.cpp" << true;
        QTest::newRow(".hpp") << "a.hpp" << true;
        QTest::newRow("several dots") << "x.test.c" << true;
        QTest::newRow("hidden") << ".hidden.h" << true;
        QTest::newRow("upper case") << "MAIN.C" << false;
        QTest::newRow("mixed case") << "a.Hpp" << false;
        QTest::newRow("backup") << "a.c~" << false;
        QTest::newRow("further extension") << "e.hpp.bak" << false;
        QTest::newRow("no dot") << "Makefile" << false;
        QTest::newRow("cc") << "a.cc" << false;
    }

    void extensions()
    {
        QFETCH(QString, name);
        QFETCH(bool, source);
        QCOMPARE(hasSourceExtension(name), source);
    }

    void cppIsToldFromC_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("sign");
        QTest::newRow("by extension") << "a.cpp" << QByteArray("int main(void) { return 0; }\n") << ".cpp";
        QTest::newRow("header by extension") << "a.hpp" << QByteArray() << ".hpp";
        QTest::newRow("template") << "a.h" << QByteArray("template <typename T>\nT twice(T x);\n")
                                  << "template <";
        QTest::newRow("std") << "a.c" << QByteArray("int f() {\n  std::vector<int> v;\n}\n") << "std::";
        QTest::newRow("lambda") << "a.c" << QByteArray("auto f = [&](int x) { return x; };\n") << "[&](";
        QTest::newRow("namespace") << "a.h" << QByteArray("namespace zabo {\n}\n") << "namespace";
        QTest::newRow("class") << "a.h" << QByteArray("class Grid : public View {\n};\n") << "class";
        QTest::newRow("access label")
            << "a.h" << QByteArray("struct S {\npublic:\n  int x;\n};\n") << "public";
        QTest::newRow("C++ header") << "a.c" << QByteArray("#include <iostream>\n") << "iostream";
        QTest::newRow("C") << "a.c"
                           << QByteArray("#include <stdio.h>\nstruct s { int a[4]; };\nint main(int argc, "
                                         "char *argv[])\n{\n  return 0;\n}\n")
                           << "";
        QTest::newRow("a goto label")
            << "a.c" << QByteArray("int f(void)\n{\nagain:\n  goto again;\n}\n") << "";
    }

    void cppIsToldFromC()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, source);
        QFETCH(QString, sign);
        QCOMPARE(cppSign(name, source), sign);
    }

    // the C of the benchmarks and the fixtures never passes for C++
    void realCIsNotTakenForCpp()
    {
        const QDir data(qEnvironmentVariable("ZABO_TEST_DATA"));
        const QDir bench(data.filePath(QStringLiteral("../../bench/data")));
        QStringList files;
        for (const QDir &dir : {data, bench}) {
            for (const QString &name :
                 dir.entryList({QStringLiteral("*.c"), QStringLiteral("*.h")}, QDir::Files))
                files.append(dir.filePath(name));
        }
        QVERIFY(files.size() > 10);
        for (const QString &path : files) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(cppSign(path, file.readAll()).isEmpty(), qPrintable(path));
        }
    }

    void theScanGroupsByExtensionAndDoesNotDescend()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), {"a.c", "b.C", "c.cpp", "d.h", "e.hpp.bak", "f.txt"});
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        makeFiles(dir.path() + "/sub", {"g.c"});
        const QStringList found = scanSourceDirectory(dir.path());
        QCOMPARE(found, (QStringList{dir.filePath("a.c"), dir.filePath("d.h"), dir.filePath("c.cpp")}));
    }

    void theScanTakesEveryKindOfEntry()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), {"z.hpp", "x.test.c", ".hidden.c", "b.c", "k.h", "a.cpp", "q.c~", "MAIN.C"});
        QVERIFY(QDir(dir.path()).mkdir("folder.c"));
        QVERIFY(QFile::link("b.c", dir.filePath("link.h")));
        QCOMPARE(
            namesOf(scanSourceDirectory(dir.path() + "/")),
            (QStringList{".hidden.c", "b.c", "folder.c", "x.test.c", "k.h", "link.h", "a.cpp", "z.hpp"}));
    }

    void undecodableNamesAreListedToo()
    {
        QTemporaryDir dir;
        const QByteArray raw = QFile::encodeName(dir.path()) + "/caf\xe9.c";
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        const QStringList found = scanSourceDirectory(dir.path());
        ::unlink(raw.constData());
        QCOMPARE(namesOf(found), QStringList{QStringLiteral("caf") + QChar::ReplacementCharacter + ".c"});
    }

    void anEmptyOrMissingDirectoryYieldsNothing()
    {
        QTemporaryDir dir;
        QVERIFY(scanSourceDirectory(dir.path()).isEmpty());
        QVERIFY(scanSourceDirectory(dir.filePath("missing")).isEmpty());
    }

    void theTreeScanMirrorsSourcesBelowTheRoot()
    {
        QTemporaryDir dir;
        QDir root(dir.path());
        for (const char *folder :
             {"src/net", "src/empty", "src/text.c", "docs", ".git/objects", "src/.cache"})
            QVERIFY(root.mkpath(folder));
        makeFiles(dir.path(), {"main.c", "main.h", "README", "MAIN.C", ".hidden.c", "src/b.cpp", "src/a.c",
                               "src/net/io.hpp", "src/net/io.c~", "src/text.c/inner.h", "docs/notes.txt",
                               ".git/objects/x.c", "src/.cache/y.h"});
        const SourceTree tree = scanSourceTree(dir.path());
        QVERIFY(tree.rootReadable);
        QCOMPARE(tree.files, (QList<QByteArray>{".hidden.c", "main.c", "main.h", "src/a.c", "src/b.cpp",
                                                "src/net/io.hpp", "src/text.c/inner.h"}));
        QVERIFY(tree.skipped.isEmpty());
        QVERIFY(tree.unreadableDirectories.isEmpty());

        QCOMPARE(scanSourceTree(dir.path(), false).files,
                 (QList<QByteArray>{".hidden.c", "main.c", "main.h"}));
    }

    void theTreeScanFollowsNoDirectoryLink()
    {
        QTemporaryDir dir;
        QTemporaryDir outside;
        QVERIFY(QDir(dir.path()).mkpath("a/b"));
        makeFiles(dir.path(), {"a/b/deep.c", "top.h"});
        makeFiles(outside.path(), {"far.c"});
        QVERIFY(QFile::link("../..", dir.filePath("a/b/loop")));
        QVERIFY(QFile::link(dir.path(), dir.filePath("a/self.c")));
        QVERIFY(QFile::link(outside.path(), dir.filePath("elsewhere")));
        QVERIFY(QFile::link("../top.h", dir.filePath("a/linked.h")));
        QVERIFY(QFile::link("gone.c", dir.filePath("a/dangling.c")));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe.c")).constData(), 0600) == 0);

        const SourceTree tree = scanSourceTree(dir.path());
        QCOMPARE(tree.files, (QList<QByteArray>{"top.h", "a/linked.h", "a/b/deep.c"}));
        QCOMPARE(tree.skipped, (QList<QByteArray>{"pipe.c", "a/dangling.c"}));
    }

    void theTreeScanKeepsUndecodableNamesAsBytes()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + "/d\xe9p\xf4t";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        const QByteArray file = folder + "/caf\xe9.c";
        const int fd = ::open(file.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        const SourceTree tree = scanSourceTree(QFile::encodeName(dir.path()));
        // QTemporaryDir cannot name these to remove them
        ::unlink(file.constData());
        ::rmdir(folder.constData());
        QCOMPARE(tree.files, QList<QByteArray>{"d\xe9p\xf4t/caf\xe9.c"});
    }

    void theTreeScanNamesWhatItCannotRead()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("closed"));
        makeFiles(dir.path(), {"closed/hidden.c", "open.c"});
        QVERIFY(QFile::setPermissions(dir.filePath("closed"), QFileDevice::Permissions()));
        const SourceTree tree = scanSourceTree(dir.path());
        QFile::setPermissions(dir.filePath("closed"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (::geteuid() != 0) { // permissions do not bind root
            QCOMPARE(tree.files, QList<QByteArray>{"open.c"});
            QCOMPARE(tree.unreadableDirectories, QList<QByteArray>{"closed"});
        }

        const SourceTree missing = scanSourceTree(dir.filePath("missing"));
        QVERIFY(!missing.rootReadable);
        QVERIFY(missing.files.isEmpty());
    }

    void removeNonSourceFilesKeepsTheSourcesAndEveryCopy()
    {
        QTemporaryDir scratch;
        OutputDirectory output;
        const QString path = scratch.filePath("out");
        QCOMPARE(output.make(path), QString());
        makeFiles(path, {"a.c", "a.c~", "b.h", "b.h~", "c.cpp", "d.hpp", "MAIN.C", "main.C~", ".hidden",
                         "noext", "x.test.c", "e.hpp.bak", "notes.txt"});
        QVERIFY(QDir(path).mkdir("subdir"));
        QVERIFY(QFile::link("gone", path + "/dangling"));
        // files picked under "all files" were copied in by the job: never the formatter's leftovers
        output.RemoveNonSourceFiles(QString(), {"MAIN.C", "notes.txt"});
        QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name),
                 (QStringList{"MAIN.C", "a.c", "b.h", "c.cpp", "d.hpp", "notes.txt", "subdir", "x.test.c"}));
        QCOMPARE(readAll(path + "/a.c"), QByteArray("a.c"));

        // the directory's path may be swapped for a link afterwards: the handle still names the old one
        const QString elsewhere = scratch.filePath("elsewhere");
        QVERIFY(QDir().mkdir(elsewhere));
        makeFiles(elsewhere, {"keep.txt"});
        QVERIFY(QDir().rename(path, scratch.filePath("moved")));
        QVERIFY(QFile::link(elsewhere, path));
        output.RemoveNonSourceFiles(QString(), {});
        QVERIFY(QFileInfo::exists(elsewhere + "/keep.txt"));
        QVERIFY(!QFileInfo::exists(scratch.filePath("moved/notes.txt")));
    }
};

QTEST_GUILESS_MAIN(TestSourceFiles)
#include "tst_sourcefiles.moc"
