#!/usr/bin/env bash
# The pages cannot drift from the program silently: every commit that
# README.md, CONTRIBUTING.md or a page of docs/ names is in the history of
# HEAD, and the exit codes, the switches and the table of modes that README.md
# and the release's README.txt (made from resources/README.txt.in) give are
# the program's own, read from its tables (app/Startup.h's Exit constants,
# the switch names the dispatcher looks up in cmdline/CommandDispatcher.cpp,
# the rows of devices/U360ModeTable.cpp and devices/ServoModes.cpp, the menu
# labels of resources/Velmora.rc).
#   tools/check-docs.sh
# Exit status 1, with every difference named, when any page differs.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 - <<'PY'
import glob, re, subprocess, sys

faults = []


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


# Commits: a word of 7 to 40 hexadecimal digits with a letter and a digit.
HASH = re.compile(r"\b(?=[0-9a-f]*[a-f])(?=[0-9a-f]*[0-9])[0-9a-f]{7,40}\b")
pages = ["README.md", "CONTRIBUTING.md"] + sorted(glob.glob("docs/*.md"))
named = 0
for page in pages:
    for number, line in enumerate(read(page).splitlines(), 1):
        for commit in HASH.findall(line):
            named += 1
            known = subprocess.run(["git", "cat-file", "-e", commit + "^{commit}"],
                                   stderr=subprocess.DEVNULL).returncode == 0
            if not known:
                faults.append(f"{page}:{number}: commit {commit} does not exist")
            elif subprocess.run(["git", "merge-base", "--is-ancestor", commit, "HEAD"]).returncode:
                faults.append(f"{page}:{number}: commit {commit} is not in the history of HEAD")

# The program's own tables.
codes = {int(c) for c in re.findall(r"constexpr int Exit\w+ = (\d+);", read("app/Startup.h"))}
switches = set(re.findall(r'"(-[a-z0-9]+)"', read("cmdline/CommandDispatcher.cpp")))
rc = read("resources/Velmora.rc")
labels = {ident: label for label, ident in re.findall(r'MENUITEM "([^"]+)", (IDM_\w+)', rc)}
modes = set()
for ident, name in re.findall(r'\{(IDM_U360_\w+), "(\w+)"\}', read("devices/U360ModeTable.cpp")):
    modes.add((labels.get(ident, ident), "-u360", name))
servo_ids = dict(re.findall(r"constexpr int (CommandServo\w+) = (IDM_\w+);",
                            read("devices/ServoCommands.h")))
for command, name in re.findall(r'case (CommandServo\w+):\s*std::strcpy\(AppSettings\.ServoMapFile, "(\w+)"\)',
                                read("devices/ServoModes.cpp")):
    ident = servo_ids.get(command, command)
    modes.add((labels.get(ident, ident), "-servo", name))
if not codes or not switches or len(modes) != 11:
    sys.exit(f"check-docs: the program's tables were not read (codes {codes}, switches "
             f"{switches}, {len(modes)} modes of 11)")


def compare(page, what, listed, own):
    for item in sorted(listed - own, key=str):
        faults.append(f"{page}: lists {what} {item}, which the program does not have")
    for item in sorted(own - listed, key=str):
        faults.append(f"{page}: does not list {what} {item}")


def usage_switches(text):
    line = next((l for l in text.splitlines() if l.strip().startswith("Velmora.exe [")), "")
    return set(re.findall(r"-[a-z0-9]+", line))


readme = read("README.md")
compare("README.md", "exit code",
        {int(c) for c in re.findall(r"^\| (\d+) \|", readme, re.M)}, codes)
compare("README.md", "switch", usage_switches(readme), switches)
# A launcher line names the program by its full path, in quotes.
LAUNCHER = r'"C:\\Velmora\\Velmora\.exe"'
compare("README.md", "mode", {(label, switch, name) for label, switch, name in re.findall(
    r"^\| (?:UltraStik 360|ServoStik) \| ([^|]+?) \| `" + LAUNCHER + r" (-\w+) (\w+)` \|", readme, re.M)},
    modes)

text = read("resources/README.txt.in")
section = re.search(r"^Exit codes\n-+\n(.*?)\n\S[^\n]*\n-+\n", text, re.S | re.M)
compare("resources/README.txt.in", "exit code",
        {int(c) for c in re.findall(r"^  (\d+)  ", section.group(1) if section else "", re.M)}, codes)
compare("resources/README.txt.in", "switch", usage_switches(text), switches)
compare("resources/README.txt.in", "mode", set(re.findall(
    r"^  (\S.*?\S)  +" + LAUNCHER + r" (-u360|-servo) (\w+)$", text, re.M)), modes)

for fault in faults:
    print(f"check-docs: {fault}", file=sys.stderr)
if faults:
    sys.exit(f"check-docs: {len(faults)} differences between the pages and the program")
print(f"check-docs: {named} commits named are in the history; README.md and README.txt list the "
      f"program's {len(codes)} exit codes, {len(switches)} switches and {len(modes)} modes")
PY
