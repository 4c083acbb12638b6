// The data source a report library member was saved with, read from its
// records the way the library's Open dialog reads it.
#pragma once

#include "platform/win/win_types.h"

#include <string>

class LibraryFile;
struct LibFileControlBlock;

// The name from the member's record 91 or 107 (the latter counted in a
// library member); empty when the member names none or cannot be read.
std::string ReadMemberDataSourceName(LibraryFile& engine, LibFileControlBlock* library, DWORD firstRecord);
