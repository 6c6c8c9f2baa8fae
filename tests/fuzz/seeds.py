#!/usr/bin/env python3
"""Writes the seed corpora under tests/fuzz/corpus/: a few valid and near-valid inputs per reader, in the
input layout the comment at the top of each target gives, and the inputs of past findings. Run it again
after changing a layout; the files are committed."""
import os
import shutil
import struct

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
PLAIN, MAX_CNT, LOST, STALL64, SHORT7 = 0x00, 0x01, 0x02, 0x10, 0x4C  # control bytes (configure)
seeds = {}


def seed(target, name, *parts):
    seeds.setdefault(target, []).append((name, b"".join(p.encode() if isinstance(p, str) else p for p in parts)))


def block(values, order="<", length=None, end=b"\n"):
    data = b"".join(struct.pack(order + "f", v) for v in values)
    digits = str(len(data) if length is None else length).encode()
    return b"#" + str(len(digits)).encode() + digits + data + end


ramp = [float(k % 17) - 8.0 for k in range(256)]
pxa = lambda name, selector, control, *parts: seed("fuzz_pxa", name, bytes([selector, control]), *parts)
pxa("capture", 0, PLAIN, block(ramp[:4]), block(ramp[:8]))
pxa("capture-stalling", 0, STALL64, block(ramp * 2 + ramp[:2]))
pxa("capture-cut-then-lost", 0, LOST, block(ramp[:20], length=400, end=b""))
# Finding: a header alone announcing 999999999 bytes made the capture allocate 2 GB of samples.
pxa("regression-huge-claim", 0, PLAIN, "#9999999999\n")
pxa("params", 1, PLAIN, bytes([2]), struct.pack("<i", 1000), "+1.5E+009\n-10\n1.0E-07\n+1000\n1.5E+09\n-10\nx\n")
pxa("params-min", 1, MAX_CNT, bytes([0]), struct.pack("<i", -5), "2E1\n-70\n1E1\n38194\n" + "9" * 300 + "\n")
pxa("ascii", 2, STALL64, "40\n", ",".join("%+.6E" % v for v in ramp[:80]) + ",abc,3\n")
pxa("binary", 3, PLAIN, "1\n", block([1.0, -2.0], ">"))
pxa("binary-cut", 3, LOST, "100\n", block(ramp[:20], ">", length=800, end=b""))
# Finding: a header alone announcing 999999999 bytes made the capture allocate 4 GB of values.
pxa("regression-binary-huge-claim", 3, PLAIN, "2\n#9999999999\n")
pxa("errors", 4, PLAIN, bytes([101]), '-113,"Undefined header"\nabc\n-222,"Data out of range"\n+0,"No error"\n')
pxa("errors-never-empty", 4, PLAIN, bytes([0]), '-350,"Queue overflow"\n' * 120)
pxa("errors-opc-in-replies", 4, 0x20, bytes([0]), '1\n-113,"x"\n1\n1\n0,y\n1\n' + '-100,"' + "x" * 1500 + '"\n')


def head(command, body_len, num=0, len_frac=0, status=0, signature=0x55AA):
    return struct.pack("<HHhHBBHI", signature, command, status, body_len, num, len_frac, 0, 1)


def param(pid, values, len_frac, command=4, num=None):
    length, frac = len_frac >> 4, len_frac & 15
    enc = lambda v: struct.pack("<d", v) if len_frac == 0x8F else \
        (int(round(v * (1 << 8 * frac))) & ((1 << 8 * length) - 1)).to_bytes(length, "little")
    body = struct.pack("<H", pid) + b"".join(enc(v) for v in values)
    return head(command, len(body), len(values) if num is None else num, len_frac) + body


def run(n, num=2, length=4, status=0, body_status=0):
    vals = [((k * 37) % 201 - 100) * 1000 for k in range(n * num)]
    body = b"".join((v & ((1 << 8 * length) - 1)).to_bytes(length, "little") for v in vals) + struct.pack("<h", body_status)
    return param(50, [0, n, 1, n], 0x40, command=3) + head(6, len(body), num, length << 4, status) + body


