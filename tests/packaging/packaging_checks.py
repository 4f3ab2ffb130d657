#!/usr/bin/env python3
"""Checks of what the suite ships, run by CTest.

  packaging_checks.py manual PROGRAM MANPAGE
      every option PROGRAM --help lists is described in the manual page MANPAGE.
  packaging_checks.py install BUILD_DIR
      `cmake --install BUILD_DIR` into a scratch prefix gives the usual layout, the launcher
      entries and metainfo pass desktop-file-validate and appstreamcli (when installed), the
      installed pellanor runs and seeds a fresh application folder, and both programs open their
      window through their installed window program.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

OPTION = re.compile(r"(?<![\w~/.-])(--?[A-Za-z][A-Za-z0-9-]*)")


def manual(program, page):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    helped = subprocess.run([program, "--help"], capture_output=True, text=True, env=env, timeout=60)
    if helped.returncode != 0:
        return [f"{program} --help exited with {helped.returncode}"]
    listed = set(OPTION.findall(helped.stdout))
    with open(page, encoding="utf-8") as f:
        # roff writes a hyphen as "\-" and switches fonts with "\fB"...
        text = re.sub(r"\\f[BIRP]", "", f.read()).replace("\\-", "-")
    described = set(OPTION.findall(text))
    return [f"{option} is listed by --help but not described in {page}"
            for option in sorted(listed - described)] or ([] if listed else ["--help lists no option"])


EXPECTED = [
    "bin/pellanor", "bin/tessaly", "libexec/harbel/pellanor-window", "libexec/harbel/tessaly-window",
    "share/applications/pellanor.desktop", "share/applications/pellanor-url.desktop",
    "share/applications/tessaly.desktop",
    "share/metainfo/org.harbel.pellanor.metainfo.xml", "share/metainfo/org.harbel.tessaly.metainfo.xml",
    "share/icons/hicolor/scalable/apps/pellanor.svg", "share/icons/hicolor/scalable/apps/tessaly.svg",
    "share/man/man1/pellanor.1", "share/man/man1/tessaly.1",
    "share/bash-completion/completions/pellanor", "share/bash-completion/completions/tessaly",
    "share/doc/harbel/UserGuide.html",
]


def desktop_entry(path):
    entry = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, sep, value = line.strip().partition("=")
            if sep:
                entry[key] = value
    return entry


def window_program(prefix, env, name):
    """The installed program opens its window by turning into its window program."""
    window = os.path.realpath(os.path.join(prefix, f"libexec/harbel/{name}-window"))
    program = subprocess.Popen([os.path.join(prefix, "bin", name)], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    became = None
    try:
        for _ in range(100):
            try:
                became = os.readlink(f"/proc/{program.pid}/exe")
            except OSError:  # it has ended
                break
            if became == window:
                break
            time.sleep(0.1)
    finally:
        program.terminate()
        program.wait(timeout=30)
    return [] if became == window else [f"the installed {name} did not turn into {window} (it ran {became})"]


def install(build):
    faults = []
    with tempfile.TemporaryDirectory() as prefix:
        done = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True)
        if done.returncode != 0:
            return ["cmake --install failed: " + done.stderr]
        faults += [f"missing {p}" for p in EXPECTED if not os.path.isfile(os.path.join(prefix, p))]
        faults += [f"{p} is not executable" for p in EXPECTED[:4] if not os.access(os.path.join(prefix, p), os.X_OK)]
        applications = os.path.join(prefix, "share/applications")
        for name in sorted(os.listdir(applications)):
            entry = desktop_entry(os.path.join(applications, name))
            program = entry.get("Exec", "").split(" ")[0]
            if not os.path.isfile(os.path.join(prefix, "bin", program)):
                faults.append(f"{name} starts {program!r}, which is not installed")
            if not os.path.isfile(os.path.join(prefix, "share/icons/hicolor/scalable/apps", entry.get("Icon", "") + ".svg")):
                faults.append(f"{name} shows icon {entry.get('Icon')!r}, which is not installed")
        checks = [["desktop-file-validate", os.path.join(applications, n)] for n in sorted(os.listdir(applications))]
        metainfo = os.path.join(prefix, "share/metainfo")
        checks += [["appstreamcli", "validate", "--no-net", os.path.join(metainfo, n)] for n in sorted(os.listdir(metainfo))]
        for check in checks:
            if shutil.which(check[0]) is None:
                print(f"{check[0]} is not installed; not run")
                continue
            result = subprocess.run(check, capture_output=True, text=True)
            if result.returncode != 0:
                faults.append(" ".join(check) + ":\n" + result.stdout + result.stderr)

        # The installed program carries the files it seeds a fresh application folder with.
        home = os.path.join(prefix, "home")
        env = dict(os.environ, HARBEL_HOME=home, HARBEL_REGISTRY=os.path.join(home, "registry.reg"))
        ran = subprocess.run([os.path.join(prefix, "bin/pellanor"), "--download", "http://127.0.0.1:9/no-name", "-d", prefix],
                             capture_output=True, text=True, env=env, timeout=60)
        if ran.returncode != 1:
            faults.append(f"installed pellanor --download exited with {ran.returncode}: {ran.stderr}")
        faults += [f"the application folder was not seeded with {p}" for p in ("Lang-I/English.ini", "UserGuide.html")
                   if not os.path.isfile(os.path.join(home, p))]
        for name in ("pellanor", "tessaly"):
            faults += window_program(prefix, dict(env, QT_QPA_PLATFORM="offscreen"), name)
    return faults


def main():
    faults = manual(*sys.argv[2:4]) if sys.argv[1] == "manual" else install(sys.argv[2])
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
