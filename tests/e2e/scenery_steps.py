"""Steps the add-or-remove-scenery flows share: a copy installed with two of the three
tiles, the road from the main menu to the world map, reading the map's tiles off the
screen, and a record of the copy's files to compare before and after.

The screen trace tells screens, not tiles, so the map is read from the window's pixels. A
selected tile is its coloured image alone; a deselected one is that image at half strength
over the grey base map, so twice the deselected pixel less the selected one is a grey.
Each flow first sees every tile selected (the install's scenery screen selects all), which
gives the selected look of each tile to compare with later.
"""

import hashlib
import os
import time

import driver
from driver import check

SET = "D"  # set A with the last tile's archive on DVD 2
TILE_SIZE = 14
MAP_LEFT, MAP_BOTTOM = 248, 150  # interface units, y upwards
# The window pixels (y downwards) the flows click: the middle of each tile.
TILE_CLICKS = {"+40-090": (381, 261), "-10+020": (535, 331)}
SELECT_NONE = (686, 131)  # interface units
SCENERY_CHOICE = 1
CHOICES = ["Run Kestrix Now", "Add Or Remove Scenery", "Repair Kestrix", "Install A Second Copy of Kestrix"]
PICK_TITLE = "Select Kestrix 9 to Add or Remove Scenery"
PICK_TEXT = "Please pick which copy of Kestrix 9 you would like to add scenery to."
SCAN_TITLE = "Scanning Kestrix 9 for Installed Scenery"
EDIT_TITLE = "Select Scenery"
CHANGE_TITLE = "Installing Scenery - Please change DVDs"
CHANGE_TEXT = "Please insert DVD number %d and click continue."
DONE_TITLE = "Finished With Add/Remove Scenery"
DONE_TEXT = "I have successfully %s scenery to match your choices on the map."
RUN_WAIT_SECONDS = driver.scaled(60)
GREY_SPREAD = 4  # rounding of two blends and a doubling
DRAWN_WAIT_SECONDS = driver.WAIT_SECONDS


def tile_band(tile):
    """(column, row) of a tile named by its south-west corner, e.g. +40-090."""
    lat, lon = int(tile[0:3]), int(tile[3:7])
    return (lon + 180) // 10, (lat + 90) // 10


def tile_block(capture, tile):
    """The tile's square of pixels, row by row from the top."""
    c, r = tile_band(tile)
    left = MAP_LEFT + TILE_SIZE * c
    top = driver.WINDOW_HEIGHT - (MAP_BOTTOM + TILE_SIZE * (r + 1))
    return [capture.pixel(x, y) for y in range(top, top + TILE_SIZE) for x in range(left, left + TILE_SIZE)]


def half_over_grey(block, selected):
    """True when `block` is `selected` drawn at half strength over a grey."""
    if block == selected:
        return False
    for d, s in zip(block, selected):
        under = [2 * dc - sc for dc, sc in zip(d, s)]
        if max(under) - min(under) > GREY_SPREAD or min(under) < -GREY_SPREAD or max(under) > 255 + GREY_SPREAD:
            return False
    return True


def wait_map(inst, what, holds):
    """Waits until holds(capture) is true for the window as drawn."""
    deadline = time.monotonic() + DRAWN_WAIT_SECONDS
    while time.monotonic() < deadline:
        if holds(inst.capture()):
            return
        time.sleep(driver.POLL_SECONDS)
    raise driver.FlowFailed("the map never showed %s within %d s" % (what, DRAWN_WAIT_SECONDS))


class Looks:
    """Each tile's look when selected, taken while the install's map selects them all."""

    def __init__(self, box):
        self.tiles = box.manifest["tiles"]
        self.moved = box.manifest["moved_tile"]["tile"]
        self.selected = {}

    def take(self, inst):
        last = {}

        def all_drawn(cap):
            # The screen's trace line comes before its frame is shown: the looks are taken
            # once two dumps in a row agree, and a square of one colour is no tile image.
            blocks = {t: tile_block(cap, t) for t in self.tiles}
            steady = blocks == last and all(len(set(b)) > 1 for b in blocks.values())
            last.clear()
            last.update(blocks)
            if steady:
                self.selected = blocks
            return steady
        wait_map(inst, "every tile", all_drawn)

    def shows(self, inst, selected, deselected, what):
        def holds(cap):
            return (all(tile_block(cap, t) == self.selected[t] for t in selected) and
                    all(half_over_grey(tile_block(cap, t), self.selected[t]) for t in deselected))
        wait_map(inst, what, holds)


