#include "files/report_file.h"

#include "files/report_io.h"
#include "foundation/byte_order.h"
#include "platform/ole/compound_file.h"
#include "platform/win/fileio.h"
#include "platform/win/resources.h"

#include <cstring>

namespace {

// The longest payload a buffered record may have; longer ones are not
// looked into.
constexpr size_t kMaxBufferedPayload = 700;

// The text at the start of a payload, up to its NUL or the payload's end.
std::string PayloadText(const uint8_t* p, size_t n) {
  const void* nul = std::memchr(p, 0, n);
  return std::string(reinterpret_cast<const char*>(p), nul ? static_cast<const uint8_t*>(nul) - p : n);
}

// The file a stored or typed name stands for on this disk: the existing file
// however its case differs, else the name with Linux separators.
std::string DiskPath(const char* path) {
  const std::string native = NativePath(path != nullptr ? path : "");
  const std::string found = ResolveExistingPath(native);
  return found.empty() ? native : found;
}

}  // namespace

int CKmRepIO::OpenReportFile(const char* path) {
  vt_ole::Storage root;
  std::string why;
  // The file is read whole and checked before the document is touched, so a
  // file that is not a report leaves the open report as it was.
  switch (vt_ole::ReadStorageFile(DiskPath(path), root, &why)) {
    case vt_ole::StorageError::kNone: break;
    case vt_ole::StorageError::kNotCompound: ShowMessage(61301, path); return kRepIoNotReport;
    case vt_ole::StorageError::kNotFound: ShowMessage(61300, path); return kRepIoNoFile;
    default: ShowMessage(61302, path); return kRepIoDamaged;
  }
  if (root.FindStream("Contents") == nullptr) {
    ShowMessage(61301, path);
    return kRepIoNotReport;
  }
  SetReportLocation(path != nullptr ? path : "");
  const int rc = Load(root);
  if (rc != kRepIoOk) {
    // Whatever the reader left is not the file's report: the file must not
    // be saved over with it.
    m_strFailedPath = path;
  }
  return rc;
}

int CKmRepIO::SaveReportFile(const char* path) {
  if (RefusesToSaveOver(path, nullptr)) {
    ShowMessage(61304, path);
    return kRepIoRefused;
  }
  const CKmSummaryInfo before = m_summary;
  SetReportLocation(path != nullptr ? path : "");
  vt_ole::Storage root;
  // A writer that fails has said why.
  const int rc = WriteReport(root);
  if (rc != kRepIoOk) return rc;
  std::string why;
  if (vt_ole::WriteStorageFile(DiskPath(path), root, &why) != vt_ole::StorageError::kNone) {
    // The old file is untouched; so is what the next save will write.
    m_summary = before;
    m_stream.saved = 0;
    ShowMessage(61303, path, why.c_str());
    return kRepIoWriteFailed;
  }
  return kRepIoOk;
}

bool ReadReportFileInfo(const char* path, std::string* dataSource, std::string* connectUser, std::string* driver) {
  if (path == nullptr || dataSource == nullptr) return false;
  const std::string file = DiskPath(path);
  if (!vt_ole::IsStorageFile(file)) return false;
  dataSource->clear();
  vt_ole::Storage root;
  if (vt_ole::ReadStorageFile(file, root) != vt_ole::StorageError::kNone) return false;
  const vt_ole::Stream* contents = root.FindStream("Contents");
  if (contents == nullptr) return false;
  if (connectUser) connectUser->clear();
  if (driver) driver->clear();

  const uint8_t* data = contents->data.data();
  const size_t size = contents->data.size();
  size_t at = 0;
  bool first = true;
  while (size - at >= 4) {
    const uint16_t type = GetU16(data + at) & ~0x4000;
    const size_t length = GetU16(data + at + 2);
    const uint8_t* payload = data + at + 4;
    if (size - at - 4 < length) break;
    at += 4 + length;
    if (first) {
      if (type != 1) break;
      first = false;
      continue;
    }
    if (type == 2 || type == 30 || type == 52) break;
    if (length > kMaxBufferedPayload) continue;
    if (type == 138 && length != 0 && connectUser) *connectUser = PayloadText(payload, length);
    else if (type == 139 && length != 0 && driver) *driver = PayloadText(payload, length);
    else if (type == 91 || type == 107) {
      *dataSource = length == 0 ? LoadResString(61311) : PayloadText(payload, length);
      break;
    }
  }
  return !dataSource->empty();
}
