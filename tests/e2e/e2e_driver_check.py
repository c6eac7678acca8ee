"""The driver's own parts against a stand-in program: the sandbox, the fake eject and
folder dialog, the private X server, waiting on trace lines, the failure report, and the
guard that fails a flow whose sandbox changed outside what it may touch."""

import os
import re
import subprocess
import sys

import driver
from driver import check

STAND_IN = """#!/bin/sh
# Writes two trace lines the way the installer does, ejects the DVD, asks the dialog.
printf '{"pid": %d, "frame": 1, "modal": 994, "texts": [], "labels": ["Accept"]}\\n' $$ >> "$KESTRIX_SCREEN_TRACE"
echo "os_dir_temp\t\t\t=$TMPDIR" > "$XDG_DESKTOP_DIR/Kestrix Installer Log.txt"
"$KESTRIX_EJECT_COMMAND" "$KESTRIX_MEDIA_ROOTS/KESTRIX_DVD1"
"$KESTRIX_FOLDER_DIALOG" --directory "Pick a folder" > "$HOME/answer" || echo cancelled > "$HOME/answer"
printf '{"pid": %d, "frame": 2, "screen": "dvd_start", "text": "caf\\u00e9", "back": null, "next": null}\\n' $$ >> "$KESTRIX_SCREEN_TRACE"
[ -n "$DISPLAY" ] && xdotool getdisplaygeometry > "$HOME/geometry" && echo display >> "$HOME/answer"
exit 0
"""


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_driver_check", args.sets)
    dvd = box.insert_dvd("A", 1)
    check(os.path.isfile(os.path.join(dvd, "dvd_version.txt")), "DVD 1 is not in the drive")
    box.answer_dialog("/chosen/folder")
    program = box.path("stand_in.sh")
    with open(program, "w") as f:
        f.write(STAND_IN)
    os.chmod(program, 0o755)

    # What the stand-in writes beside the installer's own files.
    box.allow_change(os.path.join(box.home, "answer"))
    box.allow_change(os.path.join(box.home, "geometry"))
    inst = driver.Installer(program, box)
    try:
        inst.wait_modal(994)
        line = inst.wait_screen("dvd_start", text="caf\u00e9")
        check(line["back"] is None, "back is not null")
        check(inst.wait_exit() == 0, "the stand-in failed")
        check(box.ejects() == [dvd], "ejects: %r" % box.ejects())
        check(not os.path.exists(dvd), "the ejected DVD is still in the drive")
        with open(os.path.join(box.home, "answer")) as f:
            check(f.read() == "/chosen/folder\ndisplay\n", "the dialog's answer or the display is missing")
        with open(box.dialog_log) as f:
            check(f.read() == "--directory\nPick a folder\n--\n", "the dialog's arguments were not logged")
        # A wait that cannot be met fails within its bound, and the report shows the trace.
        try:
            inst.wait_screen("dvd_pick_install", timeout=0.3)
            raise driver.FlowFailed("an impossible wait succeeded")
        except driver.FlowFailed as e:
            check("ended" in str(e) or "no trace line" in str(e), str(e))
        with open(os.path.join(box.home, "geometry")) as f:
            check(f.read().split() == ["1024", "768"], "the private X server is not 1024 by 768")
        report = inst.report()
        check('"screen": "dvd_start"' in report and "os_dir_temp" in report, report)
        # A line caught half written is left for a later look.
        seen = len(inst.trace_lines())
        with open(box.trace, "ab") as f:
            f.write(b'{"pid": 1, "screen": "dvd_st')
        check(len(inst.trace_lines()) == seen, "a half-written trace line was read")
        # A DVD taken out of the drive waits in the staging folder to go back in.
        second = box.insert_dvd("A", 2)
        staged = box.take_out_dvd("A", 2)
        check(not os.path.exists(second) and os.path.isdir(staged), "DVD 2 did not go back to the staging folder")
        check(box.insert_dvd("A", 2) == second, "DVD 2 did not go back into the drive")
    finally:
        inst.stop()
    no_server_left_by_a_program_that_cannot_start(box)
    guard_fails_the_flow(args)
    waits_grow_and_a_flow_ends_at_its_time_limit(args)


