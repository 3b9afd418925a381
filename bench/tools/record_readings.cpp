// Records readings through the recorder, for counting instructions per recording step:
//   valgrind --tool=callgrind --toggle-collect='recordReadings*' build/bench/record_readings N
// Instructions per step = the collected total / N.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "meter/clock.h"
#include "recording/recorder.h"
#include "recording/table_store.h"

__attribute__((noinline)) std::size_t recordReadings(Recorder& recorder,
                                                     const std::vector<CurrentReading>& readings,
                                                     std::size_t count) {
    std::size_t appended = 0;
    for (std::size_t i = 0; i < count; ++i) {
        appended += recorder.recordReading(readings[i % readings.size()]).appended ? 1 : 0;
    }
    return appended;
}

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    std::vector<CurrentReading> readings(4000);
    char value[16];
    for (std::size_t v = 0; v < readings.size(); ++v) {
        // A slow drift: each value text repeats for eight readings, as a steady input does.
        const std::size_t shown = v / 8;
        std::snprintf(value, sizeof value, "%zu.%03zu", shown / 1000, shown % 1000);
        readings[v].valueText = value;
        readings[v].functionText = "DCV";
        readings[v].unitText = "V";
        readings[v].rangeText = "4 V";
        readings[v].autoManualText = "Auto";
        readings[v].nval = static_cast<float>(shown);
    }
    TableStore table;
    table.reserve(count);
    FixedClock clock(LocalDateTime{2026, 12, 9, 12, 4, 31});
    Recorder recorder(table, clock);
    recorder.selectRecordLimit(RecordLimitItem::limitess);
    recordReadings(recorder, readings, 1000);  // warm: the texts are interned once
    const std::size_t appended = recordReadings(recorder, readings, count);
    std::printf("%zu readings, %zu rows\n", count, appended);
    return 0;
}