def shaped_copy(start, box, looks):
    """A copy of the set with every tile but the moved one: it is clicked off on the
    install's map. Returns the copy's folder."""
    def at_scenery(inst):
        looks.take(inst)
        inst.click_pixel(*TILE_CLICKS[looks.moved])
        others = [t for t in looks.tiles if t != looks.moved]
        looks.shows(inst, others, [looks.moved], "%s off on the install's map" % looks.moved)
    folder = driver.install_copy(start, box, SET, at_scenery=at_scenery)
    for f in scenery_files(box):
        present = os.path.isfile(folder + f["install_path"])
        check(present == (looks.moved not in f["install_path"]), "after the install, %s is %s" %
              (f["install_path"], "there" if present else "missing"))
    return folder


def scenery_files(box):
    return [f for f in box.manifest["files"] if f["scenery"] and f["md5"] != "GONE"]


def tile_file(box, tile):
    return [f for f in scenery_files(box) if "/%s/" % tile in f["install_path"]][0]


def open_map(start, box, folder, looks):
    """With only DVD 1 in the drive: the main menu, the scenery choice, the copy, the
    scan and the map, which shows the installed tiles selected. Returns the installer."""
    for n in range(2, len(box.manifest["sets"][SET]) + 1):
        box.take_out_dvd(SET, n)
    inst = start(box)
    inst.wait_modal(994)
    inst.key("Return")
    inst.wait_screen("dvd_start", choices=CHOICES)
    inst.click_choice(SCENERY_CHOICE)
    inst.wait_screen("dvd_pick_scenery", title=PICK_TITLE, text=PICK_TEXT, next="dvd_scan_scenery")
    inst.click("continue")
    line = inst.wait_screen("dvd_scan_scenery", title=SCAN_TITLE)
    check(line["text"].startswith("I am scanning " + folder + " to see what scenery"), "scan text: %r" % line["text"])
    inst.wait_screen("dvd_edit_scenery", title=EDIT_TITLE, back="dvd_pick_scenery", next="dvd_install_scenery")
    installed = [t for t in looks.tiles if t != looks.moved]
    looks.shows(inst, installed, [looks.moved], "the installed tiles selected and %s not" % looks.moved)
    return inst


def finish(inst, verb, timeout=RUN_WAIT_SECONDS):
    inst.wait_screen("dvd_done_scenery", timeout=timeout, title=DONE_TITLE, text=DONE_TEXT % verb,
                     next="wizard_quit", choices=["Run Kestrix Now"])
    # Continue leads out of the program here: it is the Quit button.
    inst.click("continue")
    check(inst.wait_exit() == 0, "Quit on the done screen did not end with 0")


def snapshot(folder):
    """Every file and link of the copy with its modification time and size, and every
    folder with its modification time, by path inside the copy."""
    files, folders = {}, {}
    for root, dirs, names in os.walk(folder):
        for d in dirs:
            p = os.path.join(root, d)
            st = os.lstat(p)
            (files if os.path.islink(p) else folders)[os.path.relpath(p, folder)] = (st.st_mtime_ns, st.st_size)
        for n in names:
            p = os.path.join(root, n)
            st = os.lstat(p)
            files[os.path.relpath(p, folder)] = (st.st_mtime_ns, st.st_size)
    return files, folders


def md5(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def check_only_changes(before, after, removed=(), added=()):
    """Files other than `removed` and `added` are untouched: there, same time and size."""
    want = set(before) - set(removed) | set(added)
    check(set(after) == want, "files gone: %r; files new: %r" % (sorted(want - set(after)), sorted(set(after) - want)))
    changed = [p for p in before if p in after and p not in added and before[p] != after[p]]
    check(not changed, "files written that should be untouched: %r" % changed)


def tile_folder(box, tile):
    return os.path.dirname(tile_file(box, tile)["install_path"])
