#!/usr/bin/python3
"""Makes the installer's built-in artwork from Debian-packaged sources.

Writes into the output folder (default assets/builtin):
  interface.png   512 x 512 RGBA  font cells, colour legend, widget sprites
  elements.png    1024 x 70 RGBA  wizard button labels in three looks, the style-20 frame
  map.png         504 x 504 RGBA  two world maps (colour above, plain below)
  background.png  800 x 600 RGB   the wizard's background picture
  SOURCES.md      packages, versions, licences and the command

Coordinates below are the atlas's own: x from the left, y up from the bottom row, as the
program addresses them. Everything is deterministic: no clock, a fixed random seed.
The sprite rectangles are read from layout.txt beside the images.
"""
import math
import os
import random
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/dejavu/"
FONT_CONDENSED = FONT_DIR + "DejaVuSansCondensed.ttf"
FONT_BOLD = FONT_DIR + "DejaVuSans-Bold.ttf"
FONT_BOLD_CONDENSED = FONT_DIR + "DejaVuSansCondensed-Bold.ttf"

# --- the interface font --------------------------------------------------------------
CELL_W, CELL_H = 14, 15
BASELINE_ROW = 4        # cell row (from the bottom) the letters stand on
FONT_PX = 10
GLYPH_ROWS = [
    [" ", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "a", "B", "b", "C", "c", "D", "d", "E", "e"],
    list("FfGgHhIiJjKkLlMmNnOoP"),
    list("pQqRrSsTtUuVvWwXxYyZz"),
    list("!@#$%^&*()-_+=[]|\\':;"),
    ["<", ".", ">", ",", "?", "/", "`", "\u00b0", "\u00c1", "\u00e1", "\u00c9", "\u00e9", "\u00cd", "\u00ed",
     "\u00d3", "\u00f3", "\u00da", "\u00fa", "\u00d1", "\u00f1", "\u00bf"],
]
# Advances of the proportional font, the same table the program measures text with.
ADVANCE_ROWS = {
    2: ",.", 3: " '/:;I\\`ijl|\u00b0", 4: "!()-J[]frst", 5: "c",
    6: "#$*0123456789?EFLPSTZ^_aekvxyz\u00bf\u00c1\u00c9\u00cd\u00d1\u00d3\u00da\u00e1\u00e9\u00ed\u00f1\u00f3\u00fa",
    7: "+<=>BCKRVXYbdghnopqu", 8: "&ADGHNU", 9: "@OQw", 10: "Mm", 11: "%W",
}
ADVANCE = {ch: adv for adv, chars in ADVANCE_ROWS.items() for ch in chars}

# --- the colour legend (palette entries sampled by the program at start-up) ------------
LEGEND = [  # x, y, label, exact bytes
    (319, 155, "BACKGROUND", (51, 67, 86)),
    (319, 147, "MENU RECTANGLE", (78, 78, 73)),
    (319, 139, "MENU HILIGHT", (13, 27, 44)),
    (319, 131, "MENU RECTANGLE", (125, 126, 121)),
    (319, 123, "MENU TEXT", (255, 255, 255)),
    (319, 115, "SUBTITLE BAR TXT", (238, 238, 238)),
    (319, 107, "TAB FRONT", (13, 27, 44)),
    (319, 99, "TAB BACK", (93, 99, 110)),
    (319, 91, "METAL TEXT", (34, 41, 53)),
    (319, 83, "LIST TEXT", (39, 44, 52)),
    (319, 75, "PEN LINE", (36, 43, 53)),
    (319, 67, "GLASS HELP TXT", (127, 220, 175)),
    (395, 115, "TOOL TEXT", (220, 220, 220)),
]
SWATCH = 7
LEGEND_RIGHT = 470
LEGEND_LABEL_PX = 8

BACKGROUND = (51, 67, 86)
MENU_RECT = (78, 78, 73)
HILIGHT = (13, 27, 44)
MENU_RECT2 = (125, 126, 121)
WHITE = (255, 255, 255)
TAB_BACK = (93, 99, 110)
METAL_TEXT = (34, 41, 53)
GLASS = (127, 220, 175)

