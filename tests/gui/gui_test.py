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
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gui_support import Editor, Shot, run_case, expect, geometry, red, write_pq, write_png  # noqa: E402

LABEL_BACK = (0, 0, 140)
ICON_GREEN = (20, 150, 40)  # the plus of the create-vertex and create-triangle icons
ICON_RED = (210, 30, 30)    # first appears in the select-vertex icon


def near(colour, wanted, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))


def bright(colour):
    return min(colour) > 180


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


# Where pqtool render puts each view in its 500 x 400 picture, and the
# size each view window has at start.
VIEW_PLACES = {"Front": (0, 0, 248), "Side": (250, 0, 250), "Top": (0, 200, 248), "3D": (250, 200, 250)}


def render_without_display(pqtool, arguments, path):
    """pqtool render with no X server to reach; the picture it wrote."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    subprocess.run([pqtool, "render"] + arguments + [path], check=True, timeout=60, capture_output=True, env=env)
    picture = Shot(path, capture=False)
    expect((picture.width, picture.height) == (500, 400), "pqtool render did not draw 500x400")
    return picture


def view_pixels(picture, x, y, w, h):
    return [picture.at(x + dx, y + dy) for dy in range(h) for dx in range(w)]


def expect_same_views(shot, editor, picture):
    """Every pixel of each view window equals the same place of pqtool's picture."""
    for name, (px, py, width) in VIEW_PLACES.items():
        vx, vy, w, h = geometry(editor.views[name])
        expect((w, h) == (width, 198), "%s is %dx%d at start" % (name, w, h))
        lit = picture.count(px, py, px + w, py + h, lambda c: c != (0, 0, 0))
        expect(lit > 300, "%s: pqtool drew next to nothing (%d pixels)" % (name, lit))
        differ = sum(1 for a, b in zip(view_pixels(shot, vx, vy, w, h), view_pixels(picture, px, py, w, h)) if a != b)
        expect(differ == 0, "%s: %d of %d pixels differ from the editor" % (name, differ, w * h))


def case_render(program, send_close, workdir, shots, pqtool):
    """pqtool render draws, without a display, the very pixels the editor's
    views show for the same mesh at start-up."""
    cube = os.path.join(workdir, "cube.pq")
    subprocess.run([pqtool, "cube", cube], check=True, timeout=30, capture_output=True)
    editor = Editor(program, [cube], workdir)
    try:
        shot = Shot(os.path.join(shots, "render-editor.png"))
        rendered = os.path.join(shots, "render-pqtool.png")
        expect_same_views(shot, editor, render_without_display(pqtool, [cube], rendered))
        os.remove(rendered)
        os.remove(shot.path)
    finally:
        editor.stop()


# Five by three texels, every one its own colour; five columns make rows of
# 15 bytes, which arrive sheared unless the upload unpacks them unaligned
# (and which a BMP pads to 16).
TEXELS = [[(230, 20, 20), (20, 200, 20), (30, 30, 230), (230, 220, 20), (20, 210, 210)],
          [(210, 20, 210), (250, 140, 0), (120, 0, 160), (0, 120, 60), (160, 90, 40)],
          [(250, 170, 200), (90, 90, 90), (0, 70, 140), (170, 250, 110), (130, 0, 30)]]


def write_bmp(path, rows):
    """A 24-bit bottom-up BMP of the rows of (r, g, b), each row padded to 4 bytes."""
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) // 4 * 4
    body = b"".join(bytes(c for r, g, b in row for c in (b, g, r)).ljust(stride, b"\0") for row in reversed(rows))
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + len(body), 0, 0, 54) +
                struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0) + body)


def texels_shown(colours, texels):
    """How many texels fill at least 300 pixels, each pixel the texel's colour
    darkened by the 3D view's light (the same factor for its three channels)."""
    counts = dict.fromkeys(texels, 0)
    for c in colours:
        if max(c) < 30:
            continue
        for t in texels:
            k = max(c) / max(t)
            if 0.3 < k <= 1.0 and all(abs(a - k * b) <= 4 for a, b in zip(c, t)):
                counts[t] += 1
                break
    return sum(1 for n in counts.values() if n >= 300)


