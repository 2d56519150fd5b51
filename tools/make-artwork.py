#!/usr/bin/env python3
"""Writes the Touch Piano artwork (hand-tuned parametric SVG) into the images dir."""
import os
import re
import sys

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")

# ---------------------------------------------------------------- palette
TB_TOP = "#2b2f35"
TB_BOT = "#1f2226"
GLYPH = "#eceef1"
AMBER = "#f5a623"
RED = "#e53935"
CARD = "#f7f7f5"
CARD_EDGE = "#d8d5cd"
INK = "#3a3e44"


def n(v):
    """Compact number formatting."""
    v = round(v, 3)
    if v == int(v):
        return str(int(v))
    return ("%.3f" % v).rstrip("0").rstrip(".")


def sp(path, k):
    """Scale every number of a path/points string by k (no arcs allowed)."""
    assert "A" not in path and "a" not in path
    return re.sub(r"-?\d+(?:\.\d+)?", lambda m: n(float(m.group(0)) * k), path)


def svg(name, w, h, body, title):
    text = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<!-- Touch Piano: {title} -->\n'
        f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
        f'width="{n(w)}" height="{n(h)}" viewBox="0 0 {n(w)} {n(h)}">\n'
        + body.strip("\n") + "\n</svg>\n"
    )
    with open(os.path.join(OUT, name + ".svg"), "w") as f:
        f.write(text)


def lgrad(gid, x1, y1, x2, y2, stops, user=True):
    units = ' gradientUnits="userSpaceOnUse"' if user else ""
    s = f'  <linearGradient id="{gid}" x1="{n(x1)}" y1="{n(y1)}" x2="{n(x2)}" y2="{n(y2)}"{units}>\n'
    for off, col, *op in stops:
        o = f' stop-opacity="{n(op[0])}"' if op else ""
        s += f'    <stop offset="{n(off)}" stop-color="{col}"{o}/>\n'
    return s + "  </linearGradient>\n"


def rgrad(gid, cx, cy, r, stops, fx=None, fy=None):
    f = ""
    if fx is not None:
        f = f' fx="{n(fx)}" fy="{n(fy)}"'
    s = f'  <radialGradient id="{gid}" cx="{n(cx)}" cy="{n(cy)}" r="{n(r)}"{f} gradientUnits="userSpaceOnUse">\n'
    for off, col, *op in stops:
        o = f' stop-opacity="{n(op[0])}"' if op else ""
        s += f'    <stop offset="{n(off)}" stop-color="{col}"{o}/>\n'
    return s + "  </radialGradient>\n"


def defs(*grads):
    return "<defs>\n" + "".join(grads) + "</defs>\n"


def rrect(x, y, w, h, r, extra):
    return f'<rect x="{n(x)}" y="{n(y)}" width="{n(w)}" height="{n(h)}" rx="{n(r)}" ry="{n(r)}" {extra}/>\n'


def rect(x, y, w, h, extra):
    return f'<rect x="{n(x)}" y="{n(y)}" width="{n(w)}" height="{n(h)}" {extra}/>\n'


def rr_path(x, y, w, h, r, top=True, bottom=True):
    """Rounded-rectangle outline as path data (arcs written out directly)."""
    rt = r if top else 0
    rb = r if bottom else 0
    d = f"M{n(x + rt)} {n(y)}H{n(x + w - rt)}"
    if rt:
        d += f"A{n(rt)} {n(rt)} 0 0 1 {n(x + w)} {n(y + rt)}"
    d += f"V{n(y + h - rb)}"
    if rb:
        d += f"A{n(rb)} {n(rb)} 0 0 1 {n(x + w - rb)} {n(y + h)}"
    d += f"H{n(x + rb)}"
    if rb:
        d += f"A{n(rb)} {n(rb)} 0 0 1 {n(x)} {n(y + h - rb)}"
    d += f"V{n(y + rt)}"
    if rt:
        d += f"A{n(rt)} {n(rt)} 0 0 1 {n(x + rt)} {n(y)}"
    return d + "Z"


def rect_path(x, y, w, h):
    return f"M{n(x)} {n(y)}H{n(x + w)}V{n(y + h)}H{n(x)}Z"


