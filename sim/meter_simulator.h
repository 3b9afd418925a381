#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

// A simulated meter: the frames of a realistic session, endlessly. Mostly a slowly drifting DC
// voltage that now and then changes range, goes negative or overloads, and visits of the
// other functions (AC volts, resistance with the "open" display, temperature, frequency,
// capacitance, milliamps). Deterministic for a given seed.
class MeterSimulator {
public:
    using Frame = std::array<std::uint8_t, 13>;  // 11 data bytes, CR, LF

    explicit MeterSimulator(std::uint32_t seed = 1);

    // The next frame the meter sends. Never fails.
    Frame nextFrame();

    // The 11 data nibbles of a frame as upper-case hexadecimal ("00012340010").
    static std::string nibbles(const Frame& frame);

private:
    struct Segment;
    std::uint32_t random();
    int randomBetween(int low, int high);  // inclusive
    void startSegment();

    std::uint32_t m_state;
    std::size_t m_segment = 0;
    int m_framesLeft = 0;
    int m_count = 0;  // display count of the present reading, signed
    int m_target = 0;
    int m_dcMillivolts = 1234;  // where the DC voltage has drifted to, kept between visits
};

// The meter's pace: when each frame is due at a given rate, from a start time. The caller
// supplies the time, so tests need no sleeping.
class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // rateHz must be > 0.
    FramePacer(double rateHz, Clock::time_point start);
    // When the next frame is due.
    Clock::time_point nextDue() const;
    // Counts one frame as sent.
    void sent() { ++m_sent; }
    // Frames due by `now` and not yet sent (a caller that fell behind sends them at once).
    std::uint64_t due(Clock::time_point now) const;

private:
    double m_rateHz;
    Clock::time_point m_start;
    std::uint64_t m_sent = 0;
};
