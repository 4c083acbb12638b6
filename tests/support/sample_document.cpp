#include "tests/support/sample_document.h"

#include "app/sample_report.h"
#include "layout/page_setup.h"

SampleDocument::SampleDocument() : lines(new BandLineRec[kBandLineTableRecords]), io(&doc) {
  doc.m_bandLines.lines = lines.get();
  doc.m_pPageSetup = AllocPageSetup();
  doc.m_pRepIO = &io;
}

SampleDocument::~SampleDocument() {
  doc.m_pRepIO = nullptr;
  FreePageSetup(doc.m_pPageSetup);
  doc.m_pPageSetup = nullptr;
}

bool SampleDocument::Write(const char* dataSource, const std::string& path, std::string* error) {
  return WriteSampleReport(doc, io, dataSource, path.c_str(), error);
}
