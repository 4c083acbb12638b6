// The report file object: what reading and writing a report definition needs
// besides the layout itself. One per document, kept for the whole run: the
// storage the report comes from, its summary properties, the older-library
// flag and the data-source name chosen when it came from a library.
#pragma once

#include "files/report_stream.h"
#include "files/summary_info.h"
#include "platform/ole/compound_file.h"
#include "platform/win/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

class KmDocBase;
class CKmRepIO;
class LibraryFile;

// The report's summary properties, edited in the File Properties dialog.
class CKmSummaryInfo {
 public:
  explicit CKmSummaryInfo(KmDocBase* doc);
  virtual ~CKmSummaryInfo() = default;

  KmDocBase* m_pDoc;
  const std::string* m_pDocTitle;  // the document's title, shown as "Report:" only
  std::string m_strAuthor;
  std::string m_strLastAuthor;
  std::string m_strKeywords;
  std::string m_strTitle;
  std::string m_strSubject;
  std::string m_strComments;  // also the only property a library member carries
  // Kept for the summary stream of a report file.
  uint32_t m_nRevision = 0;
  uint64_t m_ftCreated = 0;      // FILETIME
  uint32_t m_bCreatedKnown = 0;  // nonzero once a creation time is known

  SummaryProperties ToProperties() const;
  void FromProperties(const SummaryProperties& p);
};

// The record stream as the report object drives it: the document's records
// built into bytes (wide for a report file's Contents stream, narrowed for a
// library member) and read back from bytes. The record-stream side installs
// the real pair; tests install doubles.
struct ReportStreamCodec {
  // 0 on success. A narrowing that loses bits sets *overflow and fails.
  // Shows no message: the report object reports the failure.
  int (*write)(KmDocBase& doc, CKmRepIO& io, bool narrowed, std::vector<uint8_t>& out, bool* overflow);
  // The reader's result: 0 success, -1 read error, 1 data source refused,
  // 3 library error, 4 not a report of a known revision. The reader shows
  // its own messages, except for 4.
  int (*read)(KmDocBase& doc, CKmRepIO& io, bool narrowed, const uint8_t* data, size_t size);
};
void SetReportStreamCodec(const ReportStreamCodec& codec);
const ReportStreamCodec& GetReportStreamCodec();

// Marks the owning document modified.
void NoteReportModified(KmDocBase* doc);

// The registered owner's name, the author of a new report. Read from the
// registry the first time it is needed unless the start-up has set it.
void SetReportOwnerName(const char* owner);
const std::string& GetReportOwnerName();

// Result codes of the report object's entries.
enum ReportIoResult : int {
  kRepIoOk = 0,
  kRepIoReadError = -1,      // bad records; the reader has shown its message
  kRepIoDataSource = 1,      // the data source could not be checked or connected
  kRepIoLibraryError = 3,
  kRepIoBadRevision = 4,
  kRepIoNoFile = 10,         // the file is missing or cannot be opened
  kRepIoNotReport = 11,      // not a report file (not a compound file, or no Contents)
  kRepIoDamaged = 12,        // a compound file that cannot be read
  kRepIoWriteFailed = 13,
  kRepIoRefused = 14,        // saving over a file whose open failed
  kRepIoTooLarge = 15,       // the records cannot be stored in the chosen form
};

class CKmRepIO {
 public:
  explicit CKmRepIO(KmDocBase* doc);
  virtual ~CKmRepIO() = default;
  CKmRepIO(const CKmRepIO&) = delete;
  CKmRepIO& operator=(const CKmRepIO&) = delete;

  // --- the entries the document calls (each shows its own messages) ---