# The surfaces text is drawn on. Dark text (METAL TEXT, LIST TEXT, black, the wizard's
# blue step) goes on light metal; light text (titles, MENU TEXT, GLASS HELP TXT) on the
# dark slate of the bands, menus and glass panels. Each pair reads at better than 4.5:1.
METAL_BODY = (200, 205, 212)     # the window panel under the boxes' texts
METAL_LIGHT = (226, 229, 234)    # inner panels, a step lighter than the window
LIST_BODY = (244, 245, 247)
TITLE_BAND = (44, 58, 76)        # under the window title (SUBTITLE BAR TXT)
GLASS_DARK = (12, 24, 22)        # under GLASS HELP TXT and the start-up progress lines
FRAME_LINE = (104, 112, 124)
BUTTON_FACE = (222, 225, 230)    # push buttons carry METAL TEXT
BUTTON_DOWN = (186, 191, 199)
POPUP_FACE = (58, 66, 80)        # the pop-up list box shows its choice in MENU TEXT
TAB_FRONT_FACE = (246, 247, 249)
TAB_BACK_FACE = (228, 231, 236)  # the back tabs' text (TAB BACK) is a mid grey
WIZARD_PANEL_ALPHA = 200
BARS_WITH_TEXT = (2, 3, 9, 10)   # push buttons, the text field, the pop-up list box         # the wizard's panels over the background picture

# The panel styles: outsets (side, bottom, top) as the program grows the rectangle,
# and the look. The window frame (11) is the frame itself in its outsets and carries the
# title band in its top cap; the others frame the rectangle they are given.
PANEL_LOOKS = {
    11: {"outsets": (9, 14, 4), "body": METAL_BODY, "band": TITLE_BAND, "band_rows": 30, "frame_in_outsets": True},
    12: {"outsets": (9, 14, 4), "body": METAL_BODY, "edge": FRAME_LINE},
    13: {"outsets": (9, 14, 4), "body": METAL_LIGHT, "edge": FRAME_LINE},
    14: {"outsets": (9, 14, 4), "body": HILIGHT, "edge": MENU_RECT2},
    15: {"outsets": (9, 14, 4), "body": GLASS_DARK, "edge": (60, 110, 96)},
    16: {"outsets": (2, 2, 2), "body": LIST_BODY, "edge": FRAME_LINE},
    17: {"outsets": (8, 13, 2), "body": MENU_RECT, "edge": METAL_TEXT},
    18: {"outsets": (8, 13, 2), "body": METAL_LIGHT, "edge": FRAME_LINE},
    19: {"outsets": (6, 9, 4), "body": METAL_LIGHT, "edge": FRAME_LINE},
}

# --- the elements atlas ----------------------------------------------------------------
ELEMENT_LABELS = [("QUIT", 2, 45), ("GO BACK", 59, 139), ("CONTINUE", 153, 244),
                  ("SELECT ALL", 259, 362), ("SELECT NONE", 377, 498),
                  # Two more the wizard does not use.
                  ("DOWNLOAD", 512, 618), ("FINISH", 633, 712)]
BAND_H = 23
BAND_NORMAL, BAND_PRESSED, BAND_HOVER = 46, 23, 0

MAP_SIDE, MAP_HALF, MAP_TILE = 504, 252, 14
BG_W, BG_H = 800, 600
BANNER_Y, STRIP_Y = 503, 46


def rgba(c, a=255):
    return (c[0], c[1], c[2], a)


def shade(c, f):
    return tuple(max(0, min(255, int(round(v * f)))) for v in c[:3])


