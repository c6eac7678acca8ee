"""Repairing a damaged copy, keeping the file the user changed: the deleted file and the
old version come back from the DVDs, the dropped file goes, the user's bytes stay, and
nothing else in the copy (the scenery least of all) is written."""

import driver
import repair_steps


def flow(args, start):
    box, damage = repair_steps.damaged_copy(args, start, "e2e_repair")
    inst = repair_steps.to_the_question(start, box, damage)
    repair_steps.to_the_end(inst, damage, "996_button2")  # KEEP THE OLD FILE
    damage.check_repaired(edited_kept=True)


if __name__ == "__main__":
    driver.run_flow("e2e_repair", flow)
