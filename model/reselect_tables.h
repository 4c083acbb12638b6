// Finding a report's tables again when they have moved: the places to look,
// in order, and the path helpers that keep table paths relative to the master
// table. Paths use the stored form with backslashes.
#pragma once

#include <string>

// The part after the last backslash (the whole text when there is none).
std::string GetFileNamePart(const std::string& path);
// dir, a backslash unless dir ends in one, and the file name part of path.
std::string JoinDirAndFile(const std::string& path, const std::string& dir);
bool IsUncPath(const std::string& path);
// UNC: the position of the backslash after the share name (or the end); else after "X:".
size_t GetPathRootEnd(const std::string& path);
bool IsDriveRootPath(const char* path);
std::string MakePathRelativeTo(const std::string& path, const std::string& base);

// What the places to look are made of.
struct TablePathContext {
  std::string masterPath;     // the master table's stored path
  std::string dataDir;        // the data directory
  std::string fileDir;        // the report file's directory
  std::string pathsBlockDir;  // the directory kept in the document's paths block
  std::string sourceDbDir;    // the directory of the report's data source's database
  std::string currentDbDir;   // the directory of the current connection's database
  bool dirPrefix = true;      // the data source puts directories in front of table names
};

constexpr int kPathKindAsk = 3;

int NextTablePathKind(int kind);
// The path to try for a kind; kind 3 (and any unknown kind) gives the stored
// path, after which the user must be asked.
std::string BuildTablePath(int kind, const std::string& storedPath, const TablePathContext& ctx);
// The path as stored: relative to the master table's where it can be.
std::string ResolveMasterPath(const std::string& path, const TablePathContext& ctx);
// Completes a stored relative path against the master's; kind receives the next kind to try.
std::string MakeRelativePath(const std::string& path, const TablePathContext& ctx, int* nextKind);

class KmDocBase;

// What asking for another data source needs of the document and the data layer.
struct DataSourceQuestion {
  KmDocBase* doc = nullptr;
  bool promptSuppressed = false;  // set while the command line opens a report
  bool sqlReport = false;
  const char* masterPath = "";
  // The data-source chooser: 0 chosen, 2 cancelled, anything else asks again.
  int (*choose)(void* context) = nullptr;
  // Makes the named data source current again.
  void (*select)(void* context, const char* name) = nullptr;
  const char* currentSource = "";
  void* context = nullptr;
};
// 0 when another data source was chosen (the caller retries), 1 when declined.
int AskAnotherDataSource(const DataSourceQuestion& q);

class CKmComposite;

// Data-source kinds that store tables as files of their own.
enum TableSourceKind { kSourceOther = 0, kSourceParadox, kSourceDbase, kSourceBtrieve, kSourceExcel, kSourceAccess };
// The Open file filter of the kind ("Name (*.X)|*.X|").
const char* TableFileFilter(int sourceKind);

// What the questions need of the document, the status bar and the dialogs.
struct ReselectServices {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;  // shows engine codes
  void* context = nullptr;
  void (*status)(void* context, const char* text) = nullptr;
  // The Open file dialog: true with the chosen path.
  bool (*openFile)(void* context, const char* title, const char* filter, const char* dir, std::string* chosen) = nullptr;
  // The current data source's table list: true with the chosen table.
  bool (*tableList)(void* context, bool master, std::string* chosen) = nullptr;
  void (*waitCursor)(void* context, bool on) = nullptr;
  // Null: the document's error box.
  void (*showError)(void* context, const char* text) = nullptr;
};

struct ReselectRequest {
  bool master = true;
  std::string displayName;     // the table's name for the status bar
  int engineCode = 0;          // shown first when nonzero
  std::string message;         // shown when not empty
  int sourceKind = kSourceOther;
  bool useCommonDlg = true;    // [Preferences] UseCommonDlg
  bool tableListSwitch = false;
  std::string databaseDir;     // the connection's database directory
  std::string defaultDir;      // the document's default directory
};

// What the user chose: a table of the list or a file path.
struct ReselectChoice {
  bool isPath = false;
  std::string name;
};

// 0 when the user chose a table (the document is then marked modified), 1 otherwise.
int ReselectTable(const ReselectServices& s, const ReselectRequest& r, ReselectChoice* out);
// 0 when a text file was chosen (path replaced), 1 otherwise.
int AskForTextFile(const ReselectServices& s, std::string* path, int code, const std::string& dataDir);
// Nonzero when a picture file was chosen (path replaced); 0 for Ignore or Cancel.
int AskForPictureFile(const ReselectServices& s, std::string* path);
// "Cannot open picture file" with the file's name.
std::string PictureNotFoundText(const std::string& path);
