"""A new copy from set A with both DVDs in the drive: the run never asks for a DVD and
ejects nothing."""

import os

import driver
import install_road as road
from driver import check

NAME = "Both"


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_both_dvds", args.sets)
    box.insert_dvd("A", 1)
    box.insert_dvd("A", 2)
    inst = start(box)
    road.pick_and_tick(inst, box, NAME)
    inst.click("continue")
    line = inst.wait_trace("the done screen", lambda l: l.get("screen") in ("dvd_done_install", "dvd_switch_disk_install"))
    check(line["screen"] == "dvd_done_install", "a DVD change was asked for: %r" % line["text"])
    check(line["text"] == road.SUCCESS, "done: %r" % line["text"])
    seen = [l.get("screen") for l in inst.trace_lines()]
    check("dvd_switch_disk_install" not in seen, "the change screen was shown")
    check(box.ejects() == [], "ejects: %r" % box.ejects())
    dest = road.copy_folder(box, NAME) + "/"
    check(road.registration(box) == dest + "\n", "registration file: %r" % road.registration(box))
    road.check_copy(box, dest)
    for dvd in box.manifest["sets"]["A"]:
        check(os.path.isdir(os.path.join(box.media, dvd)), "%s left the drive" % dvd)
    inst.click("continue")
    check(inst.wait_exit() == 0, "Quit did not end with 0")
    check(road.starts_logged(box) == 1, "the run started %d times" % road.starts_logged(box))


if __name__ == "__main__":
    driver.run_flow("e2e_install_both_dvds", flow)
