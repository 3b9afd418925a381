// The HID cable's reconnect in figures (scripts/measure-hid-reconnect.sh):
//   hid_reconnect_figures HALVERN [REPLUGS] [WAIT_SECONDS]
// 1. halvern log --hid on a prepared sysfs tree (no hot-plug notices: the retry once a second
//    finds the cable): the cable is pulled out and plugged in again REPLUGS times, each time at
//    a random moment of the retry's second; the latency is the time from the replug until the
//    logger holds the new node open again (the feature report's descriptor and the reader's).
// 2. The processor time the waiting logger uses in WAIT_SECONDS with the cable away
//    (/proc/PID/stat, utime + stime).
// 3. In this process, with hot-plug notices (the Linux backend over the same kind of tree, the
//    notice written by hand as udev would send it): the time from the notice of the replug until
//    the link reads the cable again.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "meter/clock.h"
#include "meter/frame_decoder.h"
#include "tests/support/fakes/pty_hid_cable.h"
#include "transport/hid/hid_link_binding.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/loop/event_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

// The program with its standard output to /dev/null and its standard error to errFile; its pid,
// or -1.
pid_t spawnQuiet(const std::vector<std::string>& args, const std::string& errFile) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        // Nothing of ours is inherited: the cable's descriptors the program holds are its own.
        ::close_range(3, ~0U, 0);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <typename Done>
bool waitUntil(Done done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

long long cpuTicks(pid_t pid) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (f == nullptr) {
        return -1;
    }
    char text[1024] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    // After the command's closing parenthesis: fields 3 onwards; utime and stime are 14 and 15.
    const char* p = std::strrchr(text, ')');
    if (p == nullptr || n == 0) {
        return -1;
    }
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2) {
        return -1;
    }
    return static_cast<long long>(utime + stime);
}

void printSpread(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s over %zu replugs: min %.0f ms, median %.0f ms, max %.0f ms\n", what, ms.size(),
                ms.front(), ms[ms.size() / 2], ms.back());
}

int logFigures(const std::string& halvern, int replugs, int waitSeconds) {
    fakehid::Tree tree;
    TempFolder dir;
    ::setenv("XDG_STATE_HOME", dir.path("state").c_str(), 1);
    auto cable = std::make_unique<PtyHidCable>(tree);
    const pid_t log = spawnQuiet({halvern, "log", "--hid", "--sysfs-root", tree.sysfs(),
                                  "--dev-root", tree.dev(), "--save", dir.path("log.txt")},
                                 dir.path("log.err"));
    const auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "%s; the logger said:\n%s", what.c_str(),
                     TempFolder::read(dir.path("log.err")).c_str());
        ::kill(log, SIGTERM);
        ::waitpid(log, nullptr, 0);
        return 1;
    };
    if (!waitUntil([&] { return cable->opensBy(log) >= 2; }, std::chrono::seconds(5))) {
        return fail("the logger did not open the cable");
    }
    std::mt19937 random(20);
    std::uniform_int_distribution<int> phase(0, 999);
    std::vector<double> latencies;
    for (int i = 0; i < replugs; ++i) {
        cable->unplug();
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + phase(random)));
        const auto replugged = Clock::now();
        cable = std::make_unique<PtyHidCable>(tree);
        if (!waitUntil([&] { return cable->opensBy(log) >= 2; }, std::chrono::seconds(5))) {
            return fail("replug " + std::to_string(i + 1) +
                        ": the logger did not open the cable again");
        }
        latencies.push_back(msSince(replugged));
    }
    printSpread("halvern log --hid, retry once a second: replug to reading", latencies);

    cable->unplug();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long long before = cpuTicks(log);
    std::this_thread::sleep_for(std::chrono::seconds(waitSeconds));
    const long long after = cpuTicks(log);
    const double seconds =
        static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf(
        "halvern log --hid waiting for the cable: %.3f s of processor time in %d s = %.2f "
        "%% of one core\n",
        seconds, waitSeconds, 100.0 * seconds / waitSeconds);
    ::kill(log, SIGTERM);
    ::waitpid(log, nullptr, 0);
    return before < 0 || after < 0 ? 1 : 0;
}

int hotPlugFigures(int replugs) {
    fakehid::Tree tree;
    std::string cable = tree.plug(fakehid::usbDevice("1-2"));
    fakehid::Backend backend(tree);
    backend.setHotplug(true);
    const auto loop = createHeadlessEventLoop();
    ReadingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, ".");
    TJvHidDeviceController controller(backend, *loop);
    HidCableBinding binding(controller, decoder);
    binding.setReconnect(true, loop->createTimer());
    binding.bind();
    HidCableLink& link = binding.link();
    link.USBConClick(true);
    const auto pumpUntil = [&](auto done) {
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (!done() && Clock::now() < end) {
            loop->runOnce(1);
        }
        return done();
    };
    std::vector<double> latencies;
    for (int i = 0; i < replugs; ++i) {
        backend.hangUp(tree.node(cable));
        tree.unplug(cable);
        backend.notify();
        if (!pumpUntil([&] { return link.waiting() && link.entries().empty(); })) {
            std::fprintf(stderr, "hot-plug replug %d: the removal was not seen\n", i + 1);
            return 1;
        }
        cable = tree.plug(fakehid::usbDevice("1-2"));
        const auto replugged = Clock::now();
        backend.notify();
        if (!pumpUntil([&] { return !link.waiting(); })) {
            std::fprintf(stderr, "hot-plug replug %d: the cable was not read again\n", i + 1);
            return 1;
        }
        latencies.push_back(msSince(replugged));
    }
    printSpread("hot-plug notices (in process): notice to reading", latencies);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: hid_reconnect_figures HALVERN [REPLUGS] [WAIT_SECONDS]\n");
        return 2;
    }
    const int replugs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int waitSeconds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
    if (const int status = logFigures(argv[1], replugs, waitSeconds); status != 0) {
        return status;
    }
    return hotPlugFigures(replugs);
}
