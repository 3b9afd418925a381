#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/cli/cli_args.h"
#include "app/cli/commands.h"
#include "sim/meter_simulator.h"
#include "sim/pseudo_terminal.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void onStopSignal(int) {
    g_stop = 1;
}

void printHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: halvern simulate [--pty] [--rate HZ] [--frames N]\n"
                 "A simulated meter: writes the frames of a meter session (11 data bytes, CR, LF)\n"
                 "at the meter's pace to standard output, or with --pty to a new pseudo-terminal\n"
                 "whose device path is printed on the first line (open it as the serial port).\n"
                 "  --rate HZ    frames per second, 0.1 to 1000 (default 5; the serial line\n"
                 "               carries at most about 82)\n"
                 "  --frames N   stop after N frames (default: until interrupted)\n");
}

bool writeAllFd(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            if (g_stop) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int runSimulateCommand(int argc, char** argv) {
    bool usePty = false;
    double rate = 5.0;
    long long frames = -1;
    std::uint32_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp(stdout);
            return 0;
        } else if (arg == "--pty") {
            usePty = true;
        } else if (arg == "--rate" && i + 1 < argc) {
            if (!parseNumber(argv[++i], rate) || !(rate >= 0.1 && rate <= 1000)) {
                std::fprintf(stderr,
                             "halvern simulate: --rate must be a number from 0.1 to 1000\n");
                return 2;
            }
        } else if (arg == "--frames" && i + 1 < argc) {
            if (!parseCount(argv[++i], frames)) {
                std::fprintf(stderr, "halvern simulate: --frames must be a whole number >= 0\n");
                return 2;
            }
        } else if (arg == "--seed" && i + 1 < argc) {
            long long s = 0;
            if (!parseCount(argv[++i], s)) {
                std::fprintf(stderr, "halvern simulate: --seed must be a whole number >= 0\n");
                return 2;
            }
            seed = static_cast<std::uint32_t>(s);
        } else {
            std::fprintf(stderr, "halvern simulate: unknown argument '%s'\n", arg.c_str());
            printHelp(stderr);
            return 2;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a closed reader ends the run through EPIPE

    PseudoTerminal* pty = nullptr;
    PseudoTerminal terminal;
    if (usePty) {
        if (!terminal.isOpen()) {
            std::fprintf(stderr, "halvern simulate: cannot create a pseudo-terminal: %s\n",
                         std::strerror(errno));
            return 1;
        }
        pty = &terminal;
        std::printf("%s\n", terminal.devicePath().c_str());
        std::fflush(stdout);
    }

    MeterSimulator meter(seed);
    FramePacer pacer(rate, FramePacer::Clock::now());
    long long written = 0;
    while (!g_stop && (frames < 0 || written < frames)) {
        std::this_thread::sleep_until(pacer.nextDue());
        if (g_stop) {
            break;
        }
        const MeterSimulator::Frame f = meter.nextFrame();
        if (pty) {
            // Nobody reading: the meter's bytes are lost, as on a cable plugged into nothing.
            if (pty->write(std::string_view(reinterpret_cast<const char*>(f.data()), f.size())) <
                0) {
                break;
            }
        } else if (!writeAllFd(STDOUT_FILENO, f.data(), f.size())) {
            break;  // the reader went away
        }
        pacer.sent();
        ++written;
    }
    if (pty && frames >= 0) {
        // Let a reader take the last frames before the terminal goes away.
        pollfd p{pty->masterFd(), POLLOUT, 0};
        ::poll(&p, 1, 200);
    }
    return 0;
}