# ================================================================ keys
def white_key(name, W, H, down):
    hair = 1 if W < 50 else 1.5
    r = 4 if W < 50 else 6.5
    lip = (12 if W < 50 else 27) * (0.5 if down else 1)
    body = rr_path(0, 0, W, H, r, top=False)
    g = ""
    if not down:
        g += lgrad("face", 0, 0, 0, H, [(0, "#d9d2c2"), (0.13, "#ebe6da"), (0.3, "#f8f5ee"), (1, "#fefcf7")])
        g += lgrad("side", 0, 0, W, 0, [(0, "#ffffff", 0.9), (0.1, "#ffffff", 0), (0.8, "#000000", 0), (1, "#000000", 0.07)])
        g += lgrad("lip", 0, H - lip, 0, H, [(0, "#f1ece2"), (0.45, "#e4ddcf"), (1, "#cfc6b4")])
    else:
        g += lgrad("face", 0, 0, 0, H, [(0, "#c4bba8"), (0.13, "#d9d1c1"), (0.45, "#ebe5d9"), (1, "#f3eee4")])
        g += lgrad("side", 0, 0, W, 0, [(0, "#000000", 0.12), (0.14, "#000000", 0), (0.86, "#000000", 0), (1, "#000000", 0.12)])
        g += lgrad("lip", 0, H - lip, 0, H, [(0, "#e2dacb"), (1, "#c9bfab")])
        g += lgrad("tint", 0, H * 0.15, 0, H, [(0, AMBER, 0), (0.6, AMBER, 0.05), (1, AMBER, 0.12)])
    b = defs(g)
    b += f'<path d="{body}" fill="url(#face)"/>\n'
    if down:
        b += f'<path d="{body}" fill="url(#tint)"/>\n'
    b += f'<path d="{body}" fill="url(#side)"/>\n'
    # front lip of the key
    b += f'<path d="{rr_path(0, H - lip, W, lip, r, top=False)}" fill="url(#lip)"/>\n'
    b += rect(0, H - lip - hair, W, hair, f'fill="#000000" fill-opacity="{0.16 if not down else 0.2}"')
    b += rect(0, H - lip, W, hair, f'fill="#ffffff" fill-opacity="{0.75 if not down else 0.35}"')
    if not down:
        # crisp highlight on the left edge
        b += rect(0, 0, hair, H - r, 'fill="#ffffff" fill-opacity="0.9"')
    # separator line on the right edge
    b += rect(W - hair, 0, hair, H - r, 'fill="#9d9585"')
    b += rect(W - 2 * hair, 0, hair, H - r, 'fill="#000000" fill-opacity="0.05"')
    # outline of the rounded bottom
    h2 = hair / 2
    d = (f"M{n(h2)} {n(H - lip)}V{n(H - r)}A{n(r - h2)} {n(r - h2)} 0 0 0 {n(r)} {n(H - h2)}"
         f"H{n(W - r)}A{n(r - h2)} {n(r - h2)} 0 0 0 {n(W - h2)} {n(H - r)}V{n(H - lip)}")
    b += f'<path d="{d}" fill="none" stroke="#8f8777" stroke-opacity="0.7" stroke-width="{n(hair)}"/>\n'
    svg(name, W, H, b, ("pressed" if down else "resting") + " white key")


