#pragma once

#include <memory>
#include <optional>
#include <string>

#include "meter/failure.h"
#include "recording/byte_stream.h"
#include "recording/row_sink.h"
#include "recording/table_store.h"

// The tab-separated text file written one row at a time, as halvern log writes its file or
// standard output: the header at the start, then each recorded row as it comes, handed to the
// system at once (a crash of the program loses nothing) and, for a file, forced to the disk at
// every batch's end (a power cut loses nothing recorded before the last batch).
class TextRowSink final : public RowSink {
public:
    // fd is owned (closed on destruction) unless it is a standard stream; sync: force rows to
    // the disk at each batch's end. `name` names the output in failures ("standard output").
    TextRowSink(int fd, bool sync, std::string name);
    ~TextRowSink() override;
    TextRowSink(const TextRowSink&) = delete;
    TextRowSink& operator=(const TextRowSink&) = delete;

    // Opens (creates or empties) a file for the rows. Fails with the file and the system's
    // reason; nothing is created then only when the system refused.
    static std::optional<Failure> open(const std::string& path, std::unique_ptr<TextRowSink>& sink);

    // Writes the header line. False on a failed write (failure() says why).
    bool writeHeader();
    void rowRecorded(const TableStore& table, std::size_t row) override;
    void batchEnd() override;

    // The first failed write, if any: nothing more is written after it.
    const std::optional<Failure>& failure() const { return m_failure; }

private:
    bool put(std::string_view bytes);

    int m_fd;
    bool m_sync;
    bool m_dirty = false;
    std::string m_name;
    std::optional<Failure> m_failure;
    TableStore m_scratch;
    std::string m_text;
    ByteSink m_sink{m_text};  // its buffer is allocated once, not per row
};

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
