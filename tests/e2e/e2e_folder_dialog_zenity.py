"""The desktop's own folder chooser: with KESTRIX_FOLDER_DIALOG unset the installer opens
the real zenity. A folder typed into it and taken with Return becomes Pick Destination's
parent folder; then Find It on the repair copy picker opens zenity in that folder (the
choosers share their last folder), and a copy's folder typed there, not yet registered,
is registered, chosen and scanned."""

import os
import subprocess

import driver
import e2e_run_copy
import install_road
import repair_steps
from driver import check

CHANGE_PROMPT = install_road.FOLDER_PROMPT
FIND_PROMPT = e2e_run_copy.FIND_PROMPT
FIND_IT_BELOW_TWO_ROWS = (605, 353)  # Find It under two rows of the picker
SCAN_SCREEN = "dvd_scan_repair"
# The chooser completes a typed path at its own pace, after the keys: a Return that meets
# the completion at work can be taken by it, and the chooser stays open on the path typed.
# Another Return then takes the path.
RETURNS = 3
CLOSE_SECONDS = driver.scaled(5)  # for the chooser to close after a Return


def shown(inst, title):
    """Whether a window titled `title` is shown on the installer's X server."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], env=inst.env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=driver.WAIT_SECONDS).returncode == 0


def choose_in_zenity(inst, title, folder):
    """Waits for zenity's window, types the folder's path into it and takes it with Return."""
    window = inst.window_named(title)
    inst.focus(window)
    inst.type(folder, window=window)
    for _ in range(RETURNS):
        try:
            inst.key("Return", window=window)
        except subprocess.CalledProcessError:
            pass  # the chooser closed after the last look: the Return before took the path
        try:
            driver.wait_until("zenity closing", lambda: not shown(inst, title), CLOSE_SECONDS)
            return
        except driver.FlowFailed:
            pass
    raise driver.FlowFailed("zenity stayed open after %d Returns" % RETURNS)


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_folder_dialog_zenity", args.sets)
    box.dialog_cmd = None
    # The real chooser keeps its settings and the folders it showed in the home folder.
    for kept in ("home/.cache", "home/.local", "home/.config/gtk-3.0"):
        box.allow_change(box.path(kept))
    box.insert_dvd("A", 1)
    registered = e2e_run_copy.make_copy(box, "C1", with_app=False)
    # Listed twice: the picker shows two rows and starts with no copy chosen.
    e2e_run_copy.write_registration(box, registered + "\n" + registered + "\n")
    found = e2e_run_copy.make_copy(box, "C2", with_app=False)
    parent = box.path("disk/Games and more")
    os.makedirs(parent)
    inst = start(box)
    menu = e2e_run_copy.to_main_menu(inst)
    check(menu["choices"] == repair_steps.MAIN_MENU, "the main menu's choices: %r" % menu["choices"])

    inst.click_choice(menu["choices"].index(e2e_run_copy.SECOND_COPY))
    inst.wait_screen("dvd_pick_install")
    inst.click(install_road.CHANGE_DESTINATION)
    opened = inst.wait_modal("folder_dialog")
    check(opened["texts"][0] == CHANGE_PROMPT, "the chooser's message: %r" % opened["texts"])
    choose_in_zenity(inst, CHANGE_PROMPT, parent)
    name = box.manifest["product"]
    inst.wait_screen("dvd_pick_install", text=install_road.WILL_CREATE % (name, parent + "/"),
                     next="dvd_eula_install")

    inst.click("back")
    menu = inst.wait_screen("dvd_start", text=e2e_run_copy.ALREADY)
    inst.click_choice(menu["choices"].index(repair_steps.MAIN_MENU[repair_steps.REPAIR_CHOICE]))
    inst.wait_screen("dvd_pick_repair", next=None)
    inst.click(FIND_IT_BELOW_TWO_ROWS)
    opened = inst.wait_modal("folder_dialog")
    check(opened["texts"] == [FIND_PROMPT, parent], "Find It's chooser did not open in the last folder: %r"
          % opened["texts"])
    choose_in_zenity(inst, FIND_PROMPT, found)
    inst.wait_screen("dvd_pick_repair", next=SCAN_SCREEN)
    check(e2e_run_copy.read_registration(box) == registered + "\n" + registered + "\n" + found + "\n",
          "the copy found is not registered: %r" % e2e_run_copy.read_registration(box))
    inst.click("continue")
    inst.wait_trace("the scan of the copy found",
                    lambda l: l.get("screen") == SCAN_SCREEN and found in (l.get("text") or ""))
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")


if __name__ == "__main__":
    driver.run_flow("e2e_folder_dialog_zenity", flow)
