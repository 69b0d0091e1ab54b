#!/usr/bin/env python3
"""idle_cpu.py: the CPU an editor at rest uses. Starts polyquill on the sample
mesh and on a 100,000-triangle mesh, waits until each has read its mesh and
drawn its views (its window is there and half a second passes without work),
lets it rest 5 seconds more, and prints the process's CPU time over the next
10 seconds as a share of one core. Needs a display and xdotool; prints figures, asserts nothing:

    xvfb-run -a -s "-screen 0 1024x768x24" bench/idle_cpu.py build-rel/polyquill

Standard library only.
"""
import os
import struct
import subprocess
import sys
import tempfile
import time

REST_S = 5.0
MEASURE_S = 10.0


def write_grid(path, triangles):
    """A square grid in the Front view, two triangles per cell, corners shared."""
    cells = int((triangles / 2) ** 0.5) + 1
    with open(path, "wb") as f:
        written = 0
        for row in range(cells):
            for col in range(cells):
                x0, x1 = -0.9 + 1.8 * col / cells, -0.9 + 1.8 * (col + 1) / cells
                y0, y1 = -0.9 + 1.8 * row / cells, -0.9 + 1.8 * (row + 1) / cells
                for corners in (((x0, y0), (x0, y1), (x1, y1)), ((x0, y0), (x1, y1), (x1, y0))):
                    if written == triangles:
                        return
                    for x, y in corners:
                        f.write(struct.pack("<5f", 0.0, 0.0, x, y, 0.0))
                    written += 1


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_for_window(name, timeout=120.0):
    end = time.time() + timeout
    while time.time() < end:
        found = subprocess.run(["xdotool", "search", "--name", name], capture_output=True, text=True).stdout
        if found.split():
            return
        time.sleep(0.2)
    raise SystemExit("no window named %r" % name)


def wait_until_quiet(pid, timeout=120.0):
    """Until half a second passes with under 5 % of a core used: start-up is over."""
    end = time.time() + timeout
    while time.time() < end:
        before = cpu_seconds(pid)
        time.sleep(0.5)
        if cpu_seconds(pid) - before < 0.025:
            return
    raise SystemExit("the editor never came to rest")


def idle_share(program, mesh, workdir):
    env = dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1", ASAN_OPTIONS="detect_leaks=0")
    with open(os.path.join(workdir, "polyquill.log"), "w") as log:
        process = subprocess.Popen([program, mesh], cwd=workdir, env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            wait_for_window("^Polyquill - Editor")
            wait_until_quiet(process.pid)
            time.sleep(REST_S)
            start_cpu, start = cpu_seconds(process.pid), time.monotonic()
            time.sleep(MEASURE_S)
            used, elapsed = cpu_seconds(process.pid) - start_cpu, time.monotonic() - start
        finally:
            process.kill()
            process.wait(timeout=10)
    return 100.0 * used / elapsed


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: idle_cpu.py PATH/TO/polyquill")
    program = os.path.abspath(sys.argv[1])
    sample = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples", "cube.pq")
    with tempfile.TemporaryDirectory() as workdir:
        large = os.path.join(workdir, "grid100k.pq")
        write_grid(large, 100000)
        for label, mesh in (("sample cube (12 triangles)", sample), ("grid (100,000 triangles)", large)):
            share = idle_share(program, os.path.abspath(mesh), workdir)
            print("%-28s %6.2f %% of a core at rest (CPU time over %.0f s after %.0f s of rest)" % (
                label, share, MEASURE_S, REST_S))


if __name__ == "__main__":
    main()
