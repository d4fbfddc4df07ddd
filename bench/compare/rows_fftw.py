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


# The two-channel analysers (bench_fftw) on two channels of 10^6 samples each at
# 51200 Hz, undecimated, fed in alternate runs of 1024; the peers take the whole
# arrays. Coherence over frames of 1024 (rectangular, no overlap) against
# scipy.signal.coherence over the same frames; the cross-correlation at lags
# 0 .. 255 of every frame of 767 samples (255 zeros appended) against NumPy's
# batched rfft / irfft over all frames at once.
def _y():
    rng = np.random.default_rng(29)
    return 0.5 * _x() + 0.25 * rng.uniform(-1.0, 1.0, SAMPLES)


def _coherence():
    from scipy import signal
    x, y = _x(), _y()
    return (lambda: signal.coherence(x, y, fs=RATE, window="boxcar", nperseg=1024, noverlap=0,
                                     detrend=False)), SAMPLES


def _correlation():
    x, y = _x(), _y()
    m, held = 256, 767
    n = 4 * m - 2
    frames = SAMPLES // held

    def run():
        a = x[:frames * held].reshape(frames, held)
        b = y[:frames * held].reshape(frames, held)
        q = np.fft.rfft(a, n=n, axis=1) * np.conj(np.fft.rfft(b, n=n, axis=1)) / (n // 2 + 1)
        return np.fft.irfft(q, n=n, axis=1)[:, :m] * n
    return run, SAMPLES


ROWS += [
    dict(row="coherence, N = 1024, last 8 pairs, vs scipy.signal.coherence", target=1.0,
         ours=("bench_fftw", "BM_coh_pipeline"), peer_name="SciPy", peer=_coherence),
    dict(row="cross-correlation, 256 lags, vs batched numpy rfft/irfft", target=1.0,
         ours=("bench_fftw", "BM_corr_pipeline"), peer_name="NumPy", peer=_correlation),
]
