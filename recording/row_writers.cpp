#include "recording/row_writers.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "recording/data_files.h"
#include "recording/formats.h"

std::optional<RowFormat> rowFormatOfWord(std::string_view word) {
    if (word == "tsv") {
        return RowFormat::Tsv;
    }
    if (word == "csv") {
        return RowFormat::Csv;
    }
    if (word == "jsonl") {
        return RowFormat::JsonLines;
    }
    return std::nullopt;
}

std::optional<RowFormat> rowFormatOfFile(std::string_view fileName) {
    switch (dataFormatOfName(fileName)) {
        case DataFormat::Packet:
            return std::nullopt;
        case DataFormat::Csv:
            return RowFormat::Csv;
        case DataFormat::JsonLines:
            return RowFormat::JsonLines;
        case DataFormat::Text:
            break;
    }
    return RowFormat::Tsv;
}

TextRowSink::TextRowSink(int fd, bool sync, std::string name, RowFormat format)
    : m_fd(fd), m_sync(sync), m_format(format), m_name(std::move(name)) {}

TextRowSink::~TextRowSink() {
    if (m_fd > STDERR_FILENO) {
        ::close(m_fd);
    }
}

std::optional<Failure> TextRowSink::open(const std::string& path,
                                         std::unique_ptr<TextRowSink>& sink, RowFormat format) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        return Failure{error, "cannot write " + path + ": " + std::strerror(error)};
    }
    sink = std::make_unique<TextRowSink>(fd, true, path, format);
    return std::nullopt;
}

bool TextRowSink::writeHeader() {
    bool ok = true;
    switch (m_format) {
        case RowFormat::Tsv:
            ok = put(std::string(kTextHeader) + "\r\n");
            break;
        case RowFormat::Csv:
            ok = put(std::string(kAnalysisCsvHeader) + "\r\n");
            break;
        case RowFormat::JsonLines:
            break;
    }
    batchEnd();
    return ok;
}

void TextRowSink::rowRecorded(const TableStore& table, std::size_t row) {
    if (m_failure) {
        return;
    }
    m_line.clear();
    if (m_format == RowFormat::Tsv) {
        // The file format's own writer forms the line, so the rows written here and a saved
        // table agree byte for byte.
        writeTableTextRow(table, row, m_sink);
        m_sink.flush();
    } else {
        // A live output cannot tell when the table was replaced, so its texts are read afresh
        // every row (no cache): a few rows a second cost nothing.
        if (m_formatterTable != &table) {
            m_formatter = std::make_unique<AnalysisRowFormatter>(table, false);
            m_formatterTable = &table;
            if (m_elapsedOrigin) {
                m_formatter->continueElapsedFrom(*m_elapsedOrigin);
            }
        }
        if (m_format == RowFormat::Csv) {
            m_formatter->appendCsv(row, m_line);
        } else {
            m_formatter->appendJson(row, m_line);
        }
        m_elapsedOrigin = m_formatter->elapsedOrigin();
    }
    put(m_line);
}

void TextRowSink::batchEnd() {
    // Once per batch (up to four frames at the line's top rate): every row is on the disk before
    // the next bytes are read, at a quarter of the cost of a sync per row.
    if (m_dirty && !m_failure) {
        ::fdatasync(m_fd);
    }
    m_dirty = false;
}

bool TextRowSink::put(std::string_view bytes) {
    while (!m_failure && !bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (!(n < 0 && errno == EINTR)) {
            const int error = n < 0 ? errno : ENOSPC;
            m_failure = Failure{error, "writing " + m_name + " failed: " + std::strerror(error)};
        }
    }
    m_dirty = m_dirty || m_sync;
    return !m_failure;
}

std::unique_ptr<TextRowSink> createRowWriter(RowFormat format, int fd, std::string name,
                                             bool sync) {
    auto sink = std::make_unique<TextRowSink>(fd, sync, std::move(name), format);
    sink->writeHeader();
    return sink;
}

void PacketAtEndSink::finish() {
    const FileOutcome saved = saveTablePacket(m_table, m_path);
    if (!saved.ok) {
        m_failure = Failure{0, saved.message};
    }
}
