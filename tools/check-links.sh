#!/usr/bin/env bash
# Every relative link in README.md and docs/*.md (or in the files named)
# points at a file that exists, and a link to a heading of a Markdown page at
# a heading that page has (as GitHub names them). Links inside code are not
# links; links with a scheme (https:, mailto:) are not checked.
#   tools/check-links.sh [FILE.md...]
# Exit status 1, with every broken link named, when any is broken.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- README.md docs/*.md
python3 - "$@" <<'PY'
import os, re, sys

FENCE = re.compile(r"^\s*(```|~~~)")
CODE_SPAN = re.compile(r"(`+).*?\1")
# [text](target "title") and ![alt](target); [label]: target
INLINE = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]+)>?(?:\s+[\"'(][^)]*)?\)")
REFERENCE = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s|$)")
HEADING = re.compile(r"^\s{0,3}#{1,6}\s+(.*?)\s*#*\s*$")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


def prose_lines(path):
    """The lines of a Markdown file outside fenced code, code spans blanked."""
    inside = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if FENCE.match(line):
                inside = not inside
                continue
            if not inside:
                yield number, CODE_SPAN.sub("", line)


def anchors(path):
    """The anchors GitHub gives the headings of a Markdown file."""
    seen = {}
    for _, line in prose_lines(path):
        match = HEADING.match(line)
        if not match:
            continue
        text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", match.group(1))
        slug = re.sub(r"[^\w\- ]", "", text.lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        yield slug if count == 0 else f"{slug}-{count}"


broken = 0
checked = 0
for page in sys.argv[1:]:
    folder = os.path.dirname(page)
    for number, line in prose_lines(page):
        targets = INLINE.findall(line)
        reference = REFERENCE.match(line)
        if reference:
            targets.append(reference.group(1))
        for target in targets:
            if SCHEME.match(target):
                continue
            checked += 1
            path, _, fragment = target.partition("#")
            resolved = os.path.normpath(os.path.join(folder, path)) if path else page
            problem = None
            if not os.path.exists(resolved):
                problem = f"{resolved} does not exist"
            elif fragment and resolved.endswith(".md") and fragment not in set(anchors(resolved)):
                problem = f"{resolved} has no heading #{fragment}"
            if problem:
                broken += 1
                print(f"check-links: {page}:{number}: ({target}): {problem}", file=sys.stderr)
if broken:
    sys.exit(f"check-links: {broken} of {checked} relative links broken")
print(f"check-links: all {checked} relative links in {len(sys.argv) - 1} pages point at what exists")
PY
