#include "recording/ui/recording_room.h"

#include <QString>
#include <QTimer>

#include "recording/memory_release.h"
#include "recording/ui/recording_controls.h"

// Which recorded rows are saved: told by the recorder like every other sink, so a save that
// began before rows came in marks only the rows it took.
class RecordingRoom::UnsavedRows : public RowSink {
public:
    void rowRecorded(const TableStore&, std::size_t) override { ++recorded; }
    void rowsDiscarded() override { savedThrough = recorded; }
    void saveStarted() override { saveTook = recorded; }
    void rowsSaved() override { savedThrough = std::max(savedThrough, saveTook); }

    std::uint64_t recorded = 0;
    std::uint64_t savedThrough = 0;
    std::uint64_t saveTook = 0;
};

// The decoder's recording step. A failed conversion of the step itself is reported here; the
// decoder's own failures reach the window directly, so they are not passed on twice.
class RecordingRoom::Step : public ReadingConsumer {
public:
    explicit Step(Recorder& recorder) : m_recorder(recorder) {}
    bool recordReading(const CurrentReading& reading) override {
        if (paused) {
            return false;
        }
        const RecordOutcome outcome = m_recorder.recordReading(reading);
        if (!outcome.failure.empty() && report) {
            report(outcome.failure);
        }
        return outcome.appended;
    }
    std::function<void(std::string_view)> report;
    bool paused = false;

private:
    Recorder& m_recorder;
};

RecordingRoom::RecordingRoom(QWidget* window)
    : m_recorder(m_table, m_clock),
      m_unsaved(std::make_unique<UnsavedRows>()),
      m_journal(
          std::make_unique<JournalSink>(defaultJournalFolder(), JournalOrigin{"window", {}, {}})),
      m_step(std::make_unique<Step>(m_recorder)),
      m_controls(std::make_unique<RecordingControls>(m_table, m_recorder, window)) {
    m_recorder.sinks().add(*m_unsaved);
    m_recorder.sinks().add(*m_journal);
    // New and a packet that replaced the rows dropped a table that may be big: its memory
    // goes back to the system.
    QObject::connect(m_controls.get(), &RecordingControls::tableReplaced, m_controls.get(),
                     [] { releaseFreeMemory(); });
    m_journalCheck = new QTimer(m_controls.get());
    m_journalCheck->setInterval(1000);
    QObject::connect(m_journalCheck, &QTimer::timeout, m_controls.get(),
                     [this] { checkJournal(); });
    m_journalCheck->start();
}

RecordingRoom::~RecordingRoom() {
    delete m_grid;
    m_recorder.sinks().remove(*m_journal);
    m_recorder.sinks().remove(*m_unsaved);
}

bool RecordingRoom::hasUnsavedRows() const {
    return m_unsaved->recorded > m_unsaved->savedThrough && !m_table.empty();
}

void RecordingRoom::endCleanly() {
    m_journal->finish();
}

void RecordingRoom::setRecordingPaused(bool paused) {
    m_step->paused = paused;
}

std::size_t RecordingRoom::restoreRows(const TableStore& rows) {
    TableStore::AppendBatch batch(m_table);
    for (std::size_t r = 0; r < rows.rowCount(); ++r) {
        m_table.append(rows.rowData(r));
        m_journal->rowRestored(m_table, m_table.rowCount() - 1);
        ++m_unsaved->recorded;
    }
    return rows.rowCount();
}

void RecordingRoom::setJournalNotice(std::function<void(const QString&)> show) {
    m_journalNotice = std::move(show);
    checkJournal();
}

void RecordingRoom::checkJournal() {
    const JournalStatus status = m_journal->status();
    if (status.protectedRows == !m_journalFailing) {
        return;
    }
    m_journalFailing = !status.protectedRows;
    if (m_journalNotice) {
        m_journalNotice(m_journalFailing
                            ? QStringLiteral("Journal: %1; the readings are not protected")
                                  .arg(QString::fromLocal8Bit(status.failure.text))
                            : QString());
    }
}

MeasurementGrid* RecordingRoom::install(QGroupBox* functionBoard, QMenu* recordMenu,
                                        QWidget* gridParent) {
    m_controls->populateFunctionBoard(functionBoard);
    m_controls->populateRecordMenu(recordMenu);
    m_grid = m_controls->createGrid(gridParent);
    return m_grid;
}

void RecordingRoom::setConversionFailure(std::function<void(std::string_view)> report) {
    m_step->report = std::move(report);
}

void RecordingRoom::setChartClear(std::function<void()> clear) {
    m_controls->setChartClear(std::move(clear));
}

ReadingConsumer& RecordingRoom::recordingStep() {
    return *m_step;
}
