#include "foundation/paper_sizes.h"

#include "foundation/doc_base.h"
#include "platform/printer/printer_info.h"

#include <cstdio>

int GetPrinterPaperSizes(const KmDocBase& doc, int paperId, char* name, size_t nameSize, long* length, long* width) {
  // However many papers a print queue lists, each is looked at.
  for (const PrinterPaper& p : GetPrinterPapers(doc.m_szPrinterDevice)) {
    if (p.code != paperId) continue;
    if (name && nameSize) std::snprintf(name, nameSize, "%.63s", p.name.c_str());
    if (length) *length = p.heightTenthsMm;
    if (width) *width = p.widthTenthsMm;
    return 1;
  }
  return 0;
}
