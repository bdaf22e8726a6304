"""Checks of the smoke test (smoke_test.py) for the Tools and Help menus: the FixDsdtMask
calculator, the About window, the help file, and the HFS+ driver installation, read back through
the probe and `wine reg query`. Each function takes the smoke test's Results and Wine objects."""

import re
import subprocess
import time

CALCULATOR = ("--title", "Clover FixDsdtMask Calculator", "--visible")
ABOUT = ("--title", "About", "--visible")
SERVICES = r"HKLM\SYSTEM\CurrentControlSet\services"
DRIVERS_BOX = "Boot Camp HFS+ ReadOnly drivers"
HELP_MISSING = "Not found help file: VelloranUtility.chm"

# Gadget 24 + i is the box of bit i; bits 29 and 30 are unused.
UNUSED_BITS = (29, 30)
NEW_WAY_ONLY_BITS = range(16, 29)

SERVICE_VALUES = {
    "AppleHFS": {"Type": ("REG_DWORD", "0x2"), "ErrorControl": ("REG_DWORD", "0x1"),
                 "Start": ("REG_DWORD", "0x0"), "Group": ("REG_SZ", "File System")},
    "AppleMNT": {"Group": ("REG_SZ", "System Bus Extender"), "Type": ("REG_DWORD", "0x1"),
                 "ErrorControl": ("REG_DWORD", "0x1"), "Start": ("REG_DWORD", "0x0")},
}


