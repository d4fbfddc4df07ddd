# Moving correlation (bench_moving_corr) against SciPy's overlap-add convolution
# (method fft) and NumPy's direct convolution (method faltung), on the same data:
# the input and the reference are fractional parts of multiples of two
# irrational steps, less 1/2, the same doubles as the benchmark's. Both compute
# y[m] = sum_j r[j] x[m - L + 1 + j], one output per input: the first n values
# of the full convolution with the reversed reference (mean-removed for
# faltung). Ours is fed in runs of 1024 through the host channel and must give
# each run's outputs before the next run comes, so its transforms span a run
# and the reference (about 2L for L >= 1024) where SciPy, with the whole array
# at hand, picks the block length that costs least; the peers take the whole
# array at once. For L = 65536 that costs one transform of 2^17 per run of 1024,
# some 25 times SciPy's cost per sample: its target allows for that.
import numpy as np


def _sequence(n, step):
    return np.fmod(np.arange(n, dtype=np.float64) * step, 1.0) - 0.5


def _x(n):
    return _sequence(n, 0.6180339887498949)


def _taps(length, centred):
    r = _sequence(length, 0.7548776662466927)
    if centred:
        r = r - r.mean()
    return r[::-1].copy()


def _oaconvolve(length, n):
    from scipy.signal import oaconvolve
    x, g = _x(n), _taps(length, False)
    return (lambda: oaconvolve(x, g, mode="full")[:n]), n


def _convolve(length, n):
    x, g = _x(n), _taps(length, True)
    return (lambda: np.convolve(x, g, mode="full")[:n]), n


ROWS = []
for _length, _n, _target in ((64, 1 << 21, 1.0), (1024, 1 << 21, 1.0), (65536, 1 << 18, 40.0)):
    ROWS.append(dict(row="moving correlation fft, L = %d" % _length, target=_target,
                     ours=("bench_moving_corr", "corr_fft/%d/%d" % (_length, _n)),
                     peer_name="SciPy oaconvolve",
                     peer=lambda l=_length, n=_n: _oaconvolve(l, n)))
for _length, _n, _target in ((64, 1 << 21, 1.0), (1024, 1 << 19, 1.0), (65536, 1 << 15, 1.0)):
    ROWS.append(dict(row="moving correlation faltung, L = %d" % _length, target=_target,
                     ours=("bench_moving_corr", "corr_faltung/%d/%d" % (_length, _n)),
                     peer_name="NumPy convolve",
                     peer=lambda l=_length, n=_n: _convolve(l, n)))
