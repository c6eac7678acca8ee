"""Continue on the world map without a click: the copy's scenery is left as it is."""

import driver
import scenery_steps as steps
from driver import check


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_scenery_unchanged", args.sets)
    looks = steps.Looks(box)
    folder = steps.shaped_copy(start, box, looks)
    before = steps.snapshot(folder)
    inst = steps.open_map(start, box, folder, looks)

    inst.click("continue")
    steps.finish(inst, "updated")

    after = steps.snapshot(folder)
    check(box.ejects() == [], "a DVD was ejected: %r" % box.ejects())
    steps.check_only_changes(before[0], after[0])
    check(after[1] == before[1], "folders made, removed or written: %r" %
          sorted(set(before[1].items()) ^ set(after[1].items())))


if __name__ == "__main__":
    driver.run_flow("e2e_scenery_unchanged", flow)
