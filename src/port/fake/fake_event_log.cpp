// FakeOs: the event log, recording every event with its source.
#include "port/fake/fake_os.h"

namespace port {

HANDLE FakeOs::RegisterEventSourceA(const char* server, const char* source) {
    if (eventSourceError != 0 || server != nullptr || !source) {
        m_lastError = eventSourceError != 0 ? eventSourceError : ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    // Any name opens a source, registered or not, as on Windows.
    auto const handle = NextHandle();
    m_eventSources[handle] = source;
    return reinterpret_cast<HANDLE>(handle);
}

BOOL FakeOs::ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId, WORD stringCount,
                          const char** strings) {
    auto it = m_eventSources.find(reinterpret_cast<std::uintptr_t>(source));
    if (it == m_eventSources.end()) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    FakeEvent event{it->second, type, category, eventId, {}};
    for (WORD i = 0; i < stringCount; ++i)
        event.strings.emplace_back(strings[i] ? strings[i] : "");
    events.push_back(std::move(event));
    return TRUE;
}

BOOL FakeOs::DeregisterEventSource(HANDLE source) {
    if (m_eventSources.erase(reinterpret_cast<std::uintptr_t>(source)) == 0) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return TRUE;
}

} // namespace port
