#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "meter/frame_decoder.h"
#include "meter/reading_consumer.h"

// The serial frame assemblers of the meter profiles (the HID cable's report handlers are in
// hid_report_collector.h). Each is fed the bytes of one poll in chunks of any size, keeps its
// assembler text between calls, cuts frames and hands every cut frame text on: to the decoder
// when the frame passes its shape test, else to the consumer's frameText only (the diagnostic
// label). Either way each cut text reaches frameText exactly once. The texts are held in fixed
// buffers: nothing is allocated per byte or per frame, and a run of bytes without a carriage
// return cannot grow them.

// Told about every frame text an assembler cuts; for traces. outcome is nullptr when the frame
// failed the shape test and was dropped.
class FrameListener {
public:
    virtual ~FrameListener() = default;
    virtual void frameCut(std::string_view frameText, const DecodeOutcome* outcome) = 0;
};

// The assembler text: the low-nibble characters received since the last carriage return, of
// which only the first Capacity are kept (no frame test looks further).
template <std::size_t Capacity>
class NibbleText {
public:
    void append(char c) {
        if (m_size < Capacity) {
            m_text[m_size++] = c;
        }
    }
    // Appends the low-nibble digits of a run of bytes (none of them a carriage return).
    void appendNibbles(const std::uint8_t* bytes, std::size_t count) {
        const std::size_t n = count < Capacity - m_size ? count : Capacity - m_size;
#pragma GCC unroll 4
        for (std::size_t i = 0; i < n; ++i) {
            m_text[m_size + i] = "0123456789ABCDEF"[bytes[i] & 0x0F];
        }
        m_size += n;
    }
    void clear() {
        m_size = 0;
    }
    std::string_view view() const {
        return {m_text, m_size};
    }
    // Character at position (counted from 1), or 0 when the text is shorter.
    char at(std::size_t position) const {
        return position <= m_size ? m_text[position - 1] : 0;
    }

private:
    char m_text[Capacity] = {};
    std::size_t m_size = 0;
};

// The assembly rule the serial handlers share: every byte but the carriage return (0x0D) adds the
// hexadecimal digit of its low nibble to the text; the carriage return adds "D", then cut(text)
// is called and the text emptied.
template <std::size_t Capacity, typename Cut>
void assembleNibbles(NibbleText<Capacity>& text, const std::uint8_t* data, std::size_t size,
                     Cut&& cut) {
    const std::uint8_t* p = data;
    const std::uint8_t* const end = data + size;
    while (p < end) {
        const auto* cr = static_cast<const std::uint8_t*>(std::memchr(p, 0x0D, end - p));
        const std::uint8_t* runEnd = cr != nullptr ? cr : end;
        text.appendNibbles(p, static_cast<std::size_t>(runEnd - p));
        if (cr == nullptr) {
            return;
        }
        text.append('D');
        cut();
        text.clear();
        p = cr + 1;
    }
}

// The upper-case hexadecimal digit of a byte's low nibble.
inline char lowNibbleDigit(std::uint8_t byte) {
    return "0123456789ABCDEF"[byte & 0x0F];
}

// QuillerData: the serial frame handler of the Brannock and Quiller profiles. Frames are 11 data
// bytes, CR, LF; the frame text is "A" + 11 low-nibble digits + "D" (at most the first 21
// characters of a longer run), decoded when its first character is "A" and its 13th "D".
class QuillerData {
public:
    explicit QuillerData(FrameDecoder& decoder) : m_decoder(decoder) {}

    // One batch of received bytes. Never fails; bad frames are dropped silently.
    void receive(const std::uint8_t* data, std::size_t size);
    void setListener(FrameListener* listener) { m_listener = listener; }
    std::string_view pendingText() const { return m_text.view(); }
    // Forgets the frame begun so far (the link lost its device in the middle of it).
    void dropPendingFrame() { m_text.clear(); }

private:
    FrameDecoder& m_decoder;
    FrameListener* m_listener = nullptr;
    NibbleText<21> m_text;
};

// LcdDisplayPelmark: the decoder of the Pelmark and Tarrow models, whose frame content this
// program does not know. It accepts the frame and does nothing.
inline void LcdDisplayPelmark(std::string_view frameText) {
    (void)frameText;
}

// PelmarkDATA: serial frames of 12 data bytes; the frame text is the first 14 characters,
// accepted when character 1 is "A" and character 14 is "D".
class PelmarkDATA {
public:
    explicit PelmarkDATA(ReadingConsumer& consumer) : m_consumer(consumer) {}
    // One batch of received bytes. Never fails.
    void receive(const std::uint8_t* data, std::size_t size);
    // Frames that passed the test so far (they go to the empty decoder).
    std::size_t acceptedFrames() const { return m_accepted; }
    void dropPendingFrame() { m_text.clear(); }

private:
    ReadingConsumer& m_consumer;
    NibbleText<14> m_text;
    std::size_t m_accepted = 0;
};

// TarrowData: serial frames of 9 data bytes; the frame text is characters 2 to 10 of the
// assembler text + "DA", accepted when the assembler text has "A" at 1 and "D" at 11.
class TarrowData {
public:
    explicit TarrowData(ReadingConsumer& consumer) : m_consumer(consumer) {}
    // One batch of received bytes. Never fails.
    void receive(const std::uint8_t* data, std::size_t size);
    std::size_t acceptedFrames() const { return m_accepted; }
    void dropPendingFrame() { m_text.clear(); }

private:
    ReadingConsumer& m_consumer;
    NibbleText<11> m_text;
    std::size_t m_accepted = 0;
};
