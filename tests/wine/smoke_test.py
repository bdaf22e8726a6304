#!/usr/bin/env python3
"""Smoke test of the x86_64 Windows build under Wine.

Starts Xvfb and a fresh Wine prefix (copied from a template cached under
~/.cache/velloran-wine/, keyed by the Wine version), runs VelloranUtility.exe in a Wine virtual
desktop and reads its real windows back with the probe (tests/wine/probe.cpp): the main window's
title, client size, gadgets, tool tips and menu; the single-instance guard; the AutoRun policy
while the program runs and after it ends; the exit code; the calculator, About and help, and the
HFS+ driver installation (smoke_tools.py). Saves a screenshot of the main window and the probe's
dumps beside the results. Also checks the session's end (WM_ENDSESSION puts the AutoRun policy
back and writes the settings), the process's error mode, and that the program's recursive delete
removes a link to a folder without following it (files_check.exe), and that the program's digests
and chunk-list signature check come from bcrypt.dll and are right (crypto_check.exe).

    smoke_test.py --win64-build build/win64-x --out build/native-x/tests/wine-smoke

Prints one line per check and closes with "N passed, M failed"; exits non-zero on any failure.
Every wait is bounded, and the Wine server and Xvfb are stopped at the end.
"""

import argparse
import ctypes
import fcntl
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import smoke_tools

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "apple"))
import chunklist_writer  # noqa: E402

TITLE = "Velloran Utility v2.1.022 Beta by Ossen 01.12.2017"
EXE_NAME = "VelloranUtility.exe"
OTHER_EXE_NAME = "VelloranUtilityCopy.exe"
ALREADY_RUNNING = "Программа уже запущена."
POLICY_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer"
POLICY_VALUE = "NoDriveTypeAutoRun"
DESKTOP = (1024, 768)
# Bump when the template prefix is set up differently, so that cached templates are rebuilt.
TEMPLATE_FORMAT = 1
OVERALL_LIMIT = 480  # seconds; CTest's limit is larger, so the clean-up below always runs

BS_TYPEMASK, BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_GROUPBOX = 0x0F, 0, 1, 7
TVS_SHOWSELALWAYS = 0x20
WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x00C00000, 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00020000, 0x00010000

# Main window gadgets: number, kind, (x, y, width, height) in client pixels, caption.
# A caption of None is not compared (the drive list and the status canvas have none; the maker's
# line has a wording of its own and must only be non-empty).
GADGETS = [
    (73, "frame", (5, 2, 470, 149), "Destination Disk"),
    (140, "tree", (10, 20, 460, 124), None),
    (23, "canvas", (5, 154, 470, 21), None),
    (3, "button", (15, 178, 80, 26), "Backup"),
    (4, "button", (100, 178, 80, 26), "Restore"),
    (2, "button", (185, 178, 80, 26), "Format"),
    (6, "button", (290, 178, 85, 26), "Eject"),
    (1, "button", (380, 178, 85, 26), "DL Center"),
    (5, "button", (15, 209, 65, 26), "Exit"),
    (7, "button", (380, 209, 85, 26), "Refresh"),
    (95, "link", (130, 216, 120, 15), None),
]

TOOLTIPS = {
    3: "Backup selected Partition to Image file",
    4: "Restore selected Partition from Image file",
    2: "Prepare USB flash drive with one of several sets of boot records and Data Set of "
       "Bootloaders",
    6: "Safely ejecting of USB Flash drive",
    1: "Open Zarn Download Center",
    7: "Force update of the list of connected drives",
}

# Menu titles with their items: (number, caption, has an icon); None is a separator.
MENU = [
    ("Options", [(1, "&Configuration", True), None, (11, "&Quit\tEsc", False)]),
    ("Tools", [(2, "&FixDSDT Calculator for Clover", True),
               (3, "&Install BootCamp HFS+ RO Driver", True),
               (4, "&UnInstall BootCamp HFS+ RO Driver", True),
               (5, "&Extract HFS(HFS+) partition from DMG-files", True)]),
    ("&Help", [(7, "&Help", True), (8, "&Clover WiKi", True), (9, "Cloud Clover &Editor", True),
               (10, "&About", True)]),
    # With no settings file the last revision reads "Check It!", so the title stays as built.
    (" Latest Clover: Check It!", []),
]


