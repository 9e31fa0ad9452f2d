"""The exact solutions against their limits and against independent computations."""

import functools
import math

import numpy as np
import pytest

from stripwave.exact import (GaussianPulse, anisotropic_arrival_times, complex_velocity,
                             explosion_spectra, force_spectra, greens_tensor, group_velocity,
                             half_space_cagniard, half_space_spectra, normal_reflection,
                             phase_velocity, pml_d0, pml_profile, pml_reflection,
                             rayleigh_speed)
from stripwave.materials import constant_q
from stripwave.source import frequencies, synthesise


def _ring(radii, angle_deg=30.0):
    a = math.radians(angle_deg)
    return np.cos(a) * np.asarray(radii, float), np.sin(a) * np.asarray(radii, float)


class TestAttenuatingExplosion:
    VP, RHO, FREF = 2.0, 2.1, 0.01
    OMEGA = 2 * np.pi * np.array([0.005, 0.01, 0.02])

    def test_large_q_gives_the_elastic_solution(self):
        x, y = _ring([30.0, 200.0, 900.0])
        sour = np.array([1.0, 0.5 - 0.2j, 0.1j])
        el = explosion_spectra(x, y, 0.0, 0.0, self.VP, self.RHO, self.OMEGA, sour)
        for q, tol in ((1e4, 2e-2), (1e7, 2e-5)):
            at = explosion_spectra(x, y, 0.0, 0.0, self.VP, self.RHO, self.OMEGA, sour, q,
                                   self.FREF)
            for a, e in zip(at, el):
                assert np.abs(a - e).max() < tol * np.abs(e).max()

    def test_velocity_follows_the_tables_law(self):
        for q in (10.0, 80.0):
            c = complex_velocity(self.VP, q, self.OMEGA, self.FREF)
            for w, cw in zip(self.OMEGA, c):
                m = constant_q(self.RHO * self.VP ** 2, q, w / (2 * np.pi), self.FREF)
                assert cw * cw * self.RHO == pytest.approx(m, rel=1e-12)
            assert c.imag.min() > 0           # an attenuating modulus: Im M > 0 for exp(+iwt)
            # the phase velocity at the reference frequency is the velocity given
            assert 1.0 / (1.0 / c[1]).real == pytest.approx(self.VP, rel=1e-12)

    @pytest.mark.parametrize("q", [20.0, 100.0])
    def test_amplitude_decays_as_exp_of_minus_w_r_over_2qc(self, q):
        # far field (k r >> 1): the ratio to the elastic amplitude between two distances
        r1, r2 = 2000.0, 4000.0
        x, y = _ring([r1, r2])
        sour = np.ones(self.OMEGA.size)
        at = np.abs(explosion_spectra(x, y, 0.0, 0.0, self.VP, self.RHO, self.OMEGA, sour, q,
                                      self.FREF)[0])
        el = np.abs(explosion_spectra(x, y, 0.0, 0.0, self.VP, self.RHO, self.OMEGA, sour)[0])
        measured = (at[1] / el[1]) / (at[0] / el[0])
        c = 1.0 / (1.0 / complex_velocity(self.VP, q, self.OMEGA, self.FREF)).real
        expected = np.exp(-self.OMEGA * (r2 - r1) / (2.0 * q * c))
        assert np.log(measured) == pytest.approx(np.log(expected), rel=2e-3)

    def test_rejects_a_receiver_on_the_source_and_a_missing_reference(self):
        with pytest.raises(ValueError, match="source"):
            explosion_spectra([0.0], [0.0], 0.0, 0.0, 2.0, 2.0, self.OMEGA, np.ones(3))
        with pytest.raises(ValueError, match="f_ref"):
            complex_velocity(2.0, 30.0, self.OMEGA)
        with pytest.raises(ValueError, match="positive"):
            complex_velocity(2.0, -1.0, self.OMEGA, 0.01)


@functools.lru_cache(maxsize=None)
def _nodes(n):
    return np.polynomial.legendre.leggauss(n)


def _legendre(a, b, n):
    t, w = _nodes(n)
    return 0.5 * (b - a) * t + 0.5 * (b + a), 0.5 * (b - a) * w


