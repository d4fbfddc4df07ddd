#!/usr/bin/python3
# Golden data for the two-channel analysers (tests/data/dbl_coh_corr_seed5.txt).
# Every sample is a float32 value, so that the analysers' single-precision
# decimation stage (a factor of 1 here) passes it unchanged.
#
# coh: scipy.signal.coherence over K frames of N samples (rectangular window,
#      no overlap, no detrending), channel 1 a filtered copy of channel 0 plus
#      independent noise.
# corr: y[m] = N / (beta G) sum_n x0[n + m] x1[n] for m = 0 .. M-1 over each
#      frame (3M - 1 samples, then M - 1 zeros; N = 4M - 2, G = N/2 + 1,
#      beta = 1 for the rectangular window), computed with numpy.correlate;
#      channel 0 lags channel 1 by 3 samples.
#
# Run with Debian's python: /usr/bin/python3 tests/tools/dbl_golden.py
import numpy as np
from scipy import signal

rng = np.random.default_rng(5)
out = []


def f32(v):
    return np.asarray(v, dtype=np.float32).astype(np.float64)


def row(name, values):
    out.append(name + " " + " ".join(repr(float(v)) for v in values))


# Coherence: rate 1000, N = 64 (32 lines), K = 8 frames.
rate, n, k = 1000.0, 64, 8
x = f32(rng.standard_normal(n * k))
y = f32(signal.lfilter([0.5, 0.3, -0.2], [1.0, -0.4], x) + 0.3 * rng.standard_normal(n * k))
_, c = signal.coherence(x, y, fs=rate, window="boxcar", nperseg=n, noverlap=0, detrend=False)
out.append("coh %r %d %d" % (rate, n // 2, k))
row("x0", x)
row("x1", y)
row("msc", c)

# Correlation: rate 1600, time 0.01 -> M = 8, frames of 23 samples, N = 30, 4 frames.
rate, m, frames = 1600.0, 8, 4
held = 3 * m - 1
big_n = 4 * m - 2
g = big_n // 2 + 1
x1 = f32(rng.standard_normal(held * frames + 3))
x0 = f32(np.concatenate([np.zeros(3), x1[:-3]]) + 0.1 * rng.standard_normal(x1.size))
x0, x1 = x0[:held * frames], x1[:held * frames]
out.append("corr %r %d %d" % (rate, m, frames))
row("x0", x0)
row("x1", x1)
for f in range(frames):
    a = np.concatenate([x0[f * held:(f + 1) * held], np.zeros(m - 1)])
    b = np.concatenate([x1[f * held:(f + 1) * held], np.zeros(m - 1)])
    full = np.correlate(a, b, mode="full")  # full[len(b) - 1 + j] = sum_n a[n + j] b[n]
    row("lags", big_n / (1.0 * g) * full[big_n - 1:big_n - 1 + m])

with open(__file__.replace("tools/dbl_golden.py", "data/dbl_coh_corr_seed5.txt"), "w") as fh:
    fh.write("\n".join(out) + "\n")
