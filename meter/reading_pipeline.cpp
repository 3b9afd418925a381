#include "meter/reading_pipeline.h"

void ConsumerList::frameMark() {
    for (ReadingConsumer* c : m_consumers) {
        c->frameMark();
    }
}

void ConsumerList::frameText(std::string_view nibbleFrame) {
    for (ReadingConsumer* c : m_consumers) {
        c->frameText(nibbleFrame);
    }
}

void ConsumerList::lcdApply(const LcdState& state) {
    for (ReadingConsumer* c : m_consumers) {
        c->lcdApply(state);
    }
}

void ConsumerList::scaleUpdate(const FrameCountMode& mode, int needleValue) {
    for (ReadingConsumer* c : m_consumers) {
        c->scaleUpdate(mode, needleValue);
    }
}

void ConsumerList::limitCheck(const CurrentReading& reading, const FrameCountMode& mode) {
    for (ReadingConsumer* c : m_consumers) {
        c->limitCheck(reading, mode);
    }
}

bool ConsumerList::recordReading(const CurrentReading& reading) {
    bool appended = false;
    for (ReadingConsumer* c : m_consumers) {
        appended = c->recordReading(reading) || appended;
    }
    return appended;
}

void ConsumerList::barGraph(int maximum, int position) {
    for (ReadingConsumer* c : m_consumers) {
        c->barGraph(maximum, position);
    }
}

void ConsumerList::chartFeed(int y) {
    for (ReadingConsumer* c : m_consumers) {
        c->chartFeed(y);
    }
}

void ConsumerList::conversionFailed(std::string_view message) {
    for (ReadingConsumer* c : m_consumers) {
        c->conversionFailed(message);
    }
}

ReadingPipeline::ReadingPipeline(ReadingConsumer& consumer, Clock& clock,
                                 std::string_view decimalSeparator, ReceiveHandler handler)
    : m_handler(handler),
      m_decoder(consumer, clock, decimalSeparator),
      m_quiller(m_decoder),
      m_pelmark(consumer),
      m_tarrow(consumer) {}

void ReadingPipeline::receive(const std::uint8_t* data, std::size_t size) {
    switch (m_handler) {
        case ReceiveHandler::QuillerData:
            m_quiller.receive(data, size);
            break;
        case ReceiveHandler::PelmarkDATA:
            m_pelmark.receive(data, size);
            break;
        case ReceiveHandler::TarrowData:
            m_tarrow.receive(data, size);
            break;
        case ReceiveHandler::None:
            break;
    }
}
