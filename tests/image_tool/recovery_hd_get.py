#!/usr/bin/env python3
"""velloran-image recovery-hd get against the local fault server: the package of a list entry is
downloaded and its image written, byte for byte the Recovery HD volume, as the only file in the
output folder (exit 0, its path on standard output); a package whose BaseSystem.dmg does not match
its chunk list and an entry number past the list exit non-zero and leave the folder empty.

    recovery_hd_get.py VELLORAN-IMAGE FIXTURES
"""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "net"))
from fault_server import FaultServer  # noqa: E402
from recovery_hd_list import CATALOGS, SERIES, catalog  # noqa: E402

PACKAGE = "/content/downloads/02/02/031-10002/bb/RecoveryHDUpdate.pkg"


def main():
    tool, fixtures = sys.argv[1], Path(sys.argv[2])
    failures = []
    with tempfile.TemporaryDirectory() as root, FaultServer(root) as server:
        Path(root + CATALOGS).mkdir(parents=True)
        Path(root + CATALOGS + SERIES[0]).write_text(catalog(server.url(PACKAGE)))
        Path(root + PACKAGE).parent.mkdir(parents=True)
        Path(root + PACKAGE).write_bytes((fixtures / "RecoveryHDUpdate.pkg").read_bytes())
        Path(root + PACKAGE.replace(".pkg", ".pkm")).write_text(
            "<pkg-info identifier='com.apple.pkg.RecoveryHDUpdate.16G29'/>")
        (Path(root) / "mismatch.pkg").write_bytes((fixtures / "chunklist-mismatch.pkg").read_bytes())
        env = dict(os.environ, VU_CATALOG_HOST=server.origin())
        # The list sorts "(16G29) Sierra 2017-07-19" after the five built-in entries.
        cases = [("success", "6", [], 0, "Done"),
                 ("chunk list mismatch", "6", [{"path": PACKAGE, "file": "mismatch.pkg"}], 1,
                  "differs from its chunk list"),
                 ("past the list", "7", [], 1, "the list holds 6 entries")]
        for what, number, rules, code, said in cases:
            server.set_rules(rules)
            with tempfile.TemporaryDirectory() as out:
                run = subprocess.run([tool, "recovery-hd", "get", number, out], env=env, capture_output=True,
                                     text=True, timeout=120)
                written = sorted(os.listdir(out))
                want = ["RecoveryHD-16G29.hfs"] if code == 0 else []
                ok = run.returncode == code and written == want and said in run.stderr
                if ok and code == 0:
                    image = Path(out) / want[0]
                    ok = (run.stdout.splitlines() == [str(image)] and
                          image.read_bytes() == (fixtures / "volume.hfs").read_bytes())
                if not ok:
                    failures.append(f"{what}: exit {run.returncode} (want {code}), folder {written}, "
                                    f"stdout {run.stdout!r}, stderr {run.stderr[-800:]!r}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
