#include "app/ui/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QSysInfo>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "app/cli/command_line.h"
#include "app/outputs/ui/output_dialogs.h"
#include "app/outputs/ui/window_outputs.h"
#include "app/ui/click_panel.h"
#include "app/ui/fonts.h"
#include "app/ui/help_windows.h"
#include "app/ui/paint_pacer.h"
#include "app/ui/toggle_group_view.h"
#include "app/ui/window_consumer.h"
#include "display/ui/analog_scale.h"
#include "display/ui/scale_limits_window.h"
#include "display/ui/trend_chart.h"
#include "lcd/ui/bar_graph.h"
#include "lcd/ui/connection_indicator_view.h"
#include "lcd/ui/virtual_lcd.h"
#include "meter/locale_decimal_separator.h"
#include "meter/model_profile.h"
#include "meter/reading_pipeline.h"
#include "recording/ui/recording_controls.h"
#include "recording/ui/recording_room.h"
#include "recording/ui/recovery_offer.h"
#include "session/meter_session.h"
#include "transport/device_identity.h"
#include "transport/hid/hid_link_binding.h"
#include "transport/hid/ui/hid_devices_window.h"
#include "transport/hid/ui/hid_link.h"
#include "transport/loop/ui/qt_event_loop.h"
#include "transport/serial/port_map.h"
#include "transport/serial/ui/serial_connection_view.h"
#include "transport/serial/ui/serial_link.h"
#include "transport/usb_bridge/ui/usb_bridge_link.h"
#include "transport/usb_bridge/usb_xpress_link.h"

namespace {

const char* const kBaseTitle = "Halvern Interface Program Ver2.00";

// "hh : nn : ss     mm - dd - yyyy", the LCD's hidden time label.
QByteArray lcdTimeText() {
    return QDateTime::currentDateTime()
        .toString(QStringLiteral("HH : mm : ss     MM - dd - yyyy"))
        .toLatin1();
}

}  // namespace

TFCOMM::TFCOMM(QWidget* parent) : QMainWindow(parent) {
    installFontSubstitutions();
    setObjectName(QStringLiteral("FCOMM"));
    // A fixed single border: system menu, minimise and close; no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(windowFont());

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(m_client);

    buildMenu();
    buildTopBar();
    buildAreas();
    buildRecording();
    buildShortcuts();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    // However fast frames come, the window paints about 30 times a second.
    m_paintPacer = new PaintPacer(this);

    m_quitRequest = [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    };
    FormCreate();
}

TFCOMM::~TFCOMM() {
    // The table goes before the chart (a child widget).
    if (m_trendChart != nullptr) {
        m_trendChart->setRowTable(nullptr);
    }
}

