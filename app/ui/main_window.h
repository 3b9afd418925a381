#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/toggle_group.h"
#include "meter/clock.h"
#include "meter/model_profile.h"
#include "meter/reading_pipeline.h"
#include "transport/device_roots.h"

class AnalogScale;
class EventLoop;
class MeterSession;
class PortMap;
class ReadingPipeline;
class SerialLink;
class UsbBridgeLink;
class HidLink;
class KeyboardShortcutsDialog;
class DeviceCheckDialog;
class ToggleGroupView;
class ClickPanel;
class ConnectionIndicatorView;
class RecordingRoom;
class RecoveryOffer;
class PaintPacer;
class ScaleLimitsWindow;
class TrendChart;
class VirtualLcd;
class WindowConsumer;
class WindowOutputs;
class QGroupBox;
class QMenu;
class QProgressBar;
class QPushButton;

// The program's one window: the meter's LCD, the bar graph, the "Function board", the
// measurement grid, the analog scale and the trend chart around a top bar of port selector,
// connect buttons and "Exit". The window only places and wires the rooms' widgets; every
// behaviour lives in the room that owns it. Areas other rooms fill are reachable through the
// accessors below and keep their objectName (the component name: "Panel1", "DBGrid1", ...).
class TFCOMM : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 809;
    static constexpr int kClientHeight = 532;

    explicit TFCOMM(QWidget* parent = nullptr);
    ~TFCOMM() override;

    // "Halvern Interface Program Ver2.00" followed directly by "(x64)" or "(x86)". Never fails.
    static QString programTitle(bool is64BitOs);
    // Whether the operating system (not this build) is 64-bit; false when it cannot be told.
    static bool is64BitOperatingSystem();
    // The decimal separator of the system's locale; empty if the locale has none.
    static QString readLocaleDecimalSeparator();

    QString localeDecimalSeparator() const { return m_localeDecimalSeparator; }

    // The client area below the menu bar (809 x 532, fixed).
    QWidget* clientArea() const { return m_client; }

    // Top bar.
    ClickPanel* portPanel(int index) const;  // BtCOM1..BtCOM4 for index 0..3; nullptr otherwise
    QPushButton* comConnectButton() const { return m_comCon; }  // COMCon, checkable
    QPushButton* usbConnectButton() const { return m_usb; }     // USB, checkable
    QPushButton* hidConnectButton() const { return m_usbCon; }  // USBCon "HID Connect"
    QPushButton* exitButton() const { return m_exitButton; }    // BitBtn1

    // Areas.
    QWidget* lcdPanel() const { return m_lcdPanel; }              // Panel1
    QProgressBar* barGraph() const { return m_barGraph; }         // PBar2
    QGroupBox* functionBoard() const { return m_functionBoard; }  // GroupBox1
    QWidget* gridArea() const { return m_gridArea; }              // DBGrid1
    QWidget* scalePanel() const { return m_scalePanel; }          // KD
    QWidget* chartArea() const { return m_chartArea; }            // Chtshow
    VirtualLcd* lcd() const { return m_lcd; }                     // Panel1 itself
    AnalogScale* scale() const { return m_scale; }                // KD itself
    ConnectionIndicatorView* connectionIndicator() const { return m_indicator; }
    // Chtshow itself: the trend chart. New (RecordNewClick) calls its clearChart; its BtNew
    // emits newRequested for New.
    TrendChart* trendChart() const { return m_trendChart; }
    // The window's part of every decoded frame (indicator, LCD, scale, alarm, bar graph); the
    // table and the chart join consumers() beside it.
    WindowConsumer& readingConsumer() const { return *m_consumer; }
    // Everything the decoder drives, in the order added: the window's part first. The table
    // and the chart add their consumers here (before the first frame).
    ConsumerList& consumers() { return m_consumers; }
    // The reading engine: the serial driver hands its bytes to receive(), the USB bridge and
    // the HID cable their frame texts to decodeFrame().
    ReadingPipeline& pipeline();
    // The model profile this build applied at start-up (handler, title, port, count mode).
    const ProfileSettings& profile() const { return m_profile; }
    // The measurement table with its recording rules, grid, "Function board" and "Record" menu.
    RecordingRoom& recording() const { return *m_recording; }
    // Holds the window's repaints to about 30 a second (tests and benchmarks may set it to 0).
    PaintPacer& paintPacer() const { return *m_paintPacer; }
    // The limits window of the "Scale" menu (created on first use).
    ScaleLimitsWindow* limitsWindow();

    // Puts the room's own widget at the grid's (chart's) place in place of the current one, which
    // is deleted; the widget takes the place's geometry and objectName. Null is ignored.
    void setGridWidget(QWidget* grid);
    void setChartWidget(QWidget* chart);

    // Main menu: first entry (no caption, hidden), "Record", last entry (no caption, hidden),
    // the hidden entries "ComSetup", "Connect", "Graphic", "Exit", then "Scale", "HID", "Help".
    QMenu* firstMenu() const { return m_firstMenu; }
    QMenu* recordMenu() const { return m_recordMenu; }
    QMenu* lastMenu() const { return m_lastMenu; }
    QMenu* comSetupMenu() const { return m_comSetupMenu; }
    QMenu* connectMenu() const { return m_connectMenu; }
    QMenu* graphicMenu() const { return m_graphicMenu; }
    QMenu* exitMenu() const { return m_exitMenu; }
    QMenu* scaleMenu() const { return m_scaleMenu; }
    QMenu* hidMenu() const { return m_hidMenu; }  // "HID" > "HID devices…"
    // "Help": "Keyboard shortcuts" (F1), "About". Rooms add their own entries here.
    QMenu* helpMenu() const { return m_helpMenu; }
    // "Help" > "Device check…": the device check on the window's device roots, run afresh at
    // each call.
    DeviceCheckDialog* showDeviceCheck();

    // What "Yes" to the exit question does first: ask the event loop to end. Defaults to a
    // posted QCoreApplication::quit; tests replace it.
    void setQuitRequest(std::function<void()> request) { m_quitRequest = std::move(request); }
    // What the close box asks when the table holds rows that were never saved: "Save",
    // "Discard" or "Cancel" (QMessageBox's buttons). Defaults to the question box; tests replace
    // it.
    void setUnsavedQuestion(std::function<int(int rows)> ask) {
        m_unsavedQuestion = std::move(ask);
    }

    // The reading engine every transport feeds (bound to the profile's frame handler).
    ReadingPipeline& readingPipeline() const;
    // The meter session: the links, the pipeline and the recording's outputs, on the window's
    // event loop.
    MeterSession& session() const { return *m_session; }
    // The serial link: the driver COMM2 and its connection control.
    SerialLink& serialLink() const { return *m_serial; }
    // The USB bridge link behind "USB Connect " (Timer1).
    UsbBridgeLink& usbLink() const { return *m_usbLink; }
    // The exclusive toggle group of the top bar; "COM Connect" and "USB Connect " are members
    // comConMember() and usbMember() (the USB link sets its own handler with setHandler).
    ExclusiveToggleGroup& connectGroup() { return m_connectGroup; }
    int comConMember() const { return m_comConMember; }
    int usbMember() const { return m_usbMember; }
    // The HID cable link behind "HID Connect" and the "HID devices" window. Its controller
    // starts when the window is first shown (after setDeviceRoots), or with startHidLink.
    HidLink& hidLink() const { return *m_hidLink; }
    int usbConMember() const { return m_usbConMember; }
    int readBtnMember() const { return m_readBtnMember; }
    void startHidLink();
    // Offers the readings of the sessions that ended unexpectedly (non-modal boxes, one per
    // session); the program calls it once the window is up. Returns the offers shown.
    int offerRecovery(const std::string& journalFolder);
    RecoveryOffer* recoveryOffer() const { return m_recoveryOffer; }
    // The devices of COM1 … COM4 (from --port, or the demo meter's pseudo-terminal).
    void setPortMap(const PortMap& ports);
    // Where the USB bridge and the HID cables are looked for (--sysfs-root, --dev-root); set
    // before the window shows.
    void setDeviceRoots(const DeviceRoots& roots);
    const DeviceRoots& deviceRoots() const { return m_deviceRoots; }

    // The network outputs of the session: the broker's publisher and the SCPI server, their
    // settings in the program's settings file, their state on the LCD panel.
    WindowOutputs& outputs() const { return *m_outputs; }
    // "Record" > "Publish…" and "Record" > "SCPI server…": modal; OK applies the settings
    // live, a problem keeps the dialog open with the reason.
    void showPublishDialog();
    void showScpiServerDialog();
    // The device of the link in use (the serial port's path, the USB bridge's tty, the HID
    // cable's node), or empty.
    std::string linkDevice() const;
    // The link's device as a meter id names it: its USB serial number, else its node.
    std::string linkIdentity() const;

