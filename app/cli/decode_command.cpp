#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "app/cli/commands.h"
#include "meter/clock.h"
#include "meter/hid_report_collector.h"
#include "meter/locale_decimal_separator.h"
#include "meter/reading_pipeline.h"
#include "meter/usb_frame_assembly.h"
#include "meter/whole_number.h"
#include "recording/byte_stream.h"
#include "recording/data_files.h"
#include "recording/formats.h"
#include "recording/recorder.h"
#include "recording/table_store.h"
#include "transport/hid/hid_report_lines.h"

namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: halvern decode [--link serial|usb-bridge|hid] [--trace]\n"
                 "                      [--decimal-separator S] [--no-repeat] [--record-limit N]\n"
                 "                      [--save FILE] [INPUT]\n"
                 "Decodes raw meter bytes (a serial capture) from INPUT or standard input and\n"
                 "records the readings as the window does (Repeat on unless --no-repeat, record\n"
                 "limit 10000 unless --record-limit N). Writes the recorded table as the\n"
                 "tab-separated data file to standard output, or saves it as FILE (\".xml\": data\n"
                 "packet, anything else: tab-separated text). With --trace, prints one line per\n"
                 "decoded frame instead: frame, function, value, unit, range, auto/manual, Nval,\n"
                 "count mode, bar position, row, conversion message (tab-separated).\n"
                 "With --link usb-bridge, INPUT holds the bytes the USB bridge link read, in\n"
                 "order (halvern log --usb-bridge --capture FILE), and is assembled as that link\n"
                 "does; --link serial (the default) reads a serial capture. --link hid reads HID\n"
                 "report lines instead (report ID, then the payload bytes, two upper-case hex\n"
                 "digits each, single blanks between; blank and # lines skipped) and rebuilds the\n"
                 "frames as the HID cable link does.\n");
}

struct Options {
    bool usbBridge = false;  // --link usb-bridge: the bytes the bridge link read, in order
    bool hidLink = false;    // --link hid: the input is HID report lines
    bool trace = false;
    std::optional<std::string> separator;
    bool repeat = true;
    std::int32_t recordLimit = 10000;
    std::optional<std::string> saveName;
    std::optional<std::string> input;
};

// Parses the arguments; nullopt (after printing why) when they are not usable.
std::optional<Options> parseOptions(int argc, char** argv, bool& helpAsked) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "halvern decode: %.*s needs a value\n",
                             static_cast<int>(name.size()), name.data());
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            helpAsked = true;
            return std::nullopt;
        } else if (arg == "--link") {
            const char* v = value(arg);
            if (v == nullptr) {
                return std::nullopt;
            }
            const std::string_view link = v;
            if (link != "serial" && link != "usb-bridge" && link != "hid") {
                std::fprintf(stderr,
                             "halvern decode: --link must be serial, usb-bridge or hid, not '%s'\n",
                             v);
                return std::nullopt;
            }
            options.usbBridge = link == "usb-bridge";
            options.hidLink = link == "hid";
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--no-repeat") {
            options.repeat = false;
        } else if (arg == "--decimal-separator") {
            const char* v = value(arg);
            if (v == nullptr) {
                return std::nullopt;
            }
            if (std::strlen(v) > 9) {
                std::fprintf(stderr,
                             "halvern decode: the decimal separator has at most 9 characters\n");
                return std::nullopt;
            }
            options.separator = v;
        } else if (arg == "--record-limit") {
            const char* v = value(arg);
            if (v == nullptr) {
                return std::nullopt;
            }
            const auto limit = parseWholeNumber(v);
            if (!limit || *limit < 0) {
                std::fprintf(stderr,
                             "halvern decode: --record-limit needs a whole number >= 0, not '%s'\n",
                             v);
                return std::nullopt;
            }
            options.recordLimit = *limit;
        } else if (arg == "--save") {
            const char* v = value(arg);
            if (v == nullptr) {
                return std::nullopt;
            }
            if (*v == '\0') {
                std::fprintf(stderr, "halvern decode: --save needs a file name\n");
                return std::nullopt;
            }
            options.saveName = v;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "halvern decode: unknown option %s\n", argv[i]);
            return std::nullopt;
        } else if (!options.input) {
            options.input = std::string(arg);
        } else {
            std::fprintf(stderr, "halvern decode: only one INPUT may be given\n");
            return std::nullopt;
        }
    }
    return options;
}

// One trace line per frame handed to the decoder, written as the frame is processed.
class TraceWriter final : public FrameListener {
public:
    TraceWriter(const FrameDecoder& decoder, const Recorder& recorder, std::FILE* out)
        : m_decoder(decoder), m_recorder(recorder), m_out(out) {}

