"""Block measurements against NumPy's reshape-and-reduce.

Ours: bench_instant's BM_block_* push 10^7 samples of a sine plus noise in runs
of 1024 through one measurement with blocks of N samples (0.1 s at N * 10 Hz).
The peer computes the same block results from the same amount of data, one
reshape of the whole recording and a reduction along the blocks, as a NumPy user
would write it.
"""
import numpy as np

LENGTH = 10_000_000
BLOCK_TIME = 0.1
_signal = None


def _data():
    global _signal
    if _signal is None:
        rng = np.random.default_rng(23)
        i = np.arange(LENGTH, dtype=np.float64)
        _signal = 0.3 + np.sin(2.0 * np.pi * i / 50.0) + rng.normal(0.0, 0.05, LENGTH)
    return _signal


def _blocks(n):
    return _data().reshape(-1, n)


def _max(n):
    b = _blocks(n)
    return (lambda: b.max(axis=1)), LENGTH


def _min(n):
    b = _blocks(n)
    return (lambda: b.min(axis=1)), LENGTH


def _peak_to_peak(n):
    b = _blocks(n)
    return (lambda: b.max(axis=1) - b.min(axis=1)), LENGTH


def _offset(n):
    # Midpoint of the block's extremes.
    b = _blocks(n)
    return (lambda: (b.max(axis=1) + b.min(axis=1)) * 0.5), LENGTH


def _peak(n):
    # The larger distance of the extremes from their midpoint.
    b = _blocks(n)

    def run():
        hi = b.max(axis=1)
        lo = b.min(axis=1)
        mid = (hi + lo) * 0.5
        return np.maximum(np.abs(hi - mid), np.abs(lo - mid))

    return run, LENGTH


def _mean(n):
    b = _blocks(n)
    return (lambda: b.mean(axis=1)), LENGTH


def _frequency(n):
    # Rising crossings p < L <= x of the midpoint L of each block's extremes, p
    # being the sample before x (for a block's first sample, the last sample of
    # the block before; 0 before the first block); the frequency is
    # (fronts - 1) / (time from the first front to the last), 0 with fewer than
    # two fronts.
    b = _blocks(n)
    dt = BLOCK_TIME / n

    def run():
        level = ((b.max(axis=1) + b.min(axis=1)) * 0.5)[:, None]
        below = b < level
        reached = b >= level
        fronts = np.empty_like(below)
        fronts[:, 1:] = below[:, :-1] & reached[:, 1:]
        before = np.empty(b.shape[0])
        before[0] = 0.0
        before[1:] = b[:-1, -1]
        fronts[:, 0] = (before < level[:, 0]) & reached[:, 0]
        count = np.count_nonzero(fronts, axis=1)
        first = fronts.argmax(axis=1)
        last = n - 1 - fronts[:, ::-1].argmax(axis=1)
        span = np.maximum(last - first, 1) * dt
        return np.where(count >= 2, (count - 1) / span, 0.0)

    return run, LENGTH


ROWS = []
for _label, _name, _peer in [
    ("block maximum", "max", _max),
    ("block minimum", "min", _min),
    ("block peak-to-peak", "peak_to_peak", _peak_to_peak),
    ("block offset", "offset", _offset),
    ("block peak", "peak", _peak),
    ("block mean", "mean", _mean),
    ("block frequency", "frequency", _frequency),
]:
    for _n in (1000, 100000):
        ROWS.append(dict(row="%s, N = %d" % (_label, _n), target=1.0,
                         ours=("bench_instant", "BM_block_%s/%d" % (_name, _n)),
                         peer_name="NumPy", peer=(lambda p=_peer, n=_n: p(n))))
