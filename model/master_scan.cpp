#include "model/master_scan.h"

#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "model/memo_text.h"
#include "model/record_pass.h"

#include <algorithm>
#include <cstring>

namespace {

MemoReader* ReaderOf(CKmComposite* m, FieldDef* f) {
  // A memo, or a long text column: a text field whose reader the hook knows.
  if (m == nullptr || !MayReadByMasterScan(f)) return nullptr;
  return PassMemoReader(m, f);
}

}  // namespace

bool ReadsByMasterScan(CKmComposite* m, FieldDef* f) { return ReaderOf(m, f) != nullptr; }

int ScanMasterTable(CKmComposite* m, FieldDef* f, uint8_t* value, uint32_t count, int /*flags*/,
                    const FormatSettings* format) {
  MemoReader* r = ReaderOf(m, f);
  if (r == nullptr) return 0;
  // A long text column the pass does not use has no value to fill.
  if (value == nullptr && !(f->flags & kFieldMemo)) return 0;
  r->format = format;
  // Only the field's own buffers are written. A memo's hold a whole window;
  // a long text column's hold as much of it as its width takes.
  if (value == nullptr || (value != f->value && value != f->previous)) return kEngineCannotReadMemo;
  const size_t room = (f->flags & kFieldMemo) ? kMemoValueBytes : m->GetFieldStorageSize(f);
  if (room == 0) return kEngineCannotReadMemo;
  const int failed = ReadMemoText(*r, nullptr, count >= kMemoWindow ? kMemoFromStart : count);
  if (r->doubleWidth) {
    const size_t n = std::min(r->length, room / 2);
    for (size_t i = 0; i < n; ++i) {
      value[2 * i] = static_cast<uint8_t>(r->text[i]);
      value[2 * i + 1] = r->styles[i];
    }
    if (2 * n < room) value[2 * n] = 0;
  } else {
    const size_t n = std::min(r->length, room - 1);
    std::memcpy(value, r->text, n);
    value[n] = 0;
  }
  if (failed == 0) return 0;
  return r->error != 0 ? r->error : kEngineCannotReadMemo;
}
