// The Export Options of the Report Specification: one block for each
// format whose output file is set, in the printout's order.
#pragma once

#include "engine/report_spec.h"
#include "export/export_settings.h"

#include <vector>

std::vector<SpecExportBlock> DescribeExportOptions(const CKmExport& e);
