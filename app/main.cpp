#include "CellTable.h"
#include "QtPrompts.h"
#include "Startup.h"
#include "StyleStore.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPrompts prompts;
    StyleStore store(configPathIn(ProgramDirectory()), prompts);
    if (!store.LoadStyleFile())
        return 0;
    CellTable cells;
    QLabel window(cells.ShowStyle(store.styleFlags(store.SelectedIndex())));
    window.setWindowTitle(QString::fromUtf8("Zabo 代码风格格式化工具") + versionSuffix(programVersionValue()));
    window.setWordWrap(true);
    window.show();
    return app.exec();
}
