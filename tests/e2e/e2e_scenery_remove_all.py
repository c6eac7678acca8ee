"""Select None on the world map removes every installed tile of a copy."""

import os

import driver
import scenery_steps as steps
from driver import check


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_scenery_remove_all", args.sets)
    looks = steps.Looks(box)
    folder = steps.shaped_copy(start, box, looks)
    before, _ = steps.snapshot(folder)
    inst = steps.open_map(start, box, folder, looks)

    inst.click(steps.SELECT_NONE)
    looks.shows(inst, [], looks.tiles, "every tile off")
    inst.click("continue")
    steps.finish(inst, "removed")

    after, _ = steps.snapshot(folder)
    installed = [t for t in looks.tiles if t != looks.moved]
    for t in installed:
        check(not os.path.exists(folder + steps.tile_folder(box, t)), "the folder of %s is still there" % t)
    check(box.ejects() == [], "a DVD was ejected: %r" % box.ejects())
    steps.check_only_changes(before, after, removed=[steps.tile_file(box, t)["install_path"] for t in installed])


if __name__ == "__main__":
    driver.run_flow("e2e_scenery_remove_all", flow)
