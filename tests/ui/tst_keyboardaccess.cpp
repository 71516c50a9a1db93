#include "MenuShortcutStyle.h"
#include "OptionSearch.h"
#include "OptionSearchBar.h"
#include "RowExample.h"
#include "ZaboWindows.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolTip>

// The main window by keyboard: the search field and the topics as a user drives them, and a shortcut for
// every command of the "工具" menu, shown once.
class TestKeyboardAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void typingFiltersAndEscShowsAllAgain();
    void filteredRowsTickAsAllRowsDo();
    void topicsShowTheirRows_data();
    void topicsShowTheirRows();
    void reachableByTab();
    void menuItemsStayInView();
    void toolsItemsHaveShortcuts();
    void f2ShowsTheCurrentRowsExample();
    void shortcutShownOnce_data();
    void shortcutShownOnce();

private:
    QLineEdit *searchField() const { return MainForm->findChild<QLineEdit *>(QStringLiteral("SearchEdit")); }
    QComboBox *topics() const { return MainForm->findChild<QComboBox *>(QStringLiteral("TopicBox")); }
    QString count() const
    {
        return MainForm->findChild<QLabel *>(QStringLiteral("SearchCountLabel"))->text();
    }
    QList<int> shownRows() const;

    std::unique_ptr<ZaboWindows> m_windows;
};

void TestKeyboardAccess::init()
{
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
}

void TestKeyboardAccess::cleanup()
{
    m_windows.reset();
}

QList<int> TestKeyboardAccess::shownRows() const
{
    QList<int> rows;
    for (int row = 0; row < OptionCount; ++row) {
        if (!m_windows->grid()->isRowHidden(row))
            rows.append(row);
    }
    return rows;
}

void TestKeyboardAccess::typingFiltersAndEscShowsAllAgain()
{
    const QString parameters = m_windows->paramMemo()->parameterText();
    QTest::keyClick(MainForm, Qt::Key_K, Qt::ControlModifier);
    QTRY_VERIFY(searchField()->hasFocus());
    QTest::keyClicks(searchField(), QStringLiteral("-bap"));
    QCOMPARE(shownRows(), (QList<int>{1, 47}));
    QCOMPARE(count(), QStringLiteral("2 / 93"));
    QCOMPARE(m_windows->paramMemo()->parameterText(), parameters);

    QTest::keyClick(searchField(), Qt::Key_Escape);
    QVERIFY(searchField()->text().isEmpty());
    QCOMPARE(shownRows().size(), OptionCount);
    QCOMPARE(count(), QStringLiteral("93 / 93"));
    QCOMPARE(m_windows->paramMemo()->parameterText(), parameters);
}

void TestKeyboardAccess::filteredRowsTickAsAllRowsDo()
{
    QTest::keyClick(MainForm, Qt::Key_K, Qt::ControlModifier);
    searchField()->insert(QString::fromUtf8("花括号 缩进")); // as an input method commits it
    QCOMPARE(shownRows(), (QList<int>{6, 7, 8, 14}));
    const QList<bool> before{m_windows->isChecked(6), m_windows->isChecked(7), m_windows->isChecked(8)};

    // Down leaves for the grid on the first row shown, without ticking it; Space ticks it, a move ticks
    // the row reached, as without a search
    QTest::keyClick(searchField(), Qt::Key_Down);
    QTableView *grid = m_windows->grid();
    QTRY_VERIFY(grid->hasFocus());
    QCOMPARE(grid->currentIndex().row(), 6);
    QCOMPARE(m_windows->isChecked(6), before.at(0));
    QTest::keyClick(grid, Qt::Key_Space);
    QCOMPARE(m_windows->isChecked(6), !before.at(0));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(grid->currentIndex().row(), 7);
    QCOMPARE(m_windows->isChecked(7), !before.at(1));
    QCOMPARE(m_windows->isChecked(8), before.at(2));
    QCOMPARE(m_windows->paramMemo()->parameterText(), m_windows->checkedOptions());

    const QString parameters = m_windows->paramMemo()->parameterText();
    searchField()->clear();
    QCOMPARE(shownRows().size(), OptionCount);
    QCOMPARE(m_windows->paramMemo()->parameterText(), parameters);
}

void TestKeyboardAccess::topicsShowTheirRows_data()
{
    QTest::addColumn<int>("topic");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QList<int>>("rows");

    QTest::newRow("blank lines") << 1 << "" << QList<int>{0, 1, 2, 46, 47, 67, 85};
    QTest::newRow("blank lines, searched") << 1 << "-nbap" << QList<int>{47};
    QTest::newRow("long lines") << 6 << "" << QList<int>{3, 31, 36, 37, 38, 39, 48, 57};
}

