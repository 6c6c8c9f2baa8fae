#!/usr/bin/python3
"""Checks SigMF recordings as an outside reader would: the metadata against the SigMF schema, the data
against the metadata, and a known tone's level and frequency in the unit the recording states.
usage: check_recordings.py SCHEMA NAME[:TONE_HZ:TONE_DBM] ...   (NAME without .sigmf-meta)
A NAME alone is a recording that may have been cut short at any moment: it must be consistent (the
metadata describes whole samples the data holds, core:sha512 matches when present), nothing more."""
import hashlib, json, os, sys
import jsonschema
import numpy as np

DTYPES = {"cf32_le": "<c8", "cf64_le": "<c16", "ci16_le": "<i2", "ri16_le": "<i2"}
SAMPLE_BYTES = {"cf32_le": 8, "cf64_le": 16, "ci16_le": 4, "ri16_le": 2}


def consistent(schema, name):
    if not os.path.exists(name + ".sigmf-meta") and os.path.getsize(name + ".sigmf-data") == 0:
        return None, None, None  # ended before the recorder had anything to describe
    meta = json.load(open(name + ".sigmf-meta"))
    jsonschema.validate(meta, schema, cls=jsonschema.Draft202012Validator)
    g = meta["global"]
    declared = {e["name"] for e in g.get("core:extensions", [])}
    for section in [g] + meta["captures"] + meta["annotations"]:
        for key in section:
            ns = key.split(":")[0]
            assert ns == "core" or ns in declared, f"{name}: namespace {ns} not declared"
    for part in ("captures", "annotations"):
        starts = [c["core:sample_start"] for c in meta[part]]
        assert starts == sorted(starts), f"{name}: {part} out of order"

    raw = open(name + ".sigmf-data", "rb").read()
    if "core:sha512" in g:
        assert hashlib.sha512(raw).hexdigest() == g["core:sha512"], f"{name}: core:sha512 does not match"
    dt = g["core:datatype"]
    assert len(raw) % SAMPLE_BYTES[dt] == 0, f"{name}: the data is not a whole number of samples"
    values = np.frombuffer(raw, dtype=DTYPES[dt])
    if dt == "ci16_le":
        values = values[0::2] + 1j * values[1::2]
    samples = values.astype(np.complex128) * g.get("trelvan:scale", 1.0)
    starts = [c["core:sample_start"] for c in meta["captures"]] + [len(samples)]
    assert all(0 <= a <= b <= len(samples) for a, b in zip(starts, starts[1:])), f"{name}: captures beyond the data"
    return meta, samples, starts


def check(schema, name, tone_hz, tone_dbm):
    meta, samples, starts = consistent(schema, name)
    g = meta["global"]
    assert "core:sha512" in g, f"{name}: a finished recording carries core:sha512"
    volts = samples * g["trelvan:volts_per_unit"]
    block = volts[starts[0]:starts[1]]
    w = np.hanning(len(block) + 1)[:-1]
    power = np.abs(np.fft.fftshift(np.fft.fft(block * w))) ** 2 / (len(block) * np.sum(w * w))
    k = int(np.argmax(power))
    lobe = power[max(k - 3, 0):k + 4].sum()
    level = 10 * np.log10(lobe / 50 * 1000)
    rate = g["core:sample_rate"]
    freq = meta["captures"][0]["core:frequency"] + (k - len(block) / 2) * rate / len(block)
    assert abs(level - tone_dbm) <= 1.0, f"{name}: tone at {level:.2f} dBm, expected {tone_dbm}"
    assert abs(freq - tone_hz) <= 3 * rate / len(block), f"{name}: tone at {freq} Hz, expected {tone_hz}"
    print(f"{os.path.basename(name)}: valid, tone {freq / 1e6:.4f} MHz at {level:.2f} dBm in {g['trelvan:sample_unit']}s")


def main():
    schema = json.load(open(sys.argv[1]))
    for arg in sys.argv[2:]:
        if arg.count(":") < 2:
            consistent(schema, arg)
            continue
        name, hz, dbm = arg.rsplit(":", 2)
        check(schema, name, float(hz), float(dbm))


if __name__ == "__main__":
    main()
