#include "recording/journal.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "recording/journal_format.h"

namespace {

constexpr std::string_view kProgram = "Halvern Interface Program 2.0.0";

std::uint64_t readU64(const char* at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(at[i]);
    }
    return v;
}

std::uint32_t readU32(const char* at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(at[i]);
    }
    return v;
}

// A session's id: its local start time, the process and a count, so that ids sort by start
// and two sessions never share one.
std::string makeSessionId(const WallTime& start) {
    static std::atomic<unsigned> count{0};
    const time_t seconds = static_cast<time_t>(start.msSinceEpoch / 1000);
    tm parts{};
    localtime_r(&seconds, &parts);
    char when[32];
    std::strftime(when, sizeof when, "%Y%m%d-%H%M%S", &parts);
    char id[80];
    std::snprintf(id, sizeof id, "%s-%d-%u", when, static_cast<int>(::getpid()), ++count);
    return id;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

WallTime nowOrGiven(const WallTime& given) {
    if (given.known()) {
        return given;
    }
    SystemClock clock;
    LocalDateTime local;
    return clock.wallNow(local);
}

}  // namespace

JournalSink::JournalSink(std::string journalFolder, JournalOrigin origin)
    : m_root(std::move(journalFolder)),
      m_id(makeSessionId(nowOrGiven(origin.start))),
      m_ring(kRingBytes),
      m_origin(std::move(origin)) {
    m_origin.start = nowOrGiven(m_origin.start);
    m_thread = std::thread([this] { run(); });
}

JournalSink::~JournalSink() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void JournalSink::push(const char* bytes, std::size_t size, bool wait) {
    std::unique_lock lock(m_mutex);
    if (kRingBytes - m_ringUsed < size) {
        if (!wait) {
            ++m_status.rowsLost;  // the writer has been starved for a minute: not protected
            return;
        }
        m_urgent = true;
        m_wake.notify_all();
        m_drained.wait(lock, [&] { return kRingBytes - m_ringUsed >= size || m_stop; });
        if (m_stop) {
            return;
        }
    }
    std::size_t tail = (m_ringHead + m_ringUsed) % kRingBytes;
    const std::size_t first = std::min(size, kRingBytes - tail);
    std::memcpy(m_ring.data() + tail, bytes, first);
    std::memcpy(m_ring.data(), bytes + first, size - first);
    m_ringUsed += size;
}

