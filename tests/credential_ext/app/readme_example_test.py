"""The README's example of the credential extension, run as a new user would after scripts/run:
the request it shows, on the demo token of scripts/run (scripts/with-demo-token, which
`scripts/run --extension` runs), with nothing else set, its window on an X server of its own.
The program loads the token's module only when it first needs a token, so the test presses
Return (Continue) as the README says; the token must then start (no error of the virtual
token, no alert), the window must wait for the PIN, and closing it (SIGTERM) must answer the
request as cancelled by the user.

Usage: readme_example_test.py REPOSITORY PROGRAM
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from extension_end_to_end import start_xvfb  # noqa: E402

TIMEOUT = 60


def readme_request(repository):
    """The JSON request of the README's example: the text between `echo '` and `' |`."""
    with open(os.path.join(repository, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    found = re.search(r"^echo '(\{.*?\})' \|\s*\\?\s*scripts/run --extension", text, re.S | re.M)
    if found is None:
        raise SystemExit("the README has no example piped to scripts/run --extension")
    return json.loads(found.group(1))


def main(repository, program):
    request = readme_request(repository)
    work = tempfile.mkdtemp(prefix="keyvane-readme-")
    xvfb, display = start_xvfb()
    try:
        data = os.path.join(work, "data")
        group = os.path.join(data, "keyvane", "group.Keyvane.shared")
        os.makedirs(group, 0o700)
        # What Synchronise in keyvane leaves behind once the user turned the extension on.
        identities = os.path.join(group, "credential-identities.json")
        with open(identities, "w") as out:
            json.dump({"format": 1, "extensionEnabled": True, "identities": []}, out)
        os.chmod(identities, 0o600)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("KEYVANE_", "SOFTHSM2_"))}
        env.update(XDG_DATA_HOME=data, KEYVANE_GROUP_DIR=group, XDG_RUNTIME_DIR=work,
                   QT_QPA_PLATFORM="xcb", DISPLAY=display, QT_QUICK_BACKEND="software", QT_ACCESSIBILITY="0",
                   LC_ALL="C.UTF-8")
        env.pop("WAYLAND_DISPLAY", None)
        calls = os.path.join(data, "keyvane-demo", "token", "calls.log")
        for attempt in ("a new demo token", "the same demo token again"):
            before = 0 if attempt.startswith("a new") else os.path.getsize(calls)
            process = subprocess.Popen([os.path.join(repository, "scripts", "with-demo-token"), program],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       env=env, text=True)
            process.stdin.write(json.dumps(request))
            process.stdin.close()
            process.stdin = None
            started = time.monotonic()
            # Continue, as a user does first (bare Xvfb has no window manager to give the keyboard).
            xdotool = dict(env=env, check=True, capture_output=True, text=True, timeout=TIMEOUT)
            window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Keyvane$"],
                                    **xdotool).stdout.split()[0]
            subprocess.run(["xdotool", "windowfocus", "--sync", window], **xdotool)
            time.sleep(1)  # the window's first frame
            subprocess.run(["xdotool", "key", "Return"], **xdotool)
            while time.monotonic() - started < TIMEOUT:
                if os.path.exists(calls) and "C_Initialize" in open(calls).read()[before:]:
                    break
                if process.poll() is not None:
                    break
                time.sleep(0.1)
            time.sleep(1)  # the launch's own work after the token started
            process.send_signal(signal.SIGTERM)
            out, err = process.communicate(timeout=TIMEOUT)
            log = open(calls).read()[before:] if os.path.exists(calls) else ""
            initialised = [line for line in log.splitlines() if "\tC_Initialize\t" in line]
            problems = []
            if not initialised or not initialised[0].endswith("0x0"):
                problems.append("the token did not start: %r" % initialised)
            if "keyvane-virtual-token:" in err or "Alert " in err:
                problems.append("errors on standard error")
            if [json.loads(line) for line in out.splitlines()] != [{"result": "cancelled", "code": 1}]:
                problems.append("answer %r" % out)
            if problems:
                raise SystemExit("%s: %s\nstderr:\n%s" % (attempt, "; ".join(problems), err))
        tokens = os.listdir(os.path.join(data, "keyvane-demo", "token", "tokens"))
        if len(tokens) != 1:
            raise SystemExit("expected one demo token, found %r" % tokens)
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("readme example: ok")


if __name__ == "__main__":
    main(*sys.argv[1:])
