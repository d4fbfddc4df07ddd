#!/usr/bin/python3
# Golden Welch densities for the PSD and cross PSD, from SciPy.
#
#   /usr/bin/python3 tests/tools/gen_psd_golden.py tests/data
#
# writes tests/data/psd_welch_csd_seed11.txt, one block per case:
#   case <name> <rate> <N> <noverlap> <window code> <samples>
#   x <samples values>
#   y <samples values>
#   pxx <N/2 + 1 values>      scipy.signal.welch(x, ...)
#   pxy_re <N/2 + 1 values>   scipy.signal.csd(x, y, ...): conj(X) Y
#   pxy_im <N/2 + 1 values>
# always with detrend=False, scaling='density', nperseg=N, and the window given
# as its N values: the block engine's periodic formula (n / N) times its
# amplitude correction factor. Values carry 17 significant digits.
import os
import sys

import numpy as np
from scipy import signal

SEED = 11

# (name, rate, N, noverlap, window code, number of segments)
CASES = [
    ("hann_n64_ov0", 1000.0, 64, 0, 2, 6),
    ("hann_n64_ov48", 1000.0, 64, 48, 2, 21),
    ("rect_n64_ov0", 1000.0, 64, 0, 0, 6),
    ("flattop_n45_ov0", 900.0, 45, 0, 7, 5),
    ("blackman_harris_n45_ov33", 900.0, 45, 33, 6, 11),
]


def window(code, n):
    t = np.arange(n) / n
    c = np.cos
    p = 2 * np.pi * t
    if code == 0:
        return np.full(n, 1.051)
    if code == 2:
        return (0.5 - 0.5 * c(p)) * 2.07
    if code == 6:
        return (0.359 - 0.488 * c(p) + 0.141 * c(2 * p) - 0.012 * c(3 * p)) * 2.883
    if code == 7:
        return (1 - 1.93 * c(p) + 1.29 * c(2 * p) - 0.388 * c(3 * p) + 0.032 * c(4 * p)) * 1.035
    raise ValueError(code)


def row(f, name, values):
    f.write(name + " " + " ".join(f"{v:.17g}" for v in values) + "\n")


def main(out_dir):
    rng = np.random.default_rng(SEED)
    path = os.path.join(out_dir, f"psd_welch_csd_seed{SEED}.txt")
    with open(path, "w") as f:
        for name, rate, n, noverlap, code, segments in CASES:
            count = n + (n - noverlap) * (segments - 1)
            t = np.arange(count) / rate
            # Noise plus a tone, and a second channel that is partly the first
            # delayed: a cross density with real and imaginary parts.
            x = rng.uniform(-1.0, 1.0, count) + 0.7 * np.sin(2 * np.pi * 5 * rate / n * t)
            y = 0.6 * np.roll(x, 3) + 0.5 * rng.uniform(-1.0, 1.0, count)
            w = window(code, n)
            kw = dict(fs=rate, window=w, nperseg=n, noverlap=noverlap, detrend=False, scaling="density")
            _, pxx = signal.welch(x, **kw)
            _, pxy = signal.csd(x, y, **kw)
            f.write(f"case {name} {rate:.17g} {n} {noverlap} {code} {count}\n")
            row(f, "x", x)
            row(f, "y", y)
            row(f, "pxx", pxx)
            row(f, "pxy_re", pxy.real)
            row(f, "pxy_im", pxy.imag)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tests/data")
