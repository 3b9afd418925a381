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

bool HidFrameCollector::report(const std::uint8_t* payload, std::size_t size) {
    if (size >= 1 && m_emptyReports < INT32_MAX) {
        ++m_emptyReports;
    }
    const std::size_t count = size >= 1 ? (payload[0] & 0x0F) : 0;
    if (count >= 1 && count <= 9) {
        if (!m_frameOpen) {
            m_size = 0;
        }
        m_emptyReports = 0;
        m_frameOpen = true;
        m_endedSize = 0;
        // Only the meter bytes the report really holds.
        for (std::size_t i = 1; i <= count && i < size; ++i) {
            if (m_size < Capacity) {
                m_bytes[m_size++] = payload[i];
            }
        }
        return false;
    }
    const bool ended = m_frameOpen;
    m_endedSize = ended ? m_size : 0;
    m_size = 0;
    m_frameOpen = false;
    return ended;
}

void HidReportData::report(std::uint8_t reportId, const std::uint8_t* payload, std::size_t size) {
    (void)reportId;
    if (!m_collector.report(payload, size)) {
        return;
    }
    // F: the low nibbles of the first 13 bytes; the frame text is F's last character, then its
    // first 12: the line feed's "A" moves to the front as on the serial line.
    const std::size_t n = m_collector.endedFrameSize() < 13 ? m_collector.endedFrameSize() : 13;
    const std::uint8_t* bytes = m_collector.endedFrame();
    char frame[13];
    std::size_t k = 0;
    if (n > 0) {
        frame[k++] = lowNibbleDigit(bytes[n - 1]);
        for (std::size_t i = 0; i < n && i < 12; ++i) {
            frame[k++] = lowNibbleDigit(bytes[i]);
        }
    }
    const std::string_view frameText(frame, k);
    const DecodeOutcome* outcome = nullptr;
    if (k >= 13 && frame[0] == 'A' && frame[12] == 'D') {
        outcome = &m_decoder.decode(frameText);
    }
    if (m_listener != nullptr) {
        m_listener->frameCut(frameText, outcome);
    }
}

void PelmarkReportData::report(std::uint8_t reportId, const std::uint8_t* payload,
                               std::size_t size) {
    (void)reportId;
    if (!m_collector.report(payload, size)) {
        return;
    }
    const std::size_t n = m_collector.endedFrameSize();
    const std::uint8_t* bytes = m_collector.endedFrame();
    char low[HidFrameCollector::Capacity];
    bool inOrder = n == HidFrameCollector::Capacity;
    for (std::size_t i = 0; i < n; ++i) {
        low[i] = lowNibbleDigit(bytes[i]);
        if ((bytes[i] >> 4) != i + 1) {
            inOrder = false;
        }
    }
    const std::string_view frameText(low, n);
    m_consumer.frameText(frameText);
    if (inOrder) {
        ++m_accepted;
        LcdDisplayPelmark(frameText);
    }
}
