// Arbitrary HID input reports through PelmarkReportData and, with the decoder behind it,
// HidReportData. Each report in the input is a length byte (0-72), then the report ID and the
// payload.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "meter/frame_assembly.h"
#include "meter/frame_decoder.h"

namespace {

class CheckingConsumer : public ReadingConsumer {
public:
    void frameText(std::string_view text) override { fuzzCheck(text.size() <= 14); }
    void barGraph(int maximum, int position) override {
        fuzzCheck(position >= 0 && position <= maximum);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, ".");
    PelmarkReportData pelmark(consumer);
    HidReportData hid(decoder);
    std::size_t i = 0;
    while (i < size) {
        const std::size_t length = data[i] % 73;
        ++i;
        const std::size_t n = length < size - i ? length : size - i;
        // The first byte of a report is its ID, the rest its payload.
        const std::uint8_t reportId = n > 0 ? data[i] : 0;
        const std::uint8_t* payload = n > 0 ? data + i + 1 : data + i;
        const std::size_t payloadSize = n > 0 ? n - 1 : 0;
        pelmark.report(reportId, payload, payloadSize);
        hid.report(reportId, payload, payloadSize);
        fuzzCheck(pelmark.collector().emptyReportCount() >= 0);
        fuzzCheck(hid.collector().endedFrameSize() <= HidFrameCollector::Capacity);
        i += n;
    }
    return 0;
}
