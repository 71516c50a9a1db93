#include "Aboutme.h"
#include "Application.h"
#include "Inputname.h"
#include "Main.h"
#include "Preview.h"
#include "Startup.h"
#include "StyleStore.h"
#include "TestFiles.h"
#include "ZaboWindows.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paramMemoWrapsOnlyBetweenOptions();
    void theTreeJobStartsFromTheToolsMenu();
    void init();
    void cleanup();

    void firstStartCreatesConfigAndShowsRecommendedStyle();
    void fatalStartShowsItsMessageAndNoWindow_data();
    void fatalStartShowsItsMessageAndNoWindow();
    void installedStartKeepsFilesInUserDirectories();
    void entryRunsUntilProgramEnds_data();
    void entryRunsUntilProgramEnds();
    void selectingRowTogglesAndTogglesBack_data();
    void selectingRowTogglesAndTogglesBack();
    void keyboardMovesToggleTheRowReached();
    void listClickReloadsStoredFlags_data();
    void listClickReloadsStoredFlags();
    void actionsWithoutSelectionAreIgnoredOrRefused();
    void deleteRefusesBuiltIns_data();
    void deleteRefusesBuiltIns();
    void deleteAsksAndRefreshes_data();
    void deleteAsksAndRefreshes();
    void saveButtonPresetsAndRefreshesDialog();
    void anotherInstancesChangesAreMergedAndShown();
    void menuItemsAndShortcuts_data();
    void menuItemsAndShortcuts();
    void titleButtonChangesNothing();
    void noFocusFrameBesideTheCheckBox();
    void firstWindowIsDrawnWithoutStyleSheets();

private:
    void saveStyle(const QString &name, const QList<int> &toggledRows);

    std::unique_ptr<ZaboWindows> m_windows;
};

void TestMainForm::init()
{
    m_windows = std::make_unique<ZaboWindows>();
}

void TestMainForm::cleanup()
{
    m_windows.reset();
}

void TestMainForm::saveStyle(const QString &name, const QList<int> &toggledRows)
{
    for (const int row : toggledRows)
        m_windows->clickCell(row, 2);
    MainForm->SaveStyleAs(name);
}

void TestMainForm::firstStartCreatesConfigAndShowsRecommendedStyle()
{
    QVERIFY(m_windows->start());
    QVERIFY(m_windows->prompts.messages.isEmpty());

    const QByteArray config = m_windows->configBytes();
    QCOMPARE(config.size(), 1400);
    QCOMPARE(m_windows->storedStyles().selectedIndex, 3);
    QCOMPARE(m_windows->listEntries(), QStringList({"GNU", "K&&R", "ORIG", text("Zabo推荐风格")}));
    QCOMPARE(m_windows->listSelection(), 3);
    QCOMPARE(m_windows->paramMemo()->parameterText(), recommendedParameterText());
    QCOMPARE(m_windows->checkedOptions(), recommendedParameterText());
    QVERIFY(m_windows->paramMemo()->isReadOnly());

    QCOMPARE(MainForm->windowTitle(), text("Zabo 代码风格格式化工具") + versionSuffix(programVersionValue()));
    QVERIFY(QFileInfo(MainForm->formatterPath()).isExecutable());
    QCOMPARE(MainForm->size(), QSize(952, 551));
    QCOMPARE(MainForm->minimumSize(), MainForm->maximumSize());
    QVERIFY(!(MainForm->windowFlags() & Qt::WindowMaximizeButtonHint));
    // the style name dialog, the preview and the donation window are built when first shown, not at start
    QVERIFY(!InputNameForm && !AboutForm && !PreviewForm);

    const QAbstractItemModel *model = m_windows->grid()->model();
    QCOMPARE(model->rowCount(), 93);
    QCOMPARE(model->columnCount(), 3);
    const QStringList headers = {text("选定"), text("参数"), text("参数含义说明")};
    const QList<int> widths = {35, 68, 640};
    for (int column = 0; column < 3; ++column) {
        QCOMPARE(model->headerData(column, Qt::Horizontal).toString(), headers.at(column));
        QCOMPARE(m_windows->grid()->columnWidth(column), widths.at(column));
    }
    QCOMPARE(model->index(92, 1).data().toString(), QStringLiteral("-v"));
    QVERIFY(!(model->index(0, 0).flags() & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)));
}