def black_key(name, W, H, down):
    k = W / 24
    hair = 1 if W < 30 else 1.5
    r = 3 * k
    bev = 2.5 * k
    L = (15 if W < 30 else 34) * (0.5 if down else 1)
    ft = H - L  # bottom of the top face
    drop = 1.6 * bev
    body = rr_path(0, 0, W, H, r, top=False)
    g = ""
    if not down:
        g += lgrad("lip", 0, ft, 0, H, [(0, "#5a5e65"), (0.35, "#34373c"), (1, "#16171a")])
        g += lgrad("face", 0, 0, 0, ft, [(0, "#131416"), (0.2, "#1d1f22"), (0.85, "#24262a"), (1, "#2e3035")])
        g += lgrad("gloss", 0, H * 0.16, 0, ft, [(0, "#ffffff", 0), (0.5, "#ffffff", 0.09), (1, "#ffffff", 0.16)])
    else:
        g += lgrad("lip", 0, ft, 0, H, [(0, "#3f3c38"), (1, "#141416")])
        g += lgrad("face", 0, 0, 0, ft, [(0, "#0c0c0d"), (0.3, "#151618"), (1, "#1c1d20")])
        g += lgrad("gloss", 0, H * 0.16, 0, ft, [(0, "#ffffff", 0), (1, "#ffffff", 0.06)])
        g += lgrad("tint", 0, 0, 0, H, [(0, AMBER, 0), (1, AMBER, 0.06)])
    g += lgrad("sideL", 0, 0, 0, ft, [(0, "#1c1d20"), (1, "#3a3d42" if not down else "#2a2b2e")])
    b = defs(g)
    b += f'<path d="{body}" fill="url(#lip)"/>\n'
    # side bevels
    b += f'<polygon points="0,0 {n(bev)},0 {n(bev)},{n(ft)} 0,{n(ft + drop)}" fill="url(#sideL)"/>\n'
    b += f'<polygon points="{n(W)},0 {n(W - bev)},0 {n(W - bev)},{n(ft)} {n(W)},{n(ft + drop)}" fill="#0a0b0c"/>\n'
    # top face
    fr = 1.2 * k
    b += f'<path d="{rr_path(bev, 0, W - 2 * bev, ft, fr, top=False)}" fill="url(#face)"/>\n'
    # soft gloss streak
    b += rrect(bev + 1.6 * k, H * 0.16, 2.2 * k, ft - H * 0.16 - 3 * k, 1.1 * k, 'fill="url(#gloss)"')
    if down:
        b += f'<path d="{body}" fill="url(#tint)"/>\n'
    # highlight on the front edge of the top face
    b += (f'<line x1="{n(bev + fr)}" y1="{n(ft - hair / 2)}" x2="{n(W - bev - fr)}" y2="{n(ft - hair / 2)}" '
          f'stroke="{"#ffffff" if not down else AMBER}" stroke-opacity="{0.22 if not down else 0.35}" stroke-width="{n(hair)}"/>\n')
    # crisp outline
    h2 = hair / 2
    d = (f"M{n(h2)} 0V{n(H - r)}A{n(r - h2)} {n(r - h2)} 0 0 0 {n(r)} {n(H - h2)}"
         f"H{n(W - r)}A{n(r - h2)} {n(r - h2)} 0 0 0 {n(W - h2)} {n(H - r)}V0")
    b += f'<path d="{d}" fill="none" stroke="#000000" stroke-opacity="0.75" stroke-width="{n(hair)}"/>\n'
    svg(name, W, H, b, ("pressed" if down else "resting") + " black key")


# ================================================================ toolbar
def toolbar(name, W, H):
    hair = 1 if H < 60 else 2
    g = lgrad("bar", 0, 0, 0, H, [(0, TB_TOP), (1, TB_BOT)])
    g += lgrad("sheen", 0, 0, 0, H * 0.5, [(0, "#ffffff", 0.05), (1, "#ffffff", 0)])
    b = defs(g)
    b += rect(0, 0, W, H, 'fill="url(#bar)"')
    b += rect(0, 0, W, H * 0.5, 'fill="url(#sheen)"')
    b += rect(0, 0, W, hair, 'fill="#ffffff" fill-opacity="0.08"')
    b += rect(0, H - 2 * hair, W, hair, 'fill="#ffffff" fill-opacity="0.07"')
    b += rect(0, H - hair, W, hair, 'fill="#0b0c0e"')
    svg(name, W, H, b, "toolbar background")


def plate_geom(S):
    k = S / 40
    hair = 1 if S < 60 else 2
    pos = round(3 * k) + hair / 2
    return k, hair, pos, S - 2 * pos, 9 * k


