#include "Aboutme.h"
#include "Application.h"
#include "Main.h"
#include "ZaboWindows.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

class TestAboutForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void content();
    void showHideShowAgain_data();
    void showHideShowAgain();
    void textsCannotBeEdited();

private:
    QPlainTextEdit *memo(const char *name) const
    {
        return AboutForm->findChild<QPlainTextEdit *>(QLatin1String(name));
    }

    std::unique_ptr<ZaboWindows> m_windows;
};

void TestAboutForm::init()
{
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
    QVERIFY(!AboutForm); // built when first shown
    QVERIFY(ensureAboutForm());
}

void TestAboutForm::cleanup()
{
    m_windows.reset();
}

void TestAboutForm::content()
{
    QCOMPARE(AboutForm->windowTitle(), QString::fromUtf8("捐赠支持"));
    QCOMPARE(AboutForm->size(), QSize(736, 471));
    QCOMPARE(AboutForm->minimumSize(), AboutForm->maximumSize());
    QVERIFY(AboutForm->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(AboutForm->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    const QStringList paragraphs = memo("Memo1")->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(paragraphs.size(), 3);
    const QString indent = QStringLiteral("\u3000\u3000");
    QVERIFY(paragraphs.at(0).startsWith(indent) && paragraphs.at(0).contains(QStringLiteral("GNU indent")));
    QVERIFY(!paragraphs.at(1).startsWith(QChar(0x3000)));
    QVERIFY(paragraphs.at(2).startsWith(indent));
    QVERIFY(!memo("Memo2")->toPlainText().isEmpty());

    const struct
    {
        const char *name;
        QRect geometry;
        QSize picture;
    } viewers[] = {{"ImageViewer1", {8, 136, 240, 329}, {224, 340}},
                   {"ImageViewer2", {248, 136, 240, 329}, {246, 340}}};
    for (const auto &viewer : viewers) {
        auto *label = AboutForm->findChild<QLabel *>(QLatin1String(viewer.name));
        QVERIFY2(label, viewer.name);
        QCOMPARE(label->geometry(), viewer.geometry);
        QCOMPARE(label->pixmap().size(), viewer.picture);
    }
    QCOMPARE(AboutForm->findChild<QPushButton *>(QStringLiteral("ExitButton"))->text(),
             QString::fromUtf8("关闭窗口"));
}

void TestAboutForm::showHideShowAgain_data()
{
    QTest::addColumn<QString>("closedBy");
    QTest::newRow("close button") << "button";
    QTest::newRow("close box") << "close box";
    QTest::newRow("Esc") << "Esc";
}

void TestAboutForm::showHideShowAgain()
{
    QFETCH(QString, closedBy);
    const QPointer<TAboutForm> window = AboutForm;
    const QString first = memo("Memo1")->toPlainText();
    const QString second = memo("Memo2")->toPlainText();

    QTest::keyClick(MainForm, Qt::Key_F1, Qt::AltModifier);
    QVERIFY(AboutForm->isVisible());
    QVERIFY(!AboutForm->isModal());
    MainForm->AboutItemClick(); // showing it again leaves it open
    QVERIFY(AboutForm->isVisible());
    const QPoint offset = AboutForm->frameGeometry().center() - MainForm->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2, "centred on the main window");

    if (closedBy == QLatin1String("button"))
        m_windows->clickButton(AboutForm, "ExitButton");
    else if (closedBy == QLatin1String("Esc"))
        QTest::keyClick(AboutForm->findChild<QPlainTextEdit *>(QStringLiteral("Memo1")), Qt::Key_Escape);
    else
        QVERIFY(AboutForm->close());
    QVERIFY(!AboutForm->isVisible());
    QVERIFY(window);
    QVERIFY(MainForm->isVisible());

    MainForm->AboutItemClick();
    QVERIFY(AboutForm->isVisible());
    QCOMPARE(AboutForm, window.data());
    QCOMPARE(memo("Memo1")->toPlainText(), first);
    QCOMPARE(memo("Memo2")->toPlainText(), second);
}

void TestAboutForm::textsCannotBeEdited()
{
    MainForm->AboutItemClick();
    for (const char *name : {"Memo1", "Memo2"}) {
        QPlainTextEdit *text = memo(name);
        QVERIFY2(text->isReadOnly(), name);
        const QString before = text->toPlainText();
        text->setFocus();
        QTest::keyClicks(text, QStringLiteral("edit"));
        QTest::keyClick(text, Qt::Key_Backspace);
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(text->toPlainText(), before);
    }
}

QTEST_MAIN(TestAboutForm)
#include "tst_aboutform.moc"
