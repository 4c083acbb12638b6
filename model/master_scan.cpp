#include "model/master_scan.h"

#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "model/memo_text.h"
#include "model/record_pass.h"

#include <cstring>

namespace {

MemoReader* ReaderOf(CKmComposite* m, FieldDef* f) {
  if (m == nullptr || f == nullptr || !(f->flags & kFieldMemo)) return nullptr;
  RecordPassState* st = m->FindAttachment<RecordPassState>();
  return st != nullptr && st->memoReader != nullptr ? st->memoReader(m, f) : nullptr;
}

}  // namespace

bool ReadsByMasterScan(CKmComposite* m, FieldDef* f) { return ReaderOf(m, f) != nullptr; }

int ScanMasterTable(CKmComposite* m, FieldDef* f, uint8_t* value, uint32_t count, int /*flags*/,
                    const FormatSettings* format) {
  MemoReader* r = ReaderOf(m, f);
  if (r == nullptr) return 0;
  r->format = format;
  // Only the field's own memo buffers are written: they hold a whole window.
  if (value == nullptr || (value != f->value && value != f->previous)) return kEngineCannotReadMemo;
  const int failed = ReadMemoText(*r, nullptr, count >= kMemoWindow ? kMemoFromStart : count);
  if (r->doubleWidth) {
    for (size_t i = 0; i < r->length; ++i) {
      value[2 * i] = static_cast<uint8_t>(r->text[i]);
      value[2 * i + 1] = r->styles[i];
    }
    if (2 * r->length < kMemoValueBytes) value[2 * r->length] = 0;
  } else {
    std::memcpy(value, r->text, r->length);
    value[r->length] = 0;
  }
  if (failed == 0) return 0;
  return r->error != 0 ? r->error : kEngineCannotReadMemo;
}
