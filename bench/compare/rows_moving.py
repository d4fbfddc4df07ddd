# Sliding-window statistics (bench_moving) against bottleneck's move_* functions
# and pandas' rolling windows, on 10^7 samples of the benchmark's signal (noise
# on an offset of 100 with a +-1 square wave of period 500), windows of 10^3
# and 10^5 samples, a result for every sample from the first one on
# (min_count=1, min_periods=1). Ours is fed in runs of 1024 through the host
# channel, as the host feeds it; the peers take the whole array at once.
import numpy as np

SAMPLES = 10_000_000
_signal = None


def _x():
    global _signal
    if _signal is None:
        rng = np.random.default_rng(11)
        square = np.where((np.arange(SAMPLES) // 250) % 2 == 1, 1.0, -1.0)
        _signal = 100.0 + rng.standard_normal(SAMPLES) + square
    return _signal


def _bottleneck(kind, w):
    import bottleneck as bn
    x = _x()
    if kind == "mean":
        return (lambda: bn.move_mean(x, w, min_count=1)), SAMPLES
    f = bn.move_var if kind == "var" else bn.move_std
    # The sample variance, as ours: ddof = 1.
    return (lambda: f(x, w, min_count=1, ddof=1)), SAMPLES


def _pandas(kind, w):
    import pandas as pd
    r = pd.Series(_x()).rolling(w, min_periods=1)
    return getattr(r, kind), SAMPLES


ROWS = []
for _w in (1000, 100000):
    for _label, _ours, _kind, _target in (("moving mean", "avg", "mean", 1.0),
                                          ("moving variance", "var", "var", 1.5),
                                          ("moving standard deviation", "msd", "std", 1.5)):
        ROWS.append(dict(row="%s, W = %d" % (_label, _w), target=_target,
                         ours=("bench_moving", "%s/%d" % (_ours, _w)),
                         peer_name="bottleneck",
                         peer=lambda k=_kind, w=_w: _bottleneck(k, w)))
    ROWS.append(dict(row="moving kurtosis, W = %d" % _w, target=1.0,
                     ours=("bench_moving", "kurt/%d" % _w),
                     peer_name="pandas",
                     peer=lambda w=_w: _pandas("kurt", w)))