void TFCOMM::buildLinks() {
    // "COM Connect": the session's serial driver on the selector panels and hidden menus.
    SerialLink::Widgets serialWidgets;
    for (std::size_t i = 0; i < m_portPanels.size(); ++i) {
        serialWidgets.panels[i] = m_portPanels[i];
    }
    serialWidgets.comSetupMenu = m_comSetupMenu;
    serialWidgets.connectMenu = m_connectMenu;
    m_serial = std::make_unique<SerialLink>(serialWidgets, *m_session, this);
    m_connectGroup.setHandler(m_comConMember, [this](bool) { COMConClick(); });
    m_session->serialControl().showComConDown = [this](bool down) {
        m_connectGroup.setDown(m_comConMember, down);
    };
    // A port that goes away while "COM Connect" is down says so where its open failure would.
    m_session->serial().setOnPortLost([this](TCommPortDriver*) {
        m_serial->control().portLost();
        showSerialFailure();
    });
    // A link whose device went away waits for it with its button down; the LCD panel says so
    // until the device is back or the button is released.
    m_session->onWaitingFor = [this](const std::string& device) { showWaitingFor(device); };
    // "USB Connect ": the bridge's frames go to the same decoder as the serial ones; the exit
    // stops its Timer1.
    m_usbLink = std::make_unique<UsbBridgeLink>(m_usb, *m_session, this);
    m_connectGroup.setHandler(m_usbMember, [this](bool down) { m_usbLink->USBClick(down); });
    connect(this, &TFCOMM::usbTimerStopRequested, m_usbLink.get(), &UsbBridgeLink::stopTimer);
    // "HID Connect": the cable's frames go to the same decoder; the idle check rides on the
    // connection indicator.
    m_hidLink = std::make_unique<HidLink>(*m_session, this);
    m_connectGroup.setHandler(m_usbConMember, [this](bool down) { m_hidLink->USBConClick(down); });
    m_connectGroup.setHandler(m_readBtnMember,
                              [this](bool down) { m_hidLink->ReadBtnClick(down); });
    connect(m_hidLink.get(), &HidLink::usbConReleased, this,
            [this] { m_connectGroup.setDown(m_usbConMember, false); });
    connect(m_hidLink.get(), &HidLink::readBtnReleased, this,
            [this] { m_connectGroup.setDown(m_readBtnMember, false); });
    connect(m_hidLink.get(), &HidLink::deviceCheckRequested, this, [this] { showDeviceCheck(); });
}

ReadingPipeline& TFCOMM::pipeline() {
    return m_session->pipeline();
}

ReadingPipeline& TFCOMM::readingPipeline() const {
    return m_session->pipeline();
}

void TFCOMM::setDeviceRoots(const DeviceRoots& roots) {
    m_deviceRoots = roots;
    m_session->setRoots(roots);
}

QString TFCOMM::programTitle(bool is64BitOs) {
    return QString::fromLatin1(kBaseTitle) +
           (is64BitOs ? QStringLiteral("(x64)") : QStringLiteral("(x86)"));
}

bool TFCOMM::is64BitOperatingSystem() {
    // The kernel's architecture, not this build's: a 32-bit build on a 64-bit system says x64.
    const QString arch = QSysInfo::currentCpuArchitecture();
    return arch.contains(QLatin1String("64")) || arch == QLatin1String("s390x");
}

QString TFCOMM::readLocaleDecimalSeparator() {
    // The same reading as the command line's, so a capture decodes alike in both: one Latin-1
    // character, the program's own character set.
    return QString::fromLatin1(ReadLocaleDecimalSeparator());
}

ClickPanel* TFCOMM::portPanel(int index) const {
    if (index < 0 || index >= static_cast<int>(m_portPanels.size())) {
        return nullptr;
    }
    return m_portPanels[static_cast<std::size_t>(index)];
}

