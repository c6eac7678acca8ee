"""What the main menu says before there is anything to do: no DVD, a disc that is not an
install DVD, a scenery-only set without an installed copy, and the French texts chosen at
the language chooser."""

import os

import driver
from driver import check

TITLE = "Kestrix 9 Installer"
INSERT_FIRST = "Please insert Kestrix 9 DVD number one to begin."
NOT_OURS = "This DVD does not appear to be an Kestrix 9 DVD."
WELCOME = "Welcome to the Kestrix 9 Installer.  I will guide you through the proess of installing "
SCENERY_ONLY = ["This DVD (", ") contains global scenery.  You must install the sim before you install the global scenery."]
IDENTITY = "dvd_version.txt"
# The identity file of another generation of discs: a header version we do not read.
OTHER_IDENTITY = "I\n800 version\nDVD\n\nVERSION %s\n"


def chooser(inst, language=None):
    inst.wait_modal(994)
    if language:
        inst.click(language)
    inst.key("Return")


def nothing_to_go_to(line):
    check(line["back"] is None and line["next"] is None and line["choices"] == [],
          "a way on from %r" % line["text"])


def quits_with_0(inst):
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")


def no_dvd(args, start):
    box = driver.Sandbox(args.work, "e2e_entry_states_none", args.sets)
    inst = start(box)
    chooser(inst)
    line = inst.wait_screen("dvd_start", text=INSERT_FIRST)
    check(line["title"] == TITLE, "the title: %r" % line["title"])
    nothing_to_go_to(line)
    quits_with_0(inst)


def not_an_install_dvd(args, start):
    box = driver.Sandbox(args.work, "e2e_entry_states_other", args.sets)
    dvd = box.stage_dvd("A", 1)
    identity = os.path.join(dvd, IDENTITY)
    with open(identity) as f:
        good = f.read()
    with open(identity, "w") as f:
        f.write(OTHER_IDENTITY % box.manifest["product"])
    box.insert_dvd("A", 1)
    dvd = os.path.join(box.media, os.path.basename(dvd))
    inst = start(box)
    chooser(inst)
    nothing_to_go_to(inst.wait_screen("dvd_start", text=NOT_OURS))
    # The disc is looked at again while it is not known: a good identity file is taken.
    box.allow_change(os.path.join(dvd, IDENTITY))
    with open(os.path.join(dvd, IDENTITY), "w") as f:
        f.write(good)
    line = inst.wait_screen("dvd_start", text=WELCOME + box.manifest["product"] + ".")
    check(line["next"] == "dvd_pick_install", "Continue leads to %s" % line["next"])
    quits_with_0(inst)


def scenery_without_a_copy(args, start):
    box = driver.Sandbox(args.work, "e2e_entry_states_scenery", args.sets)
    box.insert_dvd("B", 1)
    inst = start(box)
    chooser(inst)
    product = box.manifest["product"]
    nothing_to_go_to(inst.wait_screen("dvd_start", text=SCENERY_ONLY[0] + product + SCENERY_ONLY[1]))
    quits_with_0(inst)


def in_french(args, start):
    french = driver.translation(args.installer, "french")
    for english in (TITLE, WELCOME):
        check(french.get(english, english) != english, "no French for %r" % english)
    box = driver.Sandbox(args.work, "e2e_entry_states_french", args.sets)
    box.insert_dvd("A", 1)
    inst = start(box)
    chooser(inst, "994_french")
    line = inst.wait_screen("dvd_start", text=french[WELCOME] + box.manifest["product"] + ".")
    check(line["title"] == french[TITLE], "the title: %r" % line["title"])
    quits_with_0(inst)


def flow(args, start):
    no_dvd(args, start)
    not_an_install_dvd(args, start)
    scenery_without_a_copy(args, start)
    in_french(args, start)


if __name__ == "__main__":
    driver.run_flow("e2e_entry_states", flow)
