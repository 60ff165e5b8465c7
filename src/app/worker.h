// The worker thread's sequence, portable: runs the reconfiguration steps
// through the view and ends by telling the dialog that it is done.
#pragma once

#include <functional>

#include "common/progress_view.h"

// The reconfiguration steps as the worker runs them.
using WorkerSteps = std::function<void(ProgressView& view, ReconfigurationData& data)>;

// The steps the product runs: the copy's reconfiguration (CReconfiguration).
void RunReconfigurationSteps(ProgressView& view, ReconfigurationData& data);

// The whole life of the worker: with no view, returns at once; otherwise runs
// the steps and, whatever they do, calls view.Done() exactly once as its last
// use of the view. An exception that escapes the steps is shown in one error
// box (through the view) before that. Returns the thread's exit code, 0.
unsigned RunWorkerSequence(ProgressView* view, ReconfigurationData& data,
                           const WorkerSteps& steps = RunReconfigurationSteps);

// How many worker sequences this process has begun (with a view). A
// progress dialog that ends without having begun one ran none of the steps.
unsigned WorkerSequencesBegun();
