"""Model descriptions: JSON checked against a schema, physics and the program's limits, then
written as a deck `inp_A` with its material tables.

A model is a dict (see examples/*/model.json): "deck" (grid, domain, wavelet, band, iteration
controls, source, receiver line, snapshot times), "regions" (rectangles of material numbers,
later ones overwrite earlier ones), "materials" (numbered from 1 in list order; isotropic by vp,
vs, rho and optional qp, qs; or "vti", material 3 only, by vp0, vs0, rho, the Thomsen
parameters and an optional q), and optional "units" and "about".

Every check runs before anything is written; `check_model` returns the messages, each naming
the field and its value.  The checks run in stages (schema; units; materials; source, receivers
and regions; time axis and band; snapshot times) and stop after the first stage that fails, so
that one mistake gives one message rather than the knock-on complaints of the later stages.
"""

from __future__ import annotations

import difflib
import json
import math
import re
import sys
from importlib import resources
from pathlib import Path

import jsonschema

from . import limits
from .deck import REAL_KEYS, REGION_KEYS, RECEIVER_KEYS, deck_lines, quantise
from .grid import element_index, element_size, region_range, uncovered
from .materials import (ANISOTROPIC_SLOT, nmat_for, program_velocities, table_files,
                        vti_stiffness)
from .timing import wraparound_warning
from .units import LENGTH_UNITS, TIME_UNITS, model_units

#: Plausible range of rock velocities in m/s; outside it the units are almost surely mixed up.
PLAUSIBLE_VELOCITY = (20.0, 20000.0)


class ModelError(ValueError):
    """A model that cannot be built; `messages` holds one line per problem."""

    def __init__(self, messages, source=None):
        self.messages = list(messages)
        self.source = source
        prefix = f"{source}: " if source else ""
        super().__init__("\n".join(prefix + m for m in self.messages))


#: Schema bounds that are the program's limits: (path, keyword, bound, bound with
#: `--lift-limits`).  The program lifts its established limits on request (bounded by
#: memory), and so does the model builder; the deck's (i5) fields still hold at most 99999.
_LIMIT_BOUNDS = (
    (("deck", "nx"), "maximum", limits.GRID, limits.FIELD_I5),
    (("deck", "ny"), "maximum", limits.GRID, limits.FIELD_I5),
    (("deck", "npf"), "maximum", limits.FREQUENCIES, limits.FIELD_I5),
    (("deck", "tsnap"), "maxItems", limits.TIME_SNAPSHOTS, limits.FIELD_I5),
    (("deck", "receivers", "nrec"), "maximum", limits.RECEIVERS, limits.FIELD_I5),
    (("deck", "receivers", "nrec"), "minimum", limits.MIN_RECEIVERS, limits.MIN_RECEIVERS),
    (("deck", "fsnap"), "maxItems", limits.FREQUENCY_SNAPSHOTS, limits.FREQUENCY_SNAPSHOTS),
    (("deck", "maxlow"), "maximum", limits.FIELD_I5, limits.FIELD_I5),
    (("deck", "maxiter"), "maximum", limits.FIELD_I5, limits.FIELD_I5),
    # nmat is one more than the materials from four on (see materials.nmat_for)
    (("materials",), "maxItems", limits.MATERIALS - 1, limits.MATERIALS - 1),
    (("units", "length"), "enum", list(LENGTH_UNITS), list(LENGTH_UNITS)),
    (("units", "time"), "enum", list(TIME_UNITS), list(TIME_UNITS)),
)


def schema(lift_limits: bool = False) -> dict:
    """The JSON schema of a model description with the program's limits, its established
    limits on grid, frequency, snapshot and receiver counts lifted when `lift_limits` is set."""
    text = resources.files(__package__).joinpath("model.schema.json").read_text()
    out = json.loads(text)
    for path, keyword, bound, lifted in _LIMIT_BOUNDS:
        node = out
        for key in path:
            node = node["properties"][key]
        node[keyword] = lifted if lift_limits else bound
    return out


def _no_duplicates(pairs):
    seen = {}
    for key, value in pairs:
        if key in seen:
            raise ValueError(f"duplicate key {key!r}")
        seen[key] = value
    return seen


def _no_constant(name):
    raise ValueError(f"{name} is not a number JSON allows")


