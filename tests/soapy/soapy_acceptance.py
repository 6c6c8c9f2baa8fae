"""The SoapySDR module against the emulated N9030A, SK instrument and simulated USB device: SoapySDRUtil
finds and probes them, and Debian's SoapySDR Python module streams each one's tone. With --remote PORT the
streams go through SoapySDRServer on 127.0.0.1:PORT (run it only inside a private network namespace)."""
import argparse, ctypes, os, signal, socket, subprocess, sys, time
import numpy as np

ap = argparse.ArgumentParser()
ap.add_argument("--bin", required=True)
ap.add_argument("--modules", required=True)
ap.add_argument("--remote", type=int)
ap.add_argument("--no-usb", action="store_true")
opt = ap.parse_args()

PXA, SK = "127.0.0.181", "127.0.0.182"
# serial: requested rate, programmed tone offset
INSTRUMENTS = {"SIM0001": (10e6, 1.5e6), "1042": (1.5e6, 60e3), "1000001": (10e6, 1e6)}
if opt.no_usb:
    del INSTRUMENTS["1000001"]
env = dict(os.environ, SOAPY_SDR_PLUGIN_PATH=opt.modules, TRELVAN_SIMULATED_USB="1", MIVISA_RESOURCES=
           f"TCPIP0::{PXA}::5025::SOCKET;TCPIP0::{SK}::8888::SOCKET|manufacturer=Reruro|model=К4-Э1|serial=1042")
children, failures = [], []


def start(args):
    # Children go when this test goes, however it ends (PR_SET_PDEATHSIG).
    die_with_us = lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM)
    children.append(subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, preexec_fn=die_with_us))


