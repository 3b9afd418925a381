// Feeds a capture of N frames (argv[1], 0 = an empty run) through the reading pipeline and the
// recorder in poll-sized batches and exits. scripts/callgrind-pipeline.sh counts the instructions
// spent in runPipeline for N = 0 and N = 100000; the difference per frame is the pipeline's cost.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/capture.h"
#include "meter/reading_pipeline.h"
#include "recording/recorder.h"
#include "recording/table_store.h"

namespace {

// The window's consumers are left out: this measures assembly, decoding and the recording step,
// which appends every reading (Repeat on, no record limit) to a table with room for them all.
__attribute__((noinline)) long runPipeline(const std::string& capture, std::size_t frames) {
    FixedClock clock(LocalDateTime{2026, 12, 9, 23, 0, 0});
    TableStore table;
    table.reserve(frames);
    Recorder recorder(table, clock);
    recorder.selectRecordLimit(RecordLimitItem::limitess);
    RecorderConsumer consumer(recorder);
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
    if (table.rowCount() != frames) {
        std::fprintf(stderr, "recorded %zu rows of %zu frames\n", table.rowCount(), frames);
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
    const long last = runPipeline(capture, static_cast<std::size_t>(frames));
    std::printf("%ld frames, last Nval %ld\n", frames, last);
    return 0;
}
