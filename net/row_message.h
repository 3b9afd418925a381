#pragma once

#include <cstddef>
#include <string>

#include "recording/byte_stream.h"
#include "recording/table_store.h"

// A recorded row as the broker's message: the row's line as the text file holds it, formed by
// the file format's own writer so that the message and the saved row agree byte for byte.
class RowMessageEncoder {
public:
    void operator()(const TableStore& table, std::size_t row, std::string& out);

private:
    TableStore m_scratch;
    std::string m_text;
    ByteSink m_sink{m_text};  // its buffer is allocated once, not per row
};
