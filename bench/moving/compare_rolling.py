# Sliding-window statistics of pandas and bottleneck on 10^7 samples, ns per sample,
# for comparison with bench_moving (same window lengths). Development-time only:
#   apt-get install python3-pandas python3-bottleneck && /usr/bin/python3 bench/moving/compare_rolling.py
import time, numpy as np, pandas as pd, bottleneck as bn
x = np.random.default_rng(1).standard_normal(10_000_000)
s = pd.Series(x)
def t(f):
    t0=time.perf_counter(); f(); return (time.perf_counter()-t0)/len(x)*1e9
for W in (1000, 100000):
    r = s.rolling(W, min_periods=1)
    print(W, "pandas mean %.1f std %.1f var %.1f kurt %.1f max %.1f median %.1f" % (
        t(r.mean), t(r.std), t(r.var), t(r.kurt), t(r.max), t(r.median)))
    print(W, "bottleneck mean %.1f std %.1f var %.1f max %.1f median %.1f" % (
        t(lambda: bn.move_mean(x, W, min_count=1)), t(lambda: bn.move_std(x, W, min_count=1)),
        t(lambda: bn.move_var(x, W, min_count=1)), t(lambda: bn.move_max(x, W, min_count=1)),
        t(lambda: bn.move_median(x, W, min_count=1))))