void TestMainForm::fatalStartShowsItsMessageAndNoWindow_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("neither program nor configuration directory writable") << "no directory";
    QTest::newRow("portable: a pipe in the configuration file's place") << "portable pipe";
    QTest::newRow("installed: a pipe in the configuration file's place") << "installed pipe";
    QTest::newRow("temporary directory not writable") << "no temp";
}

void TestMainForm::fatalStartShowsItsMessageAndNoWindow()
{
    QFETCH(QString, situation);

    StartupEnvironment environment = m_windows->environment();
    const QString installedProgram =
        unwritablePath(m_windows->programDirectory.path(), QStringLiteral("zabo")) + QLatin1Char('/');
    QString message;
    if (situation == "no directory") {
        environment.programDirectory = installedProgram;
        environment.userDirectories.configDirectory =
            unwritablePath(m_windows->homeDirectory.path(), QStringLiteral("zabo"));
        // the installed program names what it could not use: here a file where a directory should be
        message = StartupMessages::configCreateFailedAt(
            QFileInfo(environment.userDirectories.configDirectory).path(),
            text("这不是一个目录，无法在其中创建配置目录。"));
    } else if (situation == "portable pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(m_windows->programDirectory.filePath("Zabocfg.dat")), 0600), 0);
        message = StartupMessages::configCreateFailed();
    } else if (situation == "installed pipe") {
        environment.programDirectory = installedProgram;
        QVERIFY(QDir().mkpath(m_windows->userConfigDirectory()));
        const QString config = m_windows->userConfigDirectory() + QStringLiteral("/Zabocfg.dat");
        QCOMPARE(::mkfifo(QFile::encodeName(config), 0600), 0);
        message = StartupMessages::configCreateFailedAt(config, text("无法读取或创建此文件。"));
    } else {
        environment.tempDirectory = unwritablePath(m_windows->tempDirectory.path(), QStringLiteral("tmp"));
        // the path and the reason, as the configuration message gives them
        message = StartupMessages::tempNotWritableAt(
            environment.tempDirectory,
            QStringLiteral("cannot create a directory in %1: %2")
                .arg(environment.tempDirectory, QString::fromLocal8Bit(std::strerror(ENOTDIR))));
    }

    QCOMPARE(runZabo(environment), FailedStartStatus);
    QCOMPARE(m_windows->prompts.messages, QStringList{message});
    QVERIFY(!MainForm && !InputNameForm && !AboutForm);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    QVERIFY(m_windows->exitStatuses.isEmpty());
}

void TestMainForm::installedStartKeepsFilesInUserDirectories()
{
    StartupEnvironment environment = m_windows->environment();
    const QString program = unwritablePath(m_windows->programDirectory.path(), QStringLiteral("bin"));
    environment.programDirectory = program + QLatin1Char('/');
    const QString config = m_windows->userConfigDirectory() + QStringLiteral("/Zabocfg.dat");
    const QString output = m_windows->userDocumentsDirectory() + QStringLiteral("/Zabo");

    QVERIFY(m_windows->start(environment));
    QVERIFY(m_windows->prompts.messages.isEmpty());
    QCOMPARE(MainForm->configPath(), config);
    QCOMPARE(readAll(config).size(), 1400);
    QCOMPARE(m_windows->listSelection(), 3);
    QVERIFY(!QFileInfo::exists(output)); // made by the first job, not at start

    const QString source = m_windows->homeDirectory.filePath(QStringLiteral("main.c"));
    QVERIFY(writeAll(source, "int main(void){return 0;}\n"));
    m_windows->prompts.queueFiles({source});
    MainForm->IndentFileItemClick();

    QCOMPARE(m_windows->prompts.messages, QStringList{text("代码风格整理完成！稍后自动打开整理代码目录")});
    QCOMPARE(m_windows->prompts.openedFolders.size(), 1);
    const QString jobDirectory = m_windows->prompts.openedFolders.first();
    QCOMPARE(QFileInfo(jobDirectory).absolutePath(), output);
    QVERIFY(QFileInfo(jobDirectory).fileName().startsWith(QStringLiteral("FormatFile")));
    QCOMPARE(QDir(jobDirectory).entryList(QDir::Files), QStringList{QStringLiteral("main.c")});
    QCOMPARE(QDir(output).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QFileInfo(jobDirectory).fileName()}); // the job script is gone again
    QVERIFY(!QFileInfo::exists(program));

    // the styles saved there are the ones the next start finds
    saveStyle(QStringLiteral("mine"), {0});
    QCOMPARE(readAll(config).size(), 1400 + 348);
}