def plate(S, selected=False):
    k, hair, pos, w, r = plate_geom(S)
    if selected:
        g = lgrad("plate", 0, pos, 0, pos + w, [(0, "#ffc25a", 0.72), (1, AMBER, 0.56)])
        b = defs(g)
        b += rrect(pos, pos, w, w, r, f'fill="url(#plate)" stroke="{AMBER}" stroke-opacity="0.85" stroke-width="{n(hair)}"')
        return b
    g = lgrad("plate", 0, pos, 0, pos + w, [(0, "#ffffff", 0.09), (1, "#ffffff", 0.03)])
    return g, rrect(pos, pos, w, w, r, f'fill="url(#plate)" stroke="#ffffff" stroke-opacity="0.09" stroke-width="{n(hair)}"')


def button(name, S, glyph_fn, title):
    k = S / 40
    pg, pb = plate(S)
    extra_defs, glyph = glyph_fn(k)
    b = defs(pg + extra_defs) + pb + glyph
    svg(name, S, S, b, title)


def stroke_attrs(k, w=2.5, col=GLYPH, op=None):
    o = f' stroke-opacity="{n(op)}"' if op is not None else ""
    return (f'fill="none" stroke="{col}"{o} stroke-width="{n(w * k)}" '
            'stroke-linecap="round" stroke-linejoin="round"')


def g_octave(direction):
    def f(k):
        if direction < 0:
            a, bb = "M20.5 13L13.5 20L20.5 27", "M27.5 13L20.5 20L27.5 27"
        else:
            a, bb = "M19.5 13L26.5 20L19.5 27", "M12.5 13L19.5 20L12.5 27"
        s = f'<path d="{sp(a, k)}" {stroke_attrs(k, 2.6)}/>\n'
        s += f'<path d="{sp(bb, k)}" {stroke_attrs(k, 2.6, op=0.5)}/>\n'
        return "", s
    return f


def g_record(state):
    def f(k):
        d = ""
        s = ""
        if state == "idle":
            d += rgrad("dot", 18.2 * k, 17.2 * k, 8 * k, [(0, "#ff6b60"), (1, RED)])
            s += f'<circle cx="{n(20 * k)}" cy="{n(20 * k)}" r="{n(11 * k)}" {stroke_attrs(k, 2, GLYPH, 0.85)}/>\n'
            s += f'<circle cx="{n(20 * k)}" cy="{n(20 * k)}" r="{n(6.5 * k)}" fill="url(#dot)"/>\n'
        elif state == "bright":
            d += rgrad("glow", 20 * k, 20 * k, 17 * k, [(0, "#ff3b30", 0.7), (0.55, "#ff3b30", 0.28), (1, "#ff3b30", 0)])
            d += rgrad("dot", 18 * k, 17 * k, 8.5 * k, [(0, "#ffb3ab"), (0.35, "#ff5347"), (1, "#e8261b")])
            s += f'<circle cx="{n(20 * k)}" cy="{n(20 * k)}" r="{n(17 * k)}" fill="url(#glow)"/>\n'
            s += f'<circle cx="{n(20 * k)}" cy="{n(20 * k)}" r="{n(11 * k)}" {stroke_attrs(k, 2, "#ff8a80")}/>\n'
            s += f'<circle cx="{n(20 * k)}" cy="{n(20 * k)}" r="{n(7.5 * k)}" fill="url(#dot)"/>\n'
        else:  # dull
            d += rgrad("dot", 18.2 * k, 17.2 * k, 8.5 * k, [(0, "#8a2a26"), (1, "#4d1513")])
            s += f'<circle cx="{n(20 * k)}" cy="{n(20 * k)}" r="{n(11 * k)}" {stroke_attrs(k, 2, "#a0524d", 0.75)}/>\n'
            s += f'<circle cx="{n(20 * k)}" cy="{n(20 * k)}" r="{n(7.5 * k)}" fill="url(#dot)"/>\n'
        return d, s
    return f


def g_playlist(k):
    s = ""
    for y, x2 in ((13, 22), (19.5, 22), (26, 17)):
        s += f'<path d="{sp(f"M10 {y}H{x2}", k)}" {stroke_attrs(k, 2.4)}/>\n'
    # eighth note
    s += f'<path d="{sp("M29 27V11.5C29 14.5 33.5 15.5 33.5 19", k)}" {stroke_attrs(k, 2.2)}/>\n'
    s += (f'<ellipse cx="{n(26.2 * k)}" cy="{n(27.3 * k)}" rx="{n(3.4 * k)}" ry="{n(2.6 * k)}" '
          f'transform="rotate(-22 {n(26.2 * k)} {n(27.3 * k)})" fill="{GLYPH}"/>\n')
    return "", s


