#!/usr/bin/env python3
"""journeys.py JOURNEY PROGRAM SEND_CLOSE SHOT_DIR PQTOOL: a user's session with the real polyquill under
Xvfb (Mesa's software OpenGL), driven by xdotool and checked on the bytes it saves and on pixels."""
import contextlib
import os
import re
import signal
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gui_support import (VIEW_H, VIEW_W, VIEWS, Editor, Shot, answer, expect, f32, geometry,  # noqa: E402
                         poll_screen, pq_bytes, read, read_pq, run_journey, wait_for, windows, write, write_picture, xdo)

CORNERS = [(186, 74), (62, 74), (124, 148)]  # pixels of the Front view, clockwise
QUAD = [[(0.0, 0.0, -0.5, -0.5, 0.0), (1.0, 1.0, 0.5, 0.5, 0.0), (0.0, 1.0, -0.5, 0.5, 0.0)],
        [(0.0, 0.0, -0.5, -0.5, 0.0), (1.0, 0.0, 0.5, -0.5, 0.0), (1.0, 1.0, 0.5, 0.5, 0.0)]]


def build(journey):
    """In one xdotool call without a pause: eight arrow keys in the Side view, three vertices, the
    triangle tool, three corners and Save all count; the file named in two words is one name."""
    path = journey.path("fast triangle.pq")
    write(path, b"")  # an empty mesh: a name that cannot be read is not taken
    editor = Editor(journey, path.split(" "))
    words = ["mousemove", *editor.at("Side", 120, 100), "click", 3, "key", "--delay", 0] + ["Down"] * 8
    clicks = [w for x, y in CORNERS for w in ("mousemove", *editor.at("Front", x, y), "click", 1)]
    saved = editor.saved(path, *words, *clicks, "mousemove", *editor.button_position("createtriangle"), "click", 1,
                         *clicks, "mousemove", *editor.button_position("save"), "click", 1)
    # The Front view maps pixels to -1..1 in floats; Down in the Side view pans every view by 0.125 per press.
    want = [[(0.0, 0.0, (x - 124) / 124, f32(f32((99 - y) / 99) - 1.0), 0.0) for x, y in CORNERS]]
    expect(saved == pq_bytes(want), "saved %r, not %r" % (read_pq(path), want))
    fx, fy = editor.origin["Front"]
    poll_screen("the top edge in Front", lambda shot: None if sum(  # row 74 from column 62 to 186
        min(c) > 180 for c in shot.region(fx + 90, fy + 73, 70, 3)) >= 60 else "too few white pixels")


def undo(journey):
    """A refused Open keeps the mesh; Delete, undo and redo by key; a Scale window and a fast drag are
    one step each; Ctrl+Q and the close box ask about unsaved work: Escape keeps it, Return saves."""
    path, missing = journey.path("quad.pq"), journey.path("mistyped.pq")
    write(path, original := pq_bytes(QUAD))
    editor = Editor(journey, [path])
    editor.button("open")
    editor.answer("^Open$", missing, another=True)
    editor.answer("^Polyquill$")  # the file cannot be read
    editor.button("createvertex")  # the active tool already: gives the main window the keyboard
    scaled = pq_bytes([[c[:2] + (2 * c[2],) + c[3:] for c in t] for t in QUAD])
    for keys, want in ((["Delete"], b""), (["ctrl+z"], original), (["ctrl+shift+z"], b""), (["ctrl+z"], original),
                       (["ctrl+y"], b""), (["ctrl+z"], original), ("scale", scaled), (["ctrl+z"], original)):
        if keys == "scale":
            editor.button("scale")
            window = wait_for("Scale Object", lambda: windows("^Scale Object$"))[0]
            x, y, _, _ = geometry(window)
            xdo("mousemove", x + 50, y + 10, "click", 1, "key", "ctrl+a", "type", "2")
            subprocess.run([journey.send_close, window], check=True, timeout=30)
            wait_for("Scale Object to close", lambda: not windows("^Scale Object$"))
            keys = []
        expect(editor.saved(path, "key", *keys, "ctrl+s") == want, "after %s the file holds %r" % (keys, read_pq(path)))
    expect(not os.path.exists(missing), "Save wrote to the name that could not be read")
    # Key 2 is the move tool; every motion and the release count, however fast they come.
    x, y = editor.at("Front", 124, 99)
    moves = [w for step in range(1, 11) for w in ("mousemove", x + 6 * step, y + 3 * step)]
    xdo("key", "2", "mousemove", x, y, "mousedown", 1, *moves, "mouseup", 1)
    dx, dy = 60 / (VIEW_W / 2), -30 / (VIEW_H / 2)
    moved = [[c[:2] + (c[2] + dx, c[3] + dy, 0.0) for c in t] for t in QUAD]
    got = read_pq(path) if editor.saved(path, "key", "ctrl+s") else []
    expect(max(abs(a - b) for t, u in zip(got, moved) for c, d in zip(t, u) for a, b in zip(c, d)) < 1e-5 and
           len(got) == 2, "dragged to %r, not %r" % (got, moved))
    xdo("key", "ctrl+z")
    for leave in (["key", "ctrl+q"], "close box"):
        xdo(*leave) if leave != "close box" else subprocess.run([journey.send_close, editor.main], timeout=30)
        editor.answer("^Polyquill$", key="Escape")
        expect(editor.process.poll() is None, "the editor ended after Escape (%s)" % leave)
    expect(read_pq(path) == got, "the file changed without Save")
    xdo("key", "ctrl+q")
    wait_for("the question", lambda: windows("^Polyquill$"))
    expect(editor.saved(path, "key", "Return") == original and editor.ended(),
           "Save in the question did not save the undone drag and end")