def load_model(path) -> dict:
    """Reads a model description; a file that is not valid JSON raises ModelError."""
    path = Path(path)
    try:
        text = path.read_text(encoding="utf-8")
    except OSError as err:
        raise ModelError([f"cannot read: {err.strerror}"], path) from None
    except UnicodeDecodeError as err:
        raise ModelError([f"not valid JSON: byte {err.start + 1} is not UTF-8 text"],
                         path) from None
    return parse_model(text, path)


def parse_model(text: str, source=None) -> dict:
    """A model description from its JSON text; text that is not valid JSON (or nests deeper
    than a model can) raises ModelError."""
    try:
        model = json.loads(text, object_pairs_hook=_no_duplicates, parse_constant=_no_constant)
    except json.JSONDecodeError as err:
        raise ModelError([f"not valid JSON: line {err.lineno}, column {err.colno}: {err.msg}"],
                         source) from None
    except ValueError as err:
        raise ModelError([f"not valid JSON: {err}"], source) from None
    except RecursionError:
        raise ModelError(["not a model: lists or objects nested deeper than Python's recursion "
                          "limit (a model nests three)"], source) from None
    if _depth(model) > _MAX_DEPTH:
        raise ModelError([f"not a model: lists or objects nested more than {_MAX_DEPTH} "
                          "levels deep (a model nests three)"], source)
    return model


#: Nesting a model description may have; the schema's validator recurses once per level.
_MAX_DEPTH = 64


def _depth(value) -> int:
    """Levels of lists and objects in a JSON value, counted without recursion."""
    deepest, todo = 0, [(value, 1)]
    while todo:
        node, level = todo.pop()
        if isinstance(node, (dict, list)):
            deepest = max(deepest, level)
            todo.extend((v, level + 1) for v in (node.values() if isinstance(node, dict)
                                                 else node))
    return deepest


# ----------------------------------------------------------------------------------- schema

def _loc(path) -> str:
    out = ""
    for part in path:
        out += f"[{part}]" if isinstance(part, int) else (f".{part}" if out else str(part))
    return out or "model"


def _val(v) -> str:
    if isinstance(v, str):
        return repr(v)
    if isinstance(v, (dict, list)):
        text = json.dumps(v)
        return text if len(text) <= 40 else text[:37] + "..."
    return json.dumps(v)


_TYPE_WORDS = {"integer": "an integer", "number": "a number", "string": "a string",
               "object": "an object {...}", "array": "a list [...]", "boolean": "true or false"}


def _describe(err) -> str:
    d = err.schema.get("description") if isinstance(err.schema, dict) else None
    return f" ({d})" if d else ""


def _schema_messages(model, lift_limits=False) -> list:
    validator = jsonschema.Draft202012Validator(schema(lift_limits))
    errors = sorted(validator.iter_errors(model), key=lambda e: [str(p) for p in e.absolute_path])
    messages, suggested = [], set()
    for err in errors:
        if err.validator == "additionalProperties" and isinstance(err.instance, dict):
            allowed = list(err.schema.get("properties", {}))
            for key in sorted(set(err.instance) - set(allowed)):
                near = [a for a in allowed if a.lower() == key.lower()] or \
                    difflib.get_close_matches(key, allowed, n=1, cutoff=0.6)
                where = _loc(err.absolute_path)
                if near:
                    suggested.add((where, near[0]))
                    messages.append((where, f"{where}: unknown key {key!r} (did you mean "
                                            f"{near[0]!r}?)"))
                else:
                    messages.append((where, f"{where}: unknown key {key!r} (known keys: "
                                            f"{', '.join(allowed)})"))
    for err in errors:
        where = _loc(err.absolute_path)
        v, inst = err.validator, err.instance
        if v == "additionalProperties":
            continue
        if v == "required":
            m = re.match(r"'(.+)' is a required property", err.message)
            key = m.group(1) if m else str(err.validator_value)
            if (where, key) in suggested:
                continue  # the misspelt key already says it
            messages.append((where, f"{where}: missing key {key!r}"))
        elif v == "type":
            messages.append((where, f"{where} = {_val(inst)}: must be "
                                    f"{_TYPE_WORDS.get(err.validator_value, err.validator_value)}"))
        elif v == "minimum":
            messages.append((where, f"{where} = {_val(inst)}: must be at least "
                                    f"{err.validator_value}{_describe(err)}"))
        elif v == "exclusiveMinimum":
            bound = err.validator_value
            rule = "must be positive" if bound == 0 else f"must be above {bound}"
            messages.append((where, f"{where} = {_val(inst)}: {rule}{_describe(err)}"))
        elif v == "maximum":
            messages.append((where, f"{where} = {_val(inst)}: must be at most "
                                    f"{err.validator_value}{_describe(err)}"))
        elif v == "enum":
            options = ", ".join(_val(o) for o in err.validator_value)
            messages.append((where, f"{where} = {_val(inst)}: must be one of {options}"
                                    f"{_describe(err)}"))
        elif v == "maxItems":
            messages.append((where, f"{where}: {len(inst)} items, at most "
                                    f"{err.validator_value}{_describe(err)}"))
        elif v == "minItems":
            messages.append((where, f"{where}: needs at least {err.validator_value} item"
                                    f"{'s' if err.validator_value != 1 else ''}"))
        else:
            messages.append((where, f"{where}: {err.message}"))
    seen, out = set(), []
    for _, text in messages:
        if text not in seen:
            seen.add(text)
            out.append(text)
    return out