void TFCOMM::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto addMenu = [bar](const QString& title, const char* name, bool visible) {
        QMenu* menu = bar->addMenu(title);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setVisible(visible);
        return menu;
    };
    // The two entries without caption hold nothing: shown, they are empty slivers in the bar.
    m_firstMenu = addMenu(QString(), "N1", false);
    m_recordMenu = addMenu(QStringLiteral("&Record"), "Record1", true);
    m_lastMenu = addMenu(QString(), "N2", false);
    m_comSetupMenu = addMenu(QStringLiteral("ComSetup"), "ComSetup1", false);
    m_connectMenu = addMenu(QStringLiteral("Connect"), "Connect1", false);
    m_graphicMenu = addMenu(QStringLiteral("Graphic"), "Graphic1", false);
    m_exitMenu = addMenu(QStringLiteral("Exit"), "Exit1", false);
    QAction* exitItem = m_exitMenu->addAction(QStringLiteral("Exit"));
    exitItem->setObjectName(QStringLiteral("EXIT1"));
    connect(exitItem, &QAction::triggered, this, &TFCOMM::BtExit1Click);
    // The limits and running extremes of the scale are offered here.
    m_scaleMenu = addMenu(QStringLiteral("&Scale"), "ScaleMenu", true);
    QAction* limits = m_scaleMenu->addAction(QStringLiteral("Limits\u2026"));
    limits->setObjectName(QStringLiteral("ScaleLimits"));
    connect(limits, &QAction::triggered, this, [this] {
        ScaleLimitsWindow* w = limitsWindow();
        w->refreshExtremes();
        w->show();
        w->raise();
        w->activateWindow();
    });
    // The HID cable's device list and logs.
    m_hidMenu = addMenu(QStringLiteral("H&ID"), "HidMenu", true);
    QAction* hidDevices = m_hidMenu->addAction(QStringLiteral("HID &devices\u2026"));
    hidDevices->setObjectName(QStringLiteral("HidDevices"));
    connect(hidDevices, &QAction::triggered, this, [this] {
        startHidLink();
        m_hidLink->showDevicesWindow();
    });
    // Last, where desktop programs keep it; other rooms add their entries through helpMenu().
    m_helpMenu = addMenu(QStringLiteral("&Help"), "HelpMenu", true);
    QAction* shortcuts = m_helpMenu->addAction(QStringLiteral("&Keyboard shortcuts"));
    shortcuts->setObjectName(QStringLiteral("KeyboardShortcuts"));
    shortcuts->setShortcut(QKeySequence(Qt::Key_F1));
    connect(shortcuts, &QAction::triggered, this, [this] {
        if (m_shortcutsDialog == nullptr) {
            m_shortcutsDialog = new KeyboardShortcutsDialog(this);
        }
        m_shortcutsDialog->show();
        m_shortcutsDialog->raise();
        m_shortcutsDialog->activateWindow();
    });
    QAction* deviceCheck = m_helpMenu->addAction(QStringLiteral("&Device check\u2026"));
    deviceCheck->setObjectName(QStringLiteral("DeviceCheck"));
    connect(deviceCheck, &QAction::triggered, this, [this] { showDeviceCheck(); });
    QAction* about = m_helpMenu->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("About"));
    connect(about, &QAction::triggered, this, [this] { showAboutBox(this); });
}

DeviceCheckDialog* TFCOMM::showDeviceCheck() {
    if (m_deviceCheckDialog == nullptr) {
        m_deviceCheckDialog = new DeviceCheckDialog(m_deviceRoots, this);
    } else {
        m_deviceCheckDialog->check(m_deviceRoots);
    }
    m_deviceCheckDialog->show();
    m_deviceCheckDialog->raise();
    m_deviceCheckDialog->activateWindow();
    return m_deviceCheckDialog;
}

void TFCOMM::buildShortcuts() {
    // The desktop's keys for the board's buttons and "Exit"; each runs the handler the button
    // runs, boxes and questions included.
    auto shortcut = [this](const char* name, const QString& text, const QKeySequence& keys,
                           std::function<void()> run) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, std::move(run));
    };
    RecordingControls& controls = m_recording->controls();
    shortcut("SaveShortcut", QStringLiteral("Save data files"), QKeySequence(Qt::CTRL | Qt::Key_S),
             [&controls] { controls.saveasClick(); });
    shortcut("OpenShortcut", QStringLiteral("Open old data files"),
             QKeySequence(Qt::CTRL | Qt::Key_O), [&controls] { controls.SpeedButton2Click(); });
    shortcut("PrintShortcut", QStringLiteral("Print Data (preview)"),
             QKeySequence(Qt::CTRL | Qt::Key_P), [&controls] { controls.MajPrintClick(); });
    shortcut("NewShortcut", QStringLiteral("Close Data (New)"), QKeySequence(Qt::CTRL | Qt::Key_N),
             [&controls] { controls.RecordNewClick(); });
    shortcut("ExitShortcut", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_Q),
             [this] { BtExit1Click(); });
}

