// Windows tells every top-level window when win.ini changes
// (WM_WININICHANGE); here a watch on the emulated Windows directory's
// win.ini does the same, so settings edited while the program runs reach it.
#pragma once

// Starts the watch (once; later calls do nothing). Needs the window layer running.
void WatchWinIni();
void StopWatchingWinIni();
// Posts WM_WININICHANGE (lParam 0: any section) to every top-level window.
void BroadcastWinIniChange();
