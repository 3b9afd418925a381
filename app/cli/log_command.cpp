// halvern log: the meter logged without a window, through the same meter session as the
// window's (links, decoder, recording rules) on a poll() loop; its rows go to the outputs the
// options choose, each a row sink of the recording.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/cli_args.h"
#include "app/cli/command_line.h"
#include "app/cli/commands.h"
#include "app/outputs/listen_address.h"
#include "meter/clock.h"
#include "meter/locale_decimal_separator.h"
#include "meter/reading_pipeline.h"
#include "net/meter_outputs.h"
#include "net/mqtt_publisher.h"
#include "net/mqtt_settings.h"
#include "net/scpi_server.h"
#include "net/tcp_socket.h"
#include "recording/data_files.h"
#include "recording/journal.h"
#include "recording/recorder.h"
#include "recording/row_writers.h"
#include "recording/table_store.h"
#include "session/meter_session.h"
#include "transport/device_identity.h"
#include "transport/device_roots.h"
#include "transport/hid/hid_cable_link.h"
#include "transport/hid/hid_device_caption.h"
#include "transport/hid/hid_link_binding.h"
#include "transport/hid/hid_report_lines.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/loop/event_loop.h"
#include "transport/serial/comm_port_driver.h"
#include "transport/usb_bridge/usb_xpress_link.h"

namespace {

void printHelp(std::FILE* out) {
    std::fprintf(
        out,
        "usage: halvern log --port PATH [--save FILE | --format tsv|csv|jsonl]\n"
        "                   [--duration SECONDS] [--frames N] [--no-repeat] [--record-limit N]\n"
        "                   [--capture FILE] [--no-reconnect]\n"
        "       halvern log --usb-bridge [--sysfs-root DIR] [--dev-root DIR] [options as above]\n"
        "       halvern log --hid [--sysfs-root DIR] [--dev-root DIR] [options as above]\n"
        "Logs the meter on the serial device PATH (9600 bit/s, 7 data bits, no parity, 1 stop\n"
        "bit), or through its USB bridge (10C4:EA61, exactly one attached) as \"USB Connect \"\n"
        "does, or through its HID cable (the last device named \"USB to Serial\") as \"HID\n"
        "Connect\" does, without a window: every frame is decoded and recorded as in the window.\n"
        "  --save FILE        each row written as it is recorded, as CSV for analysis (.csv),\n"
        "                     JSON Lines (.jsonl) or tab-separated text (any other name); or\n"
        "                     the XML data packet for a name ending in .xml (written at the end);\n"
        "                     without --save the rows go to standard output\n"
        "  --format F         what standard output gets: tsv (tab-separated text, the default),\n"
        "                     csv or jsonl (one JSON object per row), each row as it comes\n"
        "  --duration SECONDS stop after this long\n"
        "  --frames N         stop after N decoded frames\n"
        "  --no-repeat        record a reading only when it differs from the last one recorded\n"
        "  --record-limit N   1000, 5000, 10000 (default), 50000, 100000 or limitless\n"
        "  --capture FILE     also write every byte the link read, in order (replay it with\n"
        "                     halvern decode --link serial|usb-bridge FILE); with --hid every\n"
        "                     input report as a line (halvern decode --link hid FILE)\n"
        "  --no-reconnect     end (status 1) when the device goes away; without it the log\n"
        "                     waits for the same device to come back and reads on\n"
        "  --sysfs-root DIR, --dev-root DIR   look for the bridge or the cable there (default\n"
        "                     /sys, /dev)\n"
        "  --mqtt URL         also publish every row to the broker at mqtt://host[:port] or\n"
        "                     mqtts://host[:port], on halvern/ID/reading, and the LCD's state\n"
        "                     (retained, at most 10 a second) on halvern/ID/state; a broker that\n"
        "                     is down never stops the log: up to 10000 rows wait for it\n"
        "  --mqtt-ca FILE     the authority that signed the broker's certificate (mqtts;\n"
        "                     default: the system's authorities)\n"
        "  --mqtt-user NAME   the broker's user; the password comes from the environment\n"
        "                     variable HALVERN_MQTT_PASSWORD or --mqtt-password-file FILE\n"
        "  --mqtt-qos 0|1     (default 0: a row in flight when the broker dies can be lost;\n"
        "                     1: none is)\n"
        "  --meter-id ID      the meter's name in the topics (default: the USB serial number of\n"
        "                     the port's adapter, the bridge or the cable, else the port or\n"
        "                     device path, made a topic level)\n"
        "  --scpi [ADDR:]PORT answer SCPI commands over TCP (*IDN?, READ?, MEAS?, FETC?, CONF?,\n"
        "                     SYST:ERR?); ADDR defaults to 127.0.0.1, 5025 is the usual port;\n"
        "                     at most 8 clients, lines of at most 256 bytes\n"
        "  --scpi-idle SECONDS close a SCPI client silent this long (default 60)\n"
        "With --hid, a cable that sends 1900 reports in a row without meter bytes ends the log.\n"
        "Stops on Ctrl+C or SIGTERM too; the file is complete and loadable whenever it stops.\n");
}

// The decoder's recording step of the logger: counts frames and records until the frame limit.
class LogConsumer final : public ReadingConsumer {
public:
    LogConsumer(Recorder& recorder, long long frameLimit)
        : m_recorder(recorder), m_frameLimit(frameLimit) {}

