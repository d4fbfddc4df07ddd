"""Accuracy of pandas' rolling kurtosis on data far from 0, for comparison with
the moving kurtosis (tests/moving/statistics_tests.cpp,
kurtosis_and_variance_on_a_large_offset_match_long_double_closely).

The same construction: uniform noise on [-1, 1] on an offset of 1e6, with a step
to 3e6 halfway; sampled outputs against a long-double two-pass whose deviations
are formed from the window's first sample (exact). Prints the worst error,
absolute where the kurtosis is below 1 and relative above, for the first half
alone (one level) and for the whole recording (windows on either level, and
across the step). Run with Debian's interpreter:
    /usr/bin/python3 tests/tools/kurt_pandas_error.py
"""
import numpy as np
import pandas as pd

N = 300_000


def reference(v):
    origin = np.longdouble(v[0])
    d = v.astype(np.longdouble) - origin
    d -= d.mean()
    n = np.longdouble(len(v))
    m2 = (d * d).sum() / n
    m4 = (d ** 4).sum() / n
    return (n * n - 1) / ((n - 2) * (n - 3)) * (m4 / (m2 * m2) - 3 + 6 / (n + 1))


def worst(x, w, indices):
    got = pd.Series(x).rolling(w).kurt().to_numpy()
    out = 0.0
    for k in indices:
        want = reference(x[k - w + 1:k + 1])
        out = max(out, float(abs(np.longdouble(got[k]) - want) / max(1, abs(want))))
    return out


def main():
    rng = np.random.default_rng(57)
    x = rng.uniform(-1.0, 1.0, N)
    x += np.where(np.arange(N) < N // 2, 1e6, 3e6)
    half = N // 2
    print("pandas", pd.__version__)
    for w in (1000, 10000):
        alone = worst(x[:half], w, range(w - 1, half, 101))
        levels = worst(x, w, [k for k in range(w - 1, N, 101) if not half <= k < half + w])
        step = worst(x, w, range(half, half + w, 101))
        print("W = %5d: one level alone %.3g; in the recording with the step: on the levels %.3g, "
              "across the step %.3g" % (w, alone, levels, step))


if __name__ == "__main__":
    main()
