#!/usr/bin/env python3
"""Compiles the help pages of this folder into VelloranUtility.chm with chmcmd (Debian's fp-utils).

    build_help.py [--chmcmd PATH] [--verify] <help folder> <output .chm> <work folder>

Before compiling it checks the project: every file named in [FILES] exists, every page of the
folder is named there, and every page the contents, the index and the pages' own links point to
is part of the help. chmcmd then compiles a copy of the project in the work folder; any warning or
error it prints (a missing file, an undefined anchor) fails the build. With --verify the compiled
file is also listed with 7-Zip, which must find every page in it.
Exit code 0 on success, 1 on any problem (reported on stderr).
"""
import argparse
import html.parser
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path


class Links(html.parser.HTMLParser):
    """The href and src targets of a page, and the Local values of a sitemap (.hhc/.hhk)."""

    def __init__(self):
        super().__init__()
        self.targets = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for name in ("href", "src"):
            if attrs.get(name):
                self.targets.append(attrs[name])
        if tag == "param" and (attrs.get("name") or "").lower() == "local":
            self.targets.append(attrs.get("value") or "")


def read_project(hhp):
    options, files, section = {}, [], None
    for line in hhp.read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].upper()
        elif section == "OPTIONS" and "=" in line:
            key, _, value = line.partition("=")
            options[key.strip().lower()] = value.strip()
        elif section == "FILES":
            files.append(line)
    return options, files


def local_target(target):
    """The file part of a link inside the help, or None for an outside address or a bare anchor."""
    if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I) or target.startswith("#"):
        return None
    return target.split("#", 1)[0]


def check_project(folder, options, files):
    problems = []
    listed = set(files)
    for name in files:
        if not (folder / name).is_file():
            problems.append(f"[FILES] names {name}, which does not exist")
    for page in sorted(p.name for p in folder.glob("*.html")):
        if page not in listed:
            problems.append(f"{page} is not named in [FILES]")
    sources = [(name, folder / name) for name in files if name.endswith(".html")]
    for key in ("contents file", "index file"):
        if options.get(key):
            sources.append((options[key], folder / options[key]))
    for name, path in sources:
        if not path.is_file():
            problems.append(f"{name} does not exist")
            continue
        parser = Links()
        parser.feed(path.read_text(encoding="utf-8"))
        for target in parser.targets:
            local = local_target(target)
            if local is not None and local not in listed:
                problems.append(f"{name} points to {target}, which is not part of the help")
    if options.get("default topic") not in listed:
        problems.append(f"the default topic {options.get('default topic')} is not part of the help")
    return problems


def compile_project(folder, hhp, options, files, work, chmcmd):
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    for name in [hhp.name, options.get("contents file"), options.get("index file"), *files]:
        if name:
            shutil.copy2(folder / name, work / name)
    proc = subprocess.run([chmcmd, hhp.name], cwd=work, capture_output=True, text=True,
                          errors="replace")
    output = proc.stdout + proc.stderr
    complaints = [line for line in output.splitlines()
                  if re.match(r"\s*(warning|error)\b", line, re.I)]
    if proc.returncode != 0 or complaints:
        sys.stderr.write(f"chmcmd exited with {proc.returncode}:\n{output}\n")
        return None
    return work / options.get("compiled file", "")


def verify(chm, files):
    proc = subprocess.run(["7zz", "l", "-slt", str(chm)], capture_output=True, text=True,
                          errors="replace")
    inside = {line[7:].strip().lstrip("/") for line in proc.stdout.splitlines()
              if line.startswith("Path = ")}
    missing = [name for name in files if name not in inside]
    if proc.returncode != 0 or missing:
        sys.stderr.write(f"{chm} lacks {missing} (7zz exited with {proc.returncode})\n")
        return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--chmcmd", default="chmcmd")
    parser.add_argument("--verify", action="store_true")
    parser.add_argument("folder", type=Path)
    parser.add_argument("output", type=Path)
    parser.add_argument("work", type=Path)
    args = parser.parse_args()

    hhp = args.folder / "VelloranUtility.hhp"
    options, files = read_project(hhp)
    problems = check_project(args.folder, options, files)
    if problems:
        sys.stderr.write("".join(f"help: {p}\n" for p in problems))
        return 1
    compiled = compile_project(args.folder, hhp, options, files, args.work, args.chmcmd)
    if not compiled or not compiled.is_file():
        return 1
    if args.verify and not verify(compiled, files):
        return 1
    args.output.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy2(compiled, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
