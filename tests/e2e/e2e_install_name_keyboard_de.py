"""Typing the install name on a German keyboard: the X server gets the German layout, and
xdotool presses physical keys. Plain letters (among them y and z, which swap places on a
German board), AltGr+Q ('@') and AltGr+7 ('{') reach the name field; 'oe' (the key right
of L, which types a letter the field does not take) stays out."""

import driver
import install_road
from driver import check

LAYOUT = "de"
ALTGR = "ISO_Level3_Shift"
# X key names of physical keys on the German layout, and what they type there. A name that
# is no keysym of the layout (the AltGr characters) is pressed as the key that types its
# base level together with AltGr.
KEYS = [("x", "x"), ("y", "y"), ("z", "z"), (ALTGR + "+q", "@"), ("k", "k"), (ALTGR + "+7", "{"),
        ("odiaeresis", ""), ("a", "a")]


def flow(args, start):
    box = driver.Sandbox(args.work, "e2e_install_name_keyboard_de", args.sets)
    box.insert_dvd("A", 1)
    inst = start(box, keyboard=LAYOUT)
    product = box.manifest["product"]
    install_road.to_pick_destination(inst, product)
    install_road.set_name(inst, product, "")
    name = ""
    for key, typed in KEYS:
        inst.key(key)
        if not typed:
            continue  # what it would have typed shows with the next key's letter
        name += typed
        # One key at a time, each seen on the screen before the next: the text of the
        # screen names the folder it will create.
        inst.wait_screen("dvd_pick_install", text=install_road.will_create(box, name))
    check(name == "xyz@k{a", "the keys typed %r" % name)
    inst.click("quit")
    check(inst.wait_exit() == 0, "Quit did not end with 0")


if __name__ == "__main__":
    driver.run_flow("e2e_install_name_keyboard_de", flow)
