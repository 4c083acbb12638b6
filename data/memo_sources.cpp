#include "data/memo_sources.h"
#include "platform/win/fileio.h"

#include "core/composite.h"
#include "core/fields.h"
#include "core/model_attachment.h"
#include "data/data_access.h"
#include "data/open_tables.h"
#include "data/table_fields.h"
#include "model/memo_text.h"
#include "model/record_pass.h"
#include "platform/qe/qe.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// A section longer than this has its field codes looked for in its start only.
constexpr uint32_t kMaxScannedSection = 1u << 20;

// A text table's file, read where a section's text lies. The file ending
// before the section does is a read error, not the end of the text.
class TextFileSource : public MemoByteSource {
 public:
  bool Open(const std::string& path) {
    if (file_ != nullptr && path == path_) return true;
    Close();
    file_ = std::fopen(OsFileName(path).c_str(), "rb");
    // The reader keeps its own block; the file is read as it is now.
    if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
    path_ = path;
    return file_ != nullptr;
  }
  void SetEnd(uint64_t end) { end_ = end; }
  long ReadAt(uint64_t position, uint8_t* buffer, size_t n) override {
    if (file_ == nullptr) return -1;
    if (std::fseek(file_, static_cast<long>(position), SEEK_SET) != 0) return -1;
    const size_t got = std::fread(buffer, 1, n, file_);
    if (got == 0 && (std::ferror(file_) || position < end_)) return -1;
    return static_cast<long>(got);
  }
  ~TextFileSource() override { Close(); }

 private:
  void Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }
  std::FILE* file_ = nullptr;
  std::string path_;
  uint64_t end_ = 0;
};

// The whole text of a long text column as the last fetch left it.
class FetchedTextSource : public MemoByteSource {
 public:
  const uint8_t* data = nullptr;
  size_t size = 0;
  long ReadAt(uint64_t position, uint8_t* buffer, size_t n) override {
    if (position >= size) return 0;
    const size_t take = std::min<size_t>(n, size - static_cast<size_t>(position));
    std::memcpy(buffer, data + position, take);
    return static_cast<long>(take);
  }
};

struct ReaderEntry {
  MemoReader reader;
  TextFileSource file;
  FetchedTextSource fetched;
};

// The readers of one model's memo fields, each made on first use.
struct MemoReaders : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kMemoReaders;
  std::map<const FieldDef*, std::unique_ptr<ReaderEntry>> readers;
};

ReaderEntry* EntryFor(CKmComposite* m, const FieldDef* f) {
  MemoReaders* all = m->GetAttachment<MemoReaders>();
  if (all == nullptr) return nullptr;
  std::unique_ptr<ReaderEntry>& e = all->readers[f];
  if (!e) e.reset(new (std::nothrow) ReaderEntry);
  return e.get();
}

}  // namespace

bool IsLongTextColumn(const FieldDef* f) {
  const FieldBinding* b = f->dataBinding;
  return b != nullptr && b->dbType == QE_DB_MEMO && (f->flags & (kFieldCalculation | kFieldAlias)) == 0 &&
         FieldKind(f) == 0;
}

MemoReader* MemoReaderFor(CKmComposite* m, FieldDef* f) {
  if (m == nullptr || f == nullptr) return nullptr;
  // A long text column placed a second time is an alias sharing its value:
  // it reads the column's own text.
  if (IsAlias(f) && FieldKind(f) == 0) {
    FieldDef* to = m->GetFieldAt(f->refField);
    if (to != nullptr && to != f && IsLongTextColumn(to)) f = to;
  }
  const bool textTable = (f->flags & kFieldMemo) && f->table == kTableDerivedColumn && TextTablePath(m)[0] != 0;
  const bool column = !textTable && IsLongTextColumn(f);
  if (!textTable && !column) return nullptr;
  ReaderEntry* e = EntryFor(m, f);
  if (e == nullptr) return nullptr;
  MemoReader& r = e->reader;
  r.model = m;
  if (textTable) {
    // A file that cannot be opened now reads as a failed read.
    e->file.Open(TextTablePath(m));
    r.source = &e->file;
    r.start = f->memoPosition1;
    r.end = uint64_t(f->memoPosition1) + f->memoPosition2;
    e->file.SetEnd(r.end);
    r.textTable = true;
    r.ansi = GetDataAccess(m)->dbAnsi != 0;
  } else {
    FieldBinding* b = f->dataBinding;
    e->fetched.data = b->fetchBuffer;
    e->fetched.size = 0;
    if (b->fetchBuffer != nullptr && b->fetchSize > 0 && b->fetchedLength != QE_LEN_NULL)
      e->fetched.size = strnlen(reinterpret_cast<const char*>(b->fetchBuffer), b->fetchSize - 1);
    r.source = &e->fetched;
    r.start = 0;
    r.end = e->fetched.size;
    r.textTable = GetDataAccess(m)->dbAnsi == 0;  // OEM text is converted as a text table's is
    r.ansi = false;
  }
  // The block read ahead belongs to the text read before.
  r.blockPosition = UINT64_MAX;
  r.blockLength = 0;
  return &r;
}

void MarkMemoFieldCodes(CKmComposite* m) {
  const char* path = TextTablePath(m);
  if (path[0] == 0) return;
  std::FILE* file = std::fopen(OsFileName(path).c_str(), "rb");
  if (file == nullptr) return;
  std::vector<FieldDef*> named;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!(f->flags & kFieldMemo) || f->table != kTableDerivedColumn || !(f->flags & kFieldNeeded)) continue;
    // The section's bytes as far as the file holds them.
    std::string text(std::min<uint32_t>(f->memoPosition2, kMaxScannedSection), '\0');
    size_t got = 0;
    if (std::fseek(file, static_cast<long>(f->memoPosition1), SEEK_SET) == 0)
      got = std::fread(&text[0], 1, text.size(), file);
    text.resize(got);
    for (size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 1)) {
      size_t end = at + 1;
      while (end < text.size() && std::strchr(" \t\r\n\\", text[end]) == nullptr) ++end;
      if (FieldDef* g = LookUpFieldName(m, text.substr(at + 1, end - at - 1)))
        if (!(g->flags & kFieldMemo)) named.push_back(g);
    }
  }
  std::fclose(file);
  for (FieldDef* g : named) g->flags |= kFieldNeeded;
}
