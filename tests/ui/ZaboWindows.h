#pragma once

#include "Main.h"
#include "ParameterMemo.h"
#include "ScriptedPrompts.h"
#include "StyleStore.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

class QAction;
class QListWidget;
class QTableView;

// The three real windows, started in scratch directories with scripted answers and an exit that only
// records its status.
class ZaboWindows
{
public:
    ZaboWindows();
    ~ZaboWindows();

    StartupEnvironment environment();
    // Creates the windows and shows the main window, active, as the entry does.
    bool start();

    QTableView *grid() const;
    QListWidget *list() const;
    ParameterMemo *paramMemo() const;
    QAction *action(const char *name) const;
    void clickButton(QWidget *window, const char *name) const;

    void clickCell(int row, int column) const;
    void clickListEntry(int index, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const;
    bool isChecked(int row) const;
    // The option texts of the rows the grid shows checked, joined as the parameter text is.
    QString checkedOptions() const;
    QStringList listEntries() const;
    int listSelection() const;

    QString configPath() const;
    QByteArray configBytes() const;
    StyleFileContent storedStyles() const;

    QTemporaryDir programDirectory;
    QTemporaryDir tempDirectory;
    ScriptedPrompts prompts;
    QList<int> exitStatuses;
};

// The parameter text of the recommended built-in style, selected on a first start.
QString recommendedParameterText();
