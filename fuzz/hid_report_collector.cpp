// Arbitrary sequences of HID input reports through the cable's shared report collector, each
// report going to HidReportData or PelmarkReportData as the cable link would switch between
// them. Each report in the input is a length byte (0-72; bit 7 picks the Pelmark handler), then
// the report ID and the payload.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "meter/hid_report_collector.h"

namespace {

class CheckingConsumer : public ReadingConsumer {
public:
    void frameText(std::string_view text) override { fuzzCheck(text.size() <= 14); }
    void barGraph(int maximum, int position) override {
        fuzzCheck(position >= 0 && position <= maximum);
    }
};

class CheckingLog : public HidReportLog, public FrameListener {
public:
    void reportLine(std::string_view line) override {
        fuzzCheck(line.size() >= 6 && line[0] == 'R' && (line.size() - 6) % 3 == 0);
    }
    void frameLines(std::string_view hex, std::string_view nibbles) override {
        fuzzCheck(hex.size() % 2 == 0 && hex.size() <= 2 * HidReportCollector::kMaxFrameBytes);
        fuzzCheck(nibbles.size() <= 13 &&
                  nibbles.size() == (hex.size() / 2 < 13 ? hex.size() / 2 : 13));
    }
    void frameCut(std::string_view text, const DecodeOutcome* outcome) override {
        fuzzCheck(text.size() <= 13);
        fuzzCheck(outcome == nullptr || (text.size() == 13 && text[0] == 'A' && text[12] == 'D'));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, ".");
    HidReportCollector collector(decoder);
    CheckingLog log;
    collector.setLog(&log);
    collector.setListener(&log);
    std::size_t i = 0;
    while (i < size) {
        const bool pelmark = (data[i] & 0x80) != 0;
        const std::size_t length = (data[i] & 0x7F) % 73;
        ++i;
        const std::size_t n = length < size - i ? length : size - i;
        // The first byte of a report is its ID, the rest its payload.
        const std::uint8_t reportId = n > 0 ? data[i] : 0;
        const std::uint8_t* payload = n > 0 ? data + i + 1 : data + i;
        const std::size_t payloadSize = n > 0 ? n - 1 : 0;
        const std::int32_t before = collector.emptyReportCount();
        if (pelmark) {
            collector.PelmarkReportData(reportId, payload, payloadSize);
        } else {
            collector.HidReportData(reportId, payload, payloadSize);
        }
        const unsigned count = payloadSize > 0 ? (payload[0] & 0x0F) : 0;
        if (count >= 1 && count <= 9) {
            fuzzCheck(collector.emptyReportCount() == 0 && collector.frameOpen());
        } else {
            fuzzCheck(!collector.frameOpen() && collector.hidHexText().empty());
            fuzzCheck(collector.emptyReportCount() == before + (payloadSize > 0 ? 1 : 0));
        }
        i += n;
    }
    return 0;
}
