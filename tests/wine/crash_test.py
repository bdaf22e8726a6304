#!/usr/bin/env python3
"""Wine test of the crash report, with the x86_64 build of tests/wine/crash_probe.cpp.

For each kind of fault the probe faults on purpose (in a worker thread or the main thread); a
second copy of the probe finds the report's message box by its title, prints its text and
presses OK. Checks the report's lines, that it names crash_probe.cpp and the line marked
"fault: <kind>" there, and that the faulting process then ends with exit code 0. Then a fault in a
thread that holds every heap's lock, after the probe switched AutoRun off as the program does: the
report cannot allocate, yet the policy is back and the process ends on its own.

    crash_test.py --win64-build build/win64-x --out build/native-x/tests/wine-crash

Uses the Xvfb and Wine prefix helpers of smoke_test.py beside it. Prints one line per check and
closes with "N passed, M failed"; exits non-zero on any failure. Every wait is bounded.
"""

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
from smoke_test import (Failure, Results, Xvfb, copy_prefix, die_with_parent,  # noqa: E402
                        run, stop_wineserver, template_prefix, wine_env)

TITLE = "OnError Info <crash_probe.exe>"
SOURCE = Path(__file__).resolve().parent / "crash_probe.cpp"
REGISTERS = ["EAX", "EBX", "ECX", "EDX", "EBP", "ESI", "EDI", "ESP"]
POLICY_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer"
OWN_KEY = r"HKLM\Software\Velloran Utility"

# kind: (message, code, has a "Target Address:" line)
FAULTS = {
    "null-write": ("Invalid memory access", -1073741819, True),
    "divide": ("Division by zero ", -1073741676, False),
    # A fault in the runtime library (msvcrt's memcpy): the caller's line is named.
    "memcpy-null": ("Invalid memory access", -1073741819, True),
}


def marked_line(kind):
    for number, line in enumerate(SOURCE.read_text(encoding="utf-8").splitlines(), 1):
        if line.rstrip().endswith(f"// fault: {kind}"):
            return number
    raise Failure(f"no line marked 'fault: {kind}' in {SOURCE}")


def check_report(r, kind, text):
    message, code, has_target = FAULTS[kind]
    r.check(f"{kind}: lines end in a single CR", "\n" not in text and text.endswith("\r"), repr(text[-40:]))
    lines = text.split("\r")[:-1]
    head = ["A program error was detected:", "", f"Error Message:\t{message}", f"Error Code:\t{code}"]
    r.equal(f"{kind}: heading, message and code", lines[:4], head)
    at = 4
    r.check(f"{kind}: code address", len(lines) > at and re.fullmatch(r"Code Address:\t-?\d+", lines[at]),
            repr(lines[at:at + 1]))
    at += 1
    if has_target:
        r.equal(f"{kind}: target address", lines[at:at + 1], ["Target Address:\t0"])
        at += 1
    r.equal(f"{kind}: source file", lines[at:at + 1], ["Source Code file:\tcrash_probe.cpp"])
    at += 1
    r.equal(f"{kind}: source line", lines[at:at + 1], [f"Sourcecode line:\t{marked_line(kind)}"])
    at += 1
    r.equal(f"{kind}: register heading", lines[at:at + 2], ["", "Register content:"])
    names = [re.sub(r" = \t-?\d+$", "", line) for line in lines[at + 2:]]
    r.equal(f"{kind}: eight register lines in order", names, REGISTERS)


def run_fault(r, env, wine, exe, kind):
    with tempfile.TemporaryFile() as out:
        faulting = subprocess.Popen([wine, str(exe), kind], env=env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=out, preexec_fn=die_with_parent)
        try:
            reader = run([wine, str(exe), "read-box", TITLE], env=env, timeout=180, check=False)
            text = reader.stdout.decode("utf-8", errors="replace")
            if not r.check(f"{kind}: the report box appears", reader.returncode == 0,
                           reader.stderr.decode(errors="replace")[-300:]):
                return
            check_report(r, kind, text)
            try:
                r.equal(f"{kind}: exit code after OK", faulting.wait(60), 0)
            except subprocess.TimeoutExpired:
                r.check(f"{kind}: the process ends after OK", False)
        finally:
            if faulting.poll() is None:
                faulting.kill()
                faulting.wait()


def reg_query(env, wine, key, name):
    """The value's data as reg prints it, or None when it does not exist."""
    proc = run([wine, "reg", "query", key, "/v", name], env=env, timeout=60, check=False)
    match = re.search(name + r"\s+REG_\w+\s+(\S*)", proc.stdout.decode(errors="replace"))
    return match.group(1) if proc.returncode == 0 and match else None


def run_heap_locked(r, env, wine, exe):
    run([wine, "reg", "add", POLICY_KEY, "/v", "NoDriveTypeAutoRun", "/t", "REG_DWORD", "/d", "145", "/f"],
        env=env, timeout=60)
    with tempfile.TemporaryFile() as out:
        faulting = subprocess.Popen([wine, str(exe), "heap-locked"], env=env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=out, preexec_fn=die_with_parent)
        try:
            r.equal("heap-locked: the process ends on its own, exit code 0", faulting.wait(120), 0)
        except subprocess.TimeoutExpired:
            r.check("heap-locked: the process ends on its own", False, "still running after 120 s")
        finally:
            if faulting.poll() is None:
                faulting.kill()
                faulting.wait()
    r.equal("heap-locked: the AutoRun policy is back", reg_query(env, wine, POLICY_KEY, "NoDriveTypeAutoRun"),
            "0x91")
    r.equal("heap-locked: the kept value is gone", reg_query(env, wine, OWN_KEY, "SavedNoDriveTypeAutoRun"), None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--win64-build", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("faults", nargs="*", default=list(FAULTS) + ["heap-locked"])
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    found = sorted(args.win64_build.rglob("crash_probe.exe"))
    r = Results(args.out / "results.txt")
    if not found:
        r.check("crash_probe.exe is built", False, f"not under {args.win64_build}")
        r.close()
        return 1
    wine = shutil.which("wine")
    xvfb = env = None
    prefix = args.out / "prefix"
    try:
        xvfb = Xvfb()
        template, _ = template_prefix(xvfb.display, r)
        shutil.rmtree(prefix, ignore_errors=True)
        copy_prefix(template, prefix)
        env = wine_env(prefix, xvfb.display)
        for kind in args.faults:
            if kind == "heap-locked":
                run_heap_locked(r, env, wine, found[0])
            else:
                run_fault(r, env, wine, found[0], kind)
    except (Failure, subprocess.TimeoutExpired) as error:
        r.check("the test runs to its end", False, str(error))
    finally:
        if env:
            stop_wineserver(env)
        if xvfb:
            xvfb.stop()
        shutil.rmtree(prefix, ignore_errors=True)
    r.close()
    return 0 if r.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