def no_server_left_by_a_program_that_cannot_start(box):
    servers = []
    real = driver.XServer

    def recorded(*a, **k):
        servers.append(real(*a, **k))
        return servers[-1]

    driver.XServer = recorded
    try:
        driver.Installer(box.path("no such program"), box)
        raise driver.FlowFailed("a missing program started")
    except FileNotFoundError:
        pass
    finally:
        driver.XServer = real
    check(len(servers) == 1, "%d X servers were started" % len(servers))
    check(servers[0].proc.poll() is not None, "the X server of a program that could not start is still running")


UNTOUCHABLE = """#!/bin/sh
set -e
# What an installer must not do: a user's files created, changed, deleted, re-linked, and a
# file deleted from a DVD that is then ejected.
d="$HOME/Documents"
echo more >> "$d/notes.txt"
rm "$d/old.txt"
echo new > "$d/new.txt"
chmod 600 "$d/mode.txt"
ln -sfn elsewhere "$HOME/link"
rm "$KESTRIX_MEDIA_ROOTS/KESTRIX_DVD1/dvd_version.txt"
"$KESTRIX_EJECT_COMMAND" "$KESTRIX_MEDIA_ROOTS/KESTRIX_DVD1"
# What it may: an eject, its log, registration, preferences and temporary folder, the copy
# and a file the flow named, the fake dialog and the trace.
"$KESTRIX_EJECT_COMMAND" "$KESTRIX_MEDIA_ROOTS/KESTRIX_DVD2"
echo log >> "$XDG_DESKTOP_DIR/Kestrix Installer Log.txt"
echo "$XDG_DESKTOP_DIR/Copy/" >> "$XDG_CONFIG_HOME/kestrix_install.txt"
echo prefs > "$XDG_CONFIG_HOME/Kestrix Installer.prf"
mkdir "$TMPDIR/kestrix-installer-$(id -u)"
echo list > "$TMPDIR/kestrix-installer-$(id -u)/directory.txt"
mkdir "$XDG_DESKTOP_DIR/Copy"
echo file > "$XDG_DESKTOP_DIR/Copy/file"
echo more >> "$HOME/kept.txt"
"$KESTRIX_FOLDER_DIALOG" --directory > /dev/null || true
printf '{"pid": %d, "frame": 1, "modal": 994, "texts": [], "labels": []}\\n' $$ >> "$KESTRIX_SCREEN_TRACE"
"""
# What the guard must report of it, and no more.
UNTOUCHED = {("changed", "home/Documents/notes.txt"), ("deleted", "home/Documents/old.txt"),
             ("created", "home/Documents/new.txt"), ("changed", "home/Documents/mode.txt"),
             ("changed", "home/link"), ("deleted", "media/KESTRIX_DVD1/dvd_version.txt")}
FINDING = re.compile(r"^ +(created|changed|deleted)(?: \(([^)]*)\))?: (.*)$")
GUARDED_FLOW = "e2e_driver_check_guard"


def guarded(args, start):
    """The flow run_flow runs in a process of its own, to fail."""
    box = driver.Sandbox(args.work, GUARDED_FLOW, args.sets)
    os.makedirs(os.path.join(box.home, "Documents"))
    for name in ("notes.txt", "old.txt", "mode.txt"):
        with open(os.path.join(box.home, "Documents", name), "w") as f:
            f.write(name + "\n")
    os.symlink("Documents", os.path.join(box.home, "link"))
    with open(os.path.join(box.home, "kept.txt"), "w") as f:
        f.write("the flow's own\n")
    box.allow_change(os.path.join(box.home, "kept.txt"))
    box.allow_change(os.path.join(box.desktop, "Copy"))
    box.insert_dvd("A", 1)
    box.insert_dvd("A", 2)
    program = box.path("untouchable.sh")
    with open(program, "w") as f:
        f.write(UNTOUCHABLE)
    os.chmod(program, 0o755)
    inst = start(box, program=program)
    check(inst.wait_exit() == 0, "the stand-in failed")
    # The driver moves a DVD it stages after the start in and out of the drive.
    box.insert_dvd("D", 1)
    box.take_out_dvd("D", 1)


