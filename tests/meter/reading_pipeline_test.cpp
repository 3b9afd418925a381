#include "meter/reading_pipeline.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/support/frames.h"
#include "tests/support/recording_consumer.h"

namespace {

TEST(ReadingPipelineTest, FeedsTheBoundHandler) {
    RecordingConsumer consumer;
    FixedClock clock;
    ReadingPipeline pipeline(consumer, clock, ",");
    EXPECT_EQ(pipeline.receiveHandler(), ReceiveHandler::QuillerData);
    pipeline.receive(meterFrameBytes("00012340010"));
    EXPECT_EQ(pipeline.decoder().reading().valueText, "1,234");
    EXPECT_EQ(consumer.recorded, 1);

    // The other transports hand over frame texts directly.
    const DecodeOutcome& out = pipeline.decodeFrame("A20112340010D");
    EXPECT_FALSE(out.failed);
    EXPECT_EQ(pipeline.decoder().reading().rangeText, "4k *");

    // Tarrow frames are shown, never decoded.
    RecordingConsumer other;
    ReadingPipeline tarrow(other, clock, ".", ReceiveHandler::TarrowData);
    tarrow.receive(meterFrameBytes("123456789"));
    EXPECT_EQ(other.takeCalls(), "frameText");

    RecordingConsumer none;
    ReadingPipeline unbound(none, clock, ".", ReceiveHandler::None);
    unbound.receive(meterFrameBytes("00012340010"));
    EXPECT_TRUE(none.calls.empty());
}

TEST(ConsumerListTest, FansOutInOrderAndAnyRowCounts) {
    RecordingConsumer a;
    RecordingConsumer b;
    a.appendRows = false;
    b.appendRows = true;
    ConsumerList list;
    list.add(a);
    list.add(b);
    FixedClock clock;
    ReadingPipeline pipeline(list, clock, ".");
    pipeline.receive(meterFrameBytes("00012340010"));
    const std::string all =
        "frameMark frameText lcdApply scaleUpdate limitCheck recordReading barGraph chartFeed";
    EXPECT_EQ(a.takeCalls(), all);  // a appended nothing, b did: the chart gets the point
    EXPECT_EQ(b.takeCalls(), all);
    EXPECT_EQ(b.chartValues, std::vector<int>{1234});

    b.appendRows = false;
    pipeline.receive(meterFrameBytes("00012340010"));
    EXPECT_EQ(a.takeCalls(),
              "frameMark frameText lcdApply scaleUpdate limitCheck recordReading barGraph");
}

// Collects the functions and failures of a decoded capture.
struct CaptureSummary : RecordingConsumer {
    std::set<std::string> functions;
    std::vector<std::string> values;
    bool recordReading(const CurrentReading& r) override {
        functions.insert(r.functionText.str());
        values.push_back(r.valueText.str());
        return true;
    }
};

TEST(DemoCaptureTest, DecodesEveryFrameAfterTheTornFirstOne) {
    std::ifstream in(HALVERN_SOURCE_DIR "/demo/meter-capture.bin", std::ios::binary);
    ASSERT_TRUE(in) << "demo/meter-capture.bin is missing";
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CaptureSummary summary;
    FixedClock clock;
    ReadingPipeline pipeline(summary, clock, ".");
    for (std::size_t at = 0; at < bytes.size(); at += 54) {
        pipeline.receive(std::string_view(bytes).substr(at, 54));
    }
    EXPECT_EQ(summary.frameTexts.size(), 41u);  // the torn first text is shown, not decoded
    EXPECT_EQ(summary.values.size(), 40u);
    EXPECT_TRUE(summary.messages.empty());
    EXPECT_EQ(summary.functions, (std::set<std::string>{"DCV", "OHM", "TMP", "CAP"}));
    EXPECT_EQ(summary.values.front(), "1.234");
    EXPECT_EQ(summary.values.back(), "-1.190");
}

}  // namespace
