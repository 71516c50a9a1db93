#include "CellTable.h"
#include "HangLimit.h"
#include "ImportProfile.h"
#include "IndentProfile.h"
#include "Main.h"
#include "TestFiles.h"
#include "Watchdog.h"
#include "ZaboWindows.h"

#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

constexpr int RowBl = 5;
constexpr int RowBr = 10;
constexpr int RowSt = 87;
constexpr int RowT = 88;
constexpr int RowTs4 = 90;

QPlainTextEdit *profileMemo(QWidget *form)
{
    return form->findChild<QPlainTextEdit *>(QStringLiteral("ProfileMemo"));
}

// The report as typed: the label shows non-breaking hyphens, so that it wraps only at blanks.
QString report(QWidget *form)
{
    const QString shown = form->findChild<QLabel *>(QStringLiteral("ReportLabel"))->text();
    return shown.contains(QLatin1Char('-')) ? QStringLiteral("a hyphen a line could break after: ") + shown
                                            : ParameterMemo::exactText(shown);
}

} // namespace

// The option grid's notes on rows that do nothing, and indent profiles in and out through the tools
// menu, on the real windows.
class TestProfileTools : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void overriddenRowIsDimmedWithItsReason_data();
    void overriddenRowIsDimmedWithItsReason();
    void typeNameRowFollowsTheTypeNameRow();
    void listClickRecomputesTheNotes();
    void importReplacesTheSelectionAndSavesNothing();
    void importReadsAFile();
    void importTellsWhenAFileCannotBeRead();
    void cancelledImportChangesNothing();
    void importRefusesWhatIsNoProfileFile_data();
    void importRefusesWhatIsNoProfileFile();
    void typingIsReadOnceItRests();
    void importTakesTheTextAsItIsNow();
    void aHugeTextGivesAShortReport();
    void aFileWithoutBlanksLoadsWithoutFreezing();
    void aLongLineIsShownBrokenAtItsBlanks();
    void exportWritesTheProfile_data();
    void exportWritesTheProfile();
    void exportWarnsOfATypeNameMissing();
    void exportFailureLosesNothing();
    void copyPutsTheCommandLineOnTheClipboard();

private:
    bool isDimmed(int row, int column = 1) const;
    QString tooltip(int row, int column = 1) const;
    TImportProfileForm *openImport() const;

    std::unique_ptr<ZaboWindows> m_windows;
};

void TestProfileTools::init()
{
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
}

void TestProfileTools::cleanup()
{
    m_windows.reset();
}

bool TestProfileTools::isDimmed(int row, int column) const
{
    const QVariant foreground = m_windows->grid()->model()->index(row, column).data(Qt::ForegroundRole);
    return foreground.isValid() && foreground.value<QBrush>().color() ==
                                       QApplication::palette().color(QPalette::Disabled, QPalette::Text);
}

QString TestProfileTools::tooltip(int row, int column) const
{
    return m_windows->grid()->model()->index(row, column).data(Qt::ToolTipRole).toString();
}

TImportProfileForm *TestProfileTools::openImport() const
{
    m_windows->action("ImportProfileItem")->trigger();
    auto *form = MainForm->findChild<TImportProfileForm *>();
    return form && form->isVisible() ? form : nullptr;
}

void TestProfileTools::overriddenRowIsDimmedWithItsReason_data()
{
    QTest::addColumn<int>("clickedRow");
    QTest::addColumn<int>("dimmedRow");
    QTest::addColumn<QString>("reason");
    // the recommended style, shown at start, holds -br and "-T -ts4"
    QTest::newRow("-bl under -br") << RowBl << RowBl << text("被 -br 覆盖");
    QTest::newRow("-st") << RowSt << RowSt << text("任务中不使用");
}

