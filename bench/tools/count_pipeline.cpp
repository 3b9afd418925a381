// Feeds a capture of N frames (argv[1], 0 = an empty run) through the reading pipeline in
// poll-sized batches and exits. scripts/callgrind-pipeline.sh counts the instructions spent in
// runPipeline for N = 0 and N = 100000; the difference per frame is the pipeline's cost.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/capture.h"
#include "meter/reading_pipeline.h"

namespace {

// The window's consumers are left out: this measures assembly, decoding and recording.
class NoConsumer : public ReadingConsumer {};

__attribute__((noinline)) long runPipeline(const std::string& capture) {
    NoConsumer consumer;
    FixedClock clock(LocalDateTime{2026, 12, 9, 23, 0, 0});
    ReadingPipeline pipeline(consumer, clock, ".");
    std::size_t batch = 0;
    for (std::size_t at = 0; at < capture.size(); ++batch) {
        std::size_t n = pollBatchSize(batch);
        if (n > capture.size() - at) {
            n = capture.size() - at;
        }
        pipeline.receive(reinterpret_cast<const std::uint8_t*>(capture.data() + at), n);
        at += n;
    }
    return static_cast<long>(pipeline.decoder().reading().nval);
}

}  // namespace

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
    if (frames < 0) {
        std::fprintf(stderr, "usage: count_pipeline FRAMES\n");
        return 2;
    }
    const std::string capture = makeCapture(static_cast<std::size_t>(frames));
    const long last = runPipeline(capture);
    std::printf("%ld frames, last Nval %ld\n", frames, last);
    return 0;
}
