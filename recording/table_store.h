#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "meter/clock.h"

// The eight fields of the measurement table cds1, in table order. The order matters: the text
// loader fills fields by position.
enum class Field : std::uint8_t { No, Time, DcAc, Value, Unit, Range, Auto, Nval };
inline constexpr std::size_t kFieldCount = 8;
inline constexpr std::size_t kTextFieldCount = 6;  // Time .. Auto
inline constexpr std::size_t kMaxTextLength = 20;  // longer texts are cut when stored

// The field's name: "No", "Time", "DC/AC", "Value", "Unit", "Range", "Auto", "Nval".
std::string_view fieldName(Field field);
// Looks a field up by name without regard to case ("AUTO", "range", "dc/ac"); nullopt if none.
std::optional<Field> fieldByName(std::string_view name);

// One row as handed to append. Texts are Time, DC/AC, Value, Unit, Range, Auto in this order;
// an empty text is an empty (null) field. Texts are 8-bit and stored byte for byte.
struct RowData {
    std::optional<std::int32_t> no;
    std::array<std::string_view, kTextFieldCount> texts{};
    std::optional<std::int32_t> nval;
    // The full date and time of a recorded reading; unknown for rows loaded from files. Kept
    // beside the Time text, which stays as the file formats hold it.
    WallTime stamp;
};

// Told about every change of the table, so a view can follow without copying rows.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    virtual void rowsAppended(std::size_t first, std::size_t count) = 0;
    virtual void tableReset() = 0;  // emptied or replaced as a whole
};

// The in-memory measurement table: a compact column store. Texts are interned, so a row costs
// tens of bytes whatever its texts; appending is constant time (storage grows in fixed chunks,
// nothing is moved). Rows stay in the order they were appended; there is no key and no index.
class TableStore {
public:
    TableStore();
    ~TableStore();
    TableStore(const TableStore&) = delete;
    TableStore& operator=(const TableStore&) = delete;
    TableStore(TableStore&&) noexcept;
    TableStore& operator=(TableStore&&) noexcept;

    std::size_t rowCount() const;
    bool empty() const { return rowCount() == 0; }

    // Appends one row (texts longer than 20 bytes are cut). Never fails short of memory.
    void append(const RowData& row);
    // Removes every row.
    void clear();
    // Replaces this table's rows with those of another table (which is left empty): the
    // all-or-nothing load of a data packet.
    void replaceWith(TableStore&& other);
    // The rows as they are now, as a table of their own that another thread may read while
    // this one goes on taking rows, is emptied or replaced: it shares the rows' storage (full
    // chunks and text bytes never change) and copies only the last, unfinished chunk and the
    // text index. Costs microseconds per thousand chunks. Never fails short of memory.
    TableStore snapshot() const;
    // Makes room for this many rows, so that appending up to it allocates nothing.
    void reserve(std::size_t rows);

    // Field access; row must be < rowCount(). A null field reads as nullopt / an empty text.
    std::optional<std::int32_t> no(std::size_t row) const;
    std::optional<std::int32_t> nval(std::size_t row) const;
    std::string_view text(std::size_t row, Field field) const;  // field is one of Time..Auto
    // The row's full date and time (to the minute's offset); unknown when it has none.
    WallTime stamp(std::size_t row) const;
    // The whole row, as append() takes it; its texts view this table's and hold while it is
    // neither cleared nor replaced.
    RowData rowData(std::size_t row) const;
    bool isNull(std::size_t row, Field field) const;
    // A number equal for equal texts of this table and different for different ones (0: the
    // empty text), as long as the table is neither cleared nor replaced: the key of a cache of
    // what a text means. field is one of Time..Auto.
    std::uint32_t textId(std::size_t row, Field field) const;

    // Bytes held by the store (rows and interned texts), for the benchmarks.
    std::size_t memoryBytes() const;

    // Observers are not owned; remove one before it is destroyed.
    void addObserver(TableObserver* observer);
    void removeObserver(TableObserver* observer);

    // Holds back the observers' append notices while it lives: the rows appended meanwhile
    // (by anyone) are told as one append when flush() is called or the batch ends, so a view
    // follows a load of a million rows with one update instead of a million. Batches nest;
    // the outermost one tells.
    class AppendBatch {
    public:
        explicit AppendBatch(TableStore& table);
        ~AppendBatch();
        AppendBatch(const AppendBatch&) = delete;
        AppendBatch& operator=(const AppendBatch&) = delete;
        // Tells the observers of the rows appended since the last notice.
        void flush();

    private:
        TableStore& m_table;
    };

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