void TestProfileTools::overriddenRowIsDimmedWithItsReason()
{
    QFETCH(int, clickedRow);
    QFETCH(int, dimmedRow);
    QFETCH(QString, reason);

    const QTableView *grid = m_windows->grid();
    const QString cellText = grid->model()->index(dimmedRow, 1).data().toString();
    const QSize cellSize = grid->visualRect(grid->model()->index(dimmedRow, 2)).size();
    QVERIFY(!isDimmed(dimmedRow));

    m_windows->clickCell(clickedRow, 2);
    QVERIFY(m_windows->isChecked(clickedRow));
    for (int column = 0; column < 3; ++column) {
        QVERIFY(isDimmed(dimmedRow, column));
        QCOMPARE(tooltip(dimmedRow, column), reason);
    }
    QVERIFY(!isDimmed(RowBr));
    QCOMPARE(grid->model()->index(dimmedRow, 1).data().toString(), cellText);
    QCOMPARE(grid->visualRect(grid->model()->index(dimmedRow, 2)).size(), cellSize);
    QCOMPARE(MainForm->rowNotes().at(dimmedRow), reason);

    m_windows->clickCell(clickedRow, 1);
    QVERIFY(!m_windows->isChecked(clickedRow));
    QVERIFY(!isDimmed(dimmedRow));
    // an undimmed row keeps its cell text as its tooltip
    QCOMPARE(tooltip(dimmedRow, 1), cellText);
}

void TestProfileTools::typeNameRowFollowsTheTypeNameRow()
{
    QVERIFY(m_windows->isChecked(RowT) && m_windows->isChecked(RowTs4));
    QVERIFY(isDimmed(RowTs4));
    QCOMPARE(tooltip(RowTs4), text("作为 -T 的类型名"));
    QVERIFY(!isDimmed(RowT));
    QCOMPARE(tooltip(RowT), text("把 -ts4 作为类型名"));

    m_windows->clickCell(RowT, 2);
    QVERIFY(!m_windows->isChecked(RowT));
    QVERIFY(!isDimmed(RowTs4));
    QCOMPARE(tooltip(RowTs4, 1), QStringLiteral("-ts4"));

    m_windows->clickCell(RowT, 2);
    QVERIFY(isDimmed(RowTs4));
}

void TestProfileTools::listClickRecomputesTheNotes()
{
    m_windows->clickCell(RowBl, 2);
    QVERIFY(isDimmed(RowBl));
    m_windows->clickListEntry(0); // GNU: only "-gnu"
    QVERIFY(!isDimmed(RowBl) && !isDimmed(RowTs4));
    m_windows->clickCell(33, 2); // -i4, where -gnu sets -i2
    QVERIFY(!isDimmed(30));
    QCOMPARE(tooltip(30), text("部分被覆盖：-i2 被 -i4 覆盖"));
}

void TestProfileTools::importReplacesTheSelectionAndSavesNothing()
{
    const QByteArray config = m_windows->configBytes();
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    profileMemo(form)->setPlainText(QStringLiteral("indent -kr -i8 -ts8 -sob -l80 -ss -bs -psl *.c"));
    QTRY_VERIFY2(report(form).contains(text("未收录的参数：-i8 -ts8")), qPrintable(report(form)));
    QVERIFY2(report(form).contains(QStringLiteral("-bs -kr -l80 -psl -sob -ss")), qPrintable(report(form)));

    m_windows->clickButton(form, "ImportButton");
    QVERIFY(!form->isVisible());
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-bs -kr -l80 -psl -sob -ss "));
    QCOMPARE(m_windows->checkedOptions(), QStringLiteral("-bs -kr -l80 -psl -sob -ss "));
    QCOMPARE(m_windows->configBytes(), config);
    QCOMPARE(m_windows->listSelection(), 3);
    QVERIFY(m_windows->prompts.messages.isEmpty());

    // the import is a working selection like any other: saved with the existing save
    MainForm->SaveStyleAs(QStringLiteral("team"));
    QCOMPARE(m_windows->storedStyles().records.size(), 5);
    const StyleRecord saved = m_windows->storedStyles().records.at(4);
    QCOMPARE(ParameterTextOf(saved), QStringLiteral("-bs -kr -l80 -psl -sob -ss "));
}

