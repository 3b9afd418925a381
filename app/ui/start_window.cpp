#include "app/ui/start_window.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/ui/fonts.h"
#include "app/ui/main_window.h"
#include "app/ui/meter_icon.h"
#include "transport/port_map.h"
#include "transport/ui/demo_meter.h"

int startWindow(int argc, char** argv) {
    // The program's own options: --port COMn=PATH (repeatable), --demo, --connect,
    // --usb-connect, --sysfs-root DIR, --dev-root DIR.
    WindowOptions options = parseWindowOptions(argc, argv);
    if (options.error) {
        std::fprintf(stderr, "halvern: %s\n", options.error->c_str());
        return 2;
    }
    bool connectAtStart = false;
    bool usbConnectAtStart = false;
    std::vector<char*> qtArgs;
    for (std::string& arg : options.rest) {
        if (arg == "--connect") {
            connectAtStart = true;
        } else if (arg == "--usb-connect") {
            usbConnectAtStart = true;
        } else {
            qtArgs.push_back(arg.data());
        }
    }
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);

    QApplication app(qtArgc, qtArgs.data());
    installFontSubstitutions();
    // The taskbar button shows no text of its own.
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName(QString());
    // The menu entry's icon on every window and dialog; the desktop file names the program to
    // the window manager (Wayland matches the entry, and so its icon, by this name).
    QApplication::setWindowIcon(meterIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("halvern"));

    // The demo: a simulated meter on a pseudo-terminal that COM1 stands for.
    std::unique_ptr<DemoMeter> demo;
    if (options.demo) {
        demo = std::make_unique<DemoMeter>();
        if (!demo->isOpen()) {
            std::fprintf(stderr, "halvern: cannot create the demo meter's pseudo-terminal\n");
            return 1;
        }
        options.ports.setPath(0, demo->devicePath());
    }

    TFCOMM window;
    window.setPortMap(options.ports);
    window.setDeviceRoots(options.roots);
    window.show();
    if (connectAtStart) {
        // As if the user pressed "COM Connect" once the window is up.
        QTimer::singleShot(0, &window, [&window] { window.comConnectButton()->click(); });
    }
    if (usbConnectAtStart) {
        QTimer::singleShot(0, &window, [&window] { window.usbConnectButton()->click(); });
    }
    return app.exec();
}
