// The links from the report run and the record pass up to the program: the
// model's RecordPassHooks (the engine's totals, the data layer's memo texts,
// the run status dialog, the message box) and the engine's RunShell (the
// "Printing" dialog, the preview, the run status line). The application
// installs them once at start-up.
#pragma once

// message: where the record pass's and the sort's messages go.
void InstallRunHooks(void (*message)(const char* text));
// Takes them away again at the end of the program.
void RemoveRunHooks();
