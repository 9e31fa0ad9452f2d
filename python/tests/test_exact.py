"""The exact solutions against their limits and against independent computations."""

import math

import numpy as np
import pytest

from stripwave.exact import complex_velocity, explosion_spectra
from stripwave.materials import constant_q


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