def guard_fails_the_flow(args):
    """A flow whose sandbox changed outside its allowances fails, naming each change; what
    an installer, the driver and the flow may change is not named."""
    here = os.path.dirname(os.path.abspath(__file__))
    r = subprocess.run([sys.executable, "-c", "import driver, e2e_driver_check as c; driver.run_flow(%r, c.guarded)"
                        % GUARDED_FLOW, "--installer", args.installer, "--sets", args.sets, "--work", args.work],
                       cwd=here, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=2 * driver.WAIT_SECONDS)
    out = r.stdout.decode(errors="replace")
    check(r.returncode == 1, "the guarded flow did not fail:\n" + out)
    found = [FINDING.match(l).groups() for l in out.split("\n") if FINDING.match(l)]
    check({(kind, path) for kind, _, path in found} == UNTOUCHED and len(found) == len(UNTOUCHED),
          "the guard's findings:\n" + out)
    what = {path: fields for _, fields, path in found}
    check(what["home/Documents/mode.txt"] == "mode" and "link target" in what["home/link"],
          "the guard does not say what changed:\n" + out)


LATE = """#!/bin/sh
# Opens its first box, notes its process, then answers nothing more.
printf '{"pid": %d, "frame": 1, "modal": 994, "texts": [], "labels": []}\\n' $$ >> "$KESTRIX_SCREEN_TRACE"
echo $$ > "$HOME/pid"
exec sleep 600
"""
LATE_FLOW = "e2e_driver_check_late"
# Past the start of a program on a loaded machine, short of the wait it is then in.
LATE_LIMIT = int(driver.scaled(8))


def late(args, start):
    """The flow run_flow runs in a process of its own, to outlast its time limit."""
    box = driver.Sandbox(args.work, LATE_FLOW, args.sets)
    box.allow_change(os.path.join(box.home, "pid"))
    program = box.path("late.sh")
    with open(program, "w") as f:
        f.write(LATE)
    os.chmod(program, 0o755)
    inst = start(box, program=program)
    inst.wait_modal(994)
    inst.wait_screen("dvd_start")


def run_driver(args, code, *flow_args, scale=None):
    """Runs `code` after `import driver` in a Python of its own, KX_E2E_WAIT_SCALE set to
    `scale` (as it is here for None); returns its status and output."""
    env = dict(os.environ)
    if scale is not None:
        env[driver.WAIT_SCALE_VARIABLE] = scale
    r = subprocess.run([sys.executable, "-c", "import driver\n" + code, "--installer", args.installer,
                        "--sets", args.sets, "--work", args.work] + list(flow_args),
                       cwd=os.path.dirname(os.path.abspath(__file__)), env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=2 * driver.WAIT_SECONDS)
    return r.returncode, r.stdout.decode(errors="replace")


def waits_grow_and_a_flow_ends_at_its_time_limit(args):
    """KX_E2E_WAIT_SCALE multiplies the waits and refuses what is no number of at least 1; a
    flow past its --time-limit fails with its report, its program stopped."""
    status, out = run_driver(args, "print(driver.WAIT_SECONDS, driver.INSTALL_WAIT_SECONDS)", scale="2.5")
    check(status == 0 and out.split() == ["50.0", "225.0"], "the waits at a factor of 2.5:\n" + out)
    for bad in ("0.5", "0", "-2", "many", "inf", "nan"):
        status, out = run_driver(args, "", scale=bad)
        check(status != 0 and "at least 1" in out, "the factor %r was taken:\n%s" % (bad, out))

    status, out = run_driver(args, "import e2e_driver_check as c; driver.run_flow(%r, c.late)" % LATE_FLOW,
                             "--time-limit", str(LATE_LIMIT))
    check(status == 1 and "time limit of %d s is up" % LATE_LIMIT in out,
          "the late flow did not end at its limit:\n" + out)
    check("--- last trace lines" in out and '"modal": 994' in out, "the late flow gave no report:\n" + out)
    with open(os.path.join(os.path.abspath(args.work), LATE_FLOW, "home", "pid")) as f:
        pid = int(f.read())
    check(not os.path.exists("/proc/%d" % pid), "the late flow's program %d still runs" % pid)


if __name__ == "__main__":
    driver.run_flow("e2e_driver_check", flow)
