"""The installer's first screen with set A's DVD 1 mounted, and from an empty drive."""

import os

import driver
from driver import check

FOLDER_LABELS = ["os_dir_this_app\t\t=", "os_dir_desktop\t\t=", "os_dir_default_apps\t=", "os_dir_temp\t\t\t=",
                 "os_dir_prefs\t\t\t="]
WELCOME = "Welcome to the Kestrix 9 Installer.  I will guide you through the proess of installing "
INSERT_FIRST = "Please insert Kestrix 9 DVD number one to begin."


def past_the_chooser(inst):
    inst.wait_modal(994)
    inst.key("Return")


def folder_lines(log_path):
    with open(log_path, encoding="latin-1") as f:
        lines = f.read().split("\n")
    for i, line in enumerate(lines):
        if line.startswith(FOLDER_LABELS[0]):
            return lines[i:i + len(FOLDER_LABELS) + 1]
    return []


def with_dvd_one(args, start):
    box = driver.Sandbox(args.work, "e2e_wizard_start_dvd", args.sets)
    box.insert_dvd("A", 1)
    inst = start(box)
    past_the_chooser(inst)
    product = box.manifest["product"]
    line = inst.wait_screen("dvd_start", text=WELCOME + product + ".")
    check(line["next"] == "dvd_pick_install", "Continue leads to %s" % line["next"])
    check(os.path.isfile(os.path.join(box.private_temp(), "directory.txt")), "no file list in the temporary folder")
    lines = folder_lines(box.log_path())
    check([l.split("=")[0] + "=" for l in lines[:5]] == FOLDER_LABELS, "folder lines: %r" % lines)
    check(lines[5:6] == [""], "no empty line after the folder lines: %r" % lines)
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")


def from_an_empty_drive(args, start):
    box = driver.Sandbox(args.work, "e2e_wizard_start_empty", args.sets)
    box.stage_dvd("A", 1)
    inst = start(box)
    past_the_chooser(inst)
    line = inst.wait_screen("dvd_start", text=INSERT_FIRST)
    check(line["back"] is None and line["next"] is None, "Go Back or Continue is on: %r" % line)
    box.insert_dvd("A", 1)
    inst.wait_screen("dvd_start", text=WELCOME + box.manifest["product"] + ".")
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")


def flow(args, start):
    with_dvd_one(args, start)
    from_an_empty_drive(args, start)


if __name__ == "__main__":
    driver.run_flow("e2e_wizard_start", flow)
