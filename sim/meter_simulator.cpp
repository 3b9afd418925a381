#include "sim/meter_simulator.h"

#include <cmath>
#include <cstdlib>

namespace {

// The scenes of a session. The count is the display count; point and range follow the meter's
// range codes (function, sub-function, range code, frequency range code).
struct Scene {
    int function;
    int sub;
    int range;
    int freqRange;
    int lowCount;  // the reading wanders between these counts
    int highCount;
    int frames;
    enum Extra { None, Overload, Open, Negative } extra;
    bool autoRange;
};

constexpr Scene kScenes[] = {
    {0, 0, 0, 0, 0, 0, 60, Scene::None, true},         // DC volts, 4 V range: the drifting value
    {0, 0, 1, 0, 1150, 1290, 25, Scene::None, true},   // ranged up to 40 V: a 12 V battery
    {0, 0, 0, 0, 0, 0, 30, Scene::None, true},         // back to the drifting value
    {0, 0, 0, 0, 0, 0, 4, Scene::Overload, false},     // probe on something too high: OL
    {0, 0, 0, 0, 0, 0, 20, Scene::Negative, true},     // probes swapped
    {0, 1, 2, 0, 2280, 2320, 25, Scene::None, true},   // AC volts, 400 V range: the mains
    {2, 0, 1, 0, 990, 1010, 25, Scene::None, true},    // resistance, 4 kΩ: a 1 k resistor
    {2, 0, 1, 0, 0, 0, 8, Scene::Open, true},          // probes apart: "open"
    {1, 1, 0, 0, 21, 24, 20, Scene::None, false},      // temperature, °C
    {8, 0, 0, 1, 499, 501, 20, Scene::None, true},     // frequency, 400 Hz range: 50.0 Hz
    {2, 2, 1, 0, 468, 472, 20, Scene::None, true},     // capacitance, 100 nF: 47 nF
    {4, 0, 0, 0, 1220, 1250, 20, Scene::None, false},  // DC milliamps, 40 mA, manual range
};
constexpr std::size_t kSceneCount = sizeof kScenes / sizeof kScenes[0];

constexpr std::uint8_t nibbleByte(int v) {
    return static_cast<std::uint8_t>(0x30 | (v & 0x0F));
}

}  // namespace

MeterSimulator::MeterSimulator(std::uint32_t seed) : m_state(seed == 0 ? 0x9E3779B9u : seed) {
    startSegment();
}

std::uint32_t MeterSimulator::random() {
    // xorshift32: the same session on every platform for a given seed.
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

int MeterSimulator::randomBetween(int low, int high) {
    return low + static_cast<int>(random() % static_cast<std::uint32_t>(high - low + 1));
}

void MeterSimulator::startSegment() {
    const Scene& s = kScenes[m_segment];
    m_framesLeft = s.frames;
    if (s.highCount > 0) {
        m_count = randomBetween(s.lowCount, s.highCount);
        m_target = randomBetween(s.lowCount, s.highCount);
    }
}

MeterSimulator::Frame MeterSimulator::nextFrame() {
    if (m_framesLeft <= 0) {
        m_segment = (m_segment + 1) % kSceneCount;
        startSegment();
    }
    --m_framesLeft;
    const Scene& s = kScenes[m_segment];

    int count = 0;
    if (s.function == 0 && s.range == 0) {
        // The drifting DC voltage: a slow random walk of a few millivolts, kept in the 4 V range.
        m_dcMillivolts += randomBetween(-4, 4);
        if (m_dcMillivolts < 200) {
            m_dcMillivolts += 8;
        } else if (m_dcMillivolts > 3800) {
            m_dcMillivolts -= 8;
        }
        count = m_dcMillivolts;
    } else if (s.highCount > 0) {
        // Settle toward a target, then pick a new one: a reading that breathes a little.
        if (m_count == m_target) {
            m_target = randomBetween(s.lowCount, s.highCount);
        }
        m_count += (m_target > m_count) - (m_target < m_count);
        count = m_count;
    }

    int digits[4] = {count / 1000 % 10, count / 100 % 10, count / 10 % 10, count % 10};
    int flags10 = 0;
    int flags11 = s.autoRange ? 1 : 0;
    int flags12 = s.autoRange ? 0 : 8;
    switch (s.extra) {
        case Scene::Overload:
            flags10 |= 1;
            break;
        case Scene::Open:
            flags12 |= 1;
            break;
        case Scene::Negative:
            flags10 |= 4;
            break;
        case Scene::None:
            break;
    }

    Frame f{};
    f[0] = nibbleByte(s.function);
    f[1] = nibbleByte(s.sub);
    f[2] = nibbleByte(s.range);
    for (int i = 0; i < 4; ++i) {
        f[3 + i] = nibbleByte(digits[i]);
    }
    f[7] = nibbleByte(s.freqRange);
    f[8] = nibbleByte(flags10);
    f[9] = nibbleByte(flags11);
    f[10] = nibbleByte(flags12);
    f[11] = 0x0D;
    f[12] = 0x0A;
    return f;
}

std::string MeterSimulator::nibbles(const Frame& frame) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 11; ++i) {
        text.push_back(kHex[frame[i] & 0x0F]);
    }
    return text;
}

FramePacer::FramePacer(double rateHz, Clock::time_point start)
    : m_rateHz(rateHz > 0 ? rateHz : 1.0), m_start(start) {}

FramePacer::Clock::time_point FramePacer::nextDue() const {
    const double seconds = static_cast<double>(m_sent) / m_rateHz;
    return m_start +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::uint64_t FramePacer::due(Clock::time_point now) const {
    if (now < m_start) {
        return 0;
    }
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const auto total = static_cast<std::uint64_t>(std::floor(elapsed * m_rateHz)) + 1;
    return total > m_sent ? total - m_sent : 0;
}
