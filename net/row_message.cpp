#include "net/row_message.h"

void RowMessageEncoder::operator()(const TableStore& table, std::size_t row, std::string& out) {
    if (m_table != &table || !m_formatter) {
        // Uncached: the rows are read as they are, whatever happened to the table meanwhile.
        m_formatter = std::make_unique<AnalysisRowFormatter>(table, false);
        m_table = &table;
    }
    m_line.clear();
    m_formatter->appendJson(row, m_line);
    while (!m_line.empty() && (m_line.back() == '\n' || m_line.back() == '\r')) {
        m_line.pop_back();
    }
    out.append(m_line);
}
