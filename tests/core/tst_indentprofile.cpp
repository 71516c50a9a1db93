#include "CellTable.h"
#include "IndentProfile.h"
#include "OptionCatalogue.h"
#include "StyleStore.h"

#include <QRegularExpression>
#include <QTest>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestIndentProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void importsWhatIndentReads_data();
    void importsWhatIndentReads();
    void importKeepsTheInputsOrder_data();
    void importKeepsTheInputsOrder();
    void shortForms_data();
    void shortForms();
    void reportNamesWhatDidNotMap();
    void reportStaysShortWhateverTheInput_data();
    void reportStaysShortWhateverTheInput();
    void exportWritesOneOptionPerLine_data();
    void exportWritesOneOptionPerLine();
    void exportThenImportGivesTheSelection_data();
    void exportThenImportGivesTheSelection();
    void longLinesBrokenAtBlanksMeanTheSame_data();
    void longLinesBrokenAtBlanksMeanTheSame();
};

void TestIndentProfile::importsWhatIndentReads_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expectedOptions"); // the parameter text of the imported selection
    QTest::addColumn<QStringList>("unmapped");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("makefile line") << "indent -kr -i8 -ts8 -sob -l80 -ss -bs -psl *.c"
                                   << "-bs -kr -l80 -psl -sob -ss " << QStringList{"-i8", "-ts8"}
                                   << QStringList{"*.c"};
    QTest::newRow("comments and CRLF")
        << "/* team style */\r\n-bl // braces below\r\n-bli0\r\n/* two\r\nlines -br */ -nut\r\n"
        << "-bl -bli0 -nut " << QStringList() << QStringList();
    QTest::newRow("tabs and blank lines") << "\t-i4\t\t-ci4\n\n\n   -lp"
                                          << "-ci4 -i4 -lp " << QStringList() << QStringList();
    QTest::newRow("long forms")
        << "--braces-on-if-line --line-length120 --comment-line-length 80 +cuddle-else "
           "--indent-level8 --Bill-Shannon --no-parameter-indentation"
        << "-br -bs -ce -l120 -lc80 -nip " << QStringList{"--indent-level8"} << QStringList();
    QTest::newRow("numbers as the next word") << "-l 100 -bli 4 -i 8"
                                              << "-bli4 -l100 " << QStringList{"-i 8"} << QStringList();
    QTest::newRow("-T pairs") << "-T size_t -npro -T -ts4"
                              << "-npro -T -ts4 " << QStringList{"-T size_t"} << QStringList();
    QTest::newRow("-T pair that the selection cannot keep")
        << "-ts2 -T -ts4"
        << "-ts2 " << QStringList{"-T -ts4"} << QStringList();
    QTest::newRow("-T partner that is also an option") << "-ut -T -ut"
                                                       << "-ut " << QStringList{"-T -ut"} << QStringList();
    QTest::newRow("-T at the end, last of the selection too") << "-bad -T"
                                                              << "-bad -T " << QStringList() << QStringList();
    QTest::newRow("-T at the end after a row it would take")
        << "-ts4 -bad -T"
        << "-bad -ts4 " << QStringList{"-T"} << QStringList();
    QTest::newRow("unknown options and files")
        << "/usr/bin/indent -xyz -o out.c main.c -linux --no-such-thing -Tlist src/x.h"
        << "" << QStringList{"-xyz", "-o out.c", "-linux", "--no-such-thing", "-Tlist"}
        << QStringList{"main.c", "src/x.h"};
    QTest::newRow("unterminated comment") << "-bad /* the rest -br"
                                          << "-bad " << QStringList() << QStringList();
    QTest::newRow("repeated option") << "-bad -bad -nbad"
                                     << "-bad -nbad " << QStringList() << QStringList();
    QTest::newRow("nothing") << "  \r\n // only a comment\n"
                             << "" << QStringList() << QStringList();
}

void TestIndentProfile::importsWhatIndentReads()
{
    QFETCH(QString, input);
    QFETCH(QString, expectedOptions);
    QFETCH(QStringList, unmapped);
    QFETCH(QStringList, files);

    const ProfileImport import = parseIndentProfile(input);
    QCOMPARE(ParameterTextFor(import.checks), expectedOptions);
    QCOMPARE(import.unmapped, unmapped);
    QCOMPARE(import.files, files);
}

void TestIndentProfile::importKeepsTheInputsOrder_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expectedOptions");
    QTest::addColumn<QStringList>("overridden");
    QTest::addColumn<QStringList>("changed");

    QTest::newRow("later switch wins in the input") << "-br -bl"
                                                    << "-bl " << QStringList{"-br"} << QStringList();
    QTest::newRow("same order as the catalogue") << "-bl -br"
                                                 << "-bl -br " << QStringList() << QStringList();
    QTest::newRow("-nut after -ut") << "-ut -nut"
                                    << "-nut " << QStringList{"-ut"} << QStringList();
    QTest::newRow("three line lengths") << "-l120 -l80 -l100"
                                        << "-l80 -l100 " << QStringList{"-l120"} << QStringList();
    QTest::newRow("explicit before a preset") << "-i4 -gnu"
                                              << "-gnu -i4 " << QStringList() << QStringList();
    QTest::newRow("preset after -nip")
        << "-nip -gnu"
        << "-gnu -nip " << QStringList() << QStringList{text("-ip5 变为 -ip0")};
    QTest::newRow("type name pair after its partner's twin")
        << "-ts4 -T -ts2"
        << "-T -ts2 -ts4 " << QStringList() << QStringList();
}

