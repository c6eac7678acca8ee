"""The repair road shared by the repair flows: a copy installed through the wizard and
then damaged four ways, the walk from the main menu to the modified-file question, and
snapshots of the copy to compare the files on disk before and after."""

import hashlib
import os

import driver
from driver import check

REPAIR_CHOICE = 2  # "Repair Kestrix", the third choice of the main menu: (500, 300)
MAIN_MENU = ["Run Kestrix Now", "Add Or Remove Scenery", "Repair Kestrix", "Install A Second Copy of Kestrix"]
PICK_TITLE = "Repair Kestrix 9"
PICK_TEXT = "Please pick which copy of Kestrix 9 you would like to repair."
SCAN_TITLE = "Scanning Kestrix for Problems"
SCAN_TEXT = (" for missing or damaged files.\n\nNote: if you have updated this copy of Kestrix from the Internet, the "
             "repair operation will remove the updates.  Once the repair has finished, you should reapply the updates "
             "from the web.")
CONFIRM_TITLE = "Confirm Repairs"
CONFIRM_TEXT = "I need to install approximately %d files to repair %s."
CONFIRM_GO = "\n\nClick continue to begin repairing Kestrix."
QUESTION_FIRST = "I am about to install:"
QUESTION_THIRD = "but it appears you have modified this file. What to do?"
QUESTION_LABELS = ["OVERWRITE THE OLD FILE", "KEEP THE OLD FILE", "OVERWRITE EVERY OLD FILE IN THIS DIRECTORY",
                   "KEEP EVERY OLD FILE IN THIS DIRECTORY", "CANCEL THE WHOLE INSTALLATION!"]
DONE_TITLE = "Finished Repairing Kestrix."
RUN_NOW = "Run Kestrix Now"
DONE_TEXT = "I have finished repairing %s - click Go Back to return to the main menu."
REPAIR_WAIT_SECONDS = driver.scaled(60)
USER_EDIT = b"\nA line the pilot added to this file.\n"
# Missing, an old version, the user's edit: the file the product dropped is not counted.
FILES_TO_INSTALL = 3


