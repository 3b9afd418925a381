#include "meter/usb_frame_assembly.h"

#include <algorithm>
#include <string_view>

bool UsbFrameAssembler::byteRead(std::uint8_t byte) {
    bool flush = false;
    m_buffer[m_pos] = byte;
    ++m_pos;
    if (byte == 0x0A) {
        if (m_pos == kFrameSize) {
            m_buffer[11] = 0;  // the carriage return ends the text
            // s = "A" + the bytes up to the first zero byte + "D": at most 11 data bytes.
            char text[kFrameSize];
            std::size_t size = 0;
            text[size++] = 'A';
            for (std::size_t i = 0; i < 11 && m_buffer[i] != 0; ++i) {
                text[size++] = static_cast<char>(m_buffer[i]);
            }
            text[size++] = 'D';
            const DecodeOutcome* outcome = nullptr;
            if (size >= 12 && text[11] == '<') {
                // Only a full frame has its 11th data byte at s[12]; "<" stands for the digit C.
                text[11] = 'C';
                text[12] = 'D';
                size = kFrameSize;
                outcome = &m_decoder.decode(std::string_view(text, size));
            } else if (size == kFrameSize && text[9] != '<') {
                outcome = &m_decoder.decode(std::string_view(text, size));
            }
            if (m_listener != nullptr) {
                m_listener->frameCut(std::string_view(text, size), outcome);
            }
        } else {
            std::fill(std::begin(m_buffer), std::end(m_buffer), std::uint8_t{0});
            flush = true;
        }
    }
    if (m_pos >= kFrameSize) {
        m_pos = 0;
        flush = true;
    }
    return flush;
}