void TestMainForm::entryRunsUntilProgramEnds_data()
{
    QTest::addColumn<bool>("byExitItem");
    QTest::addColumn<bool>("donationWindowOpen");
    QTest::newRow("exit item") << true << false;
    QTest::newRow("close box") << false << false;
    QTest::newRow("close box, donation window open") << false << true;
}

void TestMainForm::entryRunsUntilProgramEnds()
{
    QFETCH(bool, byExitItem);
    QFETCH(bool, donationWindowOpen);
    StartupEnvironment environment = m_windows->environment();
    QList<int> &statuses = m_windows->exitStatuses;
    environment.exitProgram = [&statuses](int status) {
        statuses.append(status);
        QCoreApplication::exit(status);
    };
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    bool shownAlone = false;
    QObject scope; // drops calls still queued when this test ends
    QTimer::singleShot(0, &scope, [&] {
        shownAlone = MainForm && MainForm->isVisible() && !InputNameForm && !AboutForm && !PreviewForm;
        if (!MainForm)
            return QCoreApplication::exit(1);
        if (donationWindowOpen)
            MainForm->AboutItemClick();
        if (byExitItem)
            MainForm->findChild<QAction *>(QStringLiteral("ExitItem"))->trigger();
        else
            MainForm->close();
        // ends the loop when neither the exit item nor the close box asked it to end
        QMetaObject::invokeMethod(
            &scope,
            [&] {
                if (statuses.isEmpty() && lastWindowClosed.isEmpty())
                    QCoreApplication::exit(1);
            },
            Qt::QueuedConnection);
    });
    QCOMPARE(runZabo(environment), 0);
    QVERIFY(shownAlone);
    QCOMPARE(statuses, byExitItem ? QList<int>{0} : QList<int>{});
    QCOMPARE(lastWindowClosed.count(), byExitItem ? 0 : 1);
    QVERIFY(!MainForm && !InputNameForm && !AboutForm);
}

void TestMainForm::selectingRowTogglesAndTogglesBack_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("byKeyboard");
    // row 0 is the current row from the start; row 4 becomes current with the first click
    QTest::newRow("check cell of the current row") << 0 << 0 << false;
    QTest::newRow("option cell of another row") << 4 << 1 << false;
    QTest::newRow("description cell of a checked row") << 1 << 2 << false;
    QTest::newRow("space on the current row") << 2 << 2 << true;
}

void TestMainForm::selectingRowTogglesAndTogglesBack()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, byKeyboard);
    QVERIFY(m_windows->start());
    const QByteArray configBefore = m_windows->configBytes();
    const bool wasChecked = m_windows->isChecked(row);
    const QString option = m_windows->grid()->model()->index(row, 1).data().toString() + QLatin1Char(' ');

    auto select = [&] {
        if (byKeyboard)
            QTest::keyClick(m_windows->grid(), Qt::Key_Space);
        else
            m_windows->clickCell(row, column);
    };
    if (byKeyboard)
        m_windows->clickCell(row, column); // makes the row current, inverting it once
    else
        select();
    QCOMPARE(m_windows->isChecked(row), !wasChecked);
    QCOMPARE(m_windows->paramMemo()->parameterText(), m_windows->checkedOptions());
    QCOMPARE(m_windows->paramMemo()->parameterText().contains(option), !wasChecked);

    select();
    QCOMPARE(m_windows->isChecked(row), wasChecked);
    QCOMPARE(m_windows->paramMemo()->parameterText(), recommendedParameterText());

    // toggling a built-in style's rows never touches the stored style
    QCOMPARE(m_windows->configBytes(), configBefore);
}

