#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/mqtt_publisher.h"
#include "net/mqtt_settings.h"
#include "net/scpi_parser.h"
#include "recording/row_sink.h"

// How a meter's rows are published, as halvern log's options and the window's settings give it.
struct MqttPublishSettings {
    MqttUrl url;
    std::string caFile;  // mqtts: the authority that signed the broker's certificate
    std::string user;    // empty: anonymous
    std::string password;
    int qos = 0;
    std::string meterId;  // topic-safe
};

// What a recorded row measures, for the discovery config: from the quantity table, by its
// function and unit texts. Never fails (an unknown function: not known).
SensorKind rowSensorKind(const TableStore& table, std::size_t row);

// The publisher of a meter's rows: a client of the platform with the meter's Last Will
// ("offline" on its availability topic), every row as its JSON Lines object, the discovery
// config with the rows' device class and unit. Not started yet; add lcdState() to the reading's
// consumers to publish the LCD's state too.
std::unique_ptr<MqttPublisher> createMeterPublisher(const MqttPublishSettings& settings);

// The last recorded row as a SCPI client reads it: the value in its SI unit, from the one
// quantity table of the analysis files; an overload (or a display that is no number) is beyond
// any value, with its sign. A row sink of the recording.
class LastRowInstrument final : public RowSink, public ScpiInstrument {
public:
    // serial: the device's serial number ("0" when it has none); version: the program's.
    LastRowInstrument(std::string serial, std::string version)
        : m_serial(std::move(serial)), m_version(std::move(version)) {}

    void rowRecorded(const TableStore& table, std::size_t row) override;
    void rowsDiscarded() override { m_last.reset(); }

    std::string serial() const override {
        if (m_serialSource) {
            if (std::string now = m_serialSource(); !now.empty()) {
                return now;
            }
        }
        return m_serial;
    }
    std::string version() const override { return m_version; }
    std::optional<Reading> lastReading() const override { return m_last; }
    void setSerial(std::string serial) { m_serial = std::move(serial); }
    // Asked at every *IDN?, for a link that changes while the server runs (the window's); the
    // fixed serial answers when it gives nothing.
    void setSerialSource(std::function<std::string()> source) {
        m_serialSource = std::move(source);
    }

private:
    std::string m_serial;
    std::function<std::string()> m_serialSource;
    std::string m_version;
    std::optional<Reading> m_last;
};