def listening(host, port):
    for _ in range(200):
        try:
            socket.create_connection((host, port), 0.2).close()
            return True
        except OSError:
            time.sleep(0.1)
    return False


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def stream(SoapySDR, args, serial, rate, offset):
    dev = SoapySDR.Device(args)
    dev.setSampleRate(SoapySDR.SOAPY_SDR_RX, 0, rate)
    dev.setFrequency(SoapySDR.SOAPY_SDR_RX, 0, 1e9)
    dev.writeSetting("points", "65536")
    delivered = dev.getSampleRate(SoapySDR.SOAPY_SDR_RX, 0)
    rx = dev.setupStream(SoapySDR.SOAPY_SDR_RX, SoapySDR.SOAPY_SDR_CF32, [0])
    dev.activateStream(rx)
    # A buffer that no block size divides, so blocks are split across reads.
    out, buf, got, deadline = np.zeros(1 << 20, np.complex64), np.zeros(10007, np.complex64), 0, time.time() + 120
    last, steps = None, []
    while got < len(out) and time.time() < deadline:
        r = dev.readStream(rx, [buf], len(buf), timeoutUs=2000000)
        if r.ret > 0:
            n = min(r.ret, len(out) - got)
            out[got : got + n] = buf[:n]
            got += n
            # A piece that continues a block is stamped where the previous piece ended (remote datagrams
            # may go missing, so only here).
            if last and last[0] & SoapySDR.SOAPY_SDR_MORE_FRAGMENTS and not opt.remote:
                steps.append(abs(r.timeNs - last[1] - last[2] * 1e9 / delivered))
            last = (r.flags, r.timeNs, r.ret)
    dev.deactivateStream(rx)
    dev.closeStream(rx)
    segments = out[: got // 1024 * 1024].reshape(-1, 1024) * np.hanning(1024)
    found = np.fft.fftfreq(1024, 1 / delivered)[np.argmax((np.abs(np.fft.fft(segments, axis=1)) ** 2).mean(axis=0))]
    check(not steps or max(steps) < 1000, f"{serial}: times of pieces within a block follow the rate")
    check(got == len(out) and abs(found - offset) <= delivered / 1024,
          f"{serial}: {got} samples at {delivered:.0f} S/s, tone at {found:.0f} Hz, programmed {offset:.0f} Hz")
    return dev


try:
    start([f"{opt.bin}/trelvan-sim-pxa", "--listen", f"{PXA}:5025", "--tone-offset", "1.5e6"])
    start([f"{opt.bin}/trelvan-sim-sk", "--listen", f"{SK}:8888", "--tone", "60e3:-20"])
    # A loaded machine (sanitizers, parallel tests) can take a while to bring them up.
    check(listening(PXA, 5025) and listening(SK, 8888), "the emulators listen")
    if opt.remote:
        start(["SoapySDRServer", f"--bind=127.0.0.1:{opt.remote}"])
        check(listening("127.0.0.1", opt.remote), "SoapySDRServer listens")
        # Discovery on the server can outlast SoapyRemote's default wait on a loaded machine.
        prefix = {"driver": "remote", "remote": f"tcp://127.0.0.1:{opt.remote}", "remote:driver": "trelvan",
                  "remote:timeout": "10000000"}
        key = "remote:serial"
    else:
        os.environ.update(env)
        for arg in ["--find=driver=trelvan"] + [f"--probe=driver=trelvan,serial={s}" for s in INSTRUMENTS]:
            r = subprocess.run(["SoapySDRUtil", arg], env=env, capture_output=True, text=True, timeout=120)
            wanted = [f"serial = {s}" for s in INSTRUMENTS] if "find" in arg else \
                ["Stream formats: CF32, CF64, CS16", "Sample rates:", "RF freq range:", "REF gain range:"]
            check(r.returncode == 0 and all(w in r.stdout for w in wanted), arg)
        prefix, key = {"driver": "trelvan"}, "serial"
    import SoapySDR
    for serial, (rate, offset) in INSTRUMENTS.items():
        dev = stream(SoapySDR, dict(prefix, **{key: serial}), serial, rate, offset)
        if opt.remote or serial != "SIM0001":
            del dev
            continue
        try:
            SoapySDR.Device(dict(driver="trelvan", serial="1042"))
            check(False, "a second instrument cannot be opened")
        except RuntimeError as e:
            check("one at a time" in str(e), f"a second instrument is refused: {e}")
        dev.writeSetting("scpi", "*IDN?")
        check(dev.readSetting("scpi").startswith("Keysight Technologies,N9030A,"), "SCPI query through a setting")
        # Nothing read for a while: the blocks that did not fit are reported once, then samples follow.
        dev.writeSetting("points", "4096")
        dev.setGain(SoapySDR.SOAPY_SDR_RX, 0, "REF", 0)
        rx = dev.setupStream(SoapySDR.SOAPY_SDR_RX, SoapySDR.SOAPY_SDR_CS16, [0])
        buf = np.zeros(2 * 4096, np.int16)
        check(dev.readStream(rx, [buf], 4096, timeoutUs=100000).ret == SoapySDR.SOAPY_SDR_TIMEOUT,
              "an inactive stream times out")
        dev.activateStream(rx)
        listed = SoapySDR.Device.enumerate(dict(driver="trelvan"))
        check(len(listed) == len(INSTRUMENTS), f"find while streaming lists {len(listed)} instruments")
        time.sleep(2)
        # Blocks go on being dropped until the reader catches up, which on a loaded machine can take a read
        # or two more; then samples follow.
        rets = [dev.readStream(rx, [buf], 4096, timeoutUs=2000000).ret for _ in range(6)]
        first = next((i for i, r in enumerate(rets) if r > 0), len(rets))
        check(rets[0] == SoapySDR.SOAPY_SDR_OVERFLOW and set(rets[:first]) == {SoapySDR.SOAPY_SDR_OVERFLOW}
              and first < 4 and all(r > 0 for r in rets[first:]), f"overflow, then samples: {rets}")
        # The -20 dBm tone sits 23 dB below a full scale 3 dB above the 0 dBm reference level.
        level = 20 * np.log10(np.abs(buf[0::2] + 1j * buf[1::2].astype(float)).mean() / 32767)
        check(abs(level + 23) < 1, f"CS16 tone at {level:.1f} dBFS")
        dev.closeStream(rx)
        del dev
finally:
    for c in reversed(children):
        c.terminate()
        c.wait(10)
sys.exit(1 if failures else 0)
