#!/usr/bin/env python3
"""Cuts every plot file of the corpus in every page mode with `qelcut dispose` and checks that
the pages, put back together, are the drawing that went in:

- the pen-down length of every pen is the same within 0.1 %;
- every segment of a page lies on a segment of the drawing within one plotter unit;
- no page holds a point, circle or label outside its width (a circle with its radius);
- every circle and every label comes out exactly once, in its place; where pages cut a circle
  (page modes 4, 6, 7, 8) it may come out as chords instead, lying on it and as long as it;
- hp2xx reads every page file without an error (skipped, with a message, without hp2xx).

The drawing is read by a plain HP-GL interpreter of its own (below), not by the program under
test. Pages are put back together by adding each page's offset along the roll: page k starts at
k page widths, and in the rolling split at the material the pages before it used (their "PX").

usage: check_pages.py QELCUT CORPUS_DIR [SAMPLES_DIR]
"""
import concurrent.futures
import math
import re
import os
import shutil
import subprocess
import sys
import tempfile

ETX = '\x03'
TOL = 1.0  # plotter units

DRAW = {'PD', 'PU', 'PA', 'SP', 'PG', 'NR', 'DI', 'SI', 'LO', 'DT', 'LB', 'AA', 'CI', 'LT', 'WD',
        'PR', 'IP', 'SC', 'EA', 'ER', 'RA', 'RR', 'PE', 'PM', 'EP'}
STATE = {'VS', 'FS', 'IN', 'DF', 'CO', 'BP', 'SM'}
SKIP = set('FP FT PW WU TR LA PT AC NP CR PC MC PP SV UL FI FN SD AD SS SA CS CA ES LM DV TD IW RO '
           'CT SR SL EC CP PS QL RF OE OI OS OP OH OW OA OC OF OD OT'.split())
WHITE = ' \t\r\n\v\f'
SAGITTA = 0.05  # how far the reference's chords of arcs and circles lie inside them, plotter units
KNOWN = DRAW | STATE | SKIP
SEPARATORS = re.compile('[, \t\r\n\v\f]')  # parameters: "," and white space (line breaks too)
PARAMETERS, LABEL_TEXT = re.compile('[^;A-Za-z]*'), re.compile('[^;\x03]*')
FIRST_PAIR = re.compile('[ \t\r\n\v\f]*([^, \t\r\n\v\f]*)[, \t\r\n\v\f]?(.*)', re.S)
SKIP_TO = {'CO': re.compile(r'(?:"[^"]*"?|[^;"])*;?'), 'BP': re.compile(r'(?:"[^"]*"?|[^;"A-Za-z])*;?'),
           'SM': re.compile(r'[^;]?;?')}


def chord_steps(r, span):
    """Chords for an arc of radius r (plotter units) through span radians, within SAGITTA."""
    step = 2 * math.acos(1 - SAGITTA / r) if r > SAGITTA else math.pi / 2
    return max(2, int(math.ceil(abs(span) / step)))


def numbers(text):
    return [atof(f) for f in SEPARATORS.split(text) if f.strip()]


ATOF = re.compile(r'[ \t\r\n]*([+-]?([0-9]+\.?[0-9]*|\.[0-9]+))')


def atof(text):
    """The longest leading decimal number, as C's atof reads it (without exponents)."""
    m = ATOF.match(text)
    return float(m.group(1)) if m else 0.0


class Drawing:
    def __init__(self):
        self.segs = {}      # pen -> [(x1, y1, x2, y2)]
        self.circles = []   # (x, y, r, pen)
        self.labels = []    # (x, y, text)
        self.min_x = self.min_y = 0.0
        self.points = []    # every written position (pages only): for the width check
        self.curves = {}    # pen -> [(length, radius)] of arcs and circles drawn as chords

    def seg(self, pen, a, b):
        if pen != 0 and a != b:
            self.segs.setdefault(pen, []).append((a[0], a[1], b[0], b[1]))


