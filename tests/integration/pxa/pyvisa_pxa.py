#!/usr/bin/env python3
"""Drives trelvan-sim-pxa with PyVISA and its pure-Python backend, as any VISA client would.

Usage: pyvisa_pxa.py PATH_TO_TRELVAN_SIM_PXA
"""
import cmath
import math
import subprocess
import sys
import unittest

import pyvisa

SIM = None
TONE_OFFSET = 250e3  # with a 1e7 sample rate and 1000 points: bin 25
TONE_DBM = -20.0


def tone_dbm(iq, sample_rate, offset):
    """Level of the component at `offset` Hz, from its correlation with a unit phasor."""
    n = len(iq)
    acc = sum(x * cmath.exp(-2j * math.pi * offset * k / sample_rate) for k, x in enumerate(iq))
    amplitude = abs(acc) / n
    return 10 * math.log10(max(amplitude * amplitude / 0.05, 1e-30))


class PyVisaAgainstEmulator(unittest.TestCase):
    def setUp(self):
        self.sim = subprocess.Popen(
            [SIM, "--listen", "127.0.0.1:0", "--tone-offset", str(TONE_OFFSET), "--tone-level",
             str(TONE_DBM), "--noise", "-100"],
            stdout=subprocess.PIPE, text=True)
        ready = self.sim.stdout.readline().strip()
        self.assertTrue(ready.startswith("listening on 127.0.0.1:"), ready)
        port = ready.rsplit(":", 1)[1]
        self.rm = pyvisa.ResourceManager("@py")
        self.inst = self.rm.open_resource(
            "TCPIP0::127.0.0.1::%s::SOCKET" % port, read_termination="\n", write_termination="\n",
            timeout=5000)

    def tearDown(self):
        self.inst.close()
        self.rm.close()
        self.sim.terminate()
        self.sim.wait(timeout=10)
        self.sim.stdout.close()

    def capture(self, big_endian):
        self.inst.write(":FORMat:TRACe:DATA REAL,32")
        self.inst.write(":FORMat:BORDer " + ("NORMal" if big_endian else "SWAPped"))
        values = self.inst.query_binary_values(":CALCulate:VECTor:DATA2:RAW?", datatype="f",
                                               is_big_endian=big_endian, container=list)
        return [complex(values[k], values[k + 1]) for k in range(0, len(values) - 1, 2)]

    def test_identity_settings_and_a_binary_capture_with_the_tone_in_its_bin(self):
        idn = self.inst.query("*IDN?")
        self.assertTrue(idn.startswith("Keysight Technologies,N9030A,"), idn)

        self.inst.write(":SENSe:FREQuency:SPAN 7.8125 MHz")
        self.inst.write(":SENSe:FREQuency:RF:CENTer 2.4 GHz")
        self.assertEqual(float(self.inst.query(":FREQ:CENT?")), 2.4e9)
        sample_rate = 1 / float(self.inst.query(":CALCulate:VECTor:DATA2:HEADer? 'XDelta'"))
        self.assertAlmostEqual(sample_rate, 1e7, delta=1e-3)
        self.inst.write(":SENSe:VECTor:BWIDth:RESolution 38194 HZ")
        points = int(self.inst.query(":CALCulate:VECTor:DATA2:RAW:POINts?"))
        self.assertEqual(points, 1000)

        for big_endian in (False, True):
            iq = self.capture(big_endian)
            self.assertEqual(len(iq), points)
            self.assertAlmostEqual(tone_dbm(iq, sample_rate, TONE_OFFSET), TONE_DBM, delta=0.5)
            # Elsewhere only the noise.
            self.assertLess(tone_dbm(iq, sample_rate, -1.3e6), TONE_DBM - 40)

        self.assertEqual(self.inst.query(":SYSTem:ERRor:NEXT?"), '+0,"No error"')


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    SIM = sys.argv.pop(1)
    unittest.main(verbosity=2)
