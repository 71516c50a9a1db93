// The baselines of startup_bench: a bare Qt Widgets program that shows an empty main window of zabo's
// size and, built with ZABO_CHINESE_WINDOW, the same window with a Chinese menu bar and a Chinese label,
// which costs what any Chinese text costs: fontconfig, a CJK font and shaping.
#include <QApplication>
#include <QMainWindow>
#ifdef ZABO_CHINESE_WINDOW
#include <QLabel>
#include <QMenuBar>
#endif

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
#ifdef ZABO_CHINESE_WINDOW
    for (const char *item :
         {"Indent目录(Ctrl+D)", "Indent文件(Ctrl+F)", "工具", "捐赠支持(Alt+F1)", "退出(Alt+F4)"})
        window.menuBar()->addAction(QString::fromUtf8(item));
    window.setCentralWidget(new QLabel(QString::fromUtf8("风格配置项 [单击加载]")));
#endif
    window.resize(952, 551);
    window.show();
    return QApplication::exec();
}
