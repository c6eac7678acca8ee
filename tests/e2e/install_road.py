"""The steps of installing a new copy, shared by the install flows: from the language
chooser to the run, the DVD change, the question of window 997 and the checks of the
copy on disk. Points are interface units (y upwards), as in driver.POINTS."""

import os
import re
import subprocess

import driver
from driver import check

WELCOME = "Welcome to the Kestrix 9 Installer.  I will guide you through the proess of installing "
DESKTOP_SENTENCE = "\n\n(The folder %s will appear on your desktop.)"
WILL_CREATE = "I will create the folder '%s' in the directory '%s'."
NAME_PROMPT = "Please pick a name for your Kestrix 9 installation..."
EXISTS = "The folder '%s' already exists in the dir '%s'.\n\nPlease change the install name or destination."
FOLDER_PROMPT = "Pick a folder to install Kestrix 9 into."
INSERT_DVD = "Please insert DVD number %d and click continue."
CANCEL_QUESTION = ("Are you sure you want to cancel the installation?  This will delete the partially installed "
                   "copy of Kestrix 9.")
ERROR_HEADLINE = "An error occurred during installation:"
ERROR_ADVICE = ("You can continue with the installation and attempt to repair the damaged files later, or you can "
                "cancel the installation.")
SCENERY_ENOUGH = "You have enough free disk space to install Kestrix 9 with the selected scenery."
SUCCESS = driver.INSTALL_DONE
DONE_WITH_ERRORS = "There were errors during the install; "
RUN_NOW = "Run Kestrix Now"
START_LINE = "Starting install at "
REGISTRATION = "kestrix_install.txt"
APP_MODE = 0o755

# Pick Destination: the Change Destination button, and a point at the right end of the
# name field (the caret lands after the last character).
CHANGE_DESTINATION = driver.CHANGE_DESTINATION
NAME_FIELD_END = (755, 204)
# The licence box.
LICENCE_TICK = driver.LICENCE_BOX
# The world map's lower left corner and its tiles' edge; the tile (c, r) of 10 by 10
# degrees spans longitude -180 + 10 c and latitude -90 + 10 r.
MAP_LEFT, MAP_BOTTOM, TILE_EDGE = 248, 150, 14
LON_BAND_FROM, LAT_BAND_FROM, BAND_DEGREES = -180, -90, 10


