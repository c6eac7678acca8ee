"""Repairing a damaged copy and overwriting the file the user changed with the DVD's."""

import driver
import repair_steps


def flow(args, start):
    box, damage = repair_steps.damaged_copy(args, start, "e2e_repair_overwrite")
    inst = repair_steps.to_the_question(start, box, damage)
    repair_steps.to_the_end(inst, damage, "996_button1")  # OVERWRITE THE OLD FILE
    damage.check_repaired(edited_kept=False)


if __name__ == "__main__":
    driver.run_flow("e2e_repair_overwrite", flow)