CUBE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "samples", "cube.pq"))
# Where pqtool render puts each view in its 500 x 400 picture.
VIEW_PLACES = {"Front": (0, 0, 248), "Side": (250, 0, 250), "Top": (0, 200, 248), "3D": (250, 200, 250)}
# Five by three texels of their own colours: rows of 15 bytes shear unless uploaded unaligned.
TEXELS = [[(230, 20, 20), (20, 200, 20), (30, 30, 230), (230, 220, 20), (20, 210, 210)],
          [(210, 20, 210), (250, 140, 0), (120, 0, 160), (0, 120, 60), (160, 90, 40)],
          [(250, 170, 200), (90, 90, 90), (0, 70, 140), (170, 250, 110), (130, 0, 30)]]


def texels_shown(colours):
    """How many texels fill at least 300 pixels, each the texel's colour darkened by the light."""
    counts = {t: 0 for row in TEXELS for t in row}
    for c in colours:
        for t in counts:
            k = max(c) / max(t)
            if max(c) >= 30 and 0.3 < k <= 1.0 and all(abs(a - k * b) <= 4 for a, b in zip(c, t)):
                counts[t] += 1
                break
    return sum(n >= 300 for n in counts.values())


def pqtool_render(journey, mesh, texture=None):
    """pqtool render's picture of a mesh, made without a display."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    subprocess.run([journey.pqtool, "render", mesh, journey.path("pqtool.png")] +
                   (["--texture", journey.path(texture)] if texture else []),
                   check=True, timeout=120, capture_output=True, env=env)
    return Shot(journey.path("pqtool.png"))


def same_views(editor, picture, what):
    """A poll_screen check: the editor's four views show pqtool's picture, pixel for pixel."""
    def check(shot):
        for name, (px, py, width) in VIEW_PLACES.items():
            vx, vy, w, h = geometry(editor.views[name])
            if (w, h) != (width, 198):
                return "%s is %dx%d" % (name, w, h)
            differ = sum(a != b for a, b in zip(shot.region(vx, vy, w, h), picture.region(px, py, w, h)))
            if differ:
                return "%s: %d pixels differ from pqtool's (%s)" % (name, differ, what)
    return check


def render(journey):
    """pqtool render draws without a display the editor's very pixels of the cube with a PNG and a BMP
    texture; the close box ends it without a question; pref.txt beside it keeps the name."""
    for texture in ("texels.png", "texels.bmp"):
        write_picture(journey.path(texture), 5, 3, lambda x, y: TEXELS[y][x])
    editor = Editor(journey, [CUBE])
    for texture in ("texels.png", "texels.bmp"):
        editor.button("choosetexture")
        editor.answer("^Texture$", journey.path(texture))
        picture = pqtool_render(journey, CUBE, texture)
        three_d = picture.region(250, 200, 250, 198)
        expect(texels_shown(three_d) == 15, "%s: %d texels in 3D" % (texture, texels_shown(three_d)))
        poll_screen("the editor's views", same_views(editor, picture, "texture " + texture))
    subprocess.run([journey.send_close, editor.main], check=True, timeout=30)
    expect(editor.ended(), "the close box did not end the editor")
    pref = os.path.join(os.path.dirname(journey.program), "pref.txt")
    expect(read(pref).split(b"\r\n")[3] == CUBE.encode() and not os.path.exists(journey.path("pref.txt")),
           "pref.txt is not beside the program alone, with the file's name")


def red_box(shot, editor, view):
    """Bounding box (left, top, right, bottom) and count of the pure red pixels of a view."""
    vx, vy = editor.origin[view]
    red = [(x, y) for y in range(VIEW_H) for x in range(VIEW_W) if shot.at(vx + x, vy + y) == (255, 0, 0)]
    if not red:
        return None
    return min(x for x, _ in red), min(y for _, y in red), max(x for x, _ in red), max(y for _, y in red), len(red)


def oldcard(journey):
    """A card with OpenGL 1.4: two warnings at start, then the cube drawn without buffer objects in pqtool's
    very pixels; the selection cleared and one vertex selected with no pause shows in every view as a whole
    hollow red square, larger than the white markers, over the unselected vertex stacked on it."""
    editor = Editor(journey, [CUBE], environment={"MESA_GL_VERSION_OVERRIDE": "1.4"},
                    warnings=["Slow GFX-Card", "GFX-Card Info"])
    poll_screen("the editor's views", same_views(editor, pqtool_render(journey, CUBE), "OpenGL 1.4"))
    xdo("mousemove", *editor.button_position("selectvertex"), "click", 1, "mousemove", *editor.at("Front", 62, 49),
        "click", 3, "click", 1)

    def selected(shot):
        for view in ("Front", "Side", "Top"):
            box = red_box(shot, editor, view)
            if box is None:
                return "no red marker in " + view
            left, top, right, bottom, count = box
            width, height = right - left + 1, bottom - top + 1
            vx, vy = editor.origin[view]
            if width < 7 or height < 5 or count != 2 * (width + height) - 4 or \
                    shot.at(vx + (left + right) // 2, vy + (top + bottom) // 2) == (255, 0, 0):
                return "%s: the red marker is %dx%d with %d pixels, not a whole hollow square" % (
                    view, width, height, count)
    poll_screen("the selected vertex", selected)


# Three triangles with a texture coordinate of their own at every corner, V counted from the bottom.
OBJ = [[((-0.5, -0.5, 0.0), (0.0, 0.0)), ((0.5, -0.5, 0.0), (1.0, 0.0)), ((0.5, 0.5, 0.0), (1.0, 1.0))],
       [((-0.5, -0.5, 0.0), (0.25, 0.75)), ((0.5, 0.5, 0.0), (0.75, 0.5)), ((-0.5, 0.5, 0.0), (0.0, 1.0))],
       [((0.5, 0.5, 0.0), (0.5, 0.25)), ((0.75, 0.0, -0.5), (1.0, 0.5)), ((0.5, -0.5, 0.0), (0.75, 0.0))]]


def exchange(journey):
    """File menu: Import an OBJ, undo and redo it by key, Export it as glb; pqtool reads the glb back the same."""
    write(journey.path("in.obj"), "".join(
        ["v %g %g %g\n" % p for t in OBJ for p, _ in t] + ["vt %g %g\n" % uv for t in OBJ for _, uv in t] +
        ["f %d/%d %d/%d %d/%d\n" % tuple(3 * t + k // 2 + 1 for k in range(6)) for t in range(3)]).encode())
    imported = pq_bytes([[(u, 1.0 - v, *p) for p, (u, v) in t] for t in OBJ])
    document, glb = journey.path("document.pq"), journey.path("out.glb")
    write(document, b"")  # an empty mesh: a name that cannot be read is not taken
    editor = Editor(journey, [document])
    editor.menu(downs=7)
    editor.answer("^Open$", journey.path("in.obj"), another=True)
    editor.answer("^Gr", "1")  # Import's own prompt, in German
    editor.button("createvertex")  # the active tool already: gives the main window the keyboard
    for keys, holds in (([], imported), (["ctrl+z"], b""), (["ctrl+shift+z"], imported)):
        expect(editor.saved(document, "key", *keys, "ctrl+s") == holds,
               "after %s the document holds %r" % (keys, read_pq(document)))
    editor.menu(downs=8)
    editor.answer("^Save As$", glb)
    wait_for("the export", lambda: os.path.exists(glb))  # written whole, then renamed
    back = journey.path("back.pq")
    subprocess.run([journey.pqtool, "import", glb, back], check=True, timeout=60, capture_output=True)
    expect(read(back) == imported, "the glb reads back as %r" % read_pq(back))


def markers(shot, editor, view):
    """Centres of the red (selected) vertex markers of a view, in view pixels."""
    (vx, vy), groups = editor.origin[view], []
    for x, y in ((x, y) for y in range(VIEW_H) for x in range(VIEW_W) if shot.at(vx + x, vy + y) == (255, 0, 0)):
        group = next((g for g in groups if any(abs(a - x) <= 4 and abs(b - y) <= 4 for a, b in g)), None)
        group.append((x, y)) if group else groups.append([(x, y)])
    return [(sum(p[0] for p in g) / len(g), sum(p[1] for p in g) / len(g)) for g in groups]


def navigate(journey):
    """The wheel zooms Front, Side and Top together about the cursor; Merge ASC of a far mesh
    frames the views on the whole of it, and Save writes both."""
    path, corners = journey.path("nav.pq"), [(0.5, 0.5, 0.5), (-0.5, -0.25, -0.5), (0.25, -0.5, 0.25)]
    write(path, pq_bytes([[(0.0, 0.0, *c) for c in corners]]))
    editor = Editor(journey, [path])
    views, seen = ("Front", "Side", "Top"), {}

    def spread(points):
        return max(((a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2) ** 0.5 for a in points for b in points)

    def three_each(shot):
        seen.update({view: markers(shot, editor, view) for view in views})
        return None if all(len(m) == 3 for m in seen.values()) else "markers %r" % seen
    poll_screen("three markers in each view", three_each)
    for view, button, factor in (("Front", 4, 1.25), ("Side", 5, 0.8)):
        before = dict(seen)
        grab, other = before[view][:2]
        xdo("mousemove", *editor.at(view, round(grab[0]), round(grab[1])), "click", button)
        want = (grab[0] + factor * (other[0] - grab[0]), grab[1] + factor * (other[1] - grab[1]))

        def zoomed(shot):
            if three_each(shot):
                return three_each(shot)
            for point in (grab, want):
                if min(max(abs(m[0] - point[0]), abs(m[1] - point[1])) for m in seen[view]) > 2:
                    return "%s: no marker at %r: %r" % (view, point, seen[view])
            if any(abs(spread(seen[v]) - factor * spread(before[v])) > 2 for v in views):
                return "the views did not all zoom by %.2f: %r" % (factor, seen)
        poll_screen("the wheel in " + view, zoomed)
    write(journey.path("far.asc"), b'Named object: "Far"\r\nTri-mesh, Vertices: 3     Faces: 1\r\nVertex list:\r\n'
          b"Vertex 0:  X: 500     Y: 500     Z: 500\r\nVertex 1:  X: 550     Y: 480     Z: 520\r\n"
          b"Vertex 2:  X: 520     Y: 560     Z: 470\r\nFace list:\r\nFace 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\r\n")
    editor.menu(downs=6)
    editor.answer("^Open$", journey.path("far.asc"), another=True)
    editor.answer("Size", "5")

    def framed(shot):
        """The two meshes at opposite corners span most of every view; the near one alone about 0.7."""
        for view in views:
            vx, vy = editor.origin[view]
            lit = [(x, y) for y in range(VIEW_H) for x in range(0, VIEW_W, 2) if max(shot.at(vx + x, vy + y)) > 60]
            if max(p[0] for p in lit) - min(p[0] for p in lit) < 0.78 * VIEW_W or \
                    max(p[1] for p in lit) - min(p[1] for p in lit) < 0.78 * VIEW_H:
                return "%s is not framed on both meshes" % view
    poll_screen("the views framed", framed)
    editor.button("createvertex")
    far = [(100.0, 100.0, 100.0), (110.0, 96.0, 104.0), (104.0, 112.0, 94.0)]
    xdo("key", "ctrl+s")  # the ASC's "Vertex list:" line gave a vertex in no triangle: Save asks first
    question = wait_for("the question", lambda: windows("^Polyquill$"))[0]
    wait_for("the question to have the keyboard", lambda: xdo("getwindowfocus").strip() == question)
    got = [[c[2:] for c in t] for t in read_pq(path)] if editor.saved(path, "key", "Return") else []
    expect(got == [corners, [far[0]] * 3, far], "saved %r" % got)


def texture(journey):
    """A PNG texture and the Texture window: corner squares where U and V put them; a typed U
    moves corner 1's square and changes the 3D view; Save as writes it."""
    write_picture(journey.path("t.png"), 128, 64, lambda x, y: (0, 200, 0) if x < 64 else (0, 0, 220))
    triangle = [(0.25, 0.75, -0.8, -0.8, 0.0), (0.25, 0.25, -0.8, 0.8, 0.0), (0.75, 0.75, 0.8, -0.8, 0.0)]
    write(journey.path("t.pq"), pq_bytes([triangle]))
    editor = Editor(journey, [journey.path("t.pq")])
    editor.button("choosetexture")
    editor.answer("^Texture$", journey.path("t.png"))
    editor.button("triangleup")
    editor.button("settexcoords")
    window = wait_for("the Texture window", lambda: windows("^Texture$"))[0]
    x, y, w, h = geometry(window)
    expect((w, h) == (128, 124), "the Texture window is %dx%d, not 128x124" % (w, h))
    # The window may cover the top of the 3D view; only what is below it counts.
    tx, ty = editor.origin["3D"]
    top, plain = max(ty + 30, y + h + 2), []

    def squares(red_at, none_at):
        def check(shot):
            reds = [sum(c == (255, 0, 0) for c in shot.region(x + cx - 4, y + cy - 4, 9, 9))
                    for cx, cy in red_at + none_at]
            three_d = shot.region(tx, top, 240, ty + 190 - top)
            if min(reds[:len(red_at)]) < 10 or max(reds[len(red_at):] + [0]) > 0:
                return "red squares %r" % reds
            if sum(c[1] > 100 and c[0] < 60 for c in three_d) < 200 or plain and three_d == plain[0]:
                return "the 3D view is not textured anew"
            plain.append(three_d)
        return check
    poll_screen("the corners", squares([(32, 108), (32, 76), (96, 108)], []))
    xdo("mousemove", x + 32, y + 30, "click", 1, "key", "ctrl+a", "type", "0.75")  # U of corner 1
    poll_screen("corner 1 moved", squares([(32, 108), (96, 76), (96, 108)], [(32, 76)]))
    subprocess.run([journey.send_close, window], check=True, timeout=30)
    editor.button("saveas")
    saved = journey.path("saved.pq")  # a new name: there means complete
    editor.answer("^Save As$", saved)
    triangle[1] = (0.75,) + triangle[1][1:]
    expect(wait_for("Save as", lambda: os.path.exists(saved)) and read(saved) == pq_bytes([triangle]),
           "saved %r" % read_pq(saved))


