"""The data path: a derived channel fed by the device in runs, against the same
work done by the peer on the whole signal in one call."""
import numpy as np

SAMPLES = 1000000


def _scipy_sosfilt():
    import scipy.signal
    # Butterworth low-pass, order 4 (two sections), 1 kHz at 48 kHz, as the
    # benchmark's channel; the whole signal in one call, the fastest way.
    sos = scipy.signal.butter(4, 1000, fs=48000, output="sos")
    x = np.random.default_rng(7).uniform(-1.0, 1.0, SAMPLES)
    return (lambda: scipy.signal.sosfilt(sos, x)), SAMPLES


ROWS = [
    dict(row="IIR channel in runs of 64 samples", target=1.0,
         ours=("bench_data_path", "BM_data_path_iir_runs"),
         peer_name="SciPy", peer=_scipy_sosfilt),
]
