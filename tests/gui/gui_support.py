"""gui_support.py: an X server (weston in it), the real polyquill run from a private copy, xdotool input, screenshots
as pixels, the files it reads. Every wait polls for the state it needs, with a generous bound."""
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

# The toolbar from left to right: buttons are 20 pixels wide, separators 6.
TOOLBAR = ("new open save | saveas | deletevertex createvertex movevertex selectvertex scale rotate | createtriangle | "
           "zoomin zoomout | triangleup triangledown trianglelist deletetriangle flip settexcoords choosetexture").split()
VIEW_W, VIEW_H = 248, 198  # the Front view at start: x and y from -1 to 1
MAIN_TITLE = r"^Polyquill - Editor v\. 1\.1( - .+)?( \*)?$"
VIEWS = ("Front", "Side", "Top", "3D")
DISPLAY_SIZE = (1120, 1080)  # weston's window; the X server is a little larger
WESTON = {}  # the environment of weston's clients, when the journey runs under weston


class Failure(Exception):
    """A check that did not hold."""


def expect(condition, message):
    if not condition:
        raise Failure(message)


def xdo(*words):
    return subprocess.run(["xdotool"] + [str(w) for w in words], capture_output=True, text=True,
                          timeout=30).stdout


def wait_for(what, test, timeout=45.0):
    """Polls test() until it gives something true; a sanitizer build on a loaded machine is slow."""
    end = time.time() + timeout
    while not (value := test()) and time.time() < end:
        time.sleep(0.1)
    expect(value, "timed out waiting for " + what)
    return value


def windows(name):
    # Names match without regard to case, and Qt keeps a hidden window named "polyquill".
    return xdo("search", "--onlyvisible", "--name", name).split()


def geometry(window):
    """Absolute position and size (zeros once gone); xwininfo, as xdotool misplaces child windows."""
    info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, timeout=30).stdout
    values = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
    return tuple(int(values.get(k, 0)) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))


def screenshot_file():
    """weston's screen now, a PNG in a folder of its own (weston-screenshooter names it by the second)."""
    folder = tempfile.mkdtemp(dir=WESTON["PQ_SHOTS"])
    subprocess.run(["weston-screenshooter"], cwd=folder, env=WESTON, check=True, timeout=30, capture_output=True)
    return os.path.join(folder, os.listdir(folder)[0])


