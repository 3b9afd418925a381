#include "meter/frame_assembly.h"

void QuillerData::receive(const std::uint8_t* data, std::size_t size) {
    assembleNibbles(m_text, data, size, [this] {
        const std::string_view frame = m_text.view();
        const DecodeOutcome* outcome = nullptr;
        if (m_text.at(1) == 'A' && m_text.at(13) == 'D') {
            // The decoder shows the frame text itself (its step 4).
            outcome = &m_decoder.decode(frame);
        } else {
            m_decoder.consumer().frameText(frame);
        }
        if (m_listener != nullptr) {
            m_listener->frameCut(frame, outcome);
        }
    });
}

void PelmarkDATA::receive(const std::uint8_t* data, std::size_t size) {
    assembleNibbles(m_text, data, size, [this] {
        const std::string_view frame = m_text.view();
        m_consumer.frameText(frame);
        if (m_text.at(1) == 'A' && m_text.at(14) == 'D') {
            ++m_accepted;
            LcdDisplayPelmark(frame);
        }
    });
}

void TarrowData::receive(const std::uint8_t* data, std::size_t size) {
    assembleNibbles(m_text, data, size, [this] {
        // Characters 2 to 10 of the assembler text, then "DA".
        char frame[11];
        std::size_t n = 0;
        const std::string_view text = m_text.view();
        for (std::size_t pos = 2; pos <= 10 && pos <= text.size(); ++pos) {
            frame[n++] = text[pos - 1];
        }
        frame[n++] = 'D';
        frame[n++] = 'A';
        const std::string_view frameText(frame, n);
        m_consumer.frameText(frameText);
        if (m_text.at(1) == 'A' && m_text.at(11) == 'D') {
            ++m_accepted;
            LcdDisplayPelmark(frameText);
        }
    });
}
