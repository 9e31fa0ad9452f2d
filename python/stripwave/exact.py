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

Half-space (Lamb's problem).  The medium fills y <= surface, traction-free at y = surface;
z = surface - y is the depth (z down, u_z = -u_y), the source at depth d.  `rayleigh_speed`
gives c_R, the root of (2 - c^2/vs^2)^2 = 4 sqrt(1 - c^2/vp^2) sqrt(1 - c^2/vs^2) below vs.

Frequency domain (`half_space_spectra`): u = (1 / 2 pi) integral of U(kx, z) exp(-i kx x) dkx.
Besides the direct waves (the full-plane solutions above), the surface sends back
A (kx, nu_p) exp(-i nu_p z) + B (-nu_s, kx) exp(-i nu_s z), nu = sqrt(k^2 - kx^2) with
Im nu <= 0, and A, B make the traction of all waves vanish at z = 0: a plane wave
a exp(-i (kx x + kz z)) has sigma_xz = -i mu (kz a_x + kx a_z) and sigma_zz = -i (lambda
(kx a_x + kz a_z) + 2 mu kz a_z).  The upgoing waves at z = 0 are, per unit source,
    explosion:  c0 (kx, -nu_p),  c0 = -exp(-i nu_p d) / (2 M nu_p);
    force +y:   P  -(i / (2 rho w^2)) exp(-i nu_p d) (kx, -nu_p),
                S   (i kx / (2 rho w^2 nu_s)) exp(-i nu_s d) (nu_s, kx);
and a force on the surface (d = 0) is the traction sigma_zz = F delta(x) alone.  The 2 x 2
system's determinant is (2 kx^2 - ks^2)^2 + 4 kx^2 nu_p nu_s, which vanishes at the Rayleigh
wavenumbers +-w / c_R; for the explosion A / c0 = (4 kx^2 nu_p nu_s - (2 kx^2 - ks^2)^2) / det.
The sum runs on kx = t + i a sin(pi t / T), |t| < T = 2 w / c_R, which passes above the branch
points and the pole at kx > 0 and below those at kx < 0 (where the outgoing solution puts them
for exp(+i w t)), then on the real axis to where exp(-|kx| (d + z)) is negligible.  With the
force and the receiver both on the surface the integrand falls off only as 1 / |kx|: its static
limit (i C_x / kx, -C_z / |kx|), C_x = vs^2 / (2 mu (vp^2 - vs^2)), C_z = vp^2 / (2 mu (vp^2 -
vs^2)), is taken out as i C_x kx / (kx^2 + ks^2) and -C_z / sqrt(kx^2 + ks^2) and added back
exactly, C_x sign(x) exp(-ks |x|) / 2 and -C_z K0(ks |x|) / pi.  Attenuation enters through
the complex velocities.

Time domain (`half_space_cagniard`, elastic): with the slowness p = kx / w, gamma = sqrt(1/c^2 -
p^2), Q = 1/vs^2 - 2 p^2, R(p) = Q^2 + 4 p^2 gamma_p gamma_s, and a path tau(p) = p x + gamma
h made real (the Cagniard-de Hoop path: p = (tau x + i h sqrt(tau^2 - r^2/c^2)) / r^2 past the
arrival r / c, on the real axis from p = 1 / vp to the vertex for a head wave), the impulse
responses are, for an impulsive force F delta(t) on the surface,
    u = -(F / (pi mu)) Im[W(p) dp/dtau],
    W_P = Q (p, gamma_p) / R        on tau = p x + gamma_p z,
    W_S = 2 p gamma_p (-gamma_s, p) / R  on tau = p x + gamma_s z,
(on the surface both on p = tau / x: W = (p (Q - 2 gamma_p gamma_s), gamma_p / vs^2) / R, with
u_x = (F / mu) (W_x R)(p_R) / R'(p_R) delta(t - x / c_R) and a principal value 1 / (t - x / c_R)
in u_z), and for an impulsive explosion P delta(t) at depth d,  u = (1 / pi) d/dt Im[W dp/dtau],
    direct  u_r = -(P / (2 pi M r)) d/dt [t / sqrt(t^2 - r^2 / vp^2)],
    W_PP = -(1 / 2 M) (p, gamma_p) (4 p^2 gamma_p gamma_s - Q^2) / (gamma_p R)  on tau = p x +
           gamma_p (d + z),
    W_PS = (2 / M) p Q (-gamma_s, p) / R  on tau = p x + gamma_p d + gamma_s z (the path found by
           Newton steps from its vertex).
Velocities of a source 1e6 w(t) are these convolved with 1e6 dw/dt, as sums along the paths
(tau - t0 = s^2 takes up the 1 / sqrt at each arrival; the pole is taken out and added back
with its logarithm).  The two computations share nothing but `rayleigh_speed` and agree to
about 1e-5.

Tilted transverse isotropy.  A medium of vp, vs along its symmetry axis, Thomsen's epsilon and
delta, and the axis tilted by `tilt` degrees from the vertical towards +x has C33 = rho vp^2,
C55 = rho vs^2, C11 = C33 (1 + 2 epsilon), (C13 + C55)^2 = (C33 - C55) (C33 (1 + 2 delta) -
C55) (the stiffnesses of `materials.vti_stiffness`).  For a plane wave whose normal makes the
angle theta with the axis (exact, not the weak-anisotropy form),
    2 rho v^2 = (C11 + C55) sin^2 + (C33 + C55) cos^2
                +- sqrt(((C11 - C55) sin^2 - (C33 - C55) cos^2)^2 + (C13 + C55)^2 sin^2(2 theta)),
+ for qP, - for qSV.  Energy travels at the group velocity V = sqrt(v^2 + (dv/dtheta)^2) in
the direction psi = theta + atan((dv/dtheta) / v) from the axis; directions are measured from
the vertical towards +x, so a ray at angle alpha has psi = alpha - tilt.  `group_velocity` inverts
psi(theta); where qSV has cusps and several rays share a direction it gives the fastest.  The
first qP arrival at distance r in direction alpha comes at r / V_qP(alpha - tilt).

Normal incidence.  A plane P wave meeting the plane between media 1 and 2 head on (either may
be a fluid: vs plays no part, no wave converts) with impedances Z = rho vp: continuity of the
displacement and of the normal stress M du/dz give, for the displacement and equally for the
particle velocity, in fixed axes,
    R_u = (Z1 - Z2) / (Z1 + Z2),   T_u = 2 Z1 / (Z1 + Z2),
and for the stress (pressure) and the potential, that is the amplitude along each wave's own
direction of travel (the image-source amplitude), R = (Z2 - Z1) / (Z1 + Z2) = -R_u, T = 2 Z2 /
(Z1 + Z2).  Energy: R_u^2 + (Z2 / Z1) T_u^2 = 1.  A free surface (Z2 = 0) gives R_u = 1;
complex (constant-Q) velocities give complex coefficients.

Perfectly matched layer.  With exp(+i w t) the layer stretches the normal coordinate by
s(x) = 1 - i d(x) / w; a wave exp(-i k x cos(theta)) crossing it and coming back from its
outer end (any total reflection there) returns with, in the continuous limit,
    R(theta) = exp(-(2 cos(theta) / c) * integral_0^L d(x) dx),
and for the profile d(x) = d0 (x / L)^n, integral = d0 L / (n + 1), so
    R = exp(-2 d0 L cos(theta) / ((n + 1) c)),   d0 = (n + 1) c ln(1 / R) / (2 L)
for a target R at normal incidence (c the largest velocity that reaches the layer).  A
discretised layer reflects more than this, the more so the fewer elements it has.
"""

from __future__ import annotations

import math

import numpy as np
from scipy.optimize import brentq
from scipy.special import eval_hermite, hankel2, kv

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
    v_r = (1j * omega * SOURCE_SCALE * np.asarray(sour))[None, :] \
        * _explosion_displacement(r, vp, rho, omega, qp, f_ref)
    return v_r * (x - xs) / r, v_r * (y - ys) / r


def _explosion_displacement(r, vp, rho, omega, qp, f_ref):
    """u_r = i k H1^(2)(k r) / (4 M), [distance, frequency], per unit source strength."""
    c = complex_velocity(vp, qp, omega, f_ref)[None, :]
    k = omega[None, :] / c
    return 1j * k * hankel2(1, k * r) / (4.0 * rho * c * c)


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


def exact_traces(run, vp: float, rho: float, qp=None, vs=None, qs=None):
    """The exact (vx, vy) traces, [receiver, sample], of a homogeneous run with an explosion
    (kdel 1) or a point force (kdel 4 along +y, 5 along +x; these need `vs`), summed over the
    run's own frequencies so that they compare sample by sample; with `qp` (and `qs`) the
    medium attenuates, its reference frequency the wavelet's dominant one as in the tables."""
    p = run.params
    if p.kdel not in (1, 4, 5):
        raise ValueError(f"kdel = {p.kdel}: the exact solutions are those of the explosion "
                         "(kdel 1) and the point forces (kdel 4 and 5)")
    if p.kdel != 1 and vs is None:
        raise ValueError(f"kdel = {p.kdel}: a point force sends S waves too; give vs")
    h = p.h
    irx = np.asarray(run.log.irx, float)
    iry = np.asarray(run.log.iry, float)
    xr, yr = (irx - 0.5) * h, (iry - 0.5) * h
    xs, ys = (p.jsou - 0.5) * h, (p.ksou - 0.5) * h
    sour = source_spectrum(p.key, p.freq, p.dt, int(p.stime / p.dt), p.band, p.npf)
    omega = frequencies(p.delf, sour.size)
    if p.kdel == 1:
        vx, vy = explosion_spectra(xr, yr, xs, ys, vp, rho, omega, sour, qp, p.freq)
    else:
        vx, vy = force_spectra(xr, yr, xs, ys, vp, vs, rho, omega, sour,
                               "y" if p.kdel == 4 else "x", qp=qp, qs=qs, f_ref=p.freq)
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


# ---------------------------------------------------------------------------------------------
# Half-space with a traction-free surface


def rayleigh_speed(vp: float, vs: float) -> float:
    """The Rayleigh wave speed c of a half-space: with xi = c^2 / vs^2 the root in (0, 1) of
    (2 - xi)^2 = 4 sqrt(1 - xi vs^2 / vp^2) sqrt(1 - xi)."""
    if not 0 < vs < vp:
        raise ValueError(f"vs = {vs}, vp = {vp}: need 0 < vs < vp")
    kappa = (vs / vp) ** 2

    def rayleigh(xi):   # the Rayleigh function over xi, which vanishes trivially at xi = 0
        return ((2.0 - xi) ** 2 - 4.0 * np.sqrt(1.0 - kappa * xi) * np.sqrt(1.0 - xi)) / xi

    return vs * math.sqrt(brentq(rayleigh, 1e-12, 1.0, xtol=1e-15, rtol=1e-15))


def _vertical(k, kx):
    """nu = sqrt(k^2 - kx^2) with Im nu <= 0 (waves leaving the surface decay or propagate)."""
    nu = np.sqrt(k * k - kx * kx)
    return np.where(nu.imag > 0, -nu, nu)


def _traction(mu, lam, kx, kz, ax, az):
    """(sigma_xz, sigma_zz) of the plane wave (ax, az) exp(-i (kx x + kz z))."""
    return (-1j * mu * (kz * ax + kx * az),
            -1j * (lam * (kx * ax + kz * az) + 2.0 * mu * kz * az))


def _reflected(kx, w, cp, cs, rho, source, d):
    """Amplitudes (A, B) at z = 0 of the P wave A (kx, nu_p) exp(-i nu_p z) and the S wave
    B (-nu_s, kx) exp(-i nu_s z) leaving the surface, per unit source, with their nu."""
    kp, ks = w / cp, w / cs
    mu, m = rho * cs * cs, rho * cp * cp
    lam = m - 2.0 * mu
    nup, nus = _vertical(kp, kx), _vertical(ks, kx)
    px, pz = _traction(mu, lam, kx, nup, kx, nup)
    sx, sz = _traction(mu, lam, kx, nus, -nus, kx)
    if source == "explosion":                   # the upgoing P wave of the explosion at depth d
        c0 = -np.exp(-1j * nup * d) / (2.0 * m * nup)
        bx, bz = _traction(mu, lam, kx, -nup, c0 * kx, -c0 * nup)
        rx, rz = -bx, -bz
    elif d > 0:                                 # the upgoing P and S waves of the force (-z)
        rw2 = rho * w * w
        ap = -0.5j * np.exp(-1j * nup * d) / rw2
        bs = 0.5j * kx * np.exp(-1j * nus * d) / (rw2 * nus)
        b1 = _traction(mu, lam, kx, -nup, ap * kx, -ap * nup)
        b2 = _traction(mu, lam, kx, -nus, bs * nus, bs * kx)
        rx, rz = -(b1[0] + b2[0]), -(b1[1] + b2[1])
    else:                                       # the force on the surface: sigma_zz = F delta
        rx, rz = np.zeros_like(kx), np.ones_like(kx)
    det = px * sz - sx * pz
    return (rx * sz - sx * rz) / det, (px * rz - rx * pz) / det, nup, nus


def _surface_asymptote(w, cp, cs, rho):
    """(C_x, C_z): the surface displacement of a surface force tends to (i C_x / kx,
    -C_z / |kx|) per unit force at large |kx| (the static limit of the half-space)."""
    mu = rho * cs * cs
    c = 2.0 * mu * (cp * cp - cs * cs)
    return cs * cs / c, cp * cp / c


_GAUSS = np.polynomial.legendre.leggauss(16)


def _nodes_on(a, b, n):
    """Nodes and weights of about n points on [a, b]: 16-point Gauss rules on equal panels."""
    panels = max(1, -(-int(n) // 16))
    edges = np.linspace(a, b, panels + 1)
    half = 0.5 * np.diff(edges)[:, None]
    t = (0.5 * (edges[1:] + edges[:-1]))[:, None] + half * _GAUSS[0][None, :]
    return t.ravel(), (half * _GAUSS[1][None, :]).ravel()


def _half_space_reflection(x, z, w, cp, cs, rho, source, d, cr):
    """The displacement (u_x, u_z) (z down) at (x, z), x from the source, of the waves the
    surface sends back (all of the field for a force on the surface), by the wavenumber sum
    (1 / 2 pi) integral over kx of U(kx, z) exp(-i kx x).

    The path is kx = t + i a sin(pi t / T) for |t| < T = 2 w / c_R (above the branch points and
    the Rayleigh pole at kx > 0, below them at kx < 0, where the outgoing solution has them),
    then the real axis out to K, beyond which the waves are negligible."""
    ks = abs(w / cs)
    kr = w / cr
    big_t = 2.0 * kr
    ux = np.zeros(x.shape, complex)
    uz = np.zeros(x.shape, complex)
    for depth_z in np.unique(z):
        on = z == depth_z
        xo = x[on]
        span = max(np.abs(xo).max(), 1e-3 / ks)
        a = min(0.15 * ks, 1.0 / span)
        depth = d + depth_z
        static = depth == 0          # a force on the surface seen on the surface
        kmax = 40.0 * ks if static else max(1.5 * big_t, 18.0 / depth)
        n_bump = 2.0 * big_t * span + 12.0 * big_t / a
        n_tail = 1.2 * (kmax - big_t) * span
        if n_bump + n_tail > 4e5:
            raise ValueError(f"receivers {span:g} from the source and {depth:g} below it (or the "
                             "source below the surface) need too fine a wavenumber sum")
        t, wt = _nodes_on(-big_t, big_t, max(600, n_bump))
        kx = t + 1j * a * np.sin(np.pi * t / big_t)
        dk = wt * (1.0 + 1j * a * np.pi / big_t * np.cos(np.pi * t / big_t))
        tt, wtt = _nodes_on(big_t, kmax, max(200, n_tail))
        kx = np.concatenate([kx, tt + 0j, -tt + 0j])
        dk = np.concatenate([dk, wtt, wtt])
        ra, rb, nup, nus = _reflected(kx, w, cp, cs, rho, source, d)
        ep, es = ra * np.exp(-1j * nup * depth_z), rb * np.exp(-1j * nus * depth_z)
        fx, fz = ep * kx - es * nus, ep * nup + es * kx
        if static:
            cx, cz = _surface_asymptote(w, cp, cs, rho)
            fx = fx - 1j * cx * kx / (kx * kx + ks * ks)
            fz = fz + cz / np.sqrt(kx * kx + ks * ks)
        phase = np.exp(-1j * np.outer(xo, kx)) * dk
        ux[on] = phase @ fx / (2.0 * np.pi)
        uz[on] = phase @ fz / (2.0 * np.pi)
        if static:
            ux[on] += cx * np.sign(xo) * np.exp(-ks * np.abs(xo)) / 2.0
            uz[on] -= cz * kv(0, ks * np.abs(xo)) / np.pi
    return ux, uz


def half_space_spectra(x, y, xs, ys, surface, vp, vs, rho, omega, sour, source="force",
                       qp=None, qs=None, f_ref=None):
    """Velocity spectra (Vx, Vy), [receiver, frequency], in a half-space y <= `surface` with a
    traction-free surface, of a vertical force 1e6 s(w) along +y (`source` "force", at depth
    d = surface - ys >= 0, on the surface when d = 0) or an explosion (`source` "explosion",
    d > 0); receivers at y <= surface."""
    if source not in ("force", "explosion"):
        raise ValueError(f"source = {source!r}: must be 'force' or 'explosion'")
    d = float(surface - ys)
    x = np.asarray(x, float).reshape(-1)
    y = np.asarray(y, float).reshape(-1)
    z = surface - y
    if d < 0 or np.any(z < 0):
        raise ValueError("the source and the receivers must lie in the half-space y <= surface")
    if source == "explosion" and d == 0:
        raise ValueError("an explosion on the free surface sends out nothing: give it a depth")
    if d == 0 and np.any((z == 0) & (x == xs)):
        raise ValueError("a receiver sits on the source")
    omega = np.asarray(omega, float)
    cps = complex_velocity(vp, qp, omega, f_ref) + 0j
    css = complex_velocity(vs, qs, omega, f_ref) + 0j
    cr = rayleigh_speed(vp, vs)
    ux = np.zeros((x.size, omega.size), complex)
    uz = np.zeros((x.size, omega.size), complex)
    for j, w in enumerate(omega):
        ux[:, j], uz[:, j] = _half_space_reflection(x - xs, z, w, cps[j], css[j], rho, source,
                                                    d, cr)
    if source == "explosion":        # the direct wave; the 1e6 s(w) and i w come below
        xr, yr, r = _distances(x, y, xs, ys)
        u_r = _explosion_displacement(r, vp, rho, omega, qp, f_ref)
        ux, uz = ux + u_r * (xr - xs) / r, uz - u_r * (yr - ys) / r
    elif d > 0:
        _, gxy, gyy = greens_tensor(x, y, xs, ys, vp, vs, rho, omega, "both", qp, qs, f_ref)
        ux, uz = ux + gxy, uz - gyy
    f = 1j * omega[None, :] * SOURCE_SCALE * np.asarray(sour)[None, :]
    return f * ux, -f * uz


class GaussianPulse:
    """The source time function w(t) = d^m/dt^m exp(-psi (t - delay)^2), psi = 8 freq^2 (the
    program's type-2 pulse is m = 1 up to its scale), with its derivatives and its spectrum
    W(w) = (i w)^m sqrt(pi / psi) exp(-w^2 / (4 psi)) exp(-i w delay)."""

    def __init__(self, freq: float, delay: float, order: int = 1):
        if not freq > 0 or order < 0:
            raise ValueError("a Gaussian pulse needs freq > 0 and order >= 0")
        self.psi, self.delay, self.order = 8.0 * freq * freq, float(delay), int(order)

    @property
    def width(self) -> float:
        """Half-length beyond which the pulse and its first derivatives are below 1e-12."""
        return 6.0 / math.sqrt(self.psi)

    def derivative(self, t, n: int = 0):
        """d^n w / dt^n at the times t."""
        m = self.order + n
        a = math.sqrt(self.psi)
        u = np.asarray(t, float) - self.delay
        return (-a) ** m * eval_hermite(m, a * u) * np.exp(-self.psi * u * u)

    def spectrum(self, omega):
        """W(w), the integral of w(t) exp(-i w t) dt."""
        omega = np.asarray(omega, float)
        return ((1j * omega) ** self.order * math.sqrt(math.pi / self.psi)
                * np.exp(-omega * omega / (4.0 * self.psi) - 1j * omega * self.delay))


def _hyperbola(x, h, c, tau_max, n):
    """The path of tau = p x + gamma h (gamma = sqrt(1/c^2 - p^2)), tau = t0 + s^2 from the
    arrival t0 = r / c: nodes tau, p(tau), dp/ds times the weights (the 1/sqrt of dp/dtau at
    t0 taken up by s)."""
    r2 = x * x + h * h
    t0 = math.sqrt(r2) / c
    if tau_max <= t0:
        return np.zeros(0), np.zeros(0, complex), np.zeros(0, complex)
    s, ws = _nodes_on(0.0, math.sqrt(tau_max - t0), n)
    tau = t0 + s * s
    root = np.sqrt(tau + t0)
    p = (tau * x + 1j * h * s * root) / r2
    dp = (2.0 * s * x + 2j * h * tau / root) / r2
    return tau, p + 0j, dp * ws


def _head(x, h, c, c_fast, n):
    """The real part of the path of tau = p x + gamma h between p = 1 / c_fast and its vertex,
    where the waves of speed c_fast run along the surface: tau = t0 - s^2."""
    r2 = x * x + h * h
    t0 = math.sqrt(r2) / c
    th = x / c_fast + h * math.sqrt(1.0 / c ** 2 - 1.0 / c_fast ** 2)
    s, ws = _nodes_on(0.0, math.sqrt(t0 - th), n)
    tau = t0 - s * s
    root = np.sqrt(t0 + tau)
    p = (tau * x - h * s * root) / r2
    dp = -(2.0 * s * x + 2.0 * h * tau / root) / r2      # dp/ds; ds = -dtau / (2 s)
    return tau, p + 0j, -dp * ws


def _converted(x, d, z, vp, vs, tau_max, n):
    """The path of tau = p x + gamma_p d + gamma_s z (P down to the surface, S up from it to
    depth z), from its vertex p0 on the real axis (tau' = 0) into Im p > 0, by Newton steps."""
    def tau_of(p):
        gp, gs = _vertical(1.0 / vp, p), _vertical(1.0 / vs, p)
        return p * x + gp * d + gs * z, x - p * d / gp - p * z / gs, -d / gp ** 3 / vp ** 2 \
            - z / gs ** 3 / vs ** 2

    if x > 0:
        p0 = brentq(lambda q: tau_of(q + 0j)[1].real, 0.0, (1.0 - 1e-14) / vp, xtol=1e-16)
    else:
        p0 = 0.0
    t0, _, curv = (v.real for v in tau_of(p0 + 0j))
    if tau_max <= t0:
        return np.zeros(0), np.zeros(0, complex), np.zeros(0, complex)
    s, ws = _nodes_on(0.0, math.sqrt(tau_max - t0), n)
    p = np.empty(s.size, complex)
    dp = np.empty(s.size, complex)
    guess = p0 + 1j * s[0] * math.sqrt(2.0 / abs(curv))
    for k, sk in enumerate(s):
        target = t0 + sk * sk
        q = guess
        for _ in range(60):
            val, der, _ = tau_of(q)
            step = (val - target) / der
            q = q - step
            if abs(step) < 1e-14 * abs(q) + 1e-300:
                break
        p[k] = q
        dp[k] = 2.0 * sk / tau_of(q)[1]
        guess = q if k == 0 else 2.0 * q - p[k - 1]
    return t0 + s * s, p, dp * ws


def _rayleigh_function(p, vp, vs):
    """R(p) = (1/vs^2 - 2 p^2)^2 + 4 p^2 gamma_p gamma_s and its derivative."""
    gp, gs = _vertical(1.0 / vp, p), _vertical(1.0 / vs, p)
    q = 1.0 / vs ** 2 - 2.0 * p * p
    r = q * q + 4.0 * p * p * gp * gs
    dr = -8.0 * p * q + 8.0 * p * gp * gs - 4.0 * p ** 3 * (gs / gp + gp / gs)
    return r, dr


def _force_weights(p, vp, vs, wave):
    """The vectors W(p) of a surface force: u = -(F / (pi mu)) Im(W(p) dp/dtau) on its path."""
    gp, gs = _vertical(1.0 / vp, p), _vertical(1.0 / vs, p)
    q = 1.0 / vs ** 2 - 2.0 * p * p
    r = q * q + 4.0 * p * p * gp * gs
    if wave == "p":
        return q * p / r, q * gp / r
    if wave == "s":
        return -2.0 * p * gp * gs / r, 2.0 * p * p * gp / r
    return p * (q - 2.0 * gp * gs) / r, gp / (vs * vs * r)


def _explosion_weights(p, vp, vs, wave):
    """The vectors W(p) of an explosion per 1 / M: u = (1 / pi) d/dt Im(W(p) dp/dtau)."""
    gp, gs = _vertical(1.0 / vp, p), _vertical(1.0 / vs, p)
    q = 1.0 / vs ** 2 - 2.0 * p * p
    r = q * q + 4.0 * p * p * gp * gs
    if wave == "pp":
        c = -0.5 * (4.0 * p * p * gp * gs - q * q) / (gp * r)
        return c * p, c * gp
    c = 2.0 * p * q / r
    return -c * gs, c * p


def half_space_cagniard(x, y, xs, ys, surface, vp, vs, rho, t, pulse, source="force"):
    """Velocity traces (vx, vy), [receiver, time], in the elastic half-space y <= `surface`,
    of a vertical force 1e6 w(t) along +y on the surface (`source` "force") or an explosion
    1e6 w(t) at depth d = surface - ys > 0 (`source` "explosion"), w a `GaussianPulse`; from the
    Cagniard-de Hoop solution, independent of the wavenumber sum of `half_space_spectra`."""
    if source not in ("force", "explosion"):
        raise ValueError(f"source = {source!r}: must be 'force' or 'explosion'")
    d = float(surface - ys)
    x = np.asarray(x, float).reshape(-1) - xs
    z = surface - np.asarray(y, float).reshape(-1)
    t = np.asarray(t, float)
    if np.any(z < 0) or d < 0 or (source == "force" and d != 0):
        raise ValueError("the force acts on the surface, the explosion and the receivers in "
                         "the half-space y <= surface")
    if source == "explosion" and d == 0:
        raise ValueError("an explosion on the free surface sends out nothing: give it a depth")
    mu, m = rho * vs * vs, rho * vp * vp
    cr = rayleigh_speed(vp, vs)
    tau_max = t.max() - pulse.delay + pulse.width
    width = 1.0 / math.sqrt(pulse.psi)
    vx = np.zeros((x.size, t.size))
    vz = np.zeros((x.size, t.size))

    def nodes(t_first):
        return int(16.0 * max(tau_max - t_first, 0.0) / width + 320)

    def add(n, tau, values, order):
        kernel = pulse.derivative(t[:, None] - tau[None, :], order)
        ux, uz = values
        vx[n] += SOURCE_SCALE * (kernel @ ux)
        vz[n] += SOURCE_SCALE * (kernel @ uz)

    for n in range(x.size):
        xa, zn, sign = abs(x[n]), z[n], (1.0 if x[n] >= 0 else -1.0)
        if source == "force":
            scale = -1.0 / (math.pi * mu)
            if zn == 0 and xa == 0:
                raise ValueError("a receiver sits on the source")
            if zn == 0:
                _surface_force(n, xa, vp, vs, cr, mu, tau_max, nodes, add, pulse, t, vx, vz,
                               width)
            else:
                paths = [("p", _hyperbola(xa, zn, vp, tau_max, nodes(math.hypot(xa, zn) / vp)))]
                if tau_max > math.hypot(xa, zn) / vs:
                    paths.append(("s", _hyperbola(xa, zn, vs, tau_max,
                                                  nodes(math.hypot(xa, zn) / vs))))
                if xa / math.hypot(xa, zn) > vs / vp:   # past the critical angle: head wave
                    paths.append(("s", _head(xa, zn, vs, vp, 400)))
                for wave, (tau, p, dp) in paths:
                    keep = tau < tau_max
                    wx, wz = _force_weights(p, vp, vs, wave)
                    add(n, tau[keep], (scale * (wx * dp).imag[keep],
                                       scale * (wz * dp).imag[keep]), 1)
        else:
            h = abs(d - zn)
            r = math.hypot(xa, h)
            if tau_max > r / vp:                    # the direct wave: closed form
                t0 = r / vp
                s, ws = _nodes_on(0.0, math.sqrt(tau_max - t0), nodes(t0))
                tau = t0 + s * s
                g_r = -tau / (2.0 * math.pi * m * r * np.sqrt(tau + t0)) * 2.0 * ws
                add(n, tau, (g_r * xa / r, g_r * (zn - d) / r), 2)
            paths = []
            if tau_max > math.hypot(xa, d + zn) / vp:
                paths.append(("pp", _hyperbola(xa, d + zn, vp, tau_max,
                                               nodes(math.hypot(xa, d + zn) / vp))))
            t_ps = math.hypot(xa, d + zn) / vp
            if tau_max > t_ps:
                paths.append(("ps", _converted(xa, d, zn, vp, vs, tau_max + 0.0, nodes(t_ps))
                              if zn > 0 else _hyperbola(xa, d, vp, tau_max, nodes(t_ps))))
            for wave, (tau, p, dp) in paths:
                keep = tau < tau_max
                wx, wz = _explosion_weights(p, vp, vs, wave)
                add(n, tau[keep], ((wx * dp).imag[keep] / (math.pi * m),
                                   (wz * dp).imag[keep] / (math.pi * m)), 2)
        vx[n] *= sign
    return vx, -vz


def _surface_force(n, xa, vp, vs, cr, mu, tau_max, nodes, add, pulse, t, vx, vz, width):
    """The surface force seen on the surface: p = tau / x real, the P and S wave fronts, and
    the Rayleigh pole at tau_R = x / c_R (a delta in u_x, a principal value in u_z)."""
    scale = -1.0 / (math.pi * mu * xa)
    tp, ts, trr = xa / vp, xa / vs, xa / cr
    if tau_max <= tp:
        return
    tau, wt = _nodes_on(tp, min(ts, tau_max), nodes(tp))
    wx, wz = _force_weights(tau / xa + 0j, vp, vs, "both")
    add(n, tau, (scale * wx.imag * wt, scale * wz.imag * wt), 1)
    if tau_max <= ts:
        return
    pr = 1.0 / cr
    _, dr = _rayleigh_function(pr + 0j, vp, vs)
    dr = dr.real
    nx = (pr * ((1.0 / vs ** 2 - 2.0 * pr * pr)
                - 2.0 * _vertical(1.0 / vp, pr + 0j) * _vertical(1.0 / vs, pr + 0j))).real
    nz_im = (_vertical(1.0 / vp, pr + 0j) / vs ** 2).imag
    c_pv = -nz_im / (math.pi * mu * dr)                 # u_z ~ c_pv / (tau - tau_R)
    vx[n] += SOURCE_SCALE * (nx / (mu * dr)) * pulse.derivative(t - trr, 1)
    if tau_max <= trr + width:     # the pole beyond the traces: plain sum
        tau, wt = _nodes_on(ts, tau_max, nodes(ts))
        _, wz = _force_weights(tau / xa + 0j, vp, vs, "both")
        add(n, tau, (0.0 * tau, scale * wz.imag * wt), 1)
        return
    w_at = pulse.derivative(t - trr, 1)
    vz[n] += SOURCE_SCALE * c_pv * w_at * math.log((tau_max - trr) / (trr - ts))
    for a, b in ((ts, trr), (trr, tau_max)):
        tau, wt = _nodes_on(a, b, nodes(a))
        _, wz = _force_weights(tau / xa + 0j, vp, vs, "both")
        regular = scale * wz.imag - c_pv / (tau - trr)
        kernel = pulse.derivative(t[:, None] - tau[None, :], 1)
        vz[n] += SOURCE_SCALE * ((kernel * wt) @ regular
                                 + c_pv * ((kernel - w_at[:, None]) / (tau - trr)) @ wt)


def _ti_stiffness(vp, vs, epsilon, delta, rho=1.0):
    c33, c55 = rho * vp * vp, rho * vs * vs
    c11 = c33 * (1.0 + 2.0 * epsilon)
    c13_c55 = (c33 - c55) * (c33 * (1.0 + 2.0 * delta) - c55)
    if not (0 < vs < vp) or c11 <= c55 or c13_c55 < 0:
        raise ValueError(f"vp = {vp}, vs = {vs}, epsilon = {epsilon}, delta = {delta}: not a "
                         "stable transversely isotropic medium")
    return c11, c33, c55, math.sqrt(c13_c55)


def _mode_sign(mode):
    if mode not in ("qp", "qsv"):
        raise ValueError(f"mode = {mode!r}: must be 'qp' or 'qsv'")
    return 1.0 if mode == "qp" else -1.0


def _phase_and_slope(theta, vp, vs, epsilon, delta, mode):
    """v(theta) and dv/dtheta, theta (radians) from the symmetry axis, per unit density."""
    c11, c33, c55, e = _ti_stiffness(vp, vs, epsilon, delta)
    sign = _mode_sign(mode)
    sn, cs = np.sin(theta) ** 2, np.cos(theta) ** 2
    s2, c2 = np.sin(2.0 * theta), np.cos(2.0 * theta)
    a = (c11 + c55) * sn + (c33 + c55) * cs
    b = (c11 - c55) * sn - (c33 - c55) * cs
    root = np.sqrt(b * b + e * e * s2 * s2)
    v2 = 0.5 * (a + sign * root)
    da = (c11 - c33) * s2
    db = (c11 + c33 - 2.0 * c55) * s2
    with np.errstate(invalid="ignore", divide="ignore"):
        droot = np.where(root > 0, (b * db + 2.0 * e * e * s2 * c2) / root, 0.0)
    v = np.sqrt(v2)
    return v, 0.25 * (da + sign * droot) / v


def phase_velocity(direction_deg, vp, vs, epsilon, delta, tilt_deg=0.0, mode="qp"):
    """Phase velocity of the plane wave whose normal points `direction_deg` from the vertical."""
    theta = np.radians(np.asarray(direction_deg, float) - tilt_deg)
    return _phase_and_slope(theta, vp, vs, epsilon, delta, mode)[0]


def group_velocity(direction_deg, vp, vs, epsilon, delta, tilt_deg=0.0, mode="qp"):
    """Group (ray) velocity in the direction `direction_deg` from the vertical: per direction
    the fastest ray travelling there (qSV may have several)."""
    psi_deg = np.asarray(direction_deg, float) - tilt_deg
    theta = np.linspace(-np.pi / 2, np.pi / 2, 4097)
    v, dv = _phase_and_slope(theta, vp, vs, epsilon, delta, mode)
    psi = theta + np.arctan2(dv, v)

    def ray_angle(th):
        vv, dd = _phase_and_slope(th, vp, vs, epsilon, delta, mode)
        return th + np.arctan2(dd, vv)

    out = np.empty(psi_deg.shape)
    for n, target in np.ndenumerate(np.radians(psi_deg)):
        tgt = math.remainder(float(target), math.pi)       # same rays every 180 degrees
        diff = np.unwrap(psi) - tgt
        best = 0.0
        for k in np.nonzero(np.sign(diff[:-1]) != np.sign(diff[1:]))[0]:
            th = brentq(lambda q: ray_angle(q) - tgt, theta[k], theta[k + 1], xtol=1e-15)
            vv, dd = _phase_and_slope(th, vp, vs, epsilon, delta, mode)
            best = max(best, float(math.hypot(vv, dd)))
        if best == 0.0:
            k = int(np.argmin(np.abs(diff)))
            best = float(math.hypot(v[k], dv[k]))
        out[n] = best
    return out if out.ndim else float(out)


def anisotropic_arrival_times(x, y, xs, ys, vp, vs, epsilon, delta, tilt_deg=0.0, mode="qp"):
    """First arrival time of the qP (or qSV) wave of a point source at (xs, ys) at each
    receiver: r / V(direction) (directions from the vertical towards +x)."""
    dx = np.asarray(x, float) - xs
    dy = np.asarray(y, float) - ys
    r = np.hypot(dx, dy)
    return r / group_velocity(np.degrees(np.arctan2(dx, dy)), vp, vs, epsilon, delta, tilt_deg,
                              mode)


def normal_reflection(rho1, vp1, rho2, vp2, quantity="velocity"):
    """(R, T) of a plane P wave from medium 1 into medium 2 at normal incidence: for the
    displacement or particle velocity in fixed axes (`quantity` "velocity", "displacement"), or
    for the stress, pressure or potential ("stress", "pressure", "potential").  Velocities may
    be complex; vp2 = 0 or rho2 = 0 is a free surface."""
    z1 = np.asarray(rho1) * np.asarray(vp1)
    z2 = np.asarray(rho2) * np.asarray(vp2)
    if np.any(np.abs(z1) == 0):
        raise ValueError("the medium the wave comes from needs a positive impedance")
    if quantity in ("velocity", "displacement"):
        return (z1 - z2) / (z1 + z2), 2.0 * z1 / (z1 + z2)
    if quantity in ("stress", "pressure", "potential"):
        return (z2 - z1) / (z1 + z2), 2.0 * z2 / (z1 + z2)
    raise ValueError(f"quantity = {quantity!r}: must be 'velocity', 'displacement', 'stress', "
                     "'pressure' or 'potential'")


def pml_profile(x, d0, thickness, order):
    """The damping d(x) = d0 (x / L)^n at depth x into a layer of thickness L."""
    x = np.clip(np.asarray(x, float), 0.0, thickness)
    return d0 * (x / thickness) ** order


def pml_reflection(d0, thickness, order, velocity, angle_deg=0.0):
    """Reflection of the continuous layer d0 (x / L)^n for a wave of speed `velocity` meeting
    it at `angle_deg` from its normal: exp(-2 d0 L cos(theta) / ((n + 1) c))."""
    if thickness <= 0 or order < 0 or velocity <= 0:
        raise ValueError("the layer needs thickness > 0, order >= 0 and a velocity > 0")
    cos = np.cos(np.radians(np.asarray(angle_deg, float)))
    return np.exp(-2.0 * d0 * thickness * cos / ((order + 1.0) * velocity))


def pml_d0(target_reflection, thickness, order, velocity):
    """d0 of the layer d0 (x / L)^n whose normal-incidence reflection is `target_reflection`:
    (n + 1) c ln(1 / R) / (2 L)."""
    if not 0 < target_reflection < 1:
        raise ValueError(f"target reflection {target_reflection}: must lie in (0, 1)")
    if thickness <= 0 or order < 0 or velocity <= 0:
        raise ValueError("the layer needs thickness > 0, order >= 0 and a velocity > 0")
    return (order + 1.0) * velocity * math.log(1.0 / target_reflection) / (2.0 * thickness)


def trace_misfit(run, exact, before):
    """Largest difference over a trace's peak and RMS difference over RMS of `exact`, before
    the first boundary reflection."""
    t = run.traces.t
    diff2 = ref2 = 0.0
    worst = 0.0
    for k in range(run.params.nrec):
        w = t < before[k]
        sim = np.concatenate([run.traces.vx[k][w], run.traces.vy[k][w]])
        ref = np.concatenate([exact[0][k][w], exact[1][k][w]])
        worst = max(worst, np.abs(sim - ref).max() / np.abs(ref).max())
        diff2 += np.sum((sim - ref) ** 2)
        ref2 += np.sum(ref ** 2)
    return worst, np.sqrt(diff2 / ref2)