# ------------------------------------------------------------------------------------ units

def _unit_messages(model) -> list:
    length, time = model_units(model)
    scale = LENGTH_UNITS[length] / TIME_UNITS[time]  # model velocity -> m/s
    vunit = f"{length}/{time}"
    lo, hi = PLAUSIBLE_VELOCITY
    fast, slow = [], []
    for n, mat in enumerate(model["materials"]):
        for key in ("vp", "vs", "vp0", "vs0"):
            if key in mat:
                v_si = mat[key] * scale
                if v_si > hi:
                    fast.append((n, key))
                elif v_si < lo:
                    slow.append((n, key))
    out = []
    for found, word, factor in ((fast, "fast", 1e-3), (slow, "slow", 1e3)):
        if not found:
            continue
        n, key = found[0]
        value = model["materials"][n][key]
        more = f" (and {len(found) - 1} more)" if len(found) > 1 else ""
        v_si = value * scale
        text = (f"materials[{n}].{key} = {value:g}{more}: {value:g} {vunit} is {v_si:g} m/s, "
                f"too {word} for rock; with lengths in {length} and times in {time} velocities "
                f"are in {vunit}{' (= km/s)' if vunit == 'm/ms' else ''}")
        meant = _meant_velocity(model["materials"][n], key, set(found), n, factor, scale)
        out.append(f"{text}: did you mean {meant:g}?" if meant is not None else text)
    return out


def _meant_velocity(mat, key, flagged, n, factor, scale):
    """The value a velocity given in the wrong unit was meant to have: the one `factor` makes
    of it, when that is a rock's velocity and, scaled alike where it was flagged alike, keeps
    the S velocity of the material below its P velocity; else None (no unit explains it)."""
    meant = mat[key] * factor
    lo, hi = PLAUSIBLE_VELOCITY
    if not lo <= meant * scale <= hi:
        return None
    pair = {"vp": "vs", "vs": "vp", "vp0": "vs0", "vs0": "vp0"}[key]
    other = mat[pair] * (factor if (n, pair) in flagged else 1.0)
    p, s = (meant, other) if key.startswith("vp") else (other, meant)
    return meant if s < p else None


# -------------------------------------------------------------------------------- materials