void TestIndentProfile::importKeepsTheInputsOrder()
{
    QFETCH(QString, input);
    QFETCH(QString, expectedOptions);
    QFETCH(QStringList, overridden);
    QFETCH(QStringList, changed);

    const ProfileImport import = parseIndentProfile(input);
    QCOMPARE(ParameterTextFor(import.checks), expectedOptions);
    QCOMPARE(import.overridden, overridden);
    QCOMPARE(import.changed, changed);
    QVERIFY(import.unmapped.isEmpty());
}

void TestIndentProfile::shortForms_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("shortForm");
    QTest::newRow("short") << "-bad"
                           << "-bad";
    QTest::newRow("long switch") << "--braces-on-if-line"
                                 << "-br";
    QTest::newRow("plus prefix") << "+braces-on-if-line"
                                 << "-br";
    QTest::newRow("long number") << "--brace-indent4"
                                 << "-bli4";
    // indent reads the manual's "-end" form as the shorter name before it
    QTest::newRow("-end form read as the shorter name") << "--break-function-decl-args-end"
                                                        << "-bfda";
    QTest::newRow("unknown long") << "--no-such-option"
                                  << "";
    QTest::newRow("not an option") << "main.c"
                                   << "";
}

void TestIndentProfile::shortForms()
{
    QFETCH(QString, option);
    QFETCH(QString, shortForm);
    QCOMPARE(shortOptionForm(option), shortForm);
}

void TestIndentProfile::reportNamesWhatDidNotMap()
{
    QCOMPARE(profileImportReport(parseIndentProfile(QStringLiteral("indent -kr -i8 -ts8 *.c"))),
             text("未收录的参数：-i8 -ts8\n已忽略的文件参数：*.c"));
    QCOMPARE(profileImportReport(parseIndentProfile(QStringLiteral("-kr"))),
             text("所有参数均已对应到参数表。"));
}

void TestIndentProfile::reportStaysShortWhateverTheInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("report");

    QStringList thirty;
    for (int file = 1; file <= 30; ++file)
        thirty.append(QStringLiteral("f%1.c").arg(file));
    QTest::newRow("a few dozen words are all shown")
        << thirty.join(QLatin1Char(' '))
        << text("所有参数均已对应到参数表。\n已忽略的文件参数：") + thirty.join(QLatin1Char(' '));
    QTest::newRow("beyond that they are counted")
        << thirty.join(QLatin1Char(' ')) + QStringLiteral(" f31.c f32.c")
        << text("所有参数均已对应到参数表。\n已忽略的文件参数：") + thirty.join(QLatin1Char(' ')) +
               text(" …（共 32 个）");
    QTest::newRow("200,000 unknown options")
        << QStringLiteral("-x ").repeated(200000)
        << text("未收录的参数：") + QStringList(30, QStringLiteral("-x")).join(QLatin1Char(' ')) +
               text(" …（共 200000 个）");
    QTest::newRow("a bare -T kept") << "-bad -T"
                                    << text(
                                           "所有参数均已对应到参数表。\n最后的 -T "
                                           "后面没有类型名：已照原样选中，indent 读取这样的配置会报错退出。");
    QTest::newRow("a bare -T that would take a row")
        << "-T -ts2 -v -T"
        << text("未收录的参数：-T\n最后的 -T 后面没有类型名，未选中：选中后它会把 -ts2 当作类型名。");
    QTest::newRow("a megabyte without blanks")
        << QStringLiteral("-bad").repeated(256 * 1024)
        << text("未收录的参数：") + QStringLiteral("-bad").repeated(15) + text("…（共 1048576 个字符）");
}

void TestIndentProfile::reportStaysShortWhateverTheInput()
{
    QFETCH(QString, input);
    QFETCH(QString, report);
    QCOMPARE(profileImportReport(parseIndentProfile(input)), report);
}

