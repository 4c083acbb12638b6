// The user-function library kmw.udf: a library file (32-byte records, kind
// 0) with one member per function. Loading reads every function when a
// report is opened or made; the function editor writes and deletes single
// members. The file's stamp tells whether another program changed it.
#pragma once

#include "platform/win/win_types.h"

#include <cstdint>

class CKmComposite;
class LibraryFile;
struct LibFileControlBlock;
struct LibMember;
struct UdfNode;

// Result codes; any other value reads as "User function access error".
enum UdfLibraryResult {
  kUdfLibOk = 0,
  kUdfLibInvalid = 1,
  kUdfLibNotCurrent = 2,
  kUdfLibReadError = 3,
  kUdfLibCreateError = 4,
  kUdfLibOpenError = 5,
  kUdfLibWriteError = 6,
  kUdfLibDeleteError = 7,
  kUdfLibNoAccess = 8,
  kUdfLibAccessError = -1,
};

// Member record types.
enum UdfRecordType : uint8_t {
  kUdfRecHeader = 1,
  kUdfRecEnd = 2,
  kUdfRecId = 3,
  kUdfRecFlags16 = 4,
  kUdfRecHeading = 5,
  kUdfRecBody = 6,
  kUdfRecReserved = 7,
  kUdfRecFlags32 = 8,
};

// Where the library lives (the program directory's kmw.udf), and the engine
// that reads it (the document's; without one the model keeps its own).
void SetUdfLibraryPath(CKmComposite* m, const char* path);
void SetUdfLibraryEngine(CKmComposite* m, LibraryFile* engine);
LibraryFile* UdfLibraryEngine(CKmComposite* m);
LibFileControlBlock* UdfLibraryHandle(CKmComposite* m);

int OpenUdfLibrary(CKmComposite* m, bool allowCreate);
void CloseUdfLibrary(CKmComposite* m);
int LoadUserFunctionLibrary(CKmComposite* m);
int ReadUdfMember(CKmComposite* m, const LibMember* member, bool keepUncompiled);
int WriteUdfRecord(CKmComposite* m, uint8_t type, uint16_t length, const void* data);
int SaveUdf(CKmComposite* m, UdfNode* node, const char* oldName);
int DeleteUdfFromLibrary(CKmComposite* m, UdfNode* node);
const char* UdfLibraryErrorText(CKmComposite* m, int code);
DWORD GetFileStamp(int handle);

// Member summaries for a report library's Open dialog: each member's header
// (last-saved date and time, user text) and its comments. 0, or 1 with
// library error 258 when memory runs out.
int ReadLibraryReportInfo(LibraryFile* engine, LibFileControlBlock* library, LibMember* list);
