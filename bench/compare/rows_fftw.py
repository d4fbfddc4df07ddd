# Acquisition analysers (bench_fftw) against SciPy, on 10^6 samples of uniform
# noise at 51200 Hz fed in runs of 1024 through the host channel: our amplitude
# spectrum with its order-12 elliptic anti-alias low-pass, decimation by 4,
# N = 3200 frames (1600 lines), Hann window, 50 % overlap and the last 8 frames
# averaged, against resample_poly (its own anti-alias FIR) decimating by 4 and
# welch over the same frames, given the whole array.
import numpy as np

SAMPLES = 1_000_000
RATE = 51200.0
DECIMATION = 4
N = 3200
_signal = None


def _x():
    global _signal
    if _signal is None:
        _signal = np.random.default_rng(17).uniform(-1.0, 1.0, SAMPLES)
    return _signal


def _pipeline():
    from scipy import signal
    x = _x()

    def run():
        y = signal.resample_poly(x, 1, DECIMATION)
        return signal.welch(y, fs=RATE / DECIMATION, window="hann", nperseg=N, noverlap=N // 2,
                            detrend=False, scaling="spectrum")
    return run, SAMPLES


# Started: our elliptic low-pass cut at the band runs before the decimator; as
# built, it passes everything (the decimator's own filter limits the band).
ROWS = [
    dict(row="acquisition amplitude spectrum, started, vs resample_poly + welch", target=0.33,
         ours=("bench_fftw", "BM_ausp_pipeline/1"),
         peer_name="SciPy",
         peer=_pipeline),
    dict(row="acquisition amplitude spectrum, as built, vs resample_poly + welch", target=0.33,
         ours=("bench_fftw", "BM_ausp_pipeline/0"),
         peer_name="SciPy",
         peer=_pipeline),
]
