#!/usr/bin/env python3
"""Checks the spelling of the texts a person reads: the English language file and the English
texts built into both programs (captions, messages, menus, the toolbar).

Usage: spelling.py
  Lists each word hunspell (en_US) does not know, with where it stands, and exits 1 when there is
  any. Words of our own (program names, protocol words) are in scripts/spelling-words.txt. Texts
  that files store and the code compares keep the form they were always written in; they are
  listed in STORED below and not checked.
"""
import pathlib
import re
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
WORDS = ROOT / "scripts" / "spelling-words.txt"
LANG = ROOT / "resources" / "Lang-I" / "English.ini"
TOOLBAR = ROOT / "resources" / "Harbel.toolbar"
SOURCES = ("common", "downloader", "ftpclient")

# Written into History.ini (a blocked row's reason) and compared when it is read back: the list
# shows it corrected (DownloadRow.cpp), the stored form stays. "Thr" names Thursday's value in the
# settings store (the schedule's check box reads "Thu").
STORED = {"You block this Extenison", "Thr"}

LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
SENTENCE = re.compile(r"[A-Za-z].*\s|^&?[A-Z][a-z&]+[.:!?]*$")


def source_texts():
    """(place, text) for each literal of the sources that reads as words: it holds a blank, or it
    is one capitalised word (a caption or a column header)."""
    for folder in SOURCES:
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                code = line.strip()
                if code.startswith(("#include", "//")):
                    continue
                for text in LITERAL.findall(line):
                    if SENTENCE.search(text):
                        yield f"{path.relative_to(ROOT)}:{number}", text


def file_texts(path, pick):
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        text = pick(line)
        if text:
            yield f"{path.relative_to(ROOT)}:{number}", text


def language_text(line):
    m = re.match(r"\s*\d{5}\s*=(.*)", line)
    return m.group(1) if m else None


def toolbar_caption(line):
    m = re.match(r"\s*\d+\s*=([^|]*)\|", line)
    return m.group(1) if m else None


# Patterns, formats and protocol lines are not prose.
NOT_PROSE = re.compile(r"\\[sd]|\(\?|yyyy|=[a-z]*,|^[A-Za-z-]+: $")


def words(text):
    if NOT_PROSE.search(text):
        return
    text = text.replace("&&", " ").replace("&", "")
    text = re.sub(r"\\[nrt]", " ", text)
    text = re.sub(r"[a-z]+://\S*", " ", text)  # addresses
    text = re.sub(r"~?/[\w./~-]*", " ", text)  # paths
    text = re.sub(r"\w+\.(?:ini|txt|html|json|reg|lock|spl|skn|toolbar)\b", " ", text)  # file names
    text = re.sub(r"(?<![\w])[*?]?\.[A-Za-z0-9?]+", " ", text)  # file types: .iso, *.gif
    text = re.sub(r"--?[a-z][\w-]*", " ", text)  # options
    for token in re.findall(r"[A-Za-z][A-Za-z'0-9]*", text):
        token = token.strip("'")
        if token.endswith("'s"):
            token = token[:-2]
        # Acronyms and protocol commands (HTTP, PASV, RETR), and names of the code (lblStatus).
        if len(token) < 2 or token.isupper() or re.search(r"[a-z][A-Z]|\d", token):
            continue
        yield token


def main():
    hunspell = shutil.which("hunspell")
    if not hunspell:
        print("hunspell is not installed (Debian: hunspell hunspell-en-us; scripts/bootstrap installs them)")
        return 1
    texts = list(source_texts())
    texts += file_texts(LANG, language_text)
    texts += file_texts(TOOLBAR, toolbar_caption)
    where = {}
    for place, text in texts:
        if text in STORED:
            continue
        for word in words(text):
            where.setdefault(word, (place, text))
    result = subprocess.run([hunspell, "-d", "en_US", "-p", str(WORDS), "-l"], input="\n".join(where),
                            capture_output=True, text=True, check=True)
    unknown = sorted(set(result.stdout.split()))
    for word in unknown:
        place, text = where.get(word, ("?", ""))
        print(f"{place}: {word!r} in {text!r}")
    print(f"{len(where)} words of {len(texts)} texts checked, {len(unknown)} unknown")
    return 1 if unknown else 0


if __name__ == "__main__":
    sys.exit(main())