void TestMainForm::keyboardMovesToggleTheRowReached()
{
    QVERIFY(m_windows->start());
    QTableView *grid = m_windows->grid();
    m_windows->clickCell(5, 1); // "-bl", unchecked in the recommended style
    QVERIFY(m_windows->isChecked(5));

    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(grid->currentIndex().row(), 6);
    QVERIFY(!m_windows->isChecked(6)); // "-bli0" was checked
    QVERIFY(m_windows->isChecked(5));

    QTest::keyClick(grid, Qt::Key_Right); // another cell of the same row is no new row
    QVERIFY(!m_windows->isChecked(6));

    QTest::keyClick(grid, Qt::Key_Up);
    QVERIFY(!m_windows->isChecked(5));
    QVERIFY(!m_windows->isChecked(6));
    QCOMPARE(m_windows->paramMemo()->parameterText(), m_windows->checkedOptions());
    QCOMPARE(m_windows->paramMemo()->parameterText(),
             QString(recommendedParameterText()).remove(QStringLiteral("-bli0 ")));
}

void TestMainForm::listClickReloadsStoredFlags_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the selected entry again") << 3 << recommendedParameterText();
    QTest::newRow("another entry") << 1 << QStringLiteral("-kr ");
}

void TestMainForm::listClickReloadsStoredFlags()
{
    QFETCH(int, entry);
    QFETCH(QString, expected);
    QVERIFY(m_windows->start());
    const QByteArray configBefore = m_windows->configBytes();
    m_windows->clickCell(0, 2);
    m_windows->clickCell(1, 2);
    QVERIFY(m_windows->paramMemo()->parameterText().startsWith(QStringLiteral("-bad -bbb ")));

    // each click or key shows the style once: the preview and the row notes follow it once
    QSignalSpy shown(MainForm, &TMainForm::parameterTextChanged);
    m_windows->clickListEntry(entry);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(m_windows->paramMemo()->parameterText(), expected);
    QCOMPARE(m_windows->checkedOptions(), expected);
    QCOMPARE(m_windows->listSelection(), entry);
    // a click selects without writing: the next start still selects the style of the last save
    QCOMPARE(m_windows->configBytes(), configBefore);

    m_windows->clickListEntry(0);
    QCOMPARE(shown.count(), 2);
    QTest::keyClick(m_windows->list(), Qt::Key_Down);
    QCOMPARE(shown.count(), 3);
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-kr "));
}

void TestMainForm::actionsWithoutSelectionAreIgnoredOrRefused()
{
    QVERIFY(m_windows->start());
    m_windows->clickCell(0, 2);
    const QString toggled = m_windows->paramMemo()->parameterText();

    m_windows->clickListEntry(3, Qt::ControlModifier); // takes the selection away
    QCOMPARE(m_windows->listSelection(), -1);
    QCOMPARE(m_windows->paramMemo()->parameterText(), toggled);

    m_windows->clickButton(MainForm, "SaveCfgButton");
    QVERIFY(!InputNameForm || !InputNameForm->isVisible());

    m_windows->clickButton(MainForm, "DeleteButton");
    QCOMPARE(m_windows->prompts.messages, QStringList{text("软件自带项，不可删除！")});
    QVERIFY(m_windows->prompts.questions.isEmpty());
    QCOMPARE(m_windows->listEntries().size(), 4);
    QCOMPARE(m_windows->paramMemo()->parameterText(), toggled);
}

void TestMainForm::deleteRefusesBuiltIns_data()
{
    QTest::addColumn<int>("entry");
    for (int entry = 0; entry < 4; ++entry)
        QTest::addRow("built-in %d", entry) << entry;
}

void TestMainForm::deleteRefusesBuiltIns()
{
    QFETCH(int, entry);
    QVERIFY(m_windows->start());
    saveStyle(QStringLiteral("mine"), {});
    const QByteArray configBefore = m_windows->configBytes();
    m_windows->clickListEntry(entry);

    m_windows->clickButton(MainForm, "DeleteButton");
    QCOMPARE(m_windows->prompts.messages, QStringList{text("软件自带项，不可删除！")});
    QVERIFY(m_windows->prompts.questions.isEmpty());
    QCOMPARE(m_windows->listEntries().size(), 5);
    QCOMPARE(m_windows->listSelection(), entry);
    QCOMPARE(m_windows->configBytes(), configBefore);
}

void TestMainForm::deleteAsksAndRefreshes_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("declined") << false;
    QTest::newRow("confirmed") << true;
}