  // Reads the report file at path into the document. Any result but 0 is a
  // failed open and the file's name must not become the document's;
  // SaveReportFile also refuses to write over it until a report is read or
  // begun afresh. Messages are shown except for kRepIoLibraryError (the
  // caller shows LibErrorText) and kRepIoBadRevision (the caller's text).
  int OpenReportFile(const char* path);
  // Writes the document to the report file at path. The new file is made
  // beside the old one and replaces it only when complete; 0 on success.
  int SaveReportFile(const char* path);
  // Reads member of the library at libPath into the document; results and
  // messages as OpenReportFile's. The member is read whole and checked
  // before the reader sees it, so a damaged chain leaves the document as it was.
  int OpenLibraryMember(LibraryFile& engine, const char* libPath, const char* member);
  // Saves the document as member of the library at libPath; 1 on success and
  // 0 on failure after a message (the library keeps the old member).
  int SaveToLibrary(LibraryFile& engine, const char* libPath, const char* member);
  // The library engine's text for the last kRepIoLibraryError.
  const char* LibErrorText() const { return m_strLibError.c_str(); }

  // --- the steps under them ---

  // The report file (or library) about to be read or written: its name
  // names its printer-font lists, its folder is where its pictures are
  // looked for first and against which they are stored.
  void SetReportLocation(const std::string& path);

  // Builds the summary stream and the Contents stream into root; 0 on success.
  int WriteReport(vt_ole::Storage& root);
  // Reads the records of Contents, then the summary stream; 0 on success.
  int Load(const vt_ole::Storage& root);
  // The summary properties from the report file's summary stream.
  void ReadSummaryInformation(const vt_ole::Storage& root);
  // The embedded objects after the records become the layout's items.
  void TakeOleItems(const vt_ole::Storage& root);

  void ResetProperties();
  // The File Properties dialog; 1 after OK, 0 after Cancel.
  int RunPropertiesDialog();

  // True while the last open failed and its file must not be saved over.
  bool OpenFailed() const { return !m_strFailedPath.empty(); }
  const std::string& FailedPath() const { return m_strFailedPath; }
  // The string id of the last message the object showed (0 none).
  UINT LastMessageId() const { return m_nLastMessage; }

  KmDocBase* m_pDoc;
  const vt_ole::Storage* m_pRootStorage = nullptr;  // only while a report file is read or written
  CKmSummaryInfo m_summary;
  UINT m_bOlderLibrary = 0;
  char m_szDataSource[32] = {};

  // The writer's and reader's state: the saved flag, the result of the last
  // read, the stored separator character (183 until a stream gives another),
  // and what the stream carries beyond the model.
  RecordStreamState m_stream;
  // Keep the data-source override preset by the caller for the next read.
  BOOL m_bKeepOverride = FALSE;

  // What a report file holds besides the records, kept as bytes so a save
  // writes it back: the OLE item list after the end record, and the items'
  // sub-storages.
  std::vector<uint8_t> m_oleItemList;
  std::vector<vt_ole::Storage> m_oleStorages;
  // Once the list was split into the layout's objects, a save writes them
  // (with what followed them); otherwise the list goes back as it came.
  bool m_bOleItemsRead = false;
  std::vector<uint8_t> m_oleTrailer;

  // Shows a message from the string table with one text argument.
  void ShowMessage(UINT id, const char* arg = nullptr, const char* arg2 = nullptr);

 private:
  friend class ReportIoTestAccess;
  int Read(bool narrowed, const uint8_t* data, size_t size);
  // True, after a message, when path (and member, for a library) is where
  // the last open failed.
  bool RefusesToSaveOver(const char* path, const char* member);
  std::string m_strFailedPath;
  std::string m_strFailedMember;
  std::string m_strLibError;
  UINT m_nLastMessage = 0;
};

// Said once when a report's embedded objects cannot be taken apart.
constexpr UINT kIdsOleItemsUnread = 7060;

// The empty OLE item list written after the records of a report without items.
extern const std::vector<uint8_t> kEmptyOleItemList;

// Length of the record stream at the start of data, up to and including the
// end record (type 2); 0 when the records are cut short. Wide and narrowed
// records share the 4-byte header, so one walk serves both.
size_t RecordStreamLength(const uint8_t* data, size_t size);
