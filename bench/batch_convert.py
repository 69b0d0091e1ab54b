#!/usr/bin/env python3
"""batch_convert.py: pqtool convert (and thumbnail) on many inputs at once, with -j 1 and -j 2, side by side.

Usage: batch_convert.py PQTOOL [--small N] [--large N] [--rounds R]
Writes, in a temporary folder, N small 3D-Studio ASCII files (a grid of 72 triangles each) and N large
ones (a grid of 180,000 triangles each, about 14 MB), then times `pqtool convert FILES --out-dir OUT -j J`
for each set and J = 1, 2, and `pqtool thumbnail` of the large set: the best of R rounds, wall time and the processor time of that round.
Every output is written with the safe-save rule, fsync included. Prints figures; asserts nothing.
"""
import argparse
import os
import resource
import subprocess
import tempfile
import time


def write_grid(path, side, shift):
    """A side x side grid of squares, two triangles each, in the layout 3D Studio exports."""
    lines = ["Ambient light color: Red=0.3 Green=0.3 Blue=0.3", "", 'Named object: "Grid"',
             f"Tri-mesh, Vertices: {(side + 1) ** 2}     Faces: {2 * side * side}", "Vertex list:"]
    for row in range(side + 1):
        for col in range(side + 1):
            lines.append(f"Vertex {row * (side + 1) + col}:  X: {col + shift:.6f}     Y: {row:.6f}     "
                         f"Z: {(row * col) % 7 * 0.25:.6f}")
    lines.append("Face list:")
    for row in range(side):
        for col in range(side):
            a = row * (side + 1) + col
            b, c, d = a + 1, a + side + 2, a + side + 1
            face = 2 * (row * side + col)
            lines.append(f"Face {face}:    A:{a} B:{b} C:{c} AB:1 BC:1 CA:0")
            lines.append(f"Face {face + 1}:    A:{a} B:{c} C:{d} AB:0 BC:1 CA:1")
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def best_time(command, rounds):
    """The shortest wall time of the rounds, and the processor time (user and system) of that round."""
    best = (float("inf"), 0.0)
    for _ in range(rounds):
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        now = resource.getrusage(resource.RUSAGE_CHILDREN)
        best = min(best, (wall, now.ru_utime + now.ru_stime - used.ru_utime - used.ru_stime))
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pqtool")
    parser.add_argument("--small", type=int, default=1000)
    parser.add_argument("--large", type=int, default=8)
    parser.add_argument("--rounds", type=int, default=3)
    options = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        sets = [("small", options.small, 6, 72), ("large", options.large, 300, 180000)]
        print(f"{'command, inputs x triangles':>30} | -j 1: wall, processor | -j 2: wall, processor | speed-up | files/s at -j 2")
        for name, count, side, triangles in sets:
            inputs = []
            for i in range(count):
                inputs.append(os.path.join(folder, f"{name}{i:04d}.asc"))
                write_grid(inputs[-1], side, i)
            # Thumbnails of the large set: the same pool on work that is all processor (drawing).
            for command in ["convert"] + (["thumbnail"] if name == "large" else []):
                times = [best_time([options.pqtool, command, *inputs, "--out-dir",
                                    os.path.join(folder, f"{command}{j}"), "-j", str(j)], options.rounds)
                         for j in (1, 2)]
                label = f"{command} {count} x {triangles:,}"
                print(f"{label:>30} | {times[0][0]:7.2f} s, {times[0][1]:7.2f} s  | {times[1][0]:7.2f} s, "
                      f"{times[1][1]:7.2f} s  | {times[0][0] / times[1][0]:7.2f}x | {count / times[1][0]:.1f}")


if __name__ == "__main__":
    main()
