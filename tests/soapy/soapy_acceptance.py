"""The SoapySDR module against the emulated N9030A, SK instrument and simulated USB device: SoapySDRUtil
finds and probes them quietly, every query answers for both directions and channels, and Debian's SoapySDR
Python module streams all of them at once, each its own tone. With --remote PORT the streams go through
SoapySDRServer on 127.0.0.1:PORT (run it only inside a private network namespace). The stream's timeouts
while an instrument hangs are the block stream test's."""
import argparse, ctypes, os, signal, socket, subprocess, sys, threading, time
import numpy as np

ap = argparse.ArgumentParser()
ap.add_argument("--bin", required=True)
ap.add_argument("--modules", required=True)
ap.add_argument("--remote", type=int)
ap.add_argument("--no-usb", action="store_true")
opt = ap.parse_args()

PXA, SK = "127.0.0.184", "127.0.0.185"
# serial: requested rate, programmed tone offset
INSTRUMENTS = {"SIM0001": (1e6, 300e3), "1042": (1.5e6, 100e3), "1000001": (10e6, 1e6)}
if opt.no_usb:
    del INSTRUMENTS["1000001"]
env = dict(os.environ, SOAPY_SDR_PLUGIN_PATH=opt.modules, TRELVAN_SIMULATED_USB="1", MIVISA_RESOURCES=
           f"TCPIP0::{PXA}::5025::SOCKET;TCPIP0::{SK}::8888::SOCKET|manufacturer=Reruro|model=К4-Э1|serial=1042")
children, failures = [], []
# Per channel: the query and its arguments after direction and channel.
QUERIES = [(q, ()) for q in (
    "getChannelInfo getFullDuplex getStreamFormats getStreamArgsInfo listAntennas getAntenna hasDCOffsetMode "
    "getDCOffsetMode hasDCOffset getDCOffset hasIQBalance hasIQBalanceMode getIQBalanceMode getIQBalance "
    "hasFrequencyCorrection getFrequencyCorrection listGains hasGainMode getGainMode getGain getGainRange "
    "listFrequencies getFrequency getFrequencyRange getFrequencyArgsInfo getSampleRate listSampleRates "
    "getSampleRateRange getBandwidth listBandwidths getBandwidthRange listSensors getSettingInfo").split()] + [
    ("getGain", ("REF",)), ("getGainRange", ("LNA",)), ("getFrequency", ("RF",)), ("getFrequencyRange", ("BB",)),
    ("readSensor", ("status",)), ("getSensorInfo", ("errors",)), ("readSetting", ("points",))]


def start(args):
    # Children go when this test goes, however it ends (PR_SET_PDEATHSIG).
    die_with_us = lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM)
    children.append(subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, preexec_fn=die_with_us))
    return children[-1]


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


def contract(SoapySDR, dev, serial):
    """Every query for both directions and channels 0 and 1 answers; what the device lacks answers empty."""
    RX, TX = SoapySDR.SOAPY_SDR_RX, SoapySDR.SOAPY_SDR_TX
    thrown, present = [], []
    for where in [(RX, 0), (RX, 1), (TX, 0), (TX, 1)]:
        for name, extra in QUERIES:
            try:
                a = getattr(dev, name)(*where, *extra)
                if where != (RX, 0) and a and not (hasattr(a, "maximum") and a.maximum() == 0) and \
                        not (hasattr(a, "key") and not a.key):
                    present.append(f"{name}{where}")
            except Exception as e:
                thrown.append(f"{name}{where}: {e}")
        dev.setFrequency(*where, "BB", 5e6), dev.setGain(*where, "LNA", 5)
        if where != (RX, 0):
            dev.setSampleRate(*where, 1e3), dev.setFrequency(*where, 5e6), dev.setGain(*where, 5)
            dev.setAntenna(*where, "RF")
    dev.writeSetting("no such setting", "1"), dev.writeSetting("points", "many")
    device = [dev.getNumChannels(TX), dev.readSensor("nothing"), dev.readSetting("nothing"), dev.getFrontendMapping(RX),
              dev.listClockSources(), dev.listTimeSources(), dev.listGPIOBanks()]
    check(not thrown and not present and device == [0, "", "", "", (), (), ()] and dev.readSensor("status") == "0" and
          dev.readSetting("points") == "65536", f"{serial}: queries for both directions and channels: "
          f"thrown {thrown}, not empty {present}, TX channels/unknown sensor/setting {device}")
    rates = list(dev.listSampleRates(RX, 0))
    came = {r: (dev.setSampleRate(RX, 0, r), dev.getSampleRate(RX, 0))[1] for r in rates}
    dev.setSampleRate(RX, 0, dev.getSampleRate(RX, 0))
    ranges = [(r.minimum(), r.maximum()) for r in dev.getSampleRateRange(RX, 0)]
    check(rates and all(abs(came[r] / r - 1) < 1e-9 for r in rates) and dev.getSampleRate(RX, 0) == came[rates[-1]]
          and min(ranges)[0] == rates[0] and max(hi for _, hi in ranges) == rates[-1],
          f"{serial}: every listed rate comes out as listed, the delivered one again; ranges {ranges[:4]}")


