"""Cancelling a repair at the modified-file question: back on the confirm screen, with
nothing in the copy written, deleted or made."""

import driver
import repair_steps
from driver import check


def flow(args, start):
    box, damage = repair_steps.damaged_copy(args, start, "e2e_repair_cancel")
    inst = repair_steps.to_the_question(start, box, damage)
    inst.click("996_button3")  # CANCEL THE WHOLE INSTALLATION!
    confirm = inst.wait_screen("dvd_confirm_repair", title=repair_steps.CONFIRM_TITLE)
    check(confirm["text"] == repair_steps.CONFIRM_TEXT % (repair_steps.FILES_TO_INSTALL, damage.copy) +
          repair_steps.CONFIRM_GO, "the confirm text after the cancel: %r" % confirm["text"])
    ran = [l for l in inst.trace_lines() if l.get("screen") in ("dvd_install_repair", "dvd_done_repair")
           and "modal" not in l and l.get("title")]
    check(not ran, "the repair ran after the cancel: %r" % ran[:2])
    damage.check_nothing_changed()
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit on the confirm screen did not end with 0")
    repair_steps.only_one_question(inst)
    damage.check_nothing_changed()


if __name__ == "__main__":
    driver.run_flow("e2e_repair_cancel", flow)
