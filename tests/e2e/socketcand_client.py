#!/usr/bin/python3
# python-can's own socketcand client against `k3316-cli serve`.
# Arguments: PORT COUNT [ID#DATA ...]. Prints "ready" once the bus is open, then each data frame
# received as "ID DATA TIMESTAMP" (hex in upper case) until COUNT have come or the bus has been
# quiet for 2 s after the first, then sends each ID#DATA (an identifier of more than three digits
# is extended) and closes.
import sys

import can

port, count = int(sys.argv[1]), int(sys.argv[2])
bus = can.Bus(interface="socketcand", channel="k3316", host="127.0.0.1", port=port)
print("ready", flush=True)
for received in range(count):
    message = bus.recv(15 if received == 0 else 2)
    if message is None:
        break
    print("%X %s %.6f" % (message.arbitration_id, message.data.hex().upper(), message.timestamp), flush=True)
for frame in sys.argv[3:]:
    ident, data = frame.split("#")
    bus.send(can.Message(arbitration_id=int(ident, 16), data=bytes.fromhex(data), is_extended_id=len(ident) > 3))
bus.shutdown()
