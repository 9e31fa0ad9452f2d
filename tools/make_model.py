#!/usr/bin/env python3
"""Write a stripwave input deck and its material tables from a physical model.

The model is a JSON file (see examples/layered/model.json): grid, domain, source,
receivers, snapshot times, iteration controls, rectangular material regions, and the
materials themselves given by velocities, density and quality factor.  The script
writes, into the output directory, the deck `inp_A` and the tables
`p_modulus.freq`, `s_modulus.freq`, `bulk_density.mat` and, when the model has an
anisotropic material 3, `p11_interp.freq` .. `p66_interp.freq`.

Attenuation follows the constant-Q model: a modulus M(w) = M0 (w / w0)^(2 g)
exp(i pi g) with g = atan(1 / Q) / pi, scaled so that the phase velocity at the
reference frequency w0 equals the velocity given.  Time dependence is exp(+i w t),
so an attenuating modulus has a positive imaginary part.

Units must be consistent: with velocities in m/ms, densities in g/cm3 and
frequencies in kHz the moduli come out in GPa, times in ms and lengths in m.

usage: make_model.py MODEL.json OUTDIR
"""

import cmath
import json
import math
import os
import sys


def constant_q(modulus_at_ref, q, f, f_ref):
    """Complex modulus at frequency f whose phase velocity at f_ref matches the elastic one."""
    if q is None or q <= 0:
        return complex(modulus_at_ref, 0.0)
    g = math.atan(1.0 / q) / math.pi
    m0 = modulus_at_ref * math.cos(math.pi * g / 2.0) ** 2
    return m0 * (f / f_ref) ** (2.0 * g) * cmath.exp(1j * math.pi * g)


def frequency_axis(deck):
    """Frequencies (kHz) of the table records, highest first, as the program reads them."""
    npf, f4 = deck["npf"], deck["f4"]
    delf = f4 / npf
    nf = int(f4 / delf)
    return [(j - 0.5) * delf for j in range(nf, 0, -1)]


def vti_stiffness(mat):
    """C11, C13, C33, C55, C66 of a vertical-axis medium from Thomsen's parameters."""
    rho, vp0, vs0 = mat["rho"], mat["vp0"], mat["vs0"]
    eps, delta, gamma = mat["epsilon"], mat["delta"], mat["gamma"]
    c33 = rho * vp0 * vp0
    c55 = rho * vs0 * vs0
    c11 = c33 * (1.0 + 2.0 * eps)
    c66 = c55 * (1.0 + 2.0 * gamma)
    c13 = math.sqrt(2.0 * delta * c33 * (c33 - c55) + (c33 - c55) ** 2) - c55
    return {"p11": c11, "p13": c13, "p33": c33, "p55": c55, "p66": c66}


def real_field(x):
    """A real for an (e20.8) field: always with a decimal point."""
    text = f"{x:20.6f}"
    if len(text) > 20 or (x != 0 and abs(x) < 1e-3):
        text = f"{x:20.8E}"
    return text


def write_deck(model, path):
    d = model["deck"]
    lines = []
    i5 = lambda v: lines.append(f"{int(v):5d}")
    e20 = lambda v: lines.append(real_field(float(v)))
    i5(d["maxlow"]); e20(d["perclow"])
    i5(d["nx"]); i5(d["ny"]); e20(d["xsize"]); e20(d["ysize"])
    fsnap = d.get("fsnap", [])
    i5(len(fsnap))
    for f in fsnap or [0.0]:
        e20(f)
    tsnap = d.get("tsnap", [])
    i5(len(tsnap))
    for t in tsnap or [0.0]:
        e20(t)
    i5(d["npf"]); i5(d["key"]); e20(d["freq"]); e20(d["stime"])
    for k in ("f1", "f2", "f3", "f4"):
        e20(d[k])
    i5(d["maxiter"]); e20(d["reduc"])
    i5(len(model["materials"]))
    i5(d["kdel"]); e20(d["tmute"])
    e20(d["xsou"]); e20(d["ysou"])
    rec = d["receivers"]
    i5(rec["nrec"])
    for k in ("xinic", "yinic", "xfin", "yfin"):
        lines.append(f"{float(rec[k])}")
    for reg in model["regions"]:
        for k in ("xi", "xf", "yi", "yf"):
            e20(reg[k])
        i5(reg["material"])
    for v in (-1.0, 0.0, 0.0, 0.0):
        e20(v)
    i5(0)
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


def write_tables(model, outdir):
    mats = model["materials"]
    nmat = len(mats)
    freqs = frequency_axis(model["deck"])
    f_ref = model["deck"]["freq"]
    row = lambda f, z: f"{f:20.12E}{z.real:20.12E}{z.imag:20.12E}\n"

    with open(os.path.join(outdir, "p_modulus.freq"), "w") as pm, \
         open(os.path.join(outdir, "s_modulus.freq"), "w") as sm, \
         open(os.path.join(outdir, "bulk_density.mat"), "w") as bd:
        for i in range(1, nmat):  # materials 1 .. nmat-1 carry isotropic tables
            mat = mats[i - 1]
            if mat["kind"] == "isotropic":
                rho, m, g, qp, qs = (mat["rho"], mat["rho"] * mat["vp"] ** 2,
                                     mat["rho"] * mat["vs"] ** 2, mat.get("qp"), mat.get("qs"))
            else:  # an anisotropic material also listed among the isotropic ones
                c = vti_stiffness(mat)
                rho, m, g, qp, qs = mat["rho"], c["p33"], c["p55"], mat.get("q"), mat.get("q")
            for f_, name in ((pm, "p"), (sm, "s")):
                f_.write(f"{i:5d}\n")
            bd.write(f"{i:5d}\n{rho:20.12E}\n")
            for f in freqs:
                pm.write(row(f, constant_q(m, qp, f, f_ref)))
                sm.write(row(f, constant_q(g, qs, f, f_ref)))

    names = ("p11", "p13", "p33", "p55", "p66")
    aniso = [(i, mats[i - 1]) for i in range(3, nmat + 1)]
    if not aniso:
        return
    for name in names:
        with open(os.path.join(outdir, f"{name}_interp.freq"), "w") as out:
            for i, mat in aniso:
                if mat["kind"] != "vti":
                    sys.exit(f"material {i}: materials 3 .. nmat need anisotropic parameters")
                c = vti_stiffness(mat)
                out.write(f"{i:5d}\n{mat['rho']:20.12E}\n")
                for f in freqs:
                    z = constant_q(c[name], mat.get("q"), f, f_ref)
                    out.write(f"{f:.12E}  {z.real:.12E}  {z.imag:.12E}\n")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1]) as f:
        model = json.load(f)
    outdir = sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    write_deck(model, os.path.join(outdir, "inp_A"))
    write_tables(model, outdir)


if __name__ == "__main__":
    main()
