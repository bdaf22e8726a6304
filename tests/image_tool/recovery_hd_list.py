#!/usr/bin/env python3
"""velloran-image recovery-hd list against the local fault server: with every catalog served it
prints the finished list (the catalog's newest Sierra, the built-in entries and those of Apple's
recovery server, sorted) and exits 0;
with a catalog missing it prints the list all the same and exits 1.

    recovery_hd_list.py VELLORAN-IMAGE
"""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "net"))
from fault_server import FaultServer  # noqa: E402

CATALOGS = "/content/catalogs/others/"
SERIES = ["index-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog",
          "index-10.13customerseed-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog",
          "index-10.13seed-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog",
          "index-10.13beta-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog",
          "index-10.13seed.merged-1.sucatalog"]
BUILT_IN = ["(11C74) Lion 2011-10-12 432 MB", "(13A603) Mavericks 2013-10-22 457 MB",
            "(14D131) Yosemite 2015-04-23 480 MB", "(15C50) El Capitan 2015-12-14 453 MB",
            "(16B2657) Sierra 2016-10-27 464 MB"]
SERVER = [f"macOS {name} (recovery server)" for name in ("10.14 Mojave", "10.15 Catalina", "11 Big Sur",
                                                           "12 Monterey", "13 Ventura", "14 Sonoma",
                                                           "15 Sequoia", "26 Tahoe")]


def catalog(url):
    return ("<plist version='1.0'><dict><key>Products</key><dict><key>031-10002</key><dict>"
            "<key>Packages</key><array><dict><key>Digest</key><string>D2</string><key>Size</key>"
            f"<integer>0</integer><key>URL</key><string>{url}</string></dict></array>"
            "<key>PostDate</key><date>2017-07-19T17:00:00Z</date></dict></dict></dict></plist>")


def main():
    tool = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as root:
        with FaultServer(root) as server:
            package = "/content/downloads/02/02/031-10002/bb/RecoveryHDUpdate.pkg"
            Path(root + CATALOGS).mkdir(parents=True)
            for name in SERIES:
                Path(root + CATALOGS + name).write_text(catalog(server.url(package)))
            Path(root + package).parent.mkdir(parents=True)
            Path(root + package.replace(".pkg", ".pkm")).write_text(
                "<pkg-info identifier='com.apple.pkg.RecoveryHDUpdate.16G29'/>")
            env = dict(os.environ, VU_CATALOG_HOST=server.origin())
            want = sorted(BUILT_IN + SERVER + ["(16G29) Sierra 2017-07-19"])
            for missing, code in ((None, 0), (SERIES[1], 1)):
                if missing:
                    os.remove(root + CATALOGS + missing)
                run = subprocess.run([tool, "recovery-hd", "list"], env=env, capture_output=True, text=True,
                                     timeout=120)
                if run.returncode != code or run.stdout.splitlines() != want:
                    failures.append(f"missing {missing}: exit {run.returncode} (want {code}), "
                                    f"stdout {run.stdout!r}, stderr {run.stderr[-500:]!r}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
