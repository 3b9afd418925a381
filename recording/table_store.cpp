#include "recording/table_store.h"
#include "recording/ascii_text.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::array<std::string_view, kFieldCount> kFieldNames = {
    "No", "Time", "DC/AC", "Value", "Unit", "Range", "Auto", "Nval"};

// Texts are at most 20 bytes: comparing a word at a time beats a call to memcmp.
inline bool sameText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) {
        return false;
    }
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            return false;
        }
    }
    if (i + 4 <= n) {
        std::uint32_t x, y;
        std::memcpy(&x, a.data() + i, 4);
        std::memcpy(&y, b.data() + i, 4);
        if (x != y) {
            return false;
        }
        i += 4;
    }
    for (; i < n; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// Rows live in chunks of fixed size that are never moved or resized, so appending never copies
// existing rows and views into them stay valid.
constexpr std::size_t kChunkRows = 1024;  // 43 KiB: below the allocator's mmap threshold

// One chunk, column by column. A text is an index into the intern pool (0 = empty / null). The
// full time stamp is the moment in ms and the local offset in minutes (every zone's offset since
// the world took up standard time is whole minutes).
struct Chunk {
    std::int64_t stampMs[kChunkRows];
    std::int16_t offsetMinutes[kChunkRows];
    std::int32_t no[kChunkRows];
    std::int32_t nval[kChunkRows];
    std::uint32_t text[kTextFieldCount][kChunkRows];
    std::uint8_t flags[kChunkRows];  // bit 0: No present, bit 1: Nval present
};
constexpr std::uint8_t kHasNo = 1;
constexpr std::uint8_t kHasNval = 2;

// The interned texts. Bytes sit in blocks that are never moved; the open-addressing index maps
// a text to its id. Texts are at most kMaxTextLength bytes, so an entry is pointer + length.
class InternPool {
public:
    InternPool() { clear(); }

    void clear() {
        m_blocks.clear();
        m_blocks.shrink_to_fit();
        m_blockUsed = kBlockBytes;  // forces a fresh block at the first text
        m_entries.assign(1, Entry{nullptr, 0});
        m_slots.assign(64, 0);
    }

    std::string_view view(std::uint32_t id) const {
        const Entry& e = m_entries[id];
        return {e.data, e.size};
    }

    // Never fails short of memory; text is at most kMaxTextLength bytes and not empty.
    std::uint32_t intern(std::string_view text) {
        const std::uint32_t hash = hashOf(text);
        const std::size_t mask = m_slots.size() - 1;
        std::size_t slot = hash & mask;
        while (true) {
            const std::uint32_t id = m_slots[slot];
            if (id == 0) {
                break;
            }
            const Entry& e = m_entries[id];
            if (e.hash == hash && e.size == text.size() &&
                std::memcmp(e.data, text.data(), text.size()) == 0) {
                return id;
            }
            slot = (slot + 1) & mask;
        }
        const auto id = static_cast<std::uint32_t>(m_entries.size());
        m_entries.push_back(Entry{store(text), static_cast<std::uint8_t>(text.size()), hash});
        m_slots[slot] = id;
        if (m_entries.size() * 2 > m_slots.size()) {
            grow();
        }
        return id;
    }

    std::size_t memoryBytes() const {
        return m_blocks.size() * kBlockBytes + m_entries.capacity() * sizeof(Entry) +
               m_slots.capacity() * sizeof(std::uint32_t) +
               m_blocks.capacity() * sizeof(std::shared_ptr<char[]>);
    }

    // A pool with the same texts that shares their bytes (blocks are never moved, and bytes
    // once stored never change) and stores new texts in blocks of its own.
    InternPool sharingCopy() const {
        InternPool copy;
        copy.m_blocks = m_blocks;
        copy.m_blockUsed = kBlockBytes;
        copy.m_entries = m_entries;
        copy.m_slots = m_slots;
        return copy;
    }

private:
    struct Entry {
        const char* data;
        std::uint8_t size;
        std::uint32_t hash = 0;
    };
    static constexpr std::size_t kBlockBytes = 64 * 1024;

    static std::uint32_t hashOf(std::string_view text) {
        // FNV-1a: texts are at most 20 bytes, so a simple byte hash is cheap enough.
        std::uint32_t h = 2166136261u;
        for (const char c : text) {
            h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
        }
        return h ^ (h >> 15);
    }

    const char* store(std::string_view text) {
        if (m_blockUsed + text.size() > kBlockBytes) {
            m_blocks.push_back(std::shared_ptr<char[]>(new char[kBlockBytes]));
            m_blockUsed = 0;
        }
        char* at = m_blocks.back().get() + m_blockUsed;
        std::memcpy(at, text.data(), text.size());
        m_blockUsed += text.size();
        return at;
    }

    void grow() {
        std::vector<std::uint32_t> slots(m_slots.size() * 2, 0);
        const std::size_t mask = slots.size() - 1;
        for (std::uint32_t id = 1; id < m_entries.size(); ++id) {
            std::size_t slot = m_entries[id].hash & mask;
            while (slots[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            slots[slot] = id;
        }
        m_slots.swap(slots);
    }

    std::vector<std::shared_ptr<char[]>> m_blocks;  // shared with snapshots
    std::size_t m_blockUsed = 0;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_slots;  // power of two, at most half full
};

}  // namespace

std::string_view fieldName(Field field) {
    return kFieldNames[static_cast<std::size_t>(field)];
}

std::optional<Field> fieldByName(std::string_view name) {
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (equalsIgnoringCase(kFieldNames[i], name)) {
            return static_cast<Field>(i);
        }
    }
    return std::nullopt;
}

struct TableStore::Impl {
    // Shared with snapshots: a chunk full of rows is never written again.
    std::vector<std::shared_ptr<Chunk>> chunks;
    std::size_t rows = 0;
    InternPool pool;
    // The previous row's texts per column: recorded readings mostly repeat them, and a byte
    // compare against the cached id's text is cheaper than hashing.
    std::array<std::uint32_t, kTextFieldCount> lastId{};
    std::vector<TableObserver*> observers;
    int batchDepth = 0;
    std::size_t untoldFrom = 0;  // rows from here on have not been told while a batch holds

    void tellAppended() {
        if (rows > untoldFrom) {
            const std::size_t first = untoldFrom;
            untoldFrom = rows;
            for (TableObserver* o : observers) {
                o->rowsAppended(first, rows - first);
            }
        }
    }

    std::uint32_t idFor(std::size_t column, std::string_view text) {
        if (text.size() > kMaxTextLength) {
            text = text.substr(0, kMaxTextLength);
        }
        if (text.empty()) {
            return 0;
        }
        const std::uint32_t last = lastId[column];
        if (last != 0 && sameText(pool.view(last), text)) {
            return last;
        }
        const std::uint32_t id = pool.intern(text);
        lastId[column] = id;
        return id;
    }

    void resetStorage() {
        chunks.clear();
        chunks.shrink_to_fit();
        rows = 0;
        pool.clear();
        lastId.fill(0);
    }

    const Chunk& chunkOf(std::size_t row) const { return *chunks[row / kChunkRows]; }
};

TableStore::TableStore() : m_impl(std::make_unique<Impl>()) {}
TableStore::~TableStore() = default;
TableStore::TableStore(TableStore&&) noexcept = default;
TableStore& TableStore::operator=(TableStore&&) noexcept = default;

std::size_t TableStore::rowCount() const {
    return m_impl->rows;
}

void TableStore::append(const RowData& row) {
    Impl& d = *m_impl;
    const std::size_t at = d.rows % kChunkRows;
    if (d.rows / kChunkRows == d.chunks.size()) {
        d.chunks.push_back(std::shared_ptr<Chunk>(new Chunk));
    }
    Chunk& c = *d.chunks[d.rows / kChunkRows];
    std::uint8_t flags = 0;
    c.no[at] = row.no.value_or(0);
    c.nval[at] = row.nval.value_or(0);
    if (row.no) {
        flags |= kHasNo;
    }
    if (row.nval) {
        flags |= kHasNval;
    }
    c.flags[at] = flags;
    c.stampMs[at] = row.stamp.msSinceEpoch;
    c.offsetMinutes[at] = static_cast<std::int16_t>(row.stamp.utcOffsetSeconds / 60);
    for (std::size_t k = 0; k < kTextFieldCount; ++k) {
        c.text[k][at] = d.idFor(k, row.texts[k]);
    }
    const std::size_t first = d.rows++;
    if (d.batchDepth > 0) {
        return;
    }
    d.untoldFrom = d.rows;
    for (TableObserver* o : d.observers) {
        o->rowsAppended(first, 1);
    }
}

void TableStore::clear() {
    m_impl->resetStorage();
    m_impl->untoldFrom = 0;
    for (TableObserver* o : m_impl->observers) {
        o->tableReset();
    }
}

void TableStore::replaceWith(TableStore&& other) {
    if (&other == this) {
        return;
    }
    Impl& d = *m_impl;
    Impl& o = *other.m_impl;
    d.chunks = std::move(o.chunks);
    d.rows = o.rows;
    d.pool = std::move(o.pool);
    d.lastId = o.lastId;
    d.untoldFrom = d.rows;
    o.resetStorage();
    o.untoldFrom = 0;
    for (TableObserver* obs : d.observers) {
        obs->tableReset();
    }
}

TableStore TableStore::snapshot() const {
    const Impl& d = *m_impl;
    TableStore copy;
    Impl& c = *copy.m_impl;
    const std::size_t used = (d.rows + kChunkRows - 1) / kChunkRows;
    c.chunks.assign(d.chunks.begin(), d.chunks.begin() + static_cast<std::ptrdiff_t>(used));
    if (d.rows % kChunkRows != 0) {
        // The last chunk still takes rows here: the copy gets one of its own.
        c.chunks.back() = std::make_shared<Chunk>(*c.chunks.back());
    }
    c.rows = d.rows;
    c.pool = d.pool.sharingCopy();
    c.lastId = d.lastId;
    c.untoldFrom = d.rows;
    return copy;
}

void TableStore::reserve(std::size_t rows) {
    Impl& d = *m_impl;
    const std::size_t chunksNeeded = (rows + kChunkRows - 1) / kChunkRows;
    d.chunks.reserve(chunksNeeded);
    while (d.chunks.size() < chunksNeeded) {
        d.chunks.push_back(std::shared_ptr<Chunk>(new Chunk));
    }
}

std::optional<std::int32_t> TableStore::no(std::size_t row) const {
    const Chunk& c = m_impl->chunkOf(row);
    const std::size_t at = row % kChunkRows;
    return (c.flags[at] & kHasNo) ? std::optional(c.no[at]) : std::nullopt;
}

std::optional<std::int32_t> TableStore::nval(std::size_t row) const {
    const Chunk& c = m_impl->chunkOf(row);
    const std::size_t at = row % kChunkRows;
    return (c.flags[at] & kHasNval) ? std::optional(c.nval[at]) : std::nullopt;
}

std::string_view TableStore::text(std::size_t row, Field field) const {
    const auto k = static_cast<std::size_t>(field);
    if (k < 1 || k > kTextFieldCount) {
        return {};
    }
    const Chunk& c = m_impl->chunkOf(row);
    return m_impl->pool.view(c.text[k - 1][row % kChunkRows]);
}

std::uint32_t TableStore::textId(std::size_t row, Field field) const {
    const auto k = static_cast<std::size_t>(field);
    if (k < 1 || k > kTextFieldCount) {
        return 0;
    }
    return m_impl->chunkOf(row).text[k - 1][row % kChunkRows];
}

WallTime TableStore::stamp(std::size_t row) const {
    const Chunk& c = m_impl->chunkOf(row);
    const std::size_t at = row % kChunkRows;
    if (c.stampMs[at] == WallTime::kUnknown) {
        return {};
    }
    return WallTime{c.stampMs[at], std::int32_t{c.offsetMinutes[at]} * 60};
}

RowData TableStore::rowData(std::size_t row) const {
    RowData data;
    data.no = no(row);
    data.nval = nval(row);
    data.stamp = stamp(row);
    for (std::size_t k = 0; k < kTextFieldCount; ++k) {
        data.texts[k] = text(row, static_cast<Field>(k + 1));
    }
    return data;
}

bool TableStore::isNull(std::size_t row, Field field) const {
    switch (field) {
        case Field::No:
            return !no(row).has_value();
        case Field::Nval:
            return !nval(row).has_value();
        default:
            return text(row, field).empty();
    }
}

std::size_t TableStore::memoryBytes() const {
    const Impl& d = *m_impl;
    return d.chunks.size() * sizeof(Chunk) + d.chunks.capacity() * sizeof(std::shared_ptr<Chunk>) +
           d.pool.memoryBytes();
}

void TableStore::addObserver(TableObserver* observer) {
    if (observer != nullptr && std::find(m_impl->observers.begin(), m_impl->observers.end(),
                                         observer) == m_impl->observers.end()) {
        m_impl->observers.push_back(observer);
    }
}

void TableStore::removeObserver(TableObserver* observer) {
    auto& v = m_impl->observers;
    v.erase(std::remove(v.begin(), v.end(), observer), v.end());
}

TableStore::AppendBatch::AppendBatch(TableStore& table) : m_table(table) {
    ++m_table.m_impl->batchDepth;
}

TableStore::AppendBatch::~AppendBatch() {
    Impl& d = *m_table.m_impl;
    if (--d.batchDepth == 0) {
        d.tellAppended();
    }
}

void TableStore::AppendBatch::flush() {
    m_table.m_impl->tellAppended();
}
