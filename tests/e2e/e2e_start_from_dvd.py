"""The installer started from inside DVD 1 moves to the private temporary folder, so that
the DVD can be ejected later; where the temporary folder cannot run programs it goes on
from the DVD itself."""

import os
import shutil
import stat
import subprocess

import driver
from driver import check

WELCOME = "Welcome to the Kestrix 9 Installer.  I will guide you through the proess of installing "
THIS_APP = "os_dir_this_app\t\t="
PROGRAM = "kestrix-installer"
# The same program as a bundle: the bundle moves, and the program inside it runs.
BUNDLE = "Kestrix Installer.app"
IN_BUNDLE = os.path.join(BUNDLE, "Contents", "MacOS", "Kestrix Installer")
TEXTS = os.path.join("Resources", "text")
NOT_STARTED = "WARNING: could not start the installer's copy "
MOUNT_SECONDS = driver.scaled(20)


def onto_the_dvd(box, installer, rel=PROGRAM):
    """DVD 1 in the drive with the installer (at `rel`) and its translations on it;
    returns the DVD and the installer's path there."""
    dvd = box.insert_dvd("A", 1)
    program = os.path.join(dvd, rel)
    os.makedirs(os.path.dirname(program), exist_ok=True)
    shutil.copy2(installer, program)
    os.chmod(program, 0o755)
    shutil.copytree(os.path.join(os.path.dirname(installer), TEXTS), os.path.join(dvd, TEXTS))
    return dvd, program


def log_lines(box):
    with open(box.log_path(), encoding="latin-1") as f:
        return f.read().split("\n")


def this_app_line(box):
    lines = [l for l in log_lines(box) if l.startswith(THIS_APP)]
    check(len(lines) == 1, "the log's application folder lines: %r" % lines)
    return lines[0][len(THIS_APP):]


def past_the_chooser(inst, language=None):
    line = inst.wait_modal(994)
    if language:
        inst.click(language)
    inst.key("Return")
    return line


def moves_to_the_temporary_folder(args, start, rel, sandbox_name, french=False):
    """The copy runs from the temporary folder; in French when asked, from the
    translations that travelled with it."""
    box = driver.Sandbox(args.work, sandbox_name, args.sets)
    dvd, program = onto_the_dvd(box, args.installer, rel)
    inst = start(box, program=program)
    first = past_the_chooser(inst)["pid"]
    check(inst.wait_exit() == 1, "the process started from the DVD did not end with 1")

    copy_pid = inst.follow_relaunch()
    check(copy_pid != first, "no second process")
    temp = box.private_temp() + "/"
    copy = temp + rel
    check(stat.S_IMODE(os.stat(copy).st_mode) == 0o755, "the copy's mode is %o" % os.stat(copy).st_mode)
    check(stat.S_IMODE(os.stat(temp).st_mode) == 0o700, "the temporary folder is open to others")
    with open(program, "rb") as a, open(copy, "rb") as b:
        check(a.read() == b.read(), "the copy differs from the program on the DVD")
    check(os.path.isfile(os.path.join(temp, TEXTS, "french", "Installer2.txt")),
          "the translations did not travel with the copy")

    chooser = past_the_chooser(inst, "994_french" if french else None)
    check(chooser["pid"] == copy_pid and chooser["labels"] == ["Accept"], "the copy's chooser: %r" % chooser)
    welcome = driver.translation(args.installer, "french")[WELCOME] if french else WELCOME
    line = inst.wait_screen("dvd_start", text=welcome + box.manifest["product"] + ".")
    check(line["pid"] == copy_pid, "the main menu is not the copy's")
    check(this_app_line(box) == temp, "the copy's application folder: %r" % this_app_line(box))
    check(os.path.isdir(dvd), "the DVD left the drive")
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end the copy with 0")


def mount_noexec(folder):
    """A fresh tmpfs that runs no programs over `folder`; the reason when that fails."""
    try:
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "noexec,mode=0755", "tmpfs", folder],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=MOUNT_SECONDS)
    except (OSError, subprocess.TimeoutExpired) as e:
        return str(e)
    return None if r.returncode == 0 else r.stdout.decode(errors="replace").strip() or "status %d" % r.returncode


def unmount(folder):
    subprocess.run(["umount", "-l", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=MOUNT_SECONDS)


def stays_where_the_copy_cannot_run(args, start):
    box = driver.Sandbox(args.work, "e2e_start_from_dvd_noexec", args.sets)
    # The temporary folder the installer saw is a file system of its own, gone at the end.
    box.allow_change(box.tmp)
    why = mount_noexec(box.tmp)
    if why:
        print("e2e_start_from_dvd: no noexec temporary folder here (%s); that part is skipped" % why)
        return
    try:
        dvd, program = onto_the_dvd(box, args.installer)
        inst = start(box, program=program)
        first = past_the_chooser(inst)["pid"]
        line = inst.wait_screen("dvd_start", text=WELCOME + box.manifest["product"] + ".")
        check(line["pid"] == first, "another process showed the main menu")
        check(os.path.isfile(os.path.join(box.private_temp(), PROGRAM)), "no copy was made")
        check(this_app_line(box) == dvd + "/", "the application folder: %r" % this_app_line(box))
        check([l for l in log_lines(box) if l.startswith(NOT_STARTED)], "the log does not say the copy did not start")
        inst.click("quit")
        check(inst.wait_exit() == 0, "Quit did not end with 0")
    finally:
        # Lazily: an installer left running by a failure lets go of it when it is stopped.
        unmount(box.tmp)


def flow(args, start):
    driver.adopt_orphans()
    moves_to_the_temporary_folder(args, start, PROGRAM, "e2e_start_from_dvd")
    moves_to_the_temporary_folder(args, start, IN_BUNDLE, "e2e_start_from_dvd_bundle", french=True)
    stays_where_the_copy_cannot_run(args, start)


if __name__ == "__main__":
    driver.run_flow("e2e_start_from_dvd", flow)
