// Win32Os: the event log.
#include "port/win32/win32_os.h"

#include <windows.h>

namespace port {

HANDLE Win32Os::RegisterEventSourceA(const char* server, const char* source) {
    return ::RegisterEventSourceA(server, source);
}

BOOL Win32Os::ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId, WORD stringCount,
                           const char** strings) {
    return ::ReportEventA(source, type, category, eventId, nullptr, stringCount, 0, strings,
                          nullptr);
}

BOOL Win32Os::DeregisterEventSource(HANDLE source) {
    return ::DeregisterEventSource(source);
}

} // namespace port
