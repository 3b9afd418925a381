#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "meter/failure.h"
#include "recording/analysis_files.h"
#include "recording/byte_stream.h"
#include "recording/row_sink.h"
#include "recording/table_store.h"

// The formats rows are written in one at a time: the tab-separated text, the analysis CSV and
// JSON Lines.
enum class RowFormat { Tsv, Csv, JsonLines };

// The format a word names: "tsv", "csv" or "jsonl" (halvern log --format); nullopt otherwise.
std::optional<RowFormat> rowFormatOfWord(std::string_view word);
// The format a file is written in as rows come, by its name as every save chooses it (".csv",
// ".jsonl", anything else the text); nullopt for the XML data packet (".xml"), which is one
// document and is saved at the end (PacketAtEndSink).
std::optional<RowFormat> rowFormatOfFile(std::string_view fileName);

// Rows written one at a time, as halvern log writes its file or standard output: the header at
// the start (none for JSON Lines), then each recorded row as it comes, as one write of its whole
// line, handed to the system at once (a crash of the program loses nothing; a reader of a pipe
// sees whole rows) and, for a file, forced to the disk at every batch's end (a power cut loses
// nothing recorded before the last batch). Rows discarded by New stay in the output.
class TextRowSink final : public RowSink {
public:
    // fd is owned (closed on destruction) unless it is a standard stream; sync: force rows to
    // the disk at each batch's end. `name` names the output in failures ("standard output").
    TextRowSink(int fd, bool sync, std::string name, RowFormat format = RowFormat::Tsv);
    ~TextRowSink() override;
    TextRowSink(const TextRowSink&) = delete;
    TextRowSink& operator=(const TextRowSink&) = delete;

    // Opens (creates or empties) a file for the rows. Fails with the file and the system's
    // reason; nothing is created then only when the system refused.
    static std::optional<Failure> open(const std::string& path, std::unique_ptr<TextRowSink>& sink,
                                       RowFormat format = RowFormat::Tsv);

    // Writes the header line (nothing for JSON Lines). False on a failed write (failure() says
    // why).
    bool writeHeader();
    void rowRecorded(const TableStore& table, std::size_t row) override;
    void batchEnd() override;

    RowFormat format() const { return m_format; }
    // The first failed write, if any: nothing more is written after it.
    const std::optional<Failure>& failure() const { return m_failure; }

private:
    bool put(std::string_view bytes);

    int m_fd;
    bool m_sync;
    RowFormat m_format;
    bool m_dirty = false;
    std::string m_name;
    std::optional<Failure> m_failure;
    std::string m_line;
    ByteSink m_sink{m_line};  // its buffer is allocated once, not per row
    const TableStore* m_formatterTable = nullptr;
    std::unique_ptr<AnalysisRowFormatter> m_formatter;
    std::optional<std::int64_t> m_elapsedOrigin;
};

// The writer of format on fd (a standard stream, or a file it then owns), its header written:
// what halvern log --format puts on standard output. failure() tells whether the header went out.
std::unique_ptr<TextRowSink> createRowWriter(RowFormat format, int fd, std::string name,
                                             bool sync = false);

// The XML data packet of the whole table, written when the recording ends (the packet holds
// every row in one document).
class PacketAtEndSink final : public RowSink {
public:
    // The table must outlive the sink.
    PacketAtEndSink(const TableStore& table, std::string path)
        : m_table(table), m_path(std::move(path)) {}
    void rowRecorded(const TableStore&, std::size_t) override {}
    // Saves the packet; failure() says why it could not be saved.
    void finish() override;
    const std::optional<Failure>& failure() const { return m_failure; }

private:
    const TableStore& m_table;
    std::string m_path;
    std::optional<Failure> m_failure;
};
