// What the GUI test build of norvane.exe (norvane_guitest.exe) shares with
// the test probe: a named event that lets its worker finish, and a named
// shared block in which it reports what the tests check from outside.
#pragma once

// Manual-reset event; the test worker waits for it before running the
// sequence and posting its end.
#define NORVANE_GUITEST_FINISH_EVENT "NorvaneGuiTest.FinishWorker"
// File mapping holding a NorvaneGuiTestState.
#define NORVANE_GUITEST_STATE_MAPPING "NorvaneGuiTest.State"
// The text the test worker puts into the status line.
#define NORVANE_GUITEST_STATUS_TEXT "Test worker running: waiting to be finished"
// The application message box the worker raises in mode "box", and the
// failure it throws in mode "throw".
#define NORVANE_GUITEST_BOX_TEXT "Test box raised by the worker"
#define NORVANE_GUITEST_FAILURE_TEXT "test step failed"

// Registered window message: the dialog copies its system menu's items into
// the shared block (a menu cannot be read from another process on Wine).
#define NORVANE_GUITEST_DUMP_MENU_MESSAGE "NorvaneGuiTest.DumpSystemMenu"

struct NorvaneGuiTestMenuItem {
    unsigned id;
    long separator;
    char text[64];
};

struct NorvaneGuiTestState {
    long workerStarts;   // ThreadProc entries
    long workerFinished; // set just before the worker posts its end
    long menuCount;      // system-menu items, -1 when there is no system menu
    NorvaneGuiTestMenuItem menu[16];
};
