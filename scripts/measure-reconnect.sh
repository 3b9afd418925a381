#!/usr/bin/env bash
# Measures what a reconnect costs halvern log, for the serial link (--port, a symlink to a
# pseudo-terminal) and the USB bridge (--usb-bridge on a sysfs tree laid out as on a machine with
# the bridge, its node a symlink to a pseudo-terminal):
#   - the processor time (/proc/<pid>/stat, utime + stime) while it waits SECONDS (default 10)
#     for the device that went away;
#   - the latency of each of REPEATS (default 5) replugs: from the moment the node leads to the
#     new device to the first row after it in the file (rows are written as they are recorded).
#     The meter sends a frame every 20 ms meanwhile, so the figure is the link's and not the
#     meter's pace. Unplugs are spread over the retry's second, so the figures cover its phase.
# Usage: scripts/measure-reconnect.sh [BUILD] [SECONDS] [REPEATS]
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
repeats=${3:-5}
exec python3 - "$build/halvern" "$seconds" "$repeats" <<'PY'
import os, random, signal, statistics, subprocess, sys, tempfile, time, tty

binary, seconds, repeats = sys.argv[1], float(sys.argv[2]), int(sys.argv[3])
tmp = tempfile.mkdtemp(prefix="halvern-reconnect-")
tick = os.sysconf("SC_CLK_TCK")
FRAME = b"00012340010\r\n"  # the meter's bytes, the same stream for both links


class Cable:
    """A pseudo-terminal standing in for the device: the program opens the device side."""

    def __init__(self):
        self.master, self.keeper = os.openpty()
        tty.setraw(self.keeper)  # raw, as the meter's line; kept open so nothing is lost
        os.set_blocking(self.master, False)
        self.path = os.ttyname(self.keeper)

    def send(self):
        try:
            os.write(self.master, FRAME)
        except BlockingIOError:
            pass

    def unplug(self):
        os.close(self.master)
        os.close(self.keeper)


def point(link, target):
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(target, link)


def usb_tree(root):
    """sysfs and /dev with one bridge 10C4:EA61 (serial 0001) as ttyUSB0 on USB device 1-2."""
    sys_root, dev = os.path.join(root, "sys"), os.path.join(root, "dev")
    rel = "devices/pci0000:00/0000:00:14.0/usb1/1-2"
    device = os.path.join(sys_root, rel)
    tty_dir = os.path.join(device, "1-2:1.0/ttyUSB0/tty/ttyUSB0")
    os.makedirs(tty_dir)
    os.makedirs(os.path.join(sys_root, "class/tty"))
    os.makedirs(dev)
    for name, text in (("idVendor", "10c4"), ("idProduct", "ea61"), ("serial", "0001")):
        with open(os.path.join(device, name), "w") as f:
            f.write(text + "\n")
    with open(os.path.join(tty_dir, "dev"), "w") as f:
        f.write("188:0\n")
    os.symlink("../../" + rel + "/1-2:1.0/ttyUSB0/tty/ttyUSB0",
               os.path.join(sys_root, "class/tty/ttyUSB0"))
    return sys_root, dev, os.path.join(dev, "ttyUSB0")


def rows(path):
    try:
        with open(path, "rb") as f:
            return max(f.read().count(b"\n") - 1, 0)
    except FileNotFoundError:
        return 0


def cpu(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def waits(err):
    with open(err, "rb") as f:
        return f.read().count(b"waiting for")


def until(condition, timeout, feed=None, every=0.02):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        if feed:
            feed()
        time.sleep(every)
    return condition()


def measure(name):
    root = os.path.join(tmp, name)
    os.makedirs(root)
    out, err = os.path.join(root, "rows.txt"), os.path.join(root, "stderr.txt")
    cable = Cable()
    if name == "serial":
        node = os.path.join(root, "ttyMeter")
        args = [binary, "log", "--port", node, "--save", out]
    else:
        sys_root, dev, node = usb_tree(root)
        args = [binary, "log", "--usb-bridge", "--sysfs-root", sys_root, "--dev-root", dev,
                "--save", out]
    point(node, cable.path)
    with open(err, "wb") as e:
        log = subprocess.Popen(args, stderr=e)
    latencies = []
    waiting_cpu = None
    try:
        if not until(lambda: rows(out) >= 3, 10, cable.send):
            sys.exit(f"{name}: no rows before the unplug; see {err}")
        for r in range(repeats):
            cable.unplug()
            if not until(lambda: waits(err) > r, 5):
                sys.exit(f"{name}: the log did not start waiting; see {err}")
            if r == 0:
                time.sleep(0.5)
                start = cpu(log.pid)
                time.sleep(seconds)
                waiting_cpu = (cpu(log.pid) - start) / tick
            time.sleep(random.uniform(0.0, 1.0))  # a replug at any moment of the retry's second
            cable = Cable()
            before = rows(out)
            point(node, cable.path)
            plugged = time.monotonic()
            if not until(lambda: rows(out) > before, 5, cable.send):
                sys.exit(f"{name}: no row within 5 s of the replug; see {err}")
            latencies.append(time.monotonic() - plugged)
    finally:
        log.send_signal(signal.SIGTERM)
        log.wait(10)
    print(f"{name:10s} processor time while waiting: {waiting_cpu:.3f} s in {seconds:g} s "
          f"= {100 * waiting_cpu / seconds:.2f} % of one core")
    print(f"{name:10s} replug to first row, {len(latencies)} replugs: "
          f"min {min(latencies) * 1000:.0f} ms, median {statistics.median(latencies) * 1000:.0f} ms, "
          f"max {max(latencies) * 1000:.0f} ms")


try:
    measure("serial")
    measure("usb-bridge")
finally:
    subprocess.run(["rm", "-rf", tmp])
PY
