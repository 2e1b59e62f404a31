#!/usr/bin/env python3
"""Relative links and images in Markdown files: every target file exists, every #anchor names a
heading of its target as GitHub spells heading anchors. External links are not fetched.

    check_links.py PATH...      PATH: a Markdown file, or a folder (every *.md below it)
    check_links.py --self-test  the checker against a table of small documents

Exits 1 and names file, line and link for every broken one."""

import os
import re
import sys
import tempfile
import unicodedata
from urllib.parse import unquote

FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
ATX_HEADING = re.compile(r"^ {0,3}(#{1,6})(?:[ \t]+(.*?))?(?:[ \t]+#+)?[ \t]*$")
SETEXT_UNDERLINE = re.compile(r"^ {0,3}(=+|-+)[ \t]*$")
CODE_SPAN = re.compile(r"(`+)(.+?)\1", re.S)
# [text](target "title") and ![alt](target); the text may hold one level of brackets (an image).
INLINE_LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\[\]]*\])*\]\(\s*(<[^>]*>|[^\s()]+(?:\([^\s()]*\)[^\s()]*)*)(?:\s+(?:\"[^\"]*\"|'[^']*'))?\s*\)")
REFERENCE_DEFINITION = re.compile(r"^ {0,3}\[([^\]]+)\]:\s*(<[^>]*>|\S+)")
REFERENCE_USE = re.compile(r"!?\[((?:[^\[\]]|\[[^\[\]]*\])*)\]\[([^\]]*)\]")
HTML_TARGET = re.compile(r"<(?:a|img)\b[^>]*?\b(?:href|src)\s*=\s*[\"']([^\"']*)[\"']", re.I)
HTML_ANCHOR = re.compile(r"<[a-z]+\b[^>]*?\b(?:id|name)\s*=\s*[\"']([^\"']*)[\"']", re.I)
SCHEME = re.compile(r"^[a-z][a-z0-9+.-]*:", re.I)


def prose_lines(text):
    """(line number, line) of every line outside fenced and indented code blocks."""
    fence = None
    previous_blank_or_code = True
    in_list = False
    for number, line in enumerate(text.split("\n"), 1):
        opened = FENCE.match(line)
        if fence:
            if opened and opened.group(1)[0] == fence[0] and len(opened.group(1)) >= len(fence):
                fence = None
            continue
        if opened:
            fence = opened.group(1)
            continue
        blank = not line.strip()
        if re.match(r"^ {0,3}([-*+]|\d+[.)])\s", line):
            in_list = True
        elif not blank and not line.startswith(" "):
            in_list = False
        indented = line.startswith("    ") or line.startswith("\t")
        if indented and previous_blank_or_code and not in_list and not blank:
            continue  # an indented code block
        previous_blank_or_code = blank
        yield number, line


def without_code_spans(line):
    return CODE_SPAN.sub(lambda m: " " * len(m.group(0)), line)


def heading_text(markdown):
    """A heading's text as GitHub renders it: code spans keep their words, links keep their text,
    emphasis marks and HTML tags go."""
    parts = []
    position = 0
    for span in CODE_SPAN.finditer(markdown):
        parts.append(_plain(markdown[position:span.start()]))
        parts.append(span.group(2).strip())
        position = span.end()
    parts.append(_plain(markdown[position:]))
    return "".join(parts)


def _plain(markdown):
    markdown = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", markdown)
    markdown = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", markdown)
    markdown = re.sub(r"<[^>]+>", "", markdown)
    markdown = markdown.replace("*", "")
    return re.sub(r"(?<!\w)_+|_+(?!\w)", "", markdown)


def slug(text):
    """GitHub's heading anchor: lower case; letters, marks, digits, connector punctuation, blanks
    and hyphens kept; each blank a hyphen."""
    kept = []
    for character in text.strip().lower():
        category = unicodedata.category(character)
        if character in " -" or category[0] in "LMN" or category == "Pc":
            kept.append("-" if character == " " else character)
    return "".join(kept)


def anchors(path):
    """Every anchor a Markdown file offers: its headings (a repeated one gets -1, -2, ...) and
    the ids and names of its HTML elements."""
    with open(path, encoding="utf-8") as f:
        lines = list(prose_lines(f.read()))
    found = set()
    seen = {}
    previous = None
    for number, line in lines:
        text = None
        heading = ATX_HEADING.match(line)
        if heading:
            text = heading.group(2) or ""
        elif (previous and previous[0] == number - 1 and previous[1].strip()
              and SETEXT_UNDERLINE.match(line) and not ATX_HEADING.match(previous[1])):
            text = previous[1].strip()
        if text is not None:
            base = slug(heading_text(text))
            count = seen.get(base, 0)
            seen[base] = count + 1
            found.add(base if count == 0 else f"{base}-{count}")
        for anchor in HTML_ANCHOR.findall(line):
            found.add(anchor)
        previous = (number, line)
    return found


def links(path):
    """(line number, target) of every link and image in a Markdown file."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    lines = list(prose_lines(text))
    definitions = {}
    for number, line in lines:
        definition = REFERENCE_DEFINITION.match(line)
        if definition:
            definitions[definition.group(1).strip().lower()] = (number, definition.group(2))
    found = [(number, target) for number, target in definitions.values()]
    for number, line in lines:
        if REFERENCE_DEFINITION.match(line):
            continue
        prose = without_code_spans(line)
        for link in INLINE_LINK.finditer(prose):
            found.append((number, link.group(1)))
        for use in REFERENCE_USE.finditer(prose):
            label = (use.group(2) or use.group(1)).strip().lower()
            if label not in definitions:
                found.append((number, f"[{label}] (no such reference definition)"))
        for target in HTML_TARGET.findall(prose):
            found.append((number, target))
    return found


def broken(path, target, anchor_cache):
    """Why a link is broken, or None."""
    if target.endswith("(no such reference definition)"):
        return "undefined reference"
    target = target.strip("<>")
    if SCHEME.match(target) or target.startswith("//"):
        return None  # external: not fetched
    file_part, _, anchor = target.partition("#")
    file_part = unquote(file_part)
    if file_part.startswith("/"):
        return "absolute path: write it relative to this file"
    resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
    if not os.path.exists(resolved):
        return f"no file {resolved}"
    if not anchor:
        return None
    if not resolved.endswith(".md") or os.path.isdir(resolved):
        return f"an anchor into {resolved}, which is no Markdown file"
    if resolved not in anchor_cache:
        anchor_cache[resolved] = anchors(resolved)
    if unquote(anchor) not in anchor_cache[resolved]:
        return f"no heading '#{anchor}' in {resolved}"
    return None


def markdown_files(paths):
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in sorted(os.walk(path)):
                for name in sorted(names):
                    if name.endswith(".md"):
                        yield os.path.join(folder, name)
        else:
            yield path


def check(paths):
    """Every broken link as 'file:line: target: why', and the count of links checked."""
    problems = []
    checked = 0
    anchor_cache = {}
    for path in markdown_files(paths):
        for number, target in links(path):
            checked += 1
            why = broken(path, target, anchor_cache)
            if why:
                problems.append(f"{path}:{number}: {target}: {why}")
    return problems, checked


SELF_TEST_TARGET = """# Target file
## Name / Misc: `name_misc`
## Tones & Cadence (advanced)
## Repeated
## Repeated
Setext heading
--------------
<a name="kept-by-hand"></a>
"""

# (a line in a document beside the target file, how many broken links the checker must find)
SELF_TEST_CASES = [
    ("[ok](target.md)", 0),
    ("![picture](target.md)", 0),
    ("[anchor](target.md#name--misc-name_misc)", 0),
    ("[anchor](target.md#tones--cadence-advanced)", 0),
    ("[second of two](target.md#repeated-1)", 0),
    ("[setext](target.md#setext-heading)", 0),
    ("[html anchor](target.md#kept-by-hand)", 0),
    ("[here](#a-heading-here)", 0),
    ("[external](https://example.org/nowhere.md#none)", 0),
    ("[a folder](sub)", 0),
    ("`[in code](missing.md)`", 0),
    ("[missing file](missing.md)", 1),
    ("![missing picture](missing.png)", 1),
    ("[missing anchor](target.md#name-misc)", 1),
    ("[third of two](target.md#repeated-2)", 1),
    ("[here, missing](#nothing-here)", 1),
    ("[absolute](/target.md)", 1),
    ("[undefined][nowhere]", 1),
    ("[defined][ref]\n\n[ref]: target.md#target-file", 0),
    ("[defined, broken][ref]\n\n[ref]: target.md#nope", 1),
    ('<img src="missing.png">', 1),
    ("[two](missing.md) and [three](target.md#nope)", 2),
    ("```\n[in a fence](missing.md)\n```", 0),
    ("text\n\n    [indented code](missing.md)", 0),
]


def self_test():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        os.mkdir(os.path.join(folder, "sub"))
        with open(os.path.join(folder, "target.md"), "w", encoding="utf-8") as f:
            f.write(SELF_TEST_TARGET)
        document = os.path.join(folder, "document.md")
        for line, expected in SELF_TEST_CASES:
            with open(document, "w", encoding="utf-8") as f:
                f.write(f"# A heading here\n\n{line}\n")
            problems, _ = check([document])
            if len(problems) != expected:
                failures += 1
                print(f"self-test: {line!r}: expected {expected} broken, found {len(problems)}: {problems}")
    print(f"self-test: {len(SELF_TEST_CASES) - failures} of {len(SELF_TEST_CASES)} cases as expected")
    return 1 if failures else 0


def main(arguments):
    if arguments == ["--self-test"]:
        return self_test()
    if not arguments:
        print(__doc__)
        return 2
    problems, checked = check(arguments)
    for problem in problems:
        print(problem)
    print(f"{checked} link(s) checked, {len(problems)} broken")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
