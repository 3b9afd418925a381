#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "meter/lcd_state.h"
#include "meter/reading_consumer.h"
#include "net/mqtt_client.h"
#include "net/mqtt_settings.h"
#include "recording/row_sink.h"

// The recorded rows published to a broker. rowRecorded forms the row's message and queues it,
// nothing more; a thread of the publisher's own hands the queue to the client while it is
// connected, so a broker that is slow, down or gone never holds the reading up. A row handed
// over is kept until the client says it was delivered: when the connection goes first, it goes
// back to the head of the queue and is sent again (at QoS 1 a subscriber may see it twice). The
// queue is bounded: when it is full the oldest row goes and is counted. On every connection the
// meter says it is online and (re)sends its retained discovery config; the client's Last Will and
// finish() say offline. The discovery config carries the device class and unit of the rows: when
// the next row to send measures something else (the dial was turned), the config is sent again
// before it.
//
// lcdState() is a consumer of the reading pipeline that publishes the LCD's state, retained, on
// halvern/ID/state: at most once per kStateInterval, the latest state winning, a state equal to
// the one sent not sent again, and the last state of a burst sent when the interval ends. It
// forms and hands over, never waits on the broker; on every new connection the state is sent
// again.
class MqttPublisher final : public RowSink {
public:
    // Forms the message of a row (appends to out).
    using RowEncoder =
        std::function<void(const TableStore& table, std::size_t row, std::string& out)>;
    // What a row's value measures, for the discovery config (not known: the kind stays as it
    // was).
    using RowKind = std::function<SensorKind(const TableStore& table, std::size_t row)>;

    struct Status {
        bool connected = false;
        std::string problem;  // why the last connection failed or ended
        std::size_t queued = 0;
        std::uint64_t published = 0;
        std::uint64_t dropped = 0;  // oldest rows dropped from a full queue
    };

    static constexpr std::size_t kDefaultCapacity = 10000;
    static constexpr std::chrono::milliseconds kStateInterval{100};

    MqttPublisher(std::unique_ptr<MqttClient> client, std::string meterId, int qos,
                  RowEncoder encoder, std::size_t capacity = kDefaultCapacity);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Gives the discovery config the device class and unit of the rows; without it the config
    // has none. Call before start().
    void setRowKind(RowKind kind) { m_rowKind = std::move(kind); }
    // Starts the client and the sending thread; false with the reason when the client cannot.
    bool start(std::string& reason);

    void rowRecorded(const TableStore& table, std::size_t row) override;
    // The LCD's state for the reading pipeline: add it to the session's consumers. Its lcdApply
    // runs on the reading thread and only forms and queues. Lives as long as the publisher.
    ReadingConsumer& lcdState() { return m_lcdFeed; }
    // Sends what is queued while connected (up to drainSeconds), says offline and disconnects.
    // Rows still queued then are counted in unsent().
    void finish() override;

    Status status() const;
    std::size_t unsent() const { return m_unsent; }
    const std::string& meterId() const { return m_id; }
    void setDrainSeconds(double seconds) { m_drainSeconds = seconds; }

private:
    class LcdFeed final : public ReadingConsumer {
    public:
        explicit LcdFeed(MqttPublisher& publisher) : m_publisher(publisher) {}
        void lcdApply(const LcdState& state) override { m_publisher.stateApplied(state); }

    private:
        MqttPublisher& m_publisher;
    };
    struct QueuedRow {
        std::string message;
        SensorKind kind;
    };

    void stateApplied(const LcdState& state);
    void connectionChanged(bool connected, const std::string& why);
    void delivered(int mid);
    void requeueInFlight();
    void sendLoop();

    std::unique_ptr<MqttClient> m_client;
    std::string m_id;
    std::string m_topic;
    int m_qos;
    RowEncoder m_encoder;
    RowKind m_rowKind;
    std::size_t m_capacity;
    double m_drainSeconds = 5;
    std::string m_scratch;       // reading thread only
    std::string m_stateScratch;  // reading thread only
    std::string m_stateFormed;   // reading thread only: the last state formed
    LcdFeed m_lcdFeed{*this};

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QueuedRow> m_queue;
    bool m_connected = false;
    bool m_announce = false;  // a new connection wants online and discovery
    bool m_stopping = false;
    struct InFlight {
        int mid;
        bool row;  // a row (requeued when the connection goes), not an announcement
        std::string message;
        SensorKind kind;
    };
    SensorKind m_announcedKind;  // in the discovery config sent last
    std::string m_statePending;  // the newest state not handed over yet
    bool m_hasStatePending = false;
    std::string m_stateOut;   // sender thread: the state being handed over
    std::string m_stateSent;  // the state handed over last
    std::chrono::steady_clock::time_point m_nextStateAt{};
    std::deque<InFlight> m_inFlight;  // handed to the client, not yet delivered, oldest first
    std::vector<int> m_early;         // delivered before publish() returned their mid
    std::string m_problem;
    std::uint64_t m_published = 0;
    std::uint64_t m_dropped = 0;
    std::size_t m_unsent = 0;
    bool m_finished = false;
    std::thread m_sender;
};
