"""A typed name is one folder name. Names that are paths (into the desktop itself, the
home folder, beside the desktop, a folder below a new one) each keep Continue off on Pick
Destination with the line that says why; blanks in a name are fine. Nothing is made
anywhere: not on the desktop, not in the home folder, and no run starts."""

import os

import driver
import install_road as road
from driver import check

REFUSED = ["x/..", "x/../..", "../K9", ".", "..", "a/b"]
NOT_ONE_NAME = "The install name must be a single folder name, without '/', and not '.' or '..'."
WITH_BLANKS = "K 9"


def entries(folder):
    """The names in `folder`, less the installer's log."""
    return sorted(n for n in os.listdir(folder) if n != driver.LOG_NAME)


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_name_refused", args.sets)
    box.insert_dvd("A", 1)
    # The folders the refused names lead to (the desktop, and the home folder it lies
    # in), as they were.
    watched = [box.desktop, box.home]
    before = {d: entries(d) for d in watched}
    inst = start(box)
    product = box.manifest["product"]
    road.to_pick_destination(inst, product)
    old = product
    for name in REFUSED:
        road.set_name(inst, old, name)
        inst.wait_screen("dvd_pick_install", text=NOT_ONE_NAME, next=None)
        old = name
    # Continue does nothing while the name is refused.
    inst.click("continue")
    road.set_name(inst, old, WITH_BLANKS)
    inst.wait_screen("dvd_pick_install", text=road.will_create(box, WITH_BLANKS), next="dvd_eula_install")
    check(not any(l.get("screen") == "dvd_eula_install" for l in inst.trace_lines()),
          "Continue left Pick Destination with a refused name")
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")

    for d in watched:
        after = entries(d)
        check(after == before[d], "%s changed: %r, was %r" % (d, after, before[d]))
    check(road.registration(box) is None, "a copy was recorded: %r" % road.registration(box))
    check(road.starts_logged(box) == 0, "a run started")


if __name__ == "__main__":
    driver.run_flow("e2e_install_name_refused", flow)