class Atlas:
    """An RGBA image addressed bottom-up, as the program addresses its atlases."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.img)

    def box(self, x, y, w, h):
        """PIL box (left, top, right, bottom exclusive) of a bottom-up rectangle."""
        return (x, self.h - y - h, x + w, self.h - y)

    def rect(self, x, y, w, h, colour):
        l, t, r, b = self.box(x, y, w, h)
        self.draw.rectangle((l, t, r - 1, b - 1), fill=colour)

    def paste(self, sprite, x, y):
        self.img.alpha_composite(sprite, (x, self.h - y - sprite.height))


def read_layout(path):
    rects = []
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].split()
            if len(line) == 6:
                rects.append((line[0], line[1], int(line[2]), int(line[3]), int(line[4]), int(line[5])))
    return rects


# --- sprite painters: each fills a w x h RGBA image, top row first --------------------
def bar(w, h, colour, cap, spread=0.7, round_ends=True):
    """A three-slice bar: vertical shading only in the middle, so its tiles meet seamlessly.
    `spread` is how far the shading runs from the lit top to the shaded bottom."""
    im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    for r in range(h):
        f = 1 + spread / 2 - spread * r / max(1, h - 1)
        d.line((0, r, w - 1, r), fill=rgba(shade(colour, f)))
    d.line((0, 0, w - 1, 0), fill=rgba(shade(colour, 1.6)))
    d.line((0, h - 1, w - 1, h - 1), fill=rgba(shade(colour, 0.45)))
    edge = rgba(shade(colour, 0.5))
    d.line((0, 0, 0, h - 1), fill=edge)
    d.line((w - 1, 0, w - 1, h - 1), fill=edge)
    if round_ends and cap >= 4:
        for (cx, cy) in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
            im.putpixel((cx, cy), (0, 0, 0, 0))
    return im


def panel(size, look):
    """A nine-slice panel of `size` square, painted so that the rectangle the program asks
    for is the panel's body: the frame line runs on that rectangle's edge and what the
    outsets add beyond it is a soft shadow (or, for the window frame, the frame itself).
    Text is drawn on the body, so the body's colour is chosen for the text colour the
    style's callers use; a title band sits in the top cap where the style's title goes."""
    side, bottom, top = look["outsets"]
    im = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    # PIL rows run from the top: the body spans columns side .. size-1-side and rows
    # top .. size-1-bottom.
    l, t, r, b = side, top, size - 1 - side, size - 1 - bottom
    if look.get("frame_in_outsets"):
        # The window frame: the outsets are the frame, in the band's colour.
        d.rectangle((0, 0, size - 1, size - 1), fill=rgba(look["band"]))
        d.rectangle((0, 0, size - 1, size - 1), outline=rgba(shade(look["band"], 0.55)))
        d.line((1, 1, size - 2, 1), fill=rgba(shade(look["band"], 1.5)))
    d.rectangle((l, t, r, b), fill=rgba(look["body"], look.get("alpha", 255)))
    if look.get("band_rows"):
        # The band starts on the body's top row: above it, the window frame's own edge
        # line and lit line run along the whole top, not just over the corners.
        d.rectangle((l, t, r, look["band_rows"] - 1), fill=rgba(look["band"]))
        d.line((l, look["band_rows"] - 1, r, look["band_rows"] - 1), fill=rgba(shade(look["band"], 0.6)))
    edge = look.get("edge")
    if edge:
        d.rectangle((l, t, r, b), outline=rgba(edge))
        # A lit inner edge at the top and left, a shaded one at the bottom and right.
        d.line((l + 1, t + 1, r - 1, t + 1), fill=rgba(shade(look["body"], 1.08)))
        d.line((l + 1, b - 1, r - 1, b - 1), fill=rgba(shade(look["body"], 0.9)))
    return im


def cell(w, h, painter):
    im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    painter(ImageDraw.Draw(im), w, h)
    return im


def frame_box(d, w, h, colour=MENU_RECT2, fill=HILIGHT):
    d.rectangle((2, 2, w - 3, h - 3), fill=rgba(fill), outline=rgba(colour))


def check_mark(d, w, h):
    d.line((4, h // 2, w // 2 - 1, h - 5, w - 4, 4), fill=rgba(GLASS), width=2)


def radio_box(d, w, h):
    d.ellipse((2, 2, w - 3, h - 3), fill=rgba(HILIGHT), outline=rgba(MENU_RECT2))


def radio_dot(d, w, h):
    d.ellipse((6, 6, w - 7, h - 7), fill=rgba(GLASS))


def arrow(direction):
    def paint(d, w, h):
        m = 3
        if direction == "up":
            pts = [(m, h - m - 1), (w - m - 1, h - m - 1), (w // 2, m)]
        elif direction == "down":
            pts = [(m, m), (w - m - 1, m), (w // 2, h - m - 1)]
        else:  # right
            pts = [(m, m), (m, h - m - 1), (w - m - 1, h // 2)]
        d.polygon(pts, fill=rgba(WHITE), outline=rgba(METAL_TEXT))
    return paint


def zap(pressed):
    def paint(d, w, h):
        d.rectangle((1, 1, w - 2, h - 2), fill=rgba(MENU_RECT if pressed else MENU_RECT2), outline=rgba(METAL_TEXT))
        d.line((5, 5, w - 6, h - 6), fill=rgba(WHITE), width=2)
        d.line((5, h - 6, w - 6, 5), fill=rgba(WHITE), width=2)
    return paint


def knob(d, w, h):
    d.ellipse((1, 1, w - 2, h - 2), fill=rgba(MENU_RECT2), outline=rgba(METAL_TEXT))
    d.ellipse((5, 4, w - 7, h - 9), fill=rgba(shade(MENU_RECT2, 1.4)))


def thumb(d, w, h):
    d.rounded_rectangle((1, 1, w - 2, h - 2), radius=4, fill=rgba(MENU_RECT2), outline=rgba(METAL_TEXT))
    for y in (h // 2 - 3, h // 2, h // 2 + 3):
        d.line((4, y, w - 5, y), fill=rgba(METAL_TEXT))


def tab(selected):
    def paint(d, w, h):
        fill = TAB_FRONT_FACE if selected else TAB_BACK_FACE
        d.rounded_rectangle((0, 0, w - 1, h + 6), radius=7, fill=rgba(fill), outline=rgba(FRAME_LINE))
    return paint


def dial_face(d, w, h):
    d.ellipse((1, 1, w - 2, h - 2), fill=rgba(HILIGHT, 0), outline=rgba(MENU_RECT2), width=3)
    cx, cy, r = (w - 1) / 2, (h - 1) / 2, min(w, h) / 2 - 4
    for k in range(36):
        a = math.radians(k * 10)
        inner = r - (5 if k % 9 == 0 else 2)
        d.line((cx + inner * math.sin(a), cy - inner * math.cos(a), cx + r * math.sin(a), cy - r * math.cos(a)),
               fill=rgba(WHITE))


def needle(colour):
    def paint(d, w, h):
        d.polygon([(w // 2, 0), (w - 2, h // 2), (w // 2, h - 1), (1, h // 2)], fill=rgba(colour))
    return paint


def folder_icon(d, w, h):
    d.rectangle((2, 5, 11, 8), fill=rgba((220, 190, 90)))
    d.rectangle((2, 8, w - 3, h - 4), fill=rgba((240, 205, 100)), outline=rgba((150, 120, 40)))


# --- the small-icon strip (y 75..93): the list's row-type icons, then a few symbols ----
ICON_INK = METAL_TEXT
ICON_PAPER = (250, 250, 246)


def list_folder(d, w, h):
    d.rectangle((1, 2, 5, 3), fill=rgba((220, 190, 90)), outline=rgba((150, 120, 40)))
    d.rectangle((1, 3, w - 2, h - 2), fill=rgba((240, 205, 100)), outline=rgba((150, 120, 40)))


def list_aircraft(d, w, h):
    c = w // 2
    d.line((c, 1, c, h - 2), fill=rgba(ICON_INK), width=2)          # fuselage
    d.polygon([(0, 6), (w - 1, 6), (c + 1, 4), (c - 1, 4)], fill=rgba(ICON_INK))  # wings
    d.line((c - 3, h - 2, c + 3, h - 2), fill=rgba(ICON_INK), width=1)  # tail


def list_airfoil(d, w, h):
    d.polygon([(0, 6), (2, 4), (5, 3), (w - 1, 6), (5, 8), (2, 8)], fill=rgba((125, 126, 121)), outline=rgba(ICON_INK))


def list_weapon(d, w, h):
    d.rectangle((1, 5, w - 4, 6), fill=rgba(ICON_INK))
    d.polygon([(w - 4, 4), (w - 1, 5), (w - 1, 6), (w - 4, 7)], fill=rgba((200, 60, 40)))
    d.polygon([(0, 2), (3, 5), (3, 6), (0, 9)], fill=rgba(ICON_INK))


def page(d, w, h):
    d.polygon([(2, 0), (w - 4, 0), (w - 2, 2), (w - 2, h - 1), (2, h - 1)], fill=rgba(ICON_PAPER), outline=rgba(ICON_INK))


def list_situation(d, w, h):
    page(d, w, h)
    d.ellipse((4, 4, 8, 8), outline=rgba((40, 110, 170)))
    d.line((4, 6, 8, 6), fill=rgba((40, 110, 170)))


def list_movie(d, w, h):
    d.rectangle((0, 2, w - 1, h - 3), fill=rgba(ICON_INK))
    for x in range(1, w - 1, 3):
        d.point((x, 3), fill=rgba(ICON_PAPER))
        d.point((x, h - 4), fill=rgba(ICON_PAPER))
    d.rectangle((2, 5, w - 3, h - 6), fill=rgba((120, 170, 220)))


def list_plan(d, w, h):
    page(d, w, h)
    d.line((4, 9, 5, 5, 7, 7, 8, 3), fill=rgba((200, 60, 40)))


def list_object(d, w, h):
    d.polygon([(1, 4), (5, 1), (10, 3), (10, 8), (6, 11), (1, 9)], fill=rgba((180, 186, 196)), outline=rgba(ICON_INK))
    d.line((1, 4, 6, 6, 10, 3), fill=rgba(ICON_INK))
    d.line((6, 6, 6, 11), fill=rgba(ICON_INK))


ICON_STRIP_Y, STRIP_CELL, STRIP_FIRST_X = 76, 16, 120  # the symbols after the list's icons


def strip_symbols():
    """The strip's other symbols, each a 16 x 16 cell from x 120 on."""
    def check(d, w, h):
        d.line((2, 8, 6, 12, 13, 3), fill=rgba((40, 140, 70)), width=2)

    def arrow_to(direction):
        def paint(d, w, h):
            pts = {"left": [(12, 2), (12, 13), (3, 8)], "right": [(3, 2), (3, 13), (12, 8)],
                   "up": [(2, 12), (13, 12), (8, 3)], "down": [(2, 3), (13, 3), (8, 12)]}[direction]
            d.polygon(pts, fill=rgba(ICON_INK))
        return paint

    def sheet(d, w, h):
        page(d, w, h)
        for y in (5, 8, 11):
            d.line((4, y, w - 5, y), fill=rgba((125, 126, 121)))

    def wrench(d, w, h):
        d.line((4, 12, 10, 6), fill=rgba(ICON_INK), width=3)
        d.ellipse((8, 1, 14, 7), outline=rgba(ICON_INK), width=2)

    def pencil(d, w, h):
        d.polygon([(2, 13), (3, 10), (11, 2), (14, 5), (6, 13)], fill=rgba((230, 180, 60)), outline=rgba(ICON_INK))

    return [check, arrow_to("left"), arrow_to("right"), arrow_to("up"), arrow_to("down"), sheet, wrench, pencil]