def g_settings(k):
    # three little piano keys: the instrument choice
    s = f'<path d="{sp("M11.5 11H28.5Q30.5 11 30.5 13V27Q30.5 29 28.5 29H11.5Q9.5 29 9.5 27V13Q9.5 11 11.5 11Z", k)}" {stroke_attrs(k, 2.2)}/>\n'
    s += f'<path d="{sp("M16.17 21V29M23.83 21V29", k)}" {stroke_attrs(k, 1.8)}/>\n'
    for cx in (16.17, 23.83):
        s += f'<path d="{sp(f"M{cx - 2.4} 11H{cx + 2.4}V20Q{cx + 2.4} 21.5 {cx + 0.9} 21.5H{cx - 0.9}Q{cx - 2.4} 21.5 {cx - 2.4} 20Z", k)}" fill="{GLYPH}"/>\n'
    return "", s


def g_sustain(k):
    # a piano pedal from the side: the lever on its pivot above the floor
    s = f'<path d="{sp("M9.5 29.5H30.5", k)}" {stroke_attrs(k, 1.8, op=0.55)}/>\n'
    s += f'<path d="{sp("M11.5 25L29 17.5", k)}" {stroke_attrs(k, 4.2)}/>\n'
    s += f'<path d="{sp("M17 23V29.5", k)}" {stroke_attrs(k, 2.2)}/>\n'
    s += f'<path d="{sp("M29 17.5V10.5", k)}" {stroke_attrs(k, 2.2, op=0.55)}/>\n'
    return "", s


def g_metronome(k):
    s = f'<path d="{sp("M17.2 10.5H22.8L27.8 29.5H12.2Z", k)}" {stroke_attrs(k, 2.2)}/>\n'
    s += f'<path d="{sp("M14.2 24.5H25.8", k)}" {stroke_attrs(k, 1.8, op=0.55)}/>\n'
    s += f'<path d="{sp("M20 25.5L28.5 12", k)}" {stroke_attrs(k, 2.2)}/>\n'
    s += (f'<rect x="{n(23.2 * k)}" y="{n(15.5 * k)}" width="{n(2.8 * k)}" height="{n(5.2 * k)}" rx="{n(0.8 * k)}" '
          f'transform="rotate(-57.8 {n(24.6 * k)} {n(18.1 * k)})" fill="{GLYPH}"/>\n')
    s += f'<circle cx="{n(28.6 * k)}" cy="{n(11.8 * k)}" r="{n(1.5 * k)}" fill="{GLYPH}"/>\n'
    return "", s


def g_minus(k):
    return "", f'<path d="{sp("M13 20H27", k)}" {stroke_attrs(k, 2.8)}/>\n'


def g_plus(k):
    return "", f'<path d="{sp("M13 20H27M20 13V27", k)}" {stroke_attrs(k, 2.8)}/>\n'


def g_news(k):
    s = f'<path d="{sp("M11.5 17L24.5 11.5V28.5L11.5 23Z", k)}" {stroke_attrs(k, 2.2)} />\n'
    s += f'<path d="{sp("M11.5 17H9.5Q8.5 17 8.5 18V22Q8.5 23 9.5 23H11.5", k)}" {stroke_attrs(k, 2.2)}/>\n'
    s += f'<path d="{sp("M13.5 24L15.5 29.5H18.2L17 25.5", k)}" {stroke_attrs(k, 2)}/>\n'
    s += f'<path d="{sp("M28.5 16.5Q30.5 20 28.5 23.5", k)}" {stroke_attrs(k, 2)}/>\n'
    s += f'<path d="{sp("M31.3 13.8Q34.8 20 31.3 26.2", k)}" {stroke_attrs(k, 2, op=0.5)}/>\n'
    return "", s


def selected_plate(name, S):
    svg(name, S, S, plate(S, selected=True), "highlight plate behind a selected toolbar button")


