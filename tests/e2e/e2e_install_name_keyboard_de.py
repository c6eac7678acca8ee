"""Typing the install name on a German keyboard: the installer's X server gets the German
layout before the installer starts, and xdotool presses the key that types each key name on
that layout, AltGr (ISO_Level3_Shift) held for '@' (on Q) and '{' (on 7). Plain letters (y
and z among them, which swap places on a German board) and the two AltGr characters reach
the name field; 'oe' (right of L), a letter the field does not take, stays out."""

import driver
import install_road

LAYOUT = "de"
ALTGR = "ISO_Level3_Shift"
# The keys pressed, one at a time, and what each adds to the name.
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
    for key, adds in KEYS:
        inst.key(key)
        if not adds:
            continue  # had it typed anything, the next key's name would not match
        name += adds
        # Each key is seen before the next: the screen's text names the folder it will create.
        inst.wait_screen("dvd_pick_install", text=install_road.will_create(box, name))
    inst.click("quit")
    driver.check(inst.wait_exit() == 0, "Quit did not end with 0")


if __name__ == "__main__":
    driver.run_flow("e2e_install_name_keyboard_de", flow)
