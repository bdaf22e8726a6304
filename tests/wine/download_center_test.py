#!/usr/bin/env python3
"""The Download Center of the x86_64 Windows build under Wine, through real WinINet.

Serves a published download list and the file it names from the local fault server
(tests/net/fault_server.py), starts VelloranUtility.exe with VU_LIST_HOST pointing at it and
reads back with the probe: window 2's gadgets (numbers, captions, rectangles, enabled state after
each option), the main window disabled while it is open and enabled after "Exit", "Update" filling
gadget 68, and "DL" of the item with its connection reset at 40 % and then closed in order at
70 %: resumed twice with Range requests, saved byte-identical over an earlier copy in the
repository's Catalog sub-folder, followed by the summary box. Then "DL" on the settings file's entry
of Apple's recovery server against tests/net/recovery_server.py, which refuses a request without its
cookies (sent as headers: WinINet's cookies are kept out), its image reset at 80 % (past the first
1 MiB block, which WinINet hands over whole or not at all) and resumed (the fixtures from
VU_TEST_APPLE_DIR). Shares the smoke test's Xvfb, Wine prefix and probe.

    download_center_test.py --win64-build build/x86_64 --out build/native/tests/wine-download-center
"""

import hashlib
import json
import os
import random
import re
import shutil
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "net"))
import served_program                # noqa: E402
import smoke_test as smoke            # noqa: E402
from recovery_server import RecoveryServer  # noqa: E402
from smoke_tools import controls, main_window_enabled, wait_until  # noqa: E402

MAIN = ("--title", smoke.TITLE, "--visible")
CENTER = ("--title", "Download Center - Velloran Utility v2.1.022 Beta by Ossen", "--visible")
LIST_PATH = "/files/AdditionalDL/DLList.ini"
PACK_PATH = "/files/pack.bin"
PACK = random.Random(14).randbytes(3 << 20)
FIXTURES = Path(os.environ.get("VU_TEST_APPLE_DIR", "."))
SONOMA = "macOS 14 Sonoma (recovery server)"
IMAGE_PATH = "/good/BaseSystem.dmg"
OVERALL_LIMIT = 540

# Gadget: (x, y, width, height, caption); combo boxes keep the height of their selection field,
# which Windows sets from the font, so only their place and width are compared.
GADGETS = {
    92: (10, 10, 420, 48, ""),
    67: (20, 28, 400, None, None),
    93: (10, 60, 420, 48, ""),
    68: (20, 78, 400, None, None),
    113: (15, 10, 160, 13, " Recovery HD for macOS:"),
    114: (15, 60, 120, 13, " Additional Packages:"),
    19: (20, 115, 70, 20, "Exit"),
    21: (95, 115, 70, 20, "Clear"),
    20: (170, 115, 70, 20, "Update"),
    22: (320, 115, 100, 20, "DL"),
}
TOOLTIPS = {
    67: "Select MAC OS X HD Recovery for Download and Automatically Extract HFS-Image",
    68: "Select Item from User or Zarn Download Lists for Download",
    21: "Clear DL list",
    20: "Update Temporary disabled for Recover HD",
    22: "DL selected Item",
}


def enabled_lists(wine):
    """(67 enabled, 68 enabled, "Clear" enabled)."""
    g = controls(wine, CENTER)
    return tuple(g.get(n, {}).get("enabled") for n in (67, 68, 21))


def combo_items(wine, number):
    _, dump = wine.probe("dump", *CENTER)
    return [d["text"] for d in dump if d["kind"] == "combo_item" and d["id"] == number]


def check_window(r, wine):
    _, dump = wine.probe("dump", *CENTER)
    gadgets = {d["id"]: d for d in dump if d["kind"] == "control"}
    windows = [d for d in dump if d["kind"] == "window"]
    r.check("window 2 has a client area of 440 x 145",
            [(w["client_w"], w["client_h"]) for w in windows] == [(440, 145)], f"{windows}")
    wrong = {}
    for number, (x, y, w, h, caption) in GADGETS.items():
        g = gadgets.get(number)
        got = g and (g["x"], g["y"], g["w"], g["h"] if h is not None else None,
                     g["text"] if caption is not None else None)
        if got != (x, y, w, h, caption):
            wrong[number] = got
    r.check("window 2's gadgets stand in their places with their captions", not wrong, f"{wrong}")
    tips = {d["id"]: d["text"] for d in dump if d["kind"] == "tooltip"}
    r.equal("window 2's tool tips", {n: tips.get(n) for n in TOOLTIPS}, TOOLTIPS)
    r.check("\" Recovery HD for macOS:\" is chosen", gadgets.get(113, {}).get("checked") is True)
    r.equal("the Recovery HD list is enabled, the additional list not", enabled_lists(wine), (True, False, True))
    r.check("the main window is disabled while window 2 is open", not main_window_enabled(wine, MAIN))


