// The baseline of startup_bench: a bare Qt Widgets program that shows an empty main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.resize(952, 551);
    window.show();
    return QApplication::exec();
}
