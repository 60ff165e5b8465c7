// The boot-time service's entry on Windows: norvane.exe started by the
// service control manager with its service command.
#pragma once

class CNorvaneApp;

// Runs app as the boot-time service when the service control manager
// started this process: reports it running at once, accepts only the
// shutdown while it runs (a stop that comes all the same starts the client's
// services again first: reconfigure/run_control.h) and reports the
// run's exit code as the service's. false, with nothing done, when the
// process was not started as a service.
bool RunAsBootService(CNorvaneApp& app);
