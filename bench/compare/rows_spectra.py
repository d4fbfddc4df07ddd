# Block spectra (bench_spectra) against SciPy, on 10^6 samples of uniform noise
# at 51200 Hz, Hann window, N = 2048, frame overlaps of 0 and 75 %. Ours is fed
# in runs of 1024 through the host channel; the peers take the whole array.
#  - frame step: our engine's framing, window and FFT alone (its anti-alias
#    filter bypassed) against scipy.signal.welch over the same frames;
#  - pipeline: our amplitude spectrum (and our PSD) with its order-10 elliptic
#    anti-alias filter, decimation by 4 and results averaged over 8 frames,
#    against sosfilt of an order-10 elliptic low-pass (five sections, as ours),
#    every 4th sample, and welch.
import numpy as np

SAMPLES = 1_000_000
RATE = 51200.0
N = 2048
_signal = None


def _x():
    global _signal
    if _signal is None:
        _signal = np.random.default_rng(17).uniform(-1.0, 1.0, SAMPLES)
    return _signal


def _welch(noverlap):
    from scipy import signal
    x = _x()
    return (lambda: signal.welch(x, fs=RATE, window="hann", nperseg=N, noverlap=noverlap,
                                 detrend=False, scaling="density")), SAMPLES


def _pipeline(noverlap):
    from scipy import signal
    x = _x()
    # Cut-off at the top published line: 1025 lines of 6.25 Hz.
    sos = signal.ellip(10, 0.1, 80.0, 1025 * 6.25, fs=RATE, output="sos")

    def run():
        y = signal.sosfilt(sos, x)[::4]
        return signal.welch(y, fs=RATE / 4, window="hann", nperseg=N, noverlap=noverlap,
                            detrend=False, scaling="density")
    return run, SAMPLES


ROWS = []
for _ov in (0, 75):
    _noverlap = N * _ov // 100
    ROWS.append(dict(row="spectrum frame step vs welch, overlap %d %%" % _ov, target=0.2,
                     ours=("bench_spectra", "BM_fft_frame_step/%d" % _ov),
                     peer_name="SciPy",
                     peer=lambda n=_noverlap: _welch(n)))
    ROWS.append(dict(row="spectrum pipeline vs sosfilt + decimate + welch, overlap %d %%" % _ov,
                     target=0.5,
                     ours=("bench_spectra", "BM_spec_pipeline/%d" % _ov),
                     peer_name="SciPy",
                     peer=lambda n=_noverlap: _pipeline(n)))
    ROWS.append(dict(row="PSD pipeline vs sosfilt + decimate + welch, overlap %d %%" % _ov,
                     target=0.5,
                     ours=("bench_spectra", "BM_psd_pipeline/%d" % _ov),
                     peer_name="SciPy",
                     peer=lambda n=_noverlap: _pipeline(n)))