void TestMainForm::deleteAsksAndRefreshes()
{
    QFETCH(bool, confirm);
    QVERIFY(m_windows->start());
    m_windows->clickListEntry(0);
    saveStyle(QStringLiteral("first"), {0}); // "-gnu" and "-bad"
    saveStyle(QStringLiteral("second"), {1});
    QCOMPARE(m_windows->listSelection(), 5);
    m_windows->clickCell(2, 2); // an unsaved toggle that a deletion discards
    const QByteArray configBefore = m_windows->configBytes();
    const QString memoBefore = m_windows->paramMemo()->parameterText();

    m_windows->prompts.queueAnswer(confirm);
    m_windows->clickButton(MainForm, "DeleteButton");
    QCOMPARE(m_windows->prompts.questions, QStringList{text("确定要删除second风格配置项吗？")});
    QVERIFY(m_windows->prompts.messages.isEmpty());

    if (!confirm) {
        QCOMPARE(m_windows->listEntries().size(), 6);
        QCOMPARE(m_windows->listSelection(), 5);
        QCOMPARE(m_windows->paramMemo()->parameterText(), memoBefore);
        QCOMPARE(m_windows->configBytes(), configBefore);
        return;
    }
    QCOMPARE(m_windows->listEntries(),
             QStringList({"GNU", "K&&R", "ORIG", text("Zabo推荐风格"), QStringLiteral("first")}));
    QCOMPARE(m_windows->listSelection(), 4);
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-bad -gnu "));
    QCOMPARE(m_windows->checkedOptions(), QStringLiteral("-bad -gnu "));
    const StyleFileContent stored = m_windows->storedStyles();
    QCOMPARE(stored.records.size(), 5);
    QCOMPARE(stored.selectedIndex, 4);
}

void TestMainForm::saveButtonPresetsAndRefreshesDialog()
{
    QVERIFY(m_windows->start());
    m_windows->clickButton(MainForm, "SaveCfgButton");
    QVERIFY(InputNameForm && InputNameForm->isVisible());
    auto *edit = InputNameForm->findChild<QLineEdit *>(QStringLiteral("Edit"));
    QVERIFY(edit);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(edit->text(), text("Zabo推荐风格"));

    edit->setText(QStringLiteral("typed"));
    m_windows->clickListEntry(1);
    m_windows->clickButton(MainForm, "SaveCfgButton");
    QVERIFY(InputNameForm->isVisible());
    QCOMPARE(edit->text(), QStringLiteral("K&&R"));
    QCOMPARE(m_windows->listEntries().size(), 4);
}

void TestMainForm::anotherInstancesChangesAreMergedAndShown()
{
    const QString reloaded = text("另一个Zabo窗口修改了风格配置，风格列表已重新读取。");
    const QStringList builtIns = {"GNU", "K&&R", "ORIG", text("Zabo推荐风格")};
    QVERIFY(m_windows->start());
    ScriptedPrompts otherPrompts;
    StyleStore other(MainForm->configPath(), otherPrompts);
    QVERIFY(other.LoadStyleFile());
    QCOMPARE(other.SaveStyleAs(QStringLiteral("other"), StyleFlags{}), StyleStore::SaveOutcome::Added);

    saveStyle(QStringLiteral("mine"), {0});
    QCOMPARE(m_windows->prompts.messages, QStringList{reloaded});
    QCOMPARE(m_windows->listEntries(), builtIns + QStringList({"other", "mine"}));
    QCOMPARE(m_windows->listSelection(), 5);
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-bad ") + recommendedParameterText());
    QCOMPARE(m_windows->storedStyles().records.size(), 6);

    // the other deletes its style; this window's deletion of its own then finds it at another place
    QCOMPARE(other.DeleteStyle(4), StyleStore::DeleteOutcome::Deleted);
    m_windows->prompts.messages.clear();
    m_windows->clickButton(MainForm, "DeleteButton");
    QCOMPARE(m_windows->prompts.questions.last(), text("确定要删除mine风格配置项吗？"));
    QCOMPARE(m_windows->prompts.messages, QStringList{reloaded});
    QCOMPARE(m_windows->listEntries(), builtIns);
    QCOMPARE(m_windows->listSelection(), 3);
    QCOMPARE(m_windows->configBytes().size(), 1400);
}

