"""Adding and removing scenery tiles of a copy on the world map, with a DVD change for
the tile that lies on DVD 2."""

import os

import driver
import scenery_steps as steps
from driver import check

DROPPED = "+40-090"


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_scenery", args.sets)
    looks = steps.Looks(box)
    folder = steps.shaped_copy(start, box, looks)
    added = looks.moved
    before, _ = steps.snapshot(folder)
    inst = steps.open_map(start, box, folder, looks)

    inst.click_pixel(*steps.TILE_CLICKS[DROPPED])
    kept = [t for t in looks.tiles if t not in (DROPPED, added)]
    looks.shows(inst, kept, [DROPPED, added], "%s off" % DROPPED)
    inst.click_pixel(*steps.TILE_CLICKS[added])
    looks.shows(inst, kept + [added], [DROPPED], "%s on" % added)
    inst.click("continue")

    moved = box.manifest["moved_tile"]
    check(moved["tile"] == added and moved["dvd"] == 1, "the manifest does not put %s on DVD 2: %r" % (added, moved))
    inst.wait_screen("dvd_switch_disk_scenery", title=steps.CHANGE_TITLE, text=steps.CHANGE_TEXT % (moved["dvd"] + 1),
                     back="dvd_edit_scenery", next="dvd_verify_disk_scenery")
    first = os.path.join(box.media, box.manifest["sets"][steps.SET][0])
    check(box.ejects() == [first], "ejects: %r" % box.ejects())
    box.insert_dvd(steps.SET, moved["dvd"] + 1)
    inst.click("continue")
    steps.finish(inst, "added and removed")

    after, _ = steps.snapshot(folder)
    dropped = steps.tile_file(box, DROPPED)["install_path"]
    new = steps.tile_file(box, added)
    check(not os.path.exists(folder + steps.tile_folder(box, DROPPED)), "the folder of %s is still there" % DROPPED)
    check(steps.md5(folder + new["install_path"]) == new["md5"], "%s does not have its MD5" % new["install_path"])
    steps.check_only_changes(before, after, removed=[dropped], added=[new["install_path"]])


if __name__ == "__main__":
    driver.run_flow("e2e_scenery", flow)
