#!/usr/bin/python3
# python-can's own slcan interface against `k3316-cli slcan`, on the pseudo-terminal's path.
# Arguments: PATH BITRATE COUNT [FRAME ...]; BITRATE "-" sets none; a FRAME is ID#DATA or
# ID#R<dlc> (remote), an identifier of more than three digits is extended.
# Prints "version HW SW SERIAL", sends each FRAME, then prints each frame received as
# "ID EXTENDED REMOTE DLC DATA" (hex in upper case, "-" for no data) until COUNT have come or
# the bus has been quiet for 5 s, and closes the bus.
import sys

import can

path, bitrate, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
options = {} if bitrate == "-" else {"bitrate": int(bitrate)}
bus = can.Bus(interface="slcan", channel=path, sleep_after_open=0, **options)
hw, sw = bus.get_version(5)
print("version %s %s %s" % (hw, sw, bus.get_serial_number(5)), flush=True)
for frame in sys.argv[4:]:
    ident, data = frame.split("#")
    extended = len(ident) > 3
    if data.startswith("R"):
        message = can.Message(arbitration_id=int(ident, 16), is_extended_id=extended, is_remote_frame=True,
                              dlc=int(data[1:]))
    else:
        message = can.Message(arbitration_id=int(ident, 16), is_extended_id=extended, data=bytes.fromhex(data))
    bus.send(message)
for received in range(count):
    message = bus.recv(5)
    if message is None:
        break
    print("%X %d %d %d %s" % (message.arbitration_id, message.is_extended_id, message.is_remote_frame, message.dlc,
                              message.data.hex().upper() or "-"), flush=True)
bus.shutdown()
