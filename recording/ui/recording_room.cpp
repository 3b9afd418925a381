#include "recording/ui/recording_room.h"

#include "recording/ui/recording_controls.h"

// The decoder's recording step. A failed conversion of the step itself is reported here; the
// decoder's own failures reach the window directly, so they are not passed on twice.
class RecordingRoom::Step : public ReadingConsumer {
public:
    Step(Recorder& recorder, bool& unsaved) : m_recorder(recorder), m_unsaved(unsaved) {}
    bool recordReading(const CurrentReading& reading) override {
        const RecordOutcome outcome = m_recorder.recordReading(reading);
        if (!outcome.failure.empty() && report) {
            report(outcome.failure);
        }
        m_unsaved = m_unsaved || outcome.appended;
        return outcome.appended;
    }
    std::function<void(std::string_view)> report;

private:
    Recorder& m_recorder;
    bool& m_unsaved;
};

RecordingRoom::RecordingRoom(QWidget* window)
    : m_recorder(m_table, m_clock),
      m_step(std::make_unique<Step>(m_recorder, m_unsaved)),
      m_controls(std::make_unique<RecordingControls>(m_table, m_recorder, window)) {
    QObject::connect(m_controls.get(), &RecordingControls::tableSaved, m_controls.get(),
                     [this] { m_unsaved = false; });
    QObject::connect(m_controls.get(), &RecordingControls::tableReplaced, m_controls.get(),
                     [this] { m_unsaved = false; });
}

RecordingRoom::~RecordingRoom() {
    delete m_grid;
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