# ================================================================ cards and panels
def shadow_layers(x, y, w, h, r, k, hole=None):
    """Soft faked shadow: stacked translucent rounded rects (optionally with a hole)."""
    s = ""
    for e, dy, op in ((4, 3, 0.025), (3, 2.5, 0.035), (2, 2, 0.05), (1, 1.2, 0.07)):
        e *= k
        dy *= k
        d = rr_path(x - e, y - e + dy, w + 2 * e, h + 2 * e, r + e)
        if hole:
            d += rect_path(*hole)
            s += f'<path d="{d}" fill="#000000" fill-opacity="{op}" fill-rule="evenodd"/>\n'
        else:
            s += f'<path d="{d}" fill="#000000" fill-opacity="{op}"/>\n'
    return s


def notification(name, W, H):
    k = W / 220
    hair = 1 if k < 1.2 else 1.5
    m = round(6 * k)
    x, y, w, h = m, round(4 * k), W - 2 * m, H - round(4 * k) - round(8 * k)
    r = 10 * k
    g = lgrad("card", 0, y, 0, y + h, [(0, "#fbfbfa"), (1, "#f2f1ee")])
    b = defs(g)
    b += shadow_layers(x, y, w, h, r, k)
    b += rrect(x + hair / 2, y + hair / 2, w - hair, h - hair, r, f'fill="url(#card)" stroke="{CARD_EDGE}" stroke-width="{n(hair)}"')
    b += rect(x + r, y + hair, w - 2 * r, hair, 'fill="#ffffff" fill-opacity="0.9"')
    # amber accent stripe on the left
    b += rrect(x + 7 * k, y + 11 * k, 3 * k, h - 22 * k, 1.5 * k, f'fill="{AMBER}"')
    svg(name, W, H, b, "notification card")


def playlist_table(name, W, H, inner):
    ix0, iy0, ix1, iy1 = inner
    k = W / 300 if W < 400 else 1.6
    hair = 1 if W < 400 else 1.5
    x, y = round(3 * k), round(2 * k)
    w, h = W - 2 * x, H - y - round(5 * k)
    r = 12 * k
    hole = (ix0, iy0, ix1 - ix0, iy1 - iy0)
    g = lgrad("card", 0, y, 0, y + h, [(0, "#fbfbfa"), (1, "#f1f0ec")])
    g += lgrad("band", 0, y, 0, iy0, [(0, "#f1efea"), (1, "#e4e1da")])
    b = defs(g)
    b += shadow_layers(x, y, w, h, r, k, hole=hole)
    frame = rr_path(x + hair / 2, y + hair / 2, w - hair, h - hair, r) + rect_path(*hole)
    b += f'<path d="{frame}" fill="url(#card)" fill-rule="evenodd"/>\n'
    outline = rr_path(x + hair / 2, y + hair / 2, w - hair, h - hair, r)
    b += f'<path d="{outline}" fill="none" stroke="{CARD_EDGE}" stroke-width="{n(hair)}"/>\n'
    # title band across the top margin
    band = rr_path(x + hair, y + hair, w - 2 * hair, iy0 - y - hair, r - hair / 2, bottom=False)
    b += f'<path d="{band}" fill="url(#band)"/>\n'
    b += rect(x + r, y + hair, w - 2 * r, hair, 'fill="#ffffff" fill-opacity="0.95"')
    b += rect(x + hair, iy0 - hair, w - 2 * hair, hair, 'fill="#cdc9c0"')
    # amber accent stripe in the title band
    th = (iy0 - y) * 0.42
    b += rrect(x + 9 * k, y + (iy0 - y - th) / 2, 3 * k, th, 1.5 * k, f'fill="{AMBER}"')
    # rim around the transparent window (drawn only outside it)
    rim = rect_path(ix0 - hair, iy0, ix1 - ix0 + 2 * hair, iy1 - iy0 + hair) + rect_path(*hole)
    b += f'<path d="{rim}" fill="#cdc9c0" fill-rule="evenodd"/>\n'
    svg(name, W, H, b, "playlist panel frame (transparent window for the table)")


