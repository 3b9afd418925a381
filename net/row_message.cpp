#include "net/row_message.h"

#include "recording/data_files.h"
#include "recording/formats.h"

void RowMessageEncoder::operator()(const TableStore& table, std::size_t row, std::string& out) {
    RowData data;
    data.no = table.no(row);
    for (std::size_t i = 0; i < kTextFieldCount; ++i) {
        data.texts[i] = table.text(row, static_cast<Field>(i + 1));
    }
    data.nval = table.nval(row);
    m_scratch.clear();
    m_scratch.append(data);
    m_text.clear();
    writeTableText(m_scratch, m_sink);
    m_sink.flush();
    std::string_view line(m_text);
    const std::size_t headerEnd = line.find("\r\n");
    line.remove_prefix(headerEnd == std::string_view::npos ? 0 : headerEnd + 2);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    out.append(line);
}