void TestIndentProfile::exportWritesOneOptionPerLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parameterText");
    QTest::addColumn<QString>("profile");

    QTest::newRow("recommended")
        << text("Zabo推荐风格") << ParameterTextFor(checkStatesOf(builtInStyles().at(3)))
        << text("/* Zabo 风格：Zabo推荐风格 */\n-bap\n-bbb\n-bbo\n-bli0\n-br\n-brs\n-bs\n"
                "-c41\n-cbi4\n-cd41\n-cdb\n-cdw\n-ce\n-ci0\n-cs\n-fc1\n-i4\n-ip4\n-l120\n"
                "-lc120\n-lp\n-nbc\n-nbfda\n-ncdb\n-npsl\n-nut\n-pcs\n-saf\n-sai\n-saw\n"
                "-sbi4\n-sc\n-sob\n-ss\n-T -ts4\n");
    QTest::newRow("-npro and -st left out")
        << "mine"
        << "-bad -npro -st -T -v "
        << text("/* Zabo 风格：mine */\n/* 未写入 -npro -st：它们在配置文件中没有意义 */\n"
                "-bad\n-T -v\n");
    QTest::newRow("-T at the end stays alone") << "last"
                                               << "-bad -T " << text("/* Zabo 风格：last */\n-bad\n-T\n");
    QTest::newRow("a name that would end the comment")
        << "a */ -br\nb"
        << "-bl " << text("/* Zabo 风格：a * / -br b */\n-bl\n");
    QTest::newRow("nothing ticked") << "empty"
                                    << "" << text("/* Zabo 风格：empty */\n");
}

void TestIndentProfile::exportWritesOneOptionPerLine()
{
    QFETCH(QString, name);
    QFETCH(QString, parameterText);
    QFETCH(QString, profile);
    QCOMPARE(QString::fromUtf8(indentProfileText(name, parameterText)), profile);
}

void TestIndentProfile::exportThenImportGivesTheSelection_data()
{
    QTest::addColumn<CheckStates>("checks");
    const QVector<StyleRecord> builtIns = builtInStyles();
    for (const StyleRecord &style : builtIns)
        QTest::newRow(style.Name) << checkStatesOf(style);
    QTest::newRow("contradicting rows")
        << checkStatesFor(QStringLiteral("-bl -br -bli0 -bli4 -nsaf -saf -T -ut"));
    QTest::newRow("presets and explicit rows")
        << checkStatesFor(QStringLiteral("-gnu -i4 -kr -nip -ip4 -orig -T -v"));
    CheckStates everyRow{};
    everyRow.fill(true);
    everyRow[size_t(catalogueRowOf("-npro"))] = false;
    everyRow[size_t(catalogueRowOf("-st"))] = false;
    QTest::newRow("every row a profile can hold") << everyRow;
    // indent refuses the profile, as the export warns; the selection comes back all the same
    QTest::newRow("-T as the last row") << checkStatesFor(QStringLiteral("-bad -kr -T"));
    QTest::newRow("-T alone") << checkStatesFor(QStringLiteral("-T"));
}

void TestIndentProfile::exportThenImportGivesTheSelection()
{
    QFETCH(CheckStates, checks);
    const ProfileImport import = parseIndentProfile(
        QString::fromUtf8(indentProfileText(QStringLiteral("style"), ParameterTextFor(checks))));
    QCOMPARE(ParameterTextFor(import.checks), ParameterTextFor(checks));
    QVERIFY(import.unmapped.isEmpty());
    QVERIFY(import.files.isEmpty());
}

void TestIndentProfile::longLinesBrokenAtBlanksMeanTheSame_data()
{
    QTest::addColumn<QString>("input");
    QString options;
    while (options.size() < 1000000)
        options += QStringLiteral("-bad -bap -nbc -bbo -hnl -br -brs -c33 -cd33 -ncdb -ce -ci4 -T size_t ");
    QTest::newRow("a megabyte on one line") << options;
    QTest::newRow("a long comment line") << "-kr /* " + options + "*/ -nut";
    QTest::newRow("a // comment stays whole")
        << "-kr -i2 " + options.left(300) + "// -br -ce " + options.left(300);
    QTest::newRow("CRLF and tabs")
        << QString(options.left(500)).replace(QLatin1Char(' '), QLatin1Char('\t')) + "\r\n-lp";
    QTest::newRow("a word longer than a line") << "-kr " + QString(400, QLatin1Char('x')) + " -nut";
    QTest::newRow("short lines unchanged") << QStringLiteral("-kr\n-nut -i4\n");
}

void TestIndentProfile::longLinesBrokenAtBlanksMeanTheSame()
{
    QFETCH(QString, input);
    const int longest = 100;
    const QString shortened = profileWithShortLines(input, longest);
    const QStringList lines = shortened.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const qsizetype comment = line.indexOf(QLatin1String("//"));
        const QString broken = comment < 0 ? line : line.left(comment);
        // a line is cut only at a blank; a word longer than a line stays whole
        QVERIFY2(broken.size() <= longest || !broken.contains(QRegularExpression(QStringLiteral("[ \\t]"))),
                 qPrintable(broken.left(200)));
    }
    // blanks became line ends and nothing else changed, so indent and the import read the same
    const auto blanks = [](QString text) {
        return text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
    };
    QCOMPARE(blanks(shortened), blanks(input));
    const ProfileImport before = parseIndentProfile(input);
    const ProfileImport after = parseIndentProfile(shortened);
    QCOMPARE(after.checks, before.checks);
    QCOMPARE(after.unmapped, before.unmapped);
}

QTEST_GUILESS_MAIN(TestIndentProfile)
#include "tst_indentprofile.moc"