    void frameMark() override {
        // Frames of the last batch beyond the limit are decoded but not counted or recorded.
        m_beyondLimit = done();
        if (!m_beyondLimit) {
            ++m_frames;
        }
    }
    bool recordReading(const CurrentReading& reading) override {
        if (m_beyondLimit) {
            return false;
        }
        return m_recorder.recordReading(reading).appended;
    }
    void conversionFailed(std::string_view message) override {
        std::fprintf(stderr, "halvern log: %.*s\n", static_cast<int>(message.size()),
                     message.data());
    }

    bool done() const { return m_frameLimit >= 0 && m_frames >= m_frameLimit; }
    long long frames() const { return m_frames; }

private:
    Recorder& m_recorder;
    long long m_frameLimit;
    long long m_frames = 0;
    bool m_beyondLimit = false;
};

// The session's HID cable as the logger drives it: the cable "HID Connect" would select, tested
// for reading and writing, then pressed. With the session's reconnect the link itself reads on
// through a device-change pass and waits for a cable that went away. Without it a pass (a mouse
// plugged in) stops reading; nobody is there to press "HID Connect" again, so the cable, still
// listed, is read on, and a cable that went away ends the log. The idle check's message ends it
// either way.
class HidCableRun {
public:
    explicit HidCableRun(MeterSession& session) : m_session(session) {}

    // The reason when the cable cannot be read: the link's not-connected text, or the node and
    // why it does not open (the udev hint when permission is denied).
    std::optional<std::string> findCable() {
        HidCableBinding* binding = m_session.hid();
        TJvHidDeviceController* controller = m_session.hidController();
        if (binding == nullptr || controller == nullptr) {
            return m_session.hidProblem();
        }
        std::vector<std::string> captions;
        for (int i = 0; i < controller->Count(); ++i) {
            const TJvHidDevice& d = controller->Device(i);
            captions.push_back(DeviceCaption(d.QueryProductText(), d.QuerySerialText(),
                                             d.Attributes().VendorID, d.Attributes().ProductID));
        }
        const int selected = selectCableEntry(captions);
        if (selected < 0) {
            return std::string(HidCableLink::kNotConnectedText);
        }
        m_node = controller->Device(selected).PnPInfo().InterfacePath;
        // Access is tried on a checked-out device, as the link tries it.
        TJvHidDevicePtr device;
        if (!controller->CheckOutByIndex(device, selected)) {
            return "cannot use " + m_node;
        }
        const bool access = device->ReadWriteAccess();
        device.reset();
        if (!access) {
            return accessProblem();
        }
        return std::nullopt;
    }

