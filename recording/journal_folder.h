#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "meter/failure.h"
#include "recording/journal_format.h"

// The journal's folder: one sub-folder per session (window or logger run), named by the
// session's id and holding its segments "seg-NNNNNN.hvj". A running session holds an exclusive
// flock on its sub-folder for its whole life, so a live session is never taken for a crashed
// one; a session whose lock is free ended without cleaning up and can be recovered.

// $XDG_STATE_HOME/halvern/journal, or ~/.local/state/halvern/journal when XDG_STATE_HOME is
// unset or not absolute. Empty when neither it nor HOME can be told.
std::string defaultJournalFolder();

// Creates a folder and its missing parents (mode 0700 for the new ones). Fails with Failure.
std::optional<Failure> makeFolders(const std::string& path);

// The file name of segment n in a session folder.
std::string segmentFileName(std::uint32_t n);

// A session that ended without cleaning up, held locked while this object lives, so no other
// window offers or takes it meanwhile. Move-only.
class RecoverableSession {
public:
    RecoverableSession(std::string folder, std::string id, int lockFd);
    ~RecoverableSession();
    RecoverableSession(RecoverableSession&&) noexcept;
    RecoverableSession& operator=(RecoverableSession&&) noexcept;
    RecoverableSession(const RecoverableSession&) = delete;
    RecoverableSession& operator=(const RecoverableSession&) = delete;

    const std::string& id() const { return m_id; }
    const std::string& folder() const { return m_folder; }
    // Reads every segment in order. Never fails: unreadable bytes count as dropped.
    JournalContent read() const;
    // Removes the session's files and its folder; the lock goes with it. Fails with Failure
    // (the files that could not be removed stay, and the session stays recoverable).
    std::optional<Failure> discard();

private:
    std::string m_folder;
    std::string m_id;
    int m_lockFd = -1;
};

// The sessions of the journal folder whose lock is free, oldest first (ids sort by their start
// time). A session folder without any segment is removed on the way (nothing to recover).
// An absent folder has none. Never fails.
std::vector<RecoverableSession> findRecoverableSessions(const std::string& journalFolder);

// One line of `halvern recover` and of the window's offer: what a session holds.
struct SessionSummary {
    std::string id;
    std::string link;  // link and device as the header names them
    std::size_t rows = 0;
    WallTime first;  // moments of the first and last row (unknown if none)
    WallTime last;
    std::uint64_t droppedBytes = 0;
};
SessionSummary summarize(const std::string& id, const JournalContent& content);

// "2026-12-10 13:15:50" in the row's own local time; "?" when unknown.
std::string localTimeText(const WallTime& t);
