#include "recording/journal_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

template <typename T>
char* putLe(char* at, T value) {
    using U = std::make_unsigned_t<T>;
    auto u = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        at[i] = static_cast<char>(static_cast<unsigned char>(u & 0xFFu));
        u = static_cast<U>(u >> 8);
    }
    return at + sizeof(T);
}

std::uint32_t crcOf(const char* data, std::size_t size) {
    return static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

// Fills in the length and CRC of the record whose payload ends at end.
std::size_t sealRecord(char* record, char* end) {
    const auto payload = static_cast<std::size_t>(end - (record + 8));
    putLe(record, static_cast<std::uint32_t>(payload));
    putLe(record + 4, crcOf(record + 8, payload));
    return payload + 8;
}

// Reads little-endian values from a payload; any read past its end fails the whole payload.
class PayloadReader {
public:
    explicit PayloadReader(std::string_view bytes) : m_bytes(bytes) {}

    template <typename T>
    T get() {
        using U = std::make_unsigned_t<T>;
        if (m_bytes.size() - m_at < sizeof(T) || m_at > m_bytes.size()) {
            m_ok = false;
            m_at = m_bytes.size();
            return T{};
        }
        U u = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            u = static_cast<U>(
                u | (static_cast<U>(static_cast<unsigned char>(m_bytes[m_at + i])) << (8 * i)));
        }
        m_at += sizeof(T);
        return static_cast<T>(u);
    }
    std::string_view text(std::size_t size) {
        if (m_bytes.size() - m_at < size) {
            m_ok = false;
            m_at = m_bytes.size();
            return {};
        }
        const std::string_view t = m_bytes.substr(m_at, size);
        m_at += size;
        return t;
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

}  // namespace

std::size_t encodeJournalRow(const TableStore& table, std::size_t row, std::uint64_t serial,
                             char* out) {
    char* at = out + 8;
    *at++ = 'R';
    at = putLe(at, serial);
    const WallTime stamp = table.stamp(row);
    at = putLe(at, stamp.msSinceEpoch);
    at = putLe(at, stamp.utcOffsetSeconds);
    const std::optional<std::int32_t> no = table.no(row);
    const std::optional<std::int32_t> nval = table.nval(row);
    *at++ = static_cast<char>((no ? 1 : 0) | (nval ? 2 : 0));
    at = putLe(at, no.value_or(0));
    at = putLe(at, nval.value_or(0));
    for (std::size_t k = 0; k < kTextFieldCount; ++k) {
        std::string_view text = table.text(row, static_cast<Field>(k + 1));
        text = text.substr(0, kMaxTextLength);
        *at++ = static_cast<char>(text.size());
        if (!text.empty()) {  // an empty text may have no bytes at all
            std::memcpy(at, text.data(), text.size());
            at += text.size();
        }
    }
    return sealRecord(out, at);
}

std::string encodeJournalStart(const JournalHeader& header) {
    std::string payload(1, 'H');
    auto putText = [&payload](std::string_view text) {
        text = text.substr(0, 0xFFFF);
        char size[2];
        putLe(size, static_cast<std::uint16_t>(text.size()));
        payload.append(size, 2);
        payload.append(text);
    };
    putText(header.sessionId);
    putText(header.program);
    putText(header.link);
    putText(header.device);
    char fixed[8 + 4 + 4 + 8];
    char* at = putLe(fixed, header.start.msSinceEpoch);
    at = putLe(at, header.start.utcOffsetSeconds);
    at = putLe(at, header.segment);
    putLe(at, header.releasedThrough);
    payload.append(fixed, sizeof fixed);

    std::string out(kJournalMagic);
    char prefix[8];
    putLe(prefix, static_cast<std::uint32_t>(payload.size()));
    putLe(prefix + 4, crcOf(payload.data(), payload.size()));
    out.append(prefix, 8);
    out += payload;
    return out;
}

void JournalReader::addSegment(std::string_view bytes) {
    const std::uint64_t total = bytes.size();
    if (!bytes.starts_with(kJournalMagic)) {
        m_content.droppedBytes += total;
        return;
    }
    bytes.remove_prefix(kJournalMagic.size());
    bool first = true;
    while (!bytes.empty()) {
        PayloadReader prefix(bytes.substr(0, 8));
        const auto size = prefix.get<std::uint32_t>();
        const auto crc = prefix.get<std::uint32_t>();
        if (!prefix.ok() || size == 0 || size > kMaxJournalPayload || bytes.size() - 8 < size ||
            crcOf(bytes.data() + 8, size) != crc) {
            break;  // torn or damaged: the rest of the segment cannot be trusted
        }
        const std::string_view payload = bytes.substr(8, size);
        PayloadReader in(payload.substr(1));
        bool ok = false;
        if (first && payload[0] == 'H') {
            JournalHeader h;
            auto text = [&in] {
                const auto n = in.get<std::uint16_t>();
                return std::string(in.text(n));
            };
            h.sessionId = text();
            h.program = text();
            h.link = text();
            h.device = text();
            h.start.msSinceEpoch = in.get<std::int64_t>();
            h.start.utcOffsetSeconds = in.get<std::int32_t>();
            h.segment = in.get<std::uint32_t>();
            h.releasedThrough = in.get<std::uint64_t>();
            ok = in.ok();
            if (ok) {
                m_releasedThrough = std::max(m_releasedThrough, h.releasedThrough);
                if (!m_content.header) {
                    m_content.header = std::move(h);
                }
            }
        } else if (!first && payload[0] == 'R') {
            const auto serial = in.get<std::uint64_t>();
            RowData row;
            row.stamp.msSinceEpoch = in.get<std::int64_t>();
            row.stamp.utcOffsetSeconds = in.get<std::int32_t>();
            const auto flags = in.get<std::uint8_t>();
            const auto no = in.get<std::int32_t>();
            const auto nval = in.get<std::int32_t>();
            if (flags & 1) {
                row.no = no;
            }
            if (flags & 2) {
                row.nval = nval;
            }
            for (std::string_view& text : row.texts) {
                text = in.text(in.get<std::uint8_t>());
            }
            ok = in.ok() && in.atEnd();
            // A row written again after a failed write is kept once.
            if (ok && serial > m_content.lastSerial) {
                m_content.rows.append(row);
                m_serials.push_back(serial);
                m_content.lastSerial = serial;
            }
        }
        if (!ok) {
            break;
        }
        first = false;
        bytes.remove_prefix(8 + size);
    }
    m_content.droppedBytes += bytes.size();
}

JournalContent JournalReader::finish() {
    // Serials rise, so the released rows are a prefix.
    const auto keepFrom = static_cast<std::size_t>(
        std::upper_bound(m_serials.begin(), m_serials.end(), m_releasedThrough) -
        m_serials.begin());
    if (keepFrom > 0) {
        TableStore kept;
        const TableStore& all = m_content.rows;
        for (std::size_t r = keepFrom; r < all.rowCount(); ++r) {
            kept.append(all.rowData(r));
        }
        m_content.rows = std::move(kept);
    }
    return std::move(m_content);
}