def _plane_wave_sum(k, x, y, amplitude):
    """(1/2 pi) * integral over kx of exp(-i kx x - i nu |y|) amplitude(kx, nu) / nu, nu =
    sqrt(k^2 - kx^2) with Im nu <= 0: propagating waves kx = k cos(t), evanescent ones
    kx = +-k cosh(s) (both make dkx / nu smooth)."""
    t, wt = _legendre(0.0, np.pi, 400)
    total = np.sum(wt * amplitude(k * np.cos(t), k * np.sin(t))
                   * np.exp(-1j * k * (np.cos(t) * x + np.sin(t) * abs(y))))
    s_max = np.arcsinh(45.0 / (k * abs(y)))
    s, ws = _legendre(0.0, s_max, 400)
    nu = -1j * k * np.sinh(s)
    for sign in (1.0, -1.0):
        kx = sign * k * np.cosh(s)
        total += 1j * np.sum(ws * amplitude(kx, nu) * np.exp(-1j * kx * x - 1j * nu * abs(y)))
    return total / (2.0 * np.pi)


def _force_by_wavenumbers(x, y, vp, vs, rho, w, i, j):
    """G_ij from the plane-wave expansion of the displacement of a point force (the k_y
    integral done by residues), summed numerically over the horizontal wavenumber."""
    kp, ks, mu = w / vp, w / vs, rho * vs * vs
    sy = np.sign(y)

    def comp(kx, nu, n):
        return kx if n == 0 else nu * sy

    def p(kx, nu):
        return -0.5j * comp(kx, nu, i) * comp(kx, nu, j) / (rho * w * w)

    def s(kx, nu):
        return -0.5j * ((i == j) / mu - comp(kx, nu, i) * comp(kx, nu, j) / (rho * w * w))

    return _plane_wave_sum(kp, x, y, p) + _plane_wave_sum(ks, x, y, s)


