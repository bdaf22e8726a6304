"""The frame of the Wine tests that talk to the local fault server: the command line, an Xvfb, a
copy of the smoke test's Wine prefix with the program and the probe in it, the server, and the
clean-up whatever happens. Each test supplies what it serves and what it checks."""

import argparse
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

import smoke_test as smoke


def run(description, name, limit, serve, settings, host_variable, check, folders=()):
    """serve(work) starts and returns the FaultServer; settings is the program's INI text;
    host_variable names the host override pointed at the server; check(r, wine, exe, server) runs
    the test; folders are made under drive_c beside the program's. Returns the exit code."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--win64-build", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    r = smoke.Results(args.out / "results.txt")

    def on_signal(signum, frame):
        raise smoke.Failure(f"stopped by signal {signum}")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGALRM, on_signal)
    signal.alarm(limit)
    started = time.monotonic()
    xvfb = wine = server = None
    work = Path(tempfile.mkdtemp(prefix="velloran-wine-"))
    try:
        exe_built = smoke.find_one(args.win64_build, smoke.EXE_NAME)
        probe_built = smoke.find_one(args.win64_build, "probe.exe")
        server = serve(work)
        xvfb = smoke.Xvfb()
        template, _ = smoke.template_prefix(xvfb.display, r)
        prefix = work / "prefix"
        smoke.copy_prefix(template, prefix)
        folder = prefix / "drive_c" / "Velloran"
        probe_dir = prefix / "drive_c" / "probe"
        for made in (folder, probe_dir, *(prefix / "drive_c" / f for f in folders)):
            made.mkdir()
        exe = folder / smoke.EXE_NAME
        shutil.copy2(exe_built, exe)
        shutil.copy2(probe_built, probe_dir)
        shutil.copy2(probe_built.parent / "probe_hook.dll", probe_dir)
        (folder / "VelloranUtility.ini").write_text(settings)
        wine = smoke.Wine(prefix, xvfb.display, probe_dir, args.out)
        wine.env[host_variable] = server.origin()
        check(r, wine, exe, server)
    except (smoke.Failure, subprocess.TimeoutExpired, OSError, ValueError) as error:
        r.check(f"the {name} test ran to the end", False, str(error))
    finally:
        signal.alarm(0)
        if wine:
            wine.stop()
        elif xvfb:
            smoke.stop_wineserver(smoke.wine_env(work / "prefix", xvfb.display))
        if xvfb:
            xvfb.stop()
        if server:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)
        r.note(f"took {time.monotonic() - started:.0f} s")
        r.close()
    return 0 if r.failed == 0 else 1
