"""The SoapySDR module against the emulated N9030A, SK instrument and simulated USB device: SoapySDRUtil
finds and probes them quietly, every query answers for both directions and channels, and Debian's SoapySDR
Python module streams all of them at once, each its own tone. With --remote PORT the streams go through
SoapySDRServer on 127.0.0.1:PORT (run it only inside a private network namespace)."""
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
    queries = {"getChannelInfo": (), "getFullDuplex": (), "getStreamFormats": (), "getStreamArgsInfo": (),
               "listAntennas": (), "getAntenna": (), "hasDCOffsetMode": (), "hasDCOffset": (), "hasIQBalance": (),
               "hasFrequencyCorrection": (), "listGains": (), "hasGainMode": (), "getGain": (), "getGainRange": (),
               "listFrequencies": (), "getFrequency": (), "getFrequencyRange": (), "getFrequencyArgsInfo": (),
               "getSampleRate": (), "listSampleRates": (), "getSampleRateRange": (), "getBandwidth": (),
               "listBandwidths": (), "getBandwidthRange": (), "listSensors": (), "getSettingInfo": (),
               "getGain ": ("REF",), "getGainRange ": ("LNA",), "getFrequency ": ("RF",),
               "getFrequencyRange ": ("BB",), "readSensor": ("status",), "getSensorInfo": ("errors",),
               "readSetting": ("points",), "getGainMode": (), "getDCOffsetMode": (), "hasIQBalanceMode": (),
               "getIQBalanceMode": (), "getDCOffset": (), "getIQBalance": (), "getFrequencyCorrection": ()}
    thrown, present = [], []
    for direction, channel in [(RX, 0), (RX, 1), (TX, 0), (TX, 1)]:
        for name, extra in queries.items():
            try:
                answer = getattr(dev, name.strip())(direction, channel, *extra)
                empty = not answer or (hasattr(answer, "maximum") and answer.maximum() == 0) or \
                    (hasattr(answer, "key") and not answer.key)
                if (direction, channel) != (RX, 0) and not empty:
                    present.append(f"{name.strip()}({direction},{channel})")
            except Exception as e:
                thrown.append(f"{name.strip()}({direction},{channel}): {e}")
        dev.setFrequency(direction, channel, "BB", 5e6)
        dev.setGain(direction, channel, "LNA", 5)
    for direction, channel in [(RX, 1), (TX, 0)]:
        dev.setSampleRate(direction, channel, 1e3), dev.setFrequency(direction, channel, 5e6)
        dev.setGain(direction, channel, 5), dev.setAntenna(direction, channel, "RF")
    dev.writeSetting("no such setting", "1"), dev.writeSetting("points", "many")
    device_level = [dev.getNumChannels(TX), dev.readSensor("nothing"), dev.readSetting("nothing")]
    [dev.getFrontendMapping(RX), dev.listClockSources(), dev.listTimeSources(), dev.getMasterClockRate(),
     dev.listGPIOBanks(), dev.listUARTs(), dev.listRegisterInterfaces(), dev.getHardwareInfo(), dev.listSensors()]
    check(not thrown and not present and device_level == [0, "", ""] and dev.readSensor("status") == "0" and
          dev.readSetting("points") == "65536", f"{serial}: queries for both directions and channels: "
          f"thrown {thrown}, not empty {present}, TX channels/unknown sensor/setting {device_level}")
    rates = list(dev.listSampleRates(RX, 0))
    came = {r: (dev.setSampleRate(RX, 0, r), dev.getSampleRate(RX, 0))[1] for r in rates}
    dev.setSampleRate(RX, 0, dev.getSampleRate(RX, 0))
    again = dev.getSampleRate(RX, 0)
    ranges = [(r.minimum(), r.maximum()) for r in dev.getSampleRateRange(RX, 0)]
    check(rates and all(abs(came[r] / r - 1) < 1e-9 for r in rates) and again == came[rates[-1]] and
          min(lo for lo, _ in ranges) == rates[0] and max(hi for _, hi in ranges) == rates[-1],
          f"{serial}: every listed rate comes out as listed, the delivered one again; ranges {ranges[:4]}")


