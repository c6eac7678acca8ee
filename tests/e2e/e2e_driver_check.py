"""The driver's own parts against a stand-in program: the sandbox, the fake eject and
folder dialog, the private X server, waiting on trace lines and the failure report."""

import os

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


if __name__ == "__main__":
    driver.run_flow("e2e_driver_check", flow)