def interpret(data):
    """HP-GL as the plotter draws it: positions, pen state, user units, polygons, labels."""
    d = Drawing()
    n, i, x, y, pen, dt = len(data), 0, 0.0, 0.0, 1, ETX
    down = rel = passthrough = False
    header = True
    ip = sc = poly = None  # sc: (ox, oy, sx, sy)
    polys, closed = [], []

    def note(px, py):
        d.min_x, d.min_y = min(d.min_x, px), min(d.min_y, py)

    def to_raw(u, v):
        return (sc[0] + u * sc[2], sc[1] + v * sc[3]) if sc else (u, v)

    def by(u, v):
        # A move from the pen's place, in user units.
        return (x + u * (sc[2] if sc else 1), y + v * (sc[3] if sc else 1))

    def move(p):
        nonlocal x, y
        note(*p)
        if poly is not None:
            sub = polys[-1]
            if not sub and down:
                sub.append(((x, y), False))
            if not down and sub and not any(v[1] for v in sub):
                sub[-1] = (p, False)
            else:
                sub.append((p, down))
        else:
            if down:
                d.seg(pen, (x, y), p)
            d.points.append(p)
        x, y = p

    def arc(ucx, ucy, sweep):
        # In user units, where the file drew it: the start, centre and radius there, each point
        # scaled like any other (a flipped axis turns it, unequal scales stretch it).
        nonlocal x, y
        ux, uy = ((x - sc[0]) / sc[2], (y - sc[1]) / sc[3]) if sc else (x, y)
        r = math.hypot(ux - ucx, uy - ucy)
        if r <= 0 or not math.isfinite(sweep):
            return
        a0 = math.atan2(uy - ucy, ux - ucx)
        span = math.radians(sweep)
        rp = r * (max(abs(sc[2]), abs(sc[3])) if sc else 1.0)
        steps = chord_steps(rp, span)
        if down and pen != 0:
            d.curves.setdefault(pen, []).append((abs(span) * rp, rp))
        for k in range(1, steps + 1):
            a = a0 + span * k / steps
            move(to_raw(ucx + r * math.cos(a), ucy + r * math.sin(a)))

    def scan(start, label=False):
        # Up to ";", the next command (a letter) or ETX in a label; a command the file ends
        # without a terminator takes what it holds.
        j = (LABEL_TEXT if label else PARAMETERS).match(data, start).end()
        return data[start:j], j + (data[j:j + 1] == ';')

    def label_end(start):
        # ETX, or the "DT" character before ";", a line break or a command; searched up to the
        # next "LB". None: the label ends at ETX or ";".
        j = start
        while j < n:
            c = data[j]
            if c == 'L' and j + 1 < n and data[j + 1] == 'B':
                return None
            if c == ETX:
                return j
            if c == dt:
                nxt = data[j + 1] if j + 1 < n else ''
                if nxt in ('', ';', '\r', '\n') or (j + 2 < n and data[j + 1:j + 3] in KNOWN):
                    return j
            j += 1
        return None

    while i < n - 1:
        cmd = data[i:i + 2]
        if cmd not in KNOWN or (header and cmd in STATE | SKIP):
            passthrough = True
            i += 1
            continue
        if header and passthrough:
            header = False
        i += 2
        if cmd == 'LB':
            end = label_end(i)
            if end is None:
                text, i = scan(i, label=True)
            else:
                text, i = data[i:end], end + (0 if data[end] == ETX else 1)
            note(x, y)
            if pen != 0:
                d.labels.append((x, y, text))
                d.points.append((x, y))
            continue
        if cmd == 'PE':
            j = data.find(';', i)
            if j < 0:
                j = n
            body, i = data[i:j], j + 1
            up_next, abs_next, was_down = False, False, down
            for kind, val in pe_values(body):
                if kind == 'up':
                    up_next = True
                elif kind == 'abs':
                    abs_next = True
                else:
                    down = not up_next
                    move(to_raw(*val) if abs_next else by(*val))
                    up_next = abs_next = False
            down = was_down
            continue
        if cmd in SKIP_TO:
            # A comment runs to ";", quoted or not; "BP" also ends at the next command; "SM"
            # takes one character.
            i = SKIP_TO[cmd].match(data, i).end()
            continue
        text, i = scan(i, label=cmd == 'WD')
        if cmd == 'PU':
            down = False
            if rel or poly is not None:
                for u, v in pair_list(text):
                    move(by(u, v) if rel else to_raw(u, v))
            else:
                # The first pair only, as the cutter's reader has always taken it.
                xs, rest = FIRST_PAIR.match(text).groups()
                if xs != '' or rest.strip(WHITE) != '':
                    move(to_raw(atof(xs), atof(rest.lstrip(',' + WHITE))))
        elif cmd in ('PD', 'PA', 'PR'):
            if cmd == 'PD':
                down = True
            else:
                rel = cmd == 'PR'
            for u, v in pair_list(text):
                move(by(u, v) if rel else to_raw(u, v))
        elif cmd == 'SP':
            if text.strip(WHITE) != '':
                pen = int(atof(text))
        elif cmd == 'CI':
            r = int(atof(text))
            if sc:
                r = int(round(r * abs(sc[2])))
            note(x - abs(r), y - abs(r))
            if poly is None:
                if pen != 0:
                    d.circles.append((x, y, r, pen))
                    d.points.append((x, y))
            elif r:
                # In a polygon a circle is a closed subpolygon of its own; the pen stays at the
                # centre, where the next subpolygon starts.
                r = abs(r)
                ring = [(q, k > 0) for k, q in enumerate(ring_points(x, y, r))]
                if polys and not any(v[1] for v in polys[-1]):
                    del polys[-1], closed[-1]
                elif polys:
                    closed[-1] = down
                polys += [ring, [((x, y), False)]]
                closed += [True, False]
                if pen != 0:
                    d.curves.setdefault(pen, []).append((2 * math.pi * r, r))
        elif cmd == 'AA':
            v = numbers(text)
            if v:
                arc(v[0], v[1] if len(v) > 1 else 0.0, v[2] if len(v) > 2 else 0.0)
        elif cmd in ('EA', 'ER', 'RA', 'RR'):
            v = numbers(text)
            if len(v) >= 2 and poly is None:
                a = prev = (x, y)
                b = by(v[0], v[1]) if cmd in ('ER', 'RR') else to_raw(v[0], v[1])
                for c in [(b[0], a[1]), b, (a[0], b[1]), a]:
                    note(*c)
                    d.seg(pen, prev, c)
                    d.points.append(c)
                    prev = c
        elif cmd == 'PM':
            k = int(atof(text)) if text.strip() else 0
            if k == 0:
                poly = True
                polys, closed = [[((x, y), False)]], [False]
            elif poly is not None and polys:
                closed[-1] = down
                if k == 1:
                    polys.append([])
                    closed.append(False)
                else:
                    poly = None
        elif cmd == 'EP':
            if poly is None:
                for sub, cl in zip(polys, closed):
                    if not any(v[1] for v in sub):
                        continue
                    path = list(sub)
                    if cl and path[-1][0] != path[0][0]:
                        path.append((path[0][0], True))
                    for (p0, _), (p1, dn) in zip(path, path[1:]):
                        if dn:
                            d.seg(pen, p0, p1)
                        d.points.append(p1)
                    d.points.append(path[0][0])
        elif cmd == 'IP':
            v = numbers(text)
            ip = v[:4] if len(v) >= 4 else None  # the corpus gives all four numbers or none
        elif cmd == 'SC':
            sc = scaling(ip, numbers(text))
        elif cmd == 'IN':
            sc, ip, rel, poly, down = None, None, False, None, False
        elif cmd == 'DT':
            dt = text[0] if text else ETX
    return d