class Failure(Exception):
    """A step the rest of the test depends on went wrong."""


class Results:
    def __init__(self, path):
        self.passed = 0
        self.failed = 0
        self.log = open(path, "w", encoding="utf-8")

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            line = f"PASS {name}"
        else:
            self.failed += 1
            line = f"FAIL {name}" + (f": {detail}" if detail else "")
        print(line, flush=True)
        self.log.write(line + "\n")
        self.log.flush()
        return ok

    def equal(self, name, got, want):
        return self.check(name, got == want, f"got {got!r}, want {want!r}")

    def note(self, text):
        print(text, flush=True)
        self.log.write(text + "\n")
        self.log.flush()

    def close(self):
        summary = f"{self.passed} passed, {self.failed} failed"
        self.note(summary)
        self.log.close()


def die_with_parent():
    """preexec_fn: the child gets SIGTERM when this driver dies, however it dies."""
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def run(cmd, env=None, timeout=60, cwd=None, check=True):
    """Runs a command to its end. Output goes through files, not pipes: a Wine program may start
    Wine's own background processes (explorer, services), which inherit its output handles and
    would keep a pipe open long after the program itself has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(cmd, env=env, cwd=cwd, timeout=timeout, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=err)
        out.seek(0)
        err.seek(0)
        proc.stdout = out.read()
        proc.stderr = err.read()
    if check and proc.returncode != 0:
        raise Failure(f"{' '.join(map(str, cmd))} exited with {proc.returncode}: "
                      f"{proc.stderr.decode(errors='replace')[-500:]}")
    return proc


class Xvfb:
    def __init__(self):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             f"{DESKTOP[0]}x{DESKTOP[1]}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        os.close(write_end)
        # Xvfb writes the number and the newline separately; closing the pipe before the newline
        # would kill it with SIGPIPE.
        reply = b""
        deadline = time.monotonic() + 30
        try:
            while not reply.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([read_end], [], [], deadline - time.monotonic())
                chunk = os.read(read_end, 64) if ready else b""
                if not chunk:
                    break
                reply += chunk
        finally:
            os.close(read_end)
        number = reply.decode().strip()
        if not number.isdigit():
            self.stop()
            raise Failure("Xvfb did not report a display within 30 s")
        self.display = f":{number}"

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def wine_env(prefix, display):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(prefix),
        "DISPLAY": display,
        "WINEDEBUG": "-all",
        # No prompts to install Mono or Gecko: the program needs neither.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
    })
    return env


def stop_wineserver(env):
    try:
        run(["wineserver", "-k"], env=env, timeout=30, check=False)
        run(["wineserver", "-w"], env=env, timeout=30, check=False)
    except subprocess.TimeoutExpired:
        pass


def template_prefix(display, results):
    """The cached template prefix for this Wine version, made on first use."""
    version = run(["wine", "--version"], timeout=30).stdout.decode().strip()
    key = re.sub(r"[^A-Za-z0-9.+-]+", "_", version) + f"-t{TEMPLATE_FORMAT}"
    cache = Path(os.environ.get("VU_WINE_CACHE", Path.home() / ".cache" / "velloran-wine"))
    cache.mkdir(parents=True, exist_ok=True)
    template = cache / key
    with open(cache / f"{key}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if (template / "system.reg").exists():
            return template, False
        building = cache / f"{key}.building-{os.getpid()}"
        shutil.rmtree(building, ignore_errors=True)
        env = wine_env(building, display)
        started = time.monotonic()
        try:
            run(["wineboot", "-i"], env=env, timeout=300)
            # A virtual desktop: the windows get Wine's own frames, and no window manager is needed.
            run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop",
                 "/d", "Default", "/f"], env=env, timeout=60)
            run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default",
                 "/d", f"{DESKTOP[0]}x{DESKTOP[1]}", "/f"], env=env, timeout=60)
            stop_wineserver(env)  # also writes the registry files out
            os.rename(building, template)
        except BaseException:
            stop_wineserver(env)
            shutil.rmtree(building, ignore_errors=True)
            raise
        results.note(f"made the template prefix {template} in {time.monotonic() - started:.0f} s")
        return template, True


def copy_prefix(template, target):
    """A private prefix: the files of the Windows folder (large; Wine and the program only ever
    add files there) hard-linked, the rest (registry files, user folders) copied."""
    windows = Path("drive_c") / "windows"
    shutil.copytree(template, target, symlinks=True, ignore=lambda d, names: (
        ["windows"] if Path(d) == template / "drive_c" else []))
    try:
        shutil.copytree(template / windows, target / windows, symlinks=True,
                        copy_function=os.link)
    except OSError:
        shutil.rmtree(target / windows, ignore_errors=True)
        shutil.copytree(template / windows, target / windows, symlinks=True)


class Wine:
    def __init__(self, prefix, display, probe_dir, out):
        self.env = wine_env(prefix, display)
        self.prefix = prefix
        self.display = display
        self.probe_exe = probe_dir / "probe.exe"
        self.out = out
        self.wine_log = open(out / "wine.log", "ab")
        self.started = []

    # ---- programs ----

    def start(self, exe):
        proc = subprocess.Popen(["wine", str(exe)], cwd=exe.parent, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=self.wine_log,
                                stderr=self.wine_log)
        self.started.append(proc)
        return proc

    def stop(self):
        stop_wineserver(self.env)
        for proc in self.started:
            if proc.poll() is None:
                proc.kill()
            proc.wait()
        self.wine_log.close()

    # ---- probe ----

    def probe(self, *args, timeout=60):
        proc = run(["wine", str(self.probe_exe), *map(str, args)], env=self.env, timeout=timeout,
                   check=False)
        lines = []
        for text in proc.stdout.decode("ascii", errors="replace").splitlines():
            text = text.strip()
            if text.startswith("{"):
                lines.append(json.loads(text))
        return proc.returncode, lines

    def wait_window(self, selector, seconds):
        rc, _ = self.probe("wait", *selector, int(seconds * 1000), timeout=seconds + 60)
        return rc == 0

    def window_gone(self, selector, seconds):
        rc, _ = self.probe("gone", *selector, int(seconds * 1000), timeout=seconds + 60)
        return rc == 0

    # ---- registry ----

    def reg(self, *args, check=False):
        return run(["wine", "reg", *args], env=self.env, timeout=60, check=check)

    def policy(self):
        """NoDriveTypeAutoRun as a number, or None when the value does not exist."""
        proc = self.reg("query", POLICY_KEY, "/v", POLICY_VALUE)
        if proc.returncode != 0:
            return None
        match = re.search(POLICY_VALUE + r"\s+REG_DWORD\s+0x([0-9a-fA-F]+)",
                          proc.stdout.decode(errors="replace"))
        return int(match.group(1), 16) if match else "not a REG_DWORD"

    def set_policy(self, value):
        self.reg("add", POLICY_KEY, "/v", POLICY_VALUE, "/t", "REG_DWORD", "/d", str(value), "/f",
                 check=True)

    def delete_policy_key(self):
        self.reg("delete", POLICY_KEY, "/f")

    def screenshot(self, window, path):
        crop = f"{window['w']}x{window['h']}+{window['x']}+{window['y']}"
        run(["import", "-display", self.display, "-window", "root", "-crop", crop, "+repage",
             str(path)], timeout=60)


def settings_text(path):
    """The settings file's text without its byte-order mark, or None when there is no file."""
    if not path.exists():
        return None
    return path.read_bytes().decode("utf-8", errors="replace").lstrip("\ufeff")


