#include "app/ui/main_window.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QGroupBox>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSysInfo>
#include <QVBoxLayout>

#include "app/ui/click_panel.h"
#include "app/ui/fonts.h"
#include "app/ui/window_consumer.h"
#include "display/ui/analog_scale.h"
#include "display/ui/scale_limits_window.h"
#include "lcd/ui/connection_indicator_view.h"
#include "lcd/ui/virtual_lcd.h"
#include "recording/ui/recording_room.h"

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
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_quitRequest = [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    };
    FormCreate();
}

TFCOMM::~TFCOMM() = default;

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
    return QLocale::system().decimalPoint();
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
    m_firstMenu = addMenu(QString(), "N1", true);
    m_recordMenu = addMenu(QStringLiteral("Record"), "Record1", true);
    m_lastMenu = addMenu(QString(), "N2", true);
    m_comSetupMenu = addMenu(QStringLiteral("ComSetup"), "ComSetup1", false);
    m_connectMenu = addMenu(QStringLiteral("Connect"), "Connect1", false);
    m_graphicMenu = addMenu(QStringLiteral("Graphic"), "Graphic1", false);
    m_exitMenu = addMenu(QStringLiteral("Exit"), "Exit1", false);
    QAction* exitItem = m_exitMenu->addAction(QStringLiteral("Exit"));
    exitItem->setObjectName(QStringLiteral("EXIT1"));
    connect(exitItem, &QAction::triggered, this, &TFCOMM::BtExit1Click);
    // The limits and running extremes of the scale are offered here.
    m_scaleMenu = addMenu(QStringLiteral("Scale"), "ScaleMenu", true);
    QAction* limits = m_scaleMenu->addAction(QStringLiteral("Limits\u2026"));
    limits->setObjectName(QStringLiteral("ScaleLimits"));
    connect(limits, &QAction::triggered, this, [this] {
        ScaleLimitsWindow* w = limitsWindow();
        w->refreshExtremes();
        w->show();
        w->raise();
        w->activateWindow();
    });
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
    m_exitButton = button(QStringLiteral("Exit"), "BitBtn1", QRect(696, 3, 105, 25), false);
    connect(m_exitButton, &QPushButton::clicked, this, &TFCOMM::BitBtn1Click);
}

void TFCOMM::buildAreas() {
    m_lcd = new VirtualLcd(m_client);
    m_lcd->move(8, 35);
    m_lcdPanel = m_lcd;

    m_barGraph = new QProgressBar(m_client);
    m_barGraph->setObjectName(QStringLiteral("PBar2"));
    m_barGraph->setGeometry(9, 240, 421, 17);
    m_barGraph->setRange(0, 40);
    m_barGraph->setValue(20);
    m_barGraph->setTextVisible(false);

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

    m_chartArea = new QWidget(m_client);
    m_chartArea->setObjectName(QStringLiteral("Chtshow"));
    m_chartArea->setGeometry(432, 177, 373, 353);
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
    setGridWidget(m_recording->install(m_functionBoard, m_recordMenu, m_client));
    m_recording->setConversionFailure(
        [this](std::string_view message) { m_consumer->conversionFailed(message); });
    m_consumer->setRecorder(&m_recording->recordingStep());
    // Closing the table on exit discards its rows.
    connect(this, &TFCOMM::tableCloseRequested, this, [this] { m_recording->table().clear(); });
}

void TFCOMM::setGridWidget(QWidget* grid) {
    replaceArea(m_gridArea, grid);
}

void TFCOMM::setChartWidget(QWidget* chart) {
    replaceArea(m_chartArea, chart);
}

ScaleLimitsWindow* TFCOMM::limitsWindow() {
    if (m_limitsWindow == nullptr) {
        m_limitsWindow = new ScaleLimitsWindow(*m_scale, this);
    }
    return m_limitsWindow;
}

void TFCOMM::FormCreate() {
    // The steps of the other rooms (time stamp, chart controller, table, recording state,
    // serial handler and port, chart axis) run where those rooms attach; the order here is
    // the window's share of the start-up.
    m_localeDecimalSeparator = readLocaleDecimalSeparator();
    LcdState start = m_lcd->shownState();
    const QByteArray time = lcdTimeText();
    start.timeText.assign(std::string_view(time.constData(), static_cast<size_t>(time.size())));
    m_lcd->apply(start);
    // The profile of this build: its title and count mode "4" (the scale starts in it, with
    // the remembered unit "113" in its extremes).
    setWindowTitle(QString::fromLatin1(kBaseTitle));
    m_scale->KDsetup();
    m_scale->KDrun(m_scale->scaleParams().needleOffset);
    setWindowTitle(programTitle(is64BitOperatingSystem()));
}

void TFCOMM::showEvent(QShowEvent* event) {
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
    if (m_quitRequest) {
        m_quitRequest();
    }
    emit tableCloseRequested();
    emit usbTimerStopRequested();
}

void TFCOMM::BtExit1Click() {
    m_exitButton->click();
}