def _material_messages(model) -> list:
    out = []
    mats = model["materials"]
    for n, mat in enumerate(mats):
        at = f"materials[{n}]"
        number = n + 1
        if mat["kind"] == "vti":
            if number != ANISOTROPIC_SLOT:
                out.append(f"{at}.kind = 'vti': only material {ANISOTROPIC_SLOT} can be "
                           f"anisotropic (the program rotates material {ANISOTROPIC_SLOT} "
                           f"alone); this is material {number}: list it third")
                continue
            if mat["vs0"] >= mat["vp0"]:
                out.append(f"{at}.vs0 = {mat['vs0']:g}: not below vp0 = {mat['vp0']:g}; the "
                           "shear velocity must be below the P velocity")
                continue
            c33 = mat["rho"] * mat["vp0"] ** 2
            c55 = mat["rho"] * mat["vs0"] ** 2
            radicand = 2.0 * mat["delta"] * c33 * (c33 - c55) + (c33 - c55) ** 2
            if radicand < 0:
                out.append(f"{at}.delta = {mat['delta']:g}: gives no real C13 "
                           f"(2 delta C33 (C33 - C55) + (C33 - C55)^2 = {radicand:.4g} < 0)")
                continue
            c = vti_stiffness(mat)
            det = c["p11"] * c["p33"] - c["p13"] ** 2
            if not (c["p11"] > 0 and c["p55"] > 0 and c["p66"] > 0 and det > 0):
                out.append(f"{at}: epsilon = {mat['epsilon']:g}, delta = {mat['delta']:g} give "
                           f"a stiffness that is not positive definite (C11 C33 - C13^2 = "
                           f"{det:.4g})")
        elif mat["vs"] >= mat["vp"]:
            out.append(f"{at}.vs = {mat['vs']:g}: not below vp = {mat['vp']:g}; the shear "
                       "velocity must be below the P velocity (else the stiffness is not "
                       "positive definite)")
    if out:
        return out
    for n, mat in enumerate(mats):
        problem = _modulus_problem(mat)
        if problem:
            out.append(f"materials[{n}]: {problem}; the program refuses moduli and densities "
                       "that are not finite, normal numbers")
    for n, reg in enumerate(model["regions"]):
        if reg["material"] > len(mats):
            out.append(f"regions[{n}].material = {reg['material']}: the model has "
                       f"{len(mats)} material{'s' if len(mats) != 1 else ''}")
    return out


def _modulus_problem(mat):
    """What makes a material's density or elastic moduli unusable, or None."""
    def usable(x):
        return math.isfinite(x) and abs(x) >= sys.float_info.min
    if not usable(mat["rho"]):
        return f"rho = {mat['rho']:g} is not a normal number"
    try:
        if mat["kind"] == "vti":
            moduli = vti_stiffness(mat)
            names = {"p11": "C11", "p13": "C13", "p33": "C33", "p55": "C55", "p66": "C66"}
        else:
            moduli = {"M": mat["rho"] * mat["vp"] ** 2, "G": mat["rho"] * mat["vs"] ** 2}
            names = {"M": "rho vp^2", "G": "rho vs^2"}
    except (OverflowError, ValueError):
        return "its moduli overflow"
    for key, value in moduli.items():
        if not math.isfinite(value) or (key != "p13" and not usable(value)):
            return f"the modulus {names[key]} = {value:g} (rho = {mat['rho']:g})"
    return None


# -------------------------------------------------------------------------- deck size

#: Bytes of a region group in a deck: four (e20.8) lines and an (i5) line.
_REGION_BYTES = 4 * 21 + 6


def _size_message(count: int, size: int, nx: int, ny: int, least: bool = False) -> list:
    bound = limits.deck_size_bound(nx, ny)
    if size <= bound:
        return []
    return [f"regions: {count} regions make a deck of {'at least ' if least else ''}{size} "
            f"bytes, more than the {bound} the program reads for a {nx} x {ny} grid (five "
            "lines a region, one region per element at the most)"]


def _early_size_messages(model) -> list:
    """Far too many regions for the grid, told before the schema checks each of them."""
    try:
        regions, nx, ny = model["regions"], model["deck"]["nx"], model["deck"]["ny"]
    except (KeyError, TypeError):
        return []
    if not (isinstance(regions, list) and isinstance(nx, int) and isinstance(ny, int)
            and nx >= 1 and ny >= 1):
        return []
    return _size_message(len(regions), _REGION_BYTES * len(regions), nx, ny, least=True)


def _size_messages(model) -> list:
    """A deck larger than the program reads for its grid (it refuses it unread)."""
    d = model["deck"]
    q = quantised(model)
    lines = deck_lines(q["deck"], nmat_for(len(q["materials"])), q["regions"])
    return _size_message(len(model["regions"]), sum(len(line) + 1 for line in lines),
                         d["nx"], d["ny"])


# -------------------------------------------------------------------------- geometry, time

def quantised(model) -> dict:
    """A copy of the model with every deck real as the program will read it back."""
    m = json.loads(json.dumps(model))
    d = m["deck"]
    for k in REAL_KEYS:
        d[k] = quantise(d[k])
    d["fsnap"] = [quantise(f) for f in d.get("fsnap", [])]
    d["tsnap"] = [quantise(t) for t in d.get("tsnap", [])]
    for k in RECEIVER_KEYS:
        d["receivers"][k] = float(d["receivers"][k])
    for reg in m["regions"]:
        for k in REGION_KEYS:
            reg[k] = quantise(reg[k])
    return m