def settings_bg(name, W, H):
    k = W / 240
    hair = 1 if k < 1.3 else 1.5
    r = 12 * k
    g = lgrad("card", 0, 0, 0, H, [(0, "#fbfbfa"), (1, "#f1f0ec")])
    b = defs(g)
    b += rrect(hair / 2, hair / 2, W - hair, H - hair, r, f'fill="url(#card)" stroke="{CARD_EDGE}" stroke-width="{n(hair)}"')
    b += rect(r, hair, W - 2 * r, hair, 'fill="#ffffff"')
    svg(name, W, H, b, "instrument list panel")


def round_button(name, S, kind):
    k = S / 32
    c = S / 2
    if kind == "play":
        g = lgrad("disc", 0, 1 * k, 0, 31 * k, [(0, "#40454d"), (1, TB_BOT)])
        edge = "#15171a"
        glyph = f'<path d="{sp("M13 10.2L22.6 16L13 21.8Z", k)}" fill="{GLYPH}" stroke="{GLYPH}" stroke-width="{n(1.6 * k)}" stroke-linejoin="round"/>\n'
    else:
        g = lgrad("disc", 0, 1 * k, 0, 31 * k, [(0, "#ffbd4a"), (1, "#e8930c")])
        edge = "#c27607"
        glyph = (f'<rect x="{n(11.2 * k)}" y="{n(10 * k)}" width="{n(3.4 * k)}" height="{n(12 * k)}" rx="{n(1 * k)}" fill="{TB_BOT}"/>\n'
                 f'<rect x="{n(17.4 * k)}" y="{n(10 * k)}" width="{n(3.4 * k)}" height="{n(12 * k)}" rx="{n(1 * k)}" fill="{TB_BOT}"/>\n')
    g += lgrad("shine", 0, 2 * k, 0, 16 * k, [(0, "#ffffff", 0.28), (1, "#ffffff", 0)])
    b = defs(g)
    b += f'<circle cx="{n(c)}" cy="{n(c + 0.8 * k)}" r="{n(15 * k)}" fill="#000000" fill-opacity="0.12"/>\n'
    b += f'<circle cx="{n(c)}" cy="{n(c)}" r="{n(14.5 * k)}" fill="url(#disc)" stroke="{edge}" stroke-width="{n(1 * k)}"/>\n'
    b += f'<ellipse cx="{n(c)}" cy="{n(9 * k)}" rx="{n(10 * k)}" ry="{n(6.5 * k)}" fill="url(#shine)"/>\n'
    b += glyph
    svg(name, S, S, b, kind + " button")


def accessory(name, S):
    k = S / 24
    b = f'<path d="{sp("M5.5 12.8L10 17.2L18.5 7.3", k)}" {stroke_attrs(k, 2.6, AMBER)}/>\n'
    svg(name, S, S, b, "check mark")


def close_button(name, S):
    k = S / 32
    c = S / 2
    g = lgrad("disc", 0, 2 * k, 0, 30 * k, [(0, "#555a62"), (1, "#2f3338")])
    b = defs(g)
    b += f'<circle cx="{n(c)}" cy="{n(c + 0.8 * k)}" r="{n(14.2 * k)}" fill="#000000" fill-opacity="0.15"/>\n'
    b += f'<circle cx="{n(c)}" cy="{n(c)}" r="{n(13.5 * k)}" fill="url(#disc)" stroke="#ffffff" stroke-width="{n(1.5 * k)}"/>\n'
    b += f'<path d="{sp("M11.5 11.5L20.5 20.5M20.5 11.5L11.5 20.5", k)}" {stroke_attrs(k, 2.4)}/>\n'
    svg(name, S, S, b, "close button")