    // Binds the link and presses "HID Connect": the feature report goes out and the reader
    // starts. False with the reason in stopReason().
    bool start() {
        HidCableBinding& binding = *m_session.hid();
        HidCableLink& link = binding.link();
        link.informationMessage = [this](std::string_view text) { stop(std::string(text)); };
        // Released by the idle check (its message follows at once and stops the log) or by a
        // device-change pass: settled once the event is over.
        link.releaseUsbCon = [this] {
            m_released = true;
            m_session.loop().post([this] { resume(); });
        };
        binding.onReport = [this](std::uint8_t id, const std::uint8_t* data, std::size_t size) {
            if (onReport) {
                onReport(id, data, size);
            }
        };
        binding.onDataError = [this, &binding](TJvHidDevice& device, std::uint32_t) {
            if (!binding.link().history().empty()) {
                const std::string_view line = binding.link().history().last();
                std::fprintf(stderr, "halvern log: %.*s\n", static_cast<int>(line.size()),
                             line.data());
            }
            // Waiting: the link reads the cable again when it is back.
            if (!device.Reading() && !binding.link().waiting()) {
                stop("the HID cable " + device.PnPInfo().InterfacePath +
                     " went away (device removed?)");
            }
        };
        binding.bind();  // lists the devices and selects the cable
        link.USBConClick(true);
        if (link.readingDevice() == nullptr) {
            if (m_stopReason.empty()) {
                m_stopReason = link.selectedIndex() < 0
                                   ? std::string(HidCableLink::kNotConnectedText)
                                   : accessProblem();
            }
            return false;
        }
        m_stopReason.clear();
        m_stopped = false;
        return true;
    }

    // The cable's node (/dev/hidrawN), once found.
    const std::string& node() const { return m_node; }
    // Why reading stopped by itself; empty otherwise.
    const std::string& stopReason() const { return m_stopReason; }

    // Every input report of the cable, before the link handles it.
    std::function<void(std::uint8_t reportId, const std::uint8_t* data, std::size_t size)> onReport;

private:
    std::string accessProblem() {
        const std::string problem = m_session.hidAccessProblem(m_node);
        return problem.empty() ? "cannot read " + m_node : problem;
    }

    void resume() {
        if (!m_released || m_stopped) {
            return;
        }
        m_released = false;
        HidCableLink& link = m_session.hid()->link();
        link.USBConClick(true);
        if (link.readingDevice() == nullptr) {
            stop(m_stopReason.empty() ? "the HID cable " + m_node + " went away (device removed?)"
                                      : m_stopReason);
        } else {
            std::fprintf(stderr, "halvern log: the HID devices changed; reading the cable again\n");
        }
    }

    void stop(std::string reason) {
        if (!m_stopped) {
            m_stopped = true;
            m_stopReason = std::move(reason);
        }
        m_session.loop().requestStop();
    }

    MeterSession& m_session;
    std::string m_node;
    std::string m_stopReason;
    bool m_stopped = false;
    bool m_released = false;
};

// The broker's options as given.
struct MqttOptions {
    std::string url;
    std::string caFile;
    std::string user;
    std::string passwordFile;
    int qos = 0;
    std::string meterId;
};

}  // namespace

