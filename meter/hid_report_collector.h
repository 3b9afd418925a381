#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "meter/frame_assembly.h"
#include "meter/frame_decoder.h"

// What the HID cable's report handlers log: the report line of every report that carried meter
// bytes (HistoryListBox), and for every frame HidReportData ends its meter bytes as hexadecimal
// text (Memo2) and the low-nibble digits it took from them (Memo1). The texts are valid only
// during the call.
class HidReportLog {
public:
    virtual ~HidReportLog() = default;
    virtual void reportLine(std::string_view line) = 0;
    virtual void frameLines(std::string_view hidHexText, std::string_view nibbles) = 0;
};

// The frame collection of the HID cable, shared by its two report handlers as the link owns it:
// one HidHexText, FrameOpen and EmptyReportCount, whichever handler the device calls.
//
// A report whose count byte (payload byte 0, low nibble) is 1-9 carries that many meter bytes
// (as far as the report holds them) and opens or extends a frame; any other report, the empty
// payload included, ends an open frame. A report with a payload but no meter bytes counts
// towards EmptyReportCount; one with meter bytes sets it back to 0.
//
// HidHexText keeps the first kMaxFrameBytes meter bytes of a frame: enough for every frame test
// (13 or 14 bytes) and for the Memo2 line of any real frame, while a cable that never sends an
// empty report cannot grow it without end. Nothing is allocated per report once the report line
// has reached the longest report's length.
class HidReportCollector {
public:
    static constexpr std::size_t kMaxFrameBytes = 256;

    // The decoder is not owned; PelmarkReportData shows its frames to the decoder's consumer.
    explicit HidReportCollector(FrameDecoder& decoder) : m_decoder(decoder) {}

    // HidReportData: this build's handler. At a frame end the frame text is the low nibble of
    // byte 13 followed by those of bytes 1-12 ("A" + 11 data nibbles + "D" for data, CR, LF),
    // handed to the decoder when it starts with "A" and its 13th character is "D"; Memo1 and
    // Memo2 get a line for every ended frame. Never fails.
    void HidReportData(std::uint8_t reportId, const std::uint8_t* payload, std::size_t size);
    // PelmarkReportData: the Pelmark model's handler. A frame's text is the low nibbles of its
    // first 14 bytes, shown to the consumer and accepted when their high nibbles read
    // "123456789ABCDE" (the Pelmark decoder does nothing). No memo lines. Never fails.
    void PelmarkReportData(std::uint8_t reportId, const std::uint8_t* payload, std::size_t size);

    // Neither is owned; either may be null.
    void setLog(HidReportLog* log) { m_log = log; }
    void setListener(FrameListener* listener) { m_listener = listener; }

    std::int32_t emptyReportCount() const { return m_emptyReportCount; }
    void resetEmptyReportCount() { m_emptyReportCount = 0; }
    // Forgets an open frame without handing it on or logging it: its reports were cut off (the
    // device went away, or reading starts afresh on a device), and joined to the next reports
    // it would make one frame of two meters' moments. Never fails.
    void dropFrame() { endFrame(); }
    bool frameOpen() const { return m_frameOpen; }
    std::string_view hidHexText() const { return {m_hex, m_hexSize}; }
    std::size_t pelmarkAcceptedFrames() const { return m_pelmarkAccepted; }

    // The report line: "R " + the report ID + two blanks, then every payload byte and a blank,
    // each byte as two upper-case hexadecimal digits ("R 00  03 31 32 33 "). Never fails.
    static void formatReportLine(std::uint8_t reportId, const std::uint8_t* payload,
                                 std::size_t size, std::string& line);

private:
    // Steps shared by both handlers up to the frame end. Returns true when this report ended an
    // open frame, whose text is then in HidHexText until the caller empties it.
    bool collect(std::uint8_t reportId, const std::uint8_t* payload, std::size_t size);
    // Copies the low digits of the first `most` collected bytes to out; returns how many there
    // were (fewer when the frame is shorter). Never fails.
    std::size_t lowDigits(char* out, std::size_t most) const;
    void endFrame() {
        m_hexSize = 0;
        m_frameOpen = false;
    }

    FrameDecoder& m_decoder;
    HidReportLog* m_log = nullptr;
    FrameListener* m_listener = nullptr;
    char m_hex[2 * kMaxFrameBytes] = {};
    std::size_t m_hexSize = 0;
    std::int32_t m_emptyReportCount = 0;
    bool m_frameOpen = false;
    std::size_t m_pelmarkAccepted = 0;
    std::string m_line;
};
