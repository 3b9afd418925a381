// Runs Timer1's tick of the USB bridge link on a pseudo-terminal, for callgrind to count its
// instructions (scripts/callgrind-usb-tick.sh): `count_usb_ticks idle N` runs N ticks of a
// silent meter, `count_usb_ticks frames N` N frames of 13 ticks each.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/usb_link_fixture.h"

// Kept out of line so callgrind can collect exactly these calls.
__attribute__((noinline)) void runTicks(UsbXpressLink& link, int ticks) {
    for (int i = 0; i < ticks; ++i) {
        link.Timer1Timer();
    }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: count_usb_ticks idle|frames N\n");
        return 2;
    }
    const int n = std::atoi(argv[2]);
    UsbLinkFixture f;
    if (!f.ok()) {
        std::fprintf(stderr, "cannot open the bridge's pseudo-terminal\n");
        return 1;
    }
    if (std::strcmp(argv[1], "idle") == 0) {
        runTicks(*f.link, n);
    } else {
        for (int i = 0; i < n; ++i) {
            f.sendFrame();
            runTicks(*f.link, 13);
        }
    }
    return 0;
}
