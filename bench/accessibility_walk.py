"""Walks the whole accessible tree of the running program named Ostrin over
the AT-SPI bus, as an assistive tool does, and prints how many objects it met
and how long the walk took. Run with the system's python3 (python3-pyatspi)."""
import sys
import time

import pyatspi


def find_app(name, wait):
    end = time.time() + wait
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    count = 1
    if depth > 60:
        return count
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            count += walk(child, depth + 1)
    return count


app = find_app(sys.argv[1] if len(sys.argv) > 1 else "Ostrin", 20)
if app is None:
    print("the program did not appear on the accessibility bus", file=sys.stderr)
    sys.exit(1)
best = None
for _ in range(3):
    t0 = time.perf_counter()
    n = walk(app)
    t = time.perf_counter() - t0
    best = t if best is None else min(best, t)
print("objects %d, walk %.3f s" % (n, best))
