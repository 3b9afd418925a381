// Arbitrary serial bytes through TarrowData, in arbitrary batch splits.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "meter/frame_assembly.h"

namespace {

class CheckingConsumer : public ReadingConsumer {
public:
    void frameText(std::string_view text) override {
        fuzzCheck(text.size() >= 2 && text.size() <= 11 && text.ends_with("DA"));
        ++frames;
    }
    std::size_t frames = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingConsumer consumer;
    TarrowData tarrow(consumer);
    feedInChunks(data, size, [&](const std::uint8_t* p, std::size_t n) { tarrow.receive(p, n); });
    fuzzCheck(tarrow.acceptedFrames() <= consumer.frames);
    return 0;
}
