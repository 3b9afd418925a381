#include "recording/ui/background_save.h"

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <new>
#include <thread>

#include "recording/byte_stream.h"
#include "recording/memory_release.h"
#include "recording/ui/progress_run.h"

BackgroundSave saveInBackground(QWidget* parent, const TableStore& table, const std::string& name) {
    auto snapshot = std::make_unique<TableStore>(table.snapshot());
    const std::size_t rows = snapshot->rowCount();
    // For the bar only: the packet takes about three times the bytes of a text row.
    const std::uint64_t expectedBytes = rows * (isPacketName(name) ? 120u : 40u) + 1;
    std::atomic<std::uint64_t> written{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    BackgroundSave result;

    std::thread worker([&] {
        WriteProgressScope progress([&](std::uint64_t bytes) {
            written.store(bytes, std::memory_order_relaxed);
            return !cancel.load(std::memory_order_relaxed);
        });
        try {
            result.outcome = saveTable(*snapshot, name);
        } catch (const std::bad_alloc&) {
            result.outcome = FileOutcome{false, "Could not save table to specified file: " + name};
        }
        done.store(true, std::memory_order_release);
    });

    ProgressRun run(parent, QStringLiteral("Saving"));
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done.load(std::memory_order_acquire)) {
            loop.quit();
            return;
        }
        const std::uint64_t bytes = written.load(std::memory_order_relaxed);
        const bool goOn = run.step(
            QStringLiteral("%L1 rows, %L2 MB written").arg(rows).arg(bytes / 1e6, 0, 'f', 1),
            ProgressGate::percent(std::min(bytes, expectedBytes - 1), expectedBytes));
        if (!goOn) {
            cancel.store(true, std::memory_order_relaxed);
        }
    });
    tick.start();
    if (!done.load(std::memory_order_acquire)) {
        loop.exec();
    }
    worker.join();
    result.cancelled = cancel.load() && !result.outcome.ok;
    // Rows the table dropped meanwhile (New, a load) lived on in the snapshot until now.
    const bool dropped = table.rowCount() < rows;
    snapshot.reset();
    if (dropped) {
        releaseFreeMemory();
    }
    return result;
}
