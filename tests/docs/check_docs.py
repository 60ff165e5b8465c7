"""The administrator's guide against the code it documents.

    check_docs.py SOURCE_DIR

Fails when docs/ADMIN.md and the code disagree about what an administrator
reads off a run:

- exit codes: the rows of the exit-code table against the ExitCode enum
  (src/common), and every code's event ID (1000 + the code) in its row;
- outcome values: the names and types of the value table against every
  value the code writes under the outcome key (kOutcomeKey);
- LastMode: the modes the value table lists against RunModeName;
- switches: the switch table against the words the command line knows
  (src/app/command_line.cpp);
- links: every link of the guide and of the documents it links to names a
  document beside it (the release ships docs/ flat) and a heading there.

- events: the table's event IDs and types against the message file
  (src/res/norvane_events.mc, its MessageId= and Severity= lines).
"""

from __future__ import annotations

import re
import sys
from pathlib import Path

TYPES = {"REG_DWORD", "REG_SZ"}
SEVERITIES = {"Informational": "information", "Warning": "warning", "Error": "error"}


def tables(markdown: str) -> list[list[list[str]]]:
    """Every table of the document: its rows (header first) as lists of cells."""
    found, rows = [], []
    for line in markdown.splitlines() + [""]:
        if line.startswith("|"):
            cells = [c.strip() for c in re.split(r"(?<!\\)\|", line.strip())[1:-1]]
            if not all(re.fullmatch(r":?-+:?", c) for c in cells):
                rows.append(cells)
        elif rows:
            found.append(rows)
            rows = []
    return found


def table(markdown: str, first_header: str) -> list[list[str]]:
    """The one table whose first header is first_header, without its header."""
    matching = [t for t in tables(markdown) if t[0][0] == first_header]
    if len(matching) != 1:
        raise SystemExit(f"docs/ADMIN.md: {len(matching)} tables headed \"{first_header}\", "
                         "expected one")
    return matching[0][1:]


def ticked(cell: str) -> list[str]:
    return re.findall(r"`([^`]+)`", cell)


def exit_codes(source: Path) -> dict[str, int]:
    for header in sorted((source / "src" / "common").glob("*.h")):
        enum = re.search(r"enum ExitCode\b[^{]*\{(.*?)\};", header.read_text(), re.S)
        if enum:
            return {name: int(value)
                    for name, value in re.findall(r"(kExit\w+)\s*=\s*(\d+)", enum.group(1))}
    raise SystemExit("no enum ExitCode in src/common/*.h")


def product_sources(source: Path) -> list[Path]:
    fake = source / "src" / "port" / "fake"
    return [p for p in sorted((source / "src").rglob("*")) if p.suffix in (".cpp", ".h")
            and fake not in p.parents]


def outcome_values(source: Path) -> dict[str, str]:
    """Every value written under the outcome key, with its type: the names
    that files using kOutcomeKey hand to the value writers, as literals or as
    constants defined anywhere in src."""
    files = product_sources(source)
    constants = {}
    for path in files:
        constants.update(re.findall(r'constexpr\s+const\s+char\s*\*\s*(k\w+)\s*=\s*"([^"]*)"',
                                    path.read_text()))
    writer = re.compile(r'\b(SetString|SetText|SetNumber|RegSetValueExA)\(\s*[\w.\->]+(?:\(\))?'
                        r'\s*,\s*(?:"(\w+)"|(k\w+))\s*,(?=(.{0,60}))', re.S)
    values = {}
    for path in files:
        text = path.read_text()
        if "kOutcomeKey" not in text:
            continue
        for call, literal, constant, rest in writer.findall(text):
            name = literal or constants.get(constant)
            if not name:
                raise SystemExit(f"{path}: the value name {constant} is no constant of src")
            if call == "SetNumber" or (call == "RegSetValueExA" and "REG_DWORD" in rest):
                values[name] = "REG_DWORD"
            else:
                values[name] = "REG_SZ"
    if "LastResult" not in values:
        raise SystemExit("found no outcome value in src (is LastResult written another way? "
                         "teach tests/docs/check_docs.py how)")
    return values


def run_modes(source: Path) -> set[str]:
    for path in product_sources(source):
        body = re.search(r"const char\* RunModeName\(RunMode \w+\) \{(.*?)\n\}", path.read_text(),
                         re.S)
        if body:
            return set(re.findall(r'return "([^"]+)";', body.group(1)))
    raise SystemExit("no RunModeName in src")


def switches(source: Path) -> set[str]:
    text = (source / "src" / "app" / "command_line.cpp").read_text()
    return {w.lower() for w in re.findall(r'MbsICmp\(\s*\w+\s*,\s*"([^"]+)"\s*\)', text)}


