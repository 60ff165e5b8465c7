// ReportNotificationFailure: how the notification shows whatever ended its
// request — one error box owned by the progress dialog.
#pragma once

#include "common/progress_view.h"

// Call only inside a catch handler: shows the exception being handled, by
// kind, in the first matching way:
//   1. CException (CInternetException among them) or running out of memory:
//      its own text;
//   2. CInternetStatusException: the text of its status (empty for a status
//      without one, 0 included);
//   3. CSystemError: its one-line text;
//   4. anything else: string 108.
// The box has `caption` and MB_ICONERROR.
void ReportNotificationFailure(ProgressView& view, const char* caption);

// The string id of an HTTP status's text; 0 for a status without one.
port::UINT StatusMessageId(port::DWORD status);
