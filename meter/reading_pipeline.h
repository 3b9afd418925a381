#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "meter/clock.h"
#include "meter/frame_assembly.h"
#include "meter/frame_decoder.h"
#include "meter/model_profile.h"
#include "meter/reading_consumer.h"

// Fans every hook out to several consumers in the order they were added. recordReading asks
// every consumer and answers true if any appended a row. Consumers are not owned; add them
// before the first frame (adding allocates, the frames do not).
class ConsumerList final : public ReadingConsumer {
public:
    void add(ReadingConsumer& consumer) { m_consumers.push_back(&consumer); }
    // Drops a consumer that is about to go (no-op if it was never added). Never fails.
    void remove(ReadingConsumer& consumer) { std::erase(m_consumers, &consumer); }
    std::size_t size() const { return m_consumers.size(); }

    void frameMark() override;
    void frameText(std::string_view nibbleFrame) override;
    void lcdApply(const LcdState& state) override;
    void scaleUpdate(const FrameCountMode& mode, int needleValue) override;
    void limitCheck(const CurrentReading& reading, const FrameCountMode& mode) override;
    bool recordReading(const CurrentReading& reading) override;
    void barGraph(int maximum, int position) override;
    void chartFeed(int y) override;
    void conversionFailed(std::string_view message) override;

private:
    std::vector<ReadingConsumer*> m_consumers;
};

// The reading engine without a window: the profile's serial frame handler bound to the decoder.
// receive() takes the bytes of one poll; decodeFrame() takes a frame text from the transports
// that assemble their own (USB bridge, HID cable). Nothing is allocated per frame.
class ReadingPipeline {
public:
    ReadingPipeline(ReadingConsumer& consumer, Clock& clock, std::string_view decimalSeparator,
                    ReceiveHandler handler = ReceiveHandler::QuillerData);

    // Bytes from the serial driver, fed to the bound handler (none bound: dropped). Never fails.
    void receive(const std::uint8_t* data, std::size_t size);
    void receive(std::string_view bytes) {
        receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    // Forgets the frame the bound handler has begun: the link lost its device in the middle of
    // it, and its rest never comes. The next frame is assembled from its own bytes only.
    void dropPendingFrame() {
        m_quiller.dropPendingFrame();
        m_pelmark.dropPendingFrame();
        m_tarrow.dropPendingFrame();
    }
    // One frame text, straight to the decoder. Never throws; see DecodeOutcome.
    const DecodeOutcome& decodeFrame(std::string_view frameText) {
        return m_decoder.decode(frameText);
    }

    // Traces every frame the serial handler cuts (QuillerData only). Not owned; may be null.
    void setFrameListener(FrameListener* listener) { m_quiller.setListener(listener); }

    ReceiveHandler receiveHandler() const { return m_handler; }
    FrameDecoder& decoder() { return m_decoder; }
    const FrameDecoder& decoder() const { return m_decoder; }

private:
    ReceiveHandler m_handler;
    FrameDecoder m_decoder;
    QuillerData m_quiller;
    PelmarkDATA m_pelmark;
    TarrowData m_tarrow;
};