def anchor(heading: str) -> str:
    """The fragment a heading gets on GitHub (and in most Markdown viewers)."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower().replace("`", ""))
    return text.replace(" ", "-")


def check_links(docs: Path) -> list[str]:
    problems, seen, todo = [], set(), ["ADMIN.md"]
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        for target, fragment in re.findall(r"\]\(([^)#\s]*)(?:#([^)\s]*))?\)",
                                           (docs / name).read_text()):
            if re.match(r"[a-z]+:", target) or target.endswith(".png"):
                continue
            document = target or name
            if "/" in document or not (docs / document).is_file():
                problems.append(f"{name} links to {target}, which is no document beside it")
                continue
            todo.append(document)
            headings = re.findall(r"^#+ (.+)$", (docs / document).read_text(), re.M)
            if fragment and fragment not in {anchor(h) for h in headings}:
                problems.append(f"{name} links to {document}#{fragment}, a heading it lacks")
    return problems


def check(source: Path) -> list[str]:
    guide = (source / "docs" / "ADMIN.md").read_text()
    problems = []

    codes = exit_codes(source)
    rows = table(guide, "Exit code")
    documented = {}
    for row in rows:
        if re.fullmatch(r"\d+", row[0]):
            documented[int(row[0])] = row
    for name, code in sorted(codes.items(), key=lambda item: item[1]):
        if code not in documented:
            problems.append(f"exit code {code} ({name}) is not in the exit-code table")
        elif str(1000 + code) not in re.findall(r"\d{4}", documented[code][1]):
            problems.append(f"exit code {code}: its event {1000 + code} is not in its row")
    for code in sorted(set(documented) - set(codes.values())):
        problems.append(f"exit code {code} is in the table, the code has none")

    values = outcome_values(source)
    rows = table(guide, "Value")
    listed = {}
    for row in rows:
        for name in ticked(row[0]):
            listed[name] = row
    for name, kind in sorted(values.items()):
        if name not in listed:
            problems.append(f"the code writes the outcome value {name}; the value table lacks it")
        elif listed[name][1] != kind:
            problems.append(f"{name} is written as {kind}; the table says {listed[name][1]}")
    for name in sorted(set(listed) - set(values)):
        problems.append(f"the value table lists {name}; the code writes no such value")

    modes = run_modes(source)
    if "LastMode" in listed:
        shown = set(ticked(listed["LastMode"][2]))
        for mode in sorted(modes - shown):
            problems.append(f"LastMode \"{mode}\" is written by the code, not listed in the table")
        for mode in sorted(shown - modes):
            problems.append(f"LastMode \"{mode}\" is listed in the table; the code has no such mode")

    known = switches(source)
    rows = table(guide, "Switch")
    shown = {t.lstrip("/-").lower() for row in rows for t in ticked(row[0])
             if t[:1] in "/-" and "<" not in t}
    for word in sorted(known - shown):
        problems.append(f"the command line knows \"{word}\"; the switch table lacks it")
    for word in sorted(shown - known):
        problems.append(f"the switch table lists \"{word}\"; the command line does not know it")
    problems += check_events(source, source / "src" / "res" / "norvane_events.mc")
    return problems + check_links(source / "docs")


def check_events(source: Path, message_file: Path) -> list[str]:
    """The event IDs and types of the exit-code table against the message
    file: every ID the file defines is in the table with the file's
    severity, and every ID in the table is in the file."""
    guide = (source / "docs" / "ADMIN.md").read_text()
    documented = {}
    for row in table(guide, "Exit code"):
        kind = row[2].lower()
        for event in re.findall(r"\b(1\d{3})\b", row[1]):
            documented[int(event)] = kind
    defined, message, severity = {}, None, None
    for line in message_file.read_text().splitlines():
        field = re.match(r"\s*(MessageId|Severity)\s*=\s*(\S*)", line)
        if not field:
            continue
        if field.group(1) == "MessageId":
            if message is not None:
                defined[message] = severity
            message, severity = int(field.group(2), 0), None
        else:
            severity = SEVERITIES.get(field.group(2), field.group(2))
    if message is not None:
        defined[message] = severity
    problems = []
    for event, kind in sorted(defined.items()):
        if event not in documented:
            problems.append(f"event {event} is in {message_file.name}, not in the table")
        elif kind and documented[event] != kind:
            problems.append(f"event {event} is of type {kind}; the table says {documented[event]}")
    for event in sorted(set(documented) - set(defined)):
        problems.append(f"event {event} is in the table, not in {message_file.name}")
    return problems


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    problems = check(Path(argv[1]))
    for p in problems:
        print(p)
    if not problems:
        print("docs/ADMIN.md: exit codes, events, outcome values, modes and switches as the code has them")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
