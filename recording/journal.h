#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "meter/clock.h"
#include "recording/journal_folder.h"
#include "recording/row_sink.h"

// Where a session's journal says its rows came from: the header of every segment names them.
struct JournalOrigin {
    std::string link;    // "serial", "USB bridge", "HID cable", "window"
    std::string device;  // the device path, or empty
    WallTime start;      // when the session started
};

// What the journal can say about itself. While writing fails, the rows are kept in memory and
// written once writing works again; `failure` says what failed (the path and the system's
// reason) and `protectedRows` is false.
struct JournalStatus {
    bool protectedRows = true;
    Failure failure;
    std::uint64_t rowsHandedOver = 0;
    std::uint64_t rowsLost = 0;  // rows that never reached the journal (memory cap)
};

// The recording journal of one session: every recorded row, in order, on the disk within a
// second, so that a crash, a kill or a power cut loses at most the last second. A row sink:
// rowRecorded() encodes the row and hands it to a writer thread through a fixed ring (no
// allocation, no wait, no system call); the writer thread appends the rows to the session's
// current segment and forces them to the disk (fdatasync) at least every kSyncEvery.
//
// A save rolls over to a fresh segment when it begins (saveStarted) and removes the segments
// it covered when it succeeds (rowsSaved); New does both at once (rowsDiscarded). finish()
// writes what is pending and removes the session's folder: the clean end.
//
// The session's folder is made at the first row and locked (flock) for the session's life.
// When the folder cannot be made or written (no permission, read-only, disk full), recording
// goes on: the rows wait in memory (up to kBacklogCap) and the writer tries again every
// kRetryEvery, in a fresh segment.
class JournalSink final : public RowSink {
public:
    static constexpr auto kSyncEvery = std::chrono::milliseconds(200);
    static constexpr auto kRetryEvery = std::chrono::milliseconds(1000);
    static constexpr std::size_t kRingBytes = 1 << 20;     // about 15 000 rows
    static constexpr std::size_t kBacklogCap = 64u << 20;  // rows held while writing fails
    // journalFolder is the folder of all sessions (defaultJournalFolder()). Never fails; the
    // folder is not touched before the first row.
    JournalSink(std::string journalFolder, JournalOrigin origin);
    // Stops the writer after writing what is pending; the journal stays (not a clean end)
    // unless finish() was called.
    ~JournalSink() override;
    JournalSink(const JournalSink&) = delete;
    JournalSink& operator=(const JournalSink&) = delete;

    // On the reading thread: at most a few hundred nanoseconds, no allocation, never waits.
    void rowRecorded(const TableStore& table, std::size_t row) override;
    void rowsDiscarded() override;
    void saveStarted() override;
    void rowsSaved() override;
    void finish() override;

    // Journals rows that are not new readings but are unsaved all the same (rows restored from
    // a crashed session's journal). Waits for room in the ring instead of losing a row.
    void rowRestored(const TableStore& table, std::size_t row);
    // The link of the segments opened from now on (a new connection in the window).
    void setOrigin(const std::string& link, const std::string& device);

    // Waits until every row handed over so far is on the disk, or writing fails, or the
    // timeout passes; true when on the disk. For tests and the logger's end.
    bool flush(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    JournalStatus status() const;
    const std::string& sessionId() const { return m_id; }
    // The session's folder (it exists once the first row has been written).
    std::string sessionFolder() const { return m_root + "/" + m_id; }

private:
    enum class Op : char { ReleaseThrough = 'L', RollOver = 'O' };
    struct Segment {
        std::uint32_t number;
        std::uint64_t maxSerial;
    };

    void push(const char* bytes, std::size_t size, bool wait);
    void pushOp(Op op, std::uint64_t serial);
    void run();
    void handle(std::string_view stream);
    bool writePending();
    bool openSegment();
    void closeSegment();
    void removeSegmentsThrough(std::uint64_t serial);
    bool ensureFolder();
    void fail(int error, const std::string& what);
    void removeSession();

    const std::string m_root;
    const std::string m_id;

    // Shared between the reading thread and the writer, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::vector<char> m_ring;
    std::size_t m_ringHead = 0;  // next byte to write
    std::size_t m_ringUsed = 0;
    bool m_stop = false;
    bool m_finishing = false;
    bool m_urgent = false;
    std::uint64_t m_flushedSerial = 0;  // rows up to here are on the disk
    JournalOrigin m_origin;
    JournalStatus m_status;

    // The reading thread's own.
    std::uint64_t m_nextSerial = 1;
    std::uint64_t m_saveStartSerial = 0;
    bool m_finished = false;

    // The writer thread's own.
    std::string m_stream;   // taken from the ring, not yet handled
    std::string m_pending;  // records for the disk, not yet written and synced
    std::uint64_t m_pendingMaxSerial = 0;
    int m_folderFd = -1;             // holds the lock
    int m_fd = -1;                   // the current segment
    std::size_t m_segmentBytes = 0;  // its size up to the last complete write
    std::uint32_t m_nextSegment = 1;
    std::uint64_t m_releasedThrough = 0;
    std::vector<Segment> m_segments;
    bool m_failing = false;
    std::chrono::steady_clock::time_point m_retryAt;

    std::thread m_thread;
};
