#include "Inputname.h"
#include "Main.h"
#include "StyleStore.h"
#include "ZaboWindows.h"

#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestInputNameForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void opensNonModalOverTheMainWindow();
    void builtInNameIsRefusedAndDialogHides();
    void nameFieldTakesAtMostThirtyCharacters();
    void emptyNameIsStored();
    void cancelStoresNothing_data();
    void cancelStoresNothing();
    void togglesMadeWhileOpenAreStored();
    void existingNameIsOverwrittenOnlyAfterYes_data();
    void existingNameIsOverwrittenOnlyAfterYes();

private:
    QLineEdit *edit() const { return InputNameForm->findChild<QLineEdit *>(QStringLiteral("Edit")); }
    void openDialog() const { m_windows->clickButton(MainForm, "SaveCfgButton"); }
    void confirm() const { m_windows->clickButton(InputNameForm, "OKButton"); }
    void typeName(const QString &name) const
    {
        edit()->clear();
        // key clicks carry Latin-1 only; other names arrive as an input method would commit them
        if (name == QLatin1String(name.toLatin1()))
            QTest::keyClicks(edit(), name);
        else
            edit()->insert(name);
    }

    std::unique_ptr<ZaboWindows> m_windows;
};

void TestInputNameForm::init()
{
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
}

void TestInputNameForm::cleanup()
{
    m_windows.reset();
}

void TestInputNameForm::opensNonModalOverTheMainWindow()
{
    QVERIFY(!InputNameForm); // built when first asked for, so that it costs the start nothing
    openDialog();
    QVERIFY(InputNameForm->isVisible());
    QVERIFY(!InputNameForm->isModal());
    QCOMPARE(InputNameForm->windowTitle(), text("保存为配置项"));
    QCOMPARE(InputNameForm->size(), QSize(288, 83));
    QCOMPARE(InputNameForm->minimumSize(), InputNameForm->maximumSize());
    QVERIFY(InputNameForm->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(InputNameForm->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
             text("请输入配置项名称："));
    const QPoint offset = InputNameForm->frameGeometry().center() - MainForm->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2, "centred on the main window");

    // the main window stays usable while the dialog is open
    m_windows->clickCell(0, 2);
    QVERIFY(m_windows->isChecked(0));
    QVERIFY(InputNameForm->isVisible());
}

void TestInputNameForm::builtInNameIsRefusedAndDialogHides()
{
    const QByteArray configBefore = m_windows->configBytes();
    m_windows->clickListEntry(1);
    openDialog();
    QCOMPARE(edit()->text(), QStringLiteral("K&&R"));
    confirm();
    QCOMPARE(m_windows->prompts.messages, QStringList{text("前四项为默认配置项，不可修改")});
    QVERIFY(!InputNameForm->isVisible());
    QCOMPARE(m_windows->listEntries().size(), 4);
    QCOMPARE(m_windows->listSelection(), 1);
    QCOMPARE(m_windows->configBytes(), configBefore);
}

void TestInputNameForm::nameFieldTakesAtMostThirtyCharacters()
{
    openDialog();
    const QString forty = QStringLiteral("abcdefghij").repeated(4);
    typeName(forty);
    QCOMPARE(edit()->text(), forty.left(30));
    QTest::keyClicks(edit(), QStringLiteral("xyz"));
    QCOMPARE(edit()->text(), forty.left(30));
    confirm();
    QCOMPARE(m_windows->listEntries().last(), forty.left(30));
}

void TestInputNameForm::emptyNameIsStored()
{
    openDialog();
    edit()->clear();
    confirm();
    QVERIFY(!InputNameForm->isVisible());
    QCOMPARE(m_windows->listEntries().size(), 5);
    QCOMPARE(m_windows->listEntries().last(), QString());
    QCOMPARE(m_windows->listSelection(), 4);
    const StyleFileContent stored = m_windows->storedStyles();
    QCOMPARE(stored.records.size(), 5);
    QCOMPARE(stored.selectedIndex, 4);
    QCOMPARE(stored.records.at(4).Name[0], '\0');
}

