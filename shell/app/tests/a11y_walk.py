#!/usr/bin/python3
# Prints the accessibility tree of the application named in argv[1] as a
# screen reader sees it, one object a line: depth, role, name, text or value,
# separated by tabs.
import sys

import pyatspi


def walk(acc, depth, out):
    try:
        role, name = acc.getRoleName(), acc.name or ""
    except Exception:
        return
    reading = ""
    try:
        text = acc.queryText()
        reading = text.getText(0, -1)
    except Exception:
        try:
            reading = "%g" % acc.queryValue().currentValue
        except Exception:
            pass
    out.append("%d\t%s\t%s\t%s" % (depth, role, name.replace("\t", " "), reading.replace("\t", " ")))
    if depth > 14:
        return
    for i in range(min(acc.childCount, 200)):
        walk(acc.getChildAtIndex(i), depth + 1, out)


desktop = pyatspi.Registry.getDesktop(0)
lines = []
for i in range(desktop.childCount):
    app = desktop.getChildAtIndex(i)
    if app is not None and app.name == sys.argv[1]:
        walk(app, 0, lines)
print("\n".join(lines))
sys.exit(0 if lines else 3)
