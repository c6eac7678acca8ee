"""Set C carries one archive cut short: the run asks what to do, Continue goes on, and
the done screen says the copy had errors; every other file is installed."""

import os

import driver
import install_road as road
from driver import check

NAME = "Damaged"


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_damaged_archive", args.sets)
    box.insert_dvd("C", 1)
    box.insert_dvd("C", 2)
    inst = start(box)
    road.pick_and_tick(inst, box, NAME)
    inst.click("continue")
    damaged = box.manifest["truncated"]
    line = inst.wait_modal(997)
    check(line["texts"][0].startswith(road.ERROR_HEADLINE + "\n\n"), "the question: %r" % line["texts"][0])
    check(line["texts"][0].endswith("\n\n" + road.ERROR_ADVICE), "the advice: %r" % line["texts"][0])
    folder = os.path.dirname(os.path.join(road.copy_folder(box, NAME), damaged["install_path"])) + "/"
    check(folder in line["texts"][0], "the question does not name the folder %s: %r" % (folder, line["texts"][0]))
    check(line["labels"] == ["Cancel", "Continue"], "buttons: %r" % line["labels"])
    inst.click("997_button2")
    line = inst.wait_screen("dvd_done_install")
    check(line["text"].startswith(road.DONE_WITH_ERRORS), "done: %r" % line["text"])
    check(line["choices"] == [], "choices after errors: %r" % line["choices"])
    dest = road.copy_folder(box, NAME) + "/"
    # The failed archive stays in the temporary folder.
    road.check_copy(box, dest, without=[damaged["install_path"]], temp_clean=False)
    inst.click("continue")
    check(inst.wait_exit() == 0, "Quit did not end with 0")


if __name__ == "__main__":
    driver.run_flow("e2e_install_damaged_archive", flow)
