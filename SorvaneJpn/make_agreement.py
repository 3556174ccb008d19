#!/usr/bin/env python3
"""Writes the Japanese licence agreement as rich text.

Input: res/agreement_ja.txt (UTF-8), one paragraph per line; "# " starts
the title, "## " an article heading, blank lines are ignored.
Output: res/agreement_ja.rtf, the resource "AGREEMENT" 337 of Sorvane.0411.

Every character outside ASCII is written as \\uN followed by its two
Shift-JIS bytes (\\uc2), so that readers without Unicode support show the
same text through code page 932. The layout follows the English
agreement: headings in bold blue, paragraphs spaced below.
"""
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE / "res" / "agreement_ja.txt"
TARGET = HERE / "res" / "agreement_ja.rtf"

HEADER = (
    "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1041\n"
    "{\\fonttbl{\\f0\\fnil\\fcharset128 MS UI Gothic;}}\n"
    "{\\colortbl;\\red0\\green0\\blue0;\\red22\\green70\\blue140;}\n"
    "\\viewkind4\\uc2\\pard\\sa120\\f0\\fs18\n"
)


def escape(text: str) -> str:
    out = []
    for ch in text:
        code = ord(ch)
        if ch in "\\{}":
            out.append("\\" + ch)
        elif 0x20 <= code < 0x7F:
            out.append(ch)
        else:
            try:
                sjis = ch.encode("cp932")
            except UnicodeEncodeError:
                sys.exit(f"character U+{code:04X} has no Shift-JIS form")
            if len(sjis) != 2:
                sys.exit(f"character U+{code:04X} is not a double-byte character in Shift-JIS")
            # \u takes a signed 16-bit number.
            value = code - 0x10000 if code > 0x7FFF else code
            out.append(f"\\u{value}" + "".join(f"\\'{b:02x}" for b in sjis))
    return "".join(out)


def paragraph(line: str) -> str:
    if line.startswith("# "):
        return "\\pard\\sb120\\sa120\\qc\\cf2\\b\\fs24 " + escape(line[2:]) + "\\cf1\\b0\\fs18\\par\n"
    if line.startswith("## "):
        return "\\pard\\sb120\\sa60\\cf2\\b\\fs20 " + escape(line[3:]) + "\\cf1\\b0\\fs18\\par\n"
    return "\\pard\\sa120 " + escape(line) + "\\par\n"


def main() -> None:
    lines = [l.strip() for l in SOURCE.read_text(encoding="utf-8").splitlines()]
    body = "".join(paragraph(l) for l in lines if l)
    TARGET.write_bytes((HEADER + body + "}\n").encode("ascii"))


if __name__ == "__main__":
    main()
