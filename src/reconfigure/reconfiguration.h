// The steps a copy of the master runs at its first logon, on the progress
// dialog's worker thread: check that the client is installed, stop it, give
// it a new GUID, tell the server, restore its services and start-up entry,
// remove this program and start the client again. On the master itself only
// the restoring part runs.
//
// The steps reach the dialog only through the ProgressView (status line,
// message boxes owned by the dialog, hiding it), so they are portable.
#pragma once

#include "common/progress_view.h"
#include "port/port.h"

#include <string>

class CReconfiguration {
public:
    CReconfiguration(ProgressView& view, ReconfigurationData& data) : m_view(view), m_data(data) {}
    virtual ~CReconfiguration() = default;
    CReconfiguration(const CReconfiguration&) = delete;
    CReconfiguration& operator=(const CReconfiguration&) = delete;

    // The worker's whole sequence, up to (not including) its end message.
    void Run();

    // The sequence.
    [[nodiscard]] bool CheckClientInstalled();
    [[nodiscard]] bool IsClientInstalled();
    void LocateMainProgram();
    void RunReconfiguration();
    [[nodiscard]] bool IsClientValueAbsent();
    [[nodiscard]] bool IsClientModeSet();

    // Stopping the client's programs and services.
    void StopClient();

    // A new identity: true when the value "GUID" was written; guid receives
    // the text even when the write then fails.
    [[nodiscard]] bool CreateGuidKey(std::string& guid);
    [[nodiscard]] bool GenerateAndStoreGuid(std::string& guid);

    // Tells the server about the new installation; TRUE when it answered.
    virtual port::BOOL NotifyServer(const std::string& guid);

    // Undoing the preparation (proceed: the new identity was stored), and
    // starting the client again.
    void RestoreClient(bool proceed);
    void StartClient();
    // After a run that ended before its restore: the client's services it
    // stopped start again (the listener only once the client has its new
    // GUID).
    void ProtectClient();

protected:
    // Lines of the run's record around each step.
    static void StepBegun(const char* step);
    static void StepEnded(const char* step);
    void ShowStatus(port::UINT stringId);
    // The status text, painted at once (before a pause).
    void ShowStatusNow(port::UINT stringId);

    ProgressView& m_view;
    ReconfigurationData& m_data;
};

// What ProtectClient does, for a run's data wherever the run was cut: the
// client's services the run stopped start again (the listener only once the
// client has its new GUID); nothing when the run started the client itself.
void ProtectClientAfter(const ReconfigurationData& run);
