#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "recording/analysis_files.h"
#include "recording/table_store.h"

// A recorded row as the broker's message: the row's JSON object as JSON Lines hold it (without
// the line end), formed by the analysis files' own formatter, so that the message and a row of
// a .jsonl file saved from the same recording agree byte for byte.
class RowMessageEncoder {
public:
    void operator()(const TableStore& table, std::size_t row, std::string& out);

private:
    const TableStore* m_table = nullptr;
    std::unique_ptr<AnalysisRowFormatter> m_formatter;
    std::string m_line;
};
