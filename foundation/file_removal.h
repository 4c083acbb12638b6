// Removing a work or pending file that may or may not be there.
#pragma once

// 1 when the file existed and was removed; 0 when it was absent or could not
// be removed (a folder, no rights). Never raises.
int DeleteFileIfExists(const char* path);
