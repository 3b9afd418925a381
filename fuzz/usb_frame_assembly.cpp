// Arbitrary bytes through the USB bridge link's assembler and the decoder, one byte per tick.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "meter/usb_frame_assembly.h"

namespace {

// Checks what the assembler promises: only 13-character texts reach the decoder, "A" first and
// "D" last, and every complete frame is cut once.
class CheckingListener : public FrameListener {
public:
    void frameCut(std::string_view text, const DecodeOutcome* outcome) override {
        fuzzCheck(text.size() >= 2 && text.size() <= 13);
        fuzzCheck(text.front() == 'A' && text.back() == 'D');
        if (outcome != nullptr) {
            fuzzCheck(text.size() == 13);
        }
    }
};

class CheckingConsumer : public ReadingConsumer {
public:
    void frameText(std::string_view text) override { fuzzCheck(text.size() == 13); }
    void limitCheck(const CurrentReading& r, const FrameCountMode&) override {
        fuzzCheck(r.nval >= -9999.0f && r.nval <= 9999.0f);
    }
    bool recordReading(const CurrentReading&) override { return true; }
    void barGraph(int maximum, int position) override {
        fuzzCheck(position >= 0 && position <= maximum);
    }
    void conversionFailed(std::string_view message) override {
        fuzzCheck(message.ends_with("' is not a valid integer value"));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingConsumer consumer;
    CheckingListener listener;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, size % 2 == 0 ? "." : ",");
    UsbFrameAssembler assembler(decoder);
    assembler.setListener(&listener);
    for (std::size_t i = 0; i < size; ++i) {
        const bool flush = assembler.byteRead(data[i]);
        fuzzCheck(assembler.UsbFramePos() < UsbFrameAssembler::kFrameSize);
        // Every 13th byte since the last reset, and every misplaced line feed, flush.
        if (data[i] == 0x0A || assembler.UsbFramePos() == 0) {
            fuzzCheck(flush);
        }
        for (std::size_t k = UsbFrameAssembler::kFrameSize; k < UsbFrameAssembler::kBufferSize;
             ++k) {
            fuzzCheck(assembler.UsbFrameBuffer()[k] == 0);
        }
    }
    return 0;
}
