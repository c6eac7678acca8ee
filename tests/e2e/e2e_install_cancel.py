"""Cancelling a run. The run waits at the DVD change for DVD 2 with DVD 1's files in the
new folder; Go Back there asks window 997 whether to cancel. Continue goes back to the
same run, Return in the box deletes nothing, Cancel deletes the folder; the copy's
registration line stays."""

import os

import driver
import install_road as road
from driver import check

NAME = "Cancelled"
CANCEL_TEXTS = [road.CANCEL_QUESTION, "the installation and delete partial installation.", "the installation process."]


def back_to_the_question(inst):
    inst.click("back")
    line = inst.wait_modal(997)
    check(line["texts"] == CANCEL_TEXTS, "the question: %r" % line["texts"])
    check(line["labels"] == ["Cancel", "Continue"], "buttons: %r" % line["labels"])


def still_waiting_for_dvd2(inst, box, dest, registered):
    inst.wait_screen("dvd_run_install")
    inst.wait_screen("dvd_switch_disk_install", text=road.INSERT_DVD % 2)
    check(os.path.isdir(dest), "the partial copy is gone")
    check(road.registration(box) == registered, "registration file: %r" % road.registration(box))


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_cancel", args.sets)
    box.insert_dvd("A", 1)
    box.stage_dvd("A", 2)
    inst = start(box)
    road.pick_and_tick(inst, box, NAME)
    inst.click("continue")
    inst.wait_screen("dvd_switch_disk_install", text=road.INSERT_DVD % 2)
    dest = road.copy_folder(box, NAME) + "/"
    registered = dest + "\n"
    first = next(f["install_path"] for f in box.manifest["files"] if f["dvd"] == 0 and f["linux"] and not f["link"])
    check(os.path.isfile(os.path.join(dest, first)), "DVD 1's files are not in the new folder")
    check(road.registration(box) == registered, "registration file: %r" % road.registration(box))

    back_to_the_question(inst)
    inst.click("997_button2")
    still_waiting_for_dvd2(inst, box, dest, registered)

    # Return answers nothing that deletes: the box stays, or closes back to the run. Its
    # Continue, clicked after the key was handled, goes on from there.
    back_to_the_question(inst)
    inst.key("Return")
    inst.click("997_button2")
    still_waiting_for_dvd2(inst, box, dest, registered)

    back_to_the_question(inst)
    inst.click("997_button1")
    inst.wait_screen("dvd_scenery_install")
    check(not os.path.exists(dest), "the partial copy was not deleted")
    check(road.registration(box) == registered, "registration file: %r" % road.registration(box))
    check(len(box.ejects()) == 1, "ejects: %r" % box.ejects())

    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")
    check(road.starts_logged(box) == 1, "the run started %d times" % road.starts_logged(box))


if __name__ == "__main__":
    driver.run_flow("e2e_install_cancel", flow)
