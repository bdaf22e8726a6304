#!/usr/bin/env python3
"""velloran-image recovery-hd get against the local stand-in for Apple's servers: the package of a
catalog entry, or the image of a recovery server entry (verified against its signed chunk list), is
downloaded and its image written, byte for byte the recovery volume, as the only file in the output
folder (exit 0, its path on standard output), as recovery-hd extract writes it from the server's files
at hand; a package whose BaseSystem.dmg does not match its chunk list and an entry number past the
list exit non-zero and leave the folder empty.

    recovery_hd_get.py VELLORAN-IMAGE FIXTURES
"""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "net"))
from recovery_server import RecoveryServer  # noqa: E402
from recovery_hd_list import CATALOGS, SERIES, catalog  # noqa: E402

PACKAGE = "/content/downloads/02/02/031-10002/bb/RecoveryHDUpdate.pkg"


def main():
    tool, fixtures = sys.argv[1], Path(sys.argv[2])
    failures = []
    with tempfile.TemporaryDirectory() as root, RecoveryServer(root) as server:
        Path(root + CATALOGS).mkdir(parents=True)
        Path(root + CATALOGS + SERIES[0]).write_text(catalog(server.url(PACKAGE)))
        Path(root + PACKAGE).parent.mkdir(parents=True)
        Path(root + PACKAGE).write_bytes((fixtures / "RecoveryHDUpdate.pkg").read_bytes())
        Path(root + PACKAGE.replace(".pkg", ".pkm")).write_text(
            "<pkg-info identifier='com.apple.pkg.RecoveryHDUpdate.16G29'/>")
        (Path(root) / "mismatch.pkg").write_bytes((fixtures / "chunklist-mismatch.pkg").read_bytes())
        served = fixtures / "server"
        (Path(root) / "14").mkdir()
        shutil.copy(served / "BaseSystem.dmg", Path(root) / "14")
        shutil.copy(served / "signed.chunklist", Path(root) / "14" / "BaseSystem.chunklist")
        (Path(root) / "recovery.json").write_text('{"Mac-827FAC58A8FDFA22": "/14/BaseSystem"}')
        env = dict(os.environ, VU_CATALOG_HOST=server.origin(), VU_RECOVERY_HOST=server.origin(),
                   VU_CHUNKLIST_KEYS=str(fixtures / "chunklist-keys.txt"))
        # The list sorts "(16G29) Sierra 2017-07-19" after the five built-in entries, then the server's
        # eight from macOS 10.14 on: 14 Sonoma is the twelfth.
        sierra, sonoma = ("RecoveryHD-16G29.hfs", fixtures / "volume.hfs"), ("RecoveryHD-23G80.hfs", served / "volume.hfs")
        cases = [("success", ["get", "6"], [], 0, "Done", sierra),
                 ("chunk list mismatch", ["get", "6"], [{"path": PACKAGE, "file": "mismatch.pkg"}], 1,
                  "differs from its chunk list", None),
                 ("server image", ["get", "12"], [], 0, "Served by Apple's recovery server: macOS 14.6.1", sonoma),
                 ("extract", ["extract", str(served / "BaseSystem.dmg"), str(served / "signed.chunklist")], [], 0,
                  "Checking BaseSystem.dmg", sonoma),
                 ("past the list", ["get", "15"], [], 1, "the list holds 14 entries", None)]
        for what, command, rules, code, said, result in cases:
            server.set_rules(rules)
            with tempfile.TemporaryDirectory() as out:
                run = subprocess.run([tool, "recovery-hd", *command, out], env=env, capture_output=True,
                                     text=True, timeout=120)
                written = sorted(os.listdir(out))
                want = [result[0]] if result else []
                ok = run.returncode == code and written == want and said in run.stderr
                if ok and result:
                    image = Path(out) / want[0]
                    ok = (run.stdout.splitlines() == [str(image)] and
                          image.read_bytes() == result[1].read_bytes())
                if not ok:
                    failures.append(f"{what}: exit {run.returncode} (want {code}), folder {written}, "
                                    f"stdout {run.stdout!r}, stderr {run.stderr[-800:]!r}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