def number_setting(text, key):
    match = re.search(rf"^{key}\s*=\s*(-?\d+)\s*$", text, re.M)
    return int(match.group(1)) if match else None


def wait_exit(proc, seconds):
    try:
        return proc.wait(seconds)
    except subprocess.TimeoutExpired:
        return None


def rect_of(entry):
    return (entry["x"], entry["y"], entry["w"], entry["h"])


# ---- checks ------------------------------------------------------------------------------------


def check_main_window(r, dump):
    windows = [d for d in dump if d["kind"] == "window"]
    if not r.check("exactly one main window", len(windows) == 1, f"{len(windows)} found"):
        return None
    window = windows[0]
    r.check("title", window["title"] == TITLE, repr(window["title"]))
    size = (window["client_w"], window["client_h"])
    r.check("client area 480 x 265", size == (480, 265), f"{size}")
    style = int(window["style"], 16)
    wanted = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME
    r.check("frame: title bar, system menu, minimize box, sizing border, no maximize box",
            style & wanted == wanted and not style & WS_MAXIMIZEBOX, window["style"])
    r.check("opens at the default position 400, 400", (window["x"], window["y"]) == (400, 400),
            f"({window['x']}, {window['y']})")
    r.check("main window enabled", window["enabled"])

    controls = [d for d in dump if d["kind"] == "control"]
    for number, kind, rect, caption in GADGETS:
        found = [c for c in controls if c["id"] == number]
        if not r.check(f"gadget {number} exists once", len(found) == 1, f"{len(found)} found"):
            continue
        c = found[0]
        r.check(f"gadget {number} rectangle {rect}", rect_of(c) == rect, f"{rect_of(c)}")
        r.check(f"gadget {number} visible", c["visible"])
        style = int(c["style"], 16)
        if kind == "frame":
            r.check(f"gadget {number} is a frame", c["class"].lower() == "button"
                    and style & BS_TYPEMASK == BS_GROUPBOX, f"{c['class']} {c['style']}")
        elif kind == "button":
            r.check(f"gadget {number} is a push button", c["class"].lower() == "button"
                    and style & BS_TYPEMASK in (BS_PUSHBUTTON, BS_DEFPUSHBUTTON),
                    f"{c['class']} {c['style']}")
        elif kind == "tree":
            r.check(f"gadget {number} is a tree list showing its selection always",
                    c["class"] == "SysTreeView32" and style & TVS_SHOWSELALWAYS,
                    f"{c['class']} {c['style']}")
        if caption is not None:
            r.check(f"gadget {number} caption {caption!r}", c["text"] == caption, repr(c["text"]))
        elif kind == "link":
            r.check(f"gadget {number} has a text", c["text"].strip() != "")
    expected = {g[0] for g in GADGETS}
    stray = sorted({c["id"] for c in controls if c["parent_id"] == 0} - expected)
    r.check("no other child windows", not stray, f"IDs {stray}")

    errors = [d for d in dump if d["kind"] == "in_process_error"]
    r.check("menu and tool tips readable in the process", not errors, f"{errors}")
    # SEM_FAILCRITICALERRORS: probing a card reader without a card shows no "No Disk" box.
    modes = [d["error_mode"] for d in dump if d["kind"] == "in_process"]
    r.check("critical-error boxes are switched off", len(modes) == 1 and modes[0] & 1, f"{modes}")
    tips = {}
    for d in dump:
        if d["kind"] == "tooltip":
            tips.setdefault(d["id"], []).append(d["text"])
    for number, text in TOOLTIPS.items():
        r.check(f"tool tip of gadget {number}", tips.get(number) == [text], f"{tips.get(number)}")
    untipped = sorted(set(tips) - set(TOOLTIPS))
    r.check("no tool tips on other gadgets", not untipped, f"gadgets {untipped}")

    titles = [d for d in dump if d["kind"] == "menu_title"]
    r.check("menu titles", [t["text"] for t in titles] == [m[0] for m in MENU],
            f"{[t['text'] for t in titles]}")
    r.check("menu titles lie side by side on the bar above the client area",
            all(t["y"] < 0 and t["h"] > 0 and t["w"] > 0 for t in titles)
            and all(a["x"] + a["w"] <= b["x"] for a, b in zip(titles, titles[1:])),
            f"{[rect_of(t) for t in titles]}")
    for pos, (title, items) in enumerate(MENU):
        got = [d for d in dump if d["kind"] == "menu_item" and d["title_pos"] == pos]
        shape = [None if d["separator"] else (d["id"], d["text"], d["bitmap"]) for d in got]
        r.check(f"menu {title!r} items with numbers, captions and icons", shape == items,
                f"{shape}")
        # Items 3 and 4 follow the HFS+ driver state; every other item starts enabled.
        disabled = [d["id"] for d in got
                    if not d["separator"] and not d["enabled"] and d["id"] not in (3, 4)]
        r.check(f"menu {title!r} items enabled", not disabled, f"disabled: {disabled}")
    return window


