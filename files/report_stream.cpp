// Framing, sinks and sources, and the bounds-checked payload builder and
// parser of the report record stream.
#include "files/report_stream.h"

#include <cstring>

#include "core/composite.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "foundation/settings.h"
#include "platform/win/profile.h"

bool IsLongRecordType(uint16_t n) {
  switch (n) {
    case rec::FilterCode: case rec::SqlStatement: case rec::OldLong92: case rec::ExportDefinition:
    case rec::WideFilterCode: case rec::HtmlOptions: case rec::Chart:
      return true;
    default:
      return false;
  }
}

bool IsStringRecordType(uint16_t n) {
  switch (n) {
    case rec::MasterAlias: case rec::TextB: case rec::TextC: case rec::MasterRelativePath:
    case rec::MasterPath: case rec::SqlStatement: case rec::TableName: case rec::DatabaseName:
    case rec::ConnectUser: case rec::Driver:
      return true;
    default:
      return false;
  }
}

bool MemoryRecordSink::Write(const void* data, size_t length) {
  if (length > limit || bytes.size() > limit - length) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  bytes.insert(bytes.end(), p, p + length);
  return true;
}

bool LibraryRecordSink::Write(const void* data, size_t length) {
  if (length == 0) return true;
  return lib_.LibWrite(file_, static_cast<DWORD>(length), data, FALSE, FALSE) == 0;
}

bool LibraryRecordSink::Flush() { return lib_.LibWrite(file_, 0, nullptr, TRUE, FALSE) == 0; }

bool MemoryRecordSource::Read(void* data, size_t length) {
  if (length > size_ - pos_) {
    pos_ = size_;
    return false;
  }
  if (length != 0) std::memcpy(data, data_ + pos_, length);
  pos_ += length;
  return true;
}

bool LibraryRecordSource::Read(void* data, size_t length) {
  if (length == 0) return true;
  if (lib_.LibRead(file_, static_cast<DWORD>(length), data) == 0) return true;
  error_ = lib_.LibLastError();
  return false;
}

unsigned LibraryRecordSource::PendingLibraryError() const {
  // The end of the member's chain is a short stream, not a library fault.
  return error_ == LIBERR_CHAIN_END ? 0 : error_;
}

// ---- PayloadBuilder
void PayloadBuilder::U8(uint32_t v) { data_.push_back(static_cast<uint8_t>(v)); }
void PayloadBuilder::U16(uint32_t v) {
  U8(v & 0xFF);
  U8((v >> 8) & 0xFF);
}
void PayloadBuilder::U32(uint32_t v) {
  U16(v & 0xFFFF);
  U16(v >> 16);
}
void PayloadBuilder::Narrow8(uint32_t v) {
  if (v > 0xFF) *overflow_ = 1;
  U8(v);
}
void PayloadBuilder::Narrow16(uint32_t v) {
  if (v > 0xFFFF) *overflow_ = 1;
  U16(v);
}
void PayloadBuilder::NarrowSigned16(int32_t v) {
  if (v < 0 || v > 0xFFFF) *overflow_ = 1;
  U16(static_cast<uint32_t>(v));
}
void PayloadBuilder::Bytes(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  if (n != 0) data_.insert(data_.end(), b, b + n);
}
void PayloadBuilder::TextNul(const char* s) {
  RawText(s);
  U8(0);
}
void PayloadBuilder::RawText(const char* s) { Bytes(s, std::strlen(s)); }
void PayloadBuilder::Counted(const char* s) {
  if (Wide()) {
    TextNul(s);
    return;
  }
  size_t n = std::strlen(s);
  if (n > 0xFF) {
    *overflow_ = 1;
    n = 0xFF;
  }
  U8(static_cast<uint32_t>(n));
  Bytes(s, n);
}
void PayloadBuilder::Plain(const char* s) {
  if (Wide())
    TextNul(s);
  else
    RawText(s);
}

