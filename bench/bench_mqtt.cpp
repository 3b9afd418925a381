// Publishing rows to a broker: what rowRecorded costs the reading thread (the row's message
// formed and queued), what lcdState() costs it per frame, what a full queue holds in memory, and
// rows per second to a local mosquitto (started here on a free loopback port; skipped when it is
// not installed).
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/allocation_counter.h"
#include "meter/clock.h"
#include "meter/frame_decoder.h"
#include "net/meter_outputs.h"
#include "net/mqtt_client.h"
#include "net/mqtt_publisher.h"
#include "net/row_message.h"
#include "recording/table_store.h"

namespace {

// A client that never connects: rows stay queued.
class AbsentBroker final : public MqttClient {
public:
    bool start(std::string&) override { return true; }
    bool publish(const std::string&, const std::string&, int, bool, int&) override { return false; }
    void stop() override {}
};

// A broker that takes every message at once: the sender thread keeps up and contends with the
// reading thread for the queue's lock.
class InstantBroker final : public MqttClient {
public:
    bool start(std::string&) override {
        onConnection(true, {});
        return true;
    }
    bool publish(const std::string&, const std::string&, int, bool, int& mid) override {
        mid = ++m_mid;
        onDelivered(mid);
        return true;
    }
    void stop() override {}

private:
    std::atomic<int> m_mid{0};
};

TableStore sampleTable() {
    TableStore table;
    RowData row;
    row.no = 12345;
    row.texts = {"14:50:26", "DCV", "1.236", "V", "4 V", "Auto"};
    table.append(row);
    return table;
}

MqttPublisher::RowEncoder textEncoder() {
    return [encoder = std::make_shared<RowMessageEncoder>()](
               const TableStore& t, std::size_t r, std::string& out) { (*encoder)(t, r, out); };
}

// The reading thread's share: the message formed and queued (the queue never fills here).
void BM_RowRecordedCost(benchmark::State& state) {
    const TableStore table = sampleTable();
    MqttPublisher publisher(std::make_unique<AbsentBroker>(), "m1", 0, textEncoder(),
                            std::size_t{1} << 30);
    publisher.setRowKind(rowSensorKind);
    std::string reason;
    publisher.start(reason);
    for (auto _ : state) {
        publisher.rowRecorded(table, 0);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RowRecordedCost);

// The same with the queue full: each row drops the oldest.
void BM_RowRecordedFullQueue(benchmark::State& state) {
    const TableStore table = sampleTable();
    MqttPublisher publisher(std::make_unique<AbsentBroker>(), "m1", 0, textEncoder());
    publisher.setRowKind(rowSensorKind);
    std::string reason;
    publisher.start(reason);
    for (std::size_t i = 0; i < MqttPublisher::kDefaultCapacity; ++i) {
        publisher.rowRecorded(table, 0);
    }
    for (auto _ : state) {
        publisher.rowRecorded(table, 0);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RowRecordedFullQueue);

// The LCD states of 64 frames of DC volts whose digits differ.
std::vector<LcdState> sampleStates() {
    ReadingConsumer none;
    FixedClock clock;
    FrameDecoder decoder(none, clock, ".");
    std::vector<LcdState> states;
    for (int i = 0; i < 64; ++i) {
        char frame[16];
        std::snprintf(frame, sizeof frame, "A001%04d0010D", 1200 + i);
        decoder.decode(frame);
        states.push_back(decoder.lcdState());
    }
    return states;
}

// lcdState()'s lcdApply on the reading thread, once per frame: range(0) 0 = the LCD shows the
// same as the frame before (most frames), 1 = a new state every frame; range(1) 0 = no broker
// (states wait), 1 = a broker that takes everything (the sender runs beside the reading).
// allocs_per_frame counts every thread's allocations.
void BM_LcdStatePerFrame(benchmark::State& state) {
    const std::vector<LcdState> states = sampleStates();
    std::unique_ptr<MqttClient> client;
    if (state.range(1) == 0) {
        client = std::make_unique<AbsentBroker>();
    } else {
        client = std::make_unique<InstantBroker>();
    }
    MqttPublisher publisher(std::move(client), "m1", 0, textEncoder());
    std::string reason;
    publisher.start(reason);
    ReadingConsumer& lcd = publisher.lcdState();
    const std::size_t step = state.range(0) == 0 ? 0 : 1;
    std::size_t i = 0;
    for (std::size_t warm = 0; warm < states.size(); ++warm) {
        lcd.lcdApply(states[warm]);
    }
    const std::size_t before = g_allocations.load();
    for (auto _ : state) {
        lcd.lcdApply(states[i]);
        i = (i + step) % states.size();
    }
    state.counters["allocs_per_frame"] = static_cast<double>(g_allocations.load() - before) /
                                         static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
    publisher.setDrainSeconds(0);
}
BENCHMARK(BM_LcdStatePerFrame)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1});

// The heap a full queue of the default 10,000 rows holds.
void BM_FullQueueMemory(benchmark::State& state) {
    const TableStore table = sampleTable();
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        {
            MqttPublisher publisher(std::make_unique<AbsentBroker>(), "m1", 0, textEncoder());
            std::string reason;
            publisher.start(reason);
            for (std::size_t i = 0; i < MqttPublisher::kDefaultCapacity; ++i) {
                publisher.rowRecorded(table, 0);
            }
            state.counters["bytes"] = static_cast<double>(mallinfo2().uordblks - before);
            state.counters["bytes_per_row"] =
                state.counters["bytes"] / static_cast<double>(MqttPublisher::kDefaultCapacity);
            publisher.setDrainSeconds(0);
        }
    }
}
BENCHMARK(BM_FullQueueMemory)->Iterations(1);

int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// Rows per second through libmosquitto to a local broker, QoS as the argument: the time from
// the first row queued to the last delivered.
void BM_RowsPerSecondToLocalBroker(benchmark::State& state) {
    const int port = freePort();
    const pid_t broker = fork();
    if (broker == 0) {
        freopen("/dev/null", "w", stderr);
        execl("/usr/sbin/mosquitto", "mosquitto", "-p", std::to_string(port).c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const TableStore table = sampleTable();
    const int qos = static_cast<int>(state.range(0));
    constexpr std::size_t kRows = 10000;
    for (auto _ : state) {
        MqttClientConfig config;
        config.host = "127.0.0.1";
        config.port = port;
        config.clientId = "halvern-bench";
        MqttPublisher publisher(createMqttClient(config), "bench", qos, textEncoder(), kRows);
        std::string reason;
        if (!publisher.start(reason)) {
            state.SkipWithError(reason.c_str());
            break;
        }
        for (int i = 0; i < 300 && !publisher.status().connected; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!publisher.status().connected) {
            state.SkipWithError("no local mosquitto");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < kRows; ++i) {
            publisher.rowRecorded(table, 0);
        }
        publisher.setDrainSeconds(60);
        publisher.finish();  // returns once every row is delivered
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["rows_per_s"] = static_cast<double>(kRows) / seconds;
        state.counters["unsent"] = static_cast<double>(publisher.unsent());
    }
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
}
BENCHMARK(BM_RowsPerSecondToLocalBroker)->Arg(0)->Arg(1)->UseManualTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
