"""Starting an installed copy: the copy picker over a registration file with a copy listed
twice, a vanished folder and no final line end; Find It on a folder inside a copy, on a
folder that is no copy, and on a copy without its program; a click made while the folder
chooser is open; a single copy started at once."""

import os
import time
import zipfile

import driver
from driver import check

ALREADY = "You already have Kestrix 9 installed on this computer.  What would you like to do?"
RUN_NOW = "Run Kestrix Now"
SECOND_COPY = "Install A Second Copy of Kestrix"
SEVERAL = "You have more than one copy of Kestrix 9 installed on this computer.  "
WHICH = "Please pick which copy of Kestrix 9 you would like to run."
FIND_PROMPT = "Please select your Kestrix 9 folder."
NOT_A_COPY = ["You selected the folder path:", None, "But it does not appear to be an installed copy of Kestrix 9.",
              "Please be sure to select the folder that contains the Kestrix application."]
COPY_FOLDERS = ["Airfoils", "Instructions", "Output", "Resources"]
APP = "Kestrix.app"

# The picker's places: the radio button of each row, and Find It under the last of three rows.
RADIO_X = 250
ROW_Y = [400, 375, 350, 325]
FIND_IT = (605, 328)

SIM_WAIT = driver.scaled(10)  # seconds for the started program to record itself


def fake_sim_bytes(box):
    """The simulator's stand-in exactly as set A ships it for Linux."""
    want = box.manifest["fake_sim"]["install_path"]
    for f in box.manifest["files"]:
        if f["install_path"] == want and f["linux"] and f["md5"] != "GONE":
            dvd = os.path.join(box.sets, "A", box.manifest["sets"]["A"][f["dvd"]])
            with zipfile.ZipFile(os.path.join(dvd, f["archive"])) as z:
                entry = [i for i in z.infolist() if not i.filename.startswith("__MACOSX")][0]
                return z.read(entry)
    raise driver.FlowFailed("the manifest names no Linux simulator")


def make_copy(box, name, with_app=True):
    """A folder shaped as an installed copy; returns its path ending in "/"."""
    root = box.path(os.path.join("disk", name))
    for d in COPY_FOLDERS:
        os.makedirs(os.path.join(root, d))
    if with_app:
        program = os.path.join(root, box.manifest["fake_sim"]["install_path"])
        os.makedirs(os.path.dirname(program))
        with open(program, "wb") as f:
            f.write(fake_sim_bytes(box))
        os.chmod(program, 0o755)
    return root + "/"


def registration_path(box):
    return os.path.join(box.config, "kestrix_install.txt")


def write_registration(box, text):
    with open(registration_path(box), "w") as f:
        f.write(text)


def read_registration(box):
    with open(registration_path(box)) as f:
        return f.read()


def sim_started(box):
    """The lines the stand-in recorded: its own path, then its arguments."""
    deadline = time.monotonic() + SIM_WAIT
    while time.monotonic() < deadline:
        try:
            with open(box.sim_log) as f:
                text = f.read()
            if text.endswith("\n"):
                return text.split("\n")[:-1]
        except FileNotFoundError:
            pass
        time.sleep(driver.POLL_SECONDS)
    raise driver.FlowFailed("the simulator never started")


def program_of(copy, box):
    return copy + box.manifest["fake_sim"]["install_path"]


def to_main_menu(inst):
    inst.wait_modal(994)
    inst.key("Return")
    return inst.wait_screen("dvd_start", text=ALREADY)


def to_picker(inst, menu):
    check(menu["choices"][0] == RUN_NOW, "the main menu's first choice: %r" % menu["choices"])
    inst.click_choice(0)
    return inst.wait_screen("dvd_pick_run_sim")


def pick_row(inst, row):
    """Clicks a row's radio button while no copy is chosen: Continue comes on."""
    inst.click((RADIO_X, ROW_Y[row]))
    inst.wait_screen("dvd_pick_run_sim", next="dvd_do_run_sim")


