#!/usr/bin/env python3
"""Times PyVISA's query_binary_values of the emulator's capture block.

Usage: pyvisa_fetch.py PORT REPEATS
Prints "SECONDS_PER_FETCH <mean> VALUES <count>".
"""
import sys
import time

import pyvisa

port, repeats = sys.argv[1], int(sys.argv[2])
rm = pyvisa.ResourceManager("@py")
inst = rm.open_resource("TCPIP0::127.0.0.1::%s::SOCKET" % port, read_termination="\n",
                        write_termination="\n", timeout=20000)
inst.write(":FORMat:TRACe:DATA REAL")
inst.write(":FORMat:BORDer SWAP")


def fetch():
    return inst.query_binary_values(":CALCulate:VECTor:DATA2:RAW?", datatype="f", is_big_endian=False)


values = fetch()  # warm-up
start = time.perf_counter()
for _ in range(repeats):
    values = fetch()
elapsed = time.perf_counter() - start
inst.close()
rm.close()
print("SECONDS_PER_FETCH %.6f VALUES %d" % (elapsed / repeats, len(values)))
