#include "recording/row_writers.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "recording/analysis_files.h"
#include "recording/byte_stream.h"
#include "recording/data_files.h"
#include "recording/formats.h"

namespace {

class FdRowWriter final : public RowWriter {
public:
    FdRowWriter(RowFormat format, int fd, bool ownsFd)
        : m_format(format), m_fd(fd), m_ownsFd(ownsFd) {
        switch (format) {
            case RowFormat::Tsv:
                put(std::string(kTextHeader) + "\r\n");
                break;
            case RowFormat::Csv:
                put(std::string(kAnalysisCsvHeader) + "\r\n");
                break;
            case RowFormat::JsonLines:
                break;
        }
    }
    ~FdRowWriter() override {
        if (m_ownsFd && m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FdRowWriter(const FdRowWriter&) = delete;
    FdRowWriter& operator=(const FdRowWriter&) = delete;

    void rowRecorded(const TableStore& table, std::size_t row) override {
        if (!ok()) {
            return;
        }
        m_line.clear();
        if (m_format == RowFormat::Tsv) {
            // The text file's own writer forms the line, so the log and a saved table agree
            // byte for byte.
            writeTableTextRow(table, row, m_textSink);
            m_textSink.flush();
        } else {
            // A live output cannot tell when the table was replaced, so its texts are read
            // afresh every row (no cache): a few rows a second cost nothing.
            if (m_formatterTable != &table) {
                m_formatter = std::make_unique<AnalysisRowFormatter>(table, false);
                m_formatterTable = &table;
                if (m_origin) {
                    m_formatter->continueElapsedFrom(*m_origin);
                }
            }
            if (m_format == RowFormat::Csv) {
                m_formatter->appendCsv(row, m_line);
            } else {
                m_formatter->appendJson(row, m_line);
            }
            m_origin = m_formatter->elapsedOrigin();
        }
        put(m_line);
    }

    void finish() override { syncToDisk(); }

    void syncToDisk() override {
        if (m_dirty && ok()) {
            ::fdatasync(m_fd);  // fails harmlessly (EINVAL) on pipes and terminals
        }
        m_dirty = false;
    }

private:
    void put(std::string_view bytes) {
        while (ok() && !bytes.empty()) {
            const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                m_error = n < 0 ? errno : EIO;
            }
        }
        m_dirty = true;
    }

    RowFormat m_format;
    int m_fd;
    bool m_ownsFd;
    bool m_dirty = false;
    std::string m_line;
    ByteSink m_textSink{m_line};  // its buffer is allocated once, not per row
    const TableStore* m_formatterTable = nullptr;
    std::unique_ptr<AnalysisRowFormatter> m_formatter;
    std::optional<std::int64_t> m_origin;
};

}  // namespace

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

std::unique_ptr<RowWriter> createRowWriter(RowFormat format, int fd, bool ownsFd) {
    return std::make_unique<FdRowWriter>(format, fd, ownsFd);
}
