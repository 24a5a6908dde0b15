#!/usr/bin/python3
"""The Debian package that `cpack -G DEB` makes from the build: its control fields (the
library dependencies found from the binaries, and what the programs load at run time), and its
content once extracted with dpkg-deb: the installed layout under /usr, the programs stripped,
no path of the build folder.

Usage: debian_package_test.py --build DIR --version V --bindir D --private-libdir D
       --datadir D --app-id ID --icon-sizes 16,24,...
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import layout as installed_layout  # noqa: E402

LAYOUT = None


def package_names(field):
    """The package names of a relationship field, versions and alternatives aside."""
    return {re.split(r"[\s(]", alternative.strip(), maxsplit=1)[0]
            for relation in field.split(",") if relation.strip()
            for alternative in relation.split("|")}


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="keyvane-deb-")
        subprocess.run(["cpack", "-G", "DEB", "--config", os.path.join(LAYOUT.build, "CPackConfig.cmake"),
                        "-B", cls.work], check=True, stdout=subprocess.DEVNULL)
        packages = glob.glob(os.path.join(cls.work, "*.deb"))
        assert len(packages) == 1, packages
        cls.package = packages[0]
        cls.root = os.path.join(cls.work, "root")
        subprocess.run(["dpkg-deb", "-x", cls.package, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def field(self, name):
        return subprocess.run(["dpkg-deb", "-f", self.package, name], check=True, capture_output=True,
                              text=True).stdout.strip()

    def test_control_fields_name_the_package_and_what_it_runs_on(self):
        self.assertEqual(self.field("Package"), "keyvane")
        self.assertEqual(self.field("Version"), LAYOUT.version)
        self.assertEqual(os.path.basename(self.package), "keyvane_%s_%s.deb" % (LAYOUT.version, self.field("Architecture")))
        depends = package_names(self.field("Depends"))
        # Found from the binaries' libraries.
        self.assertLessEqual({"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6qml6", "libqt6quick6",
                              "libqt6dbus6", "libssl3", "libsqlite3-0", "libtss2-esys-3.0.2-0"}, depends)
        # Loaded at run time: the default PKCS#11 module, the QML modules and the SVG image
        # plugin the views use, the pinned font.
        self.assertLessEqual({"p11-kit-modules", "qml6-module-qtquick", "qml6-module-qtquick-controls",
                              "qml6-module-qtquick-templates", "qml6-module-qtquick-layouts",
                              "qml6-module-qtquick-window", "qml6-module-qtqml-workerscript", "libqt6svg6",
                              "fonts-dejavu-core"}, depends)
        # The virtual token forwards to SoftHSM2: the demo token and the test mode need it,
        # real tokens do not.
        self.assertNotIn("softhsm2", depends)
        self.assertIn("softhsm2", package_names(self.field("Recommends")))

    def test_content_is_the_installed_layout_under_usr(self):
        self.assertEqual(installed_layout.files_under(self.root), installed_layout.expected_files(LAYOUT))

    def test_programs_and_module_are_stripped_and_name_no_build_folder(self):
        for name in ("keyvane", "keyvane-credential-ext"):
            self.assert_stripped(os.path.join(self.root, "usr", LAYOUT.bindir, name))
        self.assert_stripped(os.path.join(self.root, "usr", LAYOUT.private_libdir, "libkeyvane-virtual-token.so"))
        for build in {LAYOUT.build, os.path.realpath(LAYOUT.build)}:
            self.assertEqual(installed_layout.files_holding(self.root, build), [], build)

    def assert_stripped(self, path):
        sections = subprocess.run(["readelf", "--section-headers", "--wide", path], check=True, capture_output=True,
                                  text=True).stdout
        self.assertNotIn(".debug_info", sections, path)
        self.assertNotIn(".symtab", sections, path)


if __name__ == "__main__":
    LAYOUT = installed_layout.parse_arguments(sys.argv[1:])
    unittest.main(argv=[sys.argv[0]], verbosity=2)
