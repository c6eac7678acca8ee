"""At the DVD change the user puts DVD 1 back instead of DVD 2: the change screen comes
again and ejects it again, one eject per visit; DVD 2 then finishes the run, which never
starts over."""

import os

import driver
import install_road as road
from driver import check

NAME = "Wrong"


def change_screen(inst):
    return inst.wait_screen("dvd_switch_disk_install", text=road.INSERT_DVD % 2)


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_wrong_dvd", args.sets)
    dvd1 = box.insert_dvd("A", 1)
    box.stage_dvd("A", 2)
    inst = start(box)
    road.pick_and_tick(inst, box, NAME)
    inst.click("continue")
    change_screen(inst)
    driver.wait_until("the first eject", lambda: len(box.ejects()) == 1)
    check(not os.path.exists(dvd1), "DVD 1 is still in the drive")

    # DVD 1 again: a fresh copy of it goes into the drive.
    box.stage_dvd("A", 1)
    box.insert_dvd("A", 1)
    inst.click("continue")
    inst.wait_screen("dvd_verify_disk_install")
    change_screen(inst)
    driver.wait_until("the second eject", lambda: len(box.ejects()) == 2)
    check(box.ejects() == [dvd1, dvd1], "ejects: %r" % box.ejects())
    check(not os.path.exists(dvd1), "the wrong DVD is still in the drive")

    box.insert_dvd("A", 2)
    inst.click("continue")
    line = inst.wait_screen("dvd_done_install")
    check(line["text"] == road.SUCCESS, "done: %r" % line["text"])
    check(len(box.ejects()) == 2, "ejects: %r" % box.ejects())
    road.check_copy(box, road.copy_folder(box, NAME) + "/")
    inst.click("continue")
    check(inst.wait_exit() == 0, "Quit did not end with 0")
    check(road.starts_logged(box) == 1, "the run started %d times" % road.starts_logged(box))


if __name__ == "__main__":
    driver.run_flow("e2e_install_wrong_dvd", flow)
