"""The exact 2-D elastic response of a homogeneous medium to the program's explosive source.

The source pattern kdel = 1 adds, at the source element e, the load -(1e6 s(w) / h^2) times the
integral over e of div v for a test field v: a body force f = 1e6 s(w) grad(chi_e) / h^2, which
for an element small against the wavelength is the point source f = P grad(delta), P = 1e6 s(w).
With the system  -div sigma(u) - w^2 rho u = f  and time dependence exp(+i w t) the displacement
is the gradient of phi = (P / M) G, where M = rho vp^2 and G = -(i/4) H0^(2)(k r) solves
lap G + k^2 G = -delta with outgoing waves; so the radial displacement is

    u_r = i k P H1^(2)(k r) / (4 M),   k = w / vp,

and the particle velocity i w u_r.  The program records the mean of an element's edge values,
the value at the element centre, so receivers sit at their elements' centres and the source at
its element's centre.  An explosion in a homogeneous medium sends out P waves only.

Attenuation.  With a quality factor Qp the P modulus is the constant-Q one of the tables,
M(w) = `materials.constant_q`(rho vp^2, Qp, f, f_ref), f = w / (2 pi), f_ref the wavelet's
dominant frequency; the same formula holds with the complex velocity vp(w) = sqrt(M(w) / rho)
and k = w / vp(w).  M has a positive imaginary part (exp(+i w t)), so Im k < 0 and H1^(2)(k r)
~ exp(-i k r) decays.  With M(w) = |M| exp(i pi g), tan(pi g) = 1 / Qp, the phase velocity is
c(w) = Re(1 / vp(w))^-1 = vp (f / f_ref)^g (vp at f_ref) and the amplitude falls off as
exp(-alpha r) beyond the geometric spreading, alpha = -Im k = (w / c) tan(pi g / 2)
= w / (c (Qp + sqrt(1 + Qp^2))) ~ w / (2 Qp c).

Point forces.  A force F e_j at a point (F = 1e6 s(w), e_j = +x or +y; the load at the source
element's centre) gives  -div sigma - w^2 rho u = F e_j delta.  In the plane wavenumber domain
u^ = F [ I / (mu (|k|^2 - ks^2)) + k k^T / (rho w^2) (1 / (|k|^2 - kp^2) - 1 / (|k|^2 - ks^2)) ],
so with g_a = -(i/4) H0^(2)(k_a r), (lap + k_a^2) g_a = -delta,

    u_i = F G_ij,   G_ij = delta_ij g_s / mu + d_i d_j (g_s - g_p) / (rho w^2),

and with d_i d_j g = (i/4) [k^2 H0(k r) g_i g_j + (k H1(k r) / r) (delta_ij - 2 g_i g_j)],
g_i the unit vector from the force to the receiver,

    G_ij = i / (4 rho w^2) [ -kp^2 H0(kp r) g_i g_j - (delta_ij - 2 g_i g_j) kp H1(kp r) / r ]  (P)
         + i / (4 rho w^2) [ -ks^2 H0(ks r) (delta_ij - g_i g_j)
                             + (delta_ij - 2 g_i g_j) ks H1(ks r) / r ]                         (S)

(Hankel functions of the second kind, kp = w / vp, ks = w / vs, complex with Q as above).  The
P part is curl-free and in the far field points along g (longitudinal), the S part is
divergence-free and transverse; G is symmetric (G_xy = G_yx).  As w -> 0, G tends, up to a
constant, to the static plane-strain solution F / (8 pi mu (1 - nu)) [-(3 - 4 nu) ln r delta_ij
+ g_i g_j].  The particle velocity is i w u.
"""

from __future__ import annotations

import numpy as np
from scipy.special import hankel2

from .materials import constant_q
from .source import frequencies, source_spectrum, synthesise

SOURCE_SCALE = 1.0e6


def complex_velocity(v: float, q, omega, f_ref=None) -> np.ndarray:
    """sqrt(M(w) / rho) at every angular frequency, M the constant-Q modulus of velocity `v`
    (the phase velocity at `f_ref`) and quality factor `q`; `v` itself (real) where q is None."""
    omega = np.asarray(omega, float)
    if q is None:
        return np.full(omega.shape, float(v))
    if not q > 0:
        raise ValueError(f"Q = {q}: must be positive (None for an elastic medium)")
    if f_ref is None or not f_ref > 0:
        raise ValueError("an attenuating medium needs the reference frequency f_ref > 0")
    m = [constant_q(v * v, q, w / (2.0 * np.pi), f_ref) for w in omega.ravel()]
    return np.sqrt(np.asarray(m, complex)).reshape(omega.shape)


def _distances(x, y, xs, ys):
    """Receiver columns x, y and their distances r from (xs, ys); no receiver at the source."""
    x = np.asarray(x, float).reshape(-1)[:, None]
    y = np.asarray(y, float).reshape(-1)[:, None]
    r = np.hypot(x - xs, y - ys)
    if np.any(r == 0):
        raise ValueError("a receiver sits on the source element")
    return x, y, r


