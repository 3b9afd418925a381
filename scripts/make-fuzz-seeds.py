#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/seeds/<target>/.

Serial targets: byte 0 = number of chunk sizes - 1, then the sizes, then the byte stream.
Report target: each report is a length byte (bit 7 set: for PelmarkReportData) and that many
bytes, the report ID first.
"""
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "seeds")


def meter_frame(nibbles):
    """A line feed, one byte 0x30|nibble per hex digit, a carriage return."""
    return bytes([0x0A] + [0x30 | int(c, 16) for c in nibbles] + [0x0D])


def serial(sizes, stream):
    return bytes([len(sizes) - 1] + list(sizes)) + stream


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def reports(*payloads, pelmark=False):
    out = b""
    for p in payloads:
        out += bytes([len(p) | (0x80 if pelmark else 0)]) + bytes(p)
    return out


def main():
    good = meter_frame("00012340010") + meter_frame("20112340010") + meter_frame("22005000000")
    write("quiller_data", "frames", serial([13], good))
    write("quiller_data", "split", serial([5, 7, 54], good * 2))
    write("quiller_data", "overload_open", serial([54], meter_frame("00112340500") +
                                                   meter_frame("00012340101")))
    write("quiller_data", "failing_frame", serial([13], meter_frame("B0012340010") +
                                                   meter_frame("000A2340010")))
    write("quiller_data", "long_run", serial([30], b"\x0A" + b"\x35" * 40 + b"\x0D" + good))
    write("quiller_data", "mid_frame", serial([4], b"\x32\x33\x0D" + good))

    write("pelmark_data", "frames", serial([15], meter_frame("0123456789AB") * 3))
    write("pelmark_data", "short", serial([3, 9], meter_frame("0123456789A") +
                                          meter_frame("0123456789AB")))

    write("tarrow_data", "frames", serial([12], meter_frame("123456789") * 3))
    write("tarrow_data", "short", serial([2, 40], meter_frame("12345678") +
                                         meter_frame("123456789")))

    usb = lambda data: data.encode("latin-1") + b"\r\n"
    write("usb_frame_assembly", "frames", usb("00012340010") + usb("0123456789<") +
          usb("01234567<90") + usb("0:012340010"))
    write("usb_frame_assembly", "mid_frame", b"0010\r\n0001234" + usb("00012340010") +
          b"012345678901234" + usb("00043210010"))
    write("usb_frame_assembly", "zero_byte", b"0001\x00340010\r\n" + usb("00012340010"))

    ordered = [0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE]
    write("hid_report_collector", "pelmark_frame",
          reports([0, 7] + ordered[:7], [0, 7] + ordered[7:], [0, 0, 0], pelmark=True))
    serial_frame = list(meter_frame("00012340010")[1:]) + [0x0A]
    write("hid_report_collector", "hid_frame",
          reports([0, 4] + serial_frame[:4], [0, 4] + serial_frame[4:8],
                  [0, 4] + serial_frame[8:12], [0, 1] + serial_frame[12:], [0, 0], []))
    write("hid_report_collector", "odd_counts",
          reports([0, 0x0C, 1, 2], [0, 9, 0x31], [0, 3, 0x32, 0x33, 0x34, 0x35], []))


if __name__ == "__main__":
    main()
