// Arbitrary serial bytes through QuillerData and the decoder, in arbitrary batch splits.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "meter/frame_assembly.h"
#include "meter/frame_decoder.h"

namespace {

// Checks what the decoder promises its consumers.
class CheckingConsumer : public ReadingConsumer {
public:
    void frameText(std::string_view text) override { fuzzCheck(text.size() <= 21); }
    void lcdApply(const LcdState& state) override {
        fuzzCheck(state.point >= 0 && state.point <= 3);
    }
    void limitCheck(const CurrentReading& r, const FrameCountMode&) override {
        fuzzCheck(r.valueText.size() <= 18);
        fuzzCheck(r.nval >= -9999.0f && r.nval <= 9999.0f);
    }
    bool recordReading(const CurrentReading&) override {
        m_appended = !m_appended;  // every other reading becomes a row
        return m_appended;
    }
    void barGraph(int maximum, int position) override {
        fuzzCheck(position >= 0 && position <= maximum);
    }
    void chartFeed(int y) override {
        fuzzCheck(m_appended);
        fuzzCheck(y >= -9999 && y <= 9999);
    }
    void conversionFailed(std::string_view message) override {
        fuzzCheck(message.ends_with("' is not a valid integer value"));
    }

private:
    bool m_appended = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, size % 2 == 0 ? "." : ",");
    QuillerData quiller(decoder);
    feedInChunks(data, size, [&](const std::uint8_t* p, std::size_t n) {
        quiller.receive(p, n);
        fuzzCheck(quiller.pendingText().size() <= 21);
    });
    return 0;
}
