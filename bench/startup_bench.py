#!/usr/bin/python3
"""Start-up to the first shown window: Emlo against an empty Qt window.

Starts each program RUNS times (alternating), on the program folder given
(default build/bin, the full reference tables), and prints the median time
from the start of the process to its first painted window, the spread, and
the ratio of the medians. Needs an X display (DISPLAY) or the offscreen
platform (QT_QPA_PLATFORM=offscreen). A benchmark, not a test: run it on a
quiet machine.

EMLO_STARTUP_BASE=<startup-emlo of an earlier build> starts that one in the
same rounds too ("base"), so a change is measured before and after in one run.

Usage: bench/startup_bench.py [build-dir] [runs]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time
import shutil

build = sys.argv[1] if len(sys.argv) > 1 else "build"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 21
emlo = os.path.join(build, "dev", "startup-emlo")
empty = os.path.join(build, "dev", "startup-empty")
base = os.environ.get("EMLO_STARTUP_BASE")

# A scratch program folder with the build's reference tables and a working
# folder, so that the build's own settings file is not touched.
scratch = tempfile.mkdtemp(prefix="emlo-startup-")
program = os.path.join(scratch, "program")
work = os.path.join(scratch, "work")
os.makedirs(program)
os.makedirs(work)
bindir = os.path.join(build, "bin")
for name in os.listdir(bindir):
    if name.upper().endswith((".DBF", ".IDX", ".HLP")) or name == "libsde50.so":
        shutil.copy(os.path.join(bindir, name), program)
with open(os.path.join(program, "emlo.ini"), "wb") as f:
    f.write(b"[General]\r\nPath=" + work.encode() + b"/\r\n")
sample = os.path.join(build, "dev", "emlo-sample-work")
if os.path.exists(sample):
    subprocess.run([sample, program, work], check=True, stdout=subprocess.DEVNULL)


def once(command):
    start = time.monotonic_ns()
    out = subprocess.run(command, check=True, capture_output=True).stdout
    return (int(out.split()[0]) - start) / 1e6


try:
    commands = {"emlo": [emlo, program], "empty": [empty]}
    if base:
        commands["base"] = [base, program]
    for command in commands.values():
        once(command)  # warm the file cache once
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            times[name].append(once(command))
finally:
    shutil.rmtree(scratch)

for name, values in times.items():
    values.sort()
    quarter = len(values) // 4
    print("%-6s median %7.1f ms   quartiles %7.1f %7.1f   min %7.1f   max %7.1f   (%d starts)"
          % (name, statistics.median(values), values[quarter], values[-1 - quarter], values[0], values[-1],
             len(values)))
for name in [n for n in ("base", "emlo") if n in times]:
    ratio = statistics.median(times[name]) / statistics.median(times["empty"])
    print("ratio  %-5s %.2f (target: at most 1.5)" % (name, ratio))