class TestPointForces:
    VP, VS, RHO = 2.0, 1.15, 2.3
    MU, LAM = RHO * VS ** 2, RHO * (VP ** 2 - 2 * VS ** 2)

    def g(self, x, y, w, part="both"):
        return np.array(greens_tensor(np.atleast_1d(x), np.atleast_1d(y), 0.0, 0.0, self.VP,
                                      self.VS, self.RHO, np.atleast_1d(w), part))[:, :, 0]

    def test_matches_the_wavenumber_integral(self):
        w = 2 * np.pi * 0.02
        points = [(70.0, 40.0), (-25.0, 110.0), (15.0, -8.0), (200.0, -150.0)]
        for x, y in points:
            gxx, gxy, gyy = self.g(x, y, w)[:, 0]
            for (i, j), ours in {(0, 0): gxx, (0, 1): gxy, (1, 0): gxy, (1, 1): gyy}.items():
                direct = _force_by_wavenumbers(x, y, self.VP, self.VS, self.RHO, w, i, j)
                assert abs(direct - ours) < 1e-10 * (abs(gxx) + abs(gyy)), (x, y, i, j)  # 2e-13

    def test_reciprocity_and_the_force_directions(self):
        w = 2 * np.pi * np.array([0.01, 0.03])
        sour = np.array([1.0, 0.3 - 0.4j])
        x, y = np.array([130.0, -60.0]), np.array([45.0, 220.0])
        a = greens_tensor(x, y, 10.0, -20.0, self.VP, self.VS, self.RHO, w)
        for n in range(2):   # source and receiver swapped
            b = greens_tensor([10.0], [-20.0], x[n], y[n], self.VP, self.VS, self.RHO, w)
            for ga, gb in zip(a, b):
                assert np.allclose(ga[n], gb[0], rtol=1e-13, atol=0)
        vx_x, vy_x = force_spectra(x, y, 10.0, -20.0, self.VP, self.VS, self.RHO, w, sour, "x")
        vx_y, vy_y = force_spectra(x, y, 10.0, -20.0, self.VP, self.VS, self.RHO, w, sour, "y")
        iw_f = 1j * w * 1e6 * sour
        assert np.allclose(vy_x, iw_f * a[1]) and np.allclose(vx_y, vy_x)
        assert np.allclose(vx_x, iw_f * a[0]) and np.allclose(vy_y, iw_f * a[2])

    def test_far_field_p_is_longitudinal_and_s_transverse(self):
        w = 2 * np.pi * 0.05
        r = 1500.0   # kp r ~ 240
        for ang in (0.0, 35.0, 90.0, 160.0):
            g = np.array([np.cos(np.radians(ang)), np.sin(np.radians(ang))])
            n = np.array([-g[1], g[0]])
            for part, along, across in (("p", g, n), ("s", n, g)):
                gxx, gxy, gyy = self.g(r * g[0], r * g[1], w, part)[:, 0]
                tensor = np.array([[gxx, gxy], [gxy, gyy]])
                big = abs(along @ tensor @ along)
                assert abs(across @ tensor @ across) < 2e-2 * big
                assert abs(across @ tensor @ along) < 2e-2 * big
        # both fall off as r^(-1/2) at large distance, S stronger by (vp / vs)^(3/2)... per
        # unit force: |G_P| / |G_S| -> (vs / vp)^(3/2) (ratio of kp^2 / sqrt(kp) to ks^2 / sqrt(ks))
        gp = abs(self.g(r, 0.0, w, "p")[0, 0])
        gs = abs(self.g(0.0, r, w, "s")[0, 0])
        assert gp / gs == pytest.approx((self.VS / self.VP) ** 1.5, rel=1e-2)

    def test_static_limit_is_the_plane_strain_point_force(self):
        nu = self.LAM / (2 * (self.LAM + self.MU))
        w = 3e-5           # k r <= 3e-4: the dynamic terms are ~ (k r)^2 ln(k r) smaller

        def kelvin(x, y):
            r = np.hypot(x, y)
            g = np.array([x, y]) / r
            return (-(3 - 4 * nu) * np.log(r) * np.eye(2) + np.outer(g, g)) \
                / (8 * np.pi * self.MU * (1 - nu))

        def ours(x, y):
            gxx, gxy, gyy = self.g(x, y, w)[:, 0]
            return np.array([[gxx, gxy], [gxy, gyy]])

        ref = (3.0, 4.0)
        for x, y in ((10.0, 0.0), (-2.0, 7.0), (0.5, -0.3)):
            expect = kelvin(x, y) - kelvin(*ref)
            got = ours(x, y) - ours(*ref)
            assert np.abs(got - expect).max() < 1e-5 * np.abs(expect).max()

    def test_p_part_is_curl_free_s_part_divergence_free_and_the_sum_solves_navier(self):
        w = 2 * np.pi * 0.02
        d = 0.05           # ~ 1 / 1000 of the S wavelength
        x0, y0 = 37.0, -21.0
        off = {(a, b): (x0 + a * d, y0 + b * d) for a in (-1, 0, 1) for b in (-1, 0, 1)}
        field = {}
        for part in ("p", "s"):
            for key, (x, y) in off.items():
                gxx, gxy, gyy = self.g(x, y, w, part)[:, 0]
                field[part, key] = np.array([[gxx, gxy], [gxy, gyy]])  # [component, force]

        def dx(part, n):
            return (field[part, (1, 0)][n] - field[part, (-1, 0)][n]) / (2 * d)

        def dy(part, n):
            return (field[part, (0, 1)][n] - field[part, (0, -1)][n]) / (2 * d)

        scale = np.abs(dx("p", 0)).max() + np.abs(dx("s", 0)).max()
        assert np.abs(dx("p", 1) - dy("p", 0)).max() < 1e-5 * scale     # curl of the P part
        assert np.abs(dx("s", 0) + dy("s", 1)).max() < 1e-5 * scale     # div of the S part
        u = {key: field["p", key] + field["s", key] for key in off}
        lap = (u[1, 0] + u[-1, 0] + u[0, 1] + u[0, -1] - 4 * u[0, 0]) / d ** 2
        ddx = (u[1, 0] - 2 * u[0, 0] + u[-1, 0]) / d ** 2
        ddy = (u[0, 1] - 2 * u[0, 0] + u[0, -1]) / d ** 2
        dxy = (u[1, 1] - u[1, -1] - u[-1, 1] + u[-1, -1]) / (4 * d * d)
        grad_div = np.array([ddx[0] + dxy[1], dxy[0] + ddy[1]])
        residual = self.MU * lap + (self.LAM + self.MU) * grad_div + self.RHO * w * w * u[0, 0]
        assert np.abs(residual).max() < 1e-4 * self.MU * np.abs(lap).max()