void TestProfileTools::importReadsAFile()
{
    const QString path = m_windows->programDirectory.filePath(QStringLiteral(".indent.pro"));
    QVERIFY(
        writeAll(path, "/* team */\r\n--braces-after-if-line\r\n-bli0 // no brace indent\r\n-T size_t\r\n"));
    m_windows->prompts.queueFiles({path});
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    m_windows->clickButton(form, "OpenFileButton");
    QCOMPARE(m_windows->prompts.fileRequests.size(), 1);
    QVERIFY(m_windows->prompts.fileRequests.first().listHidden);
    QTRY_VERIFY_WITH_TIMEOUT(report(form).contains(text("未收录的参数：-T size_t")), HangMilliseconds);
    m_windows->clickButton(form, "ImportButton");
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-bl -bli0 "));
    QVERIFY(!isDimmed(RowBl));
}

void TestProfileTools::importTellsWhenAFileCannotBeRead()
{
    const QString missing = m_windows->programDirectory.filePath(QStringLiteral("-\n\"missing\".pro"));
    m_windows->prompts.queueFiles({missing});
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    m_windows->clickButton(form, "OpenFileButton");
    QCOMPARE(m_windows->prompts.messages.size(), 1);
    QVERIFY(m_windows->prompts.messages.first().startsWith(text("无法读取文件：")));
    QVERIFY(m_windows->prompts.messages.first().contains(missing));
    QVERIFY(form->isVisible());
    m_windows->clickButton(form, "CancelButton");
    QCOMPARE(m_windows->paramMemo()->parameterText(), recommendedParameterText());
}

void TestProfileTools::cancelledImportChangesNothing()
{
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    form->findChild<QPlainTextEdit *>(QStringLiteral("ProfileMemo"))->setPlainText(QStringLiteral("-gnu"));
    m_windows->clickButton(form, "CancelButton");
    QVERIFY(!form->isVisible());
    QCOMPARE(m_windows->paramMemo()->parameterText(), recommendedParameterText());
    // a new import starts empty
    form = openImport();
    QVERIFY(form->findChild<QPlainTextEdit *>(QStringLiteral("ProfileMemo"))->toPlainText().isEmpty());
    m_windows->clickButton(form, "CancelButton");
}

void TestProfileTools::importRefusesWhatIsNoProfileFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    const QString notAFile = text("这不是普通文件（可能是管道、设备或目录），无法作为indent配置读取：");
    // the scratch paths are made in the test, below the program directory
    QTest::newRow("FIFO") << QStringLiteral("fifo.pro") << notAFile;
    QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero") << notAFile;
    QTest::newRow("link to /dev/zero") << QStringLiteral("zero.pro") << notAFile;
    QTest::newRow("directory") << QStringLiteral("folder.pro") << notAFile;
    QTest::newRow("1 MB and a byte") << QStringLiteral("big.pro") << text("文件过大，不像是indent配置：");
}

void TestProfileTools::importRefusesWhatIsNoProfileFile()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    const QDir scratch(m_windows->programDirectory.path());
    QVERIFY(::mkfifo(QFile::encodeName(scratch.filePath(QStringLiteral("fifo.pro"))).constData(), 0600) == 0);
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), scratch.filePath(QStringLiteral("zero.pro"))));
    QVERIFY(scratch.mkdir(QStringLiteral("folder.pro")));
    QFile big(scratch.filePath(QStringLiteral("big.pro")));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(1024 * 1024 + 1));
    big.close();
    const QString picked = scratch.filePath(path);

    m_windows->prompts.queueFiles({picked});
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    profileMemo(form)->setPlainText(QStringLiteral("-gnu"));
    {
        const Watchdog watchdog("opening a file that is no profile", 30);
        m_windows->clickButton(form, "OpenFileButton");
    }
    QCOMPARE(m_windows->prompts.messages, QStringList{message + picked});
    QVERIFY(form->isVisible());
    QCOMPARE(profileMemo(form)->toPlainText(), QStringLiteral("-gnu"));
    QTRY_VERIFY_WITH_TIMEOUT(report(form).contains(QStringLiteral("-gnu")), HangMilliseconds);
}