void TFCOMM::buildTopBar() {
    for (int i = 0; i < 4; ++i) {
        auto* panel = new ClickPanel(QStringLiteral("COM %1").arg(i + 1), m_client);
        panel->setObjectName(QStringLiteral("BtCOM%1").arg(i + 1));
        panel->setGeometry(13, 4, 61, 24);
        panel->setVisible(i == 0);
        m_portPanels[static_cast<std::size_t>(i)] = panel;
    }
    auto button = [this](const QString& caption, const char* name, const QRect& place,
                         bool checkable) {
        auto* b = new QPushButton(caption, m_client);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(place);
        b->setCheckable(checkable);
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    };
    m_comCon = button(QStringLiteral("COM Connect"), "COMCon", QRect(84, 3, 94, 25), true);
    m_usb = button(QStringLiteral("USB Connect "), "USB", QRect(188, 3, 105, 25), true);
    m_usbCon = button(QStringLiteral("HID Connect"), "USBCon", QRect(303, 3, 94, 25), true);
    m_usbCon->setToolTip(QString::fromLatin1(HidLink::kToolTip));
    m_exitButton = button(QStringLiteral("Exit"), "BitBtn1", QRect(696, 3, 105, 25), false);
    connect(m_exitButton, &QPushButton::clicked, this, &TFCOMM::BitBtn1Click);

    // The exclusive group of the connect buttons, and the serial link behind "COM Connect".
    m_comConMember = m_connectGroup.add("COM Connect", [this](bool) { COMConClick(); });
    m_usbMember = m_connectGroup.add("USB Connect ", {});
    // Every new connection starts the bad-frame count afresh.
    m_connectGroup.onConnecting = [this](int) {
        if (m_lcd != nullptr) {
            m_lcd->resetFailureNotice();
        }
    };
    m_connectGroupView = new ToggleGroupView(m_connectGroup, this);
    m_connectGroupView->bind(m_comConMember, m_comCon);
    m_connectGroupView->bind(m_usbMember, m_usb);
    // The HID link binds its handlers; ReadBtn's button lives in the "HID devices" window.
    m_usbConMember = m_connectGroup.add("HID Connect", {});
    m_readBtnMember = m_connectGroup.add("Read", {});
    m_connectGroupView->bind(m_usbConMember, m_usbCon);
    connect(m_portPanels[0], &ClickPanel::clicked, this, &TFCOMM::COM21Click);
    connect(m_portPanels[1], &ClickPanel::clicked, this, &TFCOMM::COM31Click);
    connect(m_portPanels[2], &ClickPanel::clicked, this, &TFCOMM::COM41Click);
    connect(m_portPanels[3], &ClickPanel::clicked, this, &TFCOMM::COM11Click);
}

void TFCOMM::buildAreas() {
    m_lcd = new VirtualLcd(m_client);
    m_lcd->move(8, 35);
    m_lcdPanel = m_lcd;

    m_barGraph = new BarGraph(m_client);
    m_barGraph->setObjectName(QStringLiteral("PBar2"));
    m_barGraph->setGeometry(9, 240, 421, 17);
    m_barGraph->setRange(0, 40);
    m_barGraph->setValue(20);
    // The bar covers the panel's last row (35 + 206 > 240): without that row in the panel's
    // shape, a repaint of the bar does not paint the LCD beneath it a second time.
    m_lcd->setMask(QRegion(0, 0, m_lcd->width(), m_barGraph->y() - m_lcd->y()));

    m_functionBoard = new QGroupBox(QStringLiteral("Function board"), m_client);
    m_functionBoard->setObjectName(QStringLiteral("GroupBox1"));
    m_functionBoard->setGeometry(8, 264, 425, 41);

    m_gridArea = new QWidget(m_client);
    m_gridArea->setObjectName(QStringLiteral("DBGrid1"));
    m_gridArea->setGeometry(6, 312, 426, 217);

    m_scale = new AnalogScale(m_client);
    m_scale->move(433, 36);
    m_scalePanel = m_scale;
    m_indicator = new ConnectionIndicatorView(m_scale);
    m_consumer = std::make_unique<WindowConsumer>(*m_indicator, *m_lcd, *m_scale, *m_barGraph);
    // The window's part comes first in every step, the table's and the chart's after it.
    m_consumers.add(*m_consumer);

    // The chart controller is created with the chart (page size 100); enlarge hides the LCD
    // and the "Function board".
    m_trendChart = new TrendChart(m_client);
    m_trendChart->setGeometry(432, 177, 373, 353);
    m_trendChart->setEnlargeTargets(m_lcdPanel, m_functionBoard);
    m_trendChart->fillGraphicMenu(m_graphicMenu);
    m_chartArea = m_trendChart;
    m_consumers.add(*m_trendChart);
}