def stream(SoapySDR, args, serial, rate, offset, results):
    dev = SoapySDR.Device(args)
    # The point count first: a new rate or frequency must not change it.
    dev.writeSetting("points", "65536")
    dev.setSampleRate(SoapySDR.SOAPY_SDR_RX, 0, rate)
    dev.setFrequency(SoapySDR.SOAPY_SDR_RX, 0, 1e9)
    delivered = dev.getSampleRate(SoapySDR.SOAPY_SDR_RX, 0)
    rx = dev.setupStream(SoapySDR.SOAPY_SDR_RX, SoapySDR.SOAPY_SDR_CF32, [0])
    # The instrument may round the count, never take another after a new rate.
    sizes = {int(dev.readSetting("points")), dev.getStreamMTU(rx)}
    dev.activateStream(rx)
    # A buffer that no block size divides, so blocks are split across reads.
    out, buf, got, deadline = np.zeros(1 << 20, np.complex64), np.zeros(10007, np.complex64), 0, time.time() + 120
    last, steps, block, blocks = None, [], 0, []
    while got < len(out) and time.time() < deadline:
        r = dev.readStream(rx, [buf], len(buf), timeoutUs=2000000)
        if r.ret > 0:
            n = min(r.ret, len(out) - got)
            out[got : got + n] = buf[:n]
            got, block = got + n, block + r.ret
            if not r.flags & SoapySDR.SOAPY_SDR_MORE_FRAGMENTS:
                blocks, block = blocks + [block], 0
            # A piece that continues a block is stamped where the previous piece ended (remote datagrams
            # may go missing, so only here).
            if last and last[0] & SoapySDR.SOAPY_SDR_MORE_FRAGMENTS and not opt.remote:
                steps.append(abs(r.timeNs - last[1] - last[2] * 1e9 / delivered))
            last = (r.flags, r.timeNs, r.ret)
    dev.deactivateStream(rx)
    dev.closeStream(rx)
    power = (np.abs(np.fft.fft(out[: got // 1024 * 1024].reshape(-1, 1024) * np.hanning(1024), axis=1)) ** 2).mean(0)
    power /= np.hanning(1024).sum() ** 2
    found, tone, floor = np.fft.fftfreq(1024, 1 / delivered)[np.argmax(power)], power.max(), np.median(power)
    tone, floor = 10 * np.log10(tone), 10 * np.log10(floor)
    results[serial] = [
        (not steps or max(steps) < 1000, f"{serial}: times of pieces within a block follow the rate"),
        (got == len(out) and abs(found - offset) <= delivered / 1024,
         f"{serial}: {got} samples at {delivered:.0f} S/s, tone at {found:.0f} Hz, programmed {offset:.0f} Hz"),
        (-60 < tone < 0 and tone - floor > 30, f"{serial}: tone at {tone:.1f} dBFS over a floor at {floor:.1f}"),
        (opt.remote or len(sizes) == 1 and abs(min(sizes) - 65536) < 656 and set(blocks) <= sizes, f"{serial}: blocks {set(blocks)} of points/MTU {sizes}")]
    results[serial + "dev"] = dev


def frozen(SoapySDR, dev, emulator):
    """A stopped instrument: reads keep their timeout, samples follow once it runs again."""
    dev.writeSetting("points", "4096")
    rx = dev.setupStream(SoapySDR.SOAPY_SDR_RX, SoapySDR.SOAPY_SDR_CF32, [0])
    dev.activateStream(rx)
    buf = np.zeros(4096, np.complex64)
    dev.readStream(rx, [buf], 4096, timeoutUs=2000000)
    emulator.send_signal(signal.SIGSTOP)
    time.sleep(0.5)
    waits = []
    for _ in range(8):
        begin = time.monotonic()
        waits.append((dev.readStream(rx, [buf], 4096, timeoutUs=200000).ret, time.monotonic() - begin))
    emulator.send_signal(signal.SIGCONT)
    rets = [dev.readStream(rx, [buf], 4096, timeoutUs=2000000).ret for _ in range(12)]
    dev.deactivateStream(rx)
    dev.closeStream(rx)
    check(all(w < 1.5 for _, w in waits) and SoapySDR.SOAPY_SDR_TIMEOUT in [r for r, _ in waits] and
          rets[-1] == 4096, f"stopped instrument: reads {[(r, round(w, 2)) for r, w in waits]}, then {rets}")


try:
    pxa = start([f"{opt.bin}/trelvan-sim-pxa", "--listen", f"{PXA}:5025", "--tone-offset", "300e3"])
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
    if not opt.remote:
        for serial in INSTRUMENTS:
            contract(SoapySDR, SoapySDR.Device(dict(driver="trelvan", serial=serial)), serial)
    # All instruments at once, each a device of its own.
    results = {}
    threads = [threading.Thread(target=stream, args=(SoapySDR, dict(prefix, **{key: s}), s, rate, offset, results))
               for s, (rate, offset) in INSTRUMENTS.items()]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for serial in INSTRUMENTS:
        for ok, what in results.get(serial, [(False, f"{serial}: streamed")]):
            check(ok, what)
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
        frozen(SoapySDR, dev, pxa)
finally:
    for c in reversed(children):
        c.send_signal(signal.SIGCONT)
        c.terminate()
        c.wait(10)
sys.exit(1 if failures else 0)
