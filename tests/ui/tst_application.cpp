#include "Aboutme.h"
#include "AppLocations.h"
#include "Application.h"
#include "Inputname.h"
#include "Main.h"
#include "Preview.h"
#include "QtPrompts.h"
#include "ZaboWindows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Runs inspect on the modal dialog that call opens, then closes it with close.
template<typename Dialog>
void whileOpen(const std::function<void()> &call, const std::function<void(Dialog *)> &inspect,
               const std::function<void(Dialog *)> &close)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        seen = true;
        inspect(dialog);
        close(dialog);
    });
    call();
    QVERIFY(seen);
}

QStringList buttonTexts(const QList<QAbstractButton *> &buttons)
{
    QStringList texts;
    for (const QAbstractButton *button : buttons)
        texts.append(button->text());
    texts.sort();
    return texts;
}

QImage rendered(const QIcon &icon)
{
    return icon.pixmap(QSize(64, 64)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Alike but for the rounding that a PNG's unpremultiplied colours bring.
bool alike(const QImage &one, const QImage &other)
{
    if (one.size() != other.size())
        return false;
    for (int y = 0; y < one.height(); ++y) {
        for (int x = 0; x < one.width(); ++x) {
            const QRgb a = one.pixel(x, y);
            const QRgb b = other.pixel(x, y);
            if (qAbs(qAlpha(a) - qAlpha(b)) > 2 || qAbs(qRed(a) - qRed(b)) > 3 ||
                qAbs(qGreen(a) - qGreen(b)) > 3 || qAbs(qBlue(a) - qBlue(b)) > 3)
                return false;
        }
    }
    return true;
}

} // namespace

// What every window and dialog shares once the entry has prepared the application: Qt's own texts in
// Chinese, the program's icon, and the program's name as the title of its boxes.
class TestApplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void questionBoxSpeaksChinese();
    void fileDialogSpeaksChinese();
    void boxesAreTitledWithTheProgramName_data();
    void boxesAreTitledWithTheProgramName();
    void everyWindowShowsTheProgramIcon();
};

void TestApplication::initTestCase()
{
    QVERIFY2(prepareApplication(), "qtbase_zh_CN.qm is missing: run tools/install-deps.sh");
}

void TestApplication::questionBoxSpeaksChinese()
{
    QStringList buttons;
    whileOpen<QMessageBox>([] { QMessageBox::question(nullptr, QStringLiteral("t"), QStringLiteral("q")); },
                           [&](QMessageBox *box) { buttons = buttonTexts(box->buttons()); },
                           [](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
    QCOMPARE(buttons, (QStringList{text("否(&N)"), text("是(&Y)")}));
}

void TestApplication::fileDialogSpeaksChinese()
{
    QtPrompts prompts;
    QStringList labels;
    QStringList buttons;
    bool native = true;
    whileOpen<QFileDialog>(
        [&] {
            prompts.openFiles({QStringLiteral("t"), {QStringLiteral("C (*.c)")}, QDir::tempPath(), false});
        },
        [&](QFileDialog *dialog) {
            native = !dialog->findChild<QLabel *>(QStringLiteral("lookInLabel"));
            for (const char *name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
                if (const auto *label = dialog->findChild<QLabel *>(QLatin1String(name)))
                    labels.append(label->text());
            }
            buttons = buttonTexts(dialog->findChild<QDialogButtonBox *>()->buttons());
        },
        [](QFileDialog *dialog) { dialog->reject(); });
    QVERIFY2(!native, "the program's file dialog is Qt's own");
    QCOMPARE(labels, (QStringList{text("查找范围："), text("文件名称(&N)："), text("文件类型：")}));
    QCOMPARE(buttons, (QStringList{text("取消"), text("打开(&O)")}));
}

void TestApplication::boxesAreTitledWithTheProgramName_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("message") << 0 << QStringList{text("确定")};
    QTest::newRow("warning question") << 1 << QStringList{text("否(&N)"), text("是(&Y)")};
    QTest::newRow("information question") << 2 << QStringList{text("取消"), text("确定")};
}

void TestApplication::boxesAreTitledWithTheProgramName()
{
    QFETCH(int, kind);
    QFETCH(QStringList, buttons);
    QtPrompts prompts;
    QString title;
    QStringList seen;
    whileOpen<QMessageBox>(
        [&] {
            if (kind == 0)
                prompts.ShowMessage(QStringLiteral("m"));
            else if (kind == 1)
                prompts.askWarningYesNo(QStringLiteral("q"));
            else
                prompts.askInformationOkCancel(QStringLiteral("q"));
        },
        [&](QMessageBox *box) {
            title = box->windowTitle();
            seen = buttonTexts(box->buttons());
        },
        [](QMessageBox *box) { box->buttons().constFirst()->click(); });
    QCOMPARE(title, text("Zabo 代码风格格式化工具"));
    QCOMPARE(title, programDisplayName());
    QCOMPARE(seen, buttons);
}

void TestApplication::everyWindowShowsTheProgramIcon()
{
    // the SVG the desktop menu installs, drawn as the window manager would ask for it
    QSvgRenderer svg(QStringLiteral(ZABO_ICON_SOURCE));
    QVERIFY(svg.isValid());
    QImage drawn(64, 64, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    const QImage expected = drawn.convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!QApplication::windowIcon().isNull());
    QVERIFY(alike(rendered(QApplication::windowIcon()), expected));
    // each size decoded when asked for, and greyed when shown disabled, as any icon is
    const QIcon icon = QApplication::windowIcon();
    QCOMPARE(icon.availableSizes().size(), QDir(QStringLiteral(":/icons")).entryList(QDir::Dirs).size());
    QVERIFY(icon.pixmap(32, QIcon::Disabled).toImage() != icon.pixmap(32).toImage());
    // not alike to just anything: a blank square is not the icon
    QImage blank(64, 64, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    QVERIFY(!alike(blank, expected));

    ZaboWindows windows;
    QVERIFY(windows.start());
    const QList<QWidget *> all = {MainForm, ensureInputNameForm(), ensurePreviewForm(), ensureAboutForm()};
    for (QWidget *window : all) {
        QVERIFY(window->isWindow());
        QCOMPARE(window->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
    }
    QtPrompts prompts(MainForm);
    whileOpen<QMessageBox>([&] { prompts.ShowMessage(QStringLiteral("m")); },
                           [](QMessageBox *box) {
                               QCOMPARE(box->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
                           },
                           [](QMessageBox *box) { box->buttons().constFirst()->click(); });
    QVERIFY(MainForm->windowTitle().startsWith(programDisplayName() + QLatin1Char(' ')));
}

QTEST_MAIN(TestApplication)
#include "tst_application.moc"