void TFCOMM::replaceArea(QWidget*& area, QWidget* replacement) {
    if (replacement == nullptr || replacement == area) {
        return;
    }
    replacement->setParent(m_client);
    replacement->setGeometry(area->geometry());
    replacement->setObjectName(area->objectName());
    replacement->show();
    replacement->stackUnder(area);
    delete area;
    area = replacement;
}

void TFCOMM::buildRecording() {
    // The empty measurement table, its grid at DBGrid1, the "Function board" and "Record" menu.
    m_recording = std::make_unique<RecordingRoom>(this);
    MeasurementGrid* grid = m_recording->install(m_functionBoard, m_recordMenu, m_client);
    setGridWidget(grid);
    // A recording step that fails on the user's own edit text is shown at that edit; the
    // bad-frame notice counts only frames the meter sent.
    m_recording->setConversionFailure([this](std::string_view message) {
        m_recording->controls().noteRecordingFailure(
            QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size())));
    });
    // New starts the bad-frame count afresh.
    connect(&m_recording->controls(), &RecordingControls::recordNewDone, m_lcd,
            &VirtualLcd::resetFailureNotice);
    // A written report is told where the connection notice goes: not a box, the user goes on.
    connect(&m_recording->controls(), &RecordingControls::reportWritten, this,
            [this](const QString& fileName) {
                m_lcd->showConnectionNotice(
                    tr("report written to %1").arg(QFileInfo(fileName).fileName()),
                    tr("The report was written to %1").arg(fileName));
            });
    m_consumers.add(m_recording->recordingStep());
    // A journal that cannot be written says so on the LCD panel, not in a box per row.
    m_recording->setJournalNotice([this](const QString& text) {
        if (m_lcd != nullptr) {
            m_lcd->showJournalNotice(text, text);
        }
    });
    // New (the board's button, the hidden menu item, the chart's own button) clears the chart.
    m_recording->setChartClear([this] {
        if (m_trendChart != nullptr) {
            m_trendChart->clearChart();
        }
    });
    connect(m_trendChart, &TrendChart::newRequested, &m_recording->controls(),
            &RecordingControls::RecordNewClick);
    // A point clicked in the chart picks its row in the table; a row picked in the table shows
    // its point in the chart.
    m_trendChart->setRowTable(&m_recording->table());
    connect(m_trendChart, &TrendChart::rowPicked, grid->model(),
            &MeasurementTableModel::setCurrentRow);
    connect(grid, &MeasurementGrid::currentRowPicked, m_trendChart, &TrendChart::showRow);
    // Closing the table on exit discards its rows.
    connect(this, &TFCOMM::tableCloseRequested, this, [this] { m_recording->table().clear(); });
}

void TFCOMM::setGridWidget(QWidget* grid) {
    replaceArea(m_gridArea, grid);
}

void TFCOMM::setChartWidget(QWidget* chart) {
    if (chart != nullptr && chart != m_chartArea && m_chartArea == m_trendChart) {
        m_consumers.remove(*m_trendChart);  // the trend chart is about to go
        m_trendChart = nullptr;
    }
    replaceArea(m_chartArea, chart);
}