def derived(model) -> dict:
    """What the program derives from a (checked) model: h, dt, nt, band and velocities."""
    q = quantised(model)
    d = q["deck"]
    nx, ny = d["nx"], d["ny"]
    h = element_size(nx, ny, d["xsize"], d["ysize"])
    nmat = nmat_for(len(q["materials"]))
    files = table_files(q["materials"], d["npf"], d["f4"], d["freq"])
    delf = d["f4"] / d["npf"]
    nf = int(d["f4"] / delf)
    v = program_velocities(files, nmat, nf)
    dt = h / max(v["vp"])
    nt = int(d["stime"] / dt)
    out = {"model": q, "h": h, "width": nx * h, "height": ny * h, "nmat": nmat, "files": files,
           "vp": v["vp"], "vs": v["vs"], "dt": dt, "nt": nt, "fnyq": 1.0 / (2.0 * dt),
           "delf": delf, "nf": nf, "jw2": int(d["f4"] / delf + 1.0) - 1, "period": 1.0 / delf,
           "points_per_wavelength": int(min(v["vp"]) / (d["freq"] * h))}
    if d["key"] == 2:
        width = 0.5 / d["freq"]
        out["pulse"] = int(3 * 2.5 * width / dt + 1.000100016593933)
    return out


def _inside(value: float, h: float, n: int) -> bool:
    """Whether a coordinate falls in an element 1 .. n as the program locates it."""
    return 1 <= element_index(value, h) <= n


def _count(n: int) -> str:
    """A count for a message: in full while it fits in 32 bits, else its magnitude."""
    return str(n) if n <= limits.INT32 else f"{float(n):.4g}"


def _frequency_hint(value: float, limit: float, time: str) -> str:
    if time == "ms" and value >= 1.0 and value / 1000.0 <= limit:
        return f"; it looks like Hz: with times in ms frequencies are in kHz ({value:g} Hz = " \
               f"{value / 1000.0:g} kHz)"
    return ""