void TestMainForm::menuItemsAndShortcuts_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("effect");
    QTest::newRow("directory job") << "IndentDirItem" << text("Indent目录(Ctrl+D)") << QKeySequence("Ctrl+D")
                                   << "directory notice";
    QTest::newRow("file job") << "IndentFileItem" << text("Indent文件(Ctrl+F)") << QKeySequence("Ctrl+F")
                              << "file dialog";
    QTest::newRow("donation window") << "AboutItem" << text("捐赠支持(Alt+F1)") << QKeySequence("Alt+F1")
                                     << "donation window";
    QTest::newRow("exit") << "ExitItem" << text("退出(Alt+F4)") << QKeySequence("Alt+F4") << "exit";
}

void TestMainForm::menuItemsAndShortcuts()
{
    QFETCH(QString, item);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, effect);

    auto effects = [this] {
        QStringList seen;
        for (int n = 0; n < m_windows->prompts.informationQuestions.size(); ++n)
            seen << "directory notice";
        for (const JobPrompts::OpenFilesRequest &request : m_windows->prompts.fileRequests) {
            if (request.initialDirectory == MainForm->programDirectory())
                seen << "file dialog";
        }
        if (AboutForm && AboutForm->isVisible())
            seen << "donation window";
        for (const int status : m_windows->exitStatuses)
            seen << (status == 0 ? "exit" : "exit with another status");
        return seen;
    };

    QVERIFY(m_windows->start());
    auto *menuBar = MainForm->findChild<QMenuBar *>(QStringLiteral("MenuBar1"));
    QVERIFY(menuBar);
    // the four first items keep their order around the additions
    QStringList itemNames;
    for (const QAction *barAction : menuBar->actions())
        itemNames << (barAction->menu() ? barAction->menu()->objectName() : barAction->objectName());
    QCOMPARE(itemNames, (QStringList{"IndentDirItem", "IndentFileItem", "PreviewItem", "AboutItem",
                                     "ExitItem", "ToolsMenu"}));
    QAction *action = m_windows->action(item.toLatin1().constData());
    QVERIFY(action);
    QVERIFY(menuBar->actions().contains(action));
    QVERIFY(!action->menu());
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), shortcut);

    m_windows->prompts.queueOkCancel(false);
    m_windows->prompts.queueOkCancel(false);
    QTest::mouseClick(menuBar, Qt::LeftButton, Qt::NoModifier, menuBar->actionGeometry(action).center());
    QCOMPARE(effects(), QStringList{effect});
    if (effect == "donation window")
        AboutForm->hide();
    if (effect == "exit")
        QVERIFY(!InputNameForm);

    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keySequence(MainForm, shortcut);
    const QStringList expected =
        effect == "donation window" ? QStringList{effect} : QStringList{effect, effect};
    QCOMPARE(effects(), expected);
    // the jobs stop at the cancelled dialogs: nothing was written beside the program
    QCOMPARE(QDir(m_windows->programDirectory.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList());
}

void TestMainForm::titleButtonChangesNothing()
{
    QVERIFY(m_windows->start());
    m_windows->clickCell(0, 2);
    const QString memo = m_windows->paramMemo()->parameterText();
    const QByteArray config = m_windows->configBytes();

    m_windows->clickButton(MainForm, "TitleButton");
    QCOMPARE(m_windows->paramMemo()->parameterText(), memo);
    QCOMPARE(m_windows->checkedOptions(), memo);
    QCOMPARE(m_windows->listSelection(), 3);
    QCOMPARE(m_windows->configBytes(), config);
    QVERIFY(m_windows->prompts.messages.isEmpty());
    QVERIFY(!InputNameForm && !AboutForm);
}

