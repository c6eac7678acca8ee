"""With TMPDIR naming a folder that is not there, the installer has no private temporary
folder: it does not move off the DVD, unpacks nothing, and says so in an alert that names
the folder; the installer, its bundle and the files beside it stay as they were, whether
it was started in a DVD's own folder or in a folder of the user's."""

import os
import shutil

import driver
from driver import check

PROGRAM = "kestrix-installer"
# The same program as a bundle: what the relaunch would copy, and take away first.
BUNDLE = "Kestrix Installer.app"
IN_BUNDLE = os.path.join(BUNDLE, "Contents", "MacOS", "Kestrix Installer")
TEXTS = os.path.join("Resources", "text")
LIST = "directory.txt"
# What every alert leaves beside the installer: its stack walk in the working folder,
# the memory report in the application's folder (both the installer's folder here).
ALERT_REPORTS = ("stack_crawl.txt", "MemoryLog.txt")
NOTES = "notes.txt"
ALERT = ["The installer cannot make or use its temporary folder.",
         "Error: No such file or directory",
         "Temporary Folder: %s",
         "Set TMPDIR to a folder you can write to and start the installer again."]
NOT_MOVED = "WARNING: no private temporary folder to copy the installer into; going on from the DVD."


def put_installer(installer, folder, rel):
    """The installer at folder/rel with its translations beside it; returns its path."""
    program = os.path.join(folder, rel)
    os.makedirs(os.path.dirname(program), exist_ok=True)
    shutil.copy2(installer, program)
    os.chmod(program, 0o755)
    shutil.copytree(os.path.join(os.path.dirname(installer), TEXTS), os.path.join(folder, TEXTS))
    return program


def files_in(folder):
    """Every file below `folder` with its bytes, by its path there, but the alert's reports."""
    found = {}
    for top, dirs, files in os.walk(folder):
        for name in files + [d for d in dirs if os.path.islink(os.path.join(top, d))]:
            path = os.path.join(top, name)
            if top == folder and name in ALERT_REPORTS:
                continue
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = f.read()
    return found


def without_temporary_folder(box):
    """TMPDIR names a folder that does not exist; returns the folder the installer tries."""
    box.tmp = box.path("gone")
    return box.private_temp() + "/"


def alert_and_nothing_changed(inst, box, folder, before, tried):
    allow_change = getattr(box, "allow_change", None)
    for name in ALERT_REPORTS if allow_change else ():
        allow_change(os.path.join(folder, name))
    inst.wait_modal(994)
    inst.key("Return")
    line = inst.wait_modal(994)
    want = [ALERT[0], ALERT[1], ALERT[2] % tried, ALERT[3]]
    check(line["texts"] == want and line["labels"] == ["OK"], "the alert: %r" % line)
    inst.click("994_button")
    check(inst.wait_exit() == 1, "the alert did not end the installer with 1")
    check(all(l["pid"] == line["pid"] for l in inst.trace_lines()), "another process ran")
    after = files_in(folder)
    check(sorted(after) == sorted(before), "files came or went in %s: %r" % (folder, sorted(set(after) ^ set(before))))
    check([p for p in before if before[p] != after[p]] == [], "files changed in %s" % folder)
    check(not os.path.lexists(box.tmp), "a folder was made at %s" % box.tmp)


def started_in_the_dvds_folder(args, start):
    box = driver.Sandbox(args.work, "e2e_no_temporary_folder_dvd", args.sets)
    dvd = box.insert_dvd("A", 1)
    program = put_installer(args.installer, dvd, IN_BUNDLE)
    tried = without_temporary_folder(box)
    before = files_in(dvd)
    inst = start(box, program=program, cwd=dvd)
    alert_and_nothing_changed(inst, box, dvd, before, tried)
    with open(box.log_path(), encoding="latin-1") as f:
        check(NOT_MOVED in f.read().split("\n"), "the log does not say why the installer stayed on the DVD")


def started_in_a_folder_of_the_users(args, start):
    box = driver.Sandbox(args.work, "e2e_no_temporary_folder_downloads", args.sets)
    box.insert_dvd("A", 1)
    downloads = os.path.join(box.home, "Downloads")
    program = put_installer(args.installer, downloads, PROGRAM)
    with open(os.path.join(downloads, LIST), "w") as f:
        f.write("the user's own notes\n")
    # A link of the stack walk's name, to a file of the user's elsewhere: never written through.
    notes = os.path.join(box.home, NOTES)
    with open(notes, "w") as f:
        f.write("the user's own notes\n")
    crawl = os.path.join(downloads, ALERT_REPORTS[0])
    os.symlink(notes, crawl)
    tried = without_temporary_folder(box)
    before = files_in(downloads)
    inst = start(box, program=program, cwd=downloads)
    alert_and_nothing_changed(inst, box, downloads, before, tried)
    check(os.path.islink(crawl) and os.readlink(crawl) == notes, "the link %s was replaced" % crawl)
    with open(notes) as f:
        check(f.read() == "the user's own notes\n", "the stack walk went through the link into %s" % notes)


def flow(args, start):
    started_in_the_dvds_folder(args, start)
    started_in_a_folder_of_the_users(args, start)


if __name__ == "__main__":
    driver.run_flow("e2e_no_temporary_folder", flow)