void JournalSink::pushOp(Op op, std::uint64_t serial) {
    char record[8 + 2 + 8];
    record[8] = 'X';
    record[9] = static_cast<char>(op);
    for (int i = 0; i < 8; ++i) {
        record[10 + i] = static_cast<char>((serial >> (8 * i)) & 0xFF);
    }
    const std::uint32_t size = 10;
    for (int i = 0; i < 4; ++i) {
        record[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
        record[4 + i] = 0;  // never written to a file: no CRC needed
    }
    push(record, sizeof record, true);
    {
        std::lock_guard lock(m_mutex);
        m_urgent = true;
    }
    m_wake.notify_all();
}

void JournalSink::rowRecorded(const TableStore& table, std::size_t row) {
    if (m_finished) {
        return;
    }
    char record[kMaxJournalRowBytes];
    const std::size_t size = encodeJournalRow(table, row, m_nextSerial++, record);
    push(record, size, false);
}

void JournalSink::rowRestored(const TableStore& table, std::size_t row) {
    if (m_finished) {
        return;
    }
    char record[kMaxJournalRowBytes];
    const std::size_t size = encodeJournalRow(table, row, m_nextSerial++, record);
    push(record, size, true);
}

void JournalSink::rowsDiscarded() {
    if (!m_finished) {
        pushOp(Op::ReleaseThrough, m_nextSerial - 1);
    }
}

void JournalSink::saveStarted() {
    if (!m_finished) {
        m_saveStartSerial = m_nextSerial - 1;
        pushOp(Op::RollOver, m_saveStartSerial);
    }
}

void JournalSink::rowsSaved() {
    if (!m_finished) {
        pushOp(Op::ReleaseThrough, m_saveStartSerial);
    }
}

void JournalSink::finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void JournalSink::setOrigin(const std::string& link, const std::string& device) {
    std::lock_guard lock(m_mutex);
    m_origin.link = link;
    m_origin.device = device;
}

bool JournalSink::flush(std::chrono::milliseconds timeout) {
    const std::uint64_t target = m_nextSerial - 1;
    std::unique_lock lock(m_mutex);
    m_urgent = true;
    m_wake.notify_all();
    m_drained.wait_for(lock, timeout, [&] {
        return m_flushedSerial >= target || !m_status.protectedRows || m_stop;
    });
    return m_flushedSerial >= target;
}

JournalStatus JournalSink::status() const {
    std::lock_guard lock(m_mutex);
    JournalStatus s = m_status;
    s.rowsHandedOver = m_nextSerial - 1;
    return s;
}

void JournalSink::run() {
    // Signals are the reading thread's business (the logger takes its stop signals in its loop):
    // the writer never takes one.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait_for(lock, kSyncEvery, [&] { return m_stop || m_urgent; });
        m_urgent = false;
        // Takes what the ring holds in at most two copies.
        const std::size_t first = std::min(m_ringUsed, kRingBytes - m_ringHead);
        m_stream.append(m_ring.data() + m_ringHead, first);
        m_stream.append(m_ring.data(), m_ringUsed - first);
        m_ringHead = (m_ringHead + m_ringUsed) % kRingBytes;
        m_ringUsed = 0;
        const bool stop = m_stop;
        const bool finishing = m_finishing;
        m_drained.notify_all();
        lock.unlock();

        handle(m_stream);
        m_stream.clear();
        if (!finishing) {
            writePending();
        }

        lock.lock();
        m_drained.notify_all();
        if (stop && m_ringUsed == 0) {
            break;
        }
    }
    lock.unlock();
    if (m_finishing) {
        removeSession();
    } else {
        if (m_failing) {
            m_retryAt = {};  // one last try before the end
        }
        writePending();
        closeSegment();
    }
    if (m_folderFd >= 0) {
        ::close(m_folderFd);  // the lock goes with it
        m_folderFd = -1;
    }
    lock.lock();
    m_drained.notify_all();
}

void JournalSink::handle(std::string_view stream) {
    while (stream.size() >= 8) {
        const std::size_t size = readU32(stream.data()) + 8;
        const char* payload = stream.data() + 8;
        if (payload[0] == 'R') {
            if (m_pending.size() + size > kBacklogCap) {
                std::lock_guard lock(m_mutex);
                ++m_status.rowsLost;
            } else {
                m_pending.append(stream.data(), size);
                m_pendingMaxSerial = readU64(payload + 1);
            }
        } else if (payload[0] == 'X') {
            const auto op = static_cast<Op>(payload[1]);
            const std::uint64_t serial = readU64(payload + 2);
            writePending();
            closeSegment();
            if (op == Op::ReleaseThrough) {
                m_releasedThrough = std::max(m_releasedThrough, serial);
                removeSegmentsThrough(serial);
            }
        }
        stream.remove_prefix(size);
    }
}

