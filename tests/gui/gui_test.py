#!/usr/bin/env python3
"""gui_test.py: runs the real polyquill on the current X display (Xvfb with
Mesa's software OpenGL), drives it with xdotool, takes screenshots with
ImageMagick's import and checks pixels. One case per run:

    gui_test.py PROGRAM SEND_CLOSE CASE SHOT_DIR [PQTOOL]

Every wait is bounded; a failing case leaves its screenshot in SHOT_DIR.
Standard library only.
"""
import os
import struct
import subprocess
import sys
import tempfile
import time

LABEL_BACK = (0, 0, 140)
WHITE = (255, 255, 255)
ICON_GREEN = (20, 150, 40)  # the plus of the create-vertex and create-triangle icons
ICON_RED = (210, 30, 30)    # first appears in the select-vertex icon


class Failure(Exception):
    pass


def run(args, timeout=10):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout).stdout


def find_window(name, timeout=30.0):
    end = time.time() + timeout
    while time.time() < end:
        ids = run(["xdotool", "search", "--name", name]).split()
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


def near(colour, wanted, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))


def bright(colour):
    return min(colour) > 180


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


class Editor:
    def __init__(self, program, arguments, workdir):
        env = dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1", ASAN_OPTIONS="detect_leaks=0")
        self.log = open(os.path.join(workdir, "polyquill.log"), "w")
        self.process = subprocess.Popen([program] + arguments, cwd=workdir, env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.main = find_window("^Polyquill - Editor v. 1.1$")
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


def check_label_and_cross(shot, editor, name, cross):
    vx, vy = editor.view_origin(name)
    # The label covers about x 12..33, y 10..24 of the view: background and letters.
    label = shot.count(vx + 10, vy + 8, vx + 36, vy + 27, lambda c: near(c, LABEL_BACK, 30))
    letters = shot.count(vx + 10, vy + 8, vx + 36, vy + 27, bright)
    expect(label > 150, "%s: no label background (%d pixels)" % (name, label))
    expect(letters > 10, "%s: no label letters (%d pixels)" % (name, letters))
    if cross:
        _, _, w, h = geometry(editor.views[name])
        cx, cy = vx + w // 2, vy + h // 2
        arms = shot.count(cx - 8, cy - 1, cx + 9, cy + 2, bright) + shot.count(cx - 1, cy - 8, cx + 2, cy + 9, bright)
        expect(arms >= 20, "%s: no white origin cross at the centre (%d pixels)" % (name, arms))


def toolbar_strip(editor):
    fx, fy = editor.view_origin("Front")
    mx, _, mw, _ = geometry(editor.main)
    return mx, fy - 25, mx + mw, fy


def case_startup(program, send_close, workdir, shots):
    editor = Editor(program, [], workdir)
    try:
        shot = Shot(os.path.join(shots, "startup.png"))
        for name in ("Front", "Side", "Top", "3D"):
            check_label_and_cross(shot, editor, name, cross=name != "3D")
        # The create-vertex button is greyed: of the two icons with the green
        # plus only the create-triangle one shows it in colour.
        x0, y0, x1, y1 = toolbar_strip(editor)
        green = shot.find_first(x0, y0, x1, y1, ICON_GREEN)
        redx = shot.find_first(x0, y0, x1, y1, ICON_RED)
        expect(green is not None and redx is not None, "toolbar icons not found")
        expect(green[0] > redx[0], "the create-vertex icon is not greyed")
        # The view windows sit in a two-by-two grid below the 25-pixel strip.
        (fx, fy), (sx, sy), (tx, ty) = (editor.view_origin(n) for n in ("Front", "Side", "Top"))
        mx, my, _, mh = geometry(editor.main)
        expect(sy == fy and tx == fx and ty == fy + 200 and sx == fx + 250, "views are not in their grid")
        expect(my + mh == ty + 198 + 2, "the lower views do not end at the window's bottom")
        # Choosing the create-triangle tool enables create-vertex again.
        editor.click(green[0], green[1])
        shot = Shot(os.path.join(shots, "startup-tool.png"))
        again = shot.find_first(x0, y0, x1, y1, ICON_GREEN)
        expect(again is not None and again[0] < redx[0], "create-vertex is still greyed after choosing another tool")
        os.remove(os.path.join(shots, "startup-tool.png"))
        os.remove(os.path.join(shots, "startup.png"))
    finally:
        editor.stop()


def check_vertex_and_selection(editor, shots, name, loaded=False):
    """A vertex at (0.5, 0.25, 0) and a triangle through it; selects the vertex.
    Vertices read from a file start selected: a right click clears them first."""
    shot = Shot(os.path.join(shots, name + ".png"))
    fx, fy = editor.view_origin("Front")
    tx, ty = editor.view_origin("Top")
    marker = shot.count(fx + 183, fy + 71, fx + 190, fy + 78, lambda c: sum(c) > 150)
    expect(marker >= 4, "no vertex marker near column 186, row 74 of Front (%d)" % marker)
    marker = shot.count(tx + 183, ty + 96, tx + 190, ty + 103, lambda c: sum(c) > 150)
    expect(marker >= 4, "no vertex marker near column 186, row 99 of Top (%d)" % marker)
    # The top edge of the triangle runs at row 74 from column 62 to 186: white.
    edge = shot.count(fx + 90, fy + 73, fx + 160, fy + 76, bright)
    expect(edge >= 60, "the triangle's edge is not drawn white in Front (%d)" % edge)
    if loaded:
        expect(shot.count(fx + 180, fy + 68, fx + 193, fy + 81, red) >= 4, "a vertex read from a file is not red")
        editor.click(fx + 20, fy + 150, button=3)
        shot = Shot(os.path.join(shots, name + ".png"))
    expect(shot.count(fx + 180, fy + 68, fx + 193, fy + 81, red) == 0, "a vertex is red before selection")

    # Select tool (the first icon with the red square), then click the vertex.
    x0, y0, x1, y1 = toolbar_strip(editor)
    icon = shot.find_first(x0, y0, x1, y1, ICON_RED)
    expect(icon is not None, "select tool icon not found")
    editor.click(icon[0], icon[1])
    editor.click(fx + 186, fy + 74)
    shot = Shot(os.path.join(shots, name + "-selected.png"))
    reds = shot.count(fx + 180, fy + 68, fx + 193, fy + 81, red)
    expect(reds >= 4, "the selected vertex is not red (%d)" % reds)
    os.remove(os.path.join(shots, name + "-selected.png"))
    os.remove(os.path.join(shots, name + ".png"))


def case_mesh(program, send_close, workdir, shots):
    """Builds the triangle with the mouse: three vertices, then the triangle tool."""
    editor = Editor(program, [], workdir)
    try:
        fx, fy = editor.view_origin("Front")
        corners = [(186, 74), (62, 74), (124, 148)]
        for x, y in corners:
            editor.click(fx + x, fy + y)
        shot = Shot(os.path.join(shots, "mesh-tools.png"))
        x0, y0, x1, y1 = toolbar_strip(editor)
        triangle_tool = shot.find_first(x0, y0, x1, y1, ICON_GREEN)
        expect(triangle_tool is not None, "create-triangle icon not found")
        os.remove(os.path.join(shots, "mesh-tools.png"))
        editor.click(triangle_tool[0], triangle_tool[1])
        for x, y in corners:
            editor.click(fx + x, fy + y)
        check_vertex_and_selection(editor, shots, "mesh")
    finally:
        editor.stop()


def case_command_line(program, send_close, workdir, shots):
    """The same triangle from a .pq file named on the command line (with a blank)."""
    path = os.path.join(workdir, "one triangle.pq")
    write_pq(path, [[(0, 0, 0.5, 0.25, 0.0), (1, 0, -0.5, 0.25, 0.0), (0, 1, 0.0, -0.5, 0.0)]])
    editor = Editor(program, path.split(" "), workdir)
    try:
        check_vertex_and_selection(editor, shots, "commandline", loaded=True)
    finally:
        editor.stop()


def case_close(program, send_close, workdir, shots):
    editor = Editor(program, [], workdir)
    try:
        subprocess.run([send_close, editor.main], check=True, timeout=10)
        code = editor.wait_exit()
        if code is None:
            Shot(os.path.join(shots, "close.png"))
        expect(code == 0, "closing the main window did not end the program (exit %r)" % code)
        expect(not os.path.exists(os.path.join(workdir, "pref.txt")), "pref.txt written in the start folder")
    finally:
        editor.stop()


def case_render(program, send_close, workdir, shots, pqtool):
    """pqtool render draws, without a display, the very pixels the editor's
    views show for the same mesh at start-up."""
    cube = os.path.join(workdir, "cube.pq")
    subprocess.run([pqtool, "cube", cube], check=True, timeout=30, capture_output=True)
    editor = Editor(program, [cube], workdir)
    try:
        shot = Shot(os.path.join(shots, "render-editor.png"))
        rendered = os.path.join(shots, "render-pqtool.png")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        subprocess.run([pqtool, "render", cube, rendered], check=True, timeout=60, capture_output=True, env=env)
        picture = Shot(rendered, capture=False)
        expect((picture.width, picture.height) == (500, 400), "pqtool render did not draw 500x400")
        places = {"Front": (0, 0), "Side": (250, 0), "Top": (0, 200), "3D": (250, 200)}
        for name, (px, py) in places.items():
            vx, vy, w, h = geometry(editor.views[name])
            expect((w, h) == ((248 if px == 0 else 250), 198), "%s is %dx%d at start" % (name, w, h))
            differ = sum(1 for y in range(h) for x in range(w) if shot.at(vx + x, vy + y) != picture.at(px + x, py + y))
            lit = picture.count(px, py, px + w, py + h, lambda c: c != (0, 0, 0))
            expect(lit > 300, "%s: pqtool drew next to nothing (%d pixels)" % (name, lit))
            expect(differ == 0, "%s: %d of %d pixels differ from the editor" % (name, differ, w * h))
        os.remove(rendered)
        os.remove(os.path.join(shots, "render-editor.png"))
    finally:
        editor.stop()


CASES = {"startup": case_startup, "mesh": case_mesh, "commandline": case_command_line, "close": case_close,
         "render": case_render}


def main():
    program, send_close, case, shots = sys.argv[1:5]
    extra = sys.argv[5:]  # the render case: the pqtool program
    os.makedirs(shots, exist_ok=True)
    with tempfile.TemporaryDirectory() as workdir:
        try:
            CASES[case](program, send_close, workdir, shots, *extra)
        except (Failure, subprocess.TimeoutExpired) as error:
            try:
                Shot(os.path.join(shots, case + "-failure.png"))
            except (subprocess.SubprocessError, OSError):
                pass
            print("FAILED %s: %s (screenshots in %s)" % (case, error, shots))
            return 1
    print("passed", case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
