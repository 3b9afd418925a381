// Writes the demo capture (demo/meter-capture.bin): about 40 frames as the meter sends them,
// starting mid-frame as a port opened during a transmission would: a drifting DC voltage, a
// range change, resistance with an overload and an "open", temperature, capacitance, a manual
// range and a negative voltage. Usage: make_demo_capture OUT
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Frame {
    int function, sub, range;
    int value;  // the four display digits as a number
    int flags10, flags11, flags12;
};

constexpr int kAuto = 1;
constexpr int kManu = 8;
constexpr int kMinus = 4;
constexpr int kOverload = 1;
constexpr int kOpen = 1;

std::string bytesOf(const Frame& f) {
    const int nibbles[11] = {
        f.function,   f.sub, f.range,   f.value / 1000 % 10, f.value / 100 % 10, f.value / 10 % 10,
        f.value % 10, 0,     f.flags10, f.flags11,           f.flags12};
    std::string out(1, '\x0A');
    for (int n : nibbles) {
        out.push_back(static_cast<char>(0x30 | n));
    }
    out.push_back('\x0D');
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_capture OUT\n");
        return 2;
    }
    std::vector<Frame> frames;
    const int drift[] = {1234, 1236, 1239, 1241, 1240, 1243, 1247, 1250, 1252, 1251, 1255, 1258};
    for (int v : drift) {
        frames.push_back({0, 0, 0, v, 0, kAuto, 0});  // DC volts, "4 V"
    }
    for (int v : {1261, 1262, 1260, 1264}) {
        frames.push_back({0, 0, 1, v, 0, kAuto, 0});  // "40 V": 12.61 V
    }
    for (int v : {2200, 2198, 2203, 2201, 2199, 2202}) {
        frames.push_back({2, 0, 1, v, 0, kAuto, 0});  // "4k *": 2.200 kOhm
    }
    frames.push_back({2, 0, 1, 0, kOverload, kAuto, 0});
    for (int i = 0; i < 3; ++i) {
        frames.push_back({2, 0, 5, 0, 0, kAuto, kOpen});  // "40 M *", open circuit
    }
    for (int v : {235, 236, 236, 237, 238}) {
        frames.push_back({1, 1, 0, v, 0, 0, 0});  // 235 degrees C
    }
    for (int v : {470, 471, 470, 469}) {
        frames.push_back({2, 2, 1, v, 0, 0, 0});  // "100 nF": 47.0 nF
    }
    for (int v : {512, 513, 511}) {
        frames.push_back({0, 0, 1, v, 0, 0, kManu});  // manual range, 5.12 V
    }
    for (int v : {1187, 1190}) {
        frames.push_back({0, 0, 0, v, kMinus, kAuto, 0});  // -1.187 V
    }

    // The tail of a frame first: the port was opened during a transmission.
    std::string bytes("\x33\x34\x30\x30\x31\x30\x0D", 7);
    for (const Frame& f : frames) {
        bytes += bytesOf(f);
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !ok) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("%zu frames, %zu bytes written to %s\n", frames.size(), bytes.size(), argv[1]);
    return 0;
}
