"""The source wavelet and its filtered spectrum as the program builds them.

The program normalises the wavelet to a largest magnitude of 1, transforms it with a direct sum
at the frequencies (j - 1/2) delf, tapers the spectrum linearly from f3 down to zero at f4, and
uses the result as the source strength of frequency j.  Traces and snapshots are sums over the
same frequencies; `synthesise` is that inverse sum.
"""

from __future__ import annotations

import math

import numpy as np

#: Single-precision constants the program uses as they are.
_PULSE_ROUNDING = 1.000100016593933
_TINY = 9.9999998245167e-15


def wavelet(key: int, freq: float, dt: float, nt: int) -> np.ndarray:
    """The normalised wavelet of type `key` at the times k dt (a type-2 pulse may lengthen it)."""
    w0 = 2.0 * math.pi * freq
    alfa = w0 * 0.79 / math.pi
    if key == 2:
        psi = 8.0 * freq * freq
        width = 0.5 / freq
        ts = 2.5 * width
        npul = int(3.0 * ts / dt + _PULSE_ROUNDING)
        nt = max(nt, npul)
        t = np.arange(nt) * dt - ts
        w = np.exp(-(t * t) * psi) * (t * (-2.0 * psi))
    else:
        t = np.arange(nt) * dt
        if key == 1:
            w = (4.0 * alfa * t) * np.exp(-alfa * t) * np.sin(w0 * t)
        elif key == 3:
            w = (np.sin(2.0 * w0 * t) + np.sin(w0 * t)) * (4.0 * alfa * t) * np.exp(-alfa * t)
        elif key == 4:
            period = 1.0 / freq
            x = (t - 1.4 * period) * math.pi / period
            u = x * x
            w = np.exp(-u) * (u - 0.5)
        else:
            raise ValueError(f"wavelet type {key}: must be 1 to 4")
    amax = np.max(np.abs(w)) if w.size else 0.0
    if amax == 0:
        raise ValueError("the wavelet is zero at every sample")
    w = w / amax
    w[np.abs(w) < _TINY] = 0.0
    return w


def frequencies(delf: float, jw2: int) -> np.ndarray:
    """Angular frequencies (j - 1/2) 2 pi delf, j = 1 .. jw2."""
    return (np.arange(jw2) + 0.5) * (2.0 * math.pi * delf)


def spectrum(samples: np.ndarray, dt: float, omega: np.ndarray) -> np.ndarray:
    """dt times the sum of samples(k) exp(-i w (k-1) dt), for every w."""
    t = np.arange(samples.size) * dt
    return dt * (np.exp(-1j * np.outer(omega, t)) @ samples)


def synthesise(spectra: np.ndarray, omega: np.ndarray, t: np.ndarray) -> np.ndarray:
    """(delw / pi) times the sum of Re(S(j) exp(i w_j t)): the program's inverse sum.

    `spectra` may hold several series along its first axes; the last axis runs over frequency.
    """
    delw = omega[1] - omega[0] if omega.size > 1 else 2.0 * omega[0]
    phase = np.exp(1j * np.outer(omega, t))
    return (delw / math.pi) * np.real(spectra @ phase)


def source_spectrum(key: int, freq: float, dt: float, nt: int, band, npf: int) -> np.ndarray:
    """The filtered source spectrum sour(j), j = 1 .. jw2, of a run."""
    f1, f2, f3, f4 = band
    delf = f4 / npf
    if4 = int(f4 / delf + 1.0)
    if3 = int(f3 / delf + 1.0)
    if if3 == if4:
        if3 = if4 - 1
    jw2 = if4 - 1
    omega = frequencies(delf, jw2)
    sour = spectrum(wavelet(key, freq, dt, nt), dt, omega)
    if if3 != 1 and if3 <= if4:
        j = np.arange(1, jw2 + 1)
        taper = np.where(j >= if3, (if4 - j) / (if4 - if3), 1.0)
        sour = sour * taper
    return sour
