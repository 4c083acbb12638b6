#include "data/sql_exp_fields.h"

#include "core/compiled_code.h"
#include "core/composite.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "expr/builtin_table.h"
#include "foundation/heap_strings.h"

#include <cstring>
#include <string>

bool SqlExpColumnText(const CKmComposite* model, const FieldDef* field, char** text) {
  *text = nullptr;
  if (field->code == nullptr) return false;
  CodeReader r(field->code, field->codeLength);
  Instruction a, b, c;
  if (!(r.Next(&a) && a.op == OP_STRING && r.Next(&b) && b.op == OP_CALL &&
        (b.u32 & kCallIdMask) == kSlotSqlExp && r.Next(&c) && c.op == OP_END))
    return false;
  const size_t n = a.u32 ? a.u32 - 1 : 0;
  std::string s(a.text, strnlen(a.text, n));
  for (char& ch : s)
    if (static_cast<unsigned char>(ch) == static_cast<unsigned char>(model->SpaceDotChar)) ch = ' ';
  *text = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(s.size() + 1)));
  if (*text == nullptr) return false;
  std::memcpy(*text, s.c_str(), s.size() + 1);
  return true;
}

int ResolveSqlExpFields(CKmComposite* model) {
  DataAccess* da = GetDataAccess(model);
  if (da == nullptr || da->Current() == nullptr) return 0;
  int refused = 0;
  for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) {
    if ((f->flags & (kFieldCalculation | kFieldAlias)) != kFieldCalculation) continue;
    if (!IsServerComputed(f)) continue;
    char* text = nullptr;
    if (!SqlExpColumnText(model, f, &text)) continue;
    // Already resolved for this text: the server is not asked again.
    if (f->sqlText != nullptr && std::strcmp(f->sqlText, text) == 0) {
      HeapFreeBlock(text);
      continue;
    }
    HeapFreeBlock(f->sqlText);
    f->sqlText = nullptr;
    // A text that would do more than read stops the run with its reason.
    const SqlReading reading = ReadSqlExpression(text, da->SqlRules());
    if (!reading.ok) {
      HeapFreeBlock(text);
      DbErrorBox(reading.why.c_str());
      return -1;
    }
    // A kind that matches the column keeps the field's own format; another
    // takes the column's kind and its default look.
    if (BuildProbeSelect(model, text, f, 0, false) != 0 && BuildProbeSelect(model, text, f, 1, false) != 0) {
      HeapFreeBlock(text);
      ++refused;
      continue;
    }
    f->sqlText = text;
  }
  return refused;
}
