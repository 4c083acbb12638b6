#include "files/report_io.h"

#include "files/ole_item_list.h"
#include "layout/layout_records.h"

#include "foundation/doc_base.h"
#include "foundation/library_file.h"
#include "foundation/library_file_io.h"
#include "foundation/byte_order.h"
#include "foundation/startup.h"
#include "platform/win/file_replace.h"
#include "platform/win/fileio.h"
#include "platform/win/resources.h"

#include <cstring>

namespace {

// A member is read record by record into memory; a chain that claims more
// than this is damaged rather than a report.
constexpr size_t kMaxMemberBytes = 64u << 20;

// The report writer over a memory sink of the chosen form.
int WriteRecords(KmDocBase& doc, CKmRepIO& io, bool narrowed, std::vector<uint8_t>& out, bool* overflow) {
  MemoryRecordSink wide;
  MemoryLibrarySink library;
  MemoryRecordSink& sink = narrowed ? library : wide;
  const int rc = writeRep(doc, io.m_stream, sink);
  *overflow = io.m_stream.overflow != 0;
  out = std::move(sink.bytes);
  return rc;
}

// The report reader over the bytes of a Contents stream or a member.
int ReadRecords(KmDocBase& doc, CKmRepIO& io, bool narrowed, const uint8_t* data, size_t size) {
  MemoryRecordSource source(data, size, narrowed ? StreamMode::Library : StreamMode::Storage);
  return ReadReportRecords(doc, io.m_stream, source);
}

const ReportStreamCodec kDefaultCodec{&WriteRecords, &ReadRecords};
ReportStreamCodec g_codec = kDefaultCodec;
std::string g_ownerName;
bool g_ownerKnown = false;

// Holds the wait cursor for one operation, whatever way it ends.
class WaitCursor {
 public:
  explicit WaitCursor(KmDocBase* doc) : doc_(doc) {
    if (doc_) doc_->SetWaitCursor(1);
  }
  ~WaitCursor() {
    if (doc_) doc_->SetWaitCursor(0);
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  KmDocBase* doc_;
};

}  // namespace

const std::vector<uint8_t> kEmptyOleItemList = {0, 0};

void SetReportStreamCodec(const ReportStreamCodec& codec) {
  g_codec = codec.write == nullptr && codec.read == nullptr ? kDefaultCodec : codec;
}
const ReportStreamCodec& GetReportStreamCodec() { return g_codec; }
void NoteReportModified(KmDocBase* doc) {
  if (doc != nullptr) doc->SetModifiedFlag(TRUE);
}

void SetReportOwnerName(const char* owner) {
  g_ownerName = owner ? owner : "";
  g_ownerKnown = true;
}

const std::string& GetReportOwnerName() {
  if (!g_ownerKnown) {
    std::string organisation;
    ReadRegisteredUser(&g_ownerName, &organisation);
    g_ownerKnown = true;
  }
  return g_ownerName;
}

size_t RecordStreamLength(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (size - at >= 4) {
    const uint16_t type = GetU16(data + at);
    const size_t length = GetU16(data + at + 2);
    if (size - at - 4 < length) return 0;
    at += 4 + length;
    if (type == 2) return at;
  }
  return 0;
}

// --- CKmSummaryInfo ---

CKmSummaryInfo::CKmSummaryInfo(KmDocBase* doc)
    : m_pDoc(doc), m_pDocTitle(doc ? &doc->GetTitle() : nullptr), m_strLastAuthor(GetReportOwnerName()) {}

SummaryProperties CKmSummaryInfo::ToProperties() const {
  SummaryProperties p;
  p.title = m_strTitle;
  p.subject = m_strSubject;
  p.author = m_strAuthor;
  p.keywords = m_strKeywords;
  p.comments = m_strComments;
  p.last_author = m_strLastAuthor;
  p.revision = m_nRevision;
  p.create_time = m_ftCreated;
  p.create_time_flag = m_bCreatedKnown;
  return p;
}

void CKmSummaryInfo::FromProperties(const SummaryProperties& p) {
  m_strTitle = p.title;
  m_strSubject = p.subject;
  m_strAuthor = p.author;
  m_strKeywords = p.keywords;
  m_nRevision = p.revision;
  m_ftCreated = p.create_time;
  m_bCreatedKnown = p.create_time_flag;
}

// --- CKmRepIO ---

CKmRepIO::CKmRepIO(KmDocBase* doc) : m_pDoc(doc), m_summary(doc), m_oleItemList(kEmptyOleItemList) {}

void CKmRepIO::ResetProperties() {
  m_summary.m_strAuthor = GetReportOwnerName();
  m_summary.m_strKeywords.clear();
  m_summary.m_strTitle = LoadResString(61310);
  m_summary.m_strSubject.clear();
  m_summary.m_strComments.clear();
  // A new report starts its own history: revision and creation time come
  // from its file, or from its first save.
  m_summary.m_nRevision = 0;
  m_summary.m_ftCreated = 0;
  m_summary.m_bCreatedKnown = 0;
  m_oleItemList = kEmptyOleItemList;
  m_oleStorages.clear();
  m_bOleItemsRead = false;
  m_oleTrailer.clear();
  m_strFailedPath.clear();
  m_strFailedMember.clear();
}

bool CKmRepIO::RefusesToSaveOver(const char* path, const char* member) {
  if (m_strFailedPath.empty() || path == nullptr) return false;
  if (m_strFailedPath != path && !LibOsSameFile(m_strFailedPath.c_str(), path)) return false;
  // Another member of the same library is safe; a report file over the
  // library, or the library's member over a report file, is not.
  if (member != nullptr && !m_strFailedMember.empty() && !LibNamesEqual(m_strFailedMember.c_str(), member))
    return false;
  ShowMessage(61304, path);
  return true;
}

void CKmRepIO::ShowMessage(UINT id, const char* arg, const char* arg2) {
  m_nLastMessage = id;
  if (m_pDoc == nullptr) return;
  const std::string format = LoadResString(id);
  if (arg2 != nullptr) m_pDoc->ErrorBox2(format.c_str(), arg ? arg : "", arg2);
  else if (arg != nullptr) m_pDoc->ErrorBox1(format.c_str(), arg);
  else m_pDoc->ErrorBox(format.c_str());
}

int CKmRepIO::WriteReport(vt_ole::Storage& root) {
  WaitCursor wait(m_pDoc);
  m_stream.saved = 0;
  if (g_codec.write == nullptr || m_pDoc == nullptr) return kRepIoWriteFailed;
  m_pRootStorage = &root;
  // The summary is built from a copy: the revision and creation time move
  // on only when the whole save succeeds.
  SummaryProperties props = m_summary.ToProperties();
  root.PutStream(kSummaryStreamName, EncodeSummaryInformation(props, CurrentFileTime()));
  m_stream.settings.comments = m_summary.m_strComments;
  std::vector<uint8_t> contents;
  bool overflow = false;
  int rc = g_codec.write(*m_pDoc, *this, false, contents, &overflow);
  if (rc == 0 && (overflow || RecordStreamLength(contents.data(), contents.size()) != contents.size())) {
    // Not a stream its reader would take back.
    ShowMessage(61400, LoadResString(61312).c_str());
    rc = kRepIoWriteFailed;
  }
  m_pRootStorage = nullptr;
  if (rc != 0) {
    root.RemoveStream(kSummaryStreamName);
    return kRepIoWriteFailed;
  }
  if (m_bOleItemsRead && m_pDoc->m_pLayout != nullptr) {
    const std::vector<uint8_t> list = WriteOleItemList(*m_pDoc->m_pLayout, m_oleTrailer);
    contents.insert(contents.end(), list.begin(), list.end());
  } else {
    contents.insert(contents.end(), m_oleItemList.begin(), m_oleItemList.end());
  }
  root.PutStream("Contents", std::move(contents));
  for (const vt_ole::Storage& s : m_oleStorages) {
    if (root.FindStorage(s.name) == nullptr) root.storages.push_back(s);
  }
  m_summary.FromProperties(props);
  m_stream.saved = 1;
  return kRepIoOk;
}

void CKmRepIO::SetReportLocation(const std::string& path) {
  m_stream.reportPath = path;
  // The folder as an absolute path, so that a report named relative to the
  // current folder still finds, and stores, the pictures beside it.
  const std::string native = NativePath(path);
  const size_t cut = native.find_last_of('/');
  const std::string folder = cut == std::string::npos ? std::string(".") : native.substr(0, cut == 0 ? 1 : cut);
  m_stream.baseDirectory = FullPathOfExisting(folder);
}

int CKmRepIO::Read(bool narrowed, const uint8_t* data, size_t size) {
  if (g_codec.read == nullptr || m_pDoc == nullptr) {
    ShowMessage(61302, m_pDoc ? m_pDoc->m_szReportName : "");
    return kRepIoReadError;
  }
  ResetProperties();
  // Pictures not found where they were stored are looked for in the image
  // folder of the file settings.
  m_stream.imageFolder = m_pDoc->m_settings.imgDir;
  // The data source chosen for this read stands for the stored one.
  m_stream.keepOverride = m_bKeepOverride != FALSE;
  if (m_bKeepOverride && m_szDataSource[0] != 0) m_stream.overrideSource = m_szDataSource;
  const int rc = g_codec.read(*m_pDoc, *this, narrowed, data, size);
  m_stream.result = rc;
  if (rc == 0 && !m_stream.settings.comments.empty()) m_summary.m_strComments = m_stream.settings.comments;
  return rc;
}

int CKmRepIO::Load(const vt_ole::Storage& root) {
  WaitCursor wait(m_pDoc);
  const vt_ole::Stream* contents = root.FindStream("Contents");
  if (contents == nullptr) return kRepIoNotReport;
  // The reader sees the records only; what follows the end record is the
  // OLE item list, kept for the next save. A stream cut short is handed over
  // whole, so the reader reports it as it reports any bad record.
  const size_t records = RecordStreamLength(contents->data.data(), contents->data.size());
  const size_t handed = records != 0 ? records : contents->data.size();
  m_pRootStorage = &root;
  const int rc = Read(false, contents->data.data(), handed);
  if (rc == 0) {
    m_oleItemList.assign(contents->data.begin() + static_cast<std::ptrdiff_t>(handed), contents->data.end());
    m_oleStorages = root.storages;
    TakeOleItems(root);
    ReadSummaryInformation(root);
  }
  m_pRootStorage = nullptr;
  return rc;
}

void CKmRepIO::TakeOleItems(const vt_ole::Storage& root) {
  LayoutTables* t = m_pDoc->m_pLayout;
  if (t == nullptr) return;
  std::vector<std::unique_ptr<CKmCntrItem>> items;
  switch (ReadOleItemList(m_oleItemList, &items, &m_oleTrailer)) {
    case OleListRead::kEmpty:
      return;
    case OleListRead::kUnreadable:
      // Written back as they came, so the next save loses nothing.
      HooksOf(m_stream).ShowWarning(*m_pDoc, LoadResString(kIdsOleItemsUnread));
      return;
    case OleListRead::kItems:
      break;
  }
  NameOleItemTypes(root, items);
  for (auto& item : items) {
    RescaleOleItem(*item, t->metrics);
    PlaceLoadedOleItem(*item, t->Lines().lines[item->head.bandLine].bottom);
    if (t->oleItems.Append(*item) == nullptr) {
      // Nothing half taken: the list goes back whole.
      t->oleItems.Clear();
      HooksOf(m_stream).ShowWarning(*m_pDoc, LoadResString(kIdsOleItemsUnread));
      return;
    }
  }
  m_bOleItemsRead = true;
}

void CKmRepIO::ReadSummaryInformation(const vt_ole::Storage& root) {
  // A file without the stream keeps the properties it has.
  const vt_ole::Stream* s = root.FindStream(kSummaryStreamName);
  if (s == nullptr) return;
  SummaryProperties props = m_summary.ToProperties();
  DecodeSummaryInformation(s->data, props);
  m_summary.FromProperties(props);
}

int CKmRepIO::OpenLibraryMember(LibraryFile& engine, const char* libPath, const char* member) {
  WaitCursor wait(m_pDoc);
  m_strLibError.clear();
  auto libraryError = [&](LibFileControlBlock* lib) {
    m_strLibError = engine.LibErrorText();
    if (lib != nullptr) engine.LibFileClose(lib);
    return kRepIoLibraryError;
  };
  WORD kind = 0;
  LibFileControlBlock* lib = engine.LibFileOpen(libPath, lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
  if (lib == nullptr) return libraryError(nullptr);
  LibMember* entry = engine.LibFindMember(lib, member);
  if (entry == nullptr) return libraryError(lib);
  // The member's records are taken whole before the document is touched, so
  // a chain that breaks off leaves the open report as it was.
  engine.LibRewind(lib, entry->firstRecord);
  FreeLibMemberList(entry);
  std::vector<uint8_t> data;
  bool ended = false;
  while (!ended) {
    uint8_t head[4];
    if (engine.LibRead(lib, 4, head) != 0) return libraryError(lib);
    const uint16_t type = GetU16(head);
    const uint16_t length = GetU16(head + 2);
    if (data.size() + 4 + length > kMaxMemberBytes) {
      engine.LibSetLastError(LIBERR_BAD_RECORD);
      return libraryError(lib);
    }
    data.insert(data.end(), head, head + 4);
    const size_t at = data.size();
    data.resize(at + length);
    if (length != 0 && engine.LibRead(lib, length, data.data() + at) != 0) return libraryError(lib);
    ended = type == 2;
  }
  engine.LibFileClose(lib);
  m_bOlderLibrary = kind == kLibKindOldReport ? 1 : 0;
  SetReportLocation(libPath != nullptr ? libPath : "");
  const int rc = Read(true, data.data(), data.size());
  if (rc != kRepIoOk) {
    m_strFailedPath = libPath;
    m_strFailedMember = member;
  }
  return rc;
}

int CKmRepIO::SaveToLibrary(LibraryFile& engine, const char* libPath, const char* member) {
  WaitCursor wait(m_pDoc);
  if (g_codec.write == nullptr || m_pDoc == nullptr || RefusesToSaveOver(libPath, member)) return 0;
  // The records are built first: a report that cannot be narrowed without
  // loss never reaches the library. The writer has shown why it failed.
  m_stream.settings.comments = m_summary.m_strComments;
  SetReportLocation(libPath != nullptr ? libPath : "");
  std::vector<uint8_t> records;
  bool overflow = false;
  if (g_codec.write(*m_pDoc, *this, true, records, &overflow) != 0 || overflow) return 0;
  if (RecordStreamLength(records.data(), records.size()) != records.size()) {
    ShowMessage(61400, LoadResString(61312).c_str());
    return 0;
  }
  WORD kind = 0;
  // The library is held against other writers while its copy is changed;
  // the copy replaces it only when every write reached the disk, so a full
  // disk or a failed write leaves the library exactly as it was.
  LibFileControlBlock* held = engine.LibFileOpen(libPath, lib_of::ShareExclusive, lib_of::Read, &kind, 0);
  if (held == nullptr) {
    ShowMessage(735, engine.LibErrorText());
    return 0;
  }
  FileReplacement copy;
  if (!copy.Begin(libPath, true)) {
    engine.LibFileClose(held);
    ShowMessage(735, copy.Error().c_str());
    return 0;
  }
  copy.CloseHandle();
  LibFileControlBlock* lib =
      engine.LibFileOpen(copy.TempPath().c_str(), lib_of::ShareExclusive, lib_of::ReadWrite, &kind, 0);
  if (lib == nullptr) {
    ShowMessage(735, engine.LibErrorText());
    engine.LibFileClose(held);
    return 0;
  }
  // Shows the engine's error and closes; the copy goes with it.
  auto fail = [&](LibMember* entry, DWORD /*newChain*/) {
    const UINT err = entry == nullptr && engine.LibLastError() == 0 ? LIBERR_NO_MEMORY : engine.LibLastError();
    engine.LibSetLastError(err);
    ShowMessage(735, engine.LibErrorText());
    FreeLibMemberList(entry);
    engine.LibFileClose(lib);
    engine.LibFileClose(held);
    return 0;
  };
  LibMember* entry = engine.LibFindMember(lib, member);
  const bool replace = entry != nullptr;
  if (!replace && engine.LibLastError() != LIBERR_NO_SUCH_NAME) return fail(nullptr, 0);
  const DWORD chain = engine.LibAllocRecord(lib);
  if (chain == 0) return fail(entry, 0);
  engine.LibRewind(lib, chain);
  if (engine.LibWrite(lib, static_cast<DWORD>(records.size()), records.data(), FALSE, FALSE) != 0 ||
      engine.LibWrite(lib, 0, nullptr, TRUE, FALSE) != 0)
    return fail(entry, chain);
  if (replace) {
    const DWORD old = entry->firstRecord;
    entry->firstRecord = chain;
    if (engine.LibSetMemberStart(lib, entry) != 0) return fail(entry, chain);
    engine.LibFreeChain(lib, old);
  } else {
    entry = NewLibMember(member, chain);
    if (entry == nullptr || engine.LibAddMember(lib, entry) != 0) return fail(entry, chain);
  }
  FreeLibMemberList(entry);
  if (engine.LibFileClose(lib) != 0) {
    ShowMessage(735, engine.LibErrorText());
    engine.LibFileClose(held);
    return 0;
  }
  engine.LibFileClose(held);
  if (!copy.Commit()) {
    ShowMessage(735, copy.Error().c_str());
    return 0;
  }
  return 1;
}
