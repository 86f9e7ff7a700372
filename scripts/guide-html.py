#!/usr/bin/env python3
"""Renders the guide (Markdown) into one self-contained HTML page: every picture it names is inlined
as a data URI, so the page reads the same wherever it is copied. Usage: guide-html.py GUIDE.md OUT.html"""

import base64
import re
import sys
from pathlib import Path

import markdown

# Windows draws the page in YaHei or SimSun. On Linux, Noto Sans CJK comes before WenQuanYi Micro Hei, which
# has an empty glyph for "℃": a browser takes that as drawn and shows a blank instead of falling back.
STYLE = """
body { font-family: "Microsoft YaHei", "SimSun", "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif; max-width: 52em;
       margin: 2em auto; padding: 0 1em; line-height: 1.6; color: #222; }
h1, h2, h3 { color: #0d47a1; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; vertical-align: top; text-align: left; }
th { background: #e3f2fd; }
code { background: #f4f4f4; padding: 0 0.2em; }
img { max-width: 100%; border: 1px solid #ccc; }
"""


# A line break inside Chinese text would show as a blank between two characters.
CJK = "[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]"


def inline_images(html, base):
    def data_uri(match):
        picture = (base / match.group(2)).read_bytes()
        return f'{match.group(1)}data:image/png;base64,{base64.b64encode(picture).decode()}"'
    return re.sub(r'(<img [^>]*src=")([^"]+\.png)"', data_uri, html)


def main(source, target):
    source = Path(source)
    text = re.sub(f"(?<={CJK})\n *(?={CJK})", "", source.read_text(encoding="utf-8"))
    title = text.splitlines()[0].lstrip("# ").strip()
    body = markdown.markdown(text, extensions=["tables"], output_format="html")
    page = (f'<!DOCTYPE html>\n<html lang="zh-CN">\n<head>\n<meta charset="utf-8">\n<title>{title}</title>\n'
            f'<style>{STYLE}</style>\n</head>\n<body>\n{inline_images(body, source.parent)}\n</body>\n</html>\n')
    Path(target).write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main(*sys.argv[1:])
