#include "layout/page_setup.h"

#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/units.h"

#include <new>

namespace {

// The words in record order, so no code depends on how the struct is laid out.
int32_t PageSetupRec::*const kWordMembers[kPageSetupWords] = {
    &PageSetupRec::PaperLength,  &PageSetupRec::TopMargin,
    &PageSetupRec::BottomMargin, &PageSetupRec::RightMargin,
    &PageSetupRec::LeftMargin,   &PageSetupRec::RecordWidth,
    &PageSetupRec::RecordHeight, &PageSetupRec::NoCompressLines,
    &PageSetupRec::word8,        &PageSetupRec::Copies,
    &PageSetupRec::NoSuppressRecordLines, &PageSetupRec::Landscape,
    &PageSetupRec::word12,       &PageSetupRec::Collate,
    &PageSetupRec::ExtraColumns, &PageSetupRec::OutputDestination,
    &PageSetupRec::word16,       &PageSetupRec::word17,
    &PageSetupRec::NoLineSwitch, &PageSetupRec::word19,
    &PageSetupRec::PaperWidth,   &PageSetupRec::word21,
    &PageSetupRec::RecordCopies, &PageSetupRec::NoHeadFootInSummary,
    &PageSetupRec::NoBreakRecordArea, &PageSetupRec::PaperSource,
    &PageSetupRec::RecordsAcross, &PageSetupRec::DownOrder,
};

}  // namespace

PageSetupRec* AllocPageSetup() {
  void* block = HeapAllocZero(0, sizeof(PageSetupRec));
  if (block == nullptr) return nullptr;
  auto* rec = new (block) PageSetupRec;
  for (auto m : kWordMembers) rec->*m = 0;
  return rec;
}

void FreePageSetup(PageSetupRec* rec) {
  if (rec != nullptr) HeapFreeBlock(rec);
}

int32_t GetPageSetupWord(const PageSetupRec& rec, int i) {
  if (i < 0 || i >= kPageSetupWords) return 0;
  return rec.*kWordMembers[i];
}

void SetPageSetupWord(PageSetupRec& rec, int i, int32_t value) {
  if (i < 0 || i >= kPageSetupWords) return;
  rec.*kWordMembers[i] = value;
}

bool PageSetupEqual(const PageSetupRec& a, const PageSetupRec& b) {
  for (auto m : kWordMembers)
    if (a.*m != b.*m) return false;
  return true;
}

void CopyPageSetup(PageSetupRec& to, const PageSetupRec& from) {
  for (auto m : kWordMembers) to.*m = from.*m;
}

void SetLabelArrangement(PageSetupRec& rec, int columns, bool downOrder) {
  if (columns < 1) columns = 1;
  if (downOrder) {
    rec.ExtraColumns = 0;
    rec.RecordsAcross = columns;
    rec.DownOrder = 1;
  } else {
    rec.ExtraColumns = columns - 1;
    rec.RecordsAcross = 1;
    rec.DownOrder = 0;
  }
}

int LabelColumns(const PageSetupRec& rec) {
  const int n = rec.DownOrder == 1 ? rec.RecordsAcross : rec.ExtraColumns + 1;
  // A record from an old or damaged file may hold nonsense; one column is the
  // arrangement the engine can always print.
  return n < 1 ? 1 : n;
}

void EncodePageSetup(const PageSetupRec& rec, uint8_t out[kPageSetupBytes]) {
  for (int i = 0; i < kPageSetupWords; ++i) {
    const uint32_t v = static_cast<uint32_t>(rec.*kWordMembers[i]);
    for (int b = 0; b < 4; ++b) out[i * 4 + b] = static_cast<uint8_t>(v >> (8 * b));
  }
}

bool DecodePageSetup(const uint8_t* data, size_t length, PageSetupRec* rec) {
  if (data == nullptr || rec == nullptr || length < kPageSetupBytes) return false;
  for (int i = 0; i < kPageSetupWords; ++i) {
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b) v |= static_cast<uint32_t>(data[i * 4 + b]) << (8 * b);
    rec->*kWordMembers[i] = static_cast<int32_t>(v);
  }
  return true;
}

int32_t TopMargin720(const KmDocBase& doc) {
  const PageSetupRec* p = doc.m_pPageSetup;
  if (p == nullptr || p->TopMargin <= 0) return 0;
  const WORD margin = static_cast<WORD>(p->TopMargin > 65535 ? 65535 : p->TopMargin);
  // In the report's measure: hundredths of an inch, or tenths of a millimetre.
  const int32_t hundredths =
      doc.m_measure == 0 ? static_cast<int32_t>(ConvertMeasure(margin, kMeasureHundredths, kMeasureTenthsMm, 10, 0))
                         : margin;
  return hundredths * 720 / 100;
}