void TestInputNameForm::cancelStoresNothing_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("cancel button") << "button";
    QTest::newRow("close box") << "close";
    QTest::newRow("escape key") << "escape";
}

void TestInputNameForm::cancelStoresNothing()
{
    QFETCH(QString, way);
    m_windows->clickCell(0, 2);
    const QByteArray configBefore = m_windows->configBytes();
    const QString memoBefore = m_windows->paramMemo()->parameterText();

    openDialog();
    QPointer<TInputNameForm> dialog = InputNameForm;
    typeName(QStringLiteral("never stored"));
    if (way == "button")
        m_windows->clickButton(InputNameForm, "CornerButton2");
    else if (way == "close")
        QVERIFY(InputNameForm->close());
    else
        QTest::keyClick(edit(), Qt::Key_Escape);

    QVERIFY(!InputNameForm->isVisible());
    QCOMPARE(InputNameForm, dialog.data()); // hidden, not destroyed
    QCOMPARE(m_windows->listEntries().size(), 4);
    QCOMPARE(m_windows->listSelection(), 3);
    QCOMPARE(m_windows->paramMemo()->parameterText(), memoBefore);
    QCOMPARE(m_windows->configBytes(), configBefore);
    QVERIFY(m_windows->prompts.messages.isEmpty());

    openDialog(); // the same window again, with the name preset anew
    QVERIFY(InputNameForm->isVisible());
    QCOMPARE(edit()->text(), text("Zabo推荐风格"));
}

void TestInputNameForm::togglesMadeWhileOpenAreStored()
{
    openDialog();
    typeName(text("我的风格"));
    m_windows->clickCell(0, 2); // "-bad" on
    m_windows->clickCell(1, 2); // "-bap" off
    const QString toggled = m_windows->paramMemo()->parameterText();
    QVERIFY(toggled.startsWith(QStringLiteral("-bad -bbb ")));
    confirm();

    QCOMPARE(m_windows->listEntries().last(), text("我的风格"));
    QCOMPARE(m_windows->listSelection(), 4);
    const StyleFileContent stored = m_windows->storedStyles();
    QCOMPARE(stored.records.size(), 5);
    QCOMPARE(stored.records.at(4).Flags[0], quint8(1));
    QCOMPARE(stored.records.at(4).Flags[1], quint8(0));

    m_windows->clickListEntry(0);
    m_windows->clickListEntry(4);
    QCOMPARE(m_windows->paramMemo()->parameterText(), toggled);
}

void TestInputNameForm::existingNameIsOverwrittenOnlyAfterYes_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestInputNameForm::existingNameIsOverwrittenOnlyAfterYes()
{
    QFETCH(bool, yes);
    openDialog();
    typeName(QStringLiteral("mine"));
    confirm();
    m_windows->clickListEntry(0); // the list's selection stays here through an overwrite
    m_windows->clickCell(0, 2);
    const QByteArray configBefore = m_windows->configBytes();

    openDialog();
    typeName(QStringLiteral("mine"));
    m_windows->prompts.queueAnswer(yes);
    confirm();
    QCOMPARE(m_windows->prompts.questions, QStringList{text("与已有配置项重名，是否覆盖配置信息?")});
    QVERIFY(!InputNameForm->isVisible());
    QCOMPARE(m_windows->listEntries().size(), 5);
    QCOMPARE(m_windows->listSelection(), 0);
    if (!yes) {
        QCOMPARE(m_windows->configBytes(), configBefore);
        return;
    }
    const StyleFileContent stored = m_windows->storedStyles();
    QCOMPARE(stored.records.size(), 5);
    QCOMPARE(stored.selectedIndex, 4);
    m_windows->clickListEntry(4);
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-bad -gnu "));
}

QTEST_MAIN(TestInputNameForm)
#include "tst_inputnameform.moc"
