#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets from the reference inputs in the tree.

    fuzz/make_seeds.py [TARGET ...]   (run from anywhere; rewrites the corpus of each
                                       TARGET in fuzz/corpus/, all of them by default)

deck:    every inp_A of tests/data and examples/.
tables:  the tables of every such run with nmat and nf in front (see fuzz/harness.hpp).
records: the read vectors of tests/data/format_vectors as scripts of reads, and each
         deck and table with a script that reads it as the input routine would.
model:   descriptions of model files (see fuzz/harness.hpp): elastic, attenuating, tilted
         anisotropic, with a fluid, in other units and storage types, truncated.
"""
import hashlib
import json
import pathlib
import shutil
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT / "fuzz" / "corpus"
TABLES = ["p_modulus.freq", "s_modulus.freq", "bulk_density.mat", "p11_interp.freq",
          "p13_interp.freq", "p33_interp.freq", "p55_interp.freq", "p66_interp.freq"]
# Read operations of the records target, by the op byte (see harness.cpp).
OPS = {("(i5)", 1): 0, ("(i5)", 2): 1, ("(2i5)", 2): 2, ("(e20.8)", 1): 3, ("(e20.8)", 2): 4,
       ("(e20.8)", 4): 5, ("(e20.12)", 1): 6, ("(3e20.12)", 3): 7, ("(3e20.12)", 7): 8,
       ("(e20.8)", 0): 9, ("(i5)", 0): 10, ("*", 1): 11, ("*", 3): 12, ("*", 4): 15}


WANTED = set()


def save(target, data):
    if target not in WANTED:
        return
    name = hashlib.sha1(data).hexdigest()[:16]
    (CORPUS / target / name).write_bytes(data)


def int_field(line):
    return int(line[:5].strip() or 0)


def deck_counts(deck):
    """nmat and the records per material nf = int(f4 / (f4 / npf)) of a deck, or None."""
    lines = deck.decode("latin-1").split("\n")
    try:
        at = 6
        nsnapf = int_field(lines[at]); at += 1 + max(nsnapf, 1)
        nsnapt = int_field(lines[at]); at += 1 + max(nsnapt, 1)
        npf = int_field(lines[at])
        f4 = float(lines[at + 7][:20].replace("D", "E"))
        nmat = int_field(lines[at + 10])
        nf = int(f4 / (f4 / npf))
    except (ValueError, IndexError, ZeroDivisionError):
        return None
    return nmat, nf


TARGETS = ("records", "deck", "tables", "model")


def model_seeds():
    """Model file descriptions: header, four bytes per dataset, then the value bytes."""
    present = [1, 0, 0, 0]
    absent = [0, 0, 0, 0]
    nx, ny = 4, 3
    n = nx * ny

    def seed(sets, values, ref=80, trunc=0):
        head = [nx - 1, ny - 1, ref, trunc]
        for d in range(8):
            head += sets.get(d, absent)
        return bytes(head + values)

    elastic = {0: present, 1: present, 2: present}
    ramp = [(7 * k) % 200 for k in range(n)]
    solid_vs = [40 + k for k in range(n)]
    yield seed(elastic, ramp + solid_vs + ramp)
    full = {d: present for d in range(8)}
    yield seed(full, ramp + solid_vs + ramp + [60] * n + [30] * n + [140] * n + [110] * n +
               [145 + 5 * k for k in range(n)])
    fluid_vs = [0 if k < nx else 60 for k in range(n)]
    yield seed({**elastic, 3: present, 4: present}, ramp + fluid_vs + ramp + [90] * 2 * n)
    other = {0: [1, 1, 0, 3], 1: [1, 2, 0, 0], 2: [1, 3, 0, 3]}  # km/s, f32be, kg/m3, f64be
    yield seed(other, ramp + solid_vs + ramp)
    yield seed(full, ramp + solid_vs + ramp, trunc=252)


def main(targets):
    WANTED.update(targets)
    for t in targets:
        if (CORPUS / t).exists():
            shutil.rmtree(CORPUS / t)
        (CORPUS / t).mkdir(parents=True)
    if "model" in targets:
        for data in model_seeds():
            save("model", data)
    if not {"records", "deck", "tables"} & set(targets):
        return

    inputs = sorted(p.parent for p in (ROOT / "tests" / "data").glob("**/inp_A"))
    inputs += sorted(p.parent for p in (ROOT / "examples").glob("**/inp_A"))
    for run in inputs:
        deck = (run / "inp_A").read_bytes()
        save("deck", deck)
        # A deck read as the input routine starts: integers and reals one per line.
        save("records", bytes([8, 0, 3, 0, 0, 3, 3, 0, 3]) + deck)
        counts = deck_counts(deck)
        tables = [(run / t).read_bytes() if (run / t).exists() else b"" for t in TABLES]
        if counts and 2 <= counts[0] <= 20 and 1 <= counts[1] <= 256:
            save("tables", bytes([counts[0] - 2, counts[1] - 1]) + b"\x1e".join(tables))
        save("records", bytes([4, 0, 7, 7, 7]) + tables[0])   # a modulus table
        save("records", bytes([3, 0, 6, 0]) + tables[2])      # densities
        if tables[3]:
            save("records", bytes([3, 0, 6, 12]) + tables[3])  # an anisotropic table

    for line in (ROOT / "tests" / "data" / "format_vectors" / "read_vectors.jsonl").open():
        v = json.loads(line)
        script = []
        for op in v.get("ops", []):
            if "probe" in op:
                continue
            else:
                code = OPS.get((op["layout"], len(op["items"])))
                if code is None:
                    break
                script.append(code)
        if script:
            save("records", bytes([len(script)] + script) + v["input_raw"].encode("latin-1"))


if __name__ == "__main__":
    main(sys.argv[1:] or list(TARGETS))