def pair_list(text):
    v = [atof(f) for f in SEPARATORS.split(text) if f != '']
    assert len(v) % 2 == 0, 'a pair without its y'  # none in the corpus
    return list(zip(v[::2], v[1::2]))


def scaling(ip, v):
    if len(v) < 4:
        return None
    # The corpus's producers scale user units to the scaling points, never isotropic or by factors.
    assert len(v) < 5 or int(v[4]) == 0, 'user units scaled isotropically or by factors'
    du, dv = v[1] - v[0], v[3] - v[2]
    if not ip:
        sx = sy = 1.0
    elif du == 0 or dv == 0:
        return None
    else:
        sx, sy = (ip[2] - ip[0]) / du, (ip[3] - ip[1]) / dv
    if sx == 0 or sy == 0:
        return None
    return ((ip[0] if ip else 0.0) - v[0] * sx, (ip[1] if ip else 0.0) - v[2] * sy, sx, sy)


def pe_values(body):
    """The flags and numbers of an encoded polyline, in order."""
    out = []
    i, n = 0, len(body)

    def number():
        # Eight-bit digits: 63..126 go on, 191..254 end the number (base 64). The lowest bit of
        # the value is the sign.
        nonlocal i
        value, scale = 0, 1
        while i < n:
            c = ord(body[i])
            i += 1
            if 63 <= c < 127:
                value, scale = value + (c - 63) * scale, scale * 64
            elif 191 <= c < 255:
                value += (c - 191) * scale
                return -(value >> 1) if value & 1 else value >> 1
        return None

    while i < n:
        c = body[i]
        # The corpus's encoded polylines carry flags and points only: no pen, fraction or
        # seven-bit digits, which this reader does not know.
        assert c not in ':>7', 'an encoded polyline with a pen, a fraction or seven-bit digits'
        if c in '<=':
            out.append(('up' if c == '<' else 'abs', None))
            i += 1
        elif ord(c) >= 63:
            a, b = number(), number()
            if a is None or b is None:
                break
            out.append(('pt', (a, b)))
        else:
            i += 1
    return out




