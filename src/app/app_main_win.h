// The program's start on Windows, shared by the product's entry point and
// the test build's: installs the real port, runs the application object's
// start-up and stops whatever escapes it.
#pragma once

#include "port/port.h"

#include <functional>

// runProgressDialog runs the progress dialog of reconfiguration mode. Returns
// the run's exit code (common/report.h), which WinMain returns.
int NorvaneMain(std::function<void(port::BOOL sameHost)> runProgressDialog);
