#!/usr/bin/python3
"""Finds elements of a running program's web page over AT-SPI, as assistive technology does.

Prints one line per match, in document order: "X Y W H<TAB>TEXT", with the screen extents of the
element and its text (the accessible text when it has one, else its accessible name; line breaks
become blanks). Exits 0 when something matched, 1 when nothing did before the deadline, 2 on bad use.

  atspi_find.py --pid PID --id DOM_ID [--expect TEXT] [--timeout S]
  atspi_find.py --pid PID --role "push button" [--name NAME] [--all] [--expect TEXT] [--timeout S]

--expect waits until the text of some match contains TEXT (then prints the matches).
--interval sets the pause between attempts; --stamp first prints "@BEGIN END", the monotonic clock
(the one C++'s steady_clock reads on Linux) at the start and end of the attempt that matched.
"""

import argparse
import sys
import time

import pyatspi
from gi.repository import GLib

MAX_MATCHES = 5000


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        try:
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == pid:
                return app
        except GLib.GError:
            continue
    return None


def find_document(app):
    # The UI process's tree is small; the page lives in the web process behind a socket, and only
    # the document's own Collection reaches into it cheaply.
    queue = [app]
    seen = 0
    while queue and seen < 500:
        node = queue.pop(0)
        seen += 1
        try:
            if node.getRole() == pyatspi.ROLE_DOCUMENT_WEB:
                return node
            queue.extend(node.getChildAtIndex(i) for i in range(node.childCount))
        except GLib.GError:
            continue
    return None


def role_from_name(text):
    role = pyatspi.Role._enum_lookup  # name table of the enum
    wanted = text.strip().lower()
    for value, name in role.items():
        if name.replace("ROLE_", "").replace("_", " ").lower() == wanted:
            return pyatspi.Role(value)
    raise SystemExit("unknown role: %s" % text)


def matches(document, args):
    col = document.queryCollection()
    attrs = ["id:%s" % args.id] if args.id else []
    roles = [role_from_name(args.role)] if args.role else []
    rule = col.createMatchRule(
        pyatspi.StateSet(), col.MATCH_NONE,
        attrs, col.MATCH_ALL if attrs else col.MATCH_NONE,
        roles, col.MATCH_ANY if roles else col.MATCH_NONE,
        [], col.MATCH_NONE, False)
    # One match is enough for a unique id, and lets the search stop early in a long page.
    count = 1 if args.id and not args.all and args.name is None else MAX_MATCHES
    found = col.getMatches(rule, col.SORT_ORDER_CANONICAL, count, True)
    if args.name is not None:
        found = [n for n in found if (n.name or "").strip() == args.name]
    return found


def text_of(node):
    text = None
    try:
        t = node.queryText()
        text = t.getText(0, t.characterCount)
    except NotImplementedError:
        pass
    if not text or text.strip("\ufffc ") == "":
        text = node.name or ""
    return " ".join(text.replace("\ufffc", " ").split())


def describe(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return "%d %d %d %d\t%s" % (box.x, box.y, box.width, box.height, text_of(node))


def attempt(args):
    app = find_app(args.pid)
    if app is None:
        return None
    document = find_document(app)
    if document is None:
        return None
    found = matches(document, args)
    if not found:
        return None
    lines = [describe(n) for n in found]
    if args.expect is not None and not any(args.expect in line.split("\t", 1)[1] for line in lines):
        return None
    return lines if args.all else lines[:1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--id")
    parser.add_argument("--role")
    parser.add_argument("--name")
    parser.add_argument("--all", action="store_true")
    parser.add_argument("--expect")
    parser.add_argument("--timeout", type=float, default=0.0)
    parser.add_argument("--interval", type=float, default=0.1)
    parser.add_argument("--stamp", action="store_true")
    args = parser.parse_args()
    if not args.id and not args.role:
        parser.print_usage(sys.stderr)
        return 2

    deadline = time.monotonic() + args.timeout
    while True:
        try:
            began = time.monotonic()
            lines = attempt(args)
            ended = time.monotonic()
        except (GLib.GError, NotImplementedError, AttributeError) as err:
            # The tree changes under us while the page re-renders; try again.
            lines = None
            last_error = err
        if lines:
            if args.stamp:
                print("@%.6f %.6f" % (began, ended))
            print("\n".join(lines))
            return 0
        if time.monotonic() >= deadline:
            if "last_error" in locals():
                print("last error: %s" % last_error, file=sys.stderr)
            return 1
        time.sleep(args.interval)


if __name__ == "__main__":
    sys.exit(main())