def paint_strip(atlas):
    for k, painter in enumerate(strip_symbols()):
        atlas.paste(cell(STRIP_CELL, STRIP_CELL, painter), STRIP_FIRST_X + k * (STRIP_CELL + 2), ICON_STRIP_Y)


def trough(w, h):
    im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    for x in range(w):
        f = 0.6 + 0.5 * abs(x - (w - 1) / 2) / (w / 2)
        d.line((x, 0, x, h - 1), fill=rgba(shade(MENU_RECT, f)))
    d.line((0, 0, 0, h - 1), fill=rgba(METAL_TEXT))
    d.line((w - 1, 0, w - 1, h - 1), fill=rgba(METAL_TEXT))
    return im


def sprite_for(name, w, h):
    if name.startswith("frame1_"):
        style = int(name.split("_")[1])
        colours = {0: MENU_RECT, 1: MENU_RECT, 2: BUTTON_FACE, 3: BUTTON_DOWN, 4: HILIGHT, 5: GLASS, 7: MENU_RECT,
                   8: MENU_RECT2, 9: (245, 245, 240), 10: POPUP_FACE}
        caps = {0: 10, 1: 20, 2: 10, 3: 10, 4: 10, 5: 10, 7: 10, 8: 7, 9: 10, 10: 26}
        # Bars that carry text are shaded gently, so the text reads from top to bottom.
        spread = 0.25 if style in BARS_WITH_TEXT else 0.7
        im = bar(w, h, colours[style], caps[style], spread)
        if style == 10:  # the pop-up list's drop arrow in its right cap
            d = ImageDraw.Draw(im)
            d.polygon([(w - 18, 9), (w - 8, 9), (w - 13, 15)], fill=rgba(WHITE))
        return im
    if name == "frame0":
        return trough(w, h)
    if name.startswith("frame2_"):
        return panel(w, PANEL_LOOKS[int(name.split("_")[1])])
    painters = {
        "zap_up": zap(False), "zap_down": zap(True), "check_box": frame_box, "check_mark": check_mark,
        "radio_box": radio_box, "radio_mark": radio_dot, "num_down": arrow("down"), "num_up": arrow("up"),
        "slider_up": arrow("up"), "slider_thumb": thumb, "slider_down": arrow("down"), "slider_knob": knob,
        "tab_front": tab(True), "tab_back": tab(False), "dial_face": dial_face, "needle_0": needle(WHITE),
        "needle_1": needle(GLASS), "chooser_icon": folder_icon, "submenu_arrow": arrow("right"),
        "list_folder": list_folder, "list_aircraft": list_aircraft, "list_airfoil": list_airfoil,
        "list_weapon": list_weapon, "list_situation": list_situation, "list_movie": list_movie,
        "list_plan": list_plan, "list_object": list_object,
    }
    return cell(w, h, painters[name])


