"""A folder of the chosen name that appears while the licence is shown (a second
installer, a folder the user restores) is somebody's. The run does not start in it: the
wizard goes back to Pick Destination, which says the folder exists, and every user file
in it, one named like a product file among them, keeps its bytes; nothing is recorded as
a copy. Then a run into another name starts; the user drops files into the new copy while
it runs; Go Back and Cancel in the question take back what the run installed, and leave
the user's files and the folders holding them."""

import os

import driver
import install_road as road
from driver import check
from e2e_install_cancel import HeldArchive, busy_run, held_file

NAME = "Appeared"
OTHER = "Second"


def files_below(folder):
    """Every file below `folder` with its bytes, by path relative to it."""
    found = {}
    for d, _, names in os.walk(folder):
        for n in names:
            p = os.path.join(d, n)
            with open(p, "rb") as f:
                found[os.path.relpath(p, folder)] = f.read()
    return found


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_folder_appears", args.sets)
    dvd = box.insert_dvd("A", 1)
    box.stage_dvd("A", 2)
    held, first = held_file(box)
    hold = HeldArchive(box, args, dvd, held)
    inst = start(box)
    product = box.manifest["product"]
    road.to_pick_destination(inst, product)
    road.set_name(inst, product, NAME)
    inst.wait_screen("dvd_pick_install", text=road.will_create(box, NAME), next="dvd_eula_install")
    inst.click("continue")
    inst.wait_screen("dvd_eula_install", next=None)

    # While the licence is shown, the folder appears with the user's files in it.
    theirs = road.copy_folder(box, NAME)
    # The user's own doing; the flow checks every file below it itself.
    box.allow_change(theirs)
    user_files = {"notes.txt": b"mine\n", first["install_path"]: b"not the product\n", "deep/a/b.txt": b"b\n"}
    for rel, data in user_files.items():
        os.makedirs(os.path.dirname(os.path.join(theirs, rel)), exist_ok=True)
        with open(os.path.join(theirs, rel), "wb") as f:
            f.write(data)
    inst.click(road.LICENCE_TICK)
    inst.wait_screen("dvd_eula_install", next="dvd_scenery_install")
    inst.click("continue")
    inst.wait_screen("dvd_scenery_install", next="dvd_run_install")
    inst.click("continue")
    inst.wait_screen("dvd_pick_install", text=road.EXISTS % (NAME, box.desktop + "/"), next=None)
    check(files_below(theirs) == user_files, "the folder that appeared changed: %r" % sorted(files_below(theirs)))
    check(sorted(os.listdir(theirs)) == sorted({"deep", "notes.txt", first["install_path"].split("/")[0]}),
          "folders were made in it: %r" % sorted(os.listdir(theirs)))
    check(road.registration(box) is None, "the folder was recorded as a copy: %r" % road.registration(box))

    # A run into a new folder; the user drops files into it while it runs.
    road.set_name(inst, NAME, OTHER)
    inst.wait_screen("dvd_pick_install", text=road.will_create(box, OTHER), next="dvd_eula_install")
    road.past_the_licence(inst)
    inst.click("continue")
    dest = road.copy_folder(box, OTHER) + "/"
    # The run's copy, and what the user drops into it: checked file by file below.
    box.allow_change(dest)
    busy_run(inst, box, dest)
    hold.wait_until_read()
    placed = os.path.join(dest, first["install_path"])
    driver.wait_until("the first file in the new folder", lambda: os.path.isfile(placed))
    dropped = {"dropped.txt": b"dropped\n", os.path.join(os.path.dirname(first["install_path"]), "mine.txt"): b"m\n"}
    for rel, data in dropped.items():
        with open(os.path.join(dest, rel), "wb") as f:
            f.write(data)

    inst.click("back")
    inst.wait_modal(997)
    inst.click("997_button1")
    hold.release()
    inst.wait_screen("dvd_scenery_install")
    hold.done()
    check(files_below(dest) == dropped, "the cancelled copy holds %r" % sorted(files_below(dest)))
    # Of the run's folders only those on the way to a dropped file stay.
    holding = set()
    for rel in dropped:
        d = os.path.dirname(rel)
        while d:
            holding.add(d)
            d = os.path.dirname(d)
    folders = {os.path.relpath(d, dest) for d, _, _ in os.walk(dest)} - {"."}
    check(folders == holding, "the cancelled copy keeps the folders %r" % sorted(folders))
    check(files_below(theirs) == user_files, "the folder that appeared changed: %r" % sorted(files_below(theirs)))
    check(not road.archives_left(box), "archives left in the temporary folder: %r" % road.archives_left(box))

    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")


if __name__ == "__main__":
    driver.run_flow("e2e_install_folder_appears", flow)