def dialog_calls(box):
    """The fake folder dialog's argument lists, one per call."""
    try:
        with open(box.dialog_log) as f:
            text = f.read()
    except FileNotFoundError:
        return []
    return [c.strip("\n").split("\n") for c in text.split("--\n") if c.strip("\n")]


HELD_POLL_SECONDS = 0.05
HELD_DIALOG = """#!/bin/sh
# The folder dialog of this flow: logs its arguments; while the hold file exists it stays
# open until the go file appears (%(limit)d s at most); then answers from a file, or cancels.
printf "%%s\\n" "$@" "--" >> "%(log)s"
if [ -f "%(hold)s" ]; then
  n=0
  while [ ! -f "%(go)s" ] && [ $n -lt %(polls)d ]; do sleep %(poll)s; n=$((n + 1)); done
  rm -f "%(go)s"
fi
[ -f "%(answer)s" ] || exit 1
cat "%(answer)s"
"""


def holding_dialog(box):
    """Puts this flow's folder dialog in place; returns its hold and go files."""
    hold, go = box.path("dialog_hold"), box.path("dialog_go")
    with open(box.dialog_cmd, "w") as f:
        f.write(HELD_DIALOG % {"log": box.dialog_log, "hold": hold, "go": go, "answer": box.dialog_answer,
                               "limit": driver.WAIT_SECONDS, "poll": HELD_POLL_SECONDS,
                               "polls": int(driver.WAIT_SECONDS / HELD_POLL_SECONDS)})
    return hold, go


def touch(path):
    open(path, "w").close()


def find_it(inst, box, answer):
    box.answer_dialog(answer)
    calls = len(dialog_calls(box))
    inst.click(FIND_IT)
    # Go Back's main menu here would be a click that reached the screen behind a chooser.
    line = inst.wait_trace("a folder dialog", lambda l: l.get("modal") == "folder_dialog" or l.get("screen") == "dvd_start")
    check(line.get("modal") == "folder_dialog", "a click made while a chooser was open went through")
    check(line["texts"][0] == FIND_PROMPT, "the folder dialog's message: %r" % line["texts"])
    # The box is traced as it opens, before the dialog program has run.
    driver.wait_until("the folder dialog's arguments", lambda: len(dialog_calls(box)) > calls)
    args = dialog_calls(box)[calls:]
    check(len(args) == 1 and "--directory" in args[0] and "--title=" + FIND_PROMPT in args[0],
          "the folder dialog's arguments: %r" % args)


def via_pick_destination(inst, menu):
    """From the main menu to Pick Destination (which leaves its new folder as the
    destination), back, and Run Kestrix Now again."""
    inst.click_choice(menu["choices"].index(SECOND_COPY))
    inst.wait_screen("dvd_pick_install", next="dvd_eula_install")
    inst.click("back")
    return to_picker(inst, inst.wait_screen("dvd_start", text=ALREADY))


def listed_twice_and_vanished(args, start):
    """Three rows from four lines; Continue only after a pick, also after Pick Destination;
    the third row is the second line of C2."""
    box = driver.Sandbox(args.work, "e2e_run_copy_pick", args.sets)
    box.insert_dvd("A", 1)
    c1, c2 = make_copy(box, "C1"), make_copy(box, "C2")
    registered = "%s\n%s\n%s\n%s" % (c1, c2, c2, box.path("disk/Gone/"))
    write_registration(box, registered)
    inst = start(box)
    picker = to_picker(inst, to_main_menu(inst))
    check(picker["next"] is None, "Continue is on before a pick")
    check(picker["text"] == SEVERAL + WHICH, "the picker's text: %r" % picker["text"])
    check(picker["back"] == "dvd_start", "Go Back leads to %s" % picker["back"])
    inst.click("back")
    picker = via_pick_destination(inst, inst.wait_screen("dvd_start", text=ALREADY))
    check(picker["next"] is None, "Continue is on after a visit to Pick Destination")

    pick_row(inst, 2)
    inst.click("continue")
    check(inst.wait_exit() == 1, "starting a copy did not end the installer with 1")
    check(sim_started(box) == [program_of(c2, box)], "the third row did not start C2 alone, without arguments")
    check(read_registration(box) == registered, "the registration file changed")


