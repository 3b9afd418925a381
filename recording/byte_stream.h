#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Streams the data files go through, so that saving and loading hold one buffer of the file at
// a time whatever its size.

// Collects output in a 1 MiB buffer and hands full buffers to a file descriptor or a string.
class ByteSink {
public:
    explicit ByteSink(int fd);
    explicit ByteSink(std::string& out);
    ~ByteSink();
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    void put(char c) {
        if (m_used == m_capacity) {
            flush();
        }
        m_buffer[m_used++] = c;
    }
    void put(std::string_view text) {
        if (text.size() > m_capacity - m_used) {
            putSlow(text);
            return;
        }
        std::char_traits<char>::copy(m_buffer.get() + m_used, text.data(), text.size());
        m_used += text.size();
    }
    // Writes what is buffered. False (and stays false) once a write has failed.
    bool flush();
    bool ok() const { return !m_failed; }
    // The errno of the write that failed; 0 while none has.
    int error() const { return m_error; }

private:
    void putSlow(std::string_view text);

    std::size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    int m_fd = -1;
    std::string* m_out = nullptr;
    bool m_failed = false;
    int m_error = 0;
};

// Reads a file in 1 MiB chunks, or walks bytes already in memory.
class ByteSource {
public:
    explicit ByteSource(int fd);
    explicit ByteSource(std::string_view memory);
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // The next byte (0..255) or -1 at the end or after a read error.
    int peek() {
        if (m_pos == m_end && !refill()) {
            return -1;
        }
        return static_cast<unsigned char>(*m_pos);
    }
    int get() {
        const int c = peek();
        if (c >= 0) {
            ++m_pos;
        }
        return c;
    }
    // The bytes available without reading further; refills when none are left.
    std::string_view available() {
        if (m_pos == m_end) {
            refill();
        }
        return {m_pos, static_cast<std::size_t>(m_end - m_pos)};
    }
    void skip(std::size_t n) { m_pos += n; }
    bool failed() const { return m_failed; }
    // The errno of the read that failed; 0 while none has.
    int error() const { return m_error; }
    // How many bytes have been taken (got or skipped) so far.
    std::uint64_t position() const {
        return m_bytesRead - static_cast<std::uint64_t>(m_end - m_pos);
    }

    // Called before every read from the file, with the bytes read so far; returning false
    // ends the source there, as if the file ended (cancelled() then tells it apart).
    void setBeforeRead(std::function<bool(std::uint64_t bytesRead)> beforeRead) {
        m_beforeRead = std::move(beforeRead);
    }
    bool cancelled() const { return m_cancelled; }
    std::uint64_t bytesRead() const { return m_bytesRead; }

private:
    static constexpr std::size_t kBufferBytes = 1 << 20;
    bool refill();

    std::unique_ptr<char[]> m_buffer;
    const char* m_pos = nullptr;
    const char* m_end = nullptr;
    int m_fd = -1;
    bool m_failed = false;
    int m_error = 0;
    bool m_cancelled = false;
    std::uint64_t m_bytesRead = 0;
    std::function<bool(std::uint64_t)> m_beforeRead;
};

// Writes a file without ever destroying the old one: the content goes to a new file in the same
// folder, which is renamed over the target only when complete. The new file keeps the old
// file's permission bits. False (nothing changed, no temporary file left) when any step fails or
// the writer throws. One exception: when the folder refuses new files but the old file is
// writable, the file is written in place, and a failure may leave it partly overwritten.
// error, when given, gets the errno of the step that failed (0 when none tells).
bool writeFileReplacing(const std::string& name, const std::function<void(ByteSink&)>& write,
                        int* error = nullptr);

// Opens a regular file for reading; -1 when it cannot be opened or is not a regular file (a
// folder, a FIFO or a device never is: they could block the program or never end). size gets
// the file's size in bytes when given; reason, when given, gets why it failed in the user's
// words (the system's reason, or "not a regular file").
int openForReading(const std::string& name, std::uint64_t* size = nullptr,
                   std::string* reason = nullptr);
