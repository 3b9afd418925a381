#include "net/meter_outputs.h"

#include <unistd.h>

#include <string_view>

#include "net/row_message.h"
#include "recording/quantity.h"

namespace {

// The SI unit in the ASCII names SCPI answers use ("OHM", "CEL", "FAR", "DEG").
std::string asciiUnit(std::string_view siUnit) {
    if (siUnit == "\u03A9") {
        return "OHM";
    }
    if (siUnit == "\u00B0C") {
        return "CEL";
    }
    if (siUnit == "\u00B0F") {
        return "FAR";
    }
    if (siUnit == "\u00B0") {
        return "DEG";
    }
    return std::string(siUnit);
}

}  // namespace

SensorKind rowSensorKind(const TableStore& table, std::size_t row) {
    const QuantityKind kind =
        quantityKindOf(table.text(row, Field::DcAc), table.text(row, Field::Unit));
    return sensorKindOf(kind.name, kind.siUnit);
}

std::unique_ptr<MqttPublisher> createMeterPublisher(const MqttPublishSettings& settings) {
    MqttClientConfig config;
    config.host = settings.url.host;
    config.port = settings.url.port;
    config.tls = settings.url.tls;
    config.caFile = settings.caFile;
    config.user = settings.user;
    config.password = settings.password;
    config.clientId = "halvern-" + settings.meterId + "-" + std::to_string(::getpid());
    config.willTopic = availabilityTopic(settings.meterId);
    config.willPayload = "offline";
    auto publisher =
        std::make_unique<MqttPublisher>(createMqttClient(config), settings.meterId, settings.qos,
                                        [encoder = std::make_shared<RowMessageEncoder>()](
                                            const TableStore& table, std::size_t row,
                                            std::string& out) { (*encoder)(table, row, out); });
    publisher->setRowKind(rowSensorKind);
    return publisher;
}

void LastRowInstrument::rowRecorded(const TableStore& table, std::size_t row) {
    const std::string_view function = table.text(row, Field::DcAc);
    const Quantity q =
        quantityOf(function, table.text(row, Field::Value), table.text(row, Field::Unit));
    Reading r;
    r.quantity = std::string(q.name.empty() ? function : q.name);
    r.unit = asciiUnit(q.siUnit);
    switch (q.flag) {
        case ReadingFlag::None:
            r.si = q.value.value_or(0);
            break;
        case ReadingFlag::NegativeOverload:
            r.overload = Reading::Overload::Negative;
            break;
        default:
            // An overload, an open input or a display that is not a number: beyond any value, as
            // instruments answer it.
            r.overload = Reading::Overload::Positive;
            break;
    }
    m_last = std::move(r);
}