class TestHalfSpace:
    VP, VS, RHO = 2.0, 1.15, 2.3
    MU, LAM = RHO * VS ** 2, RHO * (VP ** 2 - 2 * VS ** 2)
    PULSE = GaussianPulse(0.02, 60.0, 1)
    T = np.arange(0.0, 450.0, 1.0)

    def test_rayleigh_speed(self):
        # Poisson solid (vp = sqrt(3) vs): c^2 / vs^2 = 2 - 2 / sqrt(3)
        assert rayleigh_speed(np.sqrt(3.0), 1.0) == pytest.approx(np.sqrt(2 - 2 / np.sqrt(3)),
                                                                  rel=1e-13)
        c = rayleigh_speed(self.VP, self.VS)
        xi, kappa = (c / self.VS) ** 2, (self.VS / self.VP) ** 2
        assert (2 - xi) ** 2 == pytest.approx(4 * np.sqrt(1 - kappa * xi) * np.sqrt(1 - xi),
                                              rel=1e-13)
        assert 0.87 * self.VS < c < self.VS
        with pytest.raises(ValueError):
            rayleigh_speed(1.0, 1.2)

    @pytest.mark.parametrize("source, ys", [("explosion", -30.0), ("force", -20.0),
                                            ("force", 0.0)])
    def test_the_surface_is_free_of_traction(self, source, ys):
        w, d = np.array([2 * np.pi * 0.02]), 0.1
        x0 = 57.0
        xr = np.array([x0 - d, x0, x0 + d, x0, x0])
        yr = np.array([0.0, 0.0, 0.0, -d, -2 * d])
        vx, vy = (v[:, 0] for v in half_space_spectra(xr, yr, 0.0, ys, 0.0, self.VP, self.VS,
                                                       self.RHO, w, np.ones(1), source))
        dx = [(v[2] - v[0]) / (2 * d) for v in (vx, vy)]
        dy = [(3 * v[1] - 4 * v[3] + v[4]) / (2 * d) for v in (vx, vy)]   # one-sided, 2nd order
        sxy = self.MU * (dy[0] + dx[1])
        syy = self.LAM * (dx[0] + dy[1]) + 2 * self.MU * dy[1]
        scale = self.MU * np.abs(dx + dy).max()
        assert abs(sxy) < 2e-3 * scale and abs(syy) < 2e-3 * scale   # measured <= 1.5e-3

    def test_a_force_on_the_surface_is_the_limit_of_a_buried_one(self):
        w = 2 * np.pi * np.array([0.01, 0.03])
        xr, yr = np.array([40.0, -70.0, 10.0]), np.array([-25.0, -60.0, -5.0])
        on = half_space_spectra(xr, yr, 0.0, 0.0, 0.0, self.VP, self.VS, self.RHO, w,
                                np.ones(2))
        near = half_space_spectra(xr, yr, 0.0, -1e-3, 0.0, self.VP, self.VS, self.RHO, w,
                                  np.ones(2))
        for a, b in zip(on, near):
            assert np.abs(a - b).max() < 2e-4 * np.abs(a).max()   # measured 6e-5 (depth 1e-3)

    @pytest.mark.parametrize("source, ys, xr, yr", [
        ("force", 0.0, [60.0, -150.0, 100.0, 40.0], [0.0, 0.0, -50.0, -120.0]),
        ("explosion", -40.0, [80.0, 100.0, -30.0], [0.0, -20.0, -100.0]),
    ])
    def test_wavenumber_sum_agrees_with_cagniard_de_hoop(self, source, ys, xr, yr):
        # surface and buried receivers: P, S, head and Rayleigh waves, reflected P and P-to-S
        omega = frequencies(1.0 / 1600.0, 160)                # to 0.1 kHz, period 1600 ms
        fx, fy = half_space_spectra(xr, yr, 0.0, ys, 0.0, self.VP, self.VS, self.RHO, omega,
                                    self.PULSE.spectrum(omega), source)
        cx, cy = half_space_cagniard(xr, yr, 0.0, ys, 0.0, self.VP, self.VS, self.RHO, self.T,
                                     self.PULSE, source)
        for f, c in ((fx, cx), (fy, cy)):
            s = synthesise(f, omega, self.T)
            ref = np.linalg.norm(s, axis=1)
            err = np.linalg.norm(s - c, axis=1)
            assert np.all(err <= 1e-3 * ref + 1e-9 * ref.max())   # measured <= 3e-5
        assert np.all(np.abs(cy).max(axis=1) > 0)

    def test_the_rayleigh_wave_dominates_the_surface_and_arrives_at_x_over_c_r(self):
        c = rayleigh_speed(self.VP, self.VS)
        x = np.array([400.0])
        t = np.arange(0.0, 800.0, 0.5)
        vx, vy = half_space_cagniard(x, [0.0], 0.0, 0.0, 0.0, self.VP, self.VS, self.RHO, t,
                                     GaussianPulse(0.02, 60.0, 0))
        # a Gaussian force: u_x carries a delta at x / c_R, so v_x = w'(t - x / c_R) times a
        # constant; the P wave before it is much weaker
        peak = t[np.argmax(np.abs(vy[0]))]
        assert abs(peak - (x[0] / c + 60.0)) < 12.0
        late = t > x[0] / c + 20.0
        assert np.abs(vx[0][late]).max() > 5 * np.abs(vx[0][t < x[0] / self.VS + 20.0]).max()

    def test_rejects_sources_and_receivers_outside(self):
        w, one = np.array([0.1]), np.ones(1)
        with pytest.raises(ValueError, match="half-space"):
            half_space_spectra([1.0], [5.0], 0.0, -1.0, 0.0, 2.0, 1.0, 2.0, w, one)
        with pytest.raises(ValueError, match="depth"):
            half_space_spectra([1.0], [-5.0], 0.0, 0.0, 0.0, 2.0, 1.0, 2.0, w, one, "explosion")
        with pytest.raises(ValueError, match="source"):
            half_space_spectra([0.0], [0.0], 0.0, 0.0, 0.0, 2.0, 1.0, 2.0, w, one)
        with pytest.raises(ValueError, match="surface"):
            half_space_cagniard([1.0], [-1.0], 0.0, -3.0, 0.0, 2.0, 1.0, 2.0, self.T,
                                self.PULSE, "force")