def wait_until(condition, seconds=10):
    """Polls condition() until it returns something true; returns its last value."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.3)


def controls(wine, selector):
    _, dump = wine.probe("dump", *selector)
    return {d["id"]: d for d in dump if d["kind"] == "control"}


def main_window_enabled(wine, main):
    _, dump = wine.probe("dump", *main)
    return [d["enabled"] for d in dump if d["kind"] == "window"] == [True]


def box_rect(bit):
    if bit < 16:
        return (20, 35 + 20 * bit)
    return (120, 35) if bit == 31 else (120, 55 + 20 * (bit - 16))


def our_boxes(wine, exe_name):
    _, boxes = wine.probe("boxes", "--exe", exe_name)
    return boxes


def check_calculator(r, wine, main):
    wine.probe("menu", *main, 2)
    if not r.check("the calculator opens from its menu item", wine.wait_window(CALCULATOR, 30)):
        return
    gadgets = controls(wine, CALCULATOR)
    places = {bit: (gadgets.get(24 + bit, {}).get("x"), gadgets.get(24 + bit, {}).get("y"))
              for bit in range(32)}
    r.check("the calculator's 32 boxes stand in their two columns",
            all(places[bit] == box_rect(bit) for bit in range(32)), f"{places}")
    r.check("the calculator has its frames, fields and buttons",
            {85, 86, 87, 137, 138, 139, 12, 14, 15, 16} <= set(gadgets), f"{sorted(gadgets)}")
    r.check("the main window is disabled while the calculator is open",
            not main_window_enabled(wine, main))

    for button, name, hex_text, high_enabled in ((14, "Clear", "0x00000000", False),
                                                 (15, "Full", "0x9FFFFFFF", True),
                                                 (16, "Default", "0x87E7FBF1", True)):
        wine.probe("click", *CALCULATOR, button)
        gadgets = wait_until(lambda: (lambda g: g if g.get(138, {}).get("text") == hex_text
                                      else None)(controls(wine, CALCULATOR)), 10)
        if not r.check(f"\"{name}\" shows {hex_text}", bool(gadgets)):
            continue
        value = int(hex_text, 16)
        wrong = [bit for bit in range(32)
                 if gadgets[24 + bit]["checked"] != bool(value >> bit & 1)
                 or gadgets[24 + bit]["enabled"] != (bit not in UNUSED_BITS and (
                     high_enabled or bit not in NEW_WAY_ONLY_BITS))]
        r.check(f"\"{name}\" sets the boxes' marks and enabled states", not wrong, f"bits {wrong}")
        r.equal(f"\"{name}\" binary field", gadgets[137]["text"], format(value, "032b"))

    wine.probe("click", *CALCULATOR, 15)  # "Full": the value the settings file must keep
    time.sleep(1)
    wine.probe("click", *CALCULATOR, 12)
    r.check("\"OK\" closes the calculator", wine.window_gone(CALCULATOR, 30))
    r.check("the main window is enabled again after \"OK\"",
            wait_until(lambda: main_window_enabled(wine, main), 10))


ABOUT_GADGETS = {100: (60, 25, 96, 96), 97: (30, 110, 80, 15), 94: (30, 130, 140, 15),
                 98: (30, 150, 80, 15), 132: (210, 15, 125, 75), 99: (200, 90, 180, 15),
                 124: (190, 115, 175, 70), 77: (5, 185, 390, 180), 125: (30, 200, 360, 180),
                 9: (108, 374, 183, 20)}


def check_about(r, wine, main):
    wine.probe("menu", *main, 10)
    if not r.check("\"&About\" opens the About window", wine.wait_window(ABOUT, 30)):
        return
    gadgets = controls(wine, ABOUT)
    places = {n: (g["x"], g["y"], g["w"], g["h"]) for n, g in gadgets.items()}
    wrong = {n: places.get(n) for n, rect in ABOUT_GADGETS.items() if places.get(n) != rect}
    r.check("the About window's gadgets stand in their places", not wrong, f"{wrong}")
    r.equal("the About window's links", [gadgets.get(n, {}).get("text") for n in (97, 94, 98, 99)],
            ["- Clover source -", "- Russian Clover discussion -", "- Clover WiKi -",
             "- Donate Zarn (PayPal) please -"])
    r.check("the main window stays enabled while the About window is open",
            main_window_enabled(wine, main))
    wine.probe("click", *ABOUT, 9)
    r.check("\"OK\" closes the About window", wine.window_gone(ABOUT, 30))


def check_help(r, wine, main, exe):
    help_file = exe.parent / "VelloranUtility.chm"
    wine.probe("menu", *main, 7)
    time.sleep(3)
    boxes = our_boxes(wine, exe.name)
    r.check("\"&Help\" with the help file beside the program shows no box", not boxes,
            f"{[(b['title'], b['text']) for b in boxes]}")
    help_file.unlink()
    wine.probe("menu", *main, 7)
    box = ("--class", "#32770", "--exe", exe.name, "--title", "Error")
    if r.check("\"&Help\" without the help file shows a box", wine.wait_window(box, 30)):
        boxes = our_boxes(wine, exe.name)
        r.check("the box says the help file is missing",
                [b["text"] for b in boxes] == [HELP_MISSING], f"{boxes}")
        wine.probe("press", *box, "OK")
        wine.window_gone(box, 10)


def visible_tool_tips(wine):
    _, windows = wine.probe("list")
    return [w["title"] for w in windows if w["class"] == "tooltips_class32" and w["visible"]]


def check_drivers_refused(r, wine, main, exe):
    """A build that carries no driver files greys out their installation, and the greyed item
    says why while it is highlighted; a command that comes anyway is refused, saying so, and
    writes nothing."""
    r.equal("without carried drivers the menu offers neither install nor (none installed) removal",
            driver_menu(wine, main), (False, False))
    for key in ("F10", "Right", "Down", "Down", "", "Escape", "Escape"):  # "": look at the open menu
        if not key:
            tips = wait_until(lambda: visible_tool_tips(wine), 5)
            r.equal("the highlighted greyed-out install item shows why in a tool tip", tips,
                    ["This copy of Velloran Utility carries no HFS+ drivers for this Windows."])
            continue
        subprocess.run(["xdotool", "key", key], env=wine.env, check=False)
        time.sleep(0.5)
    r.equal("the tool tip goes with the menu", wait_until(lambda: visible_tool_tips(wine) == [], 5), True)
    wine.probe("menu", *main, 3)
    box = ("--class", "#32770", "--exe", exe.name, "--title", "Error")
    if r.check("install without carried drivers shows an error box", wine.wait_window(box, 30)):
        boxes = our_boxes(wine, exe.name)
        r.check("the box names the missing drivers",
                len(boxes) == 1 and "carries no HFS+ drivers" in boxes[0]["text"], f"{boxes}")
        wine.probe("press", *box, "OK")
        wine.window_gone(box, 10)
    r.check("install without carried drivers writes no service key",
            all(service_values(wine, s) is None for s in SERVICE_VALUES))


def check_tools_and_help(r, wine, main, exe):
    check_calculator(r, wine, main)
    check_about(r, wine, main)
    check_drivers_refused(r, wine, main, exe)
    check_help(r, wine, main, exe)


def service_values(wine, service):
    """{name: (type, data)} of a service key, or None when the key does not exist."""
    proc = wine.reg("query", SERVICES + "\\" + service)
    if proc.returncode != 0:
        return None
    values = {}
    for line in proc.stdout.decode(errors="replace").splitlines():
        match = re.match(r"^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$", line)
        if match:
            values[match.group(1)] = (match.group(2), match.group(3))
    return values


def driver_menu(wine, main):
    """(install enabled, uninstall enabled) as the menu shows them."""
    _, dump = wine.probe("dump", *main)
    items = {d["id"]: d["enabled"] for d in dump if d["kind"] == "menu_item" and not d["separator"]}
    return items.get(3), items.get(4)


def answer_box(r, wine, exe, title, text, button):
    box = ("--class", "#32770", "--exe", exe.name, "--title", title)
    if not r.check(f"a box titled {title!r} appears", wine.wait_window(box, 30)):
        return False
    boxes = our_boxes(wine, exe.name)
    r.check(f"the {title!r} box says what it should",
            len(boxes) == 1 and boxes[0]["text"].startswith(text), f"{boxes}")
    wine.probe("press", *box, button)
    return wine.window_gone(box, 30)


def check_hfs_drivers(r, wine, main, exe, drivers):
    """exe carries the stand-in driver packages; drivers is the prefix's System32\\drivers."""
    r.equal("before the install the menu offers it", driver_menu(wine, main), (True, False))
    wine.probe("menu", *main, 3)
    if not answer_box(r, wine, exe, DRIVERS_BOX, "Do you want to Install", "OK"):
        return
    if not answer_box(r, wine, exe, "WARNING", "To complete the install HFS+ drivers", "OK"):
        return
    for service, wanted in SERVICE_VALUES.items():
        r.equal(f"install writes the {service} service with its four values",
                service_values(wine, service), wanted)
    for name in ("AppleHFS.sys", "AppleMNT.sys"):
        path = drivers / name
        text = path.read_text(errors="replace") if path.exists() else None
        r.check(f"install puts the 64-bit {name} into System32\\drivers",
                text is not None and "x64" in text, f"{text!r}")
    r.equal("after the install the menu offers the removal",
            wait_until(lambda: driver_menu(wine, main) == (False, True), 10) and
            driver_menu(wine, main), (False, True))

    wine.probe("menu", *main, 4)
    if not answer_box(r, wine, exe, "WARNING", "To complete the remove HFS drivers", "OK"):
        return
    r.check("removal deletes both service keys",
            all(service_values(wine, s) is None for s in SERVICE_VALUES))
    r.check("removal deletes both driver files",
            not (drivers / "AppleHFS.sys").exists() and not (drivers / "AppleMNT.sys").exists())
    r.equal("after the removal the menu offers the install again",
            wait_until(lambda: driver_menu(wine, main) == (True, False), 10) and
            driver_menu(wine, main), (True, False))
