#!/usr/bin/python3
"""Checks registrations and assertions made by the passkey formats with python-fido2's server.

Usage: fido2_interop.py <PasskeyInteropTool>
"""
import subprocess
import sys

from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from fido2 import cbor
from fido2.attestation import AttestationType, NoneAttestation
from fido2.client import ClientData
from fido2.ctap2 import AttestationObject, AuthenticatorData
from fido2.server import Fido2Server
from fido2.webauthn import PublicKeyCredentialRpEntity, PublicKeyCredentialUserEntity

RP_ID = "example.com"
ORIGIN = "https://example.com"
ROUNDS = 25


class Tool:
    def __init__(self, path):
        self.process = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def ask(self, *words):
        self.process.stdin.write(" ".join(words) + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().split()
        if len(answer) != 2:
            raise SystemExit("tool gave no answer to %r" % (words,))
        return [bytes.fromhex(value) for value in answer]

    def close(self):
        self.process.stdin.close()
        if self.process.wait() != 0:
            raise SystemExit("tool failed")


def expect_rejected(what, action):
    try:
        action()
    except Exception:  # the server raises ValueError, the key InvalidSignature
        return
    raise SystemExit("accepted " + what)


def register(tool, server):
    user = PublicKeyCredentialUserEntity(b"user-handle-0001", "alice")
    _, state = server.register_begin(user, user_verification="required")
    client_data = ClientData.build(type="webauthn.create", challenge=state["challenge"], origin=ORIGIN)
    credential_id, raw_object = tool.ask("register", RP_ID)

    assert len(raw_object) == 198, len(raw_object)
    attestation = AttestationObject(raw_object)
    # The server ignores attestation unless asked; check the "none" statement explicitly.
    assert attestation.fmt == "none", attestation.fmt
    result = NoneAttestation().verify(attestation.att_statement, attestation.auth_data, client_data.hash)
    assert result.attestation_type == AttestationType.NONE
    # Canonical as the verifier's own encoder writes it.
    assert cbor.encode(cbor.decode(raw_object)) == raw_object

    auth_data = server.register_complete(state, client_data, attestation)
    credential = auth_data.credential_data
    assert credential.credential_id == credential_id
    assert auth_data.is_user_present() and auth_data.is_user_verified()
    assert auth_data.counter == 0
    return credential


def authenticate(tool, server, credential, rounds):
    for _ in range(rounds):
        _, state = server.authenticate_begin([credential], user_verification="required")
        client_data = ClientData.build(type="webauthn.get", challenge=state["challenge"], origin=ORIGIN)
        raw_auth_data, signature = tool.ask("assert", RP_ID, client_data.hash.hex())
        assert len(raw_auth_data) == 37
        auth_data = AuthenticatorData(raw_auth_data)

        def complete(data=auth_data, sig=signature):
            server.authenticate_complete(state, [credential], credential.credential_id, client_data, data, sig)

        complete()

        # The checks above must be able to fail.
        tampered = AuthenticatorData(raw_auth_data[:-1] + bytes([raw_auth_data[-1] ^ 1]))
        expect_rejected("tampered authenticator data", lambda: complete(data=tampered))
        r, s = decode_dss_signature(signature)
        raw = r.to_bytes(32, "big") + s.to_bytes(32, "big")
        expect_rejected("a raw r||s signature", lambda: complete(sig=raw))

    # An assertion for another relying party is refused.
    _, state = server.authenticate_begin([credential], user_verification="required")
    client_data = ClientData.build(type="webauthn.get", challenge=state["challenge"], origin=ORIGIN)
    raw_auth_data, signature = tool.ask("assert", "other.example", client_data.hash.hex())
    expect_rejected(
        "another relying party's assertion",
        lambda: server.authenticate_complete(
            state, [credential], credential.credential_id, client_data, AuthenticatorData(raw_auth_data), signature
        ),
    )


def main():
    tool = Tool(sys.argv[1])
    server = Fido2Server(PublicKeyCredentialRpEntity(RP_ID, "Example"))
    for _ in range(3):
        credential = register(tool, server)
        authenticate(tool, server, credential, ROUNDS)
    tool.close()
    print("python-fido2 accepted 3 registrations and %d assertions" % (3 * ROUNDS))


if __name__ == "__main__":
    main()