def _christoffel_ray(theta, vp, vs, epsilon, delta, mode):
    """(ray angle from the axis, group speed, phase speed) from w(k) of the Christoffel equation
    (its gradient by central differences in the wavenumber plane)."""
    c33, c55 = vp * vp, vs * vs
    c11 = c33 * (1 + 2 * epsilon)
    e = np.sqrt((c33 - c55) * (c33 * (1 + 2 * delta) - c55))

    def omega(kx, kz):
        g = np.array([[c11 * kx * kx + c55 * kz * kz, e * kx * kz],
                      [e * kx * kz, c55 * kx * kx + c33 * kz * kz]])
        lam = np.linalg.eigvalsh(g)
        return np.sqrt(lam[1] if mode == "qp" else lam[0])

    kx, kz, h = np.sin(theta), np.cos(theta), 1e-6
    gx = (omega(kx + h, kz) - omega(kx - h, kz)) / (2 * h)
    gz = (omega(kx, kz + h) - omega(kx, kz - h)) / (2 * h)
    return np.arctan2(gx, gz), np.hypot(gx, gz), omega(kx, kz)


class TestTiltedTransverseIsotropy:
    MEDIUM = dict(vp=3.0, vs=1.6, epsilon=0.22, delta=0.08)

    def test_isotropic_limit(self):
        a = np.linspace(-180, 180, 37)
        for mode, v in (("qp", 2.5), ("qsv", 1.4)):
            assert np.allclose(group_velocity(a, 2.5, 1.4, 0.0, 0.0, 33.0, mode), v, rtol=1e-12)
            assert np.allclose(phase_velocity(a, 2.5, 1.4, 0.0, 0.0, 33.0, mode), v, rtol=1e-12)
        x, y = 100 * np.sin(np.radians(a)), 100 * np.cos(np.radians(a))
        t = anisotropic_arrival_times(x + 5, y - 3, 5.0, -3.0, 2.5, 1.4, 0.0, 0.0, 70.0)
        assert np.allclose(t, 40.0, rtol=1e-12)

    def test_along_and_across_the_axis(self):
        m = self.MEDIUM
        for tilt in (0.0, 25.0, 90.0):
            assert group_velocity(tilt, **m, tilt_deg=tilt) == pytest.approx(m["vp"], rel=1e-12)
            assert group_velocity(tilt + 90, **m, tilt_deg=tilt) == pytest.approx(
                m["vp"] * np.sqrt(1 + 2 * m["epsilon"]), rel=1e-12)
            assert group_velocity(tilt, **m, tilt_deg=tilt, mode="qsv") == pytest.approx(
                m["vs"], rel=1e-12)

    def test_tilt_rotates_the_pattern_symmetric_about_the_axis(self):
        m, tilt = self.MEDIUM, 35.0
        a = np.linspace(0.0, 180.0, 19)
        tilted = group_velocity(a, **m, tilt_deg=tilt)
        assert np.allclose(tilted, group_velocity(a - tilt, **m), rtol=1e-12)
        assert np.allclose(group_velocity(tilt + a, **m, tilt_deg=tilt),
                           group_velocity(tilt - a, **m, tilt_deg=tilt), rtol=1e-10)
        assert np.ptp(tilted) > 0.1

    @pytest.mark.parametrize("mode", ["qp", "qsv"])
    def test_group_velocity_is_the_gradient_of_the_christoffel_frequency(self, mode):
        m = self.MEDIUM
        for theta in np.radians([5.0, 20.0, 40.0, 60.0, 80.0]):
            psi, speed, phase = _christoffel_ray(theta, **m, mode=mode)
            assert group_velocity(np.degrees(psi), **m, mode=mode) == pytest.approx(speed,
                                                                                     rel=1e-8)
            assert phase_velocity(np.degrees(theta), **m, mode=mode) == pytest.approx(
                phase, rel=1e-12)

    def test_weak_anisotropy_is_the_first_order_limit(self):
        theta = np.linspace(0, 90, 10)
        s, c = np.sin(np.radians(theta)), np.cos(np.radians(theta))
        for eps, dl in ((0.01, 0.004), (0.02, -0.01)):
            v = phase_velocity(theta, 3.0, 1.6, eps, dl)
            weak = 3.0 * (1 + dl * s * s * c * c + eps * s ** 4)
            assert np.abs(v / weak - 1).max() < 2 * (abs(eps) + abs(dl)) ** 2

    def test_rejects_unstable_media(self):
        with pytest.raises(ValueError, match="stable"):
            group_velocity(0.0, 2.0, 1.0, 0.1, -0.9)
        with pytest.raises(ValueError, match="mode"):
            group_velocity(0.0, 2.0, 1.0, 0.1, 0.1, mode="sh")