def cube_shape(editor, want):
    """A check that the cube's four corner markers span want[view] pixels across and down (within one)."""
    def check(shot):
        found = {view: markers(shot, editor, view) for view in want}
        got = {view: (max(p[0] for p in m) - min(p[0] for p in m), max(p[1] for p in m) - min(p[1] for p in m))
               for view, m in found.items() if len(m) == 4}
        if len(got) == len(want) and all(abs(a - b) <= 1 for v in want for a, b in zip(got[v], want[v])):
            return None
        return "the cube spans %r, not %r" % (got, want)
    return check


def proportions(journey):
    """Keep proportions squares the cube in every view, a click picks a corner where it is drawn, the next run
    keeps it; the status line (OCR) and the title follow the mesh. Screenshots go beside the failures'."""
    path = journey.path("cube.pq")
    write(path, read(os.path.join(os.path.dirname(__file__), "..", "..", "samples", "cube.pq")))
    editor = Editor(journey, [path], language="en_US.UTF-8")
    expect(editor.title() == "Polyquill - Editor v. 1.1 - cube.pq", "the title is %r" % editor.title())
    # The cube's side is a unit: half a view across and down, 124 by 99 pixels in Front.
    square = {"Front": (99, 99), "Side": (99, 99), "Top": (99, 99)}
    poll_screen("a stretched cube", cube_shape(editor, {"Front": (124, 99), "Side": (125, 99), "Top": (124, 99)}))
    journey.screenshot("proportions-stretched")
    editor.menu(1, rights=1)  # the Edit menu's last item
    poll_screen("a square cube", cube_shape(editor, square))
    journey.screenshot("proportions-kept")
    # Right click deselects; the select tool then picks the corner where it is drawn now, not where it was.
    xdo("mousemove", *editor.at("Front", 120, 120), "click", 3, "key", "3", "mousemove", *editor.at("Front", 174, 50),
        "click", 1)
    status = r"8 vertices \(1 selected\), 12 triangles \(0 selected\) +Front: x (-?\d+\.\d+), y (-?\d+\.\d+)$"
    x, y = (float(v) for v in wait_for("the status line", lambda: re.search(status, editor.status_line())).groups())
    expect(abs(x - 0.5) <= 1 / 99 and abs(y - 0.5) <= 1 / 99, "the cursor over the corner reads %r, %r" % (x, y))
    journey.screenshot("proportions-picked")
    xdo("key", "Delete")  # the picked corner; a selection alone is no unsaved work
    wait_for("the mark for unsaved work", lambda: editor.title() == "Polyquill - Editor v. 1.1 - cube.pq *")
    xdo("key", "ctrl+s")
    wait_for("the title without the mark", lambda: editor.title() == "Polyquill - Editor v. 1.1 - cube.pq")
    subprocess.run([journey.send_close, editor.main], check=True, timeout=30)
    expect(editor.ended(), "the close box did not end the editor")
    again = Editor(journey, [path], language="en_US.UTF-8")
    poll_screen("a square cube in the next run", cube_shape(again, square))


