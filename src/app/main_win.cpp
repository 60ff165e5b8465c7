// The program's entry point on Windows.
#include "app/app_main_win.h"
#include "app/norvane_dlg.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return NorvaneMain([](port::BOOL sameHost) { RunProgressDialog(sameHost); });
}
