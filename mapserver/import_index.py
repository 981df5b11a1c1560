#!/usr/bin/python3
"""The extent index of the OpenStreetMap imports, and the union files that
draw a set of them.

kiv-mapserver.sh writes imports.index in the imports folder at every change
of the imports, in one step: a line per import with the file MapServer reads
(its link in .live), its extent in EPSG:3978 (MINX MINY MAXX MAXY) and its
tables, tab-separated. A set of imports is drawn through a union file in
.sets named after its text (the files and tables it unites), made on
first use: gif_worker.py asks MapServer for the set of the imports that meet
the sheet, so that an import off the sheet is never opened; the set of all
of them is the map files' default.

usage: import_index.py IMPORTS   removes the union files that name a file
                                 no longer there, makes the union file of
                                 all the imports and prints its name (none
                                 when there is no import)
"""
import glob, hashlib, os, re, sys, tempfile
from xml.sax.saxutils import escape, unescape

INDEX = "imports.index"
SETS = ".sets"


def read_index(imports):
    """The imports as (file, (minx, miny, maxx, maxy), tables), in the
    index's order; [] when there is no index."""
    entries = []
    try:
        with open(os.path.join(imports, INDEX)) as f:
            for line in f:
                path, box, tables = line.rstrip("\n").split("\t")
                entries.append((path, tuple(float(v) for v in box.split()), tables.split()))
    except (OSError, ValueError):
        return []
    return entries


def meeting(entries, box):
    """The imports whose extent meets box (MINX, MINY, MAXX, MAXY, EPSG:3978)."""
    return [e for e in entries
            if e[1][0] <= box[2] and e[1][2] >= box[0] and e[1][1] <= box[3] and e[1][3] >= box[1]]


def union_file(imports, chosen, entries):
    """The name of the union file of the chosen imports, written when it is
    not there yet. Every table any import has is in it, so that each layer
    of the map files finds its table: one the chosen imports lack is read
    from another import with a filter that passes nothing."""
    tables = []
    for e in entries:
        tables += [t for t in e[2] if t not in tables]
    lines = ["<OGRVRTDataSource>"]
    for t in tables:
        lines.append('  <OGRVRTUnionLayer name="%s">' % t)
        sources = [(e, "") for e in chosen if t in e[2]] or \
                  [(next(e for e in entries if t in e[2]), "<AttrFilter>1 = 0</AttrFilter>")]
        for e, extra in sources:
            lines.append('    <OGRVRTLayer name="%s"><SrcDataSource shared="1">%s</SrcDataSource>'
                         '<SrcLayer>%s</SrcLayer>%s</OGRVRTLayer>' % (t, escape(e[0]), t, extra))
        lines.append("  </OGRVRTUnionLayer>")
    lines.append("</OGRVRTDataSource>\n")
    text = "\n".join(lines)
    # Named by what it says, not by the imports alone: the same imports
    # make another union once another import brings a table they lack
    # (which the layer files then draw).
    name = hashlib.sha1(text.encode()).hexdigest()[:16]
    path = os.path.join(imports, SETS, name + ".vrt")
    if os.path.exists(path):
        return name
    os.makedirs(os.path.dirname(path), exist_ok=True)
    fd, tmp = tempfile.mkstemp(dir=os.path.dirname(path), prefix=".new")
    with os.fdopen(fd, "w") as f:
        f.write(text)
    os.chmod(tmp, 0o644)
    os.replace(tmp, path)
    return name


def prune(imports):
    for path in glob.glob(os.path.join(imports, SETS, "*.vrt")):
        try:
            with open(path) as f:
                sources = re.findall(r"<SrcDataSource[^>]*>([^<]*)<", f.read())
            if not all(os.path.exists(unescape(s)) for s in sources):
                os.unlink(path)
        except OSError:
            pass


if __name__ == "__main__":
    prune(sys.argv[1])
    all_imports = read_index(sys.argv[1])
    if all_imports:
        print(union_file(sys.argv[1], all_imports, all_imports))
