"""Material tables: complex, frequency-dependent moduli from velocities, density and Q.

The program reads materials 1 .. nmat-1 as isotropic (P-wave and shear modulus tables) and
materials 3 .. nmat as anisotropic (five stiffness tables of a medium with a vertical symmetry
axis); material 3 alone takes the anisotropic tables, rotated so that the axis is horizontal.
`table_files` lays out a list of physical materials so that every one of them is usable:

* one material: nmat = 2 (material 2 is never used by a region);
* two or three materials: nmat = 3; material 3 is the anisotropic slot;
* four or more: nmat = N + 1, so that material N still has isotropic tables; the extra
  material N + 1 copies material 1 and no region uses it.

An isotropic material in the anisotropic slot gets the equivalent isotropic stiffness (C11 = C33
= M, C13 = M - 2G, C55 = C66 = G), so any material may be isotropic.

Attenuation follows the constant-Q model: M(w) = M0 (w / w0)^(2 g) exp(i pi g) with
g = atan(1 / Q) / pi, scaled so that the phase velocity at the reference frequency w0 (the
wavelet's dominant frequency) equals the velocity given.  Time dependence is exp(+i w t), so an
attenuating modulus has a positive imaginary part.  Without Q the material is elastic.
"""

from __future__ import annotations

import cmath
import math

from .numbers import parse_real

ANISOTROPIC_SLOT = 3
TABLE_NAMES = ("p11", "p13", "p33", "p55", "p66")


def constant_q(modulus_at_ref: float, q: float | None, f: float, f_ref: float) -> complex:
    """Complex modulus at frequency f whose phase velocity at f_ref matches the elastic one."""
    if q is None or q <= 0:
        return complex(modulus_at_ref, 0.0)
    g = math.atan(1.0 / q) / math.pi
    m0 = modulus_at_ref * math.cos(math.pi * g / 2.0) ** 2
    return m0 * (f / f_ref) ** (2.0 * g) * cmath.exp(1j * math.pi * g)


def vti_stiffness(mat: dict) -> dict:
    """C11, C13, C33, C55, C66 of a vertical-axis medium from Thomsen's parameters."""
    rho, vp0, vs0 = mat["rho"], mat["vp0"], mat["vs0"]
    eps, delta, gamma = mat["epsilon"], mat["delta"], mat["gamma"]
    c33 = rho * vp0 * vp0
    c55 = rho * vs0 * vs0
    c11 = c33 * (1.0 + 2.0 * eps)
    c66 = c55 * (1.0 + 2.0 * gamma)
    c13 = math.sqrt(2.0 * delta * c33 * (c33 - c55) + (c33 - c55) ** 2) - c55
    return {"p11": c11, "p13": c13, "p33": c33, "p55": c55, "p66": c66}


def nmat_for(count: int) -> int:
    """The number of materials the deck declares for `count` physical materials."""
    if count <= 1:
        return 2
    if count <= ANISOTROPIC_SLOT:
        return ANISOTROPIC_SLOT
    return count + 1


def frequency_axis(npf: int, f4: float) -> list:
    """Frequencies of the table records, highest first, as the program reads them."""
    delf = f4 / npf
    nf = int(f4 / delf)
    return [(j - 0.5) * delf for j in range(nf, 0, -1)]


def _isotropic_moduli(mat: dict):
    """(rho, M, G, qp, qs) of a material as the isotropic tables hold it."""
    if mat["kind"] == "isotropic":
        return (mat["rho"], mat["rho"] * mat["vp"] ** 2, mat["rho"] * mat["vs"] ** 2,
                mat.get("qp"), mat.get("qs"))
    c = vti_stiffness(mat)
    return mat["rho"], c["p33"], c["p55"], mat.get("q"), mat.get("q")


def _anisotropic_tables(mat: dict, freqs: list, f_ref: float) -> dict:
    """The five stiffness series of a material in the anisotropic slot."""
    if mat["kind"] == "vti":
        c = vti_stiffness(mat)
        return {n: [constant_q(c[n], mat.get("q"), f, f_ref) for f in freqs] for n in TABLE_NAMES}
    _, m, g, qp, qs = _isotropic_moduli(mat)
    mm = [constant_q(m, qp, f, f_ref) for f in freqs]
    gg = [constant_q(g, qs, f, f_ref) for f in freqs]
    return {"p11": mm, "p33": mm, "p13": [a - 2.0 * b for a, b in zip(mm, gg)],
            "p55": gg, "p66": gg}


