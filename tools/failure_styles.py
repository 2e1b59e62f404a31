#!/usr/bin/env python3
"""Ways to fail in src/ other than the one result type (Result / Outcome in src/core/result.h).

Each style is found by the shape of a declaration and, where the shape alone cannot tell a
failure from a plain "nothing here", by the words of the comment above it. Every site is
printed as file:line with the evidence, so a reader can judge each one; the figure is the count
of sites per style.

  bool + last error    a class that keeps the last failure between calls (a LastFailure(),
                       LastCause(), OpenFailure() ... accessor): its accessors and bool operations
                       (a const bool query is left out),
                       and every read of such an accessor outside the class's own files
  optional, no reason  std::optional<T> returned where nothing means it failed (the comment
                       says it cannot, could not, is refused, wrong, invalid ...)
  value means failure  std::optional<Problem/Error/Failure/...>, or an optional text that is the
                       reason, returned where a value means it failed
  empty means success  a QString returned that says why it failed, empty when it did not (the
                       comment says so, or the name is a problem's and the body returns empty)
  optional exit code   std::optional<int> returned by parsing: nothing to go on, or the exit code
  told and returned    a Result / Outcome returned by an operation that also tells its host the
                       status (the caller cannot tell whether to show the failure again)

    tools/failure_styles.py            # every site
    tools/failure_styles.py --counts   # the figures only
"""

import argparse
import collections
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCES = (".h", ".cpp")

QUALIFIERS = r"(?:(?:static|virtual|inline|constexpr|explicit|\[\[nodiscard\]\])\s+)*(?:const\s+)?"
# A function's declaration or definition: its return type, its (possibly qualified) name, its parameters' start.
DECLARATION = re.compile(
    r"^[ \t]*" + QUALIFIERS + r"(?P<type>(?:std::)?optional<.+?>|QString|bool|Outcome|Result<.+?>)\s*&?\s+"
    r"(?:\w+::)*(?P<name>[A-Z]\w*)\((?P<parameters>[^;{]*)",
    re.MULTILINE)
LAST_ACCESSOR = re.compile(r"\b(?:Last|Open)(?:Failure|Cause|Error)\(\)\s*const")
ACCESSOR_NAME = re.compile(r"^(?:Last\w+|Open(?:Failure|Cause|Error))$")
LAST_READ = re.compile(r"(?:\.|->)\s*(Last(?:Failure|Cause|Status|Error|Write)|Open(?:Failure|Cause))\(\)")

FAILURE_WORDS = re.compile(
    r"\b(cannot|can't|could not|wrong|invalid|refused|unreadable|damaged|short(?:er)?|non-digit|"
    r"not plugged in|lies in no)\b", re.IGNORECASE)
REASON_WORDS = re.compile(r"\b(why|reason|refus\w*|fail\w*|error|wrong|problem|complain\w*)\b", re.IGNORECASE)
PROBLEM_TYPE = re.compile(r"optional<\w*(Problem|Error|Failure|Obstacle|Refusal)\w*>")
PROBLEM_NAME = re.compile(r"(Problem|Error|Failure|Obstacle|Fault|Refusal|Reason|Complaint)$")
REASON_TEXT = re.compile(r"\b(why|reason)\b", re.IGNORECASE)
EXIT_CODE = re.compile(r"exit code", re.IGNORECASE)
HOST_PARAMETER = re.compile(r"\b\w*Host\s*&")

Site = collections.namedtuple("Site", "style place evidence")


def comment_above(lines: list, index: int) -> str:
    """The // lines directly above lines[index], and a comment after the declaration on its line."""
    above = []
    at = index - 1
    while at >= 0 and lines[at].strip().startswith("//"):
        above.insert(0, lines[at].strip()[2:].strip())
        at -= 1
    trailing = lines[index].split("//", 1)[1] if "//" in lines[index] else ""
    return " ".join(above + [trailing.strip()]).strip()


def declarations(path: pathlib.Path, text: str):
    lines = text.splitlines()
    for match in DECLARATION.finditer(text):
        index = text.count("\n", 0, match.start())
        yield index + 1, match.group("type"), match.group("name"), match.group("parameters"), comment_above(lines, index)


def style_of(stem: tuple, kind: str, name: str, parameters: str, comment: str):
    """(style, evidence) for one declaration, or None when it fails in the one result type or not at all."""
    optional = kind.startswith(("std::optional", "optional"))
    if optional and PROBLEM_TYPE.search(kind):
        return "value means failure", kind
    if optional and kind.endswith("optional<QString>") and REASON_TEXT.search(comment):
        return "value means failure", f"{kind}, comment: {REASON_TEXT.search(comment).group(0)}"
    if optional and re.search(r"optional<int>", kind) and EXIT_CODE.search(comment):
        return "optional exit code", "comment: exit code"
    if optional and FAILURE_WORDS.search(comment):
        return "optional, no reason", f"{kind}, comment: {FAILURE_WORDS.search(comment).group(0)}"
    if kind == "QString" and not ACCESSOR_NAME.match(name):
        if PROBLEM_NAME.search(name) and returns_empty(stem, name):
            return "empty means success", "name, and returns an empty text"
        if "empty" in comment.lower() and REASON_WORDS.search(comment):
            return "empty means success", f"comment: {REASON_WORDS.search(comment).group(0)}, empty"
    if kind.startswith(("Outcome", "Result")) and HOST_PARAMETER.search(parameters):
        told = telling(stem, name)
        if told:
            return "told and returned", f"{kind}, and tells its host: {told}"
    return None


