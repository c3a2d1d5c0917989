#!/usr/bin/python3
# Decodes frames with python3-canmatrix, an independent DBC reader, for tst_dbc.
# stdin: "RAWID HEX" per line (RAWID as in the DBC: bit 31 marks an extended identifier).
# stdout: "RAWID HEX SIGNAL PHYSICAL" per decoded signal.
import sys
import canmatrix
import canmatrix.formats

db = canmatrix.formats.loadp_flat(sys.argv[1])
for line in sys.stdin:
    if not line.strip():
        continue
    raw_id, hexdata = line.split()
    raw_id = int(raw_id)
    arb = canmatrix.ArbitrationId(raw_id & 0x7FFFFFFF, extended=bool(raw_id & 0x80000000))
    frame = db.frame_by_id(arb)
    for name, decoded in frame.decode(bytes.fromhex(hexdata)).items():
        print(raw_id, hexdata, name, repr(float(decoded.phys_value)))