def stream(SoapySDR, args, serial, rate, offset, results):
    dev = results[serial + "dev"] = SoapySDR.Device(args)
    # The point count first: a new rate or frequency must not change it (the instrument may round it).
    dev.writeSetting("points", "65536")
    dev.setSampleRate(SoapySDR.SOAPY_SDR_RX, 0, rate)
    dev.setFrequency(SoapySDR.SOAPY_SDR_RX, 0, 1e9)
    delivered = dev.getSampleRate(SoapySDR.SOAPY_SDR_RX, 0)
    rx = dev.setupStream(SoapySDR.SOAPY_SDR_RX, SoapySDR.SOAPY_SDR_CF32, [0])
    sizes = {int(dev.readSetting("points")), dev.getStreamMTU(rx)}
    dev.activateStream(rx)
    # A buffer that no block size divides, so blocks are split across reads.
    out, buf, got, deadline = np.zeros(1 << 20, np.complex64), np.zeros(10007, np.complex64), 0, time.time() + 120
    block, blocks = 0, set()
    while got < len(out) and time.time() < deadline:
        r = dev.readStream(rx, [buf], len(buf), timeoutUs=2000000)
        if r.ret > 0:
            n = min(r.ret, len(out) - got)
            out[got : got + n], got, block = buf[:n], got + n, block + r.ret
            if not r.flags & SoapySDR.SOAPY_SDR_MORE_FRAGMENTS:
                blocks, block = blocks | {block}, 0
    dev.deactivateStream(rx)
    dev.closeStream(rx)
    power = (np.abs(np.fft.fft(out[: got // 1024 * 1024].reshape(-1, 1024) * np.hanning(1024), axis=1)) ** 2).mean(0)
    tone, floor = 10 * np.log10(np.array([power.max(), np.median(power)]) / np.hanning(1024).sum() ** 2)
    found = np.fft.fftfreq(1024, 1 / delivered)[np.argmax(power)]
    results[serial] = [
        (got == len(out) and abs(found - offset) <= delivered / 1024,
         f"{serial}: {got} samples at {delivered:.0f} S/s, tone at {found:.0f} Hz, programmed {offset:.0f} Hz"),
        (-60 < tone < 0 and tone - floor > 30, f"{serial}: tone at {tone:.1f} dBFS over a floor at {floor:.1f}"),
        (opt.remote or len(sizes) == 1 and abs(min(sizes) - 65536) < 656 and blocks <= sizes,
         f"{serial}: blocks {blocks} of points/MTU {sizes}")]


try:
    start([f"{opt.bin}/trelvan-sim-pxa", "--listen", f"{PXA}:5025", "--tone-offset", "300e3"])
    start([f"{opt.bin}/trelvan-sim-sk", "--listen", f"{SK}:8888"])
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
                ["Stream formats: CF32, CF64, CS16", "Native format: CF64 [full-scale=1]", "Sample rates:"]
            # Other modules may have their say; none of the lines is ours (they all name trelvan).
            check(r.returncode == 0 and all(w in r.stdout for w in wanted) and "trelvan" not in r.stderr,
                  f"{arg}, quietly: {r.stderr.strip()[:300]}")
        prefix, key = {"driver": "trelvan"}, "serial"
    import SoapySDR
    for serial in [] if opt.remote else INSTRUMENTS:
        contract(SoapySDR, SoapySDR.Device(dict(driver="trelvan", serial=serial)), serial)
    # All instruments at once, each a device of its own.
    results = {}
    threads = [threading.Thread(target=stream, args=(SoapySDR, dict(prefix, **{key: s}), s, rate, offset, results))
               for s, (rate, offset) in INSTRUMENTS.items()]
    _ = [t.start() for t in threads], [t.join() for t in threads]
    for serial in INSTRUMENTS:
        [check(ok, what) for ok, what in results.get(serial, [(False, f"{serial}: streamed")])]
    if not opt.remote:
        dev, sk = results["SIM0001dev"], results["1042dev"]
        # A retune sends the rate the SK instrument has, which it then does not report as modified.
        sk.setFrequency(SoapySDR.SOAPY_SDR_RX, 0, 1.2e9)
        sk.setGain(SoapySDR.SOAPY_SDR_RX, 0, -10)
        check(sk.readSensor(SoapySDR.SOAPY_SDR_RX, 0, "errors") == "", "an SK retune reports nothing modified")
        dev.writeSetting("scpi", "*IDN?")
        check(dev.readSetting("scpi").startswith("Keysight Technologies,N9030A,"), "SCPI query through a setting")
        # Nothing read for a while: the blocks that did not fit are reported once, then samples follow.
        dev.writeSetting("points", "4096")
        dev.setGain(SoapySDR.SOAPY_SDR_RX, 0, "REF", 0)
        rx = dev.setupStream(SoapySDR.SOAPY_SDR_RX, SoapySDR.SOAPY_SDR_CS16, [0])
        buf = np.zeros(2 * 4096, np.int16)
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
finally:
    for c in reversed(children):
        c.terminate()
        c.wait(10)
sys.exit(1 if failures else 0)