def app_icon(name, S=256):
    k = S / 256
    g = lgrad("bg", 0, 0, 0, S, [(0, "#353a42"), (1, "#1a1c20")])
    g += lgrad("ivory", 0, 68, 0, 212, [(0, "#e9e3d6"), (0.25, "#f8f5ee"), (1, "#fefcf7")])
    g += lgrad("amber", 0, 68, 0, 212, [(0, "#f0a020"), (1, "#ffc45e")])
    g += lgrad("ebony", 0, 68, 0, 156, [(0, "#2a2c30"), (1, "#121315")])
    g += lgrad("sheen", 0, 0, 0, S * 0.5, [(0, "#ffffff", 0.10), (1, "#ffffff", 0)])
    b = defs(g)
    b += rrect(0, 0, S, S, 56 * k, 'fill="url(#bg)"')
    b += rrect(0, 0, S, S * 0.5, 56 * k, 'fill="url(#sheen)"')
    # small toolbar-like strip with a record dot
    b += rrect(44, 46, 168, 8, 4, f'fill="{AMBER}"')
    # keys
    x0, y0, kw, gap, kh = 44, 68, 30.4, 4, 144
    b += rrect(x0 - 2, y0 + 4, 5 * kw + 4 * gap + 4, kh, 9, 'fill="#000000" fill-opacity="0.28"')
    for i in range(5):
        x = x0 + i * (kw + gap)
        fill = "url(#amber)" if i == 2 else "url(#ivory)"
        b += f'<path d="{rr_path(x, y0, kw, kh, 7, top=False)}" fill="{fill}"/>\n'
        b += f'<path d="{rr_path(x, y0 + kh - 12, kw, 12, 7, top=False)}" fill="#000000" fill-opacity="0.10"/>\n'
    for i in (1, 2, 4):
        cx = x0 + i * (kw + gap) - gap / 2
        bw = 20
        b += f'<path d="{rr_path(cx - bw / 2 - 2, y0, bw + 4, 92, 6, top=False)}" fill="#1a1c20"/>\n'
        b += f'<path d="{rr_path(cx - bw / 2, y0, bw, 88, 4, top=False)}" fill="url(#ebony)"/>\n'
        b += rrect(cx - bw / 2 + 3, y0 + 14, 3, 60, 1.5, 'fill="#ffffff" fill-opacity="0.12"')
    svg(name, S, S, b, "application icon")


def main():
    os.makedirs(OUT, exist_ok=True)
    for suffix, W, H, BW, BH in (("", 40, 320, 24, 200), ("-ipad", 66, 768, 40, 480)):
        white_key("white_key_up" + suffix, W, H, False)
        white_key("white_key_down" + suffix, W, H, True)
        black_key("black_key_up" + suffix, BW, BH, False)
        black_key("black_key_down" + suffix, BW, BH, True)
    for suffix, TW, TH, S in (("", 480, 44, 40), ("@2x", 1024, 86, 72)):
        toolbar("toolbar_background" + suffix, TW, TH)
        button("octave_down" + suffix, S, g_octave(-1), "octave down button")
        button("octave_up" + suffix, S, g_octave(1), "octave up button")
        button("record_button" + suffix, S, g_record("idle"), "record button")
        button("record_button_pressed_bright" + suffix, S, g_record("bright"), "record button, recording (bright phase)")
        button("record_button_pressed_dull" + suffix, S, g_record("dull"), "record button, recording (dull phase)")
        button("playlist_button" + suffix, S, g_playlist, "playlist button")
        button("settings_button" + suffix, S, g_settings, "instrument button")
        button("sustain_button" + suffix, S, g_sustain, "sustain pedal button")
        button("metronome_button" + suffix, S, g_metronome, "metronome button")
        button("metronome_minus" + suffix, S, g_minus, "tempo minus button")
        button("metronome_plus" + suffix, S, g_plus, "tempo plus button")
        button("news_button" + suffix, S, g_news, "news button")
        selected_plate("button_selected_plate" + suffix, S)
    notification("notification_popup", 220, 56)
    notification("notification_popup@2x", 320, 80)
    playlist_table("playlist_table", 300, 220, (14, 23, 300 - 14, 220 - 18))
    playlist_table("playlist_table-ipad", 600, 540, (32, 46, 600 - 30, 540 - 36))
    settings_bg("settings_background", 240, 200)
    settings_bg("settings_background@2x", 440, 520)
    round_button("playlist_play_button", 32, "play")
    round_button("playlist_pause_button", 32, "pause")
    accessory("settings_table_accessory", 24)
    accessory("settings_table_accessory@2x", 36)
    close_button("btn-smclose", 32)
    close_button("btn-smclose@2x", 62)
    app_icon("touchpiano")


if __name__ == "__main__":
    main()
