#include "meter/reading_pipeline.h"

#include <gtest/gtest.h>

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

}  // namespace