def glyph(font, ch, adv):
    """One glyph: white, coverage in alpha, ink from column 0, squeezed to adv - 1."""
    canvas = Image.new("L", (40, 40), 0)
    ImageDraw.Draw(canvas).text((8, 28), ch, font=font, fill=255, anchor="ls")
    bbox = canvas.getbbox()
    if not bbox:
        return None
    l, t, r, b = bbox
    ink = canvas.crop((l, 0, r, 40))
    room = max(1, adv - 1)
    if ink.width > room:
        ink = ink.resize((room, 40), Image.LANCZOS)
    # Baseline y = 28 on the canvas goes to cell row BASELINE_ROW (from the bottom), so
    # canvas row 28 - k lands on cell row BASELINE_ROW + k; cell row 0 stays empty.
    out = Image.new("LA", (CELL_W, CELL_H), (255, 0))
    top_canvas = 28 - (CELL_H - BASELINE_ROW)
    rows = ink.crop((0, top_canvas, ink.width, top_canvas + CELL_H - 1))
    white = Image.new("L", rows.size, 255)
    out.paste(Image.merge("LA", (white, rows)), (0, 0))
    return out.convert("RGBA")


def paint_font(atlas):
    font = ImageFont.truetype(FONT_CONDENSED, FONT_PX)
    for row, chars in enumerate(GLYPH_ROWS):
        for col, ch in enumerate(chars):
            if ch == " ":
                continue
            g = glyph(font, ch, ADVANCE[ch])
            if g:
                atlas.paste(g, col * CELL_W, row * CELL_H)


