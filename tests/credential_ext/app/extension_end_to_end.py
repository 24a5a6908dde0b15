#!/usr/bin/python3
"""The real keyvane-credential-ext as a browser bridge would run it: one process per request,
its window on a private X server driven by a user's keystrokes (xdotool), on a virtual token in
a temporary folder, its answers checked by python-fido2's server.

Usage: extension_end_to_end.py PROGRAM MAKE_DEMO_TOKEN MODULE
"""
import base64
import ctypes
import ctypes.util
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from fido2.client import ClientData
from fido2.ctap2 import AttestationObject, AuthenticatorData
from fido2.server import Fido2Server
from fido2.webauthn import PublicKeyCredentialRpEntity, PublicKeyCredentialUserEntity

RP_ID = "example.com"
ORIGIN = "https://example.com"
PIN = "12345678"
ANSWER_TIMEOUT = 60


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def unb64url(text):
    return base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))


def start_xvfb():
    """An X server of its own, and its display name."""
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as display:
        return xvfb, ":" + display.readline().strip()


class Session:
    """A temporary group folder, a demo token and an X server of their own."""

    def __init__(self, program, make_demo_token, module):
        self.program = program
        self.work = tempfile.mkdtemp(prefix="keyvane-ext-e2e-")
        group = os.path.join(self.work, "group")
        os.mkdir(group, 0o700)
        lines = subprocess.run([make_demo_token, "--module", module, os.path.join(self.work, "token")],
                               check=True, capture_output=True, text=True).stdout.split()
        self.env = dict(os.environ)
        self.env.update(line.split("=", 1) for line in lines)
        self.env.update(KEYVANE_GROUP_DIR=group, XDG_RUNTIME_DIR=self.work, QT_QPA_PLATFORM="xcb",
                        QT_QUICK_BACKEND="software", QT_ACCESSIBILITY="0", LC_ALL="C.UTF-8")
        self.env.pop("WAYLAND_DISPLAY", None)
        # The extension answers only once the main program has turned it on.
        with open(os.path.join(group, "credential-identities.json"), "w") as identities:
            json.dump({"format": 1, "extensionEnabled": True, "identities": []}, identities)
        os.chmod(os.path.join(group, "credential-identities.json"), 0o600)
        self.xvfb, self.env["DISPLAY"] = start_xvfb()

    def close(self):
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def start(self, request):
        process = subprocess.Popen([self.program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=self.env, text=True)
        process.stdin.write(json.dumps(request))
        process.stdin.close()
        process.stdin = None  # sent in full: communicate() only reads from here on
        return process

    def xdotool(self, *words):
        return subprocess.run(["xdotool", *words], env=self.env, check=True, capture_output=True, text=True,
                              timeout=ANSWER_TIMEOUT).stdout

    def window(self):
        """The request's window, given the keyboard (bare Xvfb has no window manager)."""
        window = self.xdotool("search", "--sync", "--name", "^Keyvane$").split()[0]
        self.xdotool("windowfocus", "--sync", window)
        return window

    def keys(self, *keys):
        for key in keys:
            self.xdotool("key", "--delay", "60", key)
            time.sleep(0.3)  # a user's pace: each key reaches the view after the previous one

    def type(self, text):
        self.xdotool("type", "--delay", "60", text)

    def pin_until_answered(self, process):
        """Types the PIN and Return once the PIN pane is up. The pane opens a second or so after
        the sheet (token events are gathered for a second), later on a busy machine: keys typed
        before it are lost, so the PIN is typed again until the answer comes. A second entry
        while a login is in flight is refused by the sheet and a right PIN ends the request; a
        pane that opens halfway through the digits costs one of the token's ten retries."""
        for _ in range(12):
            time.sleep(1.5)
            self.type(PIN)
            self.keys("Return")
            try:
                return self.answer(process, timeout=3.5)
            except subprocess.TimeoutExpired:
                continue
        return self.answer(process)

    def answer(self, process, timeout=ANSWER_TIMEOUT):
        out, err = process.communicate(timeout=timeout)
        if process.returncode != 0:
            raise SystemExit("the program exited with %d: %s" % (process.returncode, err))
        lines = out.splitlines()
        if len(lines) != 1:
            raise SystemExit("expected one answer line, got %r (stderr %s)" % (out, err))
        return json.loads(lines[0])


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def close_window(display, window):
    """What a window manager sends when the user closes a window (bare Xvfb has none, and
    xdotool's windowclose destroys the window instead of asking)."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(_Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    event = _Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(connection, window, 0, 0, ctypes.byref(event))
    x11.XFlush(connection)
    x11.XCloseDisplay(connection)


def register(session, server):
    user = PublicKeyCredentialUserEntity(b"user-handle-0001", "alice")
    _, state = server.register_begin(user, user_verification="required")
    client_data = ClientData.build(type="webauthn.create", challenge=state["challenge"], origin=ORIGIN)
    process = session.start({"request": "registration", "relyingPartyId": RP_ID, "userName": "alice",
                             "userHandle": b64url(user.id), "clientDataHash": b64url(client_data.hash)})
    session.window()
    session.keys("Return")  # Continue: the login sheet opens; the one token opens its PIN pane
    answer = session.pin_until_answered(process)
    assert answer["result"] == "registration", answer
    assert answer["relyingParty"] == RP_ID, answer
    assert unb64url(answer["clientDataHash"]) == client_data.hash
    attestation = AttestationObject(unb64url(answer["attestationObject"]))
    auth_data = server.register_complete(state, client_data, attestation)
    credential = auth_data.credential_data
    assert credential.credential_id == unb64url(answer["credentialId"])
    return credential, user


def sign_in(session, server, credential, user):
    _, state = server.authenticate_begin([credential], user_verification="required")
    client_data = ClientData.build(type="webauthn.get", challenge=state["challenge"], origin=ORIGIN)
    process = session.start({"request": "credentialList", "serviceIdentifiers": [ORIGIN], "relyingPartyId": RP_ID,
                             "clientDataHash": b64url(client_data.hash),
                             "allowedCredentials": [b64url(credential.credential_id)]})
    session.window()
    time.sleep(2.0)          # the stored passkeys are read from the records when the view shows
    session.keys("Return")   # the one passkey offered is the current choice
    answer = session.pin_until_answered(process)  # the sheet waits for the passkey's token
    assert answer["result"] == "assertion", answer
    assert unb64url(answer["credentialId"]) == credential.credential_id
    assert unb64url(answer["userHandle"]) == user.id
    server.authenticate_complete(state, [credential], unb64url(answer["credentialId"]), client_data,
                                 AuthenticatorData(unb64url(answer["authenticatorData"])),
                                 unb64url(answer["signature"]))


def sign_in_with_named_passkey(session, server, credential, user):
    """The system names the passkey (its relying party and user handle): the login sheet opens
    with the window, no choice to make."""
    _, state = server.authenticate_begin([credential], user_verification="required")
    client_data = ClientData.build(type="webauthn.get", challenge=state["challenge"], origin=ORIGIN)
    process = session.start({"request": "onePasskey", "serviceIdentifier": ORIGIN, "relyingPartyId": RP_ID,
                             "userHandle": b64url(user.id), "clientDataHash": b64url(client_data.hash)})
    session.window()
    answer = session.pin_until_answered(process)  # the sheet waits for the passkey's token
    assert answer["result"] == "assertion", answer
    server.authenticate_complete(state, [credential], unb64url(answer["credentialId"]), client_data,
                                 AuthenticatorData(unb64url(answer["authenticatorData"])),
                                 unb64url(answer["signature"]))


def nothing_offered_to_another_site(session):
    """The choice for another relying party is empty: Return chooses nothing (a chosen passkey
    would open the login sheet, where Escape only closes the sheet), Escape cancels."""
    process = session.start({"request": "credentialList", "serviceIdentifiers": ["https://other.example"],
                             "relyingPartyId": "other.example", "clientDataHash": b64url(bytes(32)),
                             "allowedCredentials": []})
    session.window()
    time.sleep(1.0)
    session.keys("Down", "Return", "Escape")
    answer = session.answer(process)
    assert answer == {"result": "cancelled", "code": 1}, answer


def closed_window_and_signal_cancel(session):
    request = {"request": "registration", "relyingPartyId": RP_ID, "userName": "bob",
               "userHandle": b64url(b"user-handle-0002"), "clientDataHash": b64url(bytes(32))}
    process = session.start(request)
    window = session.window()
    close_window(session.env["DISPLAY"], int(window))
    answer = session.answer(process)
    assert answer == {"result": "cancelled", "code": 1}, answer

    process = session.start(request)
    session.window()
    process.send_signal(signal.SIGTERM)
    answer = session.answer(process)
    assert answer == {"result": "cancelled", "code": 1}, answer


def bad_request_touches_nothing(session):
    group = session.env["KEYVANE_GROUP_DIR"]
    before = sorted(os.listdir(group))
    process = session.start({"request": "registration", "relyingPartyId": RP_ID})
    answer = session.answer(process)
    assert answer == {"result": "cancelled", "code": 0}, answer
    assert sorted(os.listdir(group)) == before

    # A caller gone before the answer (its end of the pipe closed) is told on standard error;
    # the program still exits 0 rather than dying of the broken pipe.
    read, write = os.pipe()
    os.close(read)
    try:
        done = subprocess.run([session.program], input=json.dumps({"request": "registration"}), stdout=write,
                              stderr=subprocess.PIPE, env=session.env, text=True, timeout=ANSWER_TIMEOUT)
    finally:
        os.close(write)
    assert done.returncode == 0, (done.returncode, done.stderr)
    assert "the answer could not be written" in done.stderr, done.stderr


def silent_request(relying_party=RP_ID):
    return json.dumps({"request": "withoutUserInteraction", "serviceIdentifier": ORIGIN,
                       "relyingPartyId": relying_party, "userHandle": b64url(b"user-handle-0001"),
                       "clientDataHash": b64url(bytes(32))})


def read_line(process, timeout):
    """One line of the program's standard output, or nothing after timeout seconds."""
    ready, _, _ = select.select([process.stdout], [], [], timeout)
    return process.stdout.readline() if ready else None


def answered_while_the_pipe_stays_open(session):
    """A bridge writes its request and keeps its end of standard input open for the answer: the
    program answers once the object has arrived, and refuses what follows it in the same input
    (a NUL byte would otherwise have hidden the rest from the parser)."""
    for sent, expected in [(silent_request(), {"result": "cancelled", "code": 100}),
                           (silent_request() + "\n", {"result": "cancelled", "code": 100}),
                           (silent_request() + "\0anything", {"result": "cancelled", "code": 0}),
                           (silent_request() + silent_request(), {"result": "cancelled", "code": 0})]:
        process = subprocess.Popen([session.program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, env=session.env, text=True)
        try:
            process.stdin.write(sent)
            process.stdin.flush()
            line = read_line(process, ANSWER_TIMEOUT)
            assert line is not None, "no answer while the pipe is open, after %r" % sent
            assert json.loads(line) == expected, (sent, line)
            process.wait(timeout=ANSWER_TIMEOUT)
        finally:
            process.kill()
            process.stdin.close()
            process.stdout.close()
            process.wait()


def turned_off_writes_nothing(session):
    """While the extension is off the request is answered as a failure and the group folder is
    left as it was: not made when there is none, nothing added when there is one."""
    absent = os.path.join(session.work, "never-made")
    present = os.path.join(session.work, "off")
    os.mkdir(present, 0o700)
    for group in [absent, present]:
        before = sorted(os.listdir(session.work))
        inside = sorted(os.listdir(present))
        done = subprocess.run([session.program], input=silent_request(), capture_output=True, text=True,
                              env=dict(session.env, KEYVANE_GROUP_DIR=group), timeout=ANSWER_TIMEOUT)
        assert json.loads(done.stdout) == {"result": "cancelled", "code": 0}, (done.stdout, done.stderr)
        assert "not turned on" in done.stderr, done.stderr
        assert sorted(os.listdir(session.work)) == before, group
        assert sorted(os.listdir(present)) == inside, group


def display_gone_with_the_window_open(session):
    """The X server ends while the window is open: Qt ends the program, and the caller has its
    answer first."""
    xvfb, display = start_xvfb()
    try:
        env = dict(session.env, DISPLAY=display)
        process = subprocess.Popen([session.program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=env, text=True)
        process.stdin.write(json.dumps({"request": "registration", "relyingPartyId": RP_ID, "userName": "dave",
                                        "userHandle": b64url(b"user-handle-0004"),
                                        "clientDataHash": b64url(bytes(32))}))
        process.stdin.close()
        process.stdin = None
        subprocess.run(["xdotool", "search", "--sync", "--name", "^Keyvane$"], env=env, check=True,
                       capture_output=True, timeout=ANSWER_TIMEOUT)
    finally:
        xvfb.terminate()
        xvfb.wait()
    try:
        out, err = process.communicate(timeout=ANSWER_TIMEOUT)
    finally:
        process.kill()
    assert [json.loads(line) for line in out.splitlines()] == [{"result": "cancelled", "code": 0}], (out, err)


def no_display_is_answered_as_a_failure(session):
    """Without a display to show the window on, Qt ends the program: the caller still gets its
    one answer first."""
    env = dict(session.env, QT_QPA_PLATFORM="xcb")
    env.pop("DISPLAY", None)
    request = {"request": "registration", "relyingPartyId": RP_ID, "userName": "carol",
               "userHandle": b64url(b"user-handle-0003"), "clientDataHash": b64url(bytes(32))}
    done = subprocess.run([session.program], input=json.dumps(request), capture_output=True, env=env, text=True,
                          timeout=ANSWER_TIMEOUT)
    lines = done.stdout.splitlines()
    assert [json.loads(line) for line in lines] == [{"result": "cancelled", "code": 0}], (done.stdout, done.stderr)


def main():
    session = Session(*sys.argv[1:4])
    try:
        server = Fido2Server(PublicKeyCredentialRpEntity(RP_ID, "Example"))
        bad_request_touches_nothing(session)
        no_display_is_answered_as_a_failure(session)
        answered_while_the_pipe_stays_open(session)
        turned_off_writes_nothing(session)
        display_gone_with_the_window_open(session)
        credential, user = register(session, server)
        sign_in(session, server, credential, user)
        sign_in_with_named_passkey(session, server, credential, user)
        nothing_offered_to_another_site(session)
        closed_window_and_signal_cancel(session)
    finally:
        session.close()
    print("keyvane-credential-ext registered and signed in twice by keyboard; python-fido2 accepted all three")


if __name__ == "__main__":
    main()
