#!/usr/bin/env python3
"""A generated province for the router's memory: 220 x 80 km on a 100 m
lattice near Ottawa, one 15 km city, eight 4 km towns and sixty 1 km
villages of residential streets, rural roads every RURAL lattice steps
(default 10, i.e. 1 km) and two primary roads. Every node is moved by up to
8 m, as mapped roads bend, so Routino cannot prune the rural roads' nodes
as straight. Writes OSM XML to FILE and FILE.pts (a junction at each end,
as "LAT,LON LAT,LON"), and prints the nodes, ways and kilometres of road.

usage: route_province.py FILE [RURAL]
  then: . mapserver/route_data.sh && build_routes DIR FILE
        KIV_MAPIMPORTS=DIR /usr/bin/time -v kivroute $(cat FILE.pts)"""
import math
import sys

W, H = 2201, 801
LAT0, LON0, STEP = 45.30, -75.90, 100.0


def jitter(i, j, k):
    return (((i * 73856093) ^ (j * 19349663) ^ (k * 83492791)) % 17 - 8) / 111320.0


def lat(j, i=0):
    return LAT0 + j * STEP / 111320.0 + jitter(i, j, 1)


def lon(i, j=0):
    return LON0 + i * STEP / (111320.0 * math.cos(math.radians(LAT0))) + jitter(i, j, 2) / math.cos(math.radians(LAT0))


def main():
    path, rural = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 10
    ways = []

    def grid(ci, cj, size, kind):
        for k in range(size + 1):
            ways.append((ci, cj + k, ci + size, cj + k, kind))
            ways.append((ci + k, cj, ci + k, cj + size, kind))

    grid(1000, 300, 150, "residential")
    for t in range(8):
        grid(100 + t * 260, 100 if t % 2 else 560, 40, "residential")
    for v in range(60):
        grid(40 + (v % 15) * 140, 40 + (v // 15) * 190, 10, "residential")
    for i in range(0, W, rural):
        ways += [(i, j, i, j + rural, "tertiary") for j in range(0, H - rural, rural)]
    for j in range(0, H, rural):
        ways += [(i, j, i + rural, j, "unclassified") for i in range(0, W - rural, rural)]
    for j in (220, 580):
        ways += [(i, j, i + 100, j, "primary") for i in range(0, W - 100, 100)]
    used = bytearray(W * H)
    km = 0.0
    for i0, j0, i1, j1, _ in ways:
        for i in range(i0, i1 + 1):
            for j in range(j0, j1 + 1):
                used[j * W + i] = 1
        km += (i1 - i0 + j1 - j0) * STEP / 1000
    nodes = 0
    with open(path, "w") as f:
        f.write('<?xml version="1.0"?>\n<osm version="0.6">\n')
        for j in range(H):
            for i in range(W):
                if used[j * W + i]:
                    f.write('<node id="%d" version="1" lat="%.7f" lon="%.7f"/>\n' % (1 + i + j * W, lat(j, i), lon(i, j)))
                    nodes += 1
        for n, (i0, j0, i1, j1, kind) in enumerate(ways, 1):
            refs = "".join('<nd ref="%d"/>' % (1 + i + j * W) for i in range(i0, i1 + 1) for j in range(j0, j1 + 1))
            f.write('<way id="%d" version="1">%s<tag k="highway" v="%s"/></way>\n' % (n, refs, kind))
        f.write("</osm>\n")
    with open(path + ".pts", "w") as f:
        f.write("%.7f,%.7f %.7f,%.7f\n" % (lat(220, 40), lon(40, 220), lat(580, 2160), lon(2160, 580)))
    print("nodes %d ways %d road_km %.0f" % (nodes, len(ways), km))


main()
