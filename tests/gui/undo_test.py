#!/usr/bin/env python3
"""undo_test.py: undo, redo and the unsaved-changes question in the real
polyquill under Xvfb, keys sent with xdotool at full speed. One case per run:

    undo_test.py PROGRAM SEND_CLOSE CASE SHOT_DIR

Every wait polls for the file or window it needs, with a generous bound.
"""
import os
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gui_support import Editor, Failure, expect, run, run_case, write_pq  # noqa: E402

TRIANGLES = [[(0.0, 0.0, -0.5, -0.5, 0.0), (1.0, 1.0, 0.5, 0.5, 0.0), (0.0, 1.0, -0.5, 0.5, 0.0)],
             [(0.0, 0.0, -0.5, -0.5, 0.0), (1.0, 0.0, 0.5, -0.5, 0.0), (1.0, 1.0, 0.5, 0.5, 0.0)]]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def wait_for(what, test, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        value = test()
        if value:
            return value
        time.sleep(0.1)
    raise Failure("timed out waiting for " + what)


def saved(path, previous):
    """Waits until a save has replaced the file (a new inode: saves write a new file and rename it)."""
    wait_for("%s to be saved" % path, lambda: os.path.exists(path) and os.stat(path).st_ino != previous)
    return read(path)


def window_ids(name):
    # Names are matched without regard to case, and Qt keeps a hidden window named "polyquill".
    return run(["xdotool", "search", "--onlyvisible", "--name", name]).split()


def keys(*names):
    run(["xdotool", "key"] + list(names))


def start(program, workdir, path):
    editor = Editor(program, [path], workdir)
    # A click on the greyed create-vertex button gives the main window the keyboard.
    editor.button("createvertex")
    return editor


def case_delete(program, send_close, workdir, shots):
    """Delete (every vertex is selected after Open), Ctrl+S, Ctrl+Z, Ctrl+S: the original bytes again."""
    path = os.path.join(workdir, "quad.pq")
    write_pq(path, TRIANGLES)
    original = read(path)
    editor = start(program, workdir, path)
    try:
        inode = os.stat(path).st_ino
        keys("Delete", "ctrl+s")
        expect(saved(path, inode) == b"", "Delete did not empty the mesh")
        inode = os.stat(path).st_ino
        keys("ctrl+z", "ctrl+s")
        expect(saved(path, inode) == original, "Ctrl+Z did not bring the mesh back")
        inode = os.stat(path).st_ino
        keys("ctrl+shift+z", "ctrl+s")
        expect(saved(path, inode) == b"", "Ctrl+Shift+Z did not delete again")
    finally:
        editor.stop()


def case_quit(program, send_close, workdir, shots):
    """A new vertex, then Ctrl+Q or the close box: the question; Escape keeps the editor and the file."""
    path = os.path.join(workdir, "quad.pq")
    write_pq(path, TRIANGLES)
    original = read(path)
    editor = start(program, workdir, path)
    try:
        fx, fy = editor.view_origin("Front")
        editor.click(fx + 40, fy + 40)  # the create-vertex tool; the Front view has the keyboard now
        for leave in ("ctrl+q", "close box"):
            if leave == "ctrl+q":
                keys("ctrl+q")
            else:
                run([send_close, editor.main])
            question = wait_for("the question after " + leave, lambda: window_ids("^Polyquill$"))
            keys("Escape")
            wait_for("the question to close", lambda: not window_ids("^Polyquill$"))
            time.sleep(0.5)
            expect(editor.process.poll() is None, "the editor ended after Cancel (%s)" % leave)
            expect(read(path) == original, "the file changed")
            expect(question, "no question")
    finally:
        editor.stop()


def case_drag(program, send_close, workdir, shots):
    """Key 2 chooses the move tool, which drags the selected vertices; one Ctrl+Z undoes the whole drag."""
    path = os.path.join(workdir, "quad.pq")
    write_pq(path, TRIANGLES)
    original = read(path)
    editor = start(program, workdir, path)
    try:
        keys("2")  # the move tool
        fx, fy = editor.view_origin("Front")
        # At full speed: every motion and the release count, however fast they come.
        run(["xdotool", "mousemove", str(fx + 124), str(fy + 99), "mousedown", "1"])
        for step in range(1, 11):
            run(["xdotool", "mousemove", str(fx + 124 + 6 * step), str(fy + 99 + 3 * step)])
        run(["xdotool", "mouseup", "1"])
        inode = os.stat(path).st_ino
        keys("ctrl+s")
        expect(saved(path, inode) != original, "the drag moved nothing")
        inode = os.stat(path).st_ino
        keys("ctrl+z", "ctrl+s")
        expect(saved(path, inode) == original, "one Ctrl+Z did not undo the whole drag")
    finally:
        editor.stop()


if __name__ == "__main__":
    sys.exit(run_case({"delete": case_delete, "quit": case_quit, "drag": case_drag}, "undo-"))
