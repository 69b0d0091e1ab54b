#!/usr/bin/env python3
"""The desktop files and the Debian package, checked as a desktop and dpkg see them.

desktop_test.py files SOURCE PQTOOL: the MIME types as the shared MIME database finds them, the desktop entry,
the thumbnailer and the thumbnail it makes. desktop_test.py package BUILD: cpack's .deb, its files, its Depends,
and its pqtool run from where the package puts it."""
import configparser
import os
import subprocess
import sys
import tempfile


def run(*command, **options):
    """What the command said on its standard error, then its standard output; it must succeed."""
    done = subprocess.run(command, check=True, capture_output=True, text=True, **options)
    return done.stderr + done.stdout


def entry(path, group):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    parser.read(path)
    return dict(parser[group])


def check_files(source, pqtool, tmp):
    desktop = os.path.join(source, "desktop")
    os.makedirs(f"{tmp}/mime/packages")
    run("cp", f"{desktop}/polyquill.xml", f"{tmp}/mime/packages/")
    run("update-mime-database", f"{tmp}/mime")
    samples = {"cube.pq": open(f"{source}/samples/cube.pq", "rb").read(),
               "scene.asc": open(f"{source}/tests/data/asc/TESTI.ASC", "rb").read(),
               "notes.asc": b"a plain text\n", "key.asc": b"-----BEGIN PGP SIGNATURE-----\n\nxyz\n",
               "scan.ply": b"ply\nformat ascii 1.0\nend_header\n"}
    for name, data in samples.items():
        open(f"{tmp}/{name}", "wb").write(data)
    found = run("gio", "info", "-a", "standard::content-type", *[f"{tmp}/{n}" for n in samples],
                env=dict(os.environ, XDG_DATA_DIRS=f"{tmp}:/usr/share", XDG_DATA_HOME=tmp))
    types = [line.split(": ")[1] for line in found.splitlines() if "content-type" in line]
    assert types == ["model/x-polyquill", "model/x-3dstudio-ascii", "text/plain", "application/pgp-signature",
                     "model/x-ply"], types

    run("desktop-file-validate", f"{desktop}/polyquill.desktop")
    app = entry(f"{desktop}/polyquill.desktop", "Desktop Entry")
    assert (app["Exec"], app["Icon"]) == ("polyquill %f", "polyquill"), app
    assert app["MimeType"] == "model/x-polyquill;model/x-3dstudio-ascii;model/obj;model/stl;model/x-ply;" \
        "model/gltf-binary;model/gltf+json;model/vnd.collada+xml;image/x-3ds;model/x-fbx;", app
    thumbnailer = entry(f"{desktop}/polyquill.thumbnailer", "Thumbnailer Entry")
    assert thumbnailer == {"TryExec": "pqtool", "Exec": "pqtool thumbnail %i %o %s",
                           "MimeType": "model/x-polyquill;model/x-3dstudio-ascii;"}, thumbnailer
    # The file manager's call, its arguments as the entry gives them.
    command = thumbnailer["Exec"].replace("%i", f"{tmp}/cube.pq").replace("%o", f"{tmp}/t.png").replace("%s", "128")
    run(pqtool, *command.split()[1:])
    assert run("identify", "-format", "%w %h %m", f"{tmp}/t.png") == "128 128 PNG"


def check_package(build, tmp):
    run("cpack", "-G", "DEB", "-B", tmp, "-D", "CPACK_DEBIAN_COMPRESSION_TYPE=gzip", cwd=build)
    debs = [name for name in os.listdir(tmp) if name.endswith(".deb")]
    assert debs == ["polyquill_1.1_amd64.deb"], debs
    deb = f"{tmp}/{debs[0]}"
    listed = {line.split()[-1].lstrip(".") for line in run("dpkg-deb", "-c", deb).splitlines()}
    lib = next(path for path in listed if path.endswith("/polyquill/polyquill"))[:-len("/polyquill")]
    expected = {"/usr/bin/polyquill", "/usr/bin/pqtool", f"{lib}/pqtool", f"{lib}/pq_import_helper",
                f"{lib}/pq_export_helper", f"{lib}/Images/Front.bmp", f"{lib}/Images/toolbar_01.ico",
                "/usr/share/applications/polyquill.desktop", "/usr/share/mime/packages/polyquill.xml",
                "/usr/share/thumbnailers/polyquill.thumbnailer", "/usr/share/man/man1/polyquill.1",
                "/usr/share/man/man1/pqtool.1", "/usr/share/bash-completion/completions/pqtool"}
    expected |= {f"/usr/share/icons/hicolor/{s}x{s}/apps/polyquill.png" for s in (16, 24, 32, 48, 64, 128, 256)}
    assert expected <= listed, sorted(expected - listed)
    depends = run("dpkg-deb", "-f", deb, "Depends")
    for library in ("libqt6widgets6", "libqt6opengl6", "libassimp5", "libpng16-16", "libjpeg62-turbo", "libegl1",
                    "libc6"):
        assert library in depends, (library, depends)
    # Installed files work where the package puts them: the launcher finds pqtool, pqtool its Images.
    run("dpkg-deb", "-x", deb, f"{tmp}/root")
    said = run(f"{tmp}/root/usr/bin/pqtool", "cube", f"{tmp}/cube.pq")
    said += run(f"{tmp}/root/usr/bin/pqtool", "render", f"{tmp}/cube.pq", f"{tmp}/r.png")
    assert said.endswith(f"wrote {tmp}/r.png: 500x400\n") and "labels are missing" not in said, said


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as folder:
        if sys.argv[1] == "files":
            check_files(sys.argv[2], sys.argv[3], folder)
        else:
            check_package(sys.argv[2], folder)
