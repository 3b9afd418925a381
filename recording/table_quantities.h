#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "recording/quantity.h"
#include "recording/table_store.h"

// The quantities of a table's rows, each distinct text worked out once: a walk over ten million
// rows then costs a few array reads per row instead of reading every text again.
class TableQuantities {
public:
    // table must outlive this object. Without cache, every row is worked out from its texts:
    // for the few rows of a live output, which cannot tell when the table was replaced.
    explicit TableQuantities(const TableStore& table, bool cache = true)
        : m_table(table), m_cache(cache) {}

    // The quantity of row (< the table's row count). Never fails short of memory.
    Quantity at(std::size_t row);
    // The table was cleared or replaced: what its texts meant no longer holds.
    void forget();

private:
    const TableStore& m_table;
    bool m_cache;
    std::uint64_t m_lastKindKey = ~std::uint64_t{0};
    QuantityKind m_lastKind;
    std::unordered_map<std::uint64_t, QuantityKind> m_kinds;
    std::vector<DisplayedValue> m_values;  // by value text id
    std::vector<bool> m_valueKnown;
};
