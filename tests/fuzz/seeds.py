#!/usr/bin/env python3
"""Writes the seed corpora under tests/fuzz/corpus/: a few valid and near-valid inputs per target, in
each target's input layout (see the comment at the top of its .cpp), plus the inputs of past findings.
Run it again after changing a layout; the files are committed."""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

# Control byte of the scripted link (FuzzVisa::configure).
PLAIN, MAX_CNT, LOST, STALL64, SHORT7 = 0x00, 0x01, 0x02, 0x10, 0x4C
OPC_FROM_REPLIES = 0x20

seeds = {}


def seed(target, name, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    seeds.setdefault(target, []).append((name, data))


def lines(*items):
    return "\n".join(items).encode("utf-8")


# --- N9030A ---------------------------------------------------------------------------------------

def swapped_block(values, length=None, end=b"\n"):
    data = b"".join(struct.pack("<f", v) for v in values)
    n = len(data) if length is None else length
    digits = str(n).encode()
    return b"#" + str(len(digits)).encode() + digits + data + end


def big_endian_block(values, length=None, end=b"\n"):
    data = b"".join(struct.pack(">f", v) for v in values)
    n = len(data) if length is None else length
    digits = str(n).encode()
    return b"#" + str(len(digits)).encode() + digits + data + end


ramp = [float(k % 17) - 8.0 for k in range(256)]
seed("fuzz_pxa_get_data", "two-samples", bytes([PLAIN]) + swapped_block([1.0, -2.0, 0.5, 0.25]))
seed("fuzz_pxa_get_data", "1024-bytes-stalling", bytes([STALL64]) + swapped_block(ramp))
seed("fuzz_pxa_get_data", "2056-bytes-max-cnt", bytes([MAX_CNT]) + swapped_block(ramp * 2 + ramp[:2]))
seed("fuzz_pxa_get_data", "short-reads", bytes([SHORT7]) + swapped_block(ramp[:30]))
seed("fuzz_pxa_get_data", "cut-short", bytes([PLAIN]) + swapped_block(ramp[:20], length=1000, end=b""))
seed("fuzz_pxa_get_data", "cut-then-lost", bytes([LOST]) + swapped_block(ramp[:20], length=400, end=b""))
seed("fuzz_pxa_get_data", "length-lies", bytes([PLAIN]) + swapped_block(ramp[:6], length=16))
seed("fuzz_pxa_get_data", "two-blocks", bytes([PLAIN]) + swapped_block(ramp[:4]) + swapped_block(ramp[:8]))
for i, header in enumerate([b"#0\n", b"#A2147483647\n", b"#3x12\n", b"#9-12345678\n", b"12345\n"]):
    seed("fuzz_pxa_get_data", "bad-header-%d" % i, bytes([PLAIN]) + header)
# Finding: a header alone announcing 999999999 bytes made the capture allocate 2 GB of samples.
seed("fuzz_pxa_get_data", "regression-huge-claim", bytes([PLAIN]) + b"#9999999999\n")

seed("fuzz_pxa_get_err", "two-then-none", bytes([PLAIN, 0]) + lines('-113,"Undefined header"', '-222,"Data out of range"', '+0,"No error"'))
seed("fuzz_pxa_get_err", "pending-101", bytes([PLAIN, 101]) + lines('-113,"Undefined header"', '+0,"No error"'))
seed("fuzz_pxa_get_err", "not-a-number", bytes([PLAIN, 0]) + lines("abc", '+0,"No error"'))
seed("fuzz_pxa_get_err", "number-then-garbage", bytes([PLAIN, 0]) + lines('-100,"Command error"', "???", ""))
seed("fuzz_pxa_get_err", "never-empties", bytes([PLAIN, 0]) + lines(*['-350,"Queue overflow"'] * 140))
seed("fuzz_pxa_get_err", "long-reply", bytes([PLAIN, 0]) + lines('-100,"' + "x" * 1500 + '"', "0,ok"))
seed("fuzz_pxa_get_err", "opc-in-replies", bytes([OPC_FROM_REPLIES, 0]) + lines("1", '-113,"x"', "1", "1", "0,y", "1"))

def params(suffix, points, *replies):
    return bytes([PLAIN, suffix]) + struct.pack("<i", points) + lines(*replies)

seed("fuzz_pxa_get_params", "cur", params(2, 1000, "+1.50000000E+009", "-10", "1.000000E-07", "+1000",
                                          "1.5E+09", "-10", "1.0E-07", "38194.00"))
seed("fuzz_pxa_get_params", "min", params(0, 1, "2.0E+01", "-70", "1.0E+01", "38194", "2E1", "-70", "1E-7"))
seed("fuzz_pxa_get_params", "max", params(1, -5, "2.65E+10", "30", "1.6E+08", "3", "1E9", "0", "x"))
seed("fuzz_pxa_get_params", "zero-bandwidth", params(0, 0, "1E9", "0", "1E6", "0", "1E9", "0", "0", "0"))
seed("fuzz_pxa_get_params", "not-numbers", params(2, 7, "", "abc", "1e-7x", " 12 ", "1,5", "nan", "inf"))
seed("fuzz_pxa_get_params", "bad-suffix", params(3, 1000, "1E9", "-10", "1E-7"))
seed("fuzz_pxa_get_params", "long-replies", params(2, 1000, "9" * 300, "-" + "1" * 200, "0." + "0" * 250 + "1"))

def facade(points, stream, control=PLAIN):
    return bytes([control]) + points.encode() + b"\n" + stream

seed("fuzz_facade_ascii", "pairs-and-junk", facade("3", b"1.5,-2,abc,3,4\n"))
seed("fuzz_facade_ascii", "two-samples", facade("2", b"+1.0E+00,-2.5E-01,3,4\n"))
seed("fuzz_facade_ascii", "many-chunks", facade("40", ",".join("%+.6E" % v for v in ramp[:80]).encode() + b"\n", STALL64))
seed("fuzz_facade_ascii", "no-points", facade("0", b"1,2\n"))
seed("fuzz_facade_ascii", "negative-points", facade("-5", b"1,2\n"))
seed("fuzz_facade_ascii", "points-overflow", facade("99999999999", b"1,2,3,4\n"))
seed("fuzz_facade_ascii", "points-not-a-number", facade("abc", b"1,2\n", LOST))

seed("fuzz_facade_binary", "one-sample", facade("1", big_endian_block([1.0, -2.0])))
seed("fuzz_facade_binary", "half-sample", facade("1", big_endian_block([1.0])))
seed("fuzz_facade_binary", "2056-bytes", facade("257", big_endian_block(ramp * 2 + ramp[:2]), STALL64))
seed("fuzz_facade_binary", "cut-short", facade("100", big_endian_block(ramp[:20], length=800, end=b"")))
seed("fuzz_facade_binary", "length-lies", facade("2", big_endian_block(ramp[:6], length=8)))
seed("fuzz_facade_binary", "max-cnt", facade("2", big_endian_block(ramp[:4]), MAX_CNT))
for i, header in enumerate([b"#0", b"#A2147483647", b"#3x12", b"#9-12345678", b"#a1234"]):
    seed("fuzz_facade_binary", "bad-header-%d" % i, facade("2", header + b"\n"))
# Finding: a header alone announcing 999999999 bytes made the capture allocate 4 GB of values.
seed("fuzz_facade_binary", "regression-huge-claim", facade("2", b"#9999999999\n"))

# --- SK protocol ----------------------------------------------------------------------------------

MI_SET, MI_GET, MI_RUN = 3, 4, 6


def head(command, body_len, num=0, len_frac=0, status=0, signature=0x55AA, seq=1):
    return struct.pack("<HHhHBBHI", signature, command, status, body_len, num, len_frac, 0, seq)


def value(v, len_frac):
    length, frac = len_frac >> 4, len_frac & 15
    if length == 8 and frac == 15:
        return struct.pack("<d", v)
    n = int(round(v * (1 << (8 * frac))))
    return (n & ((1 << (8 * length)) - 1)).to_bytes(length, "little")


def param_reply(pid, values, len_frac, command=MI_GET, num=None, **kw):
    body = struct.pack("<H", pid) + b"".join(value(v, len_frac) for v in values)
    return head(command, len(body), len(values) if num is None else num, len_frac, **kw) + body


def run_reply(samples, num=2, length=4, status=0, body_status=0, command=MI_RUN):
    data = b""
    for i, q in samples:
        vals = [i, q] + [0] * (num - 2)
        data += b"".join((v & ((1 << (8 * length)) - 1)).to_bytes(length, "little") for v in vals[:num])
    body = data + struct.pack("<h", body_status)
    return head(command, len(body), num, length << 4, status) + body


def clk_reply(index, block, total):
    return param_reply(50, [index, block, 1, total], 0x40, command=MI_SET)


def iq(n, scale=1000):
    return [((k * 37) % 201 - 100) * scale for k in range(n)], [((k * 53) % 199 - 99) * scale for k in range(n)]


def pairs(n):
    i, q = iq(n)
    return list(zip(i, q))


def samples_input(requested, points, stream, control=PLAIN):
    return bytes([control]) + struct.pack("<HH", requested, points) + stream


seed("fuzz_sk_receive_parameter", "sample-rate", bytes([PLAIN, 8]) + param_reply(101, [3], 0x40))
seed("fuzz_sk_receive_parameter", "frequency-48bit", bytes([STALL64, 8]) + param_reply(56, [2e9, 1, 0], 0x60, command=MI_SET))
seed("fuzz_sk_receive_parameter", "fixed-point", bytes([PLAIN, 2]) + param_reply(106, [-1.5, 20.25], 0x42))
seed("fuzz_sk_receive_parameter", "doubles", bytes([SHORT7, 4]) + param_reply(101, [1.5e6, -3.25], 0x8F))
seed("fuzz_sk_receive_parameter", "empty-body", bytes([PLAIN, 8]) + head(MI_GET, 0) + param_reply(3, [17], 0x20))
seed("fuzz_sk_receive_parameter", "bad-signature", bytes([PLAIN, 8]) + head(MI_GET, 4, signature=0x1234) + b"\x65\x00\x01\x00")
seed("fuzz_sk_receive_parameter", "body-65535", bytes([LOST, 8]) + head(MI_GET, 65535, 1, 0x40) + b"\x00" * 100)
seed("fuzz_sk_receive_parameter", "claims-255-values", bytes([PLAIN, 4]) + param_reply(101, [1, 2], 0x40, num=255))
seed("fuzz_sk_receive_parameter", "other-command", bytes([MAX_CNT, 8]) + param_reply(101, [7], 0x40, command=MI_RUN))

seed("fuzz_sk_get_samples", "ten-then-eight", samples_input(
    10, 8, clk_reply(0, 12, 10) + run_reply(pairs(12)) + clk_reply(0, 12, 10) + run_reply(pairs(12))))
seed("fuzz_sk_get_samples", "two-blocks", samples_input(
    8200, 8000, clk_reply(0, 8188, 8200) + run_reply(pairs(8188), length=1) + clk_reply(8188, 12, 8200)
    + run_reply(pairs(12), length=1)))
seed("fuzz_sk_get_samples", "fewer-than-asked", samples_input(
    100, 50, clk_reply(0, 100, 100) + run_reply(pairs(60)) + clk_reply(60, 40, 100) + run_reply(pairs(40), num=3, length=3)))
seed("fuzz_sk_get_samples", "header-status-fatal", samples_input(
    12, 4, clk_reply(0, 12, 12) + run_reply(pairs(12), status=20486) + clk_reply(0, 12, 12) + run_reply(pairs(12))))
seed("fuzz_sk_get_samples", "warning-status", samples_input(12, 12, clk_reply(0, 12, 12) + run_reply(pairs(12), status=1)))
seed("fuzz_sk_get_samples", "body-status-negative", samples_input(
    12, 12, clk_reply(0, 12, 12) + run_reply(pairs(12), body_status=-32765)))
seed("fuzz_sk_get_samples", "no-samples", samples_input(12, 12, clk_reply(0, 12, 12) + run_reply([])))
seed("fuzz_sk_get_samples", "wrong-command", samples_input(
    8, 8, clk_reply(0, 8, 8) + run_reply(pairs(8), command=MI_GET), SHORT7))
seed("fuzz_sk_get_samples", "wide-values", samples_input(8, 8, clk_reply(0, 8, 8) + run_reply(pairs(8), num=1, length=6)))
seed("fuzz_sk_get_samples", "stops-midway", samples_input(
    20, 20, clk_reply(0, 20, 20) + run_reply(pairs(20))[:100], LOST))


def table_reply(pid, points, len_frac, stated=None):
    length = len_frac >> 4
    lead = value(0, len_frac) + value(len(points) if stated is None else stated, len_frac)
    pts = b"".join(value(p, (length << 4) | (len_frac & 15)) for p in points)
    body = struct.pack("<H", pid) + lead + pts
    return head(MI_GET, len(body), 2, len_frac) + body


def afc_input(length, fc, fs, freqs, amps, control=PLAIN, stated=(None, None), pids=(105, 106)):
    return (bytes([control]) + struct.pack("<HII", length, fc, fs)
            + table_reply(pids[0], freqs, 0x60, stated[0]) + table_reply(pids[1], amps, 0x42, stated[1]))


band = [995000000 + 2500000 * k for k in range(5)]
seed("fuzz_sk_get_new_afc", "flat", afc_input(1000, 1000000000, 10000000, band, [0, 0, 0, 0, 0]))
seed("fuzz_sk_get_new_afc", "shaped", afc_input(1024, 1000000000, 10000000, band, [0, 1.5, 3, 1.5, -0.25], STALL64))
seed("fuzz_sk_get_new_afc", "stated-beyond-body", afc_input(100, 1000000000, 10000000, band[:3], [1, 2, 3], stated=(1000, 70000)))
seed("fuzz_sk_get_new_afc", "unordered", afc_input(64, 1000000000, 10000000, [band[3], band[0], band[4], band[1]], [3, 2, 1, 0]))
seed("fuzz_sk_get_new_afc", "one-point", afc_input(8, 1000000000, 10000000, band[:1], [20]))
seed("fuzz_sk_get_new_afc", "equal-frequencies", afc_input(16, 1000000000, 8000000, [band[2]] * 3, [0, 10, 20]))
seed("fuzz_sk_get_new_afc", "wrong-pids", afc_input(32, 1000000000, 10000000, band, [0] * 5, SHORT7, pids=(106, 105)))
seed("fuzz_sk_get_new_afc", "zero-rate", afc_input(3000, 4000000000, 0, band, [0] * 5))

# --- vocabulary and splitters ---------------------------------------------------------------------

def vocab(number, text, *table):
    return struct.pack("<i", number) + text.encode("utf-8") + b"\n" + lines(*table)

seed("fuzz_vocabulary", "clk", vocab(50, "P_CLK"))
seed("fuzz_vocabulary", "short-name", vocab(101, "SAMPLE_RATE"))
seed("fuzz_vocabulary", "read-timeout", vocab(20486, "SE_READ_TIMEOUT"))
seed("fuzz_vocabulary", "critical", vocab(-32768, "MI_CRITICAL_ERROR = -32768"))
seed("fuzz_vocabulary", "hex", vocab(31, "0x1F"))
seed("fuzz_vocabulary", "dash-without-digit", vocab(0, "abc-x5"))
seed("fuzz_vocabulary", "own-table", vocab(10, "B", "A", "B = 10", "C", "D = -3", "E", "", "F=0x20"))
seed("fuzz_vocabulary", "wraps", vocab(-1, "99999999999", "X = 4294967295"))
# Finding: the running number of a table overflowed past an entry numbered 2147483647.
seed("fuzz_vocabulary", "regression-running-overflow", vocab(7, "X", "A = 2147483647", "B", "C"))

def split_input(delimiter, text):
    d = delimiter.encode("utf-8")
    return bytes([len(d)]) + d + text.encode("utf-8")

seed("fuzz_split", "commas", split_input(",", "a,b,,c,"))
seed("fuzz_split", "overlap", split_input("aa", "aaa"))
seed("fuzz_split", "double-colon", split_input("::", "x::y"))
seed("fuzz_split", "empty-delimiter", split_input("", "text"))
seed("fuzz_split", "error-reply", split_input(",", '-113,"Undefined header"\n'))
seed("fuzz_split", "utf8", split_input(",", "К4-Э1,Reruro,Приёмник"))

# --- our VISA library -----------------------------------------------------------------------------

seed("fuzz_visa_resource", "everything", "?*\nTCPIP0::192.168.1.60::8888::SOCKET")
seed("fuzz_visa_resource", "ipv6", "TCPIP?*::SOCKET\nTCPIP::[::1]::5025::SOCKET")
seed("fuzz_visa_resource", "host-name", "\ntcpip1::host-name.local::5025::socket")
seed("fuzz_visa_resource", "lists-and-groups", "TCPIP[0-9]::(127|192)?*::[^:]+::SOCKET\nTCPIP0::127.0.0.1::5025::SOCKET")
seed("fuzz_visa_resource", "instr", "GPIB?*INSTR\nGPIB0::12::INSTR")
seed("fuzz_visa_resource", "usb", "USB?*\nUSB::0x1234::0x5678::SN::INSTR")
seed("fuzz_visa_resource", "bad-port", "?*\nTCPIP0::1.2.3.4::99999::SOCKET")
seed("fuzz_visa_resource", "attribute-filter", "?*{VI_ATTR_MANF_ID==0x1234}\nTCPIP::a::1::SOCKET")
# Findings: nested repetition made matching exponential; deep nesting is refused before compiling.
seed("fuzz_visa_resource", "regression-backtracking", b"\xd1+***d+****+****+ZZ")
seed("fuzz_visa_resource", "regression-exponential", "(T*)*(T*)*(T*)*X\n" + "T" * 200)
seed("fuzz_visa_resource", "regression-too-deep", "(" * 1100 + "a" + ")" * 1100 + "\nTCPIP0::1.2.3.4::5025::SOCKET")
seed("fuzz_visa_resource", "deep-nesting", "(" * 340 + "a" + ")*" * 340 + "\nTCPIP0::1.2.3.4::5025::SOCKET")

seed("fuzz_visa_config", "variable", "TCPIP0::192.168.1.60::8888::SOCKET|manufacturer=Reruro|model=К4-Э1|serial=1042;"
     "TCPIP0::127.0.0.1::5025::SOCKET|busy=1")
seed("fuzz_visa_config", "file", "# lab\nTCPIP0::10.0.0.5::5025::SOCKET | manufacturer = Keysight | model = N9030A\n\n"
     "TCPIP::10.0.0.5::5025::SOCKET  # the same one again\nTCPIP0::[fe80::1%eth0]::8888::SOCKET|busy=0\n")
seed("fuzz_visa_config", "malformed", "TCPIP0::h::1::SOCKET|colour=red;TCPIP0::h::2::SOCKET|busy=2;TCPIP0::h::3::SOCKET|model;"
     "GPIB0::1::INSTR;;  ;TCPIP0::h::4::SOCKET|serial=|model=Ё€\xa0")

def fmt(format, line=b""):
    return format.encode("utf-8") + b"\0" + (line if isinstance(line, bytes) else line.encode("utf-8"))

seed("fuzz_visa_format", "reply-line", fmt("%T", "+1.5E+09\n"))
seed("fuzz_visa_format", "bounded-line", fmt("%127T", "-113,\"Undefined header\"\n"))
seed("fuzz_visa_format", "numbers", fmt("%d,%ld %lf %u", "-113,1234567890123 2.5e3 7\n"))
seed("fuzz_visa_format", "words-and-chars", fmt("%s %c%3c%*d", "word xyz 12\n"))
seed("fuzz_visa_format", "percent", fmt("%%%d%%", "%12%\n"))
seed("fuzz_visa_format", "command", fmt(":SENSe:FREQuency:SPAN %s HZ\n", "10000000.000000"))
seed("fuzz_visa_format", "widths", fmt("%-*.*f|%+08d|% .3e|%#g|%5s", bytes([8, 3]) + b"\x01" * 40))
seed("fuzz_visa_format", "lengths", fmt("%lld %llu %hd %hu %li %c", b"\xff" * 60))
# Findings: a width of 1.5e9 built 1.5 GB of text; a negative '*' precision was written out as
# "%.-16d", which is no directive.
seed("fuzz_visa_format", "regression-huge-width", fmt("%1500000000d"))
seed("fuzz_visa_format", "regression-slow-width", b")%g%0001595169651g\x01\x00")
seed("fuzz_visa_format", "regression-negative-precision", fmt("%.*d", b"\xff" + b"\x00" * 9))


def main():
    for target, items in sorted(seeds.items()):
        folder = os.path.join(CORPUS, target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, data in items:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
    print("wrote %d seeds for %d targets" % (sum(len(v) for v in seeds.values()), len(seeds)))


if __name__ == "__main__":
    main()
