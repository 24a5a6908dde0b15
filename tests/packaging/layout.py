"""What an installed Keyvane holds, shared by the tests of the installed tree and of the
Debian package. The build passes its install folders and names on the command line."""
import argparse
import os
import struct


def parse_arguments(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the build folder")
    parser.add_argument("--version", required=True, help="the project's version")
    parser.add_argument("--bindir", required=True)
    parser.add_argument("--private-libdir", required=True)
    parser.add_argument("--datadir", required=True)
    parser.add_argument("--app-id", required=True)
    parser.add_argument("--icon-sizes", required=True, help="pixel sizes, separated by commas")
    arguments = parser.parse_args(argv)
    arguments.icon_sizes = [int(size) for size in arguments.icon_sizes.split(",")]
    return arguments


def expected_files(layout, prefix="usr"):
    """Every file installed under PREFIX, as paths relative to the root of the install."""
    share = os.path.join(prefix, layout.datadir)
    icons = os.path.join(share, "icons", "hicolor")
    files = {
        os.path.join(prefix, layout.bindir, "keyvane"),
        os.path.join(prefix, layout.bindir, "keyvane-credential-ext"),
        os.path.join(prefix, layout.private_libdir, "libkeyvane-virtual-token.so"),
        os.path.join(prefix, layout.private_libdir, "make-demo-token"),
        os.path.join(share, "applications", layout.app_id + ".desktop"),
        os.path.join(share, "metainfo", layout.app_id + ".metainfo.xml"),
        os.path.join(icons, "scalable", "apps", layout.app_id + ".svg"),
    }
    files.update(os.path.join(icons, "%dx%d" % (size, size), "apps", layout.app_id + ".png")
                 for size in layout.icon_sizes)
    return files


def files_under(root):
    """Every file (and symbolic link) under ROOT, relative to it."""
    found = set()
    for folder, _, names in os.walk(root):
        found.update(os.path.relpath(os.path.join(folder, name), root) for name in names)
    return found


def files_holding(root, text):
    """The files under ROOT whose bytes hold TEXT anywhere (debugging information included)."""
    needle = text.encode()
    return sorted(name for name in files_under(root) if needle in open(os.path.join(root, name), "rb").read())


def png_size(path):
    """Width and height from a PNG's header chunk."""
    with open(path, "rb") as image:
        header = image.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n" or header[12:16] != b"IHDR":
        raise ValueError("%s is not a PNG" % path)
    return struct.unpack(">II", header[16:24])