bool JournalSink::writePending() {
    if (m_pending.empty()) {
        return true;
    }
    if (m_failing && std::chrono::steady_clock::now() < m_retryAt) {
        return false;
    }
    if (m_fd < 0 && !openSegment()) {
        return false;
    }
    const std::string path = sessionFolder() + "/" + segmentFileName(m_segments.back().number);
    if (!writeAll(m_fd, m_pending.data(), m_pending.size()) || ::fdatasync(m_fd) != 0) {
        // The rows stay pending for the next try. The part written is cut off again, so that
        // no torn record hides them and a full disk gets its room back; when that fails, the
        // next try starts a fresh segment (a row that reached this one too is read once).
        fail(errno, "cannot write " + path);
        if (::ftruncate(m_fd, static_cast<off_t>(m_segmentBytes)) != 0) {
            closeSegment();
        }
        return false;
    }
    m_segmentBytes += m_pending.size();
    m_segments.back().maxSerial = std::max(m_segments.back().maxSerial, m_pendingMaxSerial);
    m_pending.clear();
    std::lock_guard lock(m_mutex);
    m_flushedSerial = std::max(m_flushedSerial, m_pendingMaxSerial);
    if (m_failing) {
        m_failing = false;
        m_status.protectedRows = true;
        m_status.failure = {};
    }
    return true;
}

bool JournalSink::ensureFolder() {
    if (m_folderFd >= 0) {
        return true;
    }
    if (const std::optional<Failure> f = makeFolders(m_root)) {
        std::lock_guard lock(m_mutex);
        m_failing = true;
        m_retryAt = std::chrono::steady_clock::now() + kRetryEvery;
        m_status.protectedRows = false;
        m_status.failure = *f;
        return false;
    }
    // Made under a hidden name and renamed once locked, so that no other program takes the
    // new, empty folder for a crashed session's.
    const std::string making = m_root + "/." + m_id;
    const std::string folder = sessionFolder();
    if (::mkdir(making.c_str(), 0700) != 0 && errno != EEXIST) {
        fail(errno, "cannot create " + making);
        return false;
    }
    const int fd = ::open(making.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(making.c_str(), folder.c_str())) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        ::rmdir(making.c_str());
        fail(error, "cannot create " + folder);
        return false;
    }
    m_folderFd = fd;
    return true;
}

bool JournalSink::openSegment() {
    if (!ensureFolder()) {
        return false;
    }
    JournalHeader header;
    {
        std::lock_guard lock(m_mutex);
        header.link = m_origin.link;
        header.device = m_origin.device;
        header.start = m_origin.start;
    }
    header.sessionId = m_id;
    header.program = kProgram;
    header.releasedThrough = m_releasedThrough;
    while (true) {
        header.segment = m_nextSegment++;
        const std::string path = sessionFolder() + "/" + segmentFileName(header.segment);
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            fail(errno, "cannot write " + path);
            return false;
        }
        const std::string start = encodeJournalStart(header);
        // The new name must survive a power cut as well as the rows in the file.
        if (!writeAll(fd, start.data(), start.size()) || ::fsync(m_folderFd) != 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(path.c_str());
            fail(error, "cannot write " + path);
            return false;
        }
        m_fd = fd;
        m_segmentBytes = start.size();
        m_segments.push_back(Segment{header.segment, 0});
        return true;
    }
}

void JournalSink::closeSegment() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void JournalSink::removeSegmentsThrough(std::uint64_t serial) {
    bool removed = false;
    std::erase_if(m_segments, [&](const Segment& s) {
        if (s.maxSerial > serial) {
            return false;
        }
        const std::string path = sessionFolder() + "/" + segmentFileName(s.number);
        removed = true;
        return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    });
    if (!m_segments.empty()) {
        // The rows still kept sit beside released ones if a write failed meanwhile: a fresh
        // segment's header tells every reader where the release ends.
        openSegment();
    } else if (removed && m_folderFd >= 0) {
        ::fsync(m_folderFd);
    }
}

void JournalSink::fail(int error, const std::string& what) {
    std::lock_guard lock(m_mutex);
    m_failing = true;
    m_retryAt = std::chrono::steady_clock::now() + kRetryEvery;
    m_status.protectedRows = false;
    m_status.failure = Failure{error, what + ": " + std::strerror(error)};
}

void JournalSink::removeSession() {
    closeSegment();
    m_pending.clear();
    if (m_folderFd < 0) {
        return;
    }
    RecoverableSession self(sessionFolder(), m_id, -1);
    self.discard();
}