// ---- PayloadParser
bool PayloadParser::Take(size_t n) {
  if (!ok_ || n > n_ - pos_) {
    ok_ = false;
    return false;
  }
  return true;
}
uint32_t PayloadParser::U8() {
  if (!Take(1)) return 0;
  return p_[pos_++];
}
uint32_t PayloadParser::U16() {
  if (!Take(2)) return 0;
  uint32_t v = p_[pos_] | (uint32_t(p_[pos_ + 1]) << 8);
  pos_ += 2;
  return v;
}
uint32_t PayloadParser::U32() {
  if (!Take(4)) return 0;
  uint32_t v = p_[pos_] | (uint32_t(p_[pos_ + 1]) << 8) | (uint32_t(p_[pos_ + 2]) << 16) |
               (uint32_t(p_[pos_ + 3]) << 24);
  pos_ += 4;
  return v;
}
std::string PayloadParser::TextNul() {
  // An empty record has no bytes at all (and may have no buffer): no text.
  if (!ok_ || pos_ >= n_) {
    ok_ = false;
    return {};
  }
  const void* z = std::memchr(p_ + pos_, 0, n_ - pos_);
  if (z == nullptr) {
    ok_ = false;
    return {};
  }
  size_t len = static_cast<const uint8_t*>(z) - (p_ + pos_);
  std::string s(reinterpret_cast<const char*>(p_ + pos_), len);
  pos_ += len + 1;
  return s;
}
std::string PayloadParser::Counted() {
  if (Wide()) return TextNul();
  size_t n = U8();
  if (!Take(n)) return {};
  std::string s(reinterpret_cast<const char*>(p_ + pos_), n);
  pos_ += n;
  return s;
}
std::string PayloadParser::Plain() {
  if (Wide()) return TextNul();
  return Rest();
}
std::string PayloadParser::Rest() {
  if (!ok_) return {};
  std::string s(reinterpret_cast<const char*>(p_ + pos_), n_ - pos_);
  pos_ = n_;
  // A text never holds a NUL; one inside ends it.
  size_t z = s.find('\0');
  if (z != std::string::npos) s.resize(z);
  return s;
}
std::vector<uint8_t> PayloadParser::RestBytes() {
  if (!ok_) return {};
  std::vector<uint8_t> v(p_ + pos_, p_ + n_);
  pos_ = n_;
  return v;
}
void PayloadParser::Skip(size_t n) {
  if (Take(n)) pos_ += n;
}

// ---- State
void RecordStreamState::ResetForRead() {
  version = 0;
  tableDeclined = false;
  headerByte1 = 0;
  result = 0;
  unknownCount = 0;
  dateTimeAnswer = 0xFFFFFFFFu;
  storedDateTimeAnswer = 0xFFFFFFFFu;
  fontAtoms.clear();
  fontsApplied = false;
  storedMarker = 183;
  secondOutputMode = 0;
  printOption2 = printOption3 = 0;
  olderUnits = 1;
  modifiedByLoading = false;
  sawLayoutUnits = false;
  if (!keepOverride) overrideSource.clear();
  keepOverride = false;
  StreamHooks* keepHooks = hooks;
  settings = ReportSettings();  // no statement or source of an earlier report stays
  hooks = keepHooks;
}

void RecordStreamState::NoteUnknownType(uint16_t word) {
  for (int i = 0; i < unknownCount; ++i)
    if (unknownTypes[i] == word) return;
  if (unknownCount < kMaxUnknownTypes) unknownTypes[unknownCount++] = word;
}

// ---- Framing
static int PutFrame(RecordStreamState& st, RecordSink& sink, uint32_t type, size_t length) {
  if (type > 0xFFFF || length > 0xFFFF) {
    if (sink.Mode() == StreamMode::Library) {
      st.overflow = 1;
    } else {
      if (st.writeError.empty()) st.writeError = "record " + std::to_string(type & 0x3FFF) + " too long";
      return 1;
    }
  }
  uint8_t h[4] = {static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8),
                  static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
  return sink.Write(h, 4) ? 0 : 1;
}

int yxput(RecordStreamState& st, RecordSink& sink, uint32_t type, size_t length, const void* data) {
  if (PutFrame(st, sink, type, length) != 0) return 1;
  return sink.Write(data, length) ? 0 : 1;
}

int yxMultiPut(RecordStreamState& st, RecordSink& sink, uint32_t type, const PayloadPiece* pieces) {
  size_t total = 0;
  for (const PayloadPiece* p = pieces; p->length != 0; ++p) total += p->length;
  if (PutFrame(st, sink, type, total) != 0) return 1;
  for (const PayloadPiece* p = pieces; p->length != 0; ++p)
    if (!sink.Write(p->data, p->length)) return 1;
  return 0;
}

// ---- Hooks
void StreamHooks::ShowError(KmDocBase& doc, const std::string& text) {
  std::string f;
  for (char c : text) f += c == '%' ? std::string("%%") : std::string(1, c);
  doc.ErrorBox(f.c_str());
}
void StreamHooks::ShowWarning(KmDocBase& doc, const std::string& text) {
  std::string f;
  for (char c : text) f += c == '%' ? std::string("%%") : std::string(1, c);
  doc.WarningBox(f.c_str());
}
bool StreamHooks::AskForTextFile(KmDocBase& doc, std::string* path, int code) {
  const size_t slash = path->find_last_of("\\/:");
  const std::string reason = doc.m_pModel != nullptr ? doc.m_pModel->GetEngineErrorText(code) : "";
  ShowWarning(doc, reason + ": " + (slash == std::string::npos ? *path : path->substr(slash + 1)));
  return false;
}
bool StreamHooks::AskConvertDateTime(KmDocBase& doc) {
  return doc.ShowMessageDialog(doc.GetOwnerWindow(), GetResString(3334, 0), doc.GetAppCaption(), kMsgYesNo) == IDYES;
}
int StreamHooks::DateTimeCompatibility(KmDocBase& /*doc*/) {
  return static_cast<int>(GetPrivateProfileIntA("Database", "DatetimeCompatibility", 1, SettingsIniPath().c_str()));
}
StreamHooks& HooksOf(RecordStreamState& st) {
  static StreamHooks defaults;
  return st.hooks != nullptr ? *st.hooks : defaults;
}