def paint_legend(atlas):
    font = ImageFont.truetype(FONT_CONDENSED, LEGEND_LABEL_PX)
    for i, (x, y, label, colour) in enumerate(LEGEND):
        atlas.rect(x - SWATCH // 2, y - SWATCH // 2, SWATCH, SWATCH, rgba(colour))
        right = LEGEND_RIGHT if x > 350 else 390
        room = right - (x + 5)
        text = Image.new("L", (200, 12), 0)
        ImageDraw.Draw(text).text((0, 9), label, font=font, fill=255, anchor="ls")
        bb = text.getbbox()
        if not bb:
            continue
        text = text.crop((0, 0, bb[2], 12))
        if text.width > room:
            text = text.resize((room, 12), Image.LANCZOS)
        white = Image.new("L", text.size, 255)
        atlas.paste(Image.merge("LA", (white, text)).convert("RGBA"), x + 5, y - 4)


def make_interface(layout):
    atlas = Atlas(512, 512)
    paint_font(atlas)
    paint_legend(atlas)
    paint_strip(atlas)
    for name, which, x, y, w, h in layout:
        if which != "interface" or name in ("font", "legend"):
            continue
        atlas.paste(sprite_for(name, w, h), x, y)
    return atlas.img


def make_elements(layout):
    atlas = Atlas(1024, 70)
    for label, x0, x1 in ELEMENT_LABELS:
        width = x1 - x0 + 1
        for band, look in ((BAND_NORMAL, "normal"), (BAND_PRESSED, "pressed"), (BAND_HOVER, "hover")):
            size = 17
            font = ImageFont.truetype(FONT_BOLD, size)
            text = Image.new("L", (width * 3, BAND_H), 0)
            ImageDraw.Draw(text).text((4, 17), label, font=font, fill=255, anchor="ls")
            bb = text.getbbox()
            text = text.crop((bb[0] - 2, 0, bb[2] + 2, BAND_H))
            text = text.resize((width, BAND_H), Image.LANCZOS)
            if look == "normal":
                halo = text.filter(ImageFilter.MaxFilter(3))
                sprite = Image.merge("RGBA", (Image.new("L", text.size, 20),) * 3 + (halo,))
                sprite.alpha_composite(Image.merge("RGBA", (Image.new("L", text.size, 255),) * 3 + (text,)))
            elif look == "pressed":
                sprite = Image.merge("RGBA", (Image.new("L", text.size, 150),) * 3 + (text,))
            else:
                glow = text.filter(ImageFilter.MaxFilter(5)).filter(ImageFilter.GaussianBlur(1.5))
                sprite = Image.merge("RGBA", (Image.new("L", text.size, 60), Image.new("L", text.size, 140),
                                              Image.new("L", text.size, 255), glow))
                sprite.alpha_composite(Image.merge("RGBA", (Image.new("L", text.size, 255),) * 3 + (text,)))
            atlas.paste(sprite, x0, band)
    # The style-20 frame: a white square frame, a white middle that lets the picture
    # behind show faintly and keeps the wizard's dark text readable over sky and cloud.
    for name, which, x, y, w, h in layout:
        if which == "elements" and name == "frame2_20":
            im = Image.new("RGBA", (w, h), (255, 255, 255, WIZARD_PANEL_ALPHA))
            d = ImageDraw.Draw(im)
            d.rectangle((0, 0, w - 1, h - 1), outline=(255, 255, 255, 255), width=2)
            atlas.paste(im, x, y)
    return atlas.img


def land_mask(workdir):
    subprocess.run(["gmt", "grdlandmask", "-Rd", "-I504+n/252+n", "-r", "-Dl", "-Gmask.nc"], cwd=workdir, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    out = subprocess.run(["gmt", "grd2xyz", "mask.nc", "-ZTLa"], cwd=workdir, check=True, capture_output=True,
                         text=True).stdout.split()
    vals = [int(float(v)) for v in out]
    assert len(vals) == MAP_SIDE * MAP_HALF, len(vals)
    return [vals[r * MAP_SIDE:(r + 1) * MAP_SIDE] for r in range(MAP_HALF)]  # north row first


def coast_distance(mask):
    """Sea pixels' steps to the nearest land (breadth first, wrapping east-west)."""
    h, w = len(mask), len(mask[0])
    dist = [[-1] * w for _ in range(h)]
    frontier = [(r, c) for r in range(h) for c in range(w) if mask[r][c]]
    for r, c in frontier:
        dist[r][c] = 0
    while frontier:
        nxt = []
        for r, c in frontier:
            for dr, dc in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                rr, cc = r + dr, (c + dc) % w
                if 0 <= rr < h and dist[rr][cc] < 0:
                    dist[rr][cc] = dist[r][c] + 1
                    nxt.append((rr, cc))
        frontier = nxt
    return dist


# Land colours by latitude, blended between these anchors: rain forest at the equator,
# deserts near the tropics, temperate green, tundra, then ice.
LAND_ANCHORS = [(0, (40, 120, 45)), (12, (110, 140, 60)), (24, (205, 180, 120)), (34, (170, 160, 100)),
                (45, (90, 130, 65)), (58, (60, 100, 60)), (66, (130, 135, 115)), (74, (235, 238, 240)),
                (90, (245, 247, 250))]


def land_colour(abs_lat):
    for (l0, c0), (l1, c1) in zip(LAND_ANCHORS, LAND_ANCHORS[1:]):
        if abs_lat <= l1:
            f = (abs_lat - l0) / (l1 - l0)
            return tuple(int(round(a + (b - a) * f)) for a, b in zip(c0, c1))
    return LAND_ANCHORS[-1][1]


def make_map(workdir):
    mask = land_mask(workdir)
    dist = coast_distance(mask)
    img = Image.new("RGBA", (MAP_SIDE, MAP_SIDE))
    px = img.load()
    for r in range(MAP_HALF):
        lat = 90 - (r + 0.5) * 180 / MAP_HALF
        for c in range(MAP_SIDE):
            land = mask[r][c]
            # Lower half (image rows 252..503): white land on grey sea.
            plain = (255, 255, 255) if land else (128, 128, 128)
            if land:
                colour = land_colour(abs(lat))
            else:
                d = min(dist[r][c], 20)
                colour = (int(40 - d), int(110 - 3 * d), int(170 - 2 * d))
            # The first row and column of each 10-degree tile are darker; rows count up
            # from the bottom, as the tile picker addresses them (252 is a whole number
            # of tiles, so both halves share the rule).
            grid = ((MAP_HALF - 1 - r) % MAP_TILE == 0) or (c % MAP_TILE == 0)
            if grid:
                colour, plain = shade(colour, 0.7), shade(plain, 0.7)
            px[c, r] = rgba(colour)
            px[c, r + MAP_HALF] = rgba(plain)
    return img


def make_background():
    rnd = random.Random(9)
    img = Image.new("RGB", (BG_W, BG_H))
    d = ImageDraw.Draw(img)
    top_of_sky = BG_H - 1 - BANNER_Y      # PIL row of the banner's lower edge
    bottom_of_sky = BG_H - STRIP_Y        # PIL row of the strip's upper edge
    for r in range(BG_H):
        f = r / (BG_H - 1)
        d.line((0, r, BG_W - 1, r), fill=(int(60 + 90 * f), int(110 + 90 * f), int(190 + 50 * f)))
    clouds = Image.new("L", (BG_W, BG_H), 0)
    cd = ImageDraw.Draw(clouds)
    for _ in range(40):
        cx, cy = rnd.randrange(BG_W), rnd.randrange(top_of_sky + 20, bottom_of_sky - 20)
        for _ in range(6):
            rx, ry = rnd.randrange(20, 60), rnd.randrange(8, 20)
            ox, oy = rnd.randrange(-40, 40), rnd.randrange(-10, 10)
            cd.ellipse((cx + ox - rx, cy + oy - ry, cx + ox + rx, cy + oy + ry), fill=rnd.randrange(120, 220))
    clouds = clouds.filter(ImageFilter.GaussianBlur(6))
    img.paste((255, 255, 255), (0, 0), clouds)

    def metal(y0, y1):
        for r in range(y0, y1):
            base = 150 + rnd.randrange(-12, 12)
            for x in range(0, BG_W, 4):
                v = base + rnd.randrange(-6, 6)
                d.line((x, r, x + 3, r), fill=(v, v, v + 6))
        d.line((0, y0, BG_W, y0), fill=(210, 210, 215))
        d.line((0, y1 - 1, BG_W, y1 - 1), fill=(80, 80, 85))

    metal(0, top_of_sky)
    metal(bottom_of_sky, BG_H)
    title = ImageFont.truetype(FONT_BOLD, 44)
    d.text((30, top_of_sky // 2 + 16), "Kestrix 9", font=title, fill=(34, 41, 53), anchor="ls")
    d.text((29, top_of_sky // 2 + 15), "Kestrix 9", font=title, fill=(235, 235, 240), anchor="ls")
    # An aircraft in the banner: fuselage, wings and tail as flat shapes.
    ax, ay = 640, top_of_sky // 2
    dark = (40, 48, 60)
    d.polygon([(ax - 90, ay), (ax + 70, ay - 6), (ax + 95, ay), (ax + 70, ay + 6)], fill=dark)
    d.polygon([(ax - 10, ay), (ax + 30, ay - 40), (ax + 42, ay - 40), (ax + 25, ay)], fill=dark)
    d.polygon([(ax - 10, ay), (ax + 30, ay + 40), (ax + 42, ay + 40), (ax + 25, ay)], fill=dark)
    d.polygon([(ax - 85, ay), (ax - 70, ay - 22), (ax - 62, ay - 22), (ax - 65, ay)], fill=dark)
    return img


def package_info(pkg):
    q = subprocess.run(["dpkg-query", "-W", "-f=${Version}", pkg], capture_output=True, text=True)
    version = q.stdout.strip() or "not installed"
    licences = []
    try:
        with open("/usr/share/doc/%s/copyright" % pkg, errors="replace") as f:
            for line in f:
                if line.startswith("License:"):
                    name = line.split(":", 1)[1].strip()
                    if name and name not in licences:
                        licences.append(name)
    except OSError:
        pass
    return version, ", ".join(licences) or "see /usr/share/doc/%s/copyright" % pkg


def write_sources(out):
    rows = [("fonts-dejavu-core", "DejaVu Sans Bold: wizard button labels, background title"),
            ("fonts-dejavu-extra", "DejaVu Sans Condensed: interface font, legend labels"),
            ("gmt", "grdlandmask and grd2xyz: the land mask of the world map"),
            ("gmt-gshhg-low", "GSHHG low-resolution coastlines behind the land mask"),
            ("python3-pil", "drawing and PNG writing")]
    lines = ["# Sources of the built-in artwork", "",
             "Made by `tools/artgen/make_art` (which runs `tools/artgen/artgen.py assets/builtin`).",
             "The sprites follow `layout.txt`; the map is", "`gmt grdlandmask -Rd -I504+n/252+n -r -Dl`.", "",
             "| Package | Version | Licences (Debian copyright file) | Used for |", "|---|---|---|---|"]
    for pkg, use in rows:
        version, lic = package_info(pkg)
        lines.append("| %s | %s | %s | %s |" % (pkg, version, lic, use))
    lines.append("")
    with open(os.path.join(out, "SOURCES.md"), "w") as f:
        f.write("\n".join(lines))


def save(img, path):
    img.save(path, format="PNG", optimize=False, compress_level=9)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "assets/builtin"
    layout = read_layout(os.path.join(out, "layout.txt"))
    save(make_interface(layout), os.path.join(out, "interface.png"))
    save(make_elements(layout), os.path.join(out, "elements.png"))
    with tempfile.TemporaryDirectory() as work:
        save(make_map(work), os.path.join(out, "map.png"))
    save(make_background(), os.path.join(out, "background.png"))
    write_sources(out)


if __name__ == "__main__":
    main()