def tile_centre(lat, lon):
    """The centre of the tile whose south-west corner is (lat, lon)."""
    c = (lon - LON_BAND_FROM) // BAND_DEGREES
    r = (lat - LAT_BAND_FROM) // BAND_DEGREES
    return (MAP_LEFT + TILE_EDGE * c + TILE_EDGE // 2, MAP_BOTTOM + TILE_EDGE * r + TILE_EDGE // 2)


# The tile -10+020; in window pixels from the top it is (535, 331).
TILE_S10_E20 = tile_centre(-10, 20)


def past_the_chooser(inst):
    inst.wait_modal(994)
    inst.key("Return")


def to_pick_destination(inst, product):
    past_the_chooser(inst)
    inst.wait_screen("dvd_start", text=WELCOME + product + ".")
    inst.click("continue")
    return inst.wait_screen("dvd_pick_install")


def set_name(inst, old, new):
    """Replaces the name `old` in the name field by `new`. The field's key queue holds 64
    key events a frame, so the Backspaces are exactly as many as the old name's letters
    and the name is typed once the field shows empty. Returns the trace line of the
    emptied field, if it was not empty before."""
    inst.click(NAME_FIELD_END)
    line = None
    if old:
        inst.key("--repeat", str(len(old)), "BackSpace")
        line = inst.wait_screen("dvd_pick_install", text=NAME_PROMPT)
    if new:
        inst.type(new)
    return line


def will_create(box, name):
    desktop = box.desktop + "/"
    return WILL_CREATE % (name, desktop) + DESKTOP_SENTENCE % name


def pick_and_tick(inst, box, name):
    """From the main menu to the scenery screen, installing into `name` on the desktop."""
    product = box.manifest["product"]
    box.allow_change(copy_folder(box, name))
    to_pick_destination(inst, product)
    set_name(inst, product, name)
    inst.wait_screen("dvd_pick_install", text=will_create(box, name), next="dvd_eula_install")
    return past_the_licence(inst)


def past_the_licence(inst):
    """From Pick Destination, with a free name shown, over the licence to the scenery screen."""
    inst.click("continue")
    inst.wait_screen("dvd_eula_install", next=None)
    inst.click(LICENCE_TICK)
    inst.wait_screen("dvd_eula_install", next="dvd_scenery_install")
    inst.click("continue")
    return inst.wait_screen("dvd_scenery_install", next="dvd_run_install")


# The size block's "needed" line, and its units in KB.
NEEDED = re.compile(r"Disk space needed to install: ([0-9.]+) (KB|MB|GB)\.")
UNIT_KB = {"KB": 1, "MB": 1024, "GB": 1048576}


def needed_kb(line):
    """The space a "sizes" trace line says the install needs, in KB."""
    m = NEEDED.search(line.get("sizes", ""))
    check(m is not None, "no needed space in %r" % line)
    return float(m.group(1)) * UNIT_KB[m.group(2)]


def log_text(box):
    with open(box.log_path(), encoding="latin-1") as f:
        return f.read()


def starts_logged(box):
    return log_text(box).count(START_LINE)


def registration(box):
    try:
        with open(os.path.join(box.config, REGISTRATION), encoding="latin-1") as f:
            return f.read()
    except FileNotFoundError:
        return None


def copy_folder(box, name):
    return os.path.join(box.desktop, name)


def check_copy(box, dest, without=(), temp_clean=True):
    """The copy at `dest` against the manifest: every Linux file's digest (`md5sum -c`),
    minus the install paths in `without`, which must be absent; the application 0755;
    with `temp_clean`, no archive left in the private temporary folder."""
    with open(os.path.join(box.sets, box.manifest["linux_md5sum"])) as f:
        lines = [l for l in f if l.strip()]
    wanted = [l for l in lines if l.rstrip("\n").split("  ", 1)[1] not in without]
    check(len(wanted) == len(lines) - len(without), "the manifest does not list %r" % (without,))
    r = subprocess.run(["md5sum", "--quiet", "-c", "-"], input="".join(wanted), cwd=dest, text=True,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=driver.WAIT_SECONDS)
    check(r.returncode == 0, "md5sum -c of the copy failed:\n%s" % r.stdout[-2000:])
    for p in without:
        check(not os.path.lexists(os.path.join(dest, p)), "%s was installed" % p)
    # md5sum follows links; the manifest lists them apart, and they arrive as links.
    for f in box.manifest["files"]:
        if f["link"] and f["linux"] and f["md5"] != "GONE" and f["install_path"] not in without:
            check(os.path.islink(os.path.join(dest, f["install_path"])), "%s is not a link" % f["install_path"])
    app = os.path.join(dest, box.manifest["fake_sim"]["install_path"])
    mode = os.stat(app).st_mode & 0o777
    check(mode == APP_MODE, "the application's mode is %o" % mode)
    if temp_clean:
        left = archives_left(box)
        check(not left, "archives left in the temporary folder: %r" % left)


def archives_left(box):
    """The archives in the installer's private temporary folder."""
    # Hidden names too: the engine's temporary names start with a dot.
    return [os.path.join(d, n) for d, _, names in os.walk(box.private_temp()) for n in names
            if n.endswith((".zip", ".7z"))]


def tile_file(box, tile):
    for f in box.manifest["files"]:
        if f["scenery"] and f["install_path"].endswith("/%s.dsf" % tile):
            return f["install_path"]
    raise driver.FlowFailed("the manifest has no tile %s" % tile)