void TestMainForm::noFocusFrameBesideTheCheckBox()
{
    QVERIFY(m_windows->start());
    QTableView *grid = m_windows->grid();
    grid->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(grid->hasFocus());
    const QModelIndex first = grid->model()->index(0, 0);
    QCOMPARE(grid->currentIndex(), first);
    // the current cell is drawn as any other cell of the selected row: right of its check box, where a
    // frame around its empty text used to stand, only the cell's own background
    const QRect cell = grid->visualRect(first);
    const QImage image = grid->viewport()->grab(cell).toImage();
    const QRect besideTheBox(image.width() * 2 / 3, 2, image.width() / 3 - 3, image.height() - 4);
    const QRgb background = image.pixel(besideTheBox.topLeft());
    for (int y = besideTheBox.top(); y <= besideTheBox.bottom(); ++y) {
        for (int x = besideTheBox.left(); x <= besideTheBox.right(); ++x)
            QVERIFY2(image.pixel(x, y) == background, qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
    }
}

void TestMainForm::firstWindowIsDrawnWithoutStyleSheets()
{
    // a style sheet anywhere in the first window polishes it again before it is shown, at every start
    QVERIFY(m_windows->start());
    QList<QWidget *> widgets = MainForm->findChildren<QWidget *>();
    widgets.prepend(MainForm);
    for (const QWidget *widget : std::as_const(widgets)) {
        QVERIFY2(widget->styleSheet().isEmpty(), qPrintable(widget->objectName()));
        QVERIFY2(!widget->style()->inherits("QStyleSheetStyle"), qPrintable(widget->objectName()));
    }
    // the look is still there: the window's diagonal fill and the rounded, filled buttons
    const QImage window = MainForm->grab().toImage();
    QVERIFY(QColor(window.pixel(2, 30)).lightness() < 100);
    QVERIFY(QColor(window.pixel(window.width() - 2, window.height() - 2)).lightness() > 200);
    auto *save = MainForm->findChild<QPushButton *>(QStringLiteral("SaveCfgButton"));
    const QImage button = save->grab().toImage();
    QCOMPARE(button.pixel(button.width() / 2, 0), QColor(0x7d, 0x8a, 0x91).rgb());
    QVERIFY(button.pixel(button.width() / 2, 2) != button.pixel(button.width() / 2, button.height() - 3));
    QCOMPARE(MainForm->findChild<QPushButton *>(QStringLiteral("DeleteButton"))
                 ->palette()
                 .color(QPalette::ButtonText),
             QColor(0xa5, 0x2a, 0x2a));
}

void TestMainForm::paramMemoWrapsOnlyBetweenOptions()
{
    QVERIFY(m_windows->start());
    ParameterMemo *memo = m_windows->paramMemo();
    QCOMPARE(memo->parameterText(), recommendedParameterText());

    // the recommended style needs several lines; each ends at a blank, never inside "-T" or "-l120"
    const QTextBlock block = memo->document()->firstBlock();
    const QTextLayout *layout = block.layout();
    QVERIFY(layout->lineCount() >= 2);
    QStringList lines;
    for (int index = 0; index < layout->lineCount(); ++index) {
        const QTextLine line = layout->lineAt(index);
        lines << ParameterMemo::exactText(block.text().mid(line.textStart(), line.textLength()));
    }
    QCOMPARE(lines.join(QString()), recommendedParameterText());
    for (const QString &line : std::as_const(lines)) {
        QVERIFY2(line.endsWith(QLatin1Char(' ')), qPrintable(line));
        QVERIFY2(line.startsWith(QLatin1Char('-')), qPrintable(line));
    }

    // what a person copies from the memo is the text indent gets
    memo->selectAll();
    memo->copy();
    QCOMPARE(QApplication::clipboard()->text(), recommendedParameterText());
}

void TestMainForm::theTreeJobStartsFromTheToolsMenu()
{
    QVERIFY(m_windows->start());
    auto *tools = MainForm->findChild<QMenu *>(QStringLiteral("ToolsMenu"));
    QVERIFY(tools);
    QCOMPARE(tools->title(), QString::fromUtf8("工具"));
    QAction *tree = m_windows->action("IndentTreeItem");
    QVERIFY(tools->actions().contains(tree));
    QCOMPARE(tree->text(), QString::fromUtf8("Indent目录树(Ctrl+Shift+D)"));

    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keySequence(MainForm, QKeySequence(QStringLiteral("Ctrl+Shift+D")));
    // the chooser was cancelled: nothing more happens
    QCOMPARE(m_windows->prompts.directoryPrompts,
             QStringList{QString::fromUtf8("请选择要整理的目录树（含子目录）")});
    QVERIFY(m_windows->prompts.messages.isEmpty());
    QVERIFY(m_windows->prompts.informationQuestions.isEmpty());
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
