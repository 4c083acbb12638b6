// A document ready for the sample report's writer: its band-line table, page
// set-up and report I/O, all given back when it goes.
#pragma once

#include "app/sample_report.h"

#include <string>

struct SampleDocument : SampleReportDocument {
  // Builds the sample report on the data source and writes it to path.
  bool Write(const char* dataSource, const std::string& path, std::string* error);
};

class CKmComposite;
struct FieldDef;
// The report's filter: the one condition "field op value". False when refused.
bool FilterOnField(CKmComposite* model, FieldDef* field, int op, const char* value);
// The sample report's filter "LOCALAMT > above", LOCALAMT being the amount
// through a function the databases are not given as SQL: a filter only the
// program can test. False when the calculation or the filter was refused.
bool FilterOnLocalAmount(CKmComposite* model, double above);
