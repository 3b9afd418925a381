// halvern log: the meter logged without a window, through the same serial driver, poll,
// decoder and recording rules as the window.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "app/cli/cli_args.h"
#include "app/cli/commands.h"
#include "app/cli/hid_log_session.h"
#include "meter/clock.h"
#include "meter/locale_decimal_separator.h"
#include "meter/reading_pipeline.h"
#include "recording/byte_stream.h"
#include "recording/data_files.h"
#include "recording/formats.h"
#include "recording/journal.h"
#include "recording/recorder.h"
#include "recording/table_store.h"
#include "transport/comm_port_driver.h"
#include "transport/device_roots.h"
#include "transport/hid_report_lines.h"
#include "transport/loop_poll_timer.h"
#include "transport/posix/termios_serial_port.h"
#include "transport/posix/usb_bridge_tty.h"
#include "transport/usb_xpress_link.h"

namespace {

LoopPollTimer* g_timer = nullptr;
HidLogSession* g_hidSession = nullptr;

void onStopSignal(int) {
    if (g_timer) {
        g_timer->requestStop();
    }
    if (g_hidSession) {
        g_hidSession->requestStop();
    }
}

void printHelp(std::FILE* out) {
    std::fprintf(
        out,
        "usage: halvern log --port PATH [--save FILE] [--duration SECONDS] [--frames N]\n"
        "                   [--no-repeat] [--record-limit N] [--capture FILE]\n"
        "       halvern log --usb-bridge [--sysfs-root DIR] [--dev-root DIR] [options as above]\n"
        "       halvern log --hid [--sysfs-root DIR] [--dev-root DIR] [options as above]\n"
        "Logs the meter on the serial device PATH (9600 bit/s, 7 data bits, no parity, 1 stop\n"
        "bit), or through its USB bridge (10C4:EA61, exactly one attached) as \"USB Connect \"\n"
        "does, or through its HID cable (the last device named \"USB to Serial\") as \"HID\n"
        "Connect\" does, without a window: every frame is decoded and recorded as in the window.\n"
        "  --save FILE        tab-separated text (each row written as it is recorded), or the\n"
        "                     XML data packet for a name ending in .xml (written at the end);\n"
        "                     without --save the rows go to standard output\n"
        "  --duration SECONDS stop after this long\n"
        "  --frames N         stop after N decoded frames\n"
        "  --no-repeat        record a reading only when it differs from the last one recorded\n"
        "  --record-limit N   1000, 5000, 10000 (default), 50000, 100000 or limitless\n"
        "  --capture FILE     also write every byte the link read, in order (replay it with\n"
        "                     halvern decode --link serial|usb-bridge FILE); with --hid every\n"
        "                     input report as a line (halvern decode --link hid FILE)\n"
        "  --sysfs-root DIR, --dev-root DIR   look for the bridge or the cable there (default\n"
        "                     /sys, /dev)\n"
        "With --hid, a cable that sends 1900 reports in a row without meter bytes ends the log.\n"
        "Stops on Ctrl+C or SIGTERM too; the file is complete and loadable whenever it stops.\n");
}

// The text file, one row at a time: the header at the start, then each row as it is recorded,
// handed to the system at once (a crash of the program loses nothing) and forced to the disk
// after each poll's batch (a power cut loses nothing recorded before the last poll).
class RowJournal {
public:
    // fd is owned (closed on destruction, unless a standard stream); sync: force rows to disk.
    RowJournal(int fd, bool sync) : m_fd(fd), m_sync(sync) {}
    ~RowJournal() {
        if (m_fd > STDERR_FILENO) {
            ::close(m_fd);
        }
    }
    RowJournal(const RowJournal&) = delete;
    RowJournal& operator=(const RowJournal&) = delete;

    bool writeHeader() {
        const bool ok = put(std::string(kTextHeader) + "\r\n");
        syncToDisk();
        return ok;
    }
    // Writes row `row` of the table as the text file holds it.
    bool writeRow(const TableStore& table, std::size_t row) {
        // The file format's own writer forms the line, so the journal and a saved table agree
        // byte for byte.
        m_scratch.clear();
        RowData data;
        data.no = table.no(row);
        for (std::size_t i = 0; i < kTextFieldCount; ++i) {
            data.texts[i] = table.text(row, static_cast<Field>(i + 1));
        }
        data.nval = table.nval(row);
        m_scratch.append(data);
        m_text.clear();
        writeTableText(m_scratch, m_sink);
        m_sink.flush();
        const std::size_t headerEnd = m_text.find("\r\n");
        return put(
            std::string_view(m_text).substr(headerEnd == std::string::npos ? 0 : headerEnd + 2));
    }
    bool ok() const { return m_ok; }
    // Forces the rows written since the last call to the disk. Called once per poll batch
    // (up to four frames at the line's top rate): every row is on the disk before the next
    // bytes are read, at a quarter of the cost of a sync per row.
    void syncToDisk() {
        if (m_dirty && m_ok) {
            ::fdatasync(m_fd);
        }
        m_dirty = false;
    }

private:
    bool put(std::string_view bytes) {
        while (m_ok && !bytes.empty()) {
            const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            } else if (!(n < 0 && errno == EINTR)) {
                m_ok = false;
            }
        }
        m_dirty = m_dirty || m_sync;
        return m_ok;
    }

