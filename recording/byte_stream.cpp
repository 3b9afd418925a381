#include "recording/byte_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
// Files get a large buffer for throughput; a string grows by itself and needs only a small one.
constexpr std::size_t kFileBufferBytes = 1 << 20;
constexpr std::size_t kStringBufferBytes = 16 << 10;
}  // namespace

ByteSink::ByteSink(int fd)
    : m_capacity(kFileBufferBytes),
      m_buffer(std::make_unique_for_overwrite<char[]>(m_capacity)),
      m_fd(fd) {}

ByteSink::ByteSink(std::string& out)
    : m_capacity(kStringBufferBytes),
      m_buffer(std::make_unique_for_overwrite<char[]>(m_capacity)),
      m_out(&out) {}

ByteSink::~ByteSink() = default;

bool ByteSink::flush() {
    if (m_failed) {
        m_used = 0;
        return false;
    }
    if (m_out != nullptr) {
        m_out->append(m_buffer.get(), m_used);
        m_used = 0;
        return true;
    }
    const char* p = m_buffer.get();
    std::size_t left = m_used;
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_failed = true;
            m_error = errno;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    m_used = 0;
    return !m_failed;
}

void ByteSink::putSlow(std::string_view text) {
    while (!text.empty()) {
        if (m_used == m_capacity) {
            flush();
        }
        const std::size_t n = std::min(text.size(), m_capacity - m_used);
        std::memcpy(m_buffer.get() + m_used, text.data(), n);
        m_used += n;
        text.remove_prefix(n);
    }
}

ByteSource::ByteSource(int fd)
    : m_buffer(std::make_unique_for_overwrite<char[]>(kBufferBytes)), m_fd(fd) {}

ByteSource::ByteSource(std::string_view memory)
    : m_pos(memory.data()), m_end(memory.data() + memory.size()) {}

bool ByteSource::refill() {
    if (m_fd < 0 || m_failed || m_cancelled) {
        return false;
    }
    if (m_beforeRead && !m_beforeRead(m_bytesRead)) {
        m_cancelled = true;
        m_pos = m_end = m_buffer.get();
        return false;
    }
    while (true) {
        const ssize_t n = ::read(m_fd, m_buffer.get(), kBufferBytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            m_failed = true;
            m_error = errno;
        }
        if (n <= 0) {
            m_pos = m_end = m_buffer.get();
            return false;
        }
        m_pos = m_buffer.get();
        m_end = m_pos + n;
        m_bytesRead += static_cast<std::uint64_t>(n);
        return true;
    }
}

namespace {

std::atomic<unsigned> g_tempCounter{0};

std::string folderOf(const std::string& name) {
    const auto slash = name.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : name.substr(0, slash);
}

std::string baseOf(const std::string& name) {
    const auto slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

namespace {

// The temporary file of a save: closed and removed unless it became the file, whatever way the
// save ends (a failed step, or an exception out of the writer).
class TemporaryFile {
public:
    TemporaryFile(std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    ~TemporaryFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (!m_kept) {
            ::unlink(m_path.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_fd; }
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }
    void keep() { m_kept = true; }

private:
    std::string m_path;
    int m_fd;
    bool m_kept = false;
};

bool writeAll(int fd, const std::function<void(ByteSink&)>& write, int& error) {
    ByteSink sink(fd);
    write(sink);
    const bool ok = sink.flush();
    error = sink.error();
    return ok;
}

// Runs a step's system call and keeps its errno when it fails.
bool step(bool ok, int& error) {
    if (!ok && error == 0) {
        error = errno;
    }
    return ok;
}

// The folder does not let a new file be made beside the old one, but the old file itself may be
// written (a shared folder of someone else's with a file left writable for us): the only way
// to save there is over the old file, in place. This gives up what the new file buys: a save
// that fails half-way leaves the old file partly overwritten. Its permissions, owner and links
// stay as they are.
bool writeInPlace(const std::string& target, const std::function<void(ByteSink&)>& write,
                  int& error) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (!step(fd >= 0, error)) {
        return false;
    }
    bool ok = false;
    try {
        ok = writeAll(fd, write, error);
    } catch (...) {
        ok = false;
        error = ENOMEM;
    }
    // Cut what is left of a longer old file; the data must be on disk before the save says so.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    ok = ok && step(end >= 0 && ::ftruncate(fd, end) == 0 && ::fsync(fd) == 0, error);
    ok = step(::close(fd) == 0, error) && ok;
    return ok;
}

}  // namespace

static bool writeFileReplacingImpl(const std::string& name,
                                   const std::function<void(ByteSink&)>& write, int& error) {
    if (name.empty()) {
        error = ENOENT;
        return false;
    }
    // Saving through a symbolic link replaces the file it points to, not the link.
    std::string target = name;
    struct stat link {};
    if (::lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(name.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const std::string folder = folderOf(target);
    // Long names get a short temporary name, so that the suffix cannot push it past the limit.
    const std::string base = baseOf(target).size() > 200 ? "halvern" : baseOf(target);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = folder + "/." + base + ".saving-" + std::to_string(::getpid()) + "-" +
               std::to_string(g_tempCounter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            error = errno;
            const bool folderRefused = errno == EACCES || errno == EPERM;
            if (folderRefused && replacing && ::access(target.c_str(), W_OK) == 0) {
                error = 0;
                return writeInPlace(target, write, error);
            }
            return false;
        }
    }
    if (fd < 0) {
        error = EEXIST;
        return false;
    }
    TemporaryFile file(temp, fd);
    // The new file gets the old one's permission bits (the creation mask does not apply here).
    if (replacing) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    bool ok = false;
    try {
        ok = writeAll(fd, write, error);
    } catch (...) {
        error = ENOMEM;
        return false;  // out of memory while writing: the file goes with the old one kept
    }
    // The data must be on disk before the rename makes it the file, or a crash could leave an
    // empty file where the old one was.
    ok = ok && step(::fsync(fd) == 0, error);
    ok = step(file.close(), error) && ok;
    ok = ok && step(::rename(temp.c_str(), target.c_str()) == 0, error);
    if (ok) {
        file.keep();
    }
    return ok;
}

bool writeFileReplacing(const std::string& name, const std::function<void(ByteSink&)>& write,
                        int* errorOut) {
    int error = 0;
    const bool ok = writeFileReplacingImpl(name, write, error);
    if (errorOut != nullptr) {
        *errorOut = ok ? 0 : error;
    }
    return ok;
}

int openForReading(const std::string& name, std::uint64_t* size, std::string* reason) {
    const auto fail = [reason](int fd, const char* why) {
        if (reason != nullptr) {
            *reason = why != nullptr ? why : std::strerror(errno);
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    };
    // Non-blocking, so that opening a FIFO without a writer cannot hang the program before
    // the type check refuses it.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return fail(fd, nullptr);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return fail(fd, nullptr);
    }
    if (!S_ISREG(st.st_mode)) {
        return fail(fd, "not a regular file");
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return fail(fd, nullptr);
    }
    if (size != nullptr) {
        *size = static_cast<std::uint64_t>(st.st_size);
    }
    return fd;
}