def _geometry_messages(model, der, lift_limits=False) -> list:
    out = []
    q = der["model"]
    d = q["deck"]
    nx, ny, h = d["nx"], d["ny"], der["h"]
    width, height = der["width"], der["height"]
    length, time = model_units(model)
    xr, yr = f"x from 0 to {width:g}", f"y from 0 to {height:g}"

    if not _inside(d["xsou"], h, nx):
        out.append(f"deck.xsou = {d['xsou']:g}: the source lies outside the model ({xr})")
    if not _inside(d["ysou"], h, ny):
        out.append(f"deck.ysou = {d['ysou']:g}: the source lies outside the model ({yr})")

    rec = d["receivers"]
    nrec = rec["nrec"]
    dx = (rec["xfin"] - rec["xinic"]) / (nrec - 1.0)
    dy = (rec["yfin"] - rec["yinic"]) / (nrec - 1.0)
    # The element index grows or falls steadily along the line: when a receiver lies outside,
    # so does the first one (the line starts outside) or the last one (it ends outside).
    for axis, step, count, span in (("x", dx, nx, xr), ("y", dy, ny, yr)):
        start = rec[f"{axis}inic"]
        outside = [i for i in range(1, nrec + 1) if not _inside((i - 1) * step + start, h, count)]
        if outside:
            i = outside[0]
            end = f"{axis}inic" if i == 1 else f"{axis}fin"
            out.append(f"deck.receivers.{end} = {rec[end]:g}: receiver {i} at {axis} = "
                       f"{(i - 1) * step + start:g} lies outside the model ({span})")
            break

    bad_region = False
    for n, reg in enumerate(q["regions"]):
        for lo_key, hi_key, count, span in (("xi", "xf", nx, xr), ("yi", "yf", ny, yr)):
            lo, hi = region_range(reg[lo_key], reg[hi_key], h)
            if not 1 <= lo <= count:
                out.append(f"regions[{n}].{lo_key} = {reg[lo_key]:g}: outside the model ({span})")
                bad_region = True
            elif not 1 <= hi <= count:
                out.append(f"regions[{n}].{hi_key} = {reg[hi_key]:g}: outside the model ({span})")
                bad_region = True
            elif lo > hi:
                out.append(f"regions[{n}]: {lo_key} = {reg[lo_key]:g}, {hi_key} = "
                           f"{reg[hi_key]:g} hold no element centre (elements of {h:g}): the "
                           "region selects nothing")
                bad_region = True
    if not bad_region:
        count, first = uncovered(nx, ny, h, q["regions"])
        if count:
            i, j = first
            out.append(f"regions: {count} element{'s' if count > 1 else ''} "
                       f"covered by no region, e.g. the one at x = {(i + 0.5) * h:g}, "
                       f"y = {(j + 0.5) * h:g}: every element needs a material")

    if out:
        return out  # the time axis and band are checked once the geometry holds

    dt, nt = der["dt"], der["nt"]
    sample_limit = limits.INT32 if lift_limits else limits.SAMPLES
    if nt > sample_limit:
        out.append(f"deck.stime = {d['stime']:g}: gives nt = {_count(nt)} time samples (stime / "
                   f"dt with dt = h / largest vp = {dt:.6g}), above the program's limit "
                   f"{sample_limit}")
    elif nt < 2:
        out.append(f"deck.stime = {d['stime']:g}: gives nt = {nt} time sample"
                   f"{'s' if nt != 1 else ''} (dt = {dt:.6g}); at least 2 are needed")
    if der.get("pulse", 0) > sample_limit:
        out.append(f"deck.freq = {d['freq']:g}: the type-2 pulse lasts {_count(der['pulse'])} "
                   f"samples, above the program's limit {sample_limit}")
    if d["f4"] > der["fnyq"]:
        out.append(f"deck.f4 = {d['f4']:g}: above the Nyquist frequency {der['fnyq']:.6g} of the "
                   f"time step dt = {dt:.6g} (1 / (2 dt)){_frequency_hint(d['f4'], der['fnyq'], time)}")
    elif d["freq"] > d["f4"]:
        out.append(f"deck.freq = {d['freq']:g}: above f4 = {d['f4']:g}, so the band ends below "
                   f"the wavelet's dominant frequency{_frequency_hint(d['freq'], d['f4'], time)}")
    corners = [d["f1"], d["f2"], d["f3"], d["f4"]]
    for k in range(3):
        if corners[k] > corners[k + 1]:
            out.append(f"deck.f{k + 1} = {corners[k]:g}: above f{k + 2} = {corners[k + 1]:g} "
                       "(the band needs f1 <= f2 <= f3 <= f4)")
            break
    if der["jw2"] != der["nf"]:
        out.append(f"deck.npf = {d['npf']}: with f4 = {d['f4']:g} the band has {der['jw2']} "
                   f"frequency indices but the tables {der['nf']} records (f4 / delf rounds "
                   "across an integer); change npf or f4 slightly")
    elif der["jw2"] > limits.FREQUENCIES and not lift_limits:
        out.append(f"deck.npf = {d['npf']}: {der['jw2']} frequency indices, above the "
                   f"program's limit {limits.FREQUENCIES}")
    if out:
        return out  # snapshot times are judged against a time axis and band that hold

    period = der["period"]
    for n, t in enumerate(d["tsnap"]):
        step = int(t / dt)
        if t > d["stime"]:
            out.append(f"deck.tsnap[{n}] = {t:g}: past stime = {d['stime']:g}")
        elif t >= period:
            out.append(f"deck.tsnap[{n}] = {t:g}: past the period 1/delf = {period:.6g} of the "
                       f"frequency sampling; the snapshot would show the field of "
                       f"{t - period:.6g} with the sign flipped")
        elif step < 1:
            out.append(f"deck.tsnap[{n}] = {t:g}: before the first time step dt = {dt:.6g}")
    return out


def check_model(model, lift_limits: bool = False) -> list:
    """Messages for everything wrong with a model; empty when it can be built.

    With `lift_limits` the model may exceed the program's established grid, sample, frequency,
    snapshot and receiver limits: it is then meant for `stripwave --lift-limits`.
    """
    out = _early_size_messages(model) or _schema_messages(model, lift_limits)
    for stage in (_unit_messages, _material_messages, _size_messages):
        out = out or stage(model)
    if out:
        return out
    try:
        out = _table_messages(model)
        return out or _geometry_messages(model, derived(model), lift_limits)
    except (ArithmeticError, ValueError) as err:
        return [f"model: its values are beyond what the program can compute with ({err})"]


