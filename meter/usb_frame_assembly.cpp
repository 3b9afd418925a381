#include "meter/usb_frame_assembly.h"

#include <algorithm>
#include <string_view>

char UsbFrameAssembler::dataCharacter(std::uint8_t byte) {
    // The meter sends each nibble as 0x30 + nibble: ":" to "?" are the digits A to F, the
    // characters the serial and HID links make of the same bytes.
    if (byte >= 0x3A && byte <= 0x3F) {
        return static_cast<char>('A' + (byte - 0x3A));
    }
    return static_cast<char>(byte);
}

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
                text[size++] = dataCharacter(m_buffer[i]);
            }
            text[size++] = 'D';
            // A zero data byte shortens the text: only 11 data bytes make a frame.
            const DecodeOutcome* outcome =
                size == kFrameSize ? &m_decoder.decode(std::string_view(text, size)) : nullptr;
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