def find_it_and_a_copy_without_its_program(args, start):
    """Find It under three rows: a folder that is no copy, then the Resources folder of a
    copy without its program; afterwards the first row still starts C1."""
    box = driver.Sandbox(args.work, "e2e_run_copy_find", args.sets)
    box.insert_dvd("A", 1)
    c1, c2 = make_copy(box, "C1"), make_copy(box, "C2")
    c3 = make_copy(box, "C3", with_app=False)
    plain = box.path("disk/Plain")
    for d in COPY_FOLDERS[:3]:
        os.makedirs(os.path.join(plain, d))
    with open(os.path.join(plain, "Output.txt"), "w") as f:
        f.write("a file where the folder should be\n")
    registered = "%s\n%s\n%s\n%s" % (c1, c2, c2, box.path("disk/Gone/"))
    write_registration(box, registered)
    hold, go = holding_dialog(box)
    inst = start(box)
    to_picker(inst, to_main_menu(inst))

    # Go Back clicked while the chooser is open, which then cancels: the click is dropped.
    touch(hold)
    inst.click(FIND_IT)
    inst.wait_modal("folder_dialog")
    inst.click("back")
    touch(go)
    inst.wait_screen("dvd_pick_run_sim", next=None)
    os.remove(hold)

    find_it(inst, box, plain)
    alert = inst.wait_modal(994)
    want = list(NOT_A_COPY)
    want[1] = plain
    check(alert["texts"] == want, "the alert for a folder that is no copy: %r" % alert["texts"])
    inst.click("994_button")
    inst.wait_screen("dvd_pick_run_sim", next=None)
    check(read_registration(box) == registered, "a folder that is no copy was registered")

    find_it(inst, box, c3 + "Resources")
    # The copy found above the chosen folder is chosen: Continue is on and starts it.
    inst.wait_screen("dvd_pick_run_sim", next="dvd_do_run_sim")
    check(read_registration(box) == registered + "\n" + c3 + "\n",
          "C3 is not on a line of its own: %r" % read_registration(box))
    inst.click("continue")
    alert = inst.wait_modal(994)
    check(alert["texts"][0] == c3 + APP and alert["texts"][1], "the alert for a copy without its program: %r"
          % alert["texts"])
    inst.click("994_button")
    menu = inst.wait_screen("dvd_start", text=ALREADY)
    check(inst.proc.poll() is None, "the installer ended")
    check(not os.path.exists(box.sim_log), "something was started")

    # Four rows now; the first is still C1, and it starts.
    picker = via_pick_destination(inst, menu)
    check(picker["next"] is None, "Continue is on after a visit to Pick Destination")
    pick_row(inst, 0)
    inst.click("continue")
    check(inst.wait_exit() == 1, "starting C1 did not end the installer with 1")
    check(sim_started(box) == [program_of(c1, box)], "the first row did not start C1")


def one_copy_starts_at_once(args, start):
    box = driver.Sandbox(args.work, "e2e_run_copy_one", args.sets)
    box.insert_dvd("A", 1)
    c1 = make_copy(box, "C1")
    write_registration(box, c1 + "\n")
    inst = start(box)
    inst.click_choice(to_main_menu(inst)["choices"].index(RUN_NOW))
    check(inst.wait_exit() == 1, "starting the one copy did not end the installer with 1")
    check(sim_started(box) == [program_of(c1, box)], "the one copy did not start")
    check(not [l for l in inst.trace_lines() if WHICH in (l.get("text") or "")], "the picker was shown")


def flow(args, start):
    listed_twice_and_vanished(args, start)
    find_it_and_a_copy_without_its_program(args, start)
    one_copy_starts_at_once(args, start)


if __name__ == "__main__":
    driver.run_flow("e2e_run_copy", flow)
