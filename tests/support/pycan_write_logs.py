#!/usr/bin/python3
"""Writes the frames of a JSON Lines file with python-can's own writers, for the readers' tests.

Usage: pycan_write_logs.py FRAMES.jsonl OUTDIR
Each line: {"t": seconds, "id": n, "ext": b, "rtr": b, "err": b, "dlc": n, "data": "hex"}.
Writes OUTDIR/pycan.asc, .blf, .trc, .log (candump) and .csv.
"""
import json
import sys

import can
from can.io.asc import ASCWriter
from can.io.blf import BLFWriter
from can.io.canutils import CanutilsLogWriter
from can.io.csv import CSVWriter
from can.io.trc import TRCWriter

frames, outdir = sys.argv[1], sys.argv[2]
messages = []
with open(frames) as f:
    for line in f:
        d = json.loads(line)
        messages.append(can.Message(timestamp=d["t"], arbitration_id=d["id"], is_extended_id=d["ext"],
                                    is_remote_frame=d["rtr"], is_error_frame=d["err"], dlc=d["dlc"],
                                    data=bytes.fromhex(d["data"])))
for cls, ending in ((ASCWriter, "asc"), (BLFWriter, "blf"), (TRCWriter, "trc"),
                    (CanutilsLogWriter, "log"), (CSVWriter, "csv")):
    writer = cls(f"{outdir}/pycan.{ending}")
    for m in messages:
        writer.on_message_received(m)
    writer.stop()