ScaleLimitsWindow* TFCOMM::limitsWindow() {
    if (m_limitsWindow == nullptr) {
        m_limitsWindow = new ScaleLimitsWindow(*m_scale, this);
    }
    return m_limitsWindow;
}

void TFCOMM::FormCreate() {
    // The steps of the other rooms (time stamp, chart controller, table, recording state, chart
    // axis) run where those rooms attach; this is the window's share, in its order.
    // 1. The locale's decimal separator, for the decoder's value text.
    m_localeDecimalSeparator = readLocaleDecimalSeparator();
    m_separatorBytes = m_localeDecimalSeparator.toLatin1();
    // The table's Time takes the system's time separator.
    m_recording->recorder().setTimeSeparator(ReadLocaleTimeSeparator().front());
    // 4. The LCD's hidden time label.
    LcdState start = m_lcd->shownState();
    const QByteArray time = lcdTimeText();
    start.timeText.assign(std::string_view(time.constData(), static_cast<size_t>(time.size())));
    m_lcd->apply(start);
    // 5. The default count mode "4" (scale and limits); the extremes remember unit "113".
    m_scale->setScaleParams(defaultCountMode().scale);
    // 8. The model profile: the frame handler, the title and the count mode's whole row.
    m_profile = applyProfile(ProfileSwitches{});
    // The session: the links and the reading engine on the window's event loop, recording
    // through the table's recorder, the HID cable's idle check on the indicator.
    MeterSession::Options options;
    options.handler = m_profile.receiveHandler;
    options.hidHandler = m_profile.hidHandler;
    options.decimalSeparator.assign(m_separatorBytes.constData(),
                                    static_cast<std::size_t>(m_separatorBytes.size()));
    options.roots = m_deviceRoots;
    options.indicator = &m_indicator->indicator();
    options.recorder = &m_recording->recorder();
    m_loop = createQtEventLoop();
    m_session = std::make_unique<MeterSession>(*m_loop, m_clock, options);
    m_session->consumers().add(m_consumers);
    buildLinks();
    buildOutputs();
    if (m_profile.title) {
        setWindowTitle(QString::fromUtf8(m_profile.title->data(),
                                         static_cast<qsizetype>(m_profile.title->size())));
    }
    if (m_profile.countMode != nullptr) {
        const CountMode& mode = *m_profile.countMode;
        m_scale->setScaleParams(mode.scale);
        m_scale->limits().applyCountMode(mode);
        if (mode.barMaximum > 0) {
            m_barGraph->setMaximum(mode.barMaximum);
        }
    }
    // The profile binds the serial driver's bytes to its frame handler and preselects COM1.
    if (m_profile.preselectsCom1) {
        m_serial->control().selectPort(0);
    }
    // 9. The chart's value axis spans +- the profile's full-scale count for the whole run.
    const int fullScale = m_profile.effectiveCountMode().scale.fullScale;
    m_trendChart->control().SetValueMax(fullScale);
    m_trendChart->control().SetValueMin(-fullScale);
    // 10. The scale's face with the needle at zero.
    m_scale->KDsetup();
    m_scale->KDrun(m_scale->scaleParams().needleOffset);
    // 11. The suffix, by whether the operating system is 64-bit.
    setWindowTitle(windowTitle() +
                   (is64BitOperatingSystem() ? QStringLiteral("(x64)") : QStringLiteral("(x86)")));
}

