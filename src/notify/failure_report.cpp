#include "notify/failure_report.h"

#include "common/message_box.h"
#include "common/report.h"
#include "common/syserror.h"
#include "common/text.h"
#include "notify/internet_error.h"
#include "string_ids.h"

#include <new>

using namespace port;

UINT StatusMessageId(DWORD status) {
    struct Entry {
        DWORD status;
        UINT id;
    };
    // 408 and 504 share their words under two ids; 148 belongs to no status.
    static constexpr Entry kTable[] = {{301, 161}, {305, 160}, {400, 137}, {401, 138}, {402, 139},
                                       {403, 140}, {404, 141}, {405, 142}, {406, 143}, {407, 144},
                                       {408, 145}, {409, 146}, {410, 147}, {411, 154}, {412, 155},
                                       {413, 156}, {414, 157}, {415, 158}, {500, 149}, {501, 150},
                                       {502, 151}, {503, 152}, {504, 153}, {505, 159}};
    for (const auto& entry : kTable)
        if (entry.status == status)
            return entry.id;
    return 0;
}

void ReportNotificationFailure(ProgressView& view, const char* caption) {
    std::string text;
    try {
        throw;
    } catch (const CInternetException& e) {
        char message[MAX_PATH] = {};
        e.GetErrorMessage(message, sizeof message);
        text = message;
        // No answer came: the library's code is what the server's status
        // would have been.
        Report().ServerStatus(e.m_dwError);
        Report().Event(Format("The request failed with the library's error %lu",
                              static_cast<unsigned long>(e.m_dwError)));
    } catch (const CException& e) {
        char message[MAX_PATH] = {};
        e.GetErrorMessage(message, sizeof message);
        text = message;
    } catch (const std::bad_alloc&) {
        text = "Out of memory.";
    } catch (const CInternetStatusException& e) {
        UINT id = StatusMessageId(e.m_dwStatusCode);
        text = id ? LoadResString(id) : std::string();
        Report().Event(Format("The notification failed with status %lu",
                              static_cast<unsigned long>(e.m_dwStatusCode)));
    } catch (const CSystemError& e) {
        CSystemError copy = e;
        text = copy.GetErrorText();
    } catch (...) {
        text = LoadResString(IDS_DOWNLOAD_UNKNOWN_ERROR);
    }
    (void)ViewMessageBox(view, text, caption, MB_ICONERROR);
}
