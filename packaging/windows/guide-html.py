#!/usr/bin/python3
"""Turns the Japanese guide (Markdown) into one HTML page that any Windows browser opens.

    guide-html.py GUIDE.md OUT.html

The guide's pictures are shipped in the same folder as the page, so their "../" goes. The
headings get the same anchors as on the project's web pages (lower case, punctuation dropped,
spaces as "-"), so that the table of contents' links keep working.
"""
import html
import re
import sys

import markdown

STYLE = """
body { font-family: "Yu Gothic UI", "Meiryo UI", "MS PGothic", "IPAPGothic", sans-serif;
       max-width: 52em; margin: 2em auto; padding: 0 1em; line-height: 1.7; color: #222; }
h1, h2, h3 { line-height: 1.3; }
h2 { border-bottom: 1px solid #ccc; padding-bottom: .2em; margin-top: 2em; }
code, pre { font-family: Consolas, "MS Gothic", monospace; background: #f4f4f4; }
pre { padding: .6em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: .3em .6em; vertical-align: top; }
img { max-width: 100%; border: 1px solid #ddd; }
"""


def slug(text, separator):
    text = re.sub(r"[^\w\- ]", "", text.strip().lower())
    return text.replace(" ", separator)


def convert(source):
    source = source.replace("](../", "](")
    body = markdown.markdown(
        source,
        extensions=["tables", "fenced_code", "toc"],
        extension_configs={"toc": {"slugify": slug}},
    )
    title = "zoripost"
    first = re.search(r"^# (.+)$", source, re.M)
    if first:
        title = first.group(1).strip()
    return (
        '<!DOCTYPE html>\n<html lang="ja">\n<head>\n<meta charset="utf-8">\n'
        f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n"
        f"<body>\n{body}\n</body>\n</html>\n"
    )


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: guide-html.py GUIDE.md OUT.html\n")
        return 2
    try:
        with open(sys.argv[1], encoding="utf-8") as f:
            page = convert(f.read())
        with open(sys.argv[2], "w", encoding="utf-8", newline="\r\n") as f:
            f.write(page)
    except (OSError, UnicodeDecodeError) as e:
        sys.stderr.write(f"guide-html.py: {e}\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