int runLogCommand(int argc, char** argv) {
    std::string portPath;
    std::string savePath;
    double duration = -1;
    long long frameLimit = -1;
    bool repeat = true;
    std::optional<RecordLimitItem> limit;
    bool usbBridge = false;
    bool hid = false;
    bool reconnect = true;
    std::string capturePath;
    std::optional<RowFormat> outputFormat;
    DeviceRoots roots;
    std::optional<std::string> rootError;
    MqttOptions mqtt;
    std::string scpiAddress;
    int scpiPort = 0;
    double scpiIdle = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            printHelp(stdout);
            return 0;
        } else if (arg == "--port" && hasValue) {
            portPath = argv[++i];
        } else if (arg == "--save" && hasValue) {
            savePath = argv[++i];
        } else if (arg == "--format" && hasValue) {
            outputFormat = rowFormatOfWord(argv[++i]);
            if (!outputFormat) {
                std::fprintf(stderr, "halvern log: --format must be tsv, csv or jsonl\n");
                return 2;
            }
        } else if (arg == "--duration" && hasValue) {
            if (!parseNumber(argv[++i], duration) || !(duration > 0)) {
                std::fprintf(stderr, "halvern log: --duration must be a number of seconds > 0\n");
                return 2;
            }
        } else if (arg == "--frames" && hasValue) {
            if (!parseCount(argv[++i], frameLimit)) {
                std::fprintf(stderr, "halvern log: --frames must be a whole number >= 0\n");
                return 2;
            }
        } else if (arg == "--no-repeat") {
            repeat = false;
        } else if (arg == "--no-reconnect") {
            reconnect = false;
        } else if (arg == "--usb-bridge") {
            usbBridge = true;
        } else if (arg == "--hid") {
            hid = true;
        } else if (arg == "--mqtt" && hasValue) {
            mqtt.url = argv[++i];
        } else if (arg == "--mqtt-ca" && hasValue) {
            mqtt.caFile = argv[++i];
        } else if (arg == "--mqtt-user" && hasValue) {
            mqtt.user = argv[++i];
        } else if (arg == "--mqtt-password-file" && hasValue) {
            mqtt.passwordFile = argv[++i];
        } else if (arg == "--mqtt-password" || arg.starts_with("--mqtt-password=")) {
            std::fprintf(stderr,
                         "halvern log: a password on the command line is visible to every user "
                         "of this machine; use HALVERN_MQTT_PASSWORD or --mqtt-password-file\n");
            return 2;
        } else if (arg == "--mqtt-qos" && hasValue) {
            const std::string_view q = argv[++i];
            if (q != "0" && q != "1") {
                std::fprintf(stderr, "halvern log: --mqtt-qos must be 0 or 1\n");
                return 2;
            }
            mqtt.qos = q == "1" ? 1 : 0;
        } else if (arg == "--meter-id" && hasValue) {
            mqtt.meterId = argv[++i];
            if (mqtt.meterId.empty() || topicSafeId(mqtt.meterId) != mqtt.meterId) {
                std::fprintf(stderr,
                             "halvern log: --meter-id must be letters, digits, '-' and '_' "
                             "(a topic level), such as %s\n",
                             topicSafeId(mqtt.meterId).c_str());
                return 2;
            }
        } else if (arg == "--scpi" && hasValue) {
            if (!parseListenAddress(argv[++i], scpiAddress, scpiPort)) {
                std::fprintf(stderr,
                             "halvern log: --scpi must be [ADDRESS:]PORT with a port from 1 to "
                             "65535, such as 127.0.0.1:5025\n");
                return 2;
            }
        } else if (arg == "--scpi-idle" && hasValue) {
            if (!parseNumber(argv[++i], scpiIdle) || !(scpiIdle > 0) || scpiIdle > 86400) {
                std::fprintf(stderr, "halvern log: --scpi-idle must be a number of seconds > 0\n");
                return 2;
            }
        } else if (arg == "--capture" && hasValue) {
            capturePath = argv[++i];
        } else if (takeDeviceRootOption(argc, argv, i, roots, rootError)) {
            if (rootError) {
                std::fprintf(stderr, "halvern log: %s\n", rootError->c_str());
                return 2;
            }
        } else if (arg == "--record-limit" && hasValue) {
            const std::string_view value = argv[++i];
            for (const RecordLimitChoice& c : kRecordLimitChoices) {
                if (value == c.caption || value == std::to_string(c.limit)) {
                    limit = c.item;
                }
            }
            if (!limit) {
                std::fprintf(stderr,
                             "halvern log: --record-limit must be 1000, 5000, 10000, 50000, "
                             "100000 or limitless\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "halvern log: unknown or incomplete argument '%s'\n", argv[i]);
            printHelp(stderr);
            return 2;
        }
    }
    if (int{!portPath.empty()} + int{usbBridge} + int{hid} != 1) {
        std::fprintf(stderr,
                     "halvern log: exactly one of --port PATH, --usb-bridge and --hid is "
                     "required\n");
        printHelp(stderr);
        return 2;
    }

    if (outputFormat && !savePath.empty()) {
        std::fprintf(stderr,
                     "halvern log: --format is for standard output; with --save the file's name "
                     "chooses the format (.csv, .jsonl, .xml, anything else tab-separated text)\n");
        return 2;
    }
    // The broker's settings are checked before anything is opened.
    std::optional<MqttUrl> brokerUrl;
    std::string mqttPassword;
    if (!mqtt.url.empty()) {
        std::string reason;
        brokerUrl = parseMqttUrl(mqtt.url, reason);
        if (!brokerUrl) {
            std::fprintf(stderr, "halvern log: --mqtt: %s\n", reason.c_str());
            return 2;
        }
        if (!mqtt.caFile.empty() && !brokerUrl->tls) {
            std::fprintf(stderr, "halvern log: --mqtt-ca needs an mqtts:// address\n");
            return 2;
        }
        if (!mqtt.caFile.empty()) {
            // Said before anything is opened; a file that is no certificate is told by the
            // connection (the log records meanwhile).
            std::ifstream ca(mqtt.caFile);
            if (!ca) {
                std::fprintf(stderr, "halvern log: cannot read the CA file %s: %s\n",
                             mqtt.caFile.c_str(), std::strerror(errno));
                return 1;
            }
        }
        if (const char* env = std::getenv("HALVERN_MQTT_PASSWORD")) {
            mqttPassword = env;
        }
        if (!mqtt.passwordFile.empty()) {
            std::ifstream in(mqtt.passwordFile);
            if (!in) {
                std::fprintf(stderr, "halvern log: cannot read the password file %s: %s\n",
                             mqtt.passwordFile.c_str(), std::strerror(errno));
                return 1;
            }
            std::getline(in, mqttPassword);
            if (!mqttPassword.empty() && mqttPassword.back() == '\r') {
                mqttPassword.pop_back();
            }
        }
    } else if (!mqtt.caFile.empty() || !mqtt.user.empty() || !mqtt.passwordFile.empty() ||
               mqtt.qos != 0 || !mqtt.meterId.empty()) {
        std::fprintf(stderr,
                     "halvern log: the --mqtt-... and --meter-id options need --mqtt URL\n");
        return 2;
    }

    // A mistyped root would otherwise read as "no bridge" or "no cable".
    if (usbBridge || hid) {
        if (const std::optional<std::string> problem = deviceRootProblem(roots)) {
            std::fprintf(stderr, "halvern log: %s\n", problem->c_str());
            return 1;
        }
    }

    // The session on a poll() loop: nothing is opened before the link is started, and nothing
    // is written when the meter cannot be reached.
    const std::unique_ptr<HeadlessEventLoop> loop = createHeadlessEventLoop();
    // Ctrl+C and SIGTERM end the loop, and the log with complete files. Taken before any thread
    // starts (the journal's writer), so that every thread leaves them to the loop.
    if (!loop->stopOnSignals()) {
        std::fprintf(stderr,
                     "halvern log: warning: Ctrl+C and SIGTERM may end the log abruptly: %s\n",
                     std::strerror(errno));
    }
    SystemClock clock;
    MeterSession::Options options;
    options.decimalSeparator = ReadLocaleDecimalSeparator();  // read once, as the window does
    options.roots = roots;
    options.ports.setPath(0, portPath);
    options.reconnect = reconnect;
    MeterSession session(*loop, clock, options);
    TCommPortDriver& driver = session.serial();
    driver.setComPort(pnCOM1);  // the meter's line: 9600 bit/s, 7N1

    // The USB bridge: the window's link, Timer1 on the loop.
    UsbXpressLink* usbLink = nullptr;
    if (usbBridge) {
        usbLink = &session.usbBridge();
        usbLink->start();
        if (!usbLink->holdsDevice()) {
            std::fprintf(stderr, "halvern log: %s%s\n",
                         usbLink->UsbOpened() ? "cannot open the USB bridge " : "",
                         usbLink->statusText().c_str());
            return 1;
        }
    }
    // The HID cable: found and tested for access as "HID Connect" would find it.
    std::optional<HidCableRun> hidRun;
    if (hid) {
        hidRun.emplace(session);
        if (const std::optional<std::string> problem = hidRun->findCable()) {
            std::fprintf(stderr, "halvern log: %s\n", problem->c_str());
            return 1;
        }
    }
    if (!usbBridge && !hid && !driver.Connect()) {
        std::fprintf(stderr, "halvern log: %s\n", driver.LastFailure().c_str());
        return 1;
    }
    if (!driver.LastFailure().empty()) {
        // Open, but the line is not as the meter needs it: say so, and log what comes.
        std::fprintf(stderr, "halvern log: warning: %s\n", driver.LastFailure().c_str());
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> capture(nullptr, &std::fclose);
    if (!capturePath.empty()) {
        capture.reset(std::fopen(capturePath.c_str(), "wb"));
        if (!capture) {
            std::fprintf(stderr, "halvern log: cannot write %s: %s\n", capturePath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    bool captureFailed = false;
    // Every byte the link took, handed to the system at once (a crash loses none of them).
    const auto captureBytes = [&](const std::uint8_t* data, std::size_t size) {
        if (capture && !captureFailed &&
            (std::fwrite(data, 1, size, capture.get()) != size ||
             std::fflush(capture.get()) != 0)) {
            captureFailed = true;
        }
    };

    // The outputs: the text file row by row, the packet at the end, or standard output.
    Recorder& recorder = session.recorder();
    std::unique_ptr<TextRowSink> text;
    std::unique_ptr<PacketAtEndSink> packet;
    const std::optional<RowFormat> fileFormat = rowFormatOfFile(savePath);
    if (savePath.empty()) {
        text = createRowWriter(outputFormat.value_or(RowFormat::Tsv), STDOUT_FILENO,
                               "standard output");
    } else if (!fileFormat) {
        packet = std::make_unique<PacketAtEndSink>(session.table(), savePath);
    } else {
        if (const std::optional<Failure> failure = TextRowSink::open(savePath, text, *fileFormat)) {
            std::fprintf(stderr, "halvern log: %s\n", failure->text.c_str());
            return 1;
        }
        if (!text->writeHeader()) {
            std::fprintf(stderr, "halvern log: cannot write %s: %s\n", savePath.c_str(),
                         std::strerror(text->failure()->error));
            return 1;
        }
    }
    if (text) {
        session.sinks().add(*text);
    }
    if (packet) {
        session.sinks().add(*packet);
    }

    recorder.setRepeat(repeat);
    if (limit) {
        recorder.selectRecordLimit(*limit);
    }
    // The system's separators, read once as the window does.
    recorder.setTimeSeparator(ReadLocaleTimeSeparator().front());
    // Every recorded row also goes to the session's journal, so a crash leaves it recoverable
    // (halvern recover); a clean end removes it.
    JournalSink rowJournal(defaultJournalFolder(),
                           JournalOrigin{usbBridge ? "USB bridge"
                                         : hid     ? "HID cable"
                                                   : "serial",
                                         usbBridge ? usbLink->si().lastOpen().path
                                         : hid     ? hidRun->node()
                                                   : portPath,
                                         {}});
    session.sinks().add(rowJournal);

    // The link's device identity: the USB serial number of the adapter, bridge or cable, for
    // the meter id and *IDN?; else the device path names the meter.
    const std::string deviceNode = usbBridge ? usbLink->si().lastOpen().path
                                   : hid     ? hidRun->node()
                                             : portPath;
    const std::optional<std::string> deviceSerial = usbSerialOfNode(roots, deviceNode);

    // The broker: its own threads send the rows and the LCD's state; the reading only queues.
    std::unique_ptr<MqttPublisher> publisher;
    if (brokerUrl) {
        signal(SIGPIPE, SIG_IGN);  // a broker that goes away must not end the log
        const std::string id =
            !mqtt.meterId.empty() ? mqtt.meterId : topicSafeId(deviceSerial.value_or(deviceNode));
        MqttPublishSettings settings;
        settings.url = *brokerUrl;
        settings.caFile = mqtt.caFile;
        settings.user = mqtt.user;
        settings.password = mqttPassword;
        settings.qos = mqtt.qos;
        settings.meterId = id;
        publisher = createMeterPublisher(settings);
        std::string reason;
        if (!publisher->start(reason)) {
            std::fprintf(stderr, "halvern log: %s\n", reason.c_str());
            return 1;
        }
        std::fprintf(stderr, "halvern log: publishing to %s as halvern/%s/reading and .../state\n",
                     mqtt.url.c_str(), id.c_str());
        session.sinks().add(*publisher);
        session.consumers().add(publisher->lcdState());
    }
    // The SCPI server on the session's loop.
    LastRowInstrument instrument(deviceSerial.value_or("0"), programVersion());
    std::unique_ptr<ScpiServer> scpi;
    if (scpiPort != 0) {
        std::string reason;
        std::unique_ptr<TcpListener> listener = listenTcp(scpiAddress, scpiPort, reason);
        if (!listener) {
            std::fprintf(stderr, "halvern log: --scpi: %s\n", reason.c_str());
            return 1;
        }
        if (!listener->loopback()) {
            std::fprintf(stderr,
                         "halvern log: warning: SCPI listens on %s: anyone on the network can read "
                         "the meter\n",
                         scpiAddress.c_str());
        }
        session.sinks().add(instrument);
        scpi = std::make_unique<ScpiServer>(*loop, std::move(listener), instrument,
                                            static_cast<unsigned>(scpiIdle * 1000));
        scpi->onClientClosed = [](const std::string& peer, const std::string& why) {
            std::fprintf(stderr, "halvern log: SCPI client %s closed: %s\n", peer.c_str(),
                         why.c_str());
        };
        std::fprintf(stderr, "halvern log: SCPI on %s:%d\n", scpiAddress.c_str(), scpi->port());
    }
    // The broker's state, told on stderr when it changes (from the reading's side).
    bool brokerConnected = false;
    std::string brokerProblem;
    std::uint64_t brokerDropped = 0;
    const auto tellBroker = [&] {
        if (!publisher) {
            return;
        }
        const MqttPublisher::Status st = publisher->status();
        if (st.connected != brokerConnected ||
            (!st.connected && st.problem != brokerProblem && !st.problem.empty())) {
            if (st.connected) {
                std::fprintf(stderr, "halvern log: connected to the broker %s\n", mqtt.url.c_str());
            } else {
                std::string why = st.problem.empty() ? "no answer" : st.problem;
                if (why.find("certificate verify failed") != std::string::npos) {
                    why += mqtt.caFile.empty()
                               ? "; is the broker's certificate signed by an authority this "
                                 "system trusts? (--mqtt-ca FILE names another)"
                               : "; is " + mqtt.caFile +
                                     " the authority that signed the broker's certificate?";
                } else if (why.starts_with("TLS:")) {
                    why += "; does the broker speak TLS on port " +
                           std::to_string(brokerUrl->port) + "?";
                }
                std::fprintf(stderr,
                             "halvern log: the broker %s cannot be reached (%s); rows wait for it, "
                             "up to %zu\n",
                             mqtt.url.c_str(), why.c_str(), MqttPublisher::kDefaultCapacity);
            }
            brokerConnected = st.connected;
            brokerProblem = st.problem;
        }
        if (st.dropped != brokerDropped) {
            if (brokerDropped == 0) {
                std::fprintf(stderr,
                             "halvern log: the queue for the broker is full; the oldest rows are "
                             "dropped\n");
            }
            brokerDropped = st.dropped;
        }
    };
    LogConsumer consumer(recorder, frameLimit);
    session.consumers().add(consumer);

    // After every input of any link: the rows recorded so far reach the disk, and the log ends
    // when it has its frames or its rows can no longer be written.
    bool ending = false;
    bool journalFailing = false;
    const auto inputTaken = [&] {
        session.sinks().batchEnd();
        tellBroker();
        // The journal's trouble is told once when it starts and once when it ends.
        if (const JournalStatus js = rowJournal.status(); js.protectedRows == journalFailing) {
            journalFailing = !js.protectedRows;
            if (journalFailing) {
                std::fprintf(stderr,
                             "halvern log: journal: %s; the readings are not protected "
                             "against a crash\n",
                             js.failure.text.c_str());
            } else {
                std::fprintf(stderr, "halvern log: the journal is written again\n");
            }
        }
        if (!ending && (consumer.done() || (text && text->failure()))) {
            ending = true;
            if (usbLink != nullptr) {
                usbLink->end();
            }
            driver.Disconnect();
            loop->requestStop();
        }
    };
    session.onLinkBytes = captureBytes;
    session.afterInput = inputTaken;

    // A link that lost its device says so while it waits, and again when it reads on.
    std::string waitingDevice;
    session.onWaitingFor = [&](const std::string& device) {
        if (!device.empty()) {
            std::fprintf(stderr, "halvern log: waiting for %s to come back\u2026\n",
                         device.c_str());
        } else if (!waitingDevice.empty()) {
            std::fprintf(stderr, "halvern log: %s is back; reading on\n", waitingDevice.c_str());
        }
        waitingDevice = device;
    };
    bool portLost = false;
    driver.setOnPortLost([&](TCommPortDriver*) {
        portLost = true;
        loop->requestStop();
    });
    bool bridgeLost = false;
    if (usbLink != nullptr) {
        usbLink->onDeviceLost = [&] {
            bridgeLost = true;
            usbLink->end();
            loop->requestStop();
        };
    }
    bool checkPosted = false;  // a check of the HID cable's input waits in the loop
    if (hidRun) {
        std::string line;
        hidRun->onReport = [&, line](std::uint8_t id, const std::uint8_t* data,
                                     std::size_t size) mutable {
            formatHidReportLine(id, data, size, line);
            line += '\n';
            captureBytes(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
            // The report is decoded right after this; the check runs once the event is over.
            if (!checkPosted) {
                checkPosted = true;
                loop->post([&] {
                    checkPosted = false;
                    inputTaken();
                });
            }
        };
        if (!hidRun->start()) {
            std::fprintf(stderr, "halvern log: %s\n", hidRun->stopReason().c_str());
            return 1;
        }
    }

    signal(SIGPIPE, SIG_IGN);
    if (!consumer.done()) {
        auto deadline = std::chrono::steady_clock::time_point::max();
        if (duration > 0) {
            deadline = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(duration));
        }
        loop->run(deadline);
    }
    // The end stops a wait: not a return of the device.
    session.onWaitingFor = nullptr;
    if (!waitingDevice.empty()) {
        std::fprintf(stderr, "halvern log: %s did not come back\n", waitingDevice.c_str());
    }
    driver.Disconnect();
    const std::string bridgePath = usbLink ? usbLink->si().lastOpen().path : std::string();
    if (usbLink != nullptr) {
        usbLink->end();
    }
    const std::string hidStop = hidRun ? hidRun->stopReason() : std::string();
    // The outputs end; the journal only once the rows are where they belong.
    if (text) {
        text->finish();
    }
    if (packet) {
        packet->finish();
    }
    if (publisher) {
        tellBroker();
        publisher->finish();
        const MqttPublisher::Status st = publisher->status();
        if (st.dropped > 0 || publisher->unsent() > 0) {
            std::fprintf(stderr,
                         "halvern log: %llu rows were not published (%llu dropped from the full "
                         "queue, %zu still waiting at the end)\n",
                         static_cast<unsigned long long>(st.dropped + publisher->unsent()),
                         static_cast<unsigned long long>(st.dropped), publisher->unsent());
        }
    }

    int status = 0;
    if (packet && packet->failure()) {
        std::fprintf(stderr, "halvern log: %s\n", packet->failure()->text.c_str());
        status = 1;
    } else if (text && text->failure()) {
        std::fprintf(stderr, "halvern log: %s\n", text->failure()->text.c_str());
        status = 1;
    }
    if (captureFailed) {
        std::fprintf(stderr, "halvern log: writing %s failed\n", capturePath.c_str());
        status = 1;
    }
    if (bridgeLost) {
        std::fprintf(stderr, "halvern log: the USB bridge %s went away (device removed?)\n",
                     bridgePath.c_str());
        status = 1;
    }
    if (!hidStop.empty()) {
        std::fprintf(stderr, "halvern log: %s\n", hidStop.c_str());
        status = 1;
    }
    if (portLost) {
        std::fprintf(stderr, "halvern log: the port %s went away (device removed?)\n",
                     portPath.c_str());
        status = 1;
    }
    if (status == 0 || (!packet && !(text && text->failure()))) {
        rowJournal.finish();  // the rows are where they belong: the journal goes
    } else if (session.table().rowCount() > 0) {
        std::fprintf(stderr, "halvern log: the rows stay in the journal (halvern recover)\n");
    }
    std::fprintf(stderr, "halvern log: %lld frames decoded, %zu rows recorded%s%s\n",
                 consumer.frames(), session.table().rowCount(),
                 savePath.empty() ? "" : ", saved to ", savePath.c_str());
    return status;
}
