#!/usr/bin/env python3
"""Checks that every text code the programs look up has a line in the English language file.

Usage: language-codes.py [--add]
  Without options: lists codes used in the sources but missing from resources/Lang-I/English.ini
  and exits 1 when there are any.
  --add: appends the missing codes with the English default found in the source, in code order.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LANG = ROOT / "resources" / "Lang-I" / "English.ini"
CALL = re.compile(
    r'\b(?:lang|GetLangString)\(\s*(?:QStringLiteral\()?"(\d{5})"\)?\s*,\s*'
    r'(?:QStringLiteral\(|QLatin1String\()?"((?:[^"\\]|\\.)*)"', re.S)


def used_codes():
    codes = {}
    for folder in ("common", "downloader"):
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            for code, text in CALL.findall(path.read_text(encoding="utf-8")):
                text = text.replace('\\"', '"').replace("\\\\", "\\").strip()
                codes.setdefault(code, text)
    return codes


def file_lines():
    return LANG.read_text(encoding="utf-8").splitlines()


def main():
    lines = file_lines()
    present = {l.split("=", 1)[0].strip() for l in lines if re.match(r"\s*\d{5}\s*=", l)}
    missing = {c: t for c, t in used_codes().items() if c not in present}
    if "--add" in sys.argv[1:]:
        entries = [l for l in lines if re.match(r"\s*\d{5}\s*=", l)]
        head = [l for l in lines if l not in entries]
        entries += [f"{c}={t}" for c, t in missing.items()]
        entries.sort(key=lambda l: l.split("=", 1)[0].strip())
        LANG.write_text("\n".join(head + entries) + "\n", encoding="utf-8")
        print(f"added {len(missing)} codes")
        return 0
    for c, t in sorted(missing.items()):
        print(f"missing from English.ini: {c}={t}")
    print(f"{len(used_codes())} codes used, {len(missing)} missing")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
