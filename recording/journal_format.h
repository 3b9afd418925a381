#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "meter/clock.h"
#include "recording/table_store.h"

// The journal's file format. A journal file (a segment) starts with the four bytes "HVJ1" and
// then holds records, each
//   u32 payload length, u32 CRC-32 of the payload (zlib's), payload
// all little-endian. The first record is the header; the others are rows. A record cut short
// by a crash or whose CRC does not match ends the readable part of the segment: it and
// everything after it are dropped, everything before it is kept.
//
// Header payload: 'H', then the texts session id, program, link, device (each u16 length +
// bytes), the start moment (i64 ms since the epoch, i32 UTC offset in seconds), the segment's
// number (u32) and the serial up to which rows are released (u64: saved or discarded, so a
// reader ignores rows up to it wherever it finds them).
// Row payload: 'R', serial (u64, counts the session's rows from 1), moment (i64 ms, i32 UTC
// offset in seconds; ms = INT64_MIN: none), flags (u8: 1 No present, 2 Nval present), No (i32),
// Nval (i32), then Time, DC/AC, Value, Unit, Range, Auto (each u8 length + bytes).

inline constexpr std::string_view kJournalMagic = "HVJ1";
// The longest row record: length, CRC, the fixed fields and six texts of 20 bytes.
inline constexpr std::size_t kMaxJournalRowBytes =
    8 + 1 + 8 + 8 + 4 + 1 + 4 + 4 + kTextFieldCount * (1 + kMaxTextLength);
// Records longer than this are damage, not data.
inline constexpr std::uint32_t kMaxJournalPayload = 64 * 1024;

struct JournalHeader {
    std::string sessionId;
    std::string program;  // the program and its version
    std::string link;     // "serial", "USB bridge", "HID cable", ...
    std::string device;   // the device path or name
    WallTime start;       // when the session started
    std::uint32_t segment = 0;
    std::uint64_t releasedThrough = 0;
    friend bool operator==(const JournalHeader&, const JournalHeader&) = default;
};

// Writes row `row` of table as a record at out (room for kMaxJournalRowBytes); returns its
// length. Never fails, allocates nothing.
std::size_t encodeJournalRow(const TableStore& table, std::size_t row, std::uint64_t serial,
                             char* out);
// The file's start: the magic and the header record. Never fails.
std::string encodeJournalStart(const JournalHeader& header);

// What reading the segments of one session gave.
struct JournalContent {
    std::optional<JournalHeader> header;  // of the first readable segment
    TableStore rows;                      // the rows not released, in order, with their moments
    std::uint64_t lastSerial = 0;         // the serial of the last row read (0: none)
    std::uint64_t droppedBytes = 0;       // torn or damaged bytes left out
};

// Reads the segments of one session in order (the bytes of each file). Rows are kept once
// (a row written twice after a write failure counts once) and rows released by a later save
// or New are left out. Never fails: what cannot be read is counted in droppedBytes.
class JournalReader {
public:
    void addSegment(std::string_view bytes);
    // The rows kept; the reader is spent afterwards.
    JournalContent finish();

private:
    JournalContent m_content;
    std::vector<std::uint64_t> m_serials;  // of the rows in m_content.rows
    std::uint64_t m_releasedThrough = 0;
};
