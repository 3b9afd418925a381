#include "recording/table_quantities.h"

Quantity TableQuantities::at(std::size_t row) {
    if (!m_cache) {
        return quantityOf(m_table.text(row, Field::DcAc), m_table.text(row, Field::Value),
                          m_table.text(row, Field::Unit));
    }
    const std::uint64_t kindKey =
        (std::uint64_t{m_table.textId(row, Field::DcAc)} << 32) | m_table.textId(row, Field::Unit);
    // Rows mostly repeat the function and unit of the row before.
    if (kindKey != m_lastKindKey) {
        auto found = m_kinds.find(kindKey);
        if (found == m_kinds.end()) {
            found = m_kinds
                        .emplace(kindKey, quantityKindOf(m_table.text(row, Field::DcAc),
                                                         m_table.text(row, Field::Unit)))
                        .first;
        }
        m_lastKind = found->second;
        m_lastKindKey = kindKey;
    }
    const std::uint32_t valueId = m_table.textId(row, Field::Value);
    if (valueId >= m_values.size()) {
        m_values.resize(valueId + 1);
        m_valueKnown.resize(valueId + 1);
    }
    if (!m_valueKnown[valueId]) {
        m_values[valueId] = readDisplayedValue(m_table.text(row, Field::Value));
        m_valueKnown[valueId] = true;
    }
    return quantityOf(m_lastKind, m_values[valueId]);
}

void TableQuantities::forget() {
    m_lastKindKey = ~std::uint64_t{0};
    m_kinds.clear();
    m_values.clear();
    m_valueKnown.clear();
}
