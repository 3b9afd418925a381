#include "recording/row_writers.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "recording/data_files.h"
#include "recording/formats.h"

TextRowSink::TextRowSink(int fd, bool sync, std::string name)
    : m_fd(fd), m_sync(sync), m_name(std::move(name)) {}

TextRowSink::~TextRowSink() {
    if (m_fd > STDERR_FILENO) {
        ::close(m_fd);
    }
}

std::optional<Failure> TextRowSink::open(const std::string& path,
                                         std::unique_ptr<TextRowSink>& sink) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        return Failure{error, "cannot write " + path + ": " + std::strerror(error)};
    }
    sink = std::make_unique<TextRowSink>(fd, true, path);
    return std::nullopt;
}

bool TextRowSink::writeHeader() {
    const bool ok = put(std::string(kTextHeader) + "\r\n");
    batchEnd();
    return ok;
}

void TextRowSink::rowRecorded(const TableStore& table, std::size_t row) {
    if (m_failure) {
        return;
    }
    // The file format's own writer forms the line, so the rows written here and a saved table
    // agree byte for byte.
    m_scratch.clear();
    RowData data;
    data.no = table.no(row);
    for (std::size_t i = 0; i < kTextFieldCount; ++i) {
        data.texts[i] = table.text(row, static_cast<Field>(i + 1));
    }
    data.nval = table.nval(row);
    m_scratch.append(data);
    m_text.clear();
    writeTableText(m_scratch, m_sink);
    m_sink.flush();
    const std::size_t headerEnd = m_text.find("\r\n");
    put(std::string_view(m_text).substr(headerEnd == std::string::npos ? 0 : headerEnd + 2));
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

void PacketAtEndSink::finish() {
    const FileOutcome saved = saveTablePacket(m_table, m_path);
    if (!saved.ok) {
        m_failure = Failure{0, saved.message};
    }
}