VERTEX_CLICKS = [("Front", 186, 74), ("Side", 62, 148), ("Top", 186, 148)]
TRIANGLE = [(0.5, f32(25 / 99), 0.0), (0.5, 0.0, f32(49 / 99)), (0.0, f32(-49 / 99), f32(-63 / 125))]
IN_FRONT = [(186, 74), (186, 99), (124, 148)]


def clicks(editor, places):
    return [w for view, x, y in places for w in ("mousemove", *editor.at(view, x, y), "click", 1)]


def lit_near(shot, editor, view, x, y, reach=2):
    return any(max(c) > 150 for c in shot.region(*editor.at(view, x - reach, y - reach), 2 * reach + 1, 2 * reach + 1))


def lit(shot, editor, view):
    """Where a view's pixels of more than 140 red (lines, markers, 3D faces) are in the editor's pixels; how many."""
    (x0, y0), scale = editor.at(view, 0, 0), editor.scale
    reds = [(x, y) for y in range(round(scale * VIEW_H)) for x, red in enumerate(shot.pixels[
        ((y0 + y) * shot.width + x0) * 3:((y0 + y) * shot.width + x0 + round(scale * VIEW_W)) * 3:3]) if red > 140]
    return {(int(x / scale), int(y / scale)) for x, y in reds}, len(reds)