def check_single_instance(r, wine, exe, first):
    second = wine.start(exe)
    box_selector = ("--class", "#32770", "--exe", EXE_NAME, "--title", EXE_NAME)
    if not r.check("second copy shows a message box", wine.wait_window(box_selector, 60)):
        second.kill()
        return
    _, boxes = wine.probe("boxes", "--exe", EXE_NAME, "--title", EXE_NAME)
    r.check("second copy's box says the program is already running",
            len(boxes) == 1 and boxes[0]["text"] == ALREADY_RUNNING,
            f"{[(b['title'], b['text']) for b in boxes]}")
    r.check("second copy's box has the warning icon and one OK button",
            len(boxes) == 1 and boxes[0]["icon"] and boxes[0]["buttons"] == ["OK"],
            f"{boxes}")
    _, mains = wine.probe("list")
    count = sum(1 for w in mains if w["title"] == TITLE and w["visible"])
    r.check("second copy opens no main window", count == 1, f"{count} main windows")
    wine.probe("press", *box_selector, "OK")
    r.check("second copy exits with code 0 after OK", wait_exit(second, 30) == 0,
            f"{second.returncode}")
    r.check("first copy keeps running", first.poll() is None
            and wine.wait_window(("--title", TITLE, "--visible"), 5))
    # The first copy writes its settings only when it ends, so any file now is the refused one's.
    ini = exe.with_suffix(".ini")
    r.check("second copy writes no settings", not ini.exists(), f"{ini.name} exists")