void TFCOMM::buildOutputs() {
    m_outputs = std::make_unique<WindowOutputs>(*m_session, WindowOutputs::defaultSettingsPath(),
                                                programVersion());
    m_outputs->defaultMeterId = [this] { return linkIdentity(); };
    m_outputs->deviceSerial = [this] {
        const std::string node = linkDevice();
        return node.empty() ? std::string() : usbSerialOfNode(m_deviceRoots, node).value_or("");
    };
    connect(m_outputs.get(), &WindowOutputs::statusChanged, m_lcd, &VirtualLcd::showOutputsNotice);
    m_recordMenu->addSeparator();
    QAction* publish = m_recordMenu->addAction(QStringLiteral("&Publish\u2026"));
    publish->setObjectName(QStringLiteral("Publish"));
    connect(publish, &QAction::triggered, this, &TFCOMM::showPublishDialog);
    QAction* scpi = m_recordMenu->addAction(QStringLiteral("SCPI &server\u2026"));
    scpi->setObjectName(QStringLiteral("ScpiServer"));
    connect(scpi, &QAction::triggered, this, &TFCOMM::showScpiServerDialog);
    // What was on when the program last ended starts again.
    m_outputs->restore();
}

std::string TFCOMM::linkDevice() const {
    if (m_session->serial().Connected()) {
        return m_session->serial().devicePath();
    }
    if (m_connectGroup.isDown(m_usbMember) && m_usbLink->link().holdsDevice()) {
        return m_usbLink->link().si().lastOpen().path;
    }
    if (m_connectGroup.isDown(m_usbConMember) && m_session->hidController() != nullptr) {
        if (const HidCableBinding* hid = m_session->hid();
            hid != nullptr && hid->link().readingDevice() != nullptr) {
            return hid->link().readingDevice()->node();
        }
    }
    return {};
}

std::string TFCOMM::linkIdentity() const {
    const std::string node = linkDevice();
    if (node.empty()) {
        return node;
    }
    // The USB serial number names the meter's cable wherever it is plugged in, as halvern log's
    // default meter id does.
    return usbSerialOfNode(m_deviceRoots, node).value_or(node);
}

void TFCOMM::showPublishDialog() {
    PublishDialog dialog(
        m_outputs->publishForm(), QString::fromStdString(m_outputs->currentDefaultMeterId()),
        m_outputs->settingsPath(),
        [this](const PublishForm& form) { return m_outputs->applyPublish(form); }, this);
    dialog.exec();
}

void TFCOMM::showScpiServerDialog() {
    ScpiServerDialog dialog(
        m_outputs->scpiForm(), [this](const ScpiForm& form) { return m_outputs->applyScpi(form); },
        this);
    dialog.exec();
}

void TFCOMM::startHidLink() {
    // The list is filled and the cable selected before the window is first painted.
    m_hidLink->start(m_deviceRoots);
    if (!m_readBtnBound && m_hidLink->devicesWindow() != nullptr) {
        m_readBtnBound = true;
        m_connectGroupView->bind(m_readBtnMember, m_hidLink->devicesWindow()->readBtn());
    }
}

int TFCOMM::offerRecovery(const std::string& journalFolder) {
    delete m_recoveryOffer;
    m_recoveryOffer = new RecoveryOffer(*m_recording, this, this);
    return m_recoveryOffer->start(journalFolder);
}

