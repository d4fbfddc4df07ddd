"""Decimation through ryx::math::resampler (program bench_resampler): fed one frame
per call against the same resampler fed runs of 1024 frames (as the acquisition
analysers feed it, in pieces of each run), and the latter against SciPy's
resample_poly on the same conversion.

Ratios: 2 and 4 (one stage), 100 (100 -> 2 -> 1), 5000 (three stages of 63.3,
39.5 and 2 frames per output), 65536 (exact divisions by 64) and the prime 64013
(a fractional first stage). The signal is the benchmark's: sin(0.001 n) in single
precision, max(65536, 16 * ratio) samples.
"""
import numpy as np

RATIOS = [2, 4, 100, 5000, 65536, 64013]


def _length(ratio):
    return max(1 << 16, 16 * ratio)


def _signal(n):
    return np.sin(0.001 * np.arange(n)).astype(np.float32)


def _resample_poly(ratio):
    from scipy.signal import resample_poly

    x = _signal(_length(ratio))
    return (lambda: resample_poly(x, 1, ratio)), x.size


ROWS = []
for _ratio in RATIOS:
    ROWS.append(dict(
        row="resampler one frame per call vs blocks, ratio %d" % _ratio, target=1.1,
        ours=("bench_resampler", "BM_resampler_per_frame/%d" % _ratio),
        peer_name="ours, 1024-frame runs",
        peer=("bench_resampler", "BM_resampler_blocks/%d" % _ratio)))
for _ratio in RATIOS:
    ROWS.append(dict(
        row="resampler in runs vs resample_poly, ratio %d" % _ratio, target=1.0,
        ours=("bench_resampler", "BM_resampler_blocks/%d" % _ratio),
        peer_name="SciPy",
        peer=lambda r=_ratio: _resample_poly(r)))
