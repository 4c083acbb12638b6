// What the data-export writers share: the columns chosen at the begin call
// (the export's filter and descriptor), the row being filled field by field,
// and the output file that is put in place only when the export completes.
#pragma once

#include "export/export_library.h"
#include "platform/export/output_file.h"

#include <string>
#include <vector>

struct ExportColumn {
  const FieldDef* field = nullptr;
  ExportFieldDescriptor desc;
  std::string name;
  bool memo = false;
};

struct ExportCell {
  bool set = false;
  bool empty = false;
  std::string text;       // text kinds, memo texts and values handed over as text
  unsigned char raw[12] = {};  // number, logical, date, time, date-time buffers
};

class RowExportLibrary : public ExportLibrary {
 public:
  int Begin(ExportJobRecord* job, FieldDef* const* fields, const ExportHost& host) override;
  void FieldValue(ExportJobRecord* job, const FieldDef* field, const void* value, const char* name, int state,
                  const ExportHost& host, bool passEmptyTest) override;
  void End(ExportJobRecord* job) override;
  void Abort(ExportJobRecord*) override { out_.Discard(); }
  bool RowPending() const override;

 protected:
  virtual bool WriteHeader(ExportJobRecord* job) = 0;
  virtual bool WriteRow(ExportJobRecord* job) = 0;
  virtual bool Finish(ExportJobRecord* job) { return true; }
  // Whether the column's cell comes as text rather than a value buffer.
  virtual bool CellIsText(const ExportColumn& c) const;

  std::vector<ExportColumn> columns_;
  std::vector<ExportCell> row_;
  ExportOutputFile out_;

 private:
  bool FlushRow(ExportJobRecord* job);
};

// A name made of at most max letters, digits and underscores, unique among
// taken (compared ignoring case); taken receives it.
std::string UniqueColumnName(const char* name, size_t max, std::vector<std::string>* taken);