def check_other_file_name(r, wine, folder, exe):
    # The guard is keyed by the file name, so a renamed copy is a program of its own.
    other = folder / OTHER_EXE_NAME
    shutil.copy2(exe, other)
    proc = wine.start(other)
    selector = ("--exe", OTHER_EXE_NAME, "--title", TITLE, "--visible")
    if not r.check("copy under another file name opens its main window",
                   wine.wait_window(selector, 60)):
        proc.kill()
        return
    _, boxes = wine.probe("boxes", "--exe", OTHER_EXE_NAME)
    r.check("copy under another file name shows no message box", not boxes, f"{boxes}")
    wine.probe("close", *selector)
    r.check("close box ends that copy with code 0", wait_exit(proc, 60) == 0,
            f"{proc.returncode}")
    text = settings_text(other.with_suffix(".ini"))
    r.check("that copy writes its settings beside itself under its own name",
            text is not None and "CloverLastRev" in text,
            "no file" if text is None else "no CloverLastRev key")


def explain_missing_window(r, wine, proc):
    """What the screen and the process look like when the main window is missing."""
    r.note(f"program {'still running' if proc.poll() is None else f'ended with {proc.returncode}'}")
    _, windows = wine.probe("list")
    for w in windows:
        if w["visible"] or w["title"]:
            r.note(f"window: {w['exe']} {w['class']!r} {w['title']!r} visible={w['visible']}")
    shot = wine.out / "screen_at_failure.png"
    run(["import", "-display", wine.display, "-window", "root", str(shot)], timeout=60,
        check=False)
    r.note(f"screen: {shot}")