BODIES = {}
TELLS = re.compile(r"\b(ShowStatus|ShowFileProblem|Report|Show|LoadRefused|SaveRefused)\((?:[^()]*\bhost\b)?")


def function_bodies(files: dict) -> None:
    """Every definition's body by its folder, file stem (foo.h and foo.cpp alike) and bare name."""
    for path, text in files.items():
        for match in re.finditer(r"\b(?:\w+::)*([A-Z]\w*)\([^;{}]*\)\s*(?:const\s*)?\{", text):
            depth, at = 1, match.end()
            while depth and at < len(text):
                depth += {"{": 1, "}": -1}.get(text[at], 0)
                at += 1
            BODIES.setdefault((path.parent, path.stem, match.group(1)), []).append(text[match.end():at])


def returns_empty(stem: tuple, name: str) -> bool:
    """Whether a body of that name can return an empty text (a formatter of a known failure cannot)."""
    empty = re.compile(r"return\s+(?:QString\(\)|\{\}|\"\"|QStringLiteral\(\"\"\))\s*;")
    return any(empty.search(body) for body in BODIES.get((*stem, name), []))


def telling(stem: tuple, name: str) -> str:
    """The call by which a function shows its host a status, or empty when its body shows none."""
    for body in BODIES.get((*stem, name), []):
        for match in TELLS.finditer(body):
            if "host" in match.group(0) or match.group(1) in ("ShowStatus", "ShowFileProblem"):
                return match.group(1)
    return ""


def keeping_classes(files: dict) -> dict:
    """Header -> the line span of each class in it that keeps its last failure between calls."""
    keeping = {}
    for path, text in files.items():
        if path.suffix != ".h":
            continue
        for accessor in LAST_ACCESSOR.finditer(text):
            opening = [m for m in re.finditer(r"^(?:class|struct) \w+[^;]*\{", text[:accessor.start()], re.MULTILINE)]
            if not opening:
                continue
            first = text.count("\n", 0, opening[-1].start()) + 1
            closing = re.compile(r"^\};", re.MULTILINE).search(text, accessor.end())
            last = text.count("\n", 0, closing.start()) + 1 if closing else text.count("\n") + 1
            if (first, last) not in keeping.setdefault(path, []):
                keeping[path].append((first, last))
    return keeping


def inside(spans: list, line: int) -> bool:
    return any(first <= line <= last for first, last in spans)


def sites(source: pathlib.Path) -> list:
    files = {path: path.read_text(encoding="utf-8", errors="replace")
             for path in sorted(source.rglob("*")) if path.suffix in SOURCES}
    keeping = keeping_classes(files)
    function_bodies(files)
    found, seen = [], set()
    # Headers first, so that a function declared in foo.h and defined in foo.cpp counts once.
    for path in sorted(files, key=lambda p: (p.suffix != ".h", str(p))):
        place = path.relative_to(ROOT)
        for line, kind, name, parameters, comment in declarations(path, files[path]):
            key = (path.parent, path.stem, name)
            if key in seen:
                continue
            seen.add(key)
            operation = kind == "bool" and not re.search(r"\)\s*const\b", parameters)  # a query is no operation
            if inside(keeping.get(path, []), line) and (operation or ACCESSOR_NAME.match(name)):
                what = "accessor" if ACCESSOR_NAME.match(name) else "bool"
                found.append(Site("bool + last error", f"{place}:{line}", f"{what} {name}"))
                continue
            style = style_of((path.parent, path.stem), kind, name, parameters, comment)
            if style:
                found.append(Site(style[0], f"{place}:{line}", f"{name}: {style[1]}"))
        for match in LAST_READ.finditer(files[path]):
            if path.with_suffix(".h") in keeping:
                continue  # the class reading its own state
            line = files[path].count("\n", 0, match.start()) + 1
            found.append(Site("bool + last error", f"{place}:{line}", f"reads {match.group(1)}()"))
    return found


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--counts", action="store_true", help="print the figures only")
    parser.add_argument("--source", type=pathlib.Path, default=ROOT / "src")
    arguments = parser.parse_args()

    found = sites(arguments.source)
    by_style = collections.OrderedDict()
    for site in found:
        by_style.setdefault(site.style, []).append(site)
    for style, listed in by_style.items():
        print(f"{style}: {len(listed)}")
        if not arguments.counts:
            for site in listed:
                print(f"  {site.place}  {site.evidence}")
    print(f"failure sites outside Result/Outcome: {len(found)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
