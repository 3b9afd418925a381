#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "meter/frame_assembly.h"
#include "meter/frame_decoder.h"

// The frame assembler of the USB bridge link (Timer1's tick, steps 2-4), fed one byte per tick.
// Frames are 13 bytes: 11 data bytes, CR, LF. A complete frame becomes the frame text "A" + the
// data bytes as characters + "D", where the bytes 0x3A-0x3F (":" to "?", the meter's nibbles A-F)
// become the digits "A"-"F"; it is decoded when it has 13 characters (no zero data byte). A line
// feed at any other position zeroes the buffer and asks for a flush of the device but keeps the
// position, so the rest of that frame is never decoded. Every 13th byte resets the position and
// asks for a flush. The state is kept between starts of the link; nothing is allocated.
class UsbFrameAssembler {
public:
    static constexpr std::size_t kBufferSize = 65;
    static constexpr std::uint8_t kFrameSize = 13;

    explicit UsbFrameAssembler(FrameDecoder& decoder) : m_decoder(decoder) {}

    // Steps 2-4 for a byte a read delivered. Returns true when the device's pending input must
    // be discarded now (SI_FlushBuffers). Never fails; frames that fail the test are dropped.
    bool byteRead(std::uint8_t byte);

    // Told about every complete frame (the LF as 13th byte) with what the decoder got, or the
    // text that failed the test and outcome nullptr. Not owned; may be null.
    void setListener(FrameListener* listener) { m_listener = listener; }

    // Forgets the frame begun so far (the bridge went away in the middle of it): the buffer is
    // zeroed and the next byte is stored at index 0.
    void dropFrame() {
        std::fill(std::begin(m_buffer), std::end(m_buffer), std::uint8_t{0});
        m_pos = 0;
    }

    const std::uint8_t* UsbFrameBuffer() const { return m_buffer; }
    std::uint8_t UsbFramePos() const { return m_pos; }

    // The character a data byte stands for in the frame text: 0x3A-0x3F give "A"-"F", every
    // other byte itself.
    static char dataCharacter(std::uint8_t byte);

private:
    FrameDecoder& m_decoder;
    FrameListener* m_listener = nullptr;
    std::uint8_t m_buffer[kBufferSize] = {};
    std::uint8_t m_pos = 0;
};
