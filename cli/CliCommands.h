#pragma once
// cli: k3316-cli, one file per command family, on QCoreApplication and the serial component.
// Uses serial, protocol, monitor, dbc, transmit, bridge and common; no widgets.
//
// The commands of k3316-cli: each connects, does its work, prints its result and returns the
// exit code.

#include "cli/CliOptions.h"

class TInterrupt;

int RunCliCommand(const TCliOptions &options, TInterrupt *interrupt);
