#pragma once
// extcap: k3316-extcap, Wireshark's live capture from the module.
// Uses cli (module link, interrupts), bridge (extcap answers), monitor, protocol; no widgets.
//
// The capture step of k3316-extcap: connects to the module as `k3316-cli monitor` does, then
// writes every CAN frame it reports to Wireshark's fifo as pcap (link type 227), each read's
// frames at once, until Wireshark stops it (SIGTERM or SIGINT, or closing the fifo) or the
// module is lost. A line that is no frame, or a frame with a wrong checksum, is not written.

#include "bridge/ExtcapAnswers.h"

class TInterrupt;

// The exit code: 0 when stopped by Wireshark, 1 for a fault (the message is on stderr, where
// Wireshark shows it), 2 for bad usage.
int RunExtcapCapture(const TExtcapOptions &options, TInterrupt *interrupt);
