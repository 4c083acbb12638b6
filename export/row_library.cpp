#include "export/row_library.h"

#include "core/fields.h"
#include "export/export_run.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Bytes of a value buffer by the field's kind.
size_t ValueSize(uint32_t flags) {
  if (flags & (kFieldDateTime | kFieldTime)) return 12;
  if (flags & kFieldNumeric) return 8;
  if (flags & kFieldDate) return 4;
  return 1;  // logical
}

}  // namespace

std::string UniqueColumnName(const char* name, size_t max, std::vector<std::string>* taken) {
  std::string base;
  for (const char* p = name ? name : ""; *p && base.size() < max; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    base += (std::isalnum(c) && c < 0x80) ? static_cast<char>(c) : '_';
  }
  if (base.empty()) base = "FIELD";
  std::string candidate = base;
  for (int n = 1; std::find(taken->begin(), taken->end(), Upper(candidate)) != taken->end(); ++n) {
    std::string suffix = std::to_string(n);
    candidate = base.substr(0, max - std::min(max, suffix.size())) + suffix;
  }
  taken->push_back(Upper(candidate));
  return candidate;
}

bool RowExportLibrary::CellIsText(const ExportColumn& c) const {
  return TakesText() || c.memo || (c.field->flags & kFieldKindMask) == 0;
}

int RowExportLibrary::Begin(ExportJobRecord* job, FieldDef* const* fields, const ExportHost& host) {
  columns_.clear();
  for (FieldDef* const* f = fields; f && *f; ++f) {
    if (!ExportFieldFilter(*host.settings, *host.doc, *f)) continue;
    ExportColumn c;
    c.field = *f;
    c.desc.name = (*f)->name;
    DescribeExportField(*host.settings, *host.doc, *f, &c.desc);
    c.memo = c.desc.type == 'M';
    columns_.push_back(c);
  }
  if (columns_.empty()) {
    job->status = kExportStatusNoField;
    return 0;
  }
  row_.assign(columns_.size(), ExportCell());
  if (!out_.Open(job->fileName)) {
    job->status = kExportStatusCannotCreate;
    return 0;
  }
  if (!WriteHeader(job) || !out_.Ok()) {
    out_.Discard();
    job->status = kExportStatusWriteError;
    return 0;
  }
  job->count = 0;
  return 1;
}

void RowExportLibrary::FieldValue(ExportJobRecord* job, const FieldDef* field, const void* value, const char*,
                                  int state, const ExportHost&, bool passEmptyTest) {
  if (job->status == kExportStatusLine) job->status = 0;
  size_t i = 0;
  while (i < columns_.size() && columns_[i].field != field) ++i;
  if (i == columns_.size()) return;
  // A field already given in this row starts the next row.
  if (row_[i].set && !FlushRow(job)) return;
  ExportCell& cell = row_[i];
  cell = ExportCell();
  cell.set = true;
  const ExportColumn& c = columns_[i];
  if (CellIsText(c)) {
    cell.text = value ? static_cast<const char*>(value) : "";
  } else if (value) {
    std::memcpy(cell.raw, value, ValueSize(c.field->flags));
  }
  cell.empty = state != 0 || value == nullptr ||
               (passEmptyTest && !CellIsText(c) && IsExportValueEmpty(field, value));
}

bool RowExportLibrary::RowPending() const {
  return std::any_of(row_.begin(), row_.end(), [](const ExportCell& c) { return c.set; });
}

bool RowExportLibrary::FlushRow(ExportJobRecord* job) {
  bool any = std::any_of(row_.begin(), row_.end(), [](const ExportCell& c) { return c.set; });
  if (!any) return true;
  if (!WriteRow(job) || !out_.Ok()) {
    job->status = kExportStatusWriteError;
    return false;
  }
  ++job->count;
  for (ExportCell& c : row_) c = ExportCell();
  return true;
}

void RowExportLibrary::End(ExportJobRecord* job) {
  if (job->status != kExportStatusWriteError && FlushRow(job) && Finish(job) && out_.Ok() && out_.Commit()) return;
  out_.Discard();
  job->status = kExportStatusWriteError;
}