void TFCOMM::showEvent(QShowEvent* event) {
    startHidLink();
    QMainWindow::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        if (QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

void TFCOMM::BitBtn1Click() {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"),
                    QStringLiteral("Are you ensure to exit the program") + QChar(0xFF1F),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("exitQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) {
        return;
    }
    if (!settleUnsavedRows()) {
        return;
    }
    m_exiting = true;  // the user has answered; closing asks nothing more
    if (m_quitRequest) {
        m_quitRequest();
    }
    emit tableCloseRequested();
    emit usbTimerStopRequested();
}

void TFCOMM::closeEvent(QCloseEvent* event) {
    if (!m_exiting && !settleUnsavedRows()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool TFCOMM::settleUnsavedRows() {
    if (m_recording->controls().saving()) {
        return false;  // its progress says when it is done
    }
    if (m_recording->hasUnsavedRows()) {
        const int rows = static_cast<int>(std::min<std::size_t>(m_recording->table().rowCount(),
                                                                std::numeric_limits<int>::max()));
        const int answer = m_unsavedQuestion ? m_unsavedQuestion(rows) : askAboutUnsavedRows(rows);
        if (answer == QMessageBox::Save) {
            // The table is saved as it stands: readings that come meanwhile would be lost
            // with the window.
            m_recording->setRecordingPaused(true);
            if (!m_recording->controls().saveTableAs()) {
                m_recording->setRecordingPaused(false);
                return false;  // cancelled or failed: the rows stay, and so does the window
            }
        } else if (answer != QMessageBox::Discard) {
            return false;
        }
    }
    m_recording->endCleanly();
    return true;
}

int TFCOMM::askAboutUnsavedRows(int rows) {
    QMessageBox box(QMessageBox::Warning, windowTitle(),
                    rows == 1 ? tr("The table holds 1 row that has not been saved.")
                              : tr("The table holds %1 rows that have not been saved.").arg(rows),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("unsavedQuestion"));
    box.setInformativeText(tr("Save them before closing?"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec();
}

void TFCOMM::BtExit1Click() {
    m_exitButton->click();
}

void TFCOMM::setPortMap(const PortMap& ports) {
    m_serial->setPortMap(ports);
}

void TFCOMM::COM11Click() {
    m_serial->control().selectPort(0);
}

void TFCOMM::COM21Click() {
    m_serial->control().selectPort(1);
}

void TFCOMM::COM31Click() {
    m_serial->control().selectPort(2);
}

void TFCOMM::COM41Click() {
    m_serial->control().selectPort(3);
}

void TFCOMM::COMConClick() {
    m_serial->control().COMConClick(m_connectGroup.isDown(m_comConMember));
    showSerialFailure();
}

void TFCOMM::BTCon1Click() {
    m_serial->control().BTCon1Click();
    showSerialFailure();
}

void TFCOMM::BtDiscon1Click() {
    m_serial->control().BtDiscon1Click();
    showSerialFailure();
}

void TFCOMM::showSerialFailure() {
    // Not a box: the window stays usable, the reason stays in view until the button goes up.
    // The panel has room for one short line: the device and the reason come first there, the
    // whole text with its hint stays in the tool tip.
    const QString failure = QString::fromLocal8Bit(m_serial->control().state().failure);
    const QLatin1String prefix("cannot open the port ");
    const QString shown = failure.startsWith(prefix) ? failure.mid(prefix.size()) : failure;
    m_lcd->showConnectionNotice(shown, failure);
}

void TFCOMM::showWaitingFor(const std::string& device) {
    if (device.empty()) {
        // Only the waiting notice goes: a failure shown since stays.
        if (m_waitingShown) {
            m_waitingShown = false;
            m_lcd->showConnectionNotice(QString(), QString());
        }
        return;
    }
    // Which link waits: the one whose button is down.
    QString what = tr("the device");
    QString button;
    if (m_connectGroup.isDown(m_comConMember)) {
        what = tr("the serial port");
        button = QStringLiteral("COM Connect");
    } else if (m_connectGroup.isDown(m_usbMember)) {
        what = tr("the USB bridge");
        button = QStringLiteral("USB Connect");
    } else if (m_connectGroup.isDown(m_usbConMember) || m_connectGroup.isDown(m_readBtnMember)) {
        what = tr("the HID cable");
        button = QString::fromStdString(m_connectGroup.name(
            m_connectGroup.isDown(m_usbConMember) ? m_usbConMember : m_readBtnMember));
    }
    const QString name = QString::fromLocal8Bit(device);
    QString tip = tr("%1: %2 went away; it is read again as soon as it is back").arg(name, what);
    if (!button.isEmpty()) {
        tip += tr(" (release \"%1\" to stop waiting)").arg(button);
    }
    m_waitingShown = true;
    m_lcd->showConnectionNotice(tr("waiting for %1 to come back\u2026").arg(name), tip);
}
