// The Qt application under the window layer.
#pragma once

// Starts the Qt application when there is none yet (the program's main passes
// its arguments; tests and tools may call it with none) and puts the C
// library's number formatting back to the "C" locale, which Qt replaces with
// the environment's when it starts.
void UiStartApplication(int* argc = nullptr, char** argv = nullptr);
bool UiApplicationRunning();