void TestProfileTools::typingIsReadOnceItRests()
{
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    QTest::keyClicks(profileMemo(form), QStringLiteral("-kr -i8"));
    // no keystroke waited for the parser: the report follows once typing rests
    QVERIFY(report(form).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(report(form).contains(text("未收录的参数：-i8")), HangMilliseconds);
    QVERIFY(report(form).contains(text("导入后的参数：-kr")));
}

void TestProfileTools::importTakesTheTextAsItIsNow()
{
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    QTest::keyClicks(profileMemo(form), QStringLiteral("-gnu -bl"));
    m_windows->clickButton(form, "ImportButton");
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-bl -gnu "));
}

void TestProfileTools::aHugeTextGivesAShortReport()
{
    // what a C source opened by mistake looks like to the parser: many words that are no options
    QString profile = QStringLiteral("-kr ") + QString(5000, QLatin1Char('x'));
    for (int word = 0; word < 300; ++word)
        profile += QStringLiteral(" -zz%1 f%1.c").arg(word);
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    profileMemo(form)->setPlainText(profile);
    QTRY_VERIFY_WITH_TIMEOUT(!report(form).isEmpty(), HangMilliseconds);
    const QString shown = report(form);
    QVERIFY2(shown.contains(text("未收录的参数：-zz0 -zz1 ")), qPrintable(shown));
    QVERIFY2(shown.contains(text("-zz29 …（共 300 个）")), qPrintable(shown));
    QVERIFY2(shown.contains(text("已忽略的文件参数：") + QString(60, QLatin1Char('x')) +
                            text("…（共 5000 个字符） f0.c")),
             qPrintable(shown));
    QVERIFY2(shown.contains(text("f28.c …（共 301 个）")), qPrintable(shown));
    QVERIFY(!shown.contains(QLatin1String("-zz30")) && !shown.contains(QLatin1String("f29.c")));
    QVERIFY(shown.size() < 2000);
}

void TestProfileTools::aFileWithoutBlanksLoadsWithoutFreezing()
{
    // wrapped at word boundaries, a line with none took the editor minutes to lay out
    const QString path = m_windows->programDirectory.filePath(QStringLiteral("word.pro"));
    QVERIFY(writeAll(path, QByteArray(1000 * 1000, 'x')));
    m_windows->prompts.queueFiles({path});
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    {
        const Watchdog watchdog("loading 1 MB without a blank", 60);
        m_windows->clickButton(form, "OpenFileButton");
        QApplication::processEvents();
    }
    QVERIFY(m_windows->prompts.messages.isEmpty());
    QCOMPARE(profileMemo(form)->toPlainText().size(), 1000 * 1000);
    QTRY_VERIFY_WITH_TIMEOUT(report(form).contains(text("…（共 1000000 个字符）")), HangMilliseconds);
}

void TestProfileTools::aLongLineIsShownBrokenAtItsBlanks()
{
    // a megabyte pasted on one line: the text box lays a line out whole at every keystroke
    QString profile;
    while (profile.size() < 1000 * 1000)
        profile += QStringLiteral("-bad -bap -nbc -bbo -hnl -br -brs -c33 -cd33 -ncdb -ce -ci4 ");
    profile += QStringLiteral("-nut");
    TImportProfileForm *form = openImport();
    QVERIFY(form);
    profileMemo(form)->setPlainText(profile);
    int longest = 0;
    for (QTextBlock block = profileMemo(form)->document()->begin(); block.isValid(); block = block.next())
        longest = std::max(longest, block.length());
    QVERIFY2(longest <= 201, qPrintable(QString::number(longest)));
    QTest::keyClick(profileMemo(form), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(profileMemo(form), QStringLiteral(" -kr"));
    QVERIFY(profileMemo(form)->toPlainText().endsWith(QStringLiteral("-nut -kr")));
    m_windows->clickButton(form, "ImportButton");
    QCOMPARE(m_windows->paramMemo()->parameterText(),
             ParameterTextFor(parseIndentProfile(profile + QStringLiteral(" -kr")).checks));
}

void TestProfileTools::exportWritesTheProfile_data()
{
    QTest::addColumn<bool>("withStandardOutput");
    QTest::newRow("recommended") << false;
    QTest::newRow("with -st ticked") << true;
}

void TestProfileTools::exportWritesTheProfile()
{
    QFETCH(bool, withStandardOutput);
    if (withStandardOutput)
        m_windows->clickCell(RowSt, 2);
    const QString path = m_windows->programDirectory.filePath(QStringLiteral("exported.pro"));
    QVERIFY(writeAll(path, "old"));
    m_windows->prompts.queueSaveFile(path);
    m_windows->action("ExportProfileItem")->trigger();

    QCOMPARE(m_windows->prompts.saveRequests.size(), 1);
    QCOMPARE(m_windows->prompts.saveRequests.first().initialPath,
             m_windows->programDirectory.filePath(QStringLiteral(".indent.pro")));
    const QString name = withStandardOutput ? text("Zabo推荐风格（未保存的修改）") : text("Zabo推荐风格");
    QCOMPARE(readAll(path), indentProfileText(name, m_windows->paramMemo()->parameterText()));
    QString expected = text("indent配置已导出：") + path;
    if (withStandardOutput)
        expected += text("\n未写入 -st：它们在配置文件中没有意义。");
    QCOMPARE(m_windows->prompts.messages, QStringList{expected});

    // cancelling the save dialog writes nothing and says nothing
    m_windows->action("ExportProfileItem")->trigger();
    QCOMPARE(m_windows->prompts.messages.size(), 1);
}

void TestProfileTools::exportWarnsOfATypeNameMissing()
{
    m_windows->clickCell(RowTs4, 2); // "-T" is now the last row
    const QString path = m_windows->programDirectory.filePath(QStringLiteral("last.pro"));
    m_windows->prompts.queueSaveFile(path);
    m_windows->action("ExportProfileItem")->trigger();
    QVERIFY(readAll(path).endsWith("-ss\n-T\n"));
    QCOMPARE(m_windows->prompts.messages,
             QStringList{text("indent配置已导出：") + path +
                         text("\n最后的 -T 后面没有类型名，indent 读取这个配置时会报错。")});
}

void TestProfileTools::exportFailureLosesNothing()
{
    const QString path = unwritablePath(m_windows->programDirectory.path(), QStringLiteral(".indent.pro"));
    m_windows->prompts.queueSaveFile(path);
    m_windows->action("ExportProfileItem")->trigger();
    QCOMPARE(m_windows->prompts.messages, QStringList{text("indent配置导出失败，无法写入：") + path});
    QVERIFY(!QFileInfo::exists(path));
}

void TestProfileTools::copyPutsTheCommandLineOnTheClipboard()
{
    m_windows->action("CopyCommandLineItem")->trigger();
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("indent ") + recommendedParameterText().trimmed());
    m_windows->clickListEntry(0);
    m_windows->clickCell(30, 2); // nothing ticked
    m_windows->action("CopyCommandLineItem")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("indent"));
    // and says so, for a while
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), text("已复制到剪贴板：indent"));
}

QTEST_MAIN(TestProfileTools)
#include "tst_profiletools.moc"
