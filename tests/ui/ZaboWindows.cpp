#include "ZaboWindows.h"

#include "Application.h"
#include "Preview.h"
#include "TestFiles.h"

#include <QAction>
#include <QBuffer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

ZaboWindows::ZaboWindows() = default;

ZaboWindows::~ZaboWindows()
{
    destroyWindows();
}

StartupEnvironment ZaboWindows::environment()
{
    StartupEnvironment environment;
    environment.programDirectory = programDirectory.path() + QLatin1Char('/');
    environment.userDirectories = {userConfigDirectory(), userDocumentsDirectory()};
    environment.tempDirectory = tempDirectory.path();
    environment.prompts = &prompts;
    environment.exitProgram = [this](int status) { exitStatuses.append(status); };
    return environment;
}

QString ZaboWindows::userConfigDirectory() const
{
    return homeDirectory.filePath(QStringLiteral(".config/zabo"));
}

QString ZaboWindows::userDocumentsDirectory() const
{
    return homeDirectory.filePath(QStringLiteral("Documents"));
}

bool ZaboWindows::start()
{
    return start(environment());
}

bool ZaboWindows::start(const StartupEnvironment &environment)
{
    setPreviewWindowFactory(makePreviewForm);
    if (!createWindows(environment))
        return false;
    MainForm->show();
    MainForm->activateWindow();
    return QTest::qWaitForWindowActive(MainForm);
}

QTableView *ZaboWindows::grid() const
{
    return MainForm->findChild<QTableView *>(QStringLiteral("StyleGrid"));
}

QListWidget *ZaboWindows::list() const
{
    return MainForm->findChild<QListWidget *>(QStringLiteral("StyleListBox"));
}

ParameterMemo *ZaboWindows::paramMemo() const
{
    return MainForm->findChild<ParameterMemo *>(QStringLiteral("ParamMemo"));
}

QAction *ZaboWindows::action(const char *name) const
{
    return MainForm->findChild<QAction *>(QLatin1String(name));
}

void ZaboWindows::clickButton(QWidget *window, const char *name) const
{
    auto *button = window->findChild<QPushButton *>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

void ZaboWindows::clickCell(int row, int column) const
{
    QTableView *view = grid();
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(index).center());
}

void ZaboWindows::clickListEntry(int index, Qt::KeyboardModifiers modifiers) const
{
    QListWidget *view = list();
    QListWidgetItem *item = view->item(index);
    view->scrollToItem(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualItemRect(item).center());
}

bool ZaboWindows::isChecked(int row) const
{
    return grid()->model()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
}

QString ZaboWindows::checkedOptions() const
{
    QString text;
    for (int row = 0; row < grid()->model()->rowCount(); ++row) {
        if (isChecked(row))
            text += grid()->model()->index(row, 1).data().toString() + QLatin1Char(' ');
    }
    return text;
}

QStringList ZaboWindows::listEntries() const
{
    QStringList entries;
    for (int index = 0; index < list()->count(); ++index)
        entries.append(list()->item(index)->text());
    return entries;
}

int ZaboWindows::listSelection() const
{
    const QList<QListWidgetItem *> selected = list()->selectedItems();
    return selected.isEmpty() ? -1 : list()->row(selected.first());
}

QString ZaboWindows::configPath() const
{
    return programDirectory.filePath(QStringLiteral("Zabocfg.dat"));
}

QByteArray ZaboWindows::configBytes() const
{
    return readAll(configPath());
}

StyleFileContent ZaboWindows::storedStyles() const
{
    QBuffer buffer;
    buffer.setData(configBytes());
    buffer.open(QIODevice::ReadOnly);
    return readStyleFile(buffer);
}

QString recommendedParameterText()
{
    return QStringLiteral(
        "-bap -bbb -bbo -bli0 -br -brs -bs -c41 -cbi4 -cd41 -cdb -cdw -ce -ci0 -cs -fc1 -i4 "
        "-ip4 -l120 -lc120 -lp -nbc -nbfda -ncdb -npsl -nut -pcs -saf -sai -saw -sbi4 -sc "
        "-sob -ss -T -ts4 ");
}
