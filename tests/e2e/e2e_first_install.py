"""A first install from set A: DVD 1 in the drive, DVD 2 waiting beside it. The name and
destination checks, the licence, one tile taken off the map, the DVD change, the copy on
disk against the manifest, and "Run Kestrix Now"."""

import os

import driver
import install_road as road
from driver import check

TILE = "-10+020"
EXISTING = "Existing"
ELSEWHERE = "elsewhere"
NAME = "KTest"


def destination(inst, box):
    product = box.manifest["product"]
    line = road.to_pick_destination(inst, product)
    check(line["text"] == road.will_create(box, product), "no desktop sentence: %r" % line["text"])
    check(line["next"] == "dvd_eula_install", "Continue is off at first")

    # The dialog is handed the prompt and the desktop, and answers another folder (without
    # the final "/", as dialogs do); asked again from there, it answers the desktop.
    elsewhere = box.path(ELSEWHERE)
    box.answer_dialog(elsewhere)
    inst.click(road.CHANGE_DESTINATION)
    inst.wait_screen("dvd_pick_install", text=road.WILL_CREATE % (product, elsewhere + "/"))
    box.answer_dialog(box.desktop)
    inst.click(road.CHANGE_DESTINATION)
    inst.wait_screen("dvd_pick_install", text=road.will_create(box, product))
    with open(box.dialog_log) as f:
        calls = [c.split("\n") for c in f.read().split("\n--\n") if c]
    check(len(calls) == 2, "the dialog ran %d times" % len(calls))
    for call, start_at in zip(calls, (box.desktop, elsewhere)):
        check(call[:2] == ["--file-selection", "--directory"], "not a folder dialog: %r" % call)
        check("--title=" + road.FOLDER_PROMPT in call, "the dialog's prompt: %r" % call)
        check("--filename=" + start_at + "/" in call, "the dialog does not start at %s: %r" % (start_at, call))

    line = road.set_name(inst, product, "")
    check(line["next"] is None, "Continue is on with an empty name")

    road.set_name(inst, "", EXISTING)
    line = inst.wait_screen("dvd_pick_install", text=road.EXISTS % (EXISTING, box.desktop + "/"))
    check(line["next"] is None, "Continue is on for an existing folder")

    road.set_name(inst, EXISTING, NAME)
    inst.wait_screen("dvd_pick_install", text=road.will_create(box, NAME), next="dvd_eula_install")


def licence_and_map(inst, box):
    road.past_the_licence(inst)
    # The size block is traced as it is drawn, just before the screen's own line.
    seen = inst.trace_lines()[:inst.trace_seen]
    sizes = [l for l in seen if "sizes" in l]
    check(sizes and sizes[-1]["sizes"].endswith(road.SCENERY_ENOUGH), "no size block on the map: %r" % sizes[-1:])
    before = road.needed_kb(sizes[-1])
    inst.click(road.TILE_S10_E20)
    # The free space may move under other programs' feet: only the needed space counts.
    after = road.needed_kb(inst.wait_trace("the needed space to change",
                                           lambda l: "sizes" in l and road.needed_kb(l) != before))
    check(after < before, "the needed space went from %g KB to %g KB" % (before, after))
    inst.click("continue")


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_first_install", args.sets)
    box.insert_dvd("A", 1)
    box.stage_dvd("A", 2)
    # The user's folders the flow points the installer at are there before it starts, so
    # that they are looked over with the rest of the sandbox at the end.
    os.mkdir(box.path(ELSEWHERE))
    os.mkdir(os.path.join(box.desktop, EXISTING))
    box.allow_change(road.copy_folder(box, NAME))
    inst = start(box)
    destination(inst, box)
    licence_and_map(inst, box)
    dest = road.copy_folder(box, NAME) + "/"

    inst.wait_screen("dvd_switch_disk_install", text=road.INSERT_DVD % 2)
    driver.wait_until("the eject of DVD 1", lambda: box.ejects())
    check(box.ejects() == [os.path.join(box.media, "KESTRIX_DVD1")], "ejects: %r" % box.ejects())
    check(road.registration(box) == dest + "\n", "registration file: %r" % road.registration(box))
    box.insert_dvd("A", 2)
    inst.click("continue")
    line = inst.wait_screen("dvd_done_install")
    check(line["text"] == road.SUCCESS, "done: %r" % line["text"])
    check(line["choices"] == [road.RUN_NOW], "choices: %r" % line["choices"])
    check(box.ejects() == [os.path.join(box.media, "KESTRIX_DVD1")], "ejects: %r" % box.ejects())
    road.check_copy(box, dest, without=[road.tile_file(box, TILE)])

    inst.click_choice(0)
    check(inst.wait_exit() == 1, "Run Kestrix Now did not end the installer with 1")
    app = os.path.join(dest, box.manifest["fake_sim"]["install_path"])
    ran = driver.wait_until("the copy's application", lambda: os.path.isfile(box.sim_log) and open(box.sim_log).read())
    check(ran.split("\n")[0] == app, "the application recorded %r" % ran)
    # The log is complete once the installer has ended.
    check(road.starts_logged(box) == 1, "the run started %d times" % road.starts_logged(box))


if __name__ == "__main__":
    driver.run_flow("e2e_first_install", flow)
