// Opening a file by what the caller means to do with it: read an existing
// file (others may read it too) or write one (no one else may open it),
// made or emptied when asked. The file's attributes come back with every
// open, so a caller whose open failed can tell a read-only file from any
// other failure.
#pragma once

#include "platform/win/win_types.h"

enum : DWORD {
  FILE_ATTRIBUTE_READONLY = 0x1,
  FILE_ATTRIBUTE_DIRECTORY = 0x10,
  FILE_ATTRIBUTE_NORMAL = 0x80,
};
enum : DWORD { GENERIC_READ = 0x80000000u, GENERIC_WRITE = 0x40000000u };

// The attributes of what the name points at: FILE_ATTRIBUTE_NORMAL for a
// writable file, with FILE_ATTRIBUTE_READONLY when nobody may write it (no
// write permission bit at all, or no write access for this process) and
// FILE_ATTRIBUTE_DIRECTORY for a folder; 0 when it does not exist or cannot
// be examined. A name that differs from the disk's only in case is found.
DWORD FileAttributesOf(const char* name);

// Opens name for access (GENERIC_READ, GENERIC_WRITE or both). With create
// the file is made, or an existing one emptied; without it the file must
// exist. A read-only open lets others read at the same time; any open for
// writing lets no one else in. A read-only file is never opened for writing,
// whoever asks. The handle (see fileio.h), or -1; *attributes (when given)
// gets the file's attributes as they were before the open (0 when they
// cannot be read). flags are the attributes a made file gets; only
// FILE_ATTRIBUTE_READONLY counts.
int OpenFileHandle(const char* name, DWORD access, bool create, DWORD* attributes = nullptr,
                   DWORD flags = FILE_ATTRIBUTE_NORMAL);
// Reads an existing file / writes a file made or emptied for the purpose.
int OpenFileForRead(const char* name, DWORD* attributes = nullptr);
int OpenFileForWrite(const char* name, DWORD* attributes = nullptr);
// TRUE when the file can be opened for reading (it is closed again at once).
BOOL FileCanBeRead(const char* name);
