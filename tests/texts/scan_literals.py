#!/usr/bin/env python3
"""Fails when a text a user could read is left in the code instead of texts/TextTable.inc.

Flags every string literal of the program's sources (app, engine, catalogue,
settings, platform, ui, texts) that holds Chinese, and every one that reads as
an English phrase (three or more words, lower-case after the first). Comments
are skipped. Names that are keys, not texts (folder, file and registry names,
stored values, messages for programmers), are listed in ALLOWED below, by file
and literal, each with its reason.

Prints each finding as file:line: literal, and exits 1 when there is any.
Usage: scan_literals.py [repository root]
"""
import pathlib
import re
import sys

SOURCE_DIRS = ["app", "engine", "catalogue", "settings", "platform", "ui", "texts"]
TABLE = "texts/TextTable.inc"

# (file, literal text without quotes): why it stays in the code.
ALLOWED = {
    ("catalogue/FileMaskClassesDynamic.cpp", "Windows Update 设置文件"): "a folder's name on Chinese Windows",
    ("engine/SystemRoutinesInternet.cpp", "Interface not supported"): "the system's own error text, as COM gives it",
    ("engine/SystemRoutinesInternet.cpp", "TEventLogKind out of range"): "a programming error",
    ("platform/Dispatch.cpp", "the result is not an automation object"): "an automation error, with the call's name",
    ("catalogue/VolumeCacheHandlers.cpp", "下载"): "words looked for in a Chinese handler's own texts",
    ("catalogue/VolumeCacheHandlers.cpp", "个人文件"): "words looked for in a Chinese handler's own texts",
    ("catalogue/VolumeCacheHandlers.cpp", "您的文件"): "words looked for in a Chinese handler's own texts",
    ("catalogue/VolumeCacheHandlers.cpp", "你的文件"): "words looked for in a Chinese handler's own texts",
    ("catalogue/VolumeCacheHandlers.cpp", "您的个人"): "words looked for in a Chinese handler's own texts",
    ("catalogue/VolumeCacheHandlers.cpp", "你的个人"): "words looked for in a Chinese handler's own texts",
    ("catalogue/VolumeCacheHandlers.cpp", "用户文件"): "words looked for in a Chinese handler's own texts",
    ("catalogue/VolumeCacheHandlers.cpp", "User file versions"): "a handler's key name under VolumeCaches",
    ("catalogue/VolumeCacheHandlers.cpp", "Diagnostic Data Viewer database files"): "a handler's key name under VolumeCaches",
    ("catalogue/VolumeCacheHandlers.cpp", "System error memory dump files"): "a handler's key name under VolumeCaches",
    ("catalogue/VolumeCacheHandlers.cpp", "System error minidump files"): "a handler's key name under VolumeCaches",
}

CHINESE = re.compile(r"[\u2e80-\u9fff\u3000-\u303f\uff00-\uffef\uac00-\ud7af]")
ENGLISH_PHRASE = re.compile(r"\b[A-Za-z][a-z]+(?: [a-z]{2,}){2,}\b")
# Texts for programmers: assertion messages name the function that was misused.
PROGRAMMER_CALLS = re.compile(r"\b(Assert|EAssertionFailed|RaiseCallError|static_assert)\s*\(")

LITERAL = re.compile(r'(?:u8|[LuU])?"((?:[^"\\\n]|\\.)*)"')


def strip_comments(text):
    """The text with comments blanked out (line breaks kept), literals untouched."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            quote = c
            j = i + 1
            while j < n and text[j] != quote and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("".join(ch if ch == "\n" else " " for ch in text[i:j]))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def findings(root):
    for folder in SOURCE_DIRS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h", ".inc", ".in") or path.as_posix().endswith(TABLE):
                continue
            rel = path.relative_to(root).as_posix()
            code = strip_comments(path.read_text(encoding="utf-8"))
            for m in LITERAL.finditer(code):
                literal = m.group(1)
                if (rel, literal) in ALLOWED:
                    continue
                line = code.count("\n", 0, m.start()) + 1
                before = code[code.rfind("\n", 0, m.start()) + 1:m.start()]
                if CHINESE.search(literal):
                    yield rel, line, literal
                elif ENGLISH_PHRASE.search(literal) and not PROGRAMMER_CALLS.search(before):
                    yield rel, line, literal


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    found = list(findings(root))
    for rel, line, literal in found:
        print(f'{rel}:{line}: "{literal}" is a text a user reads: move it to {TABLE} '
              f'(one VT_TEXT line, Chinese and English) or, if it is a key, to ALLOWED in {pathlib.Path(__file__).name}')
    if found:
        print(f"{len(found)} text(s) left in the code")
        return 1
    print("no user texts outside the table")
    return 0


if __name__ == "__main__":
    sys.exit(main())
