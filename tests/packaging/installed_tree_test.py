#!/usr/bin/python3
"""Keyvane as `cmake --install` lays it out, in a temporary DESTDIR under the prefix /usr: the
files and where they go, no path of the build folder in any of them, the desktop entry, icons
and metainfo as the desktop's tools check them, and the installed programs run from there:
keyvane on a demo token made with the installed virtual token (on a private X server, driven
by keystrokes), keyvane's user-interface test mode on the installed virtual token, and
keyvane-credential-ext answering a bad request.

Usage: installed_tree_test.py --build DIR --version V --bindir D --private-libdir D
       --datadir D --app-id ID --icon-sizes 16,24,...
"""
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import layout as installed_layout  # noqa: E402

LAYOUT = None
PIN = "12345678"
DEMO_TOKEN_LABEL = "Keyvane demo token"


def wait_for(condition, timeout, step=0.1):
    """Polls CONDITION until it holds (its value) or TIMEOUT seconds pass (None)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="keyvane-installed-")
        cls.root = os.path.join(cls.work, "root")
        environment = dict(os.environ, DESTDIR=cls.root)
        subprocess.run(["cmake", "--install", LAYOUT.build, "--prefix", "/usr"], env=environment, check=True,
                       stdout=subprocess.DEVNULL)
        cls.prefix = os.path.join(cls.root, "usr")
        cls.bindir = os.path.join(cls.prefix, LAYOUT.bindir)
        cls.private_libdir = os.path.join(cls.prefix, LAYOUT.private_libdir)
        cls.share = os.path.join(cls.prefix, LAYOUT.datadir)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def run_environment(self, name):
        """An environment that reaches nothing of the user's or of the build folder: a group
        folder and XDG folders of the test's own, no TPM, no system bus, no display."""
        home = tempfile.mkdtemp(prefix=name + "-", dir=self.work)
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith(("KEYVANE_", "QT_", "XDG_", "SOFTHSM2_"))
                       and key not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SYSTEM_BUS_ADDRESS")}
        for folder in ("group", "config", "data", "cache", "runtime"):
            os.mkdir(os.path.join(home, folder), 0o700)
        environment.update(KEYVANE_GROUP_DIR=os.path.join(home, "group"),
                           XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_DATA_HOME=os.path.join(home, "data"),
                           XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_RUNTIME_DIR=os.path.join(home, "runtime"),
                           KEYVANE_TPM_TCTI="none", DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + os.path.join(home, "no-bus"),
                           QT_QUICK_BACKEND="software", QT_ACCESSIBILITY="0", LC_ALL="C.UTF-8")
        return home, environment

    def test_files_go_where_the_layout_says(self):
        self.assertEqual(installed_layout.files_under(self.root), installed_layout.expected_files(LAYOUT))
        for program in ("keyvane", "keyvane-credential-ext"):
            self.assertTrue(os.access(os.path.join(self.bindir, program), os.X_OK), program)
        self.assertTrue(os.access(os.path.join(self.private_libdir, "make-demo-token"), os.X_OK))

    def test_no_installed_file_names_the_build_folder(self):
        for build in {LAYOUT.build, os.path.realpath(LAYOUT.build)}:
            self.assertEqual(installed_layout.files_holding(self.root, build), [], build)

    def test_icons_are_the_drawing_and_bitmaps_of_their_folders_size(self):
        icons = os.path.join(self.share, "icons", "hicolor")
        with open(os.path.join(icons, "scalable", "apps", LAYOUT.app_id + ".svg")) as drawing:
            self.assertEqual(ElementTree.parse(drawing).getroot().tag, "{http://www.w3.org/2000/svg}svg")
        for size in LAYOUT.icon_sizes:
            bitmap = os.path.join(icons, "%dx%d" % (size, size), "apps", LAYOUT.app_id + ".png")
            self.assertEqual(installed_layout.png_size(bitmap), (size, size), bitmap)

    def test_desktop_entry_and_metainfo_pass_the_desktops_validators(self):
        entry = os.path.join(self.share, "applications", LAYOUT.app_id + ".desktop")
        metainfo = os.path.join(self.share, "metainfo", LAYOUT.app_id + ".metainfo.xml")
        checked = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        # Hints are suggestions; errors and warnings fail.
        problems = [line for line in checked.stdout.splitlines() if "hint:" not in line]
        self.assertEqual((checked.returncode, problems), (0, []), checked.stdout + checked.stderr)
        checked = subprocess.run(["appstreamcli", "validate", "--no-net", "--no-color", metainfo],
                                 capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

        # They name what is installed: the program, the icon, the entry; the newest release is
        # this version.
        with open(entry) as lines:
            keys = dict(line.rstrip("\n").split("=", 1) for line in lines if "=" in line)
        self.assertEqual(keys["Exec"].split()[0], "keyvane")
        self.assertEqual(keys["Icon"], LAYOUT.app_id)
        self.assertEqual(keys["Categories"], "Utility;Security;")
        component = ElementTree.parse(metainfo).getroot()
        self.assertEqual(component.findtext("id"), LAYOUT.app_id)
        self.assertEqual(component.findtext("launchable"), LAYOUT.app_id + ".desktop")
        self.assertIsNotNone(component.find("content_rating[@type='oars-1.1']"))
        self.assertEqual(component.find("releases/release").get("version"), LAYOUT.version)
        self.assertIsNone(component.find("screenshots"))

    def test_credential_extension_answers_a_bad_request_cancelled(self):
        home, environment = self.run_environment("extension")
        answered = subprocess.run([os.path.join(self.bindir, "keyvane-credential-ext")], input='{"request": ',
                                  capture_output=True, text=True, env=environment, timeout=60)
        self.assertEqual(answered.returncode, 0, answered.stderr)
        self.assertEqual([json.loads(line) for line in answered.stdout.splitlines()],
                         [{"result": "cancelled", "code": 0}])
        self.assertEqual(os.listdir(os.path.join(home, "group")), [])

    def test_user_interface_test_mode_runs_on_the_installed_virtual_token(self):
        # A scenario that opens the login sheet: its token monitoring loads the sandbox's
        # module, the installed virtual token. A module that cannot be loaded shows an alert
        # over the sheet at once.
        home, environment = self.run_environment("uitest")
        probe = os.path.join(home, "probe")
        os.mkdir(probe)
        environment.update(QT_QPA_PLATFORM="offscreen", KEYVANE_UI_TEST_PROBE=probe,
                           UI_TEST_CASE="mac-login-waiting-for-any")
        program = subprocess.Popen([os.path.join(self.bindir, "keyvane"), "UI-Testing"], env=environment,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        try:
            def shown():
                try:
                    with open(os.path.join(probe, "tree.json")) as tree:
                        screen = json.load(tree)
                except (OSError, ValueError):
                    return None
                return screen["frame"], {item["objectName"] for item in screen["items"]
                                         if item["visible"] and item["opacity"] > 0}

            sheet = wait_for(lambda: (lambda s: s if s and "noTokenPane" in s[1] else None)(shown()), 60)
            self.assertIsNotNone(sheet, "the login sheet never showed")
            # A second of frames after the sheet showed, none with an alert.
            later = wait_for(lambda: (lambda s: s if s and s[0] >= sheet[0] + 5 else None)(shown()), 30)
            self.assertIsNotNone(later, "the probe stopped writing")
            self.assertNotIn("alert", sheet[1] | later[1])
            self.assertIsNone(program.poll())
        finally:
            program.terminate()
            output, _ = program.communicate(timeout=30)
        self.assertEqual(program.returncode, 0, output)

    def test_keyvane_stays_up_and_shows_a_demo_token_of_the_installed_virtual_token(self):
        home, environment = self.run_environment("demo")
        made = subprocess.run([os.path.join(self.private_libdir, "make-demo-token"), os.path.join(home, "token")],
                              capture_output=True, text=True, env=environment, check=True)
        demo = dict(line.split("=", 1) for line in made.stdout.split())
        # Without --module, the demo script takes the virtual token installed beside it.
        self.assertEqual(demo["KEYVANE_PKCS11_MODULE"], os.path.join(self.private_libdir, "libkeyvane-virtual-token.so"))
        environment.update(demo)
        group = environment["KEYVANE_GROUP_DIR"]
        # A user past the onboarding who turned the extension on: Synchronise opens the sheet.
        for name, contents in (("preferences.json", {"onboardingStatus": 4}),
                               ("credential-identities.json", {"format": 1, "extensionEnabled": True, "identities": []})):
            with open(os.path.join(group, name), "w") as stored:
                json.dump(contents, stored)
            os.chmod(os.path.join(group, name), 0o600)

        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as display:
            environment["DISPLAY"] = ":" + display.readline().strip()
        environment["QT_QPA_PLATFORM"] = "xcb"
        program = None
        try:
            program = subprocess.Popen([os.path.join(self.bindir, "keyvane")], env=environment,
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

            def xdotool(*words):
                return subprocess.run(["xdotool", *words], env=environment, check=True, capture_output=True,
                                      text=True, timeout=30).stdout

            window = xdotool("search", "--sync", "--name", "^Keyvane$").split()[0]
            xdotool("windowfocus", "--sync", window)
            calls = os.path.join(home, "token", "calls.log")
            # Tab reaches the empty list's Synchronise; the sheet's monitoring then lists the slots.
            for _ in range(5):
                time.sleep(1.0)  # the window shows its first state
                xdotool("key", "--delay", "100", "Tab", "Return")
                if wait_for(lambda: os.path.exists(calls) and "C_GetSlotList" in open(calls).read(), 10):
                    break
            else:
                self.fail("Synchronise never started the token monitoring")

            def demo_token_recorded():
                records = os.path.join(group, "records.sqlite")
                if not os.path.exists(records):
                    return False
                with sqlite3.connect("file:%s?mode=ro" % records, uri=True, timeout=5) as connection:
                    try:
                        labels = [row[0] for row in connection.execute("SELECT label FROM TokenStorableInfo")]
                    except sqlite3.OperationalError:
                        return False
                return DEMO_TOKEN_LABEL in labels

            # The one token opens its PIN pane a second or so after the sheet; keys typed before it
            # are lost, so the PIN goes again until the token is recorded and shown.
            for _ in range(8):
                time.sleep(1.5)
                xdotool("type", "--delay", "60", PIN)
                xdotool("key", "Return")
                if wait_for(demo_token_recorded, 3.5):
                    break
            else:
                self.fail("the demo token was never recorded")
            time.sleep(1.0)
            self.assertIsNone(program.poll(), "keyvane is no longer running")
            program.send_signal(signal.SIGTERM)
            output, _ = program.communicate(timeout=30)
            self.assertEqual(program.returncode, 0, output)
        finally:
            if program is not None and program.poll() is None:
                program.kill()
                program.communicate()
            xvfb.terminate()
            xvfb.wait()


if __name__ == "__main__":
    LAYOUT = installed_layout.parse_arguments(sys.argv[1:])
    unittest.main(argv=[sys.argv[0]], verbosity=2)