def _one_dimensional(w, h, modulus, density, stretch, end):
    """Reflection at z = 0 of a unit wave exp(-i k z) sent in from z = 0 along a line of nodes
    z = 0, h, 2h, ..., solving d/dz((M / s) du/dz) + rho w^2 s u = 0 by second-order finite
    differences: `modulus`, `stretch` at the midpoints, `density`, `stretch` at the nodes
    (stretch = (midpoints, nodes)); the far end outgoing ("open") or fixed ("rigid")."""
    from scipy.sparse import diags
    from scipy.sparse.linalg import spsolve
    s_mid, s_node = stretch
    a = modulus / s_mid                                  # n - 1 midpoints
    n = density.size
    k0 = w * np.sqrt(density[0] / modulus[0])
    main = np.zeros(n, complex)
    main[1:] -= a
    main[:-1] -= a
    main += density * w * w * s_node * h * h
    lower, upper = a.astype(complex), a.astype(complex)
    rhs = np.zeros(n, complex)
    # z = 0: u' - i k0 u = -2 i k0 through a ghost node left of node 0
    upper[0] += a[0]
    main[0] += -a[0] - a[0] * 2 * h * 1j * k0
    rhs[0] = -a[0] * 2 * h * 2j * k0
    if end == "rigid":
        main[-1], lower[-1], rhs[-1] = 1.0, 0.0, 0.0
    else:
        kn = w * np.sqrt(density[-1] / modulus[-1])
        lower[-1] += a[-1]
        main[-1] += -a[-1] - a[-1] * 2 * h * 1j * kn
    u = spsolve(diags([lower, main, upper], [-1, 0, 1], format="csc"), rhs)
    return u[0] - 1.0


