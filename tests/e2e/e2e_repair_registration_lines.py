"""Registration lines that name no copy: a user's folder without its final "/" (with a
user's file beside it whose name the line would run into), a relative line naming a copy
from the installer's working folder, and an absolute folder holding no copy. None is
offered: alone they leave the main menu without repair; beside a real copy the repair
picker holds that copy only. Nothing in the home folder is written, and the file keeps
every line."""

import os

import driver
import repair_steps
from driver import check

ALREADY = "You already have Kestrix 9 installed on this computer.  What would you like to do?"
REPAIR = "Repair Kestrix"
WELCOME = "Welcome to the Kestrix 9 Installer.  I will guide you through the proess of installing %s."
COPY_FOLDERS = ["Airfoils", "Instructions", "Output", "Resources"]
USER_FILES = {"Documents/letter.txt": b"Dear pilot,\n", "DocumentsKestrix Linux": b"the user's own file\n",
              "Plain/notes.txt": b"nothing of the product\n"}


def make_copy(folder):
    for d in COPY_FOLDERS:
        os.makedirs(os.path.join(folder, d))


def the_lines(box, extra=""):
    """The home folder's user files and a relative copy; writes the registration file
    (CR LF line ends) and returns its bytes."""
    for rel, data in USER_FILES.items():
        path = os.path.join(box.home, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    make_copy(os.path.join(box.home, "Copy"))
    text = ("%s\r\nCopy/\r\n%s/\r\n%s" % (os.path.join(box.home, "Documents"), os.path.join(box.home, "Plain"),
                                         extra)).encode()
    with open(os.path.join(box.config, "kestrix_install.txt"), "wb") as f:
        f.write(text)
    return text


def home_now(box):
    """The home folder's entries, but for the preferences folder and the log (and the
    times of the desktop folder that holds it)."""
    log = os.path.relpath(box.log_path(), box.home)
    return {rel: v for rel, v in repair_steps.snapshot(box.home).items()
            if rel.split(os.sep)[0] != ".config" and rel not in (log, os.path.dirname(log))}


def check_untouched(box, before, registered):
    after = home_now(box)
    check(after == before, "the home folder changed: %r" % sorted(
        k for k in set(after) | set(before) if after.get(k) != before.get(k)))
    for rel, data in USER_FILES.items():
        with open(os.path.join(box.home, rel), "rb") as f:
            check(f.read() == data, "the user's %s changed" % rel)
    for name in COPY_FOLDERS + ["Kestrix.app"]:
        check(not os.path.lexists(os.path.join(box.home, "Documents" + name)), "Documents%s was made" % name)
    with open(os.path.join(box.config, "kestrix_install.txt"), "rb") as f:
        check(f.read() == registered, "the registration file changed")


def start_in_home(start, box):
    """The installer, started from the home folder (where the relative line names a copy),
    past the language chooser."""
    inst = start(box, cwd=box.home)
    inst.wait_modal(994)
    inst.key("Return")
    return inst


def no_copy_no_repair(args, start):
    box = driver.Sandbox(args.work, "e2e_repair_registration_lines_none", args.sets)
    box.insert_dvd("A", 1)
    registered = the_lines(box)
    before = home_now(box)
    inst = start_in_home(start, box)
    menu = inst.wait_screen("dvd_start", text=WELCOME % box.manifest["product"])
    check(menu["choices"] == [] and menu["next"] == "dvd_pick_install", "the main menu offers: %r" % menu)
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")
    check_untouched(box, before, registered)


def only_the_copy_is_picked(args, start):
    box = driver.Sandbox(args.work, "e2e_repair_registration_lines_copy", args.sets)
    box.insert_dvd("A", 1)
    good = box.path("disk/Good")
    make_copy(good)
    registered = the_lines(box, good)  # the last line: a copy, without its "/" or a line end
    before = home_now(box)
    inst = start_in_home(start, box)
    menu = inst.wait_screen("dvd_start", text=ALREADY)
    check(REPAIR in menu["choices"], "the main menu offers no repair: %r" % menu["choices"])
    inst.click_choice(menu["choices"].index(REPAIR))
    # One copy is listed, so it is chosen without a click and no other is mentioned.
    inst.wait_screen("dvd_pick_repair", text=repair_steps.PICK_TEXT, next="dvd_scan_repair")
    inst.click("continue")
    scan = inst.wait_screen("dvd_scan_repair")
    check(scan["text"] == "I am scanning " + good + "/" + repair_steps.SCAN_TEXT, "the scan: %r" % scan["text"])
    confirm = inst.wait_screen("dvd_confirm_repair")
    check(confirm["text"].endswith(" files to repair %s/." % good + repair_steps.CONFIRM_GO),
          "the confirm text: %r" % confirm["text"])
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")
    check_untouched(box, before, registered)
    check(sorted(os.listdir(good)) == COPY_FOLDERS, "the copy was written: %r" % os.listdir(good))


def flow(args, start):
    no_copy_no_repair(args, start)
    only_the_copy_is_picked(args, start)


if __name__ == "__main__":
    driver.run_flow("e2e_repair_registration_lines", flow)