def spread(places):
    return {(x + dx, y + dy) for x, y in places for dx in (-1, 0, 1) for dy in (-1, 0, 1)}


def scaled(*factors):
    """The views take clicks, keys and the wheel (on Wayland too): a vertex clicked in Front, Side and Top each, key 4,
    a triangle of them clicked (clockwise, 4 pixels aside) in Front, Ctrl+S; Left in Front pans 1/8, a notch over Side
    zooms 1.25 (vertex (0.5, 0.25) from 186, 74 to 221, 68). At a last QT_SCALE_FACTOR the same clicks save the same
    file, and the views show the first picture larger, lines as wide as the scale rounded."""
    def journey_at(journey, scale=factors[-1]):
        shots, files = [], []
        for factor in factors:
            write(path := journey.path("scale %s.pq" % factor), b"")  # a name that cannot be read is not taken
            editor = Editor(journey, [path], factor)
            triangle = clicks(editor, [("Front", x + 4, y) for x, y in IN_FRONT])
            files.append(editor.saved(path, *clicks(editor, VERTEX_CLICKS), "key", "4", *triangle, "key", "ctrl+s"))
            xdo("mousemove", *editor.at("Front", 20, 180), "click", 1, "key", "Left", "mousemove",
                *editor.at("Side", 125, 99), "click", 4)
            poll_screen("Front moved", lambda shot: None if lit_near(shot, editor, "Front", 221, 68) and not lit_near(
                shot, editor, "Front", 186, 74, 1) else "Front did not pan and zoom")
            shots.append([lit(Shot(), editor, view) for view in VIEWS])
            expect(files[-1] == pq_bytes([[(0.0, 0.0, *v) for v in TRIANGLE]]), "at %s saved %r" % (factor, files[-1]))
            editor.stop()
        for view, (at_one, one), (at_scale, many) in zip(VIEWS, shots[0], shots[-1]):
            astray = len(at_one - spread(at_scale)) + len(at_scale - spread(at_one))
            area = many / one / scale ** 2 / (1 if view == "3D" else round(scale) / scale)
            expect(astray < 20 and 0.8 < area < 1.25, "%s at %s: %d pixels astray, %.2f times the lit area" % (
                view, scale, astray, area))
    return journey_at