sk = lambda name, selector, control, *parts: seed("fuzz_sk", name, bytes([selector, control]), *parts)
sk("parameter", 0, PLAIN, bytes([8]), param(101, [3], 0x40), param(56, [2e9, 1, 0], 0x60, command=3))
sk("parameter-formats", 0, SHORT7, bytes([2]), param(106, [-1.5, 20.25], 0x42), param(101, [1.5e6, -3.25], 0x8F))
sk("parameter-claims", 0, LOST, bytes([4]), param(101, [1, 2], 0x40, num=255), head(4, 65535, 1, 0x40), b"\0" * 100)
sk("run", 1, PLAIN, struct.pack("<HH", 12, 12), run(12), run(12))
sk("run-two-blocks", 1, STALL64, struct.pack("<HH", 8200, 8000), run(8188, length=1), run(12, num=3, length=3))
sk("run-statuses", 1, PLAIN, struct.pack("<HH", 12, 4), run(12, status=20486), run(12, body_status=-32765), run(0))
table = lambda pid, pts, lf: param(pid, [0, len(pts)] + pts, lf, num=2)
band = [995e6 + 2.5e6 * k for k in range(5)]
sk("table", 2, PLAIN, struct.pack("<HII", 1024, 1000000000, 10000000), table(105, band, 0x60), table(106, [0, 1.5, 3, 1.5, -0.25], 0x42))
sk("table-unordered", 2, STALL64, struct.pack("<HII", 64, 4000000000, 0), table(105, band[::-1], 0x60), table(106, [20], 0x42))

text = lambda name, selector, *parts: seed("fuzz_split_vocabulary", name, bytes([selector]), *parts)
text("split", 0, bytes([1]), ",", "a,b,,c,")
text("split-utf8", 0, bytes([1]), ";", "К4-Э1;Reruro;Приёмник")
text("vocabulary", 1, struct.pack("<i", 50), "P_CLK\n", "A\nB = 10\nC\nD = -3\n\nF=0x20")
# Finding: the running number of a table overflowed past an entry numbered 2147483647.
text("regression-running-overflow", 1, struct.pack("<i", 7), "X\n", "A = 2147483647\nB\nC")

visa = lambda name, selector, *parts: seed("fuzz_visa_text", name, bytes([selector]), *parts)
visa("resource", 0, "TCPIP[0-9]::(127|192)?*::[^:]+::SOCKET\ntcpip::[::1]::5025::socket")
# Findings: nested repetition made matching exponential; deep nesting is refused before compiling.
visa("regression-backtracking", 0, b"\xd1+***d+****+****+ZZ")
visa("regression-exponential", 0, "(T*)*(T*)*(T*)*X\n" + "T" * 200)
visa("regression-too-deep", 0, "(" * 1100 + "a" + ")" * 1100 + "\nTCPIP0::1.2.3.4::5025::SOCKET")
visa("list", 1, "# lab\nTCPIP0::10.0.0.5::5025::SOCKET | manufacturer = Keysight | model = N9030A\n"
     "TCPIP0::192.168.1.60::8888::SOCKET|model=К4-Э1|serial=1042|busy=1;TCPIP0::h::2::SOCKET|busy=2")
visa("format", 2, "%d,%ld %lf %s %3c%*d\0-113,1234567890123 2.5e3 word xyz 12\n")
visa("format-widths", 2, "%-*.*f|%+08d|% .3e|%#g|%5s|%lld\0", bytes([8, 3]) + b"\x01" * 60)
# Findings: a width of 1.5e9 built 1.5 GB of text; a negative '*' precision was written out as "%.-16d".
visa("regression-huge-width", 2, "%1500000000d\0")
visa("regression-slow-width", 2, b")%g%0001595169651g\x01\x00")
visa("regression-negative-precision", 2, "%.*d\0", b"\xff" + b"\x00" * 9)

if __name__ == "__main__":
    for target, items in seeds.items():
        shutil.rmtree(os.path.join(CORPUS, target), ignore_errors=True)
        os.makedirs(os.path.join(CORPUS, target))
        for name, data in items:
            with open(os.path.join(CORPUS, target, name), "wb") as f:
                f.write(data)
    print("wrote %d seeds for %d targets" % (sum(len(v) for v in seeds.values()), len(seeds)))