def smoke(r, wine, exe, out):
    folder = exe.parent

    # Run 1: the policy was 145; the program is left with "Exit".
    wine.set_policy(145)
    first = wine.start(exe)
    main = ("--title", TITLE, "--visible")
    if not r.check("main window appears", wine.wait_window(main, 90)):
        explain_missing_window(r, wine, first)
        raise Failure("the main window did not appear")
    time.sleep(1)  # let the first paint finish before the screenshot
    _, boxes = wine.probe("boxes", "--exe", EXE_NAME)
    r.check("no message box at start", not boxes, f"{[(b['title'], b['text']) for b in boxes]}")
    rc, dump = wine.probe("dump", "--title", TITLE)
    (out / "main_window.jsonl").write_text("".join(json.dumps(d) + "\n" for d in dump))
    window = check_main_window(r, dump)
    if window:
        shot = out / "main_window.png"
        wine.screenshot(window, shot)
        r.note(f"screenshot: {shot}")
        wine.probe("resize", *main, window["w"] + 200, window["h"] + 100)
        _, after = wine.probe("dump", "--title", TITLE)
        sizes = [(d["client_w"], d["client_h"]) for d in after if d["kind"] == "window"]
        r.check("the window cannot be resized", sizes == [(480, 265)], f"{sizes}")
    r.equal("AutoRun policy is 255 while the program runs", wine.policy(), 255)

    check_single_instance(r, wine, exe, first)
    check_other_file_name(r, wine, folder, exe)
    check_end_session(r, wine, main, exe)

    wine.probe("click", *main, 5)
    r.check("\"Exit\" ends the program with code 0", wait_exit(first, 60) == 0,
            f"{first.returncode}")
    r.equal("AutoRun policy is 145 again after exit", wine.policy(), 145)
    text = settings_text(exe.with_suffix(".ini")) or ""
    r.equal("settings written at exit keep the window position",
            (number_setting(text, "WinX"), number_setting(text, "WinY")), (400, 400))

    # Run 2: no policies key at all; the program is left with "&Quit" from the menu.
    wine.delete_policy_key()
    if wine.policy() is not None:
        raise Failure("could not delete the policies key")
    proc = wine.start(exe)
    if not r.check("main window appears without the policies key", wine.wait_window(main, 90)):
        explain_missing_window(r, wine, proc)
        raise Failure("the main window did not appear on the second run")
    r.equal("AutoRun policy is created with 255", wine.policy(), 255)
    check_eject_and_configuration(r, wine, main, exe)
    smoke_tools.check_tools_and_help(r, wine, main, exe)
    wine.probe("menu", *main, 11)
    r.check("\"&Quit\" ends the program with code 0", wait_exit(proc, 60) == 0,
            f"{proc.returncode}")
    r.equal("AutoRun value is removed again after exit", wine.policy(), None)
    r.equal("the settings keep the mask chosen in the calculator",
            re.findall(r"^FixDsdtMask\s*=\s*(\S+)", settings_text(exe.with_suffix(".ini")) or "", re.M),
            ["0x9FFFFFFF"])

    # Run 3: the same program carrying stand-in driver packages installs and removes them.
    hfs_exe = exe.parent.parent / "VelloranHfs" / EXE_NAME
    proc = wine.start(hfs_exe)
    if r.check("the program with driver packages opens its main window", wine.wait_window(main, 90)):
        smoke_tools.check_hfs_drivers(r, wine, main, hfs_exe,
                                      wine.prefix / "drive_c" / "windows" / "system32" / "drivers")
        wine.probe("close", *main)
    r.check("the program with driver packages ends with code 0", wait_exit(proc, 60) == 0,
            f"{proc.returncode}")


def check_end_session(r, wine, main, exe):
    # Windows ends the process after WM_ENDSESSION without letting it leave its loop.
    settings = exe.with_suffix(".ini")
    if settings.exists():
        settings.unlink()
    rc, lines = wine.probe("endsession", *main)
    answers = [line["may_end"] for line in lines if line["kind"] == "end_session"]
    r.check("an idle program lets the session end", rc == 0 and answers == [True], f"{rc} {lines}")
    r.equal("WM_ENDSESSION puts the AutoRun policy back to 145", wine.policy(), 145)
    r.check("WM_ENDSESSION writes the settings file", settings.exists())


def check_delete_tree(r, wine, prefix, checker):
    # A tree holding a link to a folder outside it: the delete must not follow the link.
    tree = prefix / "drive_c" / "vutree"
    (tree / "keep").mkdir(parents=True)
    (tree / "doomed" / "inner").mkdir(parents=True)
    (tree / "keep" / "file.txt").write_text("keep")
    (tree / "doomed" / "inner" / "gone.txt").write_text("gone")
    os.symlink("../keep", tree / "doomed" / "link")
    proc = run(["wine", str(checker), "delete-tree", r"C:\vutree\doomed"], env=wine.env, timeout=120,
               check=False)
    r.check("files_check ran", proc.returncode == 0, proc.stdout.decode(errors="replace"))
    r.check("deleting a tree keeps what a link in it points to", (tree / "keep" / "file.txt").exists())
    r.check("deleting a tree deletes its own files", not (tree / "doomed" / "inner").exists())


