#include "common/run_outcome.h"

const char* RunModeName(RunMode mode) {
    switch (mode) {
    case RunMode::Prepare:
        return "prepare";
    case RunMode::Copy:
        return "copy";
    case RunMode::SameHost:
        return "same host";
    case RunMode::Refused:
        return "refused";
    case RunMode::Start:
        break;
    }
    return "start";
}

int ExitCodeGravity(ExitCode code) {
    switch (code) {
    case kExitDone:
        return 0;
    case kExitCopyIncomplete:
        return 1;
    case kExitServerNotTold:
        return 2;
    case kExitCopyNotFinished:
        return 3;
    case kExitPreparationFailed:
        return 4;
    case kExitClientNotInstalled:
        return 5;
    case kExitAlreadyRunning:
    case kExitUsage:
    case kExitAlreadyPrepared:
        return 6;
    case kExitRefused:
        return 7;
    case kExitUnexpectedError:
        return 8;
    }
    return 8;
}

const char* ExitCodeMeaning(ExitCode code) {
    switch (code) {
    case kExitDone:
        return "everything was done";
    case kExitUnexpectedError:
        return "an unexpected error stopped the run";
    case kExitRefused:
        return "refused on this system or for this user";
    case kExitClientNotInstalled:
        return "the client is not installed";
    case kExitPreparationFailed:
        return "the preparation failed, nothing is registered";
    case kExitCopyNotFinished:
        return "the copy is not finished, the next logon tries again";
    case kExitServerNotTold:
        return "the copy is finished, the server was not told";
    case kExitCopyIncomplete:
        return "the copy is finished, part of the client did not stop or start";
    case kExitAlreadyRunning:
        return "another instance does the job";
    case kExitUsage:
        return "the usage was shown or an argument refused, nothing is changed";
    case kExitAlreadyPrepared:
        return "this computer is the prepared master, nothing is done";
    }
    return "unknown";
}
