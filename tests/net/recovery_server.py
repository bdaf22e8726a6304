#!/usr/bin/env python3
"""A stand-in for Apple's recovery server on top of fault_server.py. Every request of it needs
"User-Agent: InternetRecovery/1.0" (else 400):
    GET /                                   sets "session=<digits>~<hex>"
    POST /InstallationPayload/RecoveryImage needs that cookie, "Content-Type: text/plain" and the body
                                            cid, sn, bid, k, fg, os (LF between, none after), else 400;
                                            answers AP AU AH AT CU CH CT, or 404 for an unknown board
    GET <image>.dmg, <image>.chunklist      need "Cookie: AssetToken=<the token issued for that path>",
                                            unexpired, else 403
ROOT/recovery.json maps boards to images: {"Mac-...": "/14/BaseSystem"} serves ROOT/14/BaseSystem.dmg
and .chunklist. The images take fault_server.py's rules and "expire_at" (a reset there, after which
the token has expired); the API paths take a rule's "status". Other paths are fault_server.py's.
As a program it takes --root and prints "PORT <n>" as fault_server.py does.
"""
import json
import os
import random
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fault_server  # noqa: E402

AGENT, INFO = "InternetRecovery/1.0", "/InstallationPayload/RecoveryImage"
BODY = re.compile(r"cid=[0-9A-F]{16}\nsn=[0-9A-Z]{17}\nbid=(Mac-[0-9A-F]{16})\nk=[0-9A-F]{64}\nfg=[0-9A-F]{64}\n"
                  r"os=(default|latest)")
rnd = random.Random(26)
sessions, tokens = set(), {}   # token -> [path, expired]


def cookies(header):
    return dict(piece.strip().partition("=")[::2] for piece in (header or "").split(";"))


class _Handler(fault_server._Handler):
    def do_GET(self):
        try:
            with open(os.path.join(self.server.state.root, "recovery.json")) as f:
                boards = json.load(f)
        except OSError:
            boards = {}
        assets = {prefix + ext for prefix in boards.values() for ext in (".dmg", ".chunklist")}
        if self.path.startswith("/__control/") or self.path not in assets | {"/", INFO}:
            return super().do_GET()
        self._token = cookies(self.headers.get("Cookie")).get("AssetToken")
        if self.path in assets and self.headers.get("User-Agent") == AGENT and \
                tokens.get(self._token) == [self.path, False]:
            return super().do_GET()   # logged there, with the rules applied
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
        self.server.state.record({"method": self.command, "path": self.path, "range": self.headers.get("Range"),
                                  "authorization": None})
        self._cookies, rule, match = [], self.server.state.take_rule(self.path) or {}, None
        refusal = ((rule.get("status"), "status on purpose") if "status" in rule else
                   (400, "not InternetRecovery/1.0") if self.headers.get("User-Agent") != AGENT else
                   (403, "missing, wrong or expired asset token") if self.path in assets else None)
        if not refusal and self.path == INFO:
            match = BODY.fullmatch(body.decode("latin-1"))
            refusal = ((400, "no session") if cookies(self.headers.get("Cookie")).get("session") not in sessions else
                       (400, "not text/plain") if self.headers.get("Content-Type") != "text/plain" else
                       (400, "not cid, sn, bid, k, fg, os") if not match else
                       (404, "unknown board-id") if match[1] not in boards else None)
        if refusal:
            return self._answer(int(refusal[0]), refusal[1].encode() + b"\n")
        if self.path == "/":
            session = "%010d~%s" % (rnd.randrange(10 ** 10), rnd.randbytes(32).hex())
            sessions.add(session)
            self._cookies = ["session=%s; Path=/; HttpOnly" % session]
            return self._answer(200, b"")
        prefix, origin = boards[match[1]], "http://" + self.headers.get("Host")
        answer = {"AP": "041-76812", "AU": origin + prefix + ".dmg", "AH": "A" * 64, "AT": self._issue(prefix + ".dmg"),
                  "CU": origin + prefix + ".chunklist", "CH": "C" * 64, "CT": self._issue(prefix + ".chunklist")}
        self._answer(200, "".join("%s: %s\n" % item for item in answer.items()).encode())

    def _issue(self, path):
        token = "expires=%d~access=%s~md5=%s" % (1900000000 + len(tokens), path, rnd.randbytes(16).hex())
        tokens[token] = [path, False]
        return token

    def _send_content(self, rule, content):
        super()._send_content(dict(rule, drop_at=rule["expire_at"]) if "expire_at" in rule else rule, content)
        if "expire_at" in rule:
            tokens[self._token][1] = True


class RecoveryServer(fault_server.FaultServer):
    def __init__(self, root, rules=(), port=0):
        super().__init__(root, rules, port)
        self.httpd.RequestHandlerClass = _Handler


if __name__ == "__main__":
    fault_server.FaultServer = RecoveryServer
    sys.exit(fault_server.main())
