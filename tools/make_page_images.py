#!/usr/bin/python3
"""Draws the button, switch and icon images of the Tool and Internal pages.

Each image is an SVG drawing rendered to PNG with rsvg-convert (Debian librsvg2-bin), at the
size of the click rectangle it sits in. The PNGs are committed; run this only to change them:

    /usr/bin/python3 tools/make_page_images.py [data/images]
"""
import os
import subprocess
import sys
import tempfile

FONT = "DejaVu Sans,Verdana,sans-serif"

# Live buttons: fill gradient top, bottom and edge colour; greyed ones share one look.
BLUE = ("#2a86cf", "#03508d", "#023a67")
RED = ("#d9503f", "#a8271a", "#7e1c12")
GREY = ("#dfe5ec", "#c3cdd8", "#aab6c3")


def button(width, height, label, colours, text_colour="#ffffff"):
    top, bottom, edge = colours
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}">
<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/></linearGradient></defs>
<rect x="0.5" y="0.5" width="{width - 1}" height="{height - 1}" rx="5" fill="url(#g)" stroke="{edge}"/>
<rect x="2" y="1.5" width="{width - 4}" height="{height / 2 - 2}" rx="4" fill="#ffffff" opacity="0.14"/>
<text x="{width / 2}" y="{height / 2 + 4}" text-anchor="middle" font-family="{FONT}" font-size="11.5"
 font-weight="bold" fill="{text_colour}">{label}</text>
</svg>"""


def unit(width, height, label, on):
    fill, edge, ink = ("#03508d", "#023a67", "#ffffff") if on else ("#eef2f6", "#b9c7d6", "#7d8da0")
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}">
<rect x="0.5" y="0.5" width="{width - 1}" height="{height - 1}" rx="4" fill="{fill}" stroke="{edge}"/>
<text x="{width / 2}" y="{height / 2 + 4}" text-anchor="middle" font-family="{FONT}" font-size="10.5"
 font-weight="bold" fill="{ink}">{label}</text>
</svg>"""


def switch(on):
    track = "#2e9bdc" if on else "#c3cdd8"
    knob_x = 17.5 if on else 7.5
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="25" height="23">
<rect x="1" y="5" width="23" height="13" rx="6.5" fill="{track}" stroke="#8096ad" stroke-width="0.8"/>
<circle cx="{knob_x}" cy="11.5" r="5.2" fill="#ffffff" stroke="#8096ad" stroke-width="0.8"/>
</svg>"""


def warning():
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="20" height="18">
<path d="M10 1.2 L19 16.8 L1 16.8 Z" fill="#c12000" stroke="#8c1700" stroke-width="1" stroke-linejoin="round"/>
<text x="10" y="15" text-anchor="middle" font-family="{FONT}" font-size="11" font-weight="bold"
 fill="#ffffff">!</text>
</svg>"""


IMAGES = {
    "button_edit.png": button(61, 23, "Edit", BLUE),
    "button_edit_invalid.png": button(61, 23, "Edit", GREY, "#8596a8"),
    "button_save.png": button(59, 23, "Save", BLUE),
    "button_save_invalid.png": button(59, 23, "Save", GREY, "#8596a8"),
    "button_test.png": button(93, 25, "Test Mail", BLUE),
    "button_test_invalid.png": button(93, 25, "Test Mail", GREY, "#8596a8"),
    "button_start.png": button(61, 23, "Start", RED),
    "button_start_invalid.png": button(61, 23, "Start", GREY, "#8596a8"),
    "temp_c_on.png": unit(19, 20, "C", True),
    "temp_c_off.png": unit(19, 20, "C", False),
    "temp_f_on.png": unit(18, 20, "F", True),
    "temp_f_off.png": unit(18, 20, "F", False),
    "switch_on.png": switch(True),
    "switch_off.png": switch(False),
    "icon_warning.png": warning(),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "data", "images")
    with tempfile.TemporaryDirectory() as scratch:
        for name, drawing in IMAGES.items():
            source = os.path.join(scratch, name + ".svg")
            with open(source, "w", encoding="utf-8") as out:
                out.write(drawing)
            subprocess.run(["rsvg-convert", "--format=png", "--output",
                            os.path.join(folder, name), source], check=True)
    print(f"wrote {len(IMAGES)} images to {folder}")


if __name__ == "__main__":
    main()
