#include "app/ui/start_window.h"

#include <QApplication>

#include "app/ui/fonts.h"
#include "app/ui/main_window.h"

int startWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    installFontSubstitutions();
    // The taskbar button shows no text of its own.
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName(QString());
    TFCOMM window;
    window.show();
    return app.exec();
}