def expect_textured_alike(editor, shots, pqtool, cube, texture, name, plain):
    """The editor's screen against pqtool render --texture: the texture shows in 3D,
    and every view has the same pixels."""
    shot = Shot(os.path.join(shots, name + "-editor.png"))
    rendered = os.path.join(shots, name + "-pqtool.png")
    picture = render_without_display(pqtool, [cube, "--texture", texture], rendered)
    px, py, w = VIEW_PLACES["3D"]
    three_d = view_pixels(picture, px, py, w, 198)
    shown = texels_shown(three_d, {t for row in TEXELS for t in row})
    expect(shown == 15, "%s: the 3D view shows %d of the texture's 15 texels" % (name, shown))
    changed = sum(1 for a, b in zip(three_d, view_pixels(plain, px, py, w, 198)) if a != b)
    expect(changed > 5000, "%s: the 3D view looks untextured (%d pixels changed)" % (name, changed))
    expect_same_views(shot, editor, picture)
    os.remove(rendered)
    os.remove(shot.path)


def case_render_textured(program, send_close, workdir, shots, pqtool):
    """The sample cube with a texture chosen in the editor (toolbar button and
    file dialog) against pqtool render --texture: the same pixels in all four
    views, for a PNG (read by libpng in both) and then a BMP (read by the
    window layer in the editor, by pqtool's own reader without a display)."""
    cube = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples", "cube.pq"))
    png = os.path.join(workdir, "texels.png")
    write_png(png, 5, 3, lambda x, y: TEXELS[y][x])
    bmp = os.path.join(workdir, "texels.bmp")
    write_bmp(bmp, TEXELS)
    plain = render_without_display(pqtool, [cube], os.path.join(workdir, "plain.png"))
    editor = Editor(program, [cube], workdir)
    try:
        for texture, name in ((png, "render-textured-png"), (bmp, "render-textured-bmp")):
            editor.button("choosetexture")
            editor.answer_file_dialog(texture, "^Texture$")
            time.sleep(1.5)  # several redraws with the new texture
            expect_textured_alike(editor, shots, pqtool, cube, texture, name, plain)
    finally:
        editor.stop()


def case_shading(program, send_close, workdir, shots):
    """The 3D view of the real program: a JPEG texture on the triangle that runs
    clockwise in Front, nothing of its counter-clockwise mirror (culled); the
    (0.75, 0.75, 0) tint once it is selected; nothing at all after zooming out
    to -1. (Texel order and row alignment: gui.render.textured.)"""
    path = os.path.join(workdir, "pair.pq")
    clockwise = [(0, 0, -0.9, 0.6, 0.0), (0, 0, -0.1, 0.6, 0.0), (0, 0, -0.5, -0.4, 0.0)]
    counter = [(0, 0, 0.1, 0.6, 0.0), (0, 0, 0.5, -0.4, 0.0), (0, 0, 0.9, 0.6, 0.0)]
    write_pq(path, [clockwise, counter])
    png = os.path.join(workdir, "texture.png")
    write_png(png, 5, 3, lambda x, y: (200, 40, 40))
    jpeg = os.path.join(workdir, "texture.jpg")
    subprocess.run(["convert", png, "-quality", "100", jpeg], check=True, timeout=30)
    editor = Editor(program, [path], workdir)
    try:
        ox, oy = editor.view_origin("3D")
        # Centroids of the two triangles in the 250 x 198 view at orbit 0.
        left, right = (ox + 62, oy + 72), (ox + 187, oy + 72)

        def near(c, expected, tolerance=12):
            return all(abs(a - b) <= tolerance for a, b in zip(c, expected))

        editor.button("choosetexture")
        editor.answer_file_dialog(jpeg, "^Texture$")
        time.sleep(1.0)
        shot = Shot(os.path.join(shots, "shading.png"))
        expect(near(shot.at(*left), (200, 40, 40)), "the clockwise triangle does not show the JPEG: %r" % (shot.at(*left),))
        expect(shot.at(*right) == (0, 0, 0), "the counter-clockwise triangle is not culled: %r" % (shot.at(*right),))

        editor.button("triangleup")
        time.sleep(0.5)
        shot = Shot(os.path.join(shots, "shading.png"))
        expect(near(shot.at(*left), (150, 30, 0)), "the selected triangle is not tinted: %r" % (shot.at(*left),))

        for _ in range(4):
            editor.button("zoomout")
        time.sleep(0.5)
        shot = Shot(os.path.join(shots, "shading.png"))
        expect(shot.count(ox + 40, oy + 40, ox + 210, oy + 180, lambda c: c != (0, 0, 0)) == 0,
               "something is still drawn in 3D at zoom -1")
        os.remove(os.path.join(shots, "shading.png"))
    finally:
        editor.stop()


CASES = {"startup": case_startup, "mesh": case_mesh, "commandline": case_command_line, "close": case_close,
         "render": case_render, "render.textured": case_render_textured,
         "shading": case_shading}


if __name__ == "__main__":
    sys.exit(run_case(CASES))
