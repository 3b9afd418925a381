#include "app/ui/start_window.h"

#include <QApplication>
#include <QMainWindow>

int startWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.show();
    return app.exec();
}
