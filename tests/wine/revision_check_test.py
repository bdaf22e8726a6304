#!/usr/bin/env python3
"""The latest-revision check of the x86_64 Windows build under Wine, through real WinINet.

Serves a file-listing page from the local fault server (tests/net/fault_server.py), starts
VelloranUtility.exe with VU_CLOVER_HOST pointing at it, opens the Configuration window, presses
"Check Now" and reads back with the probe: the revision list (gadget 62), the button's caption
(gadget 10), the check date (gadget 121) and the menu-bar title. Shares the smoke test's Xvfb,
Wine prefix and probe.

    revision_check_test.py --win64-build build/x86_64 --out build/native/tests/wine-revision
"""

import re
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "net"))
import served_program                # noqa: E402
import smoke_test as smoke            # noqa: E402
from fault_server import FaultServer  # noqa: E402

PAGE = "/projects/cloverefiboot/files/Bootable_ISO/"
LISTING = ("<a href='CloverISO-4297.tar.lzma/download'>CloverISO-4297.tar.lzma</a>"
           "<a href='CloverISO-5151.tar.lzma/download'>CloverISO-5151.tar.lzma</a>"
           "<span>CloverISO-999.tar.lzma</span>")
MAIN = ("--title", smoke.TITLE, "--visible")
CONFIG = ("--title", "Configuration", "--visible")
OVERALL_LIMIT = 420


def controls(dump):
    return {d["id"]: d for d in dump if d["kind"] == "control"}


def check(r, wine, exe, server):
    proc = wine.start(exe)
    if not r.check("main window appears", wine.wait_window(MAIN, 90)):
        smoke.explain_missing_window(r, wine, proc)
        raise smoke.Failure("the main window did not appear")
    wine.probe("menu", *MAIN, 1)
    if not r.check("the Configuration window opens", wine.wait_window(CONFIG, 30)):
        raise smoke.Failure("no Configuration window")
    _, before = wine.probe("dump", *CONFIG)
    r.equal("gadget 10 reads \"Check Now\" before the check", controls(before).get(10, {}).get("text"),
            "Check Now")

    wine.probe("click", *CONFIG, 10)
    deadline = time.monotonic() + 60
    dump = []
    while time.monotonic() < deadline:
        _, dump = wine.probe("dump", *CONFIG)
        if controls(dump).get(10, {}).get("text") == "r5151":
            break
        time.sleep(0.5)
    requests = [e for e in server.log() if e["path"] == PAGE]
    r.check("one request for the listing page went to the local server", len(requests) == 1,
            f"{server.log()}")
    gadgets = controls(dump)
    r.equal("gadget 10 carries the found revision", gadgets.get(10, {}).get("text"), "r5151")
    items = [(d["text"], d["selected"]) for d in dump if d["kind"] == "combo_item" and d["id"] == 62]
    r.equal("gadget 62 lists the revisions, highest first, the first selected", items,
            [("5151", True), ("4297", False), ("999", False)])
    r.check("gadget 62 is enabled (the DL source is chosen)", gadgets.get(62, {}).get("enabled") is True)
    date = gadgets.get(121, {}).get("text", "")
    r.check("gadget 121 shows the check date", re.fullmatch(r"\d\d\.\d\d\.\d\d \d\d:\d\d", date) is not None,
            repr(date))

    _, main = wine.probe("dump", *MAIN)
    titles = [d["text"] for d in main if d["kind"] == "menu_title"]
    r.check("the menu bar reports the latest revision", titles[3:4] == [" Latest Clover: r5151"], f"{titles}")

    wine.probe("click", *CONFIG, 11)
    wine.window_gone(CONFIG, 30)
    wine.probe("menu", *MAIN, 11)
    # The check keeps the download slot through its closing status pause; a Quit that comes that
    # early asks first, and Yes (6) ends the program once the check has stopped.
    warning = ("--class", "#32770", "--exe", exe.name, "--title", "Warning")
    if smoke.wait_exit(proc, 3) is None and wine.wait_window(warning, 10):
        wine.probe("press", *warning, "6")
    r.check("\"&Quit\" ends the program with code 0", smoke.wait_exit(proc, 60) == 0, f"{proc.returncode}")
    text = smoke.settings_text(exe.with_suffix(".ini")) or ""
    r.check("the settings keep the found revision", re.search(r"^CloverLastRev = 5151\s*$", text, re.M) is not None,
            text[:400])


def main():
    return served_program.run(
        __doc__.splitlines()[0], "revision check", OVERALL_LIMIT,
        lambda work: FaultServer(str(work), [{"path": PAGE, "body": LISTING}]).start(),
        # The DL source, so that the revision list is enabled once it has entries.
        "[Data Settings]\r\nInstallDataSet = DL\r\n", "VU_CLOVER_HOST", check)


if __name__ == "__main__":
    sys.exit(main())