public slots:
    // Port selection: the visible panel of port n selects port n + 1 (BtCOM4 selects COM1).
    void COM11Click();
    void COM21Click();
    void COM31Click();
    void COM41Click();
    // "COM Connect": opens or closes the port by the button's new state.
    void COMConClick();
    // The hidden Connect and Disconnect controls.
    void BTCon1Click();
    void BtDiscon1Click();

    // "Exit": asks "Are you ensure to exit the program？"; "Yes" ends the program, after the
    // close box's offer (save, discard, cancel) when the table holds unsaved rows.
    void BitBtn1Click();
    // The hidden "Exit" entries behave exactly like the "Exit" button.
    void BtExit1Click();

signals:
    // Emitted in this order after "Yes" to the exit question, once the quit is requested: the
    // measurement table closes (its rows are discarded), then the USB read timer stops.
    void tableCloseRequested();
    void usbTimerStopRequested();

protected:
    void showEvent(QShowEvent* event) override;
    // The close box ends the program at once, unless the table holds unsaved rows: then it asks
    // first (save, discard or cancel). After "Yes" to "Exit" it never asks. A clean end
    // removes the recording journal.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void buildTopBar();
    void buildAreas();
    void buildRecording();
    void buildShortcuts();
    void replaceArea(QWidget*& area, QWidget* replacement);
    void FormCreate();
    void buildLinks();
    void buildOutputs();
    int askAboutUnsavedRows(int rows);
    // The offer about unsaved rows before the program ends; true when it may end (the rows
    // saved or discarded, or none), and then the journal is removed.
    bool settleUnsavedRows();
    void showSerialFailure();
    // A link waits for its device to come back (named), or waits no more (empty): on the LCD
    // panel, where a port's failure to open is shown.
    void showWaitingFor(const std::string& device);

    QWidget* m_client = nullptr;
    std::array<ClickPanel*, 4> m_portPanels{};
    QPushButton* m_comCon = nullptr;
    QPushButton* m_usb = nullptr;
    QPushButton* m_exitButton = nullptr;
    QWidget* m_lcdPanel = nullptr;
    QProgressBar* m_barGraph = nullptr;
    QGroupBox* m_functionBoard = nullptr;
    QWidget* m_gridArea = nullptr;
    QWidget* m_scalePanel = nullptr;
    QWidget* m_chartArea = nullptr;

    QMenu* m_firstMenu = nullptr;
    QMenu* m_recordMenu = nullptr;
    QMenu* m_lastMenu = nullptr;
    QMenu* m_comSetupMenu = nullptr;
    QMenu* m_connectMenu = nullptr;
    QMenu* m_graphicMenu = nullptr;
    QMenu* m_exitMenu = nullptr;
    QMenu* m_scaleMenu = nullptr;
    QMenu* m_hidMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    KeyboardShortcutsDialog* m_shortcutsDialog = nullptr;
    DeviceCheckDialog* m_deviceCheckDialog = nullptr;

    VirtualLcd* m_lcd = nullptr;
    AnalogScale* m_scale = nullptr;
    ConnectionIndicatorView* m_indicator = nullptr;
    TrendChart* m_trendChart = nullptr;
    std::unique_ptr<WindowConsumer> m_consumer;
    ConsumerList m_consumers;
    SystemClock m_clock;
    ProfileSettings m_profile;
    QByteArray m_separatorBytes;
    std::unique_ptr<RecordingRoom> m_recording;
    // After the recording, whose recorder it uses: it goes first.
    std::unique_ptr<EventLoop> m_loop;
    std::unique_ptr<MeterSession> m_session;
    ScaleLimitsWindow* m_limitsWindow = nullptr;
    RecoveryOffer* m_recoveryOffer = nullptr;
    PaintPacer* m_paintPacer = nullptr;

    ExclusiveToggleGroup m_connectGroup;
    DeviceRoots m_deviceRoots;
    int m_comConMember = -1;
    int m_usbMember = -1;
    int m_usbConMember = -1;
    int m_readBtnMember = -1;
    bool m_waitingShown = false;  // the connection notice says a link waits for its device
    QPushButton* m_usbCon = nullptr;

    bool m_readBtnBound = false;
    ToggleGroupView* m_connectGroupView = nullptr;
    // The links' window sides (children of the window), declared after the session: they go
    // before the session whose links they show.
    std::unique_ptr<SerialLink> m_serial;
    std::unique_ptr<UsbBridgeLink> m_usbLink;
    std::unique_ptr<HidLink> m_hidLink;
    // After the session: its sinks go before the session does.
    std::unique_ptr<WindowOutputs> m_outputs;

    QString m_localeDecimalSeparator;
    std::function<void()> m_quitRequest;
    std::function<int(int rows)> m_unsavedQuestion;
    bool m_exiting = false;
    bool m_centred = false;
};
