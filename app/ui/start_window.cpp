#include "app/ui/start_window.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "app/ui/fonts.h"
#include "app/ui/main_window.h"
#include "app/ui/meter_icon.h"
#include "app/window_options.h"
#include "sim/ui/demo_meter.h"

namespace {

// While the application object connects to the display, the toolkit's messages are held back:
// when no display can be reached it ends the process with a fatal message and an abort. The
// fatal message is replaced by one line that says what to do, and the exit status is 1.
QtMessageHandler g_previousHandler = nullptr;
QList<std::pair<QtMsgType, QString>> g_heldMessages;

void holdStartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(
            stderr,
            "halvern: cannot open the window: no display could be reached (DISPLAY=%s); "
            "run it in a desktop session or under xvfb-run\n",
            qEnvironmentVariableIsSet("DISPLAY") ? qgetenv("DISPLAY").constData() : "unset");
        std::fflush(stderr);
        std::_Exit(1);
    }
    (void)context;
    g_heldMessages.append({type, text});
}

void releaseStartupMessages() {
    qInstallMessageHandler(g_previousHandler);
    for (const auto& [type, text] : std::as_const(g_heldMessages)) {
        const QMessageLogContext none;
        if (g_previousHandler != nullptr) {
            g_previousHandler(type, none, text);
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    }
    g_heldMessages.clear();
}

}  // namespace

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

    g_previousHandler = qInstallMessageHandler(holdStartupMessages);
    QApplication app(qtArgc, qtArgs.data());
    releaseStartupMessages();
    // The application object takes the user's locale for every category; number formatting in
    // shared code (files, conversions) must never follow it. The separators the display uses
    // are read from the locale on their own.
    std::setlocale(LC_NUMERIC, "C");
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