# ------------------------------------------------------------------------------------------------
# Comparison.

MODES = range(10)
CUTTING = {4, 6, 7, 8}  # modes whose pages cut the drawing; the others get one wide page


def shifted(d):
    """The drawing as the cutter places it: negative coordinates moved onto the material."""
    sx, sy = -min(d.min_x, 0.0), -min(d.min_y, 0.0)
    d.segs = {pen: [(a + sx, b + sy, c + sx, e + sy) for a, b, c, e in segs] for pen, segs in d.segs.items()}
    d.circles = [(x + sx, y + sy, r, p) for x, y, r, p in d.circles]
    d.labels = [(x + sx, y + sy, t) for x, y, t in d.labels]
    d.points = [(x + sx, y + sy) for x, y in d.points]
    return d


def extent(d):
    xs = [p[0] for p in d.points] + [x + abs(r) for x, y, r, _ in d.circles] + [0.0]
    ys = [p[1] for p in d.points] + [y + abs(r) for x, y, r, _ in d.circles] + [0.0]
    return max(xs), max(ys)


class SegmentIndex:
    def __init__(self, segs, cell=40.0):
        self.cell = cell
        self.grid = {}
        for s in segs:
            x0, x1 = sorted((s[0], s[2]))
            y0, y1 = sorted((s[1], s[3]))
            for gx in range(int((x0 - TOL) // cell), int((x1 + TOL) // cell) + 1):
                for gy in range(int((y0 - TOL) // cell), int((y1 + TOL) // cell) + 1):
                    self.grid.setdefault((gx, gy), []).append(s)

    def near(self, x, y):
        return any(point_segment(x, y, s) <= TOL for s in self.grid.get((int(x // self.cell), int(y // self.cell)), ()))


def point_segment(px, py, s):
    ax, ay, bx, by = s
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy
    t = 0.0 if ll == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / ll))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def length(segs):
    return sum(math.hypot(c - a, e - b) for a, b, c, e in segs)


def run_mode(qelcut, path, mode, width_mm, height_mm, work):
    home, out = os.path.join(work, 'home'), os.path.join(work, 'out')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(home)
    with open(os.path.join(home, 'Config.ini'), 'w') as f:
        f.write('[Split_Page]\nSplit_Page_Enabled=1\nCUT_FT=%d\nPage_Width=%d\nPage_Height=%d\nAdd_PG=1\n'
                '[FontDispose]\nFontDispose_Enabled=0\n[RollMotion]\ndetal_x=0\ndetal_y=0\n'
                '[Optimize]\nTranCI=0\n' % (mode, width_mm, height_mm))
    r = subprocess.run([qelcut, 'dispose', path, '--home', home, '--out', out], capture_output=True,
                       text=True, timeout=120, env=dict(os.environ, QELCUT_LOOPBACK_ONLY='1'))
    pages = [line.split('\t')[0] for line in r.stdout.splitlines() if line.strip()]
    return r.returncode, r.stderr.strip(), pages


def ring_points(x, y, r):
    """A circle as the reference's chords: their ends, from angle 0 round to it again."""
    steps = chord_steps(r, 2 * math.pi)
    return [(x + r * math.cos(2 * math.pi * k / steps), y + r * math.sin(2 * math.pi * k / steps))
            for k in range(steps + 1)]


def circle_segments(c):
    pts = ring_points(c[0], c[1], abs(c[2]))
    return [(a[0], a[1], b[0], b[1]) for a, b in zip(pts, pts[1:])]


def curve_allowance(curves):
    """How much shorter chords may be than the arcs and circles they stand for: the cutter's
    chords lie within a quarter unit of the arc, or are ArcLen (2 units) long."""
    return sum(length * min(1.0, 0.01 + 0.2 / max(r, 0.1)) for length, r in curves)


def check_file(job):
    """The problems found in one (qelcut, path, hp2xx, work) job."""
    qelcut, path, hp2xx, work = job
    problems = []
    name = os.path.basename(path)
    with open(path, 'rb') as f:
        data = f.read().decode('latin-1')
    ref = shifted(interpret(data))
    ref_len = {p: length(s) for p, s in ref.segs.items()}
    index = SegmentIndex([s for segs in ref.segs.values() for s in segs])
    # Where pages cut a circle it is cut as chords: those lie on the circle.
    circle_index = SegmentIndex([s for c in ref.circles for s in circle_segments(c)])
    max_x, max_y = extent(ref)
    wide_mm, height_mm = int(max_x / 40) + 20, int(max_y / 40) + 20
    # Narrow pages, about three to a drawing: circles meet page edges too.
    cut_mm = max(2, int(max_x / 40 / 3.2))
    for mode in MODES:
        w_mm = cut_mm if mode in CUTTING else wide_mm
        w = w_mm * 40.0
        where = '%s mode %d (page %d mm)' % (name, mode, w_mm)
        rc, err, pages = run_mode(qelcut, path, mode, w_mm, height_mm, work)
        if rc != 0:
            problems.append('%s: qelcut dispose failed (%d): %s' % (where, rc, err))
            continue
        got_len, circles, labels, offset = {}, [], [], 0.0
        for page in pages:
            with open(page, 'rb') as f:
                text = f.read().decode('latin-1')
            k = int(page.rsplit('_', 1)[1].split('.')[0]) - 1
            d = interpret(text)
            px = [float(v) for v in re.findall(r'PX(-?[0-9]+);', text)[-1:]]  # the trailer's
            off = offset if mode == 6 else k * w if mode in (2, 4, 5, 7, 8) else 0.0
            offset += px[0] if px else w
            if mode in CUTTING:
                outside = [x for x, y in d.points if not (-TOL <= x <= w + TOL)]
                outside += [x for x, y, r, p in d.circles if not (-TOL <= x - abs(r) and x + abs(r) <= w + TOL)]
                if outside:
                    problems.append('%s: page %d holds x = %.1f outside its width %.0f' % (where, k + 1, outside[0], w))
            for pen, segs in d.segs.items():
                got_len[pen] = got_len.get(pen, 0.0) + length(segs)
                for a, b, c, e in segs:
                    if not all(index.near(qx + off, qy) or (mode in CUTTING and circle_index.near(qx + off, qy))
                               for qx, qy in ((a, b), (c, e), ((a + c) / 2, (b + e) / 2))):
                        problems.append('%s: page %d segment (%.1f,%.1f)-(%.1f,%.1f) lies on no segment of the '
                                        'drawing' % (where, k + 1, a + off, b, c + off, e))
                        break
            circles += [(x + off, y, r, p) for x, y, r, p in d.circles]
            labels += [(x + off, y, t) for x, y, t in d.labels]
            if hp2xx:
                h = subprocess.run([hp2xx, '-m', 'hpgl', '-f', os.path.join(work, 'hp2xx.out'), page],
                                   capture_output=True, text=True, timeout=60)
                report = h.stdout + h.stderr
                if h.returncode != 0 or 'rror' in report or 'Unexpected event(s):  0' not in report:
                    problems.append('%s: hp2xx does not read page %d: %s' % (where, k + 1, report[-300:]))
        # Circles that did not come out whole must have been cut as chords (modes that cut).
        chorded = unmatched(ref.circles, circles, lambda c: (c[2], c[3]))
        if chorded is None or (chorded and mode not in CUTTING):
            problems.append('%s: circles %d in, %d out, or misplaced' % (where, len(ref.circles), len(circles)))
            chorded = []
        want_len = dict(ref_len)
        allow = {p: curve_allowance(c) for p, c in ref.curves.items()}
        for x, y, r, p in chorded:
            want_len[p] = want_len.get(p, 0.0) + 2 * math.pi * abs(r)
            allow[p] = allow.get(p, 0.0) + curve_allowance([(2 * math.pi * abs(r), abs(r))])
        for pen in set(want_len) | set(got_len):
            a, b = want_len.get(pen, 0.0), got_len.get(pen, 0.0)
            if abs(a - b) > max(0.001 * a, 0.5) + allow.get(pen, 0.0):
                problems.append('%s: pen %d cuts %.1f units, the drawing has %.1f' % (where, pen, b, a))
        if not same_items(ref.labels, labels, lambda l: l[2]):
            problems.append('%s: labels %d in, %d out, or misplaced' % (where, len(ref.labels), len(labels)))
    return problems


def unmatched(want, got, key):
    """The wanted items that nothing got matches, or None when something got matches nothing."""
    left = list(got)
    missing = []
    for item in want:
        for j, g in enumerate(left):
            if key(g) == key(item) and abs(g[0] - item[0]) <= TOL and abs(g[1] - item[1]) <= TOL:
                del left[j]
                break
        else:
            missing.append(item)
    return None if left else missing


def same_items(want, got, key):
    return len(want) == len(got) and unmatched(want, got, key) == []


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    qelcut, corpus = sys.argv[1], sys.argv[2]
    samples = sys.argv[3] if len(sys.argv) > 3 else ''
    files = sorted(os.path.join(corpus, f) for f in os.listdir(corpus) if f.endswith('.hpgl'))
    work_root = tempfile.mkdtemp(prefix='qelcut-pages-')
    try:
        if samples and os.path.isdir(samples):
            # hp2xx's own sample files, where the hp2xx documentation is installed.
            for f in SAMPLES:
                src = os.path.join(samples, f)
                if os.path.exists(src):
                    files.append(src)
                elif os.path.exists(src + '.gz'):
                    import gzip
                    dst = os.path.join(work_root, f)
                    with gzip.open(src + '.gz', 'rb') as g, open(dst, 'wb') as o:
                        o.write(g.read())
                    files.append(dst)
        else:
            print('hp2xx sample files not found (%s): only the corpus of the tree is cut' % (samples or '-'))
        hp2xx = shutil.which('hp2xx')
        if not hp2xx:
            print('SKIPPED: hp2xx is not installed, so the page files are not read back by hp2xx '
                  '(install it from scripts/packages/plot.txt)')
        problems = []
        # Two files at a time, each in a folder of its own (the runs of a file are sequential).
        jobs = [(qelcut, path, hp2xx, os.path.join(work_root, 'run%d' % k)) for k, path in enumerate(files)]
        with concurrent.futures.ProcessPoolExecutor(2) as pool:
            for path, found in zip(files, pool.map(check_file, jobs)):
                problems += found
                print('%-28s %s' % (os.path.basename(path), 'ok' if not found else '%d problem(s)' % len(found)))
        for p in problems[:60]:
            print('FAIL', p)
        print('%d files x %d page modes: %d problem(s)' % (len(files), len(MODES), len(problems)))
        return 1 if problems else 0
    finally:
        shutil.rmtree(work_root, ignore_errors=True)


SAMPLES = ['arcs.hp', 'ci.hp', 'colors.hp', 'di.hp', 'dt.plt', 'la.hp', 'lo.hp', 'lt.hp', 'miter.hp',
           'mycolors.hp', 'pages.hp', 'symbols.hp', 'thick.hp', 'ul.hp', 'iw.hp', 'fill.plt', 'acad.hp',
           'spectrum.plt']

if __name__ == '__main__':
    sys.exit(main())
