#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "recording/row_sink.h"

// The outputs that write each recorded row as it comes (halvern log's standard output and
// --save, the window's live files): the tab-separated text, the analysis CSV and JSON Lines.
enum class RowFormat { Tsv, Csv, JsonLines };

// The format a word names: "tsv", "csv" or "jsonl" (halvern log --format); nullopt otherwise.
std::optional<RowFormat> rowFormatOfWord(std::string_view word);
// The format a file is written in as rows come, by its name as every save chooses (".csv",
// ".jsonl", anything else the text); nullopt for the XML data packet (".xml"), which is a
// whole and is saved at the end.
std::optional<RowFormat> rowFormatOfFile(std::string_view fileName);

// A row sink writing one format to a file descriptor: the header when created (none for JSON
// Lines), then every recorded row as one write of its complete line, so that a reader of a pipe
// or a file sees whole rows at once and a crash of the program loses none. Rows are never
// buffered in the program. The first failed write ends the writing: ok() is then false and
// error() holds its errno. Rows discarded by New stay in the output, which keeps growing.
class RowWriter : public RowSink {
public:
    bool ok() const { return m_error == 0; }
    int error() const { return m_error; }
    // Forces the rows written so far to the disk (fdatasync), at most as often as the caller
    // asks: a file logger asks once per batch of input. Nothing for pipes and terminals.
    virtual void syncToDisk() = 0;

protected:
    int m_error = 0;
};

// The writer of format on fd, closing fd when it ends if ownsFd. Never fails short of memory;
// a failed header write shows in ok().
std::unique_ptr<RowWriter> createRowWriter(RowFormat format, int fd, bool ownsFd = false);