    int m_fd;
    bool m_sync;
    bool m_ok = true;
    bool m_dirty = false;
    TableStore m_scratch;
    std::string m_text;
    ByteSink m_sink{m_text};  // its buffer is allocated once, not per row
};

// The decoder's consumers of the logger: counts frames, records, journals each new row.
class LogConsumer final : public ReadingConsumer {
public:
    LogConsumer(Recorder& recorder, TableStore& table, RowJournal* journal, long long frameLimit)
        : m_recorder(recorder), m_table(table), m_journal(journal), m_frameLimit(frameLimit) {}

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
        const RecordOutcome outcome = m_recorder.recordReading(reading);
        if (outcome.appended && m_journal &&
            !m_journal->writeRow(m_table, m_table.rowCount() - 1)) {
            m_writeFailed = true;
        }
        return outcome.appended;
    }
    void conversionFailed(std::string_view message) override {
        std::fprintf(stderr, "halvern log: %.*s\n", static_cast<int>(message.size()),
                     message.data());
    }

    bool done() const { return m_frameLimit >= 0 && m_frames >= m_frameLimit; }
    long long frames() const { return m_frames; }
    bool writeFailed() const { return m_writeFailed; }

private:
    Recorder& m_recorder;
    TableStore& m_table;
    RowJournal* m_journal;
    long long m_frameLimit;
    long long m_frames = 0;
    bool m_beyondLimit = false;
    bool m_writeFailed = false;
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
    std::string capturePath;
    DeviceRoots roots;
    std::optional<std::string> rootError;
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
        } else if (arg == "--usb-bridge") {
            usbBridge = true;
        } else if (arg == "--hid") {
            hid = true;
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

    // A mistyped root would otherwise read as "no bridge" or "no cable".
    if (usbBridge || hid) {
        if (const std::optional<std::string> problem = deviceRootProblem(roots)) {
            std::fprintf(stderr, "halvern log: %s\n", problem->c_str());
            return 1;
        }
    }

    // The port first: nothing is written when the meter cannot be reached.
    auto timerOwned = std::make_unique<LoopPollTimer>();
    LoopPollTimer& timer = *timerOwned;
    PortMap ports;
    ports.setPath(0, portPath);
    TCommPortDriver driver(std::make_unique<TermiosSerialPort>(), std::move(timerOwned), ports);
    driver.setComPort(pnCOM1);
    driver.setComPortDataBits(db7BITS);  // the meter's line: 9600 bit/s, 7N1

    // The USB bridge: the window's link, Timer1 on a loop timer; frames are bound to the
    // decoder once the recording exists.
    std::unique_ptr<UsbXpressLink> usbLink;
    LoopPollTimer* usbTimer = nullptr;
    if (usbBridge) {
        auto owned = std::make_unique<LoopPollTimer>();
        usbTimer = owned.get();
        usbLink = std::make_unique<UsbXpressLink>(std::make_unique<UsbBridgeTty>(roots),
                                                  std::move(owned));
        usbLink->start();
        if (!usbLink->holdsDevice()) {
            std::fprintf(stderr, "halvern log: %s%s\n",
                         usbLink->UsbOpened() ? "cannot open the USB bridge " : "",
                         usbLink->statusText().c_str());
            return 1;
        }
    }
    // The HID cable: found and tested for access as "HID Connect" would find it.
    std::unique_ptr<HidLogSession> hidSession;
    if (hid) {
        hidSession = std::make_unique<HidLogSession>(roots);
        if (const std::optional<std::string> problem = hidSession->findCable()) {
            std::fprintf(stderr, "halvern log: %s\n", problem->c_str());
            return 1;
        }
    }
    errno = 0;
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
    auto captureBytes = [&](const std::uint8_t* data, std::size_t size) {
        if (capture && !captureFailed &&
            (std::fwrite(data, 1, size, capture.get()) != size ||
             std::fflush(capture.get()) != 0)) {
            captureFailed = true;
        }
    };

    const bool packet = !savePath.empty() && isPacketName(savePath);
    std::unique_ptr<RowJournal> journal;
    if (savePath.empty()) {
        journal = std::make_unique<RowJournal>(STDOUT_FILENO, false);
    } else if (!packet) {
        const int fd = ::open(savePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::fprintf(stderr, "halvern log: cannot write %s: %s\n", savePath.c_str(),
                         std::strerror(errno));
            return 1;
        }
        journal = std::make_unique<RowJournal>(fd, true);
        if (!journal->writeHeader()) {
            std::fprintf(stderr, "halvern log: cannot write %s: %s\n", savePath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    } else {
        journal = nullptr;
    }
    if (savePath.empty()) {
        journal->writeHeader();
    }

    TableStore table;
    SystemClock clock;
    Recorder recorder(table, clock);
    recorder.setRepeat(repeat);
    if (limit) {
        recorder.selectRecordLimit(*limit);
    }
    // Every recorded row also goes to the session's journal, so a crash leaves it recoverable
    // (halvern recover); a clean end removes it.
    JournalSink rowJournal(defaultJournalFolder(),
                           JournalOrigin{usbBridge ? "USB bridge"
                                         : hid     ? "HID cable"
                                                   : "serial",
                                         usbBridge ? usbLink->si().lastOpen().path
                                         : hid     ? hidSession->node()
                                                   : portPath,
                                         {}});
    recorder.sinks().add(rowJournal);
    LogConsumer consumer(recorder, table, journal.get(), frameLimit);
    // The system's separators, read once as the window does.
    recorder.setTimeSeparator(ReadLocaleTimeSeparator().front());
    ConsumerList consumers;
    consumers.add(consumer);
    if (hidSession) {
        consumers.add(hidSession->indicatorConsumer());  // the cable-idle check's frame mark
    }
    ReadingPipeline pipeline(consumers, clock, ReadLocaleDecimalSeparator());

    // After every input of any link: the rows recorded so far reach the disk, and the answer
    // is whether the log is to end (enough frames, or the rows can no longer be written).
    bool journalFailing = false;
    const auto inputTaken = [&] {
        if (journal) {
            journal->syncToDisk();
        }
        // The journal's trouble is told once when it starts and once when it ends.
        if (const JournalStatus js = rowJournal.status(); js.protectedRows == journalFailing) {
            journalFailing = !js.protectedRows;
            if (journalFailing) {
                std::fprintf(stderr,
                             "halvern log: the journal %s; the readings are not protected "
                             "against a crash\n",
                             js.failure.text.c_str());
            } else {
                std::fprintf(stderr, "halvern log: the journal is written again\n");
            }
        }
        return consumer.done() || consumer.writeFailed();
    };

    bool portLost = false;
    driver.setOnReceiveData(
        [&](TCommPortDriver* sender, const std::uint8_t* data, std::int32_t size) {
            captureBytes(data, static_cast<std::size_t>(size));
            pipeline.receive(data, static_cast<std::size_t>(size));
            if (inputTaken()) {
                sender->Disconnect();
            }
        });
    driver.setOnPortLost([&](TCommPortDriver*) { portLost = true; });
    bool bridgeLost = false;
    if (usbLink) {
        usbLink->bindDecoder(pipeline.decoder());
        usbLink->onByteTaken = [&](std::uint8_t byte) {
            captureBytes(&byte, 1);
            if (inputTaken()) {
                usbLink->end();
            }
        };
        usbLink->onDeviceLost = [&] {
            bridgeLost = true;
            usbLink->end();
        };
    }

    if (hidSession) {
        std::string line;
        hidSession->onReport = [&, line](std::uint8_t id, const std::uint8_t* data,
                                         std::size_t size) mutable {
            formatHidReportLine(id, data, size, line);
            line += '\n';
            captureBytes(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
        };
        hidSession->onReadError = [](std::string_view text) {
            std::fprintf(stderr, "halvern log: %.*s\n", static_cast<int>(text.size()), text.data());
        };
        hidSession->onResumed = [] {
            std::fprintf(stderr, "halvern log: the HID devices changed; reading the cable again\n");
        };
        if (!hidSession->start(pipeline.decoder())) {
            std::fprintf(stderr, "halvern log: %s\n", hidSession->stopReason().c_str());
            return 1;
        }
    }

    g_timer = usbTimer != nullptr ? usbTimer : &timer;
    g_hidSession = hidSession.get();
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!consumer.done()) {
        auto deadline = std::chrono::steady_clock::time_point::max();
        if (duration > 0) {
            deadline = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(duration));
        }
        if (hidSession) {
            hidSession->run(deadline, [&] {
                if (inputTaken()) {
                    hidSession->requestStop();
                }
            });
        } else {
            g_timer->run(deadline);
        }
    }
    driver.Disconnect();
    const std::string bridgePath = usbLink ? usbLink->si().lastOpen().path : std::string();
    usbLink.reset();
    g_timer = nullptr;
    g_hidSession = nullptr;
    const std::string hidStop = hidSession ? hidSession->stopReason() : std::string();
    hidSession.reset();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);

    int status = 0;
    if (packet) {
        const FileOutcome saved = saveTablePacket(table, savePath);
        if (!saved.ok) {
            std::fprintf(stderr, "halvern log: %s\n", saved.message.c_str());
            status = 1;
        }
    } else if (consumer.writeFailed()) {
        std::fprintf(stderr, "halvern log: writing %s failed: %s\n",
                     savePath.empty() ? "standard output" : savePath.c_str(), std::strerror(errno));
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
    if (status == 0 || (!packet && !consumer.writeFailed())) {
        rowJournal.finish();  // the rows are where they belong: the journal goes
    } else if (table.rowCount() > 0) {
        std::fprintf(stderr, "halvern log: the rows stay in the journal (halvern recover)\n");
    }
    std::fprintf(stderr, "halvern log: %lld frames decoded, %zu rows recorded%s%s\n",
                 consumer.frames(), table.rowCount(), savePath.empty() ? "" : ", saved to ",
                 savePath.c_str());
    return status;
}
