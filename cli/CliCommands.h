#pragma once
// The commands of k3316-cli: each connects, does its work, prints its result and returns the
// exit code.

#include "cli/CliOptions.h"

class TInterrupt;

int RunCliCommand(const TCliOptions &options, TInterrupt *interrupt);
