#pragma once

// The rows of a data file's table as the link tests compare them: what the logger or the window
// recorded against what halvern decode gives for the same bytes.
#include <string>
#include <vector>

#include "recording/byte_stream.h"
#include "recording/formats.h"
#include "recording/table_store.h"

// The complete lines of text, without their line feeds; an unfinished last line is left out.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

// The columns a replay must reproduce: the table's rows past the header, all but No and Time.
inline std::vector<std::string> readings(const std::string& tableText) {
    std::vector<std::string> rows;
    for (const std::string& line : lines(tableText)) {
        const std::size_t afterTime = line.find('\t', line.find('\t') + 1);
        rows.push_back(afterTime == std::string::npos ? line : line.substr(afterTime));
    }
    if (!rows.empty()) {
        rows.erase(rows.begin());  // the header
    }
    return rows;
}

// The table as its text file holds it.
inline std::string tableText(const TableStore& table) {
    std::string text;
    ByteSink sink(text);
    writeTableText(table, sink);
    sink.flush();
    return text;
}
