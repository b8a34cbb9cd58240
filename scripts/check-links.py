#!/usr/bin/env python3
"""Checks that every relative link of README.md and docs/*.md leads somewhere:
the file it names exists, and its anchor (#...) is a heading of that page, as
GitHub makes anchors of headings. Links to other sites are not followed.

    python3 scripts/check-links.py [PROJECT_FOLDER]

Prints each broken link with its file and line; exit status 1 when there is
one, else 0.
"""
import re
import sys
from pathlib import Path

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
CODE_SPAN = re.compile(r"`[^`]*`")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


def prose_lines(path):
    """(line number, text) of each line outside fenced code blocks."""
    fenced = False
    for number, line in enumerate(path.read_text(encoding="utf-8").split("\n"), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if not fenced:
            yield number, line


def slug(heading):
    """GitHub's anchor of a heading: lower case, punctuation dropped, spaces
    as hyphens."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(path):
    seen = {}
    found = set()
    for _, line in prose_lines(path):
        match = re.match(r"^#{1,6} +(.*?) *#* *$", line)
        if not match:
            continue
        base = slug(match.group(1))
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else f"{base}-{count}")
    return found


def prose(path):
    """The page with its fenced code blocks and code spans blanked out, line
    breaks kept, so that a link's text may run over lines."""
    lines = path.read_text(encoding="utf-8").split("\n")
    kept = dict(prose_lines(path))
    text = "\n".join(kept.get(number, "") for number in range(1, len(lines) + 1))
    return CODE_SPAN.sub(lambda span: re.sub(r"[^\n]", " ", span.group(0)), text)


def broken_links(path, cache):
    text = prose(path)
    for match in LINK.finditer(text):
        target = match.group(1)
        if SCHEME.match(target):
            continue
        number = text.count("\n", 0, match.start()) + 1
        file_part, _, anchor = target.partition("#")
        dest = (path.parent / file_part).resolve() if file_part else path.resolve()
        if not dest.exists():
            yield number, target, "no such file"
        elif anchor and dest.suffix == ".md":
            if dest not in cache:
                cache[dest] = anchors(dest)
            if anchor not in cache[dest]:
                yield number, target, "no such heading"


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    pages = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    cache = {}
    failures = 0
    for page in pages:
        for number, target, why in broken_links(page, cache):
            print(f"{page.relative_to(root)}:{number}: {target}: {why}")
            failures += 1
    print(f"{len(pages)} pages, {failures} broken link(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
