#!/usr/bin/python3
# Golden block statistics for the instant measurements, from NumPy and SciPy.
#
#   /usr/bin/python3 tests/tools/instant_golden.py tests/data
#
# writes tests/data/instant_blocks_n100_x4_seed7.txt:
#   samples <count>
#   <one sample per line, 17 significant digits>
#   block <index> <mean> <sum> <rms> <var> <kurt> <max> <min>
# var is the sample variance (ddof=1), kurt the bias-corrected excess kurtosis
# (scipy.stats.kurtosis with fisher=True, bias=False). The samples are skewed
# (gamma) noise about an offset, so that every statistic is far from zero.
import os
import sys

import numpy as np
from scipy import stats

N = 100
BLOCKS = 4
SEED = 7


def main(out_dir):
    rng = np.random.default_rng(SEED)
    x = rng.gamma(2.0, 1.5, N * BLOCKS) - 1.0
    path = os.path.join(out_dir, f"instant_blocks_n{N}_x{BLOCKS}_seed{SEED}.txt")
    with open(path, "w") as f:
        f.write(f"samples {len(x)}\n")
        for v in x:
            f.write(f"{v:.17g}\n")
        for b in range(BLOCKS):
            blk = x[b * N:(b + 1) * N]
            f.write("block %d %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n" % (
                b, blk.mean(), blk.sum(), np.sqrt(np.mean(blk ** 2)), blk.var(ddof=1),
                stats.kurtosis(blk, fisher=True, bias=False), blk.max(), blk.min()))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tests/data")