#: Table numbers the program may refuse: infinite, not a number, or of an exponent below the
#: normal range (checked by value).
_SUSPECT = re.compile(r"(?i)[-+]?(?:inf|nan)|[-+]?\d*\.?\d+E-3\d\d")


def _table_messages(model) -> list:
    """Table values beyond the numbers the program reads: moduli rho v^2 scaled by the
    attenuation law from the reference frequency deck.freq to each table frequency."""
    q = quantised(model)
    d = q["deck"]
    files = table_files(q["materials"], d["npf"], d["f4"], d["freq"])
    for name, text in files.items():
        for m in _SUSPECT.finditer(text):
            value = float(m.group(0))
            if math.isfinite(value) and abs(value) >= sys.float_info.min:
                continue
            line = text[:m.start()].count("\n") + 1
            return [f"materials: line {line} of {name} would hold {m.group(0)}: the moduli, "
                    f"rho v^2 scaled by the attenuation law from deck.freq = {d['freq']:g} to "
                    "the table frequencies, must be finite, normal numbers for the program"]
    return []


def warnings(model, der=None) -> list:
    """Advice on a model that can be built (not errors)."""
    der = der or derived(model)
    h = der["h"]
    freq = der["model"]["deck"]["freq"]
    per_s = min(der["vs"]) / (freq * h)
    out = []
    d = der["model"]["deck"]
    wrap = wraparound_warning(d["stime"], d["f4"], d["npf"], der["width"], der["height"],
                              min(der["vs"]), "the slowest S wave")
    if wrap:
        out.append(wrap)
    if per_s < 5:
        out.append(f"{per_s:.1f} elements per S wavelength at the dominant frequency "
                   f"({min(der['vs']):.4g} / ({freq:g} x {h:g})): expect numerical dispersion; "
                   "8 or more keep it small")
    return out


def beyond_established_limits(model, der=None) -> list:
    """The program's established limits a (valid) model exceeds; such a model runs only with
    `stripwave --lift-limits`."""
    der = der or derived(model)
    d = der["model"]["deck"]
    out = []
    for name, value, limit in (("nx", d["nx"], limits.GRID), ("ny", d["ny"], limits.GRID),
                               ("time samples nt", der["nt"], limits.SAMPLES),
                               ("frequency indices", der["jw2"], limits.FREQUENCIES),
                               ("snapshots", len(d.get("tsnap", [])), limits.TIME_SNAPSHOTS),
                               ("receivers", d["receivers"]["nrec"], limits.RECEIVERS)):
        if value > limit:
            out.append(f"{name} = {value} (limit {limit})")
    if der.get("pulse", 0) > limits.SAMPLES:
        out.append(f"type-2 pulse of {der['pulse']} samples (limit {limits.SAMPLES})")
    return out


def model_files(model) -> dict:
    """File name -> text of the deck and tables of a checked model."""
    der = derived(model)
    q = der["model"]
    deck = "\n".join(deck_lines(q["deck"], der["nmat"], q["regions"])) + "\n"
    return {"inp_A": deck, **der["files"]}


def build_model(model, outdir, source=None, lift_limits: bool = False) -> list:
    """Checks a model and writes its deck and tables into `outdir`; returns the paths written.

    Raises ModelError (nothing written) when a check fails.
    """
    messages = check_model(model, lift_limits)
    if messages:
        raise ModelError(messages, source)
    files = model_files(model)
    outdir = Path(outdir)
    outdir.mkdir(parents=True, exist_ok=True)
    written = []
    for name, text in files.items():
        path = outdir / name
        path.write_text(text, encoding="ascii")
        written.append(path)
    return written


#: Gridded models (one set of properties per element, for `stripwave --model FILE`), from
#: `stripwave.gridded` and `stripwave.layers`, importable from here.
_GRIDDED = {"GriddedModel": "gridded", "from_segy": "gridded", "read_model_file": "gridded",
            "read_segy_section": "gridded", "resample": "gridded", "gardner_density": "gridded",
            "property_messages": "gridded", "Layer": "layers", "Fault": "layers",
            "Body": "layers", "layered_model": "layers", "interface": "layers"}


def __getattr__(name):
    if name in _GRIDDED:
        from importlib import import_module
        return getattr(import_module(f".{_GRIDDED[name]}", __package__), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
