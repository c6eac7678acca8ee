"""Cancelling a run from the run screen itself. One archive on DVD 1 is held: its copy,
once begun, waits until the flow lets it go, and meanwhile the whole DVD answers nothing,
as a drive that stopped, so the run stays busy on that file for as long as the flow needs,
with the files before it already in the new folder. Go Back asks window 997 whether to
cancel, without a look at the stopped drive: Continue goes back to the same run, Return in
the box deletes nothing, Cancel stops the run (waiting for the copy in flight, which the
flow then lets finish) and deletes the folder; the copy's registration line stays, and the
run never starts over. A run started again and quit while its drive is stopped ends the
installer once the copy in flight does, without a look at the drive before."""

import os
import time

import driver
import install_road as road
from driver import check

NAME = "Cancelled"
# How long the flow watches a quitting installer while its drive answers nothing.
QUIT_LOOK_SECONDS = driver.scaled(1)
CANCEL_TEXTS = [road.CANCEL_QUESTION, "the installation and delete partial installation.", "the installation process."]


def held_file(box):
    """The last plain file of DVD 1 that a Linux install takes, and the first."""
    files = [f for f in box.manifest["files"]
             if f["dvd"] == 0 and f["linux"] and not f["link"] and not f["scenery"] and f["archive"].endswith(".zip")]
    return files[-1], files[0]


class HeldArchive:
    """An archive on the DVD in the drive whose copy, once begun, waits until release(),
    and with it every look at the DVD. The installer reads only regular files from a disc
    (a FIFO is refused at once), so the wait comes from a library preloaded into it
    (Sandbox.hold_reads)."""

    SIGNALS = ("reading", "looking", "release", "released")

    def __init__(self, box, args, dvd, entry):
        self.path = os.path.join(dvd, entry["archive"])
        self.signals = box.hold_reads(args.hold_lib, self.path, drive=dvd)

    def _signal(self, name):
        return os.path.exists(os.path.join(self.signals, name))

    def wait_until_read(self):
        driver.wait_until("the copy of the held archive", lambda: self._signal("reading"))

    def untouched(self):
        """Fails once the installer has waited on the stopped drive."""
        check(not self._signal("looking"), "the installer looked at the DVD while its drive did not answer")

    def release(self):
        with open(os.path.join(self.signals, "release"), "w"):
            pass

    def done(self):
        driver.wait_until("the held archive's copy going on", lambda: self._signal("released"))

    def again(self):
        """Holds the archive's next copy too."""
        for name in self.SIGNALS:
            if self._signal(name):
                os.remove(os.path.join(self.signals, name))


def busy_run(inst, box, dest):
    return inst.wait_screen("dvd_run_install", back="dvd_scenery_install", next=None,
                            text="I am installing Kestrix in %s." % dest)


def back_to_the_question(inst, hold):
    inst.click("back")
    line = inst.wait_modal(997)
    hold.untouched()
    check(line["texts"] == CANCEL_TEXTS, "the question: %r" % line["texts"])
    check(line["labels"] == ["Cancel", "Continue"], "buttons: %r" % line["labels"])


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_cancel", args.sets)
    dvd = box.insert_dvd("A", 1)
    box.stage_dvd("A", 2)
    held, first = held_file(box)
    hold = HeldArchive(box, args, dvd, held)
    inst = start(box)
    road.pick_and_tick(inst, box, NAME)
    inst.click("continue")
    dest = road.copy_folder(box, NAME) + "/"
    registered = dest + "\n"
    busy_run(inst, box, dest)
    hold.wait_until_read()
    driver.wait_until("the first file in the new folder", lambda: os.path.isfile(os.path.join(dest, first["install_path"])))
    check(road.registration(box) == registered, "registration file: %r" % road.registration(box))

    back_to_the_question(inst, hold)
    inst.click("997_button2")
    inst.wait_screen("dvd_scenery_install", next="dvd_run_install")
    busy_run(inst, box, dest)

    # Return answers nothing that deletes: the box stays, or closes back to the run. Its
    # Continue, clicked after the key was handled, goes on from there.
    back_to_the_question(inst, hold)
    inst.key("Return")
    inst.click("997_button2")
    busy_run(inst, box, dest)
    check(os.path.isfile(os.path.join(dest, first["install_path"])), "the partial copy lost files")

    # Cancel waits for the copy in flight, which goes on once the answer is given.
    back_to_the_question(inst, hold)
    inst.click("997_button1")
    hold.release()
    line = inst.wait_screen("dvd_scenery_install")
    hold.done()
    check(line["next"] == "dvd_run_install", "the scenery screen's Continue is off")
    check(not os.path.exists(dest), "the partial copy was not deleted")
    check(road.registration(box) == registered, "registration file: %r" % road.registration(box))
    check(box.ejects() == [], "ejects: %r" % box.ejects())
    check(not road.archives_left(box), "archives left in the temporary folder: %r" % road.archives_left(box))

    check(road.starts_logged(box) == 1, "the run started %d times" % road.starts_logged(box))

    # Quit waits for the copy in flight, and for nothing else on the drive.
    hold.again()
    inst.click("continue")
    busy_run(inst, box, dest)
    hold.wait_until_read()
    inst.click("quit")
    deadline = time.monotonic() + QUIT_LOOK_SECONDS
    while time.monotonic() < deadline and inst.proc.poll() is None:
        hold.untouched()
        time.sleep(driver.POLL_SECONDS)
    hold.untouched()
    check(inst.proc.poll() is None, "the installer ended before the copy in flight did")
    hold.release()
    check(inst.wait_exit() == 0, "Quit did not end with 0")


if __name__ == "__main__":
    driver.run_flow("e2e_install_cancel", flow)
