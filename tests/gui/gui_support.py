"""gui_support.py: what the GUI test scripts share: starting the real polyquill,
finding its windows, xdotool clicks on the toolbar and in file dialogs,
screenshots as pixels, and writing the files it reads. Standard library only;
every wait is bounded.
"""
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# The toolbar from left to right: buttons are 20 pixels wide, separators 6.
TOOLBAR = ["new", "open", "save", "|", "saveas", "|", "deletevertex", "createvertex", "movevertex",
           "selectvertex", "scale", "rotate", "|", "createtriangle", "|", "zoomin", "zoomout", "|",
           "triangleup", "triangledown", "trianglelist", "deletetriangle", "flip", "settexcoords",
           "choosetexture", "autotexcoords", "|", "about"]


class Failure(Exception):
    pass


def run(args, timeout=10):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout).stdout


def find_window(name, timeout=30.0, visible=False):
    end = time.time() + timeout
    while time.time() < end:
        ids = run(["xdotool", "search"] + (["--onlyvisible"] if visible else []) + ["--name", name]).split()
        if ids:
            return ids[0]
        time.sleep(0.2)
    raise Failure("no window named %r" % name)


def geometry(window):
    """Absolute position and size; xwininfo, because xdotool misplaces child windows."""
    values = {}
    for line in run(["xwininfo", "-id", window]).splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


class Shot:
    """A screenshot of the whole screen as RGB rows (or, with capture False,
    the picture already in the file)."""

    def __init__(self, path, capture=True):
        if capture:
            subprocess.run(["import", "-window", "root", path], check=True, timeout=30)
        data = subprocess.run(["convert", path, "ppm:-"], capture_output=True, check=True, timeout=30).stdout
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]
        self.path = path

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, x0, y0, x1, y1, test):
        return sum(1 for y in range(y0, y1) for x in range(x0, x1) if test(self.at(x, y)))

    def find_first(self, x0, y0, x1, y1, colour):
        """Leftmost column (then topmost row) of a colour in the rectangle."""
        for x in range(x0, x1):
            for y in range(y0, y1):
                if self.at(x, y) == colour:
                    return x, y
        return None


def red(colour):
    return colour[0] > 180 and colour[1] < 80 and colour[2] < 80


def expect(condition, message):
    if not condition:
        raise Failure(message)


def write_pq(path, triangles):
    """The native file: per triangle three corners of U V X Y Z, little-endian floats."""
    with open(path, "wb") as f:
        for triangle in triangles:
            for u, v, x, y, z in triangle:
                f.write(struct.pack("<5f", u, v, x, y, z))


def write_png(path, width, height, pixel):
    """An 8-bit RGB PNG; pixel(x, y) gives the colour."""
    rows = b"".join(b"\x00" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Editor:
    """The running program with its main window and four view windows found."""

    def __init__(self, program, arguments, workdir):
        env = dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1", ASAN_OPTIONS="detect_leaks=0")
        self.log = open(os.path.join(workdir, "polyquill.log"), "w")
        self.process = subprocess.Popen([program] + arguments, cwd=workdir, env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        try:
            # A sanitizer build on a loaded machine can take long to show its window.
            self.main = find_window("^Polyquill - Editor v. 1.1$", timeout=60.0)
        except Failure as error:
            status = self.process.poll()
            with open(self.log.name, errors="replace") as f:
                output = f.read()[-2000:]
            raise Failure("%s (the editor %s; its output: %r)" % (
                error, "is still running" if status is None else "ended with %d" % status, output))
        self.views = {name: find_window("^%s$" % name) for name in ("Front", "Side", "Top", "3D")}
        time.sleep(1.5)  # several redraws

    def view_origin(self, name):
        x, y, _, _ = geometry(self.views[name])
        return x, y

    def click(self, x, y, button=1):
        run(["xdotool", "mousemove", str(x), str(y)])
        time.sleep(0.2)
        run(["xdotool", "click", str(button)])
        time.sleep(0.8)

    def button_position(self, name):
        """The middle of a toolbar button, by the toolbar's fixed layout above the Front view."""
        _, fy = self.view_origin("Front")
        mx, _, _, _ = geometry(self.main)
        x = mx
        for entry in TOOLBAR:
            if entry == name:
                return x + 10, fy - 25 + 11
            x += 6 if entry == "|" else 20
        raise Failure("no toolbar button %r" % name)

    def button(self, name):
        self.click(*self.button_position(name))

    def answer_file_dialog(self, path, title="^(Open|Save As)$"):
        """Types a whole path into the file dialog of that title and confirms it."""
        dialog = find_window(title, 15.0)
        time.sleep(0.8)
        run(["xdotool", "key", "ctrl+a"])
        run(["xdotool", "type", "--delay", "20", path])
        time.sleep(0.3)
        run(["xdotool", "key", "Return"])
        time.sleep(1.0)
        return dialog

    def wait_exit(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        self.log.close()


def run_case(cases, failure_prefix=""):
    """Runs the case named on the command line (PROGRAM SEND_CLOSE CASE SHOT_DIR
    [EXTRA...]) in a fresh working folder; the exit status of the script."""
    program, send_close, case, shots = sys.argv[1:5]
    extra = sys.argv[5:]
    os.makedirs(shots, exist_ok=True)
    with tempfile.TemporaryDirectory() as workdir:
        try:
            cases[case](program, send_close, workdir, shots, *extra)
        except (Failure, subprocess.TimeoutExpired, OSError) as error:
            try:
                Shot(os.path.join(shots, failure_prefix + case + "-failure.png"))
            except (subprocess.SubprocessError, OSError):
                pass
            print("FAILED %s: %s (screenshots in %s)" % (case, error, shots))
            return 1
    print("passed", case)
    return 0