def model(journey):
    """A symmetric shape from the Mesh menu: a plane, extruded; mirrored across z = 0.0004 as a copy, which
    leaves a seam 0.0008 wide; every vertex boxed with Ctrl and the select tool in one unpaused drag; welded
    shut. The file holds a closed shape, mirror-symmetric, facing outward; one undo brings the seam back."""
    path = journey.path("symmetric.pq")
    write(path, b"")  # an empty mesh: a name that cannot be read is not taken
    editor = Editor(journey, [path])
    editor.menu(4, rights=2)  # Mesh: Insert plane
    editor.answer("^Ebene einf")  # the interface speaks German at first
    xdo("key", "ctrl+e")
    editor.answer("^Extrudieren$")
    xdo("key", "ctrl+a", "ctrl+m")
    mirror = wait_for("Mirror", lambda: windows("^Spiegeln$"))[0]
    wait_for("Mirror to have the keyboard", lambda: xdo("getwindowfocus").strip() == mirror)
    xdo("key", "z", "Tab", "ctrl+a", "type", "0.0004")
    xdo("key", "Return")
    wait_for("Mirror to close", lambda: not windows("^Spiegeln$"))
    x, y = editor.at("Front", 30, 20)
    xdo("key", "ctrl+shift+a", "3", "mousemove", x, y, "keydown", "ctrl", "mousedown", 1,
        "mousemove", x + 90, y + 70, "mousemove", x + 190, y + 160, "mouseup", 1, "keyup", "ctrl", "key", "ctrl+j")
    editor.answer("^Verschwei")
    fx, fy = editor.origin["3D"]
    poll_screen("the shape in 3D", lambda shot: None if min(shot.at(fx + 124, fy + 99)) > 100 else "no face")

    def shape(triangles):
        """Distinct positions, and the faults of the triangles: not facing out, open edges, no mirror image."""
        positions = {c[2:] for t in triangles for c in t}
        edges = {}
        for t in triangles:
            for a, b in ((t[0][2:], t[1][2:]), (t[1][2:], t[2][2:]), (t[2][2:], t[0][2:])):
                edges[frozenset((a, b))] = edges.get(frozenset((a, b)), 0) + 1
        faults = [n for n, uses in edges.items() if uses != 2]
        for t in triangles:
            a, b, c = (p[2:] for p in t)
            u, v = [q - p for p, q in zip(a, b)], [q - p for p, q in zip(a, c)]
            normal = (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])
            outward = [sum(p[k] for p in (a, b, c)) / 3 - (0, 0, 0.0004)[k] for k in range(3)]
            faults += [t] if sum(n * o for n, o in zip(normal, outward)) <= 0 else []
        faults += [p for p in positions if not any(
            max(abs(p[0] - q[0]), abs(p[1] - q[1]), abs(0.0008 - p[2] - q[2])) < 1e-6 for q in positions)]
        return len(triangles), len(positions), faults

    welded = read_pq(path) if editor.saved(path, "key", "ctrl+s") else []
    expect(shape(welded) == (20, 12, []), "saved %r: %r" % (shape(welded), welded))
    unwelded = read_pq(path) if editor.saved(path, "key", "ctrl+z", "ctrl+s") else []
    expect(shape(unwelded)[:2] == (20, 16), "after one undo: %r" % (shape(unwelded),))
# Spots of the views by pixel; BOX_CLICKS clicks each once or twice, for the first or second vertex stacked there.
# Vertices 0 to 3 lie at z = 0.5, 4 to 7 at z = 0; each face runs clockwise as seen from outside.
SPOTS = {"A": ("Front", 62, 50), "B": ("Front", 186, 50), "C": ("Front", 186, 148), "D": ("Front", 62, 148),
         "P": ("Side", 125, 50), "Q": ("Side", 187, 50), "R": ("Side", 187, 148), "S": ("Side", 125, 148),
         "E": ("Top", 62, 99), "F": ("Top", 186, 99), "G": ("Top", 186, 148), "H": ("Top", 62, 148)}
BOX_CLICKS = "A2B2C2 A2C2D2 A1C1B1 A1D1C1 P2Q2R1 P2R1S1 P1S2R2 P1R2Q1 E2F2G2 E2G2H2 E1H1G1 E1G1F1"
BOX = "456 467 021 032 512 526 473 430 762 723 401 415"