class TestNormalReflectionAndAbsorbingLayers:
    def test_interface_against_a_one_dimensional_solution(self):
        w, h = 2 * np.pi * 0.02, 0.05
        for (r1, c1), (r2, c2) in (((2.0, 2.0), (2.6, 3.5)), ((2.4, 3.0), (1.0, 1.5)),
                                   ((2.2, 2.5), (1.03, 1.48))):     # the last: water
            n = 8001
            z = np.arange(n) * h
            mid = 0.5 * (z[1:] + z[:-1])
            interface = z[n // 2]
            modulus = np.where(mid < interface, r1 * c1 * c1, r2 * c2 * c2)
            density = np.where(z < interface, r1, r2).astype(float)
            density[n // 2] = 0.5 * (r1 + r2)
            refl = _one_dimensional(w, h, modulus, density, (np.ones(n - 1), np.ones(n)), "open")
            # the incident wave travels to the interface and back: phase exp(-2 i k1 z_i)
            refl *= np.exp(2j * w / c1 * interface)
            r, t = normal_reflection(r1, c1, r2, c2)
            assert refl == pytest.approx(r, abs=2e-5)          # measured <= 5e-6
            assert r ** 2 + (r2 * c2) / (r1 * c1) * t ** 2 == pytest.approx(1.0, rel=1e-12)
            assert normal_reflection(r1, c1, r2, c2, "pressure")[0] == pytest.approx(-r, rel=1e-15)
        assert normal_reflection(2.0, 2.0, 0.0, 0.0)[0] == 1.0          # free surface
        q = complex_velocity(3.0, 20.0, [0.1], 0.02)
        assert abs(np.imag(normal_reflection(2.0, 2.0, 2.0, q)[0][0])) > 0

    @pytest.mark.parametrize("order, target", [(2, 1e-3), (3, 1e-2)])
    def test_layer_reflection_against_a_stretched_line(self, order, target):
        c, rho, w = 2.0, 2.0, 2 * np.pi * 0.02                 # wavelength 100
        thickness = 300.0
        d0 = pml_d0(target, thickness, order, c)
        assert pml_reflection(d0, thickness, order, c) == pytest.approx(target, rel=1e-13)
        assert pml_reflection(d0, thickness, order, c, 60.0) == pytest.approx(np.sqrt(target),
                                                                              rel=1e-13)
        from scipy.integrate import quad
        integral = quad(lambda x: pml_profile(x, d0, thickness, order), 0, thickness)[0]
        assert np.exp(-2 * integral / c) == pytest.approx(target, rel=1e-10)
        h = 0.1
        z = np.arange(0.0, 200.0 + thickness + h / 2, h)
        mid = 0.5 * (z[1:] + z[:-1])

        def stretch(x):
            return 1 - 1j * pml_profile(x - 200.0, d0, thickness, order) / w

        refl = _one_dimensional(w, h, np.full(mid.size, rho * c * c), np.full(z.size, rho),
                                (stretch(mid), stretch(z)), "rigid")
        assert abs(refl) == pytest.approx(target, rel=0.01)   # measured 0.25 %, 0.03 %

    def test_rejects_bad_layers(self):
        with pytest.raises(ValueError, match="target"):
            pml_d0(1.5, 10.0, 2, 2.0)
        with pytest.raises(ValueError, match="thickness"):
            pml_reflection(1.0, 0.0, 2, 2.0)
        with pytest.raises(ValueError, match="quantity"):
            normal_reflection(1.0, 1.0, 1.0, 1.0, "energy")


def test_the_package_exports_the_exact_solutions():
    import stripwave
    from stripwave import exact
    for name in stripwave._EXACT:
        assert getattr(stripwave, name) is getattr(exact, name)
    with pytest.raises(AttributeError):
        stripwave.no_such_solution
