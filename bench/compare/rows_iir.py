# IIR filtering: a Butterworth low-pass of order 2k (k second-order sections) at
# 1 kHz, 48 kHz rate, over 10^6 samples. Ours runs the engine's block kernels in
# runs of 4096 (bench_filter_iir); the peers are the plain loop over the runtime
# section count (the engine's previous path) and SciPy's sosfilt over the whole
# array in one call.
import numpy as np

SAMPLES = 1000000
SECTIONS = (1, 2, 3, 4, 6, 10)


def _sosfilt(k):
    from scipy import signal
    # SciPy's own design of the same filter: the same section count and the
    # same work per sample (the pairing of poles and zeros may differ).
    sos = signal.butter(2 * k, 1000.0, fs=48000.0, output="sos")
    x = np.random.default_rng(7).uniform(-1.0, 1.0, SAMPLES)
    return (lambda: signal.sosfilt(sos, x)), SAMPLES


ROWS = []
for k in SECTIONS:
    ROWS.append(dict(row="IIR %d sections vs generic loop" % k, target=0.8 if k <= 4 else 1.0,
                     ours=("bench_filter_iir", "BM_iir_cascade/%d" % k),
                     peer_name="ours, generic loop",
                     peer=("bench_filter_iir", "BM_iir_cascade_generic/%d" % k)))
ROWS.append(dict(row="IIR RBJ section vs generic loop", target=0.8,
                 ours=("bench_filter_iir", "BM_iir_rbj"),
                 peer_name="ours, generic loop",
                 peer=("bench_filter_iir", "BM_iir_rbj_generic")))
for k in SECTIONS:
    ROWS.append(dict(row="IIR %d sections vs sosfilt" % k, target=1.0,
                     ours=("bench_filter_iir", "BM_iir_cascade/%d" % k),
                     peer_name="SciPy",
                     peer=lambda k=k: _sosfilt(k)))
