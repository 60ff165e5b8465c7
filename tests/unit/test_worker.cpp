// The worker's sequence against a recording view: it runs the steps through
// the view and tells the dialog it is done exactly once, as its last act,
// whatever the steps do.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/worker.h"
#include "fake_system.h"

namespace {

class RecordingView : public ProgressView {
public:
    void SetStatusText(const char* text) override {
        calls.push_back(std::string("status:") + text);
    }
    void RepaintStatus() override { calls.push_back("repaint"); }
    int ShowMessageBox(const char* text, const char*, port::UINT) override {
        calls.push_back(std::string("box:") + text);
        return port::IDOK;
    }
    void Hide() override { calls.push_back("hide"); }
    void Done() override { calls.push_back("done"); }

    std::vector<std::string> calls;
};

} // namespace

TEST(WorkerSequence, WithoutAViewDoesNothing) {
    ReconfigurationData data;
    bool ran = false;
    EXPECT_EQ(
        RunWorkerSequence(nullptr, data, [&](ProgressView&, ReconfigurationData&) { ran = true; }),
        0u);
    EXPECT_FALSE(ran);
}

TEST(WorkerSequence, RunsTheStepsThenPostsDoneOnceAsTheLastAct) {
    RecordingView view;
    ReconfigurationData data;
    data.m_bSameHost = port::TRUE;
    port::BOOL seenSameHost = port::FALSE;
    auto const steps = [&](ProgressView& v, ReconfigurationData& d) {
        seenSameHost = d.m_bSameHost;
        v.SetStatusText("one");
        v.RepaintStatus();
        v.SetStatusText("two");
        v.Hide();
        d.m_strMainProgramPath = "C:\\client\\main.exe";
    };
    EXPECT_EQ(RunWorkerSequence(&view, data, steps), 0u);
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{"status:one", "repaint", "status:two", "hide", "done"}));
    EXPECT_EQ(seenSameHost, port::TRUE);
    EXPECT_EQ(data.m_strMainProgramPath, "C:\\client\\main.exe");
}

// The box goes through the run's record, which writes to the machine.
class WorkerFailure : public FakeSystemTest {};

TEST_F(WorkerFailure, AnEscapingExceptionIsShownOnceThenEndsTheDialog) {
    RecordingView view;
    ReconfigurationData data;
    auto const steps = [](ProgressView& v, ReconfigurationData&) {
        v.SetStatusText("before");
        throw std::runtime_error("step failed");
    };
    EXPECT_EQ(RunWorkerSequence(&view, data, steps), 0u);
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{
                  "status:before",
                  "box:The reconfiguration stopped because of an unexpected error:\nstep failed",
                  "done"}));
}

TEST(WorkerSequence, NoStepsClosesTheDialogAtOnce) {
    RecordingView view;
    ReconfigurationData data;
    EXPECT_EQ(RunWorkerSequence(&view, data, WorkerSteps{}), 0u);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"done"}));
}