def md5_of(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def snapshot(folder):
    """Every entry under the copy: its inode, its modification and change times in ns and,
    for a file, its MD5 (a link: its target). An installed file takes its archive's time,
    so a file written again with the same bytes shows only in the inode and change time."""
    out = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            full = os.path.join(root, name)
            st = os.lstat(full)
            if os.path.islink(full):
                what = "link:" + os.readlink(full)
            elif os.path.isdir(full):
                what = "folder"
            else:
                what = md5_of(full)
            out[os.path.relpath(full, folder)] = (st.st_ino, st.st_mtime_ns, st.st_ctime_ns, what)
    return out


class Damage:
    """Four files of the copy, chosen from the manifest by what the file list says of them:
    a file deleted; a file the product changed, put back at its first generation's bytes
    (its digest is one of the list's older versions, so it is replaced without a question);
    a file the user edited (its digest matches no version, so the question comes); and a
    file the product no longer ships, put back at its first generation's bytes (a known
    version of a GONE file, deleted without a question)."""

    def __init__(self, box, copy):
        m = box.manifest
        self.box = box
        self.copy = copy
        gen1 = os.path.join(m["root"], m["gen1_bytes"])
        linux = [f for f in m["files"] if f["linux"] and not f["scenery"] and not f["link"]]
        fake_sim = m["fake_sim"]["install_path"]

        older = [f for f in linux if f["md5"] != "GONE" and f["older_md5"]
                 and f["install_path"] in m["changed"]]
        gone = [f for f in linux if f["md5"] == "GONE" and f["older_md5"] and f["install_path"] in m["removed"]]
        plain = [f for f in linux if f["md5"] != "GONE" and not f["older_md5"] and f["install_path"] != fake_sim
                 and os.path.getsize(os.path.join(copy, f["install_path"])) > 0]
        check(older, "the list has no Linux file with an older version")
        check(gone, "the list has no Linux file the second generation dropped")
        check(len(plain) >= 2, "the list has too few plain Linux files")
        self.old = older[0]
        self.old_bytes = open(os.path.join(gen1, self.old["install_path"]), "rb").read()
        check(hashlib.md5(self.old_bytes).hexdigest() in self.old["older_md5"],
              "the first generation's %s is not an older version in the list" % self.old["install_path"])
        self.gone = gone[0]
        self.gone_bytes = open(os.path.join(gen1, self.gone["install_path"]), "rb").read()
        check(hashlib.md5(self.gone_bytes).hexdigest() in self.gone["older_md5"],
              "the first generation's %s is not a known version" % self.gone["install_path"])
        # The missing file from the second DVD where one is plain, so the repair asks the
        # drive for it; the edited one from another.
        plain.sort(key=lambda f: (-f["dvd"], f["list_path"]))
        self.deleted = plain[0]
        self.edited = plain[-1]
        self.scenery = [f for f in m["files"] if f["scenery"] and f["md5"] != "GONE"]

    def full(self, f):
        return os.path.join(self.copy, f["install_path"])

    def apply(self):
        check(not os.path.exists(self.full(self.gone)), "the dropped file was installed")
        os.unlink(self.full(self.deleted))
        with open(self.full(self.old), "wb") as f:
            f.write(self.old_bytes)
        with open(self.full(self.edited), "ab") as f:
            f.write(USER_EDIT)
        with open(self.full(self.gone), "wb") as f:
            f.write(self.gone_bytes)
        self.edited_bytes = open(self.full(self.edited), "rb").read()
        check(hashlib.md5(self.edited_bytes).hexdigest() not in [self.edited["md5"]] + self.edited["older_md5"],
              "the user's edit matches a version in the list")
        self.before = snapshot(self.copy)

    def touched(self):
        """The four damaged files, relative to the copy."""
        return {f["install_path"] for f in (self.deleted, self.old, self.edited, self.gone)}

    def check_untouched_rest(self):
        """Every entry but the four damaged files (and the folders holding them) as it was."""
        after = snapshot(self.copy)
        parents = {os.path.dirname(p) for p in self.touched()}
        for rel, was in self.before.items():
            if rel in self.touched() or rel in parents:
                continue
            check(after.get(rel) == was, "%s changed: %r, now %r" % (rel, was, after.get(rel)))
        for f in self.scenery:
            rel = f["install_path"]
            check(rel in self.before, "the scenery file %s was not installed" % rel)
            check(after.get(rel) == self.before[rel], "the scenery file %s was touched" % rel)
        extra = set(after) - set(self.before) - self.touched()
        check(not extra, "new entries in the copy: %r" % sorted(extra))

    def check_repaired(self, edited_kept):
        for f in (self.deleted, self.old):
            check(os.path.isfile(self.full(f)), "%s was not restored" % f["install_path"])
            check(md5_of(self.full(f)) == f["md5"], "%s does not match the list" % f["install_path"])
        check(not os.path.lexists(self.full(self.gone)), "the dropped %s is still there" % self.gone["install_path"])
        now = open(self.full(self.edited), "rb").read()
        if edited_kept:
            check(now == self.edited_bytes, "the user's edit of %s was lost" % self.edited["install_path"])
        else:
            check(md5_of(self.full(self.edited)) == self.edited["md5"],
                  "the edited %s was not overwritten" % self.edited["install_path"])
        self.check_untouched_rest()

    def check_nothing_changed(self):
        after = snapshot(self.copy)
        check(after == self.before, "the copy changed: %r" % sorted(
            k for k in set(after) | set(self.before) if after.get(k) != self.before.get(k)))


def damaged_copy(args, start, flow):
    """A sandbox with a copy installed through the wizard and then damaged."""
    box = driver.Sandbox(args.work, flow, args.sets)
    copy = driver.install_copy(start, box)
    damage = Damage(box, copy)
    damage.apply()
    return box, damage


def to_the_question(start, box, damage):
    """Starts the installer and walks from the main menu to the modified-file question;
    returns the running installer."""
    copy = damage.copy
    inst = start(box)
    inst.wait_modal(994)
    inst.key("Return")
    menu = inst.wait_screen("dvd_start", choices=MAIN_MENU)
    check(menu["next"] is None, "the main menu's Continue is on: %r" % menu)
    inst.click_choice(REPAIR_CHOICE)
    # The one registered copy is chosen without a click, so Continue is on at once.
    inst.wait_screen("dvd_pick_repair", title=PICK_TITLE, text=PICK_TEXT, next="dvd_scan_repair")
    inst.click("continue")
    scan = inst.wait_screen("dvd_scan_repair", title=SCAN_TITLE)
    check(scan["text"] == "I am scanning " + copy + SCAN_TEXT, "the scan names another folder: %r" % scan["text"])
    confirm = inst.wait_screen("dvd_confirm_repair", title=CONFIRM_TITLE)
    check(confirm["text"] == CONFIRM_TEXT % (FILES_TO_INSTALL, copy) + CONFIRM_GO,
          "the confirm text: %r" % confirm["text"])
    check(confirm["back"] == "dvd_pick_repair" and confirm["next"] == "dvd_install_repair",
          "the confirm screen's buttons: %r" % confirm)
    inst.click("continue")
    question = inst.wait_modal(996)
    check(question["texts"] == [QUESTION_FIRST, damage.full(damage.edited), QUESTION_THIRD],
          "the question's texts: %r" % question["texts"])
    check(question["labels"] == QUESTION_LABELS, "the question's buttons: %r" % question["labels"])
    return inst


def only_one_question(inst):
    asked = [l for l in inst.trace_lines() if l.get("modal") == 996]
    check(len(asked) == 1, "%d modified-file questions, not one: %r" % (len(asked), asked))


def to_the_end(inst, damage, answer_point):
    """Answers the question, waits for the done screen and quits there."""
    inst.click(answer_point)
    done = inst.wait_screen("dvd_done_repair", timeout=REPAIR_WAIT_SECONDS, title=DONE_TITLE)
    check(done["text"] == DONE_TEXT % damage.copy, "the done text: %r" % done["text"])
    check(done["next"] == "wizard_quit" and done["back"] == "dvd_start", "the done screen's buttons: %r" % done)
    check(done["choices"] == [RUN_NOW], "the done screen's choices: %r" % done["choices"])
    only_one_question(inst)
    # Where Continue leads out of the program, it is the Quit button.
    inst.click("continue")
    check(inst.wait_exit() == 0, "Quit after the repair did not end with 0")