void TestKeyboardAccess::topicsShowTheirRows()
{
    QFETCH(int, topic);
    QFETCH(QString, search);
    QFETCH(QList<int>, rows);
    searchField()->setText(search);
    topics()->setCurrentIndex(topic);
    QCOMPARE(shownRows(), rows);
    QCOMPARE(count(), QStringLiteral("%1 / 93").arg(rows.size()));
    topics()->setCurrentIndex(0); // "全部"
    QCOMPARE(shownRows().size(), visibleRowCount(matchingRows(search)));
}

void TestKeyboardAccess::reachableByTab()
{
    auto *save = MainForm->findChild<QPushButton *>(QStringLiteral("SaveCfgButton"));
    save->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(save->hasFocus());
    QTest::keyClick(save, Qt::Key_Tab);
    QTRY_VERIFY(searchField()->hasFocus());
    QTest::keyClick(searchField(), Qt::Key_Tab);
    QTRY_VERIFY(topics()->hasFocus());
}

// The bar sits in the menu bar's corner beside every menu item, none pushed into an overflow.
void TestKeyboardAccess::menuItemsStayInView()
{
    auto *menuBar = MainForm->findChild<QMenuBar *>(QStringLiteral("MenuBar1"));
    const QRect bar = menuBar->cornerWidget(Qt::TopRightCorner)->geometry();
    QVERIFY(bar.isValid());
    for (QAction *action : menuBar->actions()) {
        const QRect item = menuBar->actionGeometry(action);
        QVERIFY2(item.isValid() && item.right() < bar.left(), qPrintable(action->text()));
    }
}

void TestKeyboardAccess::toolsItemsHaveShortcuts()
{
    auto *tools = MainForm->findChild<QMenu *>(QStringLiteral("ToolsMenu"));
    QList<QKeySequence> seen;
    for (const QAction *action : MainForm->findChildren<QAction *>())
        seen.append(action->shortcut());
    for (QAction *action : tools->actions()) {
        const QKeySequence shortcut = action->shortcut();
        QVERIFY2(!shortcut.isEmpty(), qPrintable(action->text()));
        QCOMPARE(seen.count(shortcut), 1);
        // only what the shortcut does is watched: the dialogs it opens are not answered here
        if (action->objectName() == QLatin1String("CopyCommandLineItem")) {
            QSignalSpy triggered(action, &QAction::triggered);
            QTest::keySequence(MainForm, shortcut);
            QCOMPARE(triggered.size(), 1);
        }
    }
}

// The first row, "-bad", is not ticked in the recommended style: the example shows the blank line it adds.
void TestKeyboardAccess::f2ShowsTheCurrentRowsExample()
{
    QTableView *grid = m_windows->grid();
    grid->setFocus();
    QCOMPARE(grid->currentIndex().row(), 0);
    QTest::keyClick(grid, Qt::Key_F2);
    auto *maker = MainForm->findChild<RowExampleMaker *>();
    QVERIFY(maker);
    QSignalSpy ready(maker, &RowExampleMaker::ready);
    QVERIFY(ready.wait(60000));
    const RowExample example = ready.first().first().value<RowExample>();
    QCOMPARE(example.row, 0);
    QVERIFY(example.found);
    QVERIFY(QToolTip::text().contains(QString::fromUtf8("选中 -bad")));
    QVERIFY(!m_windows->isChecked(0)); // asking changes nothing
}

void TestKeyboardAccess::shortcutShownOnce_data()
{
    QTest::addColumn<QString>("itemText");
    QTest::addColumn<QString>("shown");
    QTest::newRow("named in the caption") << QString::fromUtf8("Indent目录树(Ctrl+Shift+D)\tCtrl+Shift+D")
                                          << QString::fromUtf8("Indent目录树(Ctrl+Shift+D)");
    QTest::newRow("not named") << QString::fromUtf8("复制命令行\tCtrl+Shift+C")
                               << QString::fromUtf8("复制命令行\tCtrl+Shift+C");
    QTest::newRow("another shortcut named")
        << QString::fromUtf8("a(Ctrl+D)\tCtrl+Shift+D") << QString::fromUtf8("a(Ctrl+D)\tCtrl+Shift+D");
    QTest::newRow("no shortcut") << QString::fromUtf8("工具") << QString::fromUtf8("工具");
}

void TestKeyboardAccess::shortcutShownOnce()
{
    QFETCH(QString, itemText);
    QFETCH(QString, shown);
    QCOMPARE(menuItemText(itemText), shown);
}

QTEST_MAIN(TestKeyboardAccess)
#include "tst_keyboardaccess.moc"
