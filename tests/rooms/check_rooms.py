#!/usr/bin/env python3
"""Checks the include rules between the rooms of the program.

Reads allowed_includes.txt beside this file and every source of the rooms it names, and fails
on an include of a room the graph does not allow, a Qt header outside a ui/ folder, or a device
header of the system outside a posix/ folder. Usage: check_rooms.py SOURCE_ROOT
"""
import pathlib
import re
import sys

DEVICE_HEADERS = re.compile(
    r"^(termios\.h|sys/ioctl\.h|linux/.*|pty\.h|libudev\.h|dlfcn\.h|sys/signalfd\.h|"
    r"sys/sysmacros\.h)$")
QT_HEADER = re.compile(r"^Q[A-Za-z]*$|^Qt[A-Za-z]*/")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def load_graph(path):
    graph = {}
    for line in path.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        room, _, deps = line.partition(":")
        graph[room.strip()] = set(deps.split())
    return graph


def closure(graph):
    allowed = {}
    for room in graph:
        seen, todo = set(), list(graph[room])
        while todo:
            r = todo.pop()
            if r in seen:
                continue
            seen.add(r)
            todo.extend(graph.get(r, ()))
        allowed[room] = seen
    return allowed


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    graph = load_graph(pathlib.Path(__file__).with_name("allowed_includes.txt"))
    unknown = sorted({d for deps in graph.values() for d in deps} - graph.keys())
    if unknown:
        print("allowed_includes.txt names rooms it does not define:", ", ".join(unknown))
        return 1
    allowed = closure(graph)
    problems = []
    rooms_seen = set()
    for room in graph:
        folder = root / room
        for src in sorted(list(folder.glob("*.cpp")) + list(folder.glob("*.h"))):
            rooms_seen.add(room)
            rel = src.relative_to(root)
            for number, line in enumerate(src.read_text(errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                kind, name = m.groups()
                where = f"{rel}:{number}: #include {kind}{name}{'>' if kind == '<' else kind}"
                if kind == "<":
                    if QT_HEADER.match(name) and not (room.endswith("/ui") or room == "ui"):
                        problems.append(f"{where}: Qt outside a ui/ folder")
                    if DEVICE_HEADERS.match(name) and not room.endswith("/posix"):
                        problems.append(f"{where}: a device header outside a posix/ folder")
                    continue
                target = str(pathlib.PurePosixPath(name).parent)
                if target == room:
                    continue
                if target not in graph:
                    if (root / name).exists():
                        problems.append(f"{where}: '{target}' is not a room of the graph")
                    continue
                if target not in allowed[room]:
                    problems.append(f"{where}: {room} may not include {target}")
    # A folder of sources that the graph does not know is a room nobody checks.
    for folder in ["app", "meter", "lcd", "transport", "sim", "session", "recording", "display"]:
        for sub in [root / folder] + [p for p in (root / folder).rglob("*") if p.is_dir()]:
            rel = str(sub.relative_to(root))
            if (any(sub.glob("*.cpp")) or any(sub.glob("*.h"))) and rel not in graph:
                problems.append(f"{rel}: a folder of sources missing from allowed_includes.txt")
    for p in problems:
        print(p)
    print(f"{len(rooms_seen)} rooms checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
