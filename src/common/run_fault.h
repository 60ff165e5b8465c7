// The end of a run at a fault that nothing caught: recorded (report.h),
// never the runtime's box.
#pragma once

// From now on std::terminate (an exception that nothing caught, one thrown
// through a noexcept function) and the runtime's abort record the fault and
// end the process with kExitUnexpectedError at once, instead of the
// runtime's box.
void EndRunAtUncaughtFault();
