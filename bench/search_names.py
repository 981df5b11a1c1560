#!/usr/bin/env python3
"""Writes a search index of N made-up names (places, streets, paths, water,
points of interest in the proportions of a country's extract) for
search_bench, through the map server's own index writer, beside an empty
file standing for its import.

usage: bench/search_names.py IMPORTS_DIR [N]     (N: 1000000)
"""
import os, random, sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "mapserver"))
import place_index  # noqa: E402

SYLLABLES = ["ber", "lin", "gen", "bach", "dorf", "hau", "sen", "mont", "ré", "al", "goe", "the", "stein", "feld",
             "brück", "wald", "kir", "chen", "ham", "ton", "ville", "ma", "ple", "o", "ak", "ri", "ver", "sa", "int",
             "jean", "lac", "é", "to", "ron", "hei", "del", "berg", "mün", "ster", "kö", "nigs", "au", "ro", "sé"]
STREETS = ["straße", " Street", " Road", " Avenue", "weg", " Lane", "gasse", " Drive", "platz", " Way"]
# kind, importance, share
KINDS = [("city", 10, 0.0005), ("town", 20, 0.003), ("village", 30, 0.02), ("station", 35, 0.005),
         ("hamlet", 40, 0.03), ("water", 42, 0.04), ("peak", 45, 0.01), ("river", 53, 0.01),
         ("street", 53, 0.08), ("street", 56, 0.45), ("street", 57, 0.12), ("stream", 63, 0.03),
         ("poi", 64, 0.05), ("path", 65, 0.1), ("railway", 70, 0.0015)]


def word(rng):
    return "".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 3))).capitalize()


def main():
    imports = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 1000000
    rng = random.Random(33)
    os.makedirs(imports, exist_ok=True)
    open(os.path.join(imports, "country.gpkg"), "w").close()
    weights = [k[2] for k in KINDS]
    rows = []
    for kind, imp, _ in rng.choices(KINDS, weights, k=n):
        if kind == "street":
            name = word(rng) + rng.choice(STREETS)
        elif kind in ("water", "river", "stream"):
            name = rng.choice(["Lac ", "Lake ", "", "Rivière "]) + word(rng) + rng.choice(["", "see", "bach"])
        elif kind == "path":
            name = word(rng) + rng.choice([" Trail", "pfad", " Path"])
        else:
            name = word(rng) + rng.choice(["", "", " " + word(rng)])
        rows.append((name, kind, imp, rng.uniform(45, 55), rng.uniform(5, 15)))
    place_index.write_index(os.path.join(imports, "country" + place_index.SUFFIX), rows)


if __name__ == "__main__":
    main()