    void frameCut(std::string_view frameText, const DecodeOutcome* outcome) override {
        if (outcome == nullptr) {
            return;  // failed the shape test: never reached the decoder
        }
        put(frameText);
        if (outcome->failed) {
            std::fputs("\t\t\t\t\t\t\t\t\t-\t", m_out);
            put(outcome->message);
            std::fputc('\n', m_out);
            return;
        }
        const CurrentReading& r = m_decoder.reading();
        for (std::string_view text : {r.functionText.view(), r.valueText.view(), r.unitText.view(),
                                      r.rangeText.view(), r.autoManualText.view()}) {
            std::fputc('\t', m_out);
            put(text);
        }
        const std::string_view mode =
            outcome->countMode != nullptr ? outcome->countMode->scale->mode : std::string_view();
        std::fprintf(m_out, "\t%ld\t%.*s\t%d\t", static_cast<long>(r.nval),
                     static_cast<int>(mode.size()), mode.data(), outcome->barPosition);
        if (outcome->rowAppended) {
            std::fprintf(m_out, "row%d\t\n", static_cast<int>(m_recorder.nextRowNumber() - 1));
        } else {
            std::fputs("-\t\n", m_out);
        }
    }

private:
    void put(std::string_view text) { std::fwrite(text.data(), 1, text.size(), m_out); }

    const FrameDecoder& m_decoder;
    const Recorder& m_recorder;
    std::FILE* m_out;
};

// Reports a failed conversion of the recording step to the decoder's consumer chain without a
// box per frame: the command line only counts them (the trace shows the decoder's own).
class CommandLineRecorder final : public ReadingConsumer {
public:
    explicit CommandLineRecorder(Recorder& recorder) : m_recorder(recorder) {}
    bool recordReading(const CurrentReading& reading) override {
        return m_recorder.recordReading(reading).appended;
    }

private:
    Recorder& m_recorder;
};

}  // namespace

int runDecodeCommand(int argc, char** argv) {
    bool helpAsked = false;
    const std::optional<Options> parsed = parseOptions(argc, argv, helpAsked);
    if (!parsed) {
        printUsage(helpAsked ? stdout : stderr);
        return helpAsked ? 0 : 2;
    }
    const Options& options = *parsed;

    std::FILE* in = stdin;
    if (options.input && *options.input != "-") {
        in = std::fopen(options.input->c_str(), "rb");
        if (in == nullptr) {
            std::fprintf(stderr, "halvern decode: cannot read %s: %s\n", options.input->c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    SystemClock clock;
    TableStore table;
    Recorder recorder(table, clock);
    recorder.setRepeat(options.repeat);
    recorder.setSamplingInterval(false);
    recorder.setRecordLimit(options.recordLimit);
    recorder.setTimeSeparator(ReadLocaleTimeSeparator().front());
    CommandLineRecorder recording(recorder);

    const std::string separator =
        options.separator ? *options.separator : ReadLocaleDecimalSeparator();
    ReadingPipeline pipeline(recording, clock, separator);
    TraceWriter trace(pipeline.decoder(), recorder, stdout);
    // The bridge link's assembler takes the bytes one at a time, as its reads delivered them; a
    // replay has no pauses, so its flushes find nothing pending and are left out.
    UsbFrameAssembler usbAssembler(pipeline.decoder());
    if (options.trace) {
        pipeline.setFrameListener(&trace);
        usbAssembler.setListener(&trace);
    }

    static std::uint8_t buffer[64 * 1024];
    bool readFailed = false;
    if (options.hidLink) {
        // Every report goes through the HID cable's report handler, as the window's link does.
        HidReportCollector collector(pipeline.decoder());
        if (options.trace) {
            collector.setListener(&trace);
        }
        HidReportLineReader reader(in);
        HidReportLineReader::Result result;
        while ((result = reader.next()) == HidReportLineReader::Result::Report) {
            collector.HidReportData(reader.reportId(), reader.payload(), reader.payloadSize());
        }
        if (result == HidReportLineReader::Result::Error) {
            std::fprintf(stderr, "halvern decode: %s: %s\n",
                         in != stdin ? options.input->c_str() : "standard input",
                         reader.error().c_str());
            if (in != stdin) {
                std::fclose(in);
            }
            return 1;
        }
    }
    while (!options.hidLink) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
        if (options.usbBridge) {
            for (std::size_t i = 0; i < n; ++i) {
                usbAssembler.byteRead(buffer[i]);
            }
        } else if (n > 0) {
            pipeline.receive(buffer, n);
        }
        if (n < sizeof buffer) {
            readFailed = std::ferror(in) != 0;
            break;
        }
    }
    if (in != stdin) {
        std::fclose(in);
    }
    if (readFailed) {
        std::fprintf(stderr, "halvern decode: reading the input failed\n");
        return 1;
    }

    if (options.trace) {
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (options.saveName) {
        const FileOutcome saved = saveTable(table, *options.saveName);
        std::fprintf(stderr, "%s\n", saved.message.c_str());
        return saved.ok ? 0 : 1;
    }
    // Streamed straight to standard output: the table is never built as one text in memory.
    std::fflush(stdout);
    ByteSink out(1);
    writeTableText(table, out);
    if (!out.flush()) {
        std::fprintf(stderr, "halvern decode: writing the table failed: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
}
