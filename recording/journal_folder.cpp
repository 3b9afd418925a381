#include "recording/journal_folder.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "recording/byte_stream.h"

namespace {

std::vector<std::string> entriesOf(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st {};
        if (::lstat((folder + "/" + name).c_str(), &st) != 0) {
            continue;
        }
        if (folders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> segmentsOf(const std::string& folder) {
    std::vector<std::string> names = entriesOf(folder, false);
    std::erase_if(names, [](const std::string& n) {
        return !(n.starts_with("seg-") && n.ends_with(".hvj"));
    });
    return names;
}

std::string readWholeFile(const std::string& path) {
    std::string bytes;
    std::uint64_t size = 0;
    const int fd = openForReading(path, &size);
    if (fd < 0) {
        return bytes;
    }
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    ::close(fd);
    return bytes;
}

}  // namespace

std::string defaultJournalFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.local/state";
    } else {
        return {};
    }
    return base + "/halvern/journal";
}

std::optional<Failure> makeFolders(const std::string& path) {
    if (path.empty()) {
        return Failure{ENOENT, "no folder for the journal (neither XDG_STATE_HOME nor HOME set)"};
    }
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') {
            continue;
        }
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            return Failure{error, "cannot create " + part + ": " + std::strerror(error)};
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Failure{ENOTDIR, "cannot create " + path + ": " + std::strerror(ENOTDIR)};
    }
    return std::nullopt;
}

std::string segmentFileName(std::uint32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "seg-%06u.hvj", n);
    return name;
}

RecoverableSession::RecoverableSession(std::string folder, std::string id, int lockFd)
    : m_folder(std::move(folder)), m_id(std::move(id)), m_lockFd(lockFd) {}

RecoverableSession::~RecoverableSession() {
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
}

RecoverableSession::RecoverableSession(RecoverableSession&& o) noexcept
    : m_folder(std::move(o.m_folder)), m_id(std::move(o.m_id)), m_lockFd(o.m_lockFd) {
    o.m_lockFd = -1;
}

RecoverableSession& RecoverableSession::operator=(RecoverableSession&& o) noexcept {
    if (this != &o) {
        if (m_lockFd >= 0) {
            ::close(m_lockFd);
        }
        m_folder = std::move(o.m_folder);
        m_id = std::move(o.m_id);
        m_lockFd = o.m_lockFd;
        o.m_lockFd = -1;
    }
    return *this;
}

JournalContent RecoverableSession::read() const {
    JournalReader reader;
    for (const std::string& name : segmentsOf(m_folder)) {
        reader.addSegment(readWholeFile(m_folder + "/" + name));
    }
    return reader.finish();
}

std::optional<Failure> RecoverableSession::discard() {
    std::optional<Failure> failure;
    for (const std::string& name : entriesOf(m_folder, false)) {
        const std::string path = m_folder + "/" + name;
        if (::unlink(path.c_str()) != 0 && errno != ENOENT && !failure) {
            const int error = errno;
            failure = Failure{error, "cannot remove " + path + ": " + std::strerror(error)};
        }
    }
    if (!failure && ::rmdir(m_folder.c_str()) != 0 && errno != ENOENT) {
        const int error = errno;
        failure = Failure{error, "cannot remove " + m_folder + ": " + std::strerror(error)};
    }
    return failure;
}

std::vector<RecoverableSession> findRecoverableSessions(const std::string& journalFolder) {
    std::vector<RecoverableSession> sessions;
    for (const std::string& id : entriesOf(journalFolder, true)) {
        if (id.starts_with('.')) {
            continue;  // a session folder being made (it is renamed once locked)
        }
        const std::string folder = journalFolder + "/" + id;
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);  // a live session
            continue;
        }
        RecoverableSession session(folder, id, fd);
        // A session that ended meanwhile removed its folder while we waited for the lock.
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) {
            continue;
        }
        if (segmentsOf(folder).empty()) {
            session.discard();
            continue;
        }
        sessions.push_back(std::move(session));
    }
    return sessions;
}

SessionSummary summarize(const std::string& id, const JournalContent& content) {
    SessionSummary s;
    s.id = id;
    if (content.header) {
        s.link = content.header->link;
        if (!content.header->device.empty()) {
            s.link += s.link.empty() ? content.header->device : " " + content.header->device;
        }
    }
    s.rows = content.rows.rowCount();
    for (std::size_t r = 0; r < s.rows && !s.first.known(); ++r) {
        s.first = content.rows.stamp(r);
    }
    for (std::size_t r = s.rows; r > 0 && !s.last.known(); --r) {
        s.last = content.rows.stamp(r - 1);
    }
    s.droppedBytes = content.droppedBytes;
    return s;
}

std::string localTimeText(const WallTime& t) {
    if (!t.known()) {
        return "?";
    }
    // The row's own local time: UTC plus the offset in force when it was recorded.
    const std::int64_t seconds =
        t.msSinceEpoch / 1000 - (t.msSinceEpoch % 1000 < 0 ? 1 : 0) + t.utcOffsetSeconds;
    const time_t shifted = static_cast<time_t>(seconds);
    tm parts{};
    if (::gmtime_r(&shifted, &parts) == nullptr) {
        return "?";
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}
