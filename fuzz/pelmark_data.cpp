// Arbitrary serial bytes through PelmarkDATA, in arbitrary batch splits.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "meter/frame_assembly.h"

namespace {

class CheckingConsumer : public ReadingConsumer {
public:
    void frameText(std::string_view text) override {
        fuzzCheck(!text.empty() && text.size() <= 14);
        ++frames;
    }
    std::size_t frames = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingConsumer consumer;
    PelmarkDATA pelmark(consumer);
    feedInChunks(data, size, [&](const std::uint8_t* p, std::size_t n) { pelmark.receive(p, n); });
    fuzzCheck(pelmark.acceptedFrames() <= consumer.frames);
    return 0;
}