def explosion_spectra(x, y, xs, ys, vp, rho, omega, sour, qp=None, f_ref=None):
    """Velocity spectra (Vx, Vy), arrays [receiver, frequency], of an explosion at (xs, ys);
    attenuating with quality factor `qp` at reference frequency `f_ref` (None: elastic)."""
    x, y, r = _distances(x, y, xs, ys)
    omega = np.asarray(omega, float)
    c = complex_velocity(vp, qp, omega, f_ref)[None, :]
    k = omega[None, :] / c
    p = SOURCE_SCALE * np.asarray(sour)[None, :]
    u_r = 1j * k * p * hankel2(1, k * r) / (4.0 * rho * c * c)
    v_r = 1j * omega[None, :] * u_r
    return v_r * (x - xs) / r, v_r * (y - ys) / r


def greens_tensor(x, y, xs, ys, vp, vs, rho, omega, part="both", qp=None, qs=None,
                  f_ref=None):
    """Displacement per unit force (Gxx, Gxy, Gyy), arrays [receiver, frequency], of a point
    force at (xs, ys): its P part, S part or both (`part` "p", "s" or "both")."""
    if part not in ("p", "s", "both"):
        raise ValueError(f"part = {part!r}: must be 'p', 's' or 'both'")
    x, y, r = _distances(x, y, xs, ys)
    omega = np.asarray(omega, float)
    if np.any(omega <= 0):
        raise ValueError("the Green's tensor needs positive frequencies")
    gx, gy = (x - xs) / r, (y - ys) / r
    pairs = ((gx * gx, 1.0), (gx * gy, 0.0), (gy * gy, 1.0))
    scale = 1j / (4.0 * rho * omega[None, :] ** 2)
    out = [np.zeros(np.broadcast(r, omega[None, :]).shape, complex) for _ in pairs]
    if part in ("p", "both"):
        k = omega[None, :] / complex_velocity(vp, qp, omega, f_ref)[None, :]
        h0, h1 = hankel2(0, k * r), k * hankel2(1, k * r) / r
        for o, (gg, d) in zip(out, pairs):
            o += scale * (-k * k * h0 * gg - (d - 2.0 * gg) * h1)
    if part in ("s", "both"):
        k = omega[None, :] / complex_velocity(vs, qs, omega, f_ref)[None, :]
        h0, h1 = hankel2(0, k * r), k * hankel2(1, k * r) / r
        for o, (gg, d) in zip(out, pairs):
            o += scale * (-k * k * h0 * (d - gg) + (d - 2.0 * gg) * h1)
    return tuple(out)


def force_spectra(x, y, xs, ys, vp, vs, rho, omega, sour, direction, part="both", qp=None,
                  qs=None, f_ref=None):
    """Velocity spectra (Vx, Vy), [receiver, frequency], of a force 1e6 s(w) along +x or +y
    (`direction` "x" or "y") at (xs, ys)."""
    if direction not in ("x", "y"):
        raise ValueError(f"direction = {direction!r}: must be 'x' or 'y'")
    gxx, gxy, gyy = greens_tensor(x, y, xs, ys, vp, vs, rho, omega, part, qp, qs, f_ref)
    f = 1j * np.asarray(omega, float)[None, :] * SOURCE_SCALE * np.asarray(sour)[None, :]
    return (f * gxx, f * gxy) if direction == "x" else (f * gxy, f * gyy)


def exact_traces(run, vp: float, rho: float, qp=None):
    """The exact (vx, vy) traces, [receiver, sample], of a homogeneous run with kdel 1, summed
    over the run's own frequencies so that they compare sample by sample; with `qp` the medium
    attenuates, its reference frequency the wavelet's dominant one as in the tables."""
    p = run.params
    if p.kdel != 1:
        raise ValueError(f"kdel = {p.kdel}: the exact solution is that of the explosion, kdel 1")
    h = p.h
    irx = np.asarray(run.log.irx, float)
    iry = np.asarray(run.log.iry, float)
    xr, yr = (irx - 0.5) * h, (iry - 0.5) * h
    xs, ys = (p.jsou - 0.5) * h, (p.ksou - 0.5) * h
    sour = source_spectrum(p.key, p.freq, p.dt, int(p.stime / p.dt), p.band, p.npf)
    omega = frequencies(p.delf, sour.size)
    vx, vy = explosion_spectra(xr, yr, xs, ys, vp, rho, omega, sour, qp, p.freq)
    t = run.traces.t
    return synthesise(vx, omega, t), synthesise(vy, omega, t)


def first_reflection_time(run, vp: float) -> np.ndarray:
    """Per receiver, the earliest time a P wave reflected at an outer boundary can arrive."""
    p = run.params
    h = p.h
    xr = (np.asarray(run.log.irx, float) - 0.5) * h
    yr = (np.asarray(run.log.iry, float) - 0.5) * h
    xs, ys = (p.jsou - 0.5) * h, (p.ksou - 0.5) * h
    mirrors = [(-xs, ys), (2 * p.xsize - xs, ys), (xs, -ys), (xs, 2 * p.ysize - ys)]
    return np.min([np.hypot(xr - mx, yr - my) for mx, my in mirrors], axis=0) / vp