def check_crypto(r, wine, prefix, checker):
    # The seam's crypto is bcrypt.dll on Windows (traced): known digests, and a chunk list signed by
    # a key made here and trusted through VU_CHUNKLIST_KEYS, as it is and with one bit flipped.
    folder = prefix / "drive_c" / "vucrypto"
    folder.mkdir()
    listed = chunklist_writer.chunklist(bytes(range(256)) * 20, chunk=1024)
    with tempfile.TemporaryDirectory() as keys:
        key = chunklist_writer.TestKey(keys, "wine")
        good = chunklist_writer.signed(listed, key)
        (folder / "keys.txt").write_text("# made by the smoke test\n" + key.modulus_hex() + "\n")
    env = dict(wine.env, VU_CHUNKLIST_KEYS=r"C:\vucrypto\keys.txt", WINEDEBUG="-all,trace+bcrypt")
    answers, traced = [], ""
    for name, data in (("digests", None), ("signed", good), ("flipped", good[:-1] + bytes([good[-1] ^ 1])),
                       ("unsigned", listed)):
        if data:
            (folder / f"{name}.chunklist").write_bytes(data)
        proc = run(["wine", str(checker), *(["chunklist", rf"C:\vucrypto\{name}.chunklist"] if data else [name])],
                   env=env, timeout=120, check=False)
        answers.append(json.loads(proc.stdout) if proc.returncode == 0 else proc.returncode)
        traced += proc.stderr.decode(errors="replace")
    r.equal("bcrypt's digests of \"abc\" and its verdicts on a list signed, flipped and unsigned", answers, [
        {"md5": "900150983cd24fb0d6963f7d28e17f72", "sha1": "a9993e364706816aba3e25717850c26c9cd0d89d",
         "sha256": "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"trust": 0, "message": r"signed by line 2 of C:\vucrypto\keys.txt"},
        {"trust": 2, "message": answers[2]["message"] if isinstance(answers[2], dict) else ""},
        {"trust": 1, "message": "it is not signed: it carries only a SHA-256 of its table, which anyone can make"}])
    r.check("the digests and the signature check are bcrypt.dll's calls",
            all(f"{call} " in traced for call in ("BCryptHashData", "BCryptFinishHash", "BCryptVerifySignature")),
            traced[-300:])


def check_eject_and_configuration(r, wine, main, exe):
    # Wine has no USB disk: "Eject" must do nothing harmful and the list is rebuilt all the same.
    wine.probe("click", *main, 6)
    wine.probe("click", *main, 7)
    time.sleep(1)
    _, boxes = wine.probe("boxes", "--exe", EXE_NAME)
    r.check("\"Eject\" and \"Refresh\" with nothing ejectable show no box", not boxes,
            f"{[(b['title'], b['text']) for b in boxes]}")
    _, dump = wine.probe("dump", "--title", TITLE)
    r.check("the drive list is still there after \"Eject\"",
            any(d["id"] == 140 for d in dump if d["kind"] == "control"))

    # "Format Disk" with no drive to format: the worker ends at once, shows no box and gives the
    # window back as it was (caption, drive list enabled).
    wine.probe("click", *main, 2)
    time.sleep(2)
    _, boxes = wine.probe("boxes", "--exe", EXE_NAME)
    r.check("\"Format Disk\" with no drive selected shows no box", not boxes,
            f"{[(b['title'], b['text']) for b in boxes]}")
    _, dump = wine.probe("dump", "--title", TITLE)
    controls = {d["id"]: d for d in dump if d["kind"] == "control"}
    r.equal("the Format button reads \"Format Disk\" again", controls.get(2, {}).get("text"), "Format Disk")
    r.check("the drive list is enabled again after the run", controls.get(140, {}).get("enabled") is True)

    # "Backup" and "Restore" with nothing selected: each run ends at once (the backup after its
    # 5 s pause), shows no box and gives the window back under the caption it keeps from then on.
    for button, caption in ((3, "Backup Partition"), (4, "Restore Partition")):
        wine.probe("click", *main, button)
        deadline = time.monotonic() + 30
        while True:
            _, dump = wine.probe("dump", "--title", TITLE)
            controls = {d["id"]: d for d in dump if d["kind"] == "control"}
            back = controls.get(button, {}).get("text") == caption and controls.get(140, {}).get("enabled")
            if back or time.monotonic() > deadline:
                break
            time.sleep(0.5)
        r.equal(f"the button reads \"{caption}\" after a run with nothing selected",
                controls.get(button, {}).get("text"), caption)
        r.check(f"the drive list is enabled again after \"{caption}\"", controls.get(140, {}).get("enabled") is True)
        _, boxes = wine.probe("boxes", "--exe", EXE_NAME)
        r.check(f"\"{caption}\" with nothing selected shows no box", not boxes,
                f"{[(b['title'], b['text']) for b in boxes]}")

    # The configuration window opens from its menu item; "OK" writes the settings file.
    settings = exe.with_suffix(".ini")
    if settings.exists():
        settings.unlink()
    wine.probe("menu", *main, 1)
    config = ("--title", "Configuration", "--visible")
    if r.check("\"&Configuration\" opens the configuration window", wine.wait_window(config, 30)):
        _, gadgets = wine.probe("dump", *config)
        ids = {d["id"] for d in gadgets if d["kind"] == "control"}
        r.check("the configuration window has its OK button and option gadgets",
                {11, 104, 105, 106, 107, 108, 109, 110} <= ids, f"{sorted(ids)}")
        wine.probe("click", *config, 11)
        r.check("\"OK\" closes the configuration window", wine.window_gone(config, 30))
        time.sleep(1)
        r.check("\"OK\" writes the settings file beside the executable", settings.exists())


def find_one(build, name):
    found = [p for p in build.rglob(name) if "CMakeFiles" not in p.parts]
    if len(found) != 1:
        raise Failure(f"expected one {name} under {build}, found {found}")
    return found[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--win64-build", required=True, type=Path,
                        help="the x86_64 build tree holding VelloranUtility.exe and the probe")
    parser.add_argument("--out", required=True, type=Path,
                        help="folder for the results, dumps and screenshot")
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    r = Results(args.out / "results.txt")

    def on_signal(signum, frame):
        raise Failure(f"stopped by signal {signum}")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGALRM, on_signal)
    signal.alarm(OVERALL_LIMIT)

    started = time.monotonic()
    xvfb = wine = None
    work = Path(tempfile.mkdtemp(prefix="velloran-wine-"))
    try:
        exe_built = find_one(args.win64_build, EXE_NAME)
        probe_built = find_one(args.win64_build, "probe.exe")
        checker_built = find_one(args.win64_build, "files_check.exe")
        hook_built = probe_built.parent / "probe_hook.dll"
        xvfb = Xvfb()
        template, made = template_prefix(xvfb.display, r)
        prefix = work / "prefix"
        copy_prefix(template, prefix)
        r.note(f"prefix ready after {time.monotonic() - started:.0f} s "
               f"({'cold: template made' if made else 'warm: template reused'})")
        folder = prefix / "drive_c" / "Velloran"
        probe_dir = prefix / "drive_c" / "probe"
        folder.mkdir()
        probe_dir.mkdir()
        exe = folder / EXE_NAME
        shutil.copy2(exe_built, exe)
        shutil.copy2(exe_built.parent / "VelloranUtility.chm", folder)
        hfs_folder = prefix / "drive_c" / "VelloranHfs"
        hfs_folder.mkdir()
        shutil.copy2(find_one(args.win64_build, "VelloranUtilityHfs.exe"), hfs_folder / EXE_NAME)
        shutil.copy2(probe_built, probe_dir)
        shutil.copy2(hook_built, probe_dir)
        shutil.copy2(checker_built, probe_dir)
        shutil.copy2(find_one(args.win64_build, "crypto_check.exe"), probe_dir)
        wine = Wine(prefix, xvfb.display, probe_dir, args.out)
        smoke(r, wine, exe, args.out)
        check_delete_tree(r, wine, prefix, probe_dir / "files_check.exe")
        check_crypto(r, wine, prefix, probe_dir / "crypto_check.exe")
    except (Failure, subprocess.TimeoutExpired, OSError, ValueError) as error:
        r.check("smoke test ran to the end", False, str(error))
    finally:
        signal.alarm(0)
        if wine:
            wine.stop()
        elif xvfb:
            stop_wineserver(wine_env(work / "prefix", xvfb.display))
        if xvfb:
            xvfb.stop()
        shutil.rmtree(work, ignore_errors=True)
        r.note(f"took {time.monotonic() - started:.0f} s")
        r.close()
    return 0 if r.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