def table_files(materials: list, npf: int, f4: float, f_ref: float) -> dict:
    """File name -> text of every material table the deck needs."""
    nmat = nmat_for(len(materials))
    freqs = frequency_axis(npf, f4)

    def material(i):
        return materials[i - 1] if i <= len(materials) else materials[0]

    pm, sm, bd = [], [], []
    for i in range(1, nmat):
        rho, m, g, qp, qs = _isotropic_moduli(material(i))
        pm.append(f"{i:5d}\n")
        sm.append(f"{i:5d}\n")
        bd.append(f"{i:5d}\n{rho:20.12E}\n")
        for f in freqs:
            z = constant_q(m, qp, f, f_ref)
            pm.append(f"{f:20.12E}{z.real:20.12E}{z.imag:20.12E}\n")
            z = constant_q(g, qs, f, f_ref)
            sm.append(f"{f:20.12E}{z.real:20.12E}{z.imag:20.12E}\n")
    files = {"p_modulus.freq": "".join(pm), "s_modulus.freq": "".join(sm),
             "bulk_density.mat": "".join(bd)}
    if nmat < ANISOTROPIC_SLOT:
        return files
    parts = {n: [] for n in TABLE_NAMES}
    for i in range(ANISOTROPIC_SLOT, nmat + 1):
        mat = material(i)
        series = _anisotropic_tables(mat, freqs, f_ref)
        for n in TABLE_NAMES:
            parts[n].append(f"{i:5d}\n{mat['rho']:20.12E}\n")
            parts[n].extend(f"{f:.12E}  {z.real:.12E}  {z.imag:.12E}\n"
                            for f, z in zip(freqs, series[n]))
    for n in TABLE_NAMES:
        files[f"{n}_interp.freq"] = "".join(parts[n])
    return files


def _phase_velocity(records: list, rho: float) -> float:
    """The program's velocity of a table: 1 / Re(1 / sqrt(mean modulus / density))."""
    nf = len(records)
    s = complex(0.0, 0.0)
    for z in records:
        s += z
    a = complex(s.real / nf, s.imag / nf)
    a = complex(a.real / rho, a.imag / rho)
    q = cmath.sqrt(a)
    return 1.0 / (1.0 / q).real


def _records(text: str, count: int, free: bool):
    """Per material: (density or None, list of complex records) from a table text."""
    lines = text.splitlines()
    out, n = [], 0
    while n < len(lines):
        n += 1  # header
        rho = None
        if free:
            rho = parse_real(lines[n][:20])
            n += 1
        recs = []
        for line in lines[n:n + count]:
            if free:
                _, re_, im = line.split()
                recs.append(complex(parse_real(re_), parse_real(im)))
            else:
                recs.append(complex(parse_real(line[20:40]), parse_real(line[40:60])))
        n += count
        out.append((rho, recs))
    return out


def program_velocities(files: dict, nmat: int, nf: int) -> dict:
    """The P and S velocity extremes the program derives from the tables it reads.

    Returns {"vp": [...], "vs": [...]} with one entry per velocity the program takes in; its
    time step is h / max(vp).
    """
    rhos = [parse_real(line) for line in files["bulk_density.mat"].splitlines()[1::2]]
    vp, vs = [], []
    p = _records(files["p_modulus.freq"], nf, free=False)
    s = _records(files["s_modulus.freq"], nf, free=False)
    for i in range(nmat - 1):
        vp.append(_phase_velocity(p[i][1], rhos[i]))
        vs.append(_phase_velocity(s[i][1], rhos[i]))
    if nmat >= ANISOTROPIC_SLOT:
        tables = {n: _records(files[f"{n}_interp.freq"], nf, free=True) for n in TABLE_NAMES}
        for k in range(nmat - ANISOTROPIC_SLOT + 1):
            rho = tables["p66"][k][0]  # the last density read stays
            vp.append(_phase_velocity(tables["p11"][k][1], rho))
            vp.append(_phase_velocity(tables["p33"][k][1], rho))
            vs.append(_phase_velocity(tables["p55"][k][1], rho))
    return {"vp": vp, "vs": vs}