def box(journey):
    """A box by clicks without pauses: four vertices moved back by Position (Ctrl+P), four in front, twelve triangles
    on stacked spots, all eight Shift+clicked and the texture projected from Front; Save writes every corner."""
    path = journey.path("box.pq")
    write(path, b"")  # an empty mesh: a name that cannot be read is not taken
    editor = Editor(journey, [path])

    def clicks(spots, count=1, button=1, shift=False):
        return [w for name in spots for w in ["mousemove", *editor.at(*SPOTS[name])] + ["keydown", "shift"] * shift +
                ["click", "--repeat", count, "--delay", 0, button] + ["keyup", "shift"] * shift]
    xdo(*clicks("ABCD"), "key", "3", *clicks("ABCD", shift=True), "key", "ctrl+p")
    px, py, _, _ = geometry(wait_for("the Position window", lambda: windows("^Vertexposition$"))[0])
    xdo("mousemove", px + 90, py + 50, "click", 1, "key", "ctrl+a", "type", "0.5")  # z
    corners = [w for t in BOX_CLICKS.split() for spot, n in zip(t[::2], t[1::2]) for w in clicks(spot, int(n))]
    xdo("key", "Return", "key", "1", *clicks("ABCD"), *clicks("A", button=3), "key", "4", *corners,
        "key", "3", *clicks("A", button=3), *clicks("ABCD", 2, shift=True))
    editor.menu(4, rights=1)  # Edit: Project texture from Front
    x, y = f32(0.5), f32(49 / 99)
    place = [((-x, x, x, -x)[n % 4], (y, y, -y, -y)[n % 4], (0.5, 0.0)[n // 4]) for n in range(8)]
    want = [[(1.0 * (p[0] > 0), 1.0 * (p[1] < 0), *p) for p in (place[int(c)] for c in t)] for t in BOX.split()]
    expect(editor.saved(path, "key", "ctrl+s") == pq_bytes(want), "saved %r, not %r" % (read_pq(path), want))


def turn(journey):
    """A left drag across half the 3D view, without pauses, turns a triangle's front away; Edit > Show back
    faces shows its back in a red tint; dragged back, its front shows again."""
    write(journey.path("turn.pq"), pq_bytes([[(0.0, 0.0, -0.5, 0.5, 0.0), (1.0, 0.0, 0.5, 0.5, 0.0),
                                               (1.0, 1.0, 0.5, -0.5, 0.0)]]))  # clockwise in Front
    editor = Editor(journey, [journey.path("turn.pq")])
    (vx, vy), (x, y) = editor.origin["3D"], editor.at("3D", 60, 100)

    def count(shot, test):  # every second pixel of the 3D view but its label's corner
        return sum(test(shot.at(vx + i, vy + j)) for j in range(0, VIEW_H, 2) for i in range(0, VIEW_W, 2)
                   if i >= 60 or j >= 30)
    for dx, toggle, want, name in ((0, False, (True, False), "front"), (125, False, (False, False), "behind"),
                                   (0, True, (False, True), "back-faces"), (-125, False, (True, False), "front-again")):
        moves = [w for k in range(1, 11) for w in ("mousemove", x + dx * k // 10, y)]
        if dx:
            xdo("mousemove", x, y, "mousedown", 1, *moves, "mouseup", 1)
        if toggle:
            editor.menu(6, rights=1)  # Edit: Show back faces
        poll_screen(name, lambda shot: None if (count(shot, lambda c: min(c) > 200) > 300, count(
            shot, lambda c: c[0] > 60 and c[0] > 3 * max(c[1], c[2])) > 300) == want else "not %r" % (want,))
        journey.screenshot("turn-" + name)


def children(pid):
    """The processes whose parent is pid, by the fields of /proc/N/stat after the program's name."""
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open("/proc/%s/stat" % entry) as f:
            found += [entry] * (int(f.read().rsplit(")", 1)[1].split()[1]) == pid)
    return found


def cancel(journey):
    """A large OBJ's import cancelled in its progress window: the helper ends, the editor answers at once and
    the document is as it was."""
    side, progress_title = 600, "^(Lesen|Reading|Lecture)$"
    vertices = ["v %d %d 0\n" % (i, j) for i in range(side + 1) for j in range(side + 1)]
    faces = ["f %d %d %d\n" % (a, a + side + 1, a + 1) for a in range(1, side * side)]
    write(journey.path("large.obj"), "".join(vertices + faces).encode())
    write(document := journey.path("quad.pq"), original := pq_bytes(QUAD))
    editor = Editor(journey, [document])
    editor.menu(downs=7)  # File: Import...
    editor.answer("^Open$", journey.path("large.obj"), another=True)
    editor.answer("^Gr", "1", another=True)
    px, py, _, _ = geometry(wait_for("the progress window", lambda: windows(progress_title))[0])
    helpers = wait_for("the import helper", lambda: children(editor.process.pid))
    time.sleep(0.3)
    journey.screenshot("cancel-progress")
    xdo("mousemove", px + 160, py + 77, "click", 1)
    clicked = time.time()
    wait_for("the progress window to close", lambda: not windows(progress_title))
    print("the progress window closed %.3f s after the click" % (time.time() - clicked))
    expect(not children(editor.process.pid), "the helper %r runs on" % helpers)
    editor.button("createvertex")
    expect(editor.saved(document, "key", "ctrl+s") == original, "the document changed: %r" % read_pq(document))


def drag_all(editor, times):
    """Drags every (selected) vertex 60 pixels right and 30 up in Front, `times` times, with the move tool."""
    x, y = editor.at("Front", 124, 99)
    for _ in range(times):
        moves = [w for step in range(1, 11) for w in ("mousemove", x + 6 * step, y - 3 * step)]
        xdo("key", "2", "mousemove", x, y, "mousedown", 1, *moves, "mouseup", 1)


def moved_quad(times):
    dx, dy = 60 / (VIEW_W / 2), 30 / (VIEW_H / 2)
    return [[c[:2] + (f32(c[2] + times * dx), f32(c[3] + times * dy), 0.0) for c in t] for t in QUAD]


def near(got, want):
    return len(got) == len(want) and all(abs(a - b) < 1e-5 for t, u in zip(got, want) for c, d in zip(t, u)
                                         for a, b in zip(c, d))


def recovery(journey):
    """A drag is copied; after SIGKILL the next start offers it and Restore gives back the moved quad under its name,
    unsaved, until Save. SIGTERM writes a change the interval held back and ends the editor; Discard removes it."""
    path = journey.path("quad.pq")
    write(path, pq_bytes(QUAD))
    folder = os.path.join(journey.workdir, "state", "polyquill")

    def copies(suffix=".pqr"):
        return [os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(suffix)] if os.path.isdir(folder) \
            else []

    def copied():
        """The triangles of the one copy: native records after a 12-byte header and three 64-bit lengths."""
        data = read(copies()[0])
        records = data[36:36 + struct.unpack_from("<Q", data, 12)[0]]
        return [[struct.unpack_from("<5f", records, 60 * t + 20 * k) for k in range(3)]
                for t in range(len(records) // 60)]

    editor = Editor(journey, [path], environment={"POLYQUILL_RECOVERY_SECONDS": "1"})
    editor.button("createvertex")  # greyed: gives the main window the keyboard
    drag_all(editor, 1)
    wait_for("the copy", lambda: copies() and near(copied(), moved_quad(1)))
    editor.process.kill()
    editor.process.wait(timeout=30)
    restored = Editor(journey, [], first=lambda: answer("^Polyquill$"))  # Restore, the first button
    restored.button("createvertex")
    expect(near(read_pq(path) if restored.saved(path, "key", "ctrl+s") else [], moved_quad(1)),
           "Save after Restore wrote %r" % read_pq(path))
    wait_for("the copy to go once saved", lambda: not copies())

    drag_all(restored, 1)
    wait_for("the copy of the second drag", lambda: copies())
    drag_all(restored, 1)  # within the minute: no copy of its own
    x, y = moved_quad(3)[0][0][2:4]  # a corner's marker in Front once the editor has taken the drag
    poll_screen("the third drag", lambda shot: None if any(abs(m[0] - 124 - 124 * x) < 3 and abs(m[1] - 99 + 99 * y) < 3
                                                           for m in markers(shot, restored, "Front")) else "not yet")
    restored.process.terminate()
    expect(wait_for("the end", lambda: restored.process.poll() is not None) and
           restored.process.returncode == -signal.SIGTERM, "SIGTERM did not end the editor")
    expect(near(copied(), moved_quad(3)), "the copy on SIGTERM holds %r" % copied())
    expect(not [n for n in os.listdir(folder) if ".pqr." in n], "SIGTERM left %r" % os.listdir(folder))
    Editor(journey, [path], first=lambda: answer("^Polyquill$", key="Escape"))  # Discard
    expect(not copies() and len(copies(".lock")) == 1, "Discard left %r" % os.listdir(folder))
    expect(near(read_pq(path), moved_quad(1)), "the file changed: %r" % read_pq(path))


def colours(shot, origin):
    """Pixels of a view below its label: brick red, slate blue-grey, window glass and lawn green."""
    (vx, vy), counts = origin, [0, 0, 0, 0]
    for r, g, b in shot.region(vx, vy + 20, 248, 178):
        counts[0] += r > 100 and r > g + 45 and r > b + 45
        counts[1] += b > r + 12 and b >= g and 60 < b < 200 and r > 35
        counts[2] += b > 140 and b > r + 40
        counts[3] += g > 60 and g > r + 30 and g > b + 30
    return counts


def sample(journey):
    """The shipped house opens with the picture beside it: brick, slate and glass in the 3D view; turned to be seen
    from above for the README's picture. A corner dragged on the Texture window's picture in one xdotool call,
    Ctrl held at its end, is saved on a texel corner, and one undo takes the whole drag back."""
    samples = os.path.join(os.path.dirname(__file__), "..", "..", "samples")
    for name in ("house.pq", "house.png"):  # a copy: Save must never reach the shipped file
        write(journey.path(name), read(os.path.join(samples, name)))
    house = journey.path("house.pq")
    write(os.path.join(os.path.dirname(journey.program), "pref.txt"), b"1\r\n0.000000\r\n0\r\n")  # in English
    editor = Editor(journey, [house])

    def textured(lawn):
        def check(shot):
            brick, slate, glass, green = colours(shot, editor.origin["3D"])
            if brick < 1500 or slate < 1500 or glass < 150 or (green < 500) == lawn:
                return "3D view: %d brick, %d slate, %d glass, %d lawn pixels" % (brick, slate, glass, green)
        return check
    poll_screen("the textured house", textured(False))
    xdo("mousemove", *editor.at("3D", 125, 100), "click", 1, "key", "--delay", 0, *["Down"] * 25)
    poll_screen("the house from above, on its lawn", textured(True))
    subprocess.run(["import", "-window", editor.main, os.path.join(journey.shots, "house-in-the-editor.png")],
                   check=True, timeout=30)

    editor.button("triangleup")
    editor.button("settexcoords")
    window = wait_for("the Texture window", lambda: windows("^Texture$"))[0]
    x, y, _, _ = geometry(window)
    # Corner 0 of triangle 1 lies half a texel inside a 256-texel picture: at (63.5, 0.5), shown at (63.5, 60.5).
    xdo("mousemove", x + 64, y + 61, "mousedown", 1, "mousemove", x + 69, y + 64, "mousemove", x + 84, y + 73,
        "keydown", "ctrl", "mousemove", x + 85, y + 74, "mouseup", 1, "keyup", "ctrl")
    subprocess.run([journey.send_close, window], check=True, timeout=30)
    wait_for("the Texture window to close", lambda: not windows("^Texture$"))
    editor.button("createvertex")  # greyed: gives the main window the keyboard
    for keys, want in ((["ctrl+s"], (85 / 256, 14 / 256)), (["ctrl+z", "ctrl+s"], (63.5 / 256, 0.5 / 256))):
        corner = read_pq(house)[0][0] if editor.saved(house, "key", *keys) else None
        expect(corner[:2] == tuple(map(f32, want)), "after %s corner 0 is at %r" % (keys, corner[:2]))


def document(journey):
    """Undo after Save as leaves Save on the new name and the old file alone; New leaves the document
    without a name: Save greys, and Ctrl+S asks for a name instead of writing over the last file."""
    a, b = journey.path("a.pq"), journey.path("b.pq")
    write(a, original := pq_bytes(QUAD))
    editor = Editor(journey, [a])
    editor.button("createvertex")  # greyed: gives the main window the keyboard
    xdo("key", "Delete", "ctrl+shift+s")  # every vertex read is selected
    editor.answer("^Save As$", b)
    expect(wait_for("Save as", lambda: os.path.exists(b)) and read(b) == b"", "Save as wrote %r" % read_pq(b))
    expect(editor.saved(b, "key", "ctrl+z", "ctrl+s") == original and read(a) == original,
           "after undo Save wrote %r to b and left %r in a" % (read_pq(b), read_pq(a)))
    xdo("key", "ctrl+n")
    x, y = editor.button_position("save")
    poll_screen("Save greyed", lambda shot: None if all(
        max(c) - min(c) < 30 for c in shot.region(x - 8, y - 8, 16, 16)) else "a coloured Save button")
    xdo("mousemove", *editor.at("Front", 60, 50), "click", 1, "key", "ctrl+s")
    editor.answer("^Save As$", key="Escape")
    meshes = sorted(name for name in os.listdir(journey.workdir) if ".pq" in name)
    expect(read(a) == original and read(b) == original and meshes == ["a.pq", "b.pq"],
           "Ctrl+S after New wrote %s" % meshes)


if __name__ == "__main__":
    sys.exit(run_journey({"build": build, "undo": undo, "render": render, "exchange": exchange,
                          "navigate": navigate, "texture": texture, "box": box, "model": model,
                          "views": scaled(1), "scale2": scaled(1, 2), "scale1.5": scaled(1, 1.5),
                          "sample": sample, "document": document, "proportions": proportions, "oldcard": oldcard,
                          "turn": turn, "cancel": cancel, "recovery": recovery}))
