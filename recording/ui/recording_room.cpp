#include "recording/ui/recording_room.h"

#include "recording/ui/recording_controls.h"

class RecordingRoom::Step : public RecorderConsumer {
public:
    using RecorderConsumer::RecorderConsumer;
    void conversionFailed(std::string_view message) override {
        if (report) {
            report(message);
        }
    }
    std::function<void(std::string_view)> report;
};

RecordingRoom::RecordingRoom(QWidget* window)
    : m_recorder(m_table, m_clock),
      m_step(std::make_unique<Step>(m_recorder)),
      m_controls(std::make_unique<RecordingControls>(m_table, m_recorder, window)) {}

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