class Shot:
    """RGB pixels of the screen now, or of a picture file; any alpha (weston's picture has it) is dropped."""

    def __init__(self, path=None):
        path = screenshot_file() if path is None and WESTON else path
        command = ["import", "-window", "root"] if path is None else ["convert", path, "-alpha", "off"]
        data = subprocess.run(command + ["-depth", "8", "ppm:-"], capture_output=True, check=True, timeout=30).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
        self.width, self.height, self.pixels = int(header[1]), int(header[2]), data[header.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def region(self, x, y, w, h):
        return [self.at(x + dx, y + dy) for dy in range(h) for dx in range(w)]

    def views(self):
        """The four views' top-left corners, from each label's dark blue corner left and up over black; or False."""
        found, black = set(), (0, 0, 0)
        for match in re.finditer(rb"\x00\x00[\x64-\xff]", self.pixels):
            x, y = match.start() // 3 % self.width, match.start() // 3 // self.width
            if match.start() % 3 == 0 and self.at(x - 1, y) == self.at(x, y - 1) == black:
                found.add((next(left for left in range(x - 1, 0, -1) if self.at(left - 1, y) != black),
                           next(top for top in range(y - 1, 0, -1) if self.at(x, top - 1) != black)))
        return len(found) == 4 and dict(zip(VIEWS, sorted(found, key=lambda p: (p[1] // 20, p[0]))))


def poll_screen(what, check, timeout=45.0):
    """Screenshots until check(shot) gives no complaint; the last complaint fails."""
    end = time.time() + timeout
    while (complaint := check(Shot())) is not None:
        expect(time.time() < end, "%s: %s" % (what, complaint))
        time.sleep(0.1)


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def pq_bytes(triangles):
    """The native file: per triangle three corners of U V X Y Z, little-endian floats."""
    return b"".join(struct.pack("<5f", *corner) for triangle in triangles for corner in triangle)


def write(path, data):
    pathlib.Path(path).write_bytes(data)


def read(path):
    return pathlib.Path(path).read_bytes()


def read_pq(path):
    data = read(path)
    values = struct.unpack("<%df" % (len(data) // 4), data)
    return [[values[t + k:t + k + 5] for k in (0, 5, 10)] for t in range(0, len(values), 15)]


def write_picture(path, width, height, pixel):
    """A 24-bit picture, BMP or a PNG of no extra chunks by the name's extension; pixel(x, y) gives the colour."""
    ppm = b"P6 %d %d 255\n" % (width, height) + bytes(c for y in range(height) for x in range(width) for c in pixel(x, y))
    kind = "BMP3:" if path.endswith(".bmp") else "PNG24:"
    subprocess.run(["convert", "ppm:-", "-type", "TrueColor", "-define", "png:exclude-chunk=all", kind + path],
                   input=ppm, check=True, timeout=30)


def private_copy(program, folder):
    """The program, its helpers and Images linked into a folder of its own."""
    beside = os.path.dirname(os.path.abspath(program))
    os.makedirs(folder)
    for name in os.listdir(beside):
        if name == os.path.basename(program) or name.startswith("pq_") and name.endswith("_helper"):
            os.link(os.path.join(beside, name), os.path.join(folder, name))  # the same file system
    shutil.copytree(os.path.join(beside, "Images"), os.path.join(folder, "Images"))
    return os.path.join(folder, os.path.basename(program))


def answer(title, text=None, key="Return"):
    """Types any text into the dialog or message box of that title and gives the key."""
    dialog = wait_for("the window " + title, lambda: windows(title), 90)[0]
    wait_for(title + " to have the keyboard", lambda: xdo("getwindowfocus").strip() == dialog)
    if text is not None:
        xdo("key", "ctrl+a", "type", "--delay", "10", text)
    xdo("key", key)
    wait_for(title + " to close", lambda: dialog not in windows(title))


class Editor:
    """The running program, found with its four views once drawn; at() takes its pixels, `scale` screen pixels each."""

    def __init__(self, journey, arguments=(), scale=1, language="C", environment=None, warnings=(), first=None):
        """environment: more variables for the editor; warnings: titles of the message boxes it shows
        before its windows, each answered with Return; first: answers what it asks before its windows."""
        journey.editors.append(self)
        self.scale, self.workdir = scale, journey.workdir
        # The user's folders are the journey's; under weston the editor starts as a desktop session starts it.
        # LANG picks the language (C: German).
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "LC_ALL",
                                                                  "LC_MESSAGES")}
        env.update(WESTON, LIBGL_ALWAYS_SOFTWARE="1", ASAN_OPTIONS="detect_leaks=0", QT_SCALE_FACTOR=str(scale),
                   LANG=language,
                   XDG_STATE_HOME=os.path.join(journey.workdir, "state"),
                   XDG_CONFIG_HOME=os.path.join(journey.workdir, "config"), **(environment or {}))
        self.log = open(os.path.join(journey.workdir, "polyquill.log"), "w")
        self.process = subprocess.Popen([journey.program] + list(arguments), cwd=journey.workdir, env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        for title in warnings:
            self.answer("^%s$" % title, another=True)
        if first:
            first()
        try:  # Wayland shows a program no windows of another: there the views are found by their labels
            self.main = not WESTON and wait_for("main window", lambda: windows(MAIN_TITLE), 90)[0]
            self.origin = WESTON and wait_for("the views", lambda: Shot().views(), 90)
        except Failure as failure:
            with open(self.log.name, errors="replace") as f:
                raise Failure("%s; the editor %s; its output: %r" % (
                    failure, "runs" if self.process.poll() is None else "ended", f.read()[-2000:]))
        self.views = None if WESTON else {n: wait_for(n, lambda: windows("^%s$" % n))[0] for n in VIEWS}
        self.origin = self.origin or {n: geometry(w)[:2] for n, w in self.views.items()}
        # Input counts once every view shows its dark blue label.
        poll_screen("the views to be drawn", lambda shot: None if all(
            shot.at(*self.at(n, 14, 12))[2] > 100 > shot.at(*self.at(n, 14, 12))[0] for n in self.origin)
            else "a view without its label")

    def at(self, view, x, y):
        return self.origin[view][0] + round(self.scale * x), self.origin[view][1] + round(self.scale * y)

    def button_position(self, name):
        """The middle of a toolbar button, by the toolbar's fixed layout above the Front view."""
        x = sum(6 if e == "|" else 20 for e in TOOLBAR[:TOOLBAR.index(name)])
        return self.at("Front", x + 10, -14)

    def button(self, name):
        xdo("mousemove", *self.button_position(name), "click", 1)

    def menu(self, ups=0, rights=0, downs=0):
        """Picks the item `ups` places above the end of the first menu, or of the menu `rights` places right of
        it, or `downs` places down from its top (the File menu's recent files follow its eighth item)."""
        mx, my, _, _ = geometry(self.main)
        before = set(windows(""))
        xdo("mousemove", mx + 25, (my + self.origin["Front"][1] - 25) // 2, "click", 1)
        # A new window taller than a tooltip.
        wait_for("the menu", lambda: any(geometry(w)[3] > 60 for w in set(windows("")) - before))
        xdo("key", *["Right"] * rights, *["Down"] * downs, *["Up"] * ups, "Return")

    def answer(self, title, text=None, key="Return", another=False):
        """Types any text into the dialog or message box of that title and gives the key."""
        answer(title, text, key)
        if not another:
            self.enabled()

    def enabled(self):
        """Waits for the toolbar's colours: the windows are disabled while a dialog is up."""
        x, y = self.button_position("open")
        poll_screen("the main window enabled", lambda shot: None if any(
            max(c) - min(c) > 80 for c in shot.region(x - 8, y - 8, 16, 16)) else "a grey toolbar")

    def saved(self, path, *words):
        """Sends the xdotool words that save and returns the bytes saved (a new file, renamed)."""
        inode = os.stat(path).st_ino if os.path.exists(path) else None
        xdo(*words)
        wait_for(path + " to be saved", lambda: os.path.exists(path) and os.stat(path).st_ino != inode)
        return read(path)

    def status_line(self):
        """The status line under the views as tesseract reads it from the screen, enlarged, in one line."""
        x, y, w, h = geometry(self.main)
        screen, picture = os.path.join(self.workdir, "screen.png"), os.path.join(self.workdir, "status.png")
        subprocess.run(["import", "-window", "root", screen], check=True, timeout=30)
        subprocess.run(["convert", screen, "-crop", "%dx22+%d+%d" % (w, x, y + h - 22), "+repage", "-colorspace", "Gray",
                        "-resize", "300%", "-bordercolor", "white", "-border", "60", picture], check=True, timeout=30)
        return subprocess.run(["tesseract", picture, "-", "--psm", "7"], capture_output=True, text=True,
                              timeout=60).stdout.strip()

    def title(self):
        return xdo("getwindowname", self.main).strip()

    def ended(self):
        wait_for("the editor to end", lambda: self.process.poll() is not None)
        return self.process.returncode == 0

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)
        self.log.close()


class Journey:
    """The journey's folder, and the arguments PROGRAM SEND_CLOSE SHOT_DIR PQTOOL."""

    def __init__(self, workdir):
        self.workdir, self.editors, (self.send_close, self.shots, self.pqtool) = workdir, [], sys.argv[3:6]
        self.program = private_copy(sys.argv[2], os.path.join(workdir, "program"))

    def path(self, name):
        return os.path.join(self.workdir, name)

    def screenshot(self, name):
        """The screen as NAME.png beside the failures' screenshots, for a person to look at."""
        subprocess.run(["import", "-window", "root", os.path.join(self.shots, name + ".png")], check=True, timeout=30)


def start_weston(workdir):
    """weston's X11 back end in the Xvfb, with screenshots (--debug); the pointer enters it once to give its place."""
    runtime, log = os.path.join(workdir, "runtime"), os.path.join(workdir, "weston.log")
    os.makedirs(runtime, mode=0o700)
    server = subprocess.Popen(
        ["weston", "--backend=x11-backend.so", "--use-pixman", "--no-config", "--debug", "--idle-time=0",
         "--socket=wayland-pq", "--log=" + log, "--width=%d" % DISPLAY_SIZE[0], "--height=%d" % DISPLAY_SIZE[1]],
        env=dict(os.environ, XDG_RUNTIME_DIR=runtime), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("weston", lambda: os.path.exists(os.path.join(runtime, "wayland-pq")) and
             "weston-desktop-shell" in pathlib.Path(log).read_text(), 60)
    WESTON.update(os.environ, WAYLAND_DISPLAY="wayland-pq", XDG_RUNTIME_DIR=runtime, XDG_SESSION_TYPE="wayland",
                  PQ_SHOTS=workdir)
    xdo("mousemove", DISPLAY_SIZE[0] + 20, DISPLAY_SIZE[1] + 20, "sleep", 0.2, "mousemove", 10, 10)
    return server


def run_journey(journeys):
    """Runs the journey named first in an Xvfb of its own, with weston in it for "wayland"; a screenshot on failure."""
    name, platform = sys.argv[1], sys.argv[6] if len(sys.argv) > 6 else "xvfb"
    os.makedirs(sys.argv[4], exist_ok=True)
    with tempfile.TemporaryDirectory(dir=sys.argv[4]) as workdir, open(os.path.join(workdir, "xvfb.log"), "w") as log:
        reader, writer = os.pipe()
        # -noreset: the server otherwise starts over whenever its last client leaves (an xdotool call
        # between two editors), and a program connecting meanwhile is refused.
        server = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0", "%dx%dx24" % (
            DISPLAY_SIZE[0] + 80, DISPLAY_SIZE[1] + 80), "-nolisten", "tcp", "-noreset"], pass_fds=[writer], stdout=log, stderr=log)
        os.close(writer)
        with os.fdopen(reader) as display:
            os.environ["DISPLAY"] = ":" + display.readline().strip()
        journey, weston = None, None
        try:
            expect(os.environ["DISPLAY"] != ":", "Xvfb did not start")
            journey = Journey(workdir)
            weston = start_weston(workdir) if platform == "wayland" else None
            journeys[name](journey)
        except (Failure, subprocess.SubprocessError, OSError) as error:
            failure = os.path.join(sys.argv[4], "%s-%s-failure.png" % (name, platform))
            shutil.copy(screenshot_file(), failure) if WESTON else subprocess.run(
                ["import", "-window", "root", failure], timeout=30)
            print("FAILED %s on %s: %s" % (name, platform, error))
            return 1
        finally:
            for editor in journey.editors if journey else []:
                editor.stop()
            for process in filter(None, (weston, server)):
                process.terminate()  # so that it removes its lock file
                process.wait(timeout=30)
    print("passed", name, "on", platform)
    return 0
