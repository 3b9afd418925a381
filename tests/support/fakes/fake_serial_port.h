#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transport/loop/event_loop.h"
#include "transport/serial/serial_port_backend.h"

// A serial port in memory: records every platform call in order and serves reads from a queue
// the test fills. Shared state lives in a Log the test keeps after handing the port over.
struct FakePortLog {
    std::vector<std::string>
        calls;  // "open /dev/x", "setState", "purge 15", "setupQueues 2048 2048", ...
    std::vector<CommState> states;
    std::vector<CommTimeouts> timeouts;
    std::string input;   // bytes waiting to be read
    std::string output;  // bytes written
    bool refuseOpen = false;
    bool hangUp = false;  // reads report a hang-up once input is empty
    long outputQueued = 0;
    long writeChunk = 1 << 30;    // bytes accepted per write; 0: none; -1: failure
    std::size_t room = SIZE_MAX;  // bytes the transmit queue takes before it reports full
    bool open = false;
};

class FakeSerialPort final : public SerialPortBackend {
public:
    explicit FakeSerialPort(FakePortLog& log) : m_log(log) {}

    bool open(const std::string& device) override {
        m_log.calls.push_back("open " + device);
        if (m_log.refuseOpen) {
            return false;
        }
        m_log.open = true;
        return true;
    }
    void close() override {
        m_log.calls.push_back("close");
        m_log.open = false;
    }
    bool isOpen() const override { return m_log.open; }
    bool setState(const CommState& s) override {
        m_log.calls.push_back("setState");
        m_log.states.push_back(s);
        return true;
    }
    bool setTimeouts(const CommTimeouts& t) override {
        m_log.calls.push_back("setTimeouts");
        m_log.timeouts.push_back(t);
        return true;
    }
    bool purge(std::uint32_t flags) override {
        m_log.calls.push_back("purge " + std::to_string(flags));
        if (flags & kPurgeRxClear) {
            m_log.input.clear();
        }
        return true;
    }
    bool setupQueues(std::uint32_t in, std::uint32_t out) override {
        m_log.calls.push_back("setupQueues " + std::to_string(in) + " " + std::to_string(out));
        return true;
    }
    ReadResult read(std::uint8_t* buffer, std::size_t size) override {
        ReadResult r;
        r.count = std::min(size, m_log.input.size());
        std::copy_n(m_log.input.begin(), r.count, buffer);
        m_log.input.erase(0, r.count);
        r.hungUp = m_log.hangUp && m_log.input.empty();
        return r;
    }
    long write(const std::uint8_t* data, std::size_t size) override {
        if (m_log.writeChunk < 0) {
            return -1;
        }
        const std::size_t n =
            std::min({size, static_cast<std::size_t>(m_log.writeChunk), m_log.room});
        m_log.room -= n;
        m_log.output.append(reinterpret_cast<const char*>(data), n);
        return static_cast<long>(n);
    }
    long outputQueued() override { return m_log.room == 0 ? 2048 : m_log.outputQueued; }

private:
    FakePortLog& m_log;
};

// A loop timer the test ticks by hand.
struct ManualTimerLog {
    bool active = false;
    bool periodic = false;
    unsigned interval = 0;
    int starts = 0;
    int stops = 0;
    std::function<void()> onTick;
};

class ManualPollTimer final : public LoopTimer {
public:
    explicit ManualPollTimer(ManualTimerLog& log) : m_log(log) {}
    void start(unsigned intervalMs, std::function<void()> onTimeout) override {
        startPeriodic(intervalMs, std::move(onTimeout));
        m_log.periodic = false;
    }
    void startPeriodic(unsigned intervalMs, std::function<void()> onTick) override {
        m_log.active = true;
        m_log.periodic = true;
        m_log.interval = intervalMs;
        m_log.onTick = std::move(onTick);
        ++m_log.starts;
    }
    void stop() override {
        if (m_log.active) {
            ++m_log.stops;
        }
        m_log.active = false;
    }
    bool isActive() const override { return m_log.active; }

private:
    ManualTimerLog& m_log;
};