def check_options(r, wine):
    wine.probe("click", *CENTER, 114)
    r.equal("\" Additional Packages:\" enables gadget 68 and disables 67 and \"Clear\"",
            wait_until(lambda: enabled_lists(wine) == (False, True, False), 10) and enabled_lists(wine),
            (False, True, False))
    wine.probe("click", *CENTER, 113)
    r.equal("\" Recovery HD for macOS:\" enables them the other way round",
            wait_until(lambda: enabled_lists(wine) == (True, False, True), 10) and enabled_lists(wine),
            (True, False, True))
    wine.probe("click", *CENTER, 19)
    r.check("\"Exit\" closes window 2", wine.window_gone(CENTER, 30))
    r.check("the main window is enabled again after \"Exit\"", wait_until(lambda: main_window_enabled(wine, MAIN), 10))


def check_download(r, wine, exe, server, repository):
    wine.probe("click", *MAIN, 1)
    if not r.check("\"DL Center\" opens window 2 again", wine.wait_window(CENTER, 30)):
        raise smoke.Failure("no Download Center")
    wine.probe("click", *CENTER, 114)
    wine.probe("click", *CENTER, 20)
    items = wait_until(lambda: (lambda i: i if len(i) == 2 else None)(combo_items(wine, 68)), 60) or []
    r.check("\"Update\" fills gadget 68 with the published header and item",
            len(items) == 2 and items[0] == " -- Zarn Additional Downloads: "
            and items[1].startswith("Kext Pack ") and items[1].endswith(" MB: Network kexts"), f"{items}")
    saved = repository / "Kexts" / "Net" / "pack.bin"
    saved.parent.mkdir(parents=True)
    saved.write_bytes(b"an earlier copy")
    wine.probe("select", *CENTER, 68, 1)
    time.sleep(0.5)
    wine.probe("click", *CENTER, 22)
    r.check("\"DL\" closes window 2", wine.window_gone(CENTER, 30))

    box = ("--class", "#32770", "--exe", exe.name, "--title", "Info")
    captions = set()

    def summary_shown():
        captions.add(controls(wine, MAIN).get(1, {}).get("text"))
        return wine.wait_window(box, 1)
    if not r.check("the summary box appears", wait_until(summary_shown, 120)):
        _, boxes = wine.probe("boxes", "--exe", exe.name)
        raise smoke.Failure(f"no summary; boxes: {boxes}")
    r.check("gadget 1 reads \"Cancel DL\" while the item downloads", "Cancel DL" in captions, f"{captions}")
    _, boxes = wine.probe("boxes", "--exe", exe.name, "--title", "Info")
    text = boxes[0]["text"] if boxes else ""
    r.check("the summary names the item, its Catalog and the repository",
            "DL: \"Kext Pack\" ........... Success" in text and
            "Saved in the Directory: \"Kexts/Net\" ........... Success" in text and
            "in the Clover Local Repository:" in text, repr(text))
    wine.probe("press", *box, "OK")
    wine.window_gone(box, 10)

    r.check("the item replaced the earlier copy byte-identical, no partial file left",
            saved.read_bytes() == PACK and [p.name for p in saved.parent.iterdir()] == ["pack.bin"],
            f"{[(p.name, p.stat().st_size) for p in saved.parent.iterdir()]}")
    requests = [e for e in server.log() if e["path"] == PACK_PATH]
    ranges = [e["range"] for e in requests]
    resumed = len(requests) >= 3 and ranges[0] is None and all(
        rng and rng.startswith("bytes=") and rng.endswith(f"-{len(PACK) - 1}") and 0 < int(rng[6:].split("-")[0])
        for rng in ranges[1:])
    r.check("the reset and the early close were resumed with Range requests through WinINet", resumed, f"{ranges}")
    r.note(f"requests for the item: {ranges}")
    r.check("gadget 1 reads \"DL Center\" again",
            wait_until(lambda: controls(wine, MAIN).get(1, {}).get("text") == "DL Center", 15))
    r.check("the main window is enabled after the download", main_window_enabled(wine, MAIN))


def check_recovery_server(r, wine, exe, server, images):
    wine.probe("click", *MAIN, 1)
    if not r.check("window 2 lists the settings file's server entry",
                   wine.wait_window(CENTER, 30) and combo_items(wine, 67) == [SONOMA]):
        raise smoke.Failure("no server entry")
    wine.probe("select", *CENTER, 67, 0)
    time.sleep(0.5)
    wine.probe("click", *CENTER, 22)
    box = ("--class", "#32770", "--exe", exe.name)
    wait_until(lambda: wine.wait_window(box, 1), 180)
    _, boxes = wine.probe("boxes", *box)
    r.check("the summary names the macOS the server sent", [b["title"] for b in boxes] == ["Info"] and
            "Served by Apple's recovery server: macOS 14.6.1 (23G80)" in boxes[0]["text"], f"{boxes}")
    wine.probe("press", *box, "OK")
    r.check("the image is RecoveryHD-23G80.hfs, byte-identical to the served volume",
            [p.name for p in images.iterdir()] == ["RecoveryHD-23G80.hfs"] and (images / "RecoveryHD-23G80.hfs")
            .read_bytes() == (FIXTURES / "server" / "volume.hfs").read_bytes(), f"{list(images.iterdir())}")
    log = [(e["method"][0], e["path"], e["range"]) for e in server.log() if not e["path"].startswith("/files/")]
    r.check("session, answer, chunk list, the image's trailer and table, then the image reset and resumed",
            [entry[:2] for entry in log] == [("G", "/"), ("P", "/InstallationPayload/RecoveryImage"),
                                            ("G", "/good/BaseSystem.chunklist")] + [("G", IMAGE_PATH)] * 4
            and log[5][2] is None and re.fullmatch(r"bytes=[1-9]\d*-\d+", log[6][2] or ""), f"{log}")


def check(r, wine, exe, server, repository):
    shutil.copy2(FIXTURES / "chunklist-keys.txt", exe.parent / "keys.txt")
    wine.env["VU_CHUNKLIST_KEYS"] = "C:\\Velloran\\keys.txt"
    wine.env["VU_RECOVERY_HOST"] = server.origin()
    proc = wine.start(exe)
    if not r.check("main window appears", wine.wait_window(MAIN, 90)):
        smoke.explain_missing_window(r, wine, proc)
        raise smoke.Failure("the main window did not appear")
    wine.probe("click", *MAIN, 1)
    if not r.check("\"DL Center\" opens the Download Center", wine.wait_window(CENTER, 30)):
        raise smoke.Failure("no Download Center")
    check_window(r, wine)
    check_options(r, wine)
    check_download(r, wine, exe, server, repository)
    check_recovery_server(r, wine, exe, server, repository.parent / "Images")

    wine.probe("menu", *MAIN, 11)
    r.check("\"&Quit\" ends the program with code 0", smoke.wait_exit(proc, 60) == 0, f"{proc.returncode}")
    example = exe.parent / "UserDL.ini"
    first = example.read_text(errors="replace").splitlines()[:1] if example.exists() else None
    r.equal("the example UserDL.ini is written at the end", first,
            ["; ; This is Example of UserDL.ini. Do not remove this lines"])


def serve(work):
    served = work / "served"
    (served / "files" / "AdditionalDL").mkdir(parents=True)
    (served / "files" / "pack.bin").write_bytes(PACK)
    (served / "good").mkdir()
    shutil.copy2(FIXTURES / "server" / "BaseSystem.dmg", served / "good" / "BaseSystem.dmg")
    shutil.copy2(FIXTURES / "server" / "signed.chunklist", served / "good" / "BaseSystem.chunklist")
    (served / "recovery.json").write_text(json.dumps({"Mac-827FAC58A8FDFA22": "/good/BaseSystem"}))
    server = RecoveryServer(str(served), [{"path": PACK_PATH, "drop_at": 0.4, "times": 1},
                                          {"path": PACK_PATH, "short_at": 0.7, "times": 1},
                                          {"path": IMAGE_PATH, "times": 2},  # its trailer and table
                                          {"path": IMAGE_PATH, "drop_at": 0.8, "times": 1}]).start()
    (served / "files" / "AdditionalDL" / "DLList.ini").write_text(
        "[Kext Pack]\r\nURL=" + server.url(PACK_PATH) + f"\r\nSize={len(PACK)}\r\n"
        "Description=Network kexts\r\nMD5Digest=" + hashlib.sha1(PACK).hexdigest() +
        "\r\nCatalog=Kexts/Net\r\n", newline="")
    return server


def main():
    return served_program.run(
        __doc__.splitlines()[0], "Download Center", OVERALL_LIMIT, serve,
        "[Data Settings]\r\nCloverLocalRepository = C:\\Repo\\\r\nZarnImageLocalRepo = C:\\Images\\\r\n"
        "[Download Data Settings]\r\n" + SONOMA + " = http://osrecovery.apple.com/InstallationPayload/RecoveryImage"
        "?bid=Mac-827FAC58A8FDFA22&os=default\r\n", "VU_LIST_HOST",
        lambda r, wine, exe, server: check(r, wine, exe, server, exe.parent.parent / "Repo"), folders=("Repo", "Images"))


if __name__ == "__main__":
    sys.exit(main())
