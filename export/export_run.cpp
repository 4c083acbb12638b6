#include "export/export_run.h"

#include "core/composite.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "data/memo_sources.h"
#include "engine/band_line_helpers.h"
#include "engine/band_output.h"
#include "engine/line_text.h"
#include "engine/memo_field_text.h"
#include "engine/output_messages.h"
#include "engine/output_values.h"
#include "engine/report_run.h"
#include "engine/run_report.h"
#include "expr/calendar.h"
#include "expr/document_format.h"
#include "expr/value_format.h"
#include "export/page_writers.h"
#include "foundation/doc_base.h"
#include "foundation/page_metrics.h"
#include "foundation/settings.h"
#include "layout/layout_records.h"
#include "platform/export/output_file.h"
#include "platform/export/page_capture.h"
#include "platform/image/image_library.h"
#include "platform/win/codepage.h"
#include "platform/win/file_handles.h"
#include "platform/win/fileio.h"
#include "platform/win/profile.h"
#include "platform/win/resources.h"
#include "model/memo_text.h"
#include "model/record_pass.h"

#include <algorithm>
#include <type_traits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr unsigned kIdCannotOpen = 620;
constexpr unsigned kIdInvalidWidth = 625;
constexpr unsigned kIdPrinterInfo = 628;
constexpr unsigned kIdCannotStart = 641;
constexpr unsigned kIdMasterFile = 6401;
constexpr unsigned kIdReadOnly = 6402;
constexpr unsigned kIdNoFields = 6403;
constexpr unsigned kIdWriteError = 6404;
constexpr unsigned kIdNoRecords = 5960;
constexpr unsigned kIdNoRoomOnPage = 5981;

constexpr size_t kFormattedBuffer = 356;
constexpr size_t kMemoLimit = 10989;
constexpr uint32_t kDateStyleShort = 0xA000;
constexpr uint32_t kTimeDefaultPicture = 0x8000;
constexpr int kNoPagesLimit = 1 << 30;

void Error(unsigned id, const std::string& arg = std::string()) { ShowOutputError(OutputMessageText(id, arg)); }

// A write error in the library's words when it named the cause.
void WriteError(const ExportJobRecord& job, const std::string& path) {
  if (job.reason.empty()) Error(kIdWriteError, path);
  else ShowOutputError(job.reason);
}

int ExportIni(const char* key, int defaultValue) {
  return static_cast<int>(GetPrivateProfileIntA("Export", key, defaultValue, SettingsIniPath().c_str()));
}

// A data export lays out no page: every band fits.
class NoPageDriver : public PageDriver {
 public:
  int ApiVersion() const override { return kPageDriverApiVersion; }
  bool HasEntry(int ordinal) const override { return ordinal != 14 && ordinal != 16 && ordinal != 26; }
  void SetImageFuncs(const PageDriverImageFuncs&) override {}
  void AdjustFontStyle(PageOutputState*, int, WORD*) override {}
  int FontLineHeight(PageOutputState*, int, int, int size, int) override { return size > 0 ? size : 100; }
  int CharWidth(PageOutputState*, int, int, int, int) override { return 144; }
  int SetFontSize(PageOutputState*, WORD) override { return 1; }
  int AdvanceBeforeLine(PageOutputState*, int, int) override { return 1; }
  int AdvanceAfterLine(PageOutputState*, int, int) override { return 1; }
  LONG EndPage(PageOutputState*, int) override { return 1; }
  DWORD MeasureLine(PageOutputState*, const BYTE*, int, int) override { return 120; }
  int OpenDevice(PageOutputState*, const BYTE*, const char*, LPARAM, LPARAM) override { return 1; }
  int SpaceLeft(PageOutputState*, int) override { return kNoPagesLimit; }
  void CloseDevice(PageOutputState*, LONG) override {}
  int BeginPage(PageOutputState*, int, int) override { return 1; }
  int MoveDown(PageOutputState*, int, int) override { return 1; }
  int OutputLine(PageOutputState*, const BYTE*, int) override { return 1; }
  void PreviewPageFinished(PageOutputState*) override {}
  int RealizePalette(PageOutputState*) override { return 1; }
  int EndBand(PageOutputState*, int, int) override { return 1; }
  int DrawBox(PageOutputState*, const LineBoxRecord*) override { return 1; }
  int DrawPicture(PageOutputState*, const PictureRecord*) override { return 1; }
  void PreviewResized(PageOutputState*) override {}
  WORD CurrentY(PageOutputState*) override { return 0; }
  int DrawLine(PageOutputState*, const LineBoxRecord*) override { return 1; }
  int ReplayPage(PageOutputState*, const PageRect*) override { return 1; }
  int StorePage(PageOutputState*, void*, LONG) override { return 1; }
  int DrawOleItem(PageOutputState*, const OleItemRecord*) override { return 1; }
  int DrawChart(PageOutputState*, const ChartRecord*) override { return 1; }
};

// The state of one export run, reached from its run output.
struct ExportJob {
  CKmExport* e = nullptr;
  KmDocBase* doc = nullptr;
  ExportRunHost* host = nullptr;
  std::unique_ptr<ExportLibrary> library;
  CapturedDocument pages;
  ExportOutputFile pageFile;  // page-image exports: opened at the first record
  // Writes pageFile while the run goes, from the scratch file's thread.
  std::unique_ptr<PageExportAhead> ahead;
  bool keepNumbers = false;
  int keepDates = 2;
  bool stopped = false;  // the library asked to stop
  // The band settings with whole years in the short date picture, and the
  // settings they were made from.
  std::unique_ptr<FormatSettings> fourDigitYears;
  FormatSettings yearsFrom;

  // No page is given to the writer once the file or the writer is gone.
  ~ExportJob() { pages.StopPagesAhead(); }
};

ExportJob* JobOf(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  return r ? static_cast<ExportJob*>(r->exportJob) : nullptr;
}

ExportHost HostOf(ExportJob* job) {
  ExportHost h;
  h.settings = job->e;
  h.doc = job->doc;
  return h;
}

// Fields of the layout in item order, ended by a null pointer.
std::vector<FieldDef*> BuildExportFieldList(KmDocBase& doc) {
  std::vector<FieldDef*> list;
  if (BandOutputState* s = PrepareBandOutput(&doc)) {
    if (!s->built) BuildBandItemIndex(s);
    for (const ItemOutput& it : s->items)
      if ((it.head->flags & kItemKindField) && !IsGraphicItem(*it.head))
        list.push_back(reinterpret_cast<FieldDef*>(it.head));
  }
  list.push_back(nullptr);
  return list;
}

TextPageOptions TextOptions(const CKmExport& e) {
  TextPageOptions o;
  o.oemCharacters = (e.textFlags & 0x01) != 0;
  return o;
}

// The page file written as the pages are made, when its format allows.
void StartPagesAhead(ExportJob* job) {
  CKmExport& e = *job->e;
  const ExportSink page = [job](const std::string& bytes) { return job->pageFile.Write(bytes); };
  if (e.format == kExportHtml) {
    job->ahead = HtmlExportAhead(job->pages, e.html, job->host->ReportTitle(*job->doc), page,
                                 [](const std::string& path, const std::string& bytes, bool) {
                                   return WriteWholeFile(NativePath(path), bytes);
                                 });
  } else if (e.format == kExportRtf) {
    job->ahead = RtfExportAhead(page);
  } else {
    job->ahead = TextExportAhead(TextOptions(e), page);
  }
  if (job->ahead && !job->ahead->Start(&job->pages)) job->ahead.reset();
}

int StartOutputJob(KmDocBase* doc) {
  ExportJob* job = JobOf(doc);
  if (job == nullptr) return 1;
  CKmExport& e = *job->e;
  const std::string& path = e.job.fileName;
  if (IsPageImageFormat(e.format)) {
    if (job->pageFile.IsOpen()) return 1;
    // Written beside the file, no one else let in to the old one; what the
    // failed open found tells a read-only file from any other failure.
    uint32_t attributes = 0;
    if (!job->pageFile.OpenLocked(path, &attributes)) {
      Error((attributes & FILE_ATTRIBUTE_READONLY) ? kIdReadOnly : kIdCannotOpen, path);
      return 0;
    }
    e.jobStarted = true;
    StartPagesAhead(job);
    return 1;
  }
  if (!job->library) {
    Error(kIdCannotStart);
    return 0;
  }
  if (IsReadOnlyFile(path)) {
    Error(kIdReadOnly, path);
    return 0;
  }
  std::vector<FieldDef*> fields = BuildExportFieldList(*doc);
  if (job->library->Begin(&e.job, fields.data(), HostOf(job))) {
    e.jobStarted = true;
    return 1;
  }
  switch (e.job.status) {
    case kExportStatusNoField: Error(kIdNoFields); break;
    case kExportStatusCannotCreate:
    case kExportStatusWriteError: WriteError(e.job, path); break;
    case kExportStatusNoMemory: Error(kIdPrintMemory); break;
    default: Error(kIdCannotStart); break;
  }
  return 0;
}

// A memo's whole text, at most kMemoLimit characters.
bool MemoText(ReportRun* run, const FieldDef* f, const BYTE* value, std::string* text) {
  const int gathered = ReadMemoForExport(run->doc->m_pModel, const_cast<FieldDef*>(f), text);
  if (gathered >= 0) return gathered == 1;
  if (!WrappedFieldWholeText(run, f, value, text)) return false;
  if (text->size() > kMemoLimit) text->resize(kMemoLimit);
  return true;
}

// The short date picture with every run of year letters made four long.
void FourDigitYears(IntlSettings* intl) {
  std::string p;
  for (const char* c = intl->sShortDate; *c; ++c) {
    if (*c == 'y' || *c == 'Y') {
      const char letter = *c;
      while (c[1] == letter) ++c;
      p.append(4, letter);
    } else {
      p += *c;
    }
  }
  std::snprintf(intl->sShortDate, sizeof intl->sShortDate, "%s", p.c_str());
}

// A value as text for the delimited formats: numbers in the Fixed style
// and dates by the short picture unless the settings keep their formats.
std::string FormattedValue(ExportJob* job, BandOutputState* s, FieldDef* f, const BYTE* value) {
  const uint32_t kind = f->flags;
  const uint32_t savedFormat = f->formatCode, savedTime = f->timeFormat;
  if ((kind & kFieldNumeric) && !job->keepNumbers) f->formatCode = (f->formatCode & ~0xFu) | 5;
  // 0 and 2 write dates by the short picture, 2 with the whole year so that
  // no century is lost (and the text fits the width the descriptor gave).
  const FormatSettings* format = &s->format;
  if (job->keepDates != 1) {
    if (kind & (kFieldDate | kFieldDateTime)) f->formatCode = (f->formatCode & ~0xF00Fu) | kDateStyleShort;
    if (kind & (kFieldDateTime | kFieldTime)) f->timeFormat = (f->timeFormat & ~0x7u) | kTimeDefaultPicture;
    if (job->keepDates == 2) {
      // Made once for the run's settings, not for every value.
      static_assert(std::is_trivially_copyable<FormatSettings>::value, "compared byte for byte");
      if (!job->fourDigitYears || std::memcmp(&job->yearsFrom, &s->format, sizeof s->format) != 0) {
        std::memcpy(&job->yearsFrom, &s->format, sizeof s->format);
        job->fourDigitYears = std::make_unique<FormatSettings>(s->format);
        FourDigitYears(&job->fourDigitYears->intl);
      }
      format = job->fourDigitYears.get();
    }
  }
  char buffer[kFormattedBuffer] = {};
  FormatFieldValue(*format, f, buffer, value, -1, kOutputText, nullptr);
  f->formatCode = savedFormat;
  f->timeFormat = savedTime;
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

int OutputExportLine(ReportRun* run, ExportJob* job, int line, int band) {
  BandOutputState* s = run->band;
  CKmExport& e = *job->e;
  e.job.status = kExportStatusLine;
  const ExportHost host = HostOf(job);
  int count = 0;
  for (int i = s->firstItemOfLine[line]; i < s->firstItemOfLine[line + 1]; ++i) {
    ItemOutput& item = s->items[static_cast<size_t>(i)];
    ReportItemHead* h = item.head;
    if (!(h->flags & kItemKindField) || IsGraphicItem(*h)) continue;
    FieldDef* f = reinterpret_cast<FieldDef*>(h);
    if (!ExportFieldFilter(e, *job->doc, f)) continue;
    // A Print Once group field goes out with its group's first row only; the
    // later rows hold it empty.
    if (IsGroupFieldSuppressed(run, &item)) {
      job->library->FieldValue(&e.job, f, nullptr, f->name, 1, host, true);
      ++count;
      if (e.job.status == kExportStatusStop || e.job.status == kExportStatusWriteError) break;
      continue;
    }
    const BYTE* value = GetFieldValueForBand(run, f, band);
    const int status = FieldValueStatus(run, f, value);
    int state = 0;
    if (status != 0) state = e.format == kExportWorksheet && status == 2 ? 2 : 1;
    const uint32_t kind = f->flags & kFieldKindMask;
    std::string text;
    const void* handed = value;
    if ((kind & kFieldMemo) && state == 0) {
      if (!MemoText(run, f, value, &text)) {
        if (job->doc->m_pModel) ReportScanError(job->doc->m_pModel, job->doc->m_pModel->lastEngineError);
        RunStateOf(run) = -2;
        return -1;
      }
      handed = text.c_str();
    } else if (job->library->TakesText() && kind == 0 && state == 0 && job->doc->m_pModel != nullptr &&
               MemoReaderFor(job->doc->m_pModel, f) != nullptr) {
      // A long text column goes whole to the text formats, as it prints;
      // its value buffer holds only as much as the field is wide.
      WrappedFieldWholeText(run, f, value, &text);
      handed = text.c_str();
    } else if (job->library->TakesText() && kind != 0) {
      text = FormattedValue(job, s, f, value);
      handed = text.c_str();
    }
    job->library->FieldValue(&e.job, f, handed, f->name, state, host, true);
    MarkGroupField(run, &item);
    ++count;
    if (e.job.status == kExportStatusStop || e.job.status == kExportStatusWriteError) break;
  }
  if (e.job.status == kExportStatusWriteError) WriteError(e.job, e.job.fileName);
  return count;
}

// The band entry of a data export's run: only the chosen band goes out,
// as values; nothing is measured or drawn.
int ExportOutputBand(KmDocBase* doc, int band, int fitLimit) {
  ExportJob* job = JobOf(doc);
  ReportRun* run = RunOf(doc);
  if (fitLimit != 0 || job == nullptr || run == nullptr) return 0;
  if (band != job->e->ChosenBand() || band == kBandPageHeader || band == kBandPageFooter) return doc->m_nRunState;
  BandOutputState* s = PrepareBandOutput(doc);
  if (s == nullptr || s->layout == nullptr) return doc->m_nRunState;
  if (!s->built) BuildBandItemIndex(s);
  BandLineTable& table = s->layout->Lines();
  const int lastUsed = std::min(table.lastUsed, kBandLineCount - 1);
  for (int line = 0; line <= lastUsed && doc->m_nRunState == 0; ++line) {
    if (table.lines[line].kind != band || !IsLineShown(doc, line, band)) continue;
    if (OutputExportLine(run, job, line, band) < 0) break;
    const uint32_t st = job->e->job.status;
    if (st == kExportStatusWriteError) {
      doc->m_nRunState = -1;
      break;
    }
    if (st == kExportStatusStop) {
      // The library has all it wants: the run ends, the job ends normally.
      job->stopped = true;
      doc->m_nRunState = -1;
      break;
    }
  }
  run->outputEmitted = 1;
  return doc->m_nRunState;
}

bool SameName(const std::string& a, const std::string& b) {
  return !a.empty() && a.size() == b.size() && CompareAnsiNoCase(a.c_str(), b.c_str()) == 0;
}

// The page set-up's paper and margins in decipoints.
void PaperOf(const KmDocBase& doc, CapturedDocument* pages, PageOutputState* page) {
  const PageSetupRec* ps = doc.m_pPageSetup;
  double length = ps && ps->PaperLength > 0 ? ps->PaperLength : 2794;
  double width = ps && ps->PaperWidth > 0 ? ps->PaperWidth : 2159;
  if (ps && ps->Landscape == 1) std::swap(length, width);
  pages->paperHeight = length * 720.0 / 254.0;
  pages->paperWidth = width * 720.0 / 254.0;
  page->pageLength = static_cast<LONG>(pages->paperHeight);
  page->printableHeight = page->pageLength;
  page->topOffset = 0;
  // Across, the page starts at the report's left margin, as on paper; the
  // capture is a printer of its own (720 pixels an inch, no edge it cannot
  // print on), not the one that printed last.
  page->physicalOffsetX = 0;
  page->leftMargin = LeftMarginHundredths(doc) * 720 / 100;
}

bool WritePageExport(ExportJob* job, const std::string& title) {
  CKmExport& e = *job->e;
  const ExportSink page = [job](const std::string& bytes) { return job->pageFile.Write(bytes); };
  bool written = false;
  if (job->ahead) {
    written = job->ahead->Finish(&job->pages, [job] { return job->pageFile.Rewind(); });
  } else if (e.format == kExportHtml) {
    // The pictures and later pages as they are made, the page named last: a
    // page never links a missing file.
    written = WriteHtmlPages(job->pages, e.html, title, page,
                             [](const std::string& path, const std::string& bytes, bool) {
                               return WriteWholeFile(NativePath(path), bytes);
                             });
  } else if (e.format == kExportRtf) {
    written = WriteRtfPages(job->pages, page);
  } else {
    written = WriteTextPages(job->pages, TextOptions(e), page);
  }
  return written && job->pageFile.Commit();
}

// Where an export run's bands go: a data export hands the chosen band's
// values to its library, a page-image export lays out pages as a print
// does; the job starts at the first record, and the closing message goes
// where the export's own messages go (to standard error in an unattended
// run, which no message box may stop).
class ExportRunOutput : public RunOutput {
 public:
  explicit ExportRunOutput(ExportJob* job) : job_(job) {}
  int StartJob(KmDocBase* doc) override { return StartOutputJob(doc); }
  int OutputBand(KmDocBase* doc, int band, int fitLimit) override {
    if (IsDataExportFormat(job_->e->format)) return ExportOutputBand(doc, band, fitLimit);
    return RunOutput::OutputBand(doc, band, fitLimit);
  }
  void ShowMessage(KmDocBase*, int message, uint32_t) override {
    if (message == kMsgNoRecords) ShowOutputError(LoadResString(kIdNoRecords));
    // A paged export whose page holds only its header and footer writes nothing.
    if (message == kMsgNoRoomOnPage) ShowOutputError(LoadResString(kIdNoRoomOnPage));
  }
  bool ExportedCount(uint32_t* count) const override {
    if (!IsDataExportFormat(job_->e->format) || !job_->library) return false;
    *count = job_->e->job.count + (job_->library->RowPending() ? 1 : 0);
    return true;
  }

 private:
  ExportJob* job_;
};

}  // namespace

int DescribeExportField(const CKmExport& e, KmDocBase& doc, const FieldDef* field, ExportFieldDescriptor* d) {
  switch (e.format) {
    case kExportXbase: return DescribeFieldXbase(field, d);
    case kExportWorksheet: return DescribeFieldWorksheet(field, d);
    case kExportDataFile:
    case kExportWordMerge: return DescribeFieldDelimited(doc, const_cast<FieldDef*>(field), d);
    default: return 1;
  }
}

int ExportFieldFilter(const CKmExport& e, KmDocBase& doc, const FieldDef* field) {
  if (field == nullptr || !IsPlacedField(field) || doc.m_pLayout == nullptr) return 0;
  const BandLineTable& t = doc.m_pLayout->Lines();
  if (field->head.bandLine >= kBandLineCount) return 0;
  const int band = t.lines[field->head.bandLine].kind;
  if (band != e.ChosenBand() || band == kBandPageHeader || band == kBandPageFooter) return 0;
  // Memo texts go only to the delimited-text formats.
  if ((field->flags & kFieldMemo) && e.format != kExportDataFile && e.format != kExportWordMerge) return 0;
  if ((field->flags & kFieldTime) && e.format == kExportXbase) return 0;
  return 1;
}

namespace {
bool Wrapped(const FieldDef* f) { return IsStretchingField(f->head); }
uint32_t FullTextLength(const FieldDef* f) { return f->width > 0 ? f->width : f->displayWidth; }
}  // namespace

int DescribeFieldXbase(const FieldDef* f, ExportFieldDescriptor* d) {
  d->name = f->name;
  d->width = f->displayWidth;
  d->decimals = 0;
  const uint32_t kind = f->flags & ~kFieldTime;
  if (kind & kFieldDateTime) {
    d->type = 'D';
    d->width = 8;
  } else if (kind & kFieldDate) {
    d->type = 'D';
  } else if (kind & kFieldMemo) {
    d->type = 'M';
  } else if (kind & kFieldLogical) {
    d->type = 'L';
  } else if (kind & kFieldNumeric) {
    d->type = 'N';
    d->decimals = f->displayDecimals;
  } else {
    d->type = 'C';
    if (Wrapped(f)) d->width = FullTextLength(f);
  }
  return 1;
}

int DescribeFieldWorksheet(const FieldDef* f, ExportFieldDescriptor* d) {
  d->name = f->name;
  d->width = f->displayWidth;
  d->decimals = 0;
  d->worksheetCode = 0;
  const uint32_t kind = f->flags;
  if (kind & kFieldNumeric) {
    d->type = 'N';
    d->decimals = f->displayDecimals;
    static const uint32_t kCodes[] = {0, 1, 2, 0, 3, 4, 5, 6};
    const uint32_t style = f->formatCode & 0xF;
    d->worksheetCode = style < 8 ? kCodes[style] : 0;
  } else if (kind & kFieldLogical) {
    d->type = 'L';
  } else if (kind & kFieldMemo) {
    d->type = 'M';
  } else if (kind & kFieldTime) {
    d->type = 'T';
    d->worksheetCode = (f->timeFormat & 0x8000) ? 15 : (f->timeFormat & 1) ? 12 : 13;
  } else if (kind & (kFieldDate | kFieldDateTime)) {
    d->type = (kind & kFieldDateTime) ? kDescDateTime : 'D';
    switch (f->formatCode & 0xF00F) {
      case 1: case 6: case 7: case 0x1000: case 0x2000: case 0x3000: case 0x4000: d->worksheetCode = 9; break;
      case 5: case 8: d->worksheetCode = 8; break;
      case 4: case 9: case 10: case 0x5000: case 0x6000: case 0x7000: case 0x8000: d->worksheetCode = 7; break;
      case 0x9000: d->worksheetCode = 10; break;
      case 0xA000: d->worksheetCode = 11; break;
      default: d->worksheetCode = 0; break;
    }
  } else {
    d->type = 'C';
    if (Wrapped(f)) d->width = FullTextLength(f);
  }
  return 1;
}

int DescribeFieldDelimited(KmDocBase& doc, FieldDef* f, ExportFieldDescriptor* d) {
  const int keepNumbers = ExportIni("CSVKeepNumFormats", 0);
  const int keepDates = ExportIni("CSVKeepDateFormats", 2);
  char saved[sizeof doc.m_intl.sShortDate];
  std::memcpy(saved, doc.m_intl.sShortDate, sizeof saved);
  if (keepDates == 2) FourDigitYears(&doc.m_intl);
  d->name = f->name;
  d->width = f->displayWidth;
  d->decimals = 0;
  const uint32_t kind = f->flags;
  if (kind & kFieldLogical) {
    d->type = 'L';
  } else if (kind & kFieldMemo) {
    d->type = 'M';
  } else if (kind & kFieldNumeric) {
    d->type = 'N';
    d->decimals = f->displayDecimals;
    d->width += 1 + (d->decimals > 0 ? 1 : 0) + (keepNumbers ? 8 : 0);
  } else if (kind & (kFieldDate | kFieldDateTime | kFieldTime)) {
    d->type = (kind & kFieldDateTime) ? kDescDateTime : (kind & kFieldTime) ? 'T' : 'D';
    const uint32_t savedFormat = f->formatCode, savedTime = f->timeFormat;
    if (keepDates != 1) {
      if (kind & (kFieldDate | kFieldDateTime)) f->formatCode = (f->formatCode & ~0xF00Fu) | kDateStyleShort;
      if (kind & (kFieldDateTime | kFieldTime)) f->timeFormat = (f->timeFormat & ~0x7u) | kTimeDefaultPicture;
    }
    FormatSettings fs;
    TakeDocumentFormat(fs, doc);
    // A sample value of the kind: its formatted length is the width.
    BYTE sample[12] = {};
    DateParts dp{2000, 12, 28, 0};
    DayNumber day = 0;
    YMDToJulian(dp, day);
    const double micros = 23.0 * 3600e6 + 59.0 * 60e6 + 58e6;
    std::memcpy(sample, &day, 4);
    std::memcpy(sample + ((kind & kFieldTime) ? 4 : 4), &micros, 8);
    char buffer[kFormattedBuffer] = {};
    const int n = FormatFieldValue(fs, f, buffer, sample, -1, kOutputText, nullptr);
    d->width = n > 0 ? static_cast<uint32_t>(n) : d->width;
    f->formatCode = savedFormat;
    f->timeFormat = savedTime;
  } else {
    d->type = 'C';
    if (Wrapped(f)) d->width = FullTextLength(f);
  }
  std::memcpy(doc.m_intl.sShortDate, saved, sizeof saved);
  return 1;
}

int ReadMemoForExport(CKmComposite* m, FieldDef* f, std::string* text) {
  MemoReader* r = m != nullptr ? MemoReaderFor(m, f) : nullptr;
  if (r == nullptr) return -1;
  if (ReadMemoText(*r, nullptr, kMemoFromStart) != 0) return 0;
  // What a later window's failure leaves is kept.
  ReadWholeMemo(*r, text, kMemoLimit);
  return 1;
}

int IsExportValueEmpty(const FieldDef* field, const void* value) {
  return IsValueBlank(field, static_cast<const BYTE*>(value), kNullNumber);
}

bool MakeOutputFileName(const CKmExport& e, KmDocBase& doc, std::string* path) {
  *path = AddExportExtension(e, *path);
  CKmComposite* m = doc.m_pModel;
  std::vector<std::string> own;
  for (int i = 0; m != nullptr && i < kMaxTables; ++i)
    if (m->tableSlots[i] != nullptr && m->tableSlots[i]->path[0] != '\0') own.push_back(m->tableSlots[i]->path);
  if (m != nullptr) {
    char database[512] = {};
    if (GetDataAccess(m)->GetDatabaseName(database, sizeof database) && database[0] != '\0') own.push_back(database);
  }
  // The running report's own file, or the library it is a member of.
  if (!doc.GetPathName().empty()) own.push_back(doc.GetPathName());
  if (doc.m_files.currentFile[0] != '\0') own.push_back(doc.m_files.currentFile);
  for (const std::string& t : own)
    if (SameName(t, *path) || IsSameExistingFile(t, *path)) return false;
  return true;
}

int RunExport(CKmExport& e, KmDocBase& doc, ExportRunHost& host) {
  if (e.format >= kExportFormatSlots || e.grayed[e.format]) return 0;
  std::string path = e.OutputPath();
  if (path.empty()) {
    Error(kIdCannotOpen, path);
    return 0;
  }
  if (!MakeOutputFileName(e, doc, &path)) {
    ShowOutputError(LoadResString(kIdMasterFile));
    return 0;
  }
  // A read-only file is refused before anyone is asked to replace it, unless
  // the run opens the file itself at its first record and tells then.
  if ((!IsPageImageFormat(e.format) || e.format == kExportViewer) && IsReadOnlyFile(path)) {
    Error(kIdReadOnly, path);
    return 0;
  }
  if (FileExistsAt(path) && !host.ConfirmOverwrite(doc, path)) return 0;
  e.job = ExportJobRecord();
  e.job.fileName = path;
  e.job.format = e.format;
  if (e.format == kExportDataFile || e.format == kExportWordMerge) {
    const bool six = e.format == kExportDataFile;
    e.job.fileType = six ? e.dataFileType : e.wordMergeType;
    e.job.separator = six ? e.dataFileSeparator : e.wordMergeSeparator;
    e.job.flags = six ? e.dataFileFlags : e.wordMergeFlags;
  }
  e.jobStarted = false;
  if (e.format == kExportViewer) return host.PrintToFile(doc, path) ? 1 : 0;
  if (e.format == kExportHtml && !CreateOutputDirectory(e.html)) {
    Error(kIdCannotOpen, e.html.outputDirectory);
    return 0;
  }

  ExportJob job;
  e.job.reason.clear();
  job.e = &e;
  job.doc = &doc;
  job.host = &host;
  job.keepNumbers = ExportIni("CSVKeepNumFormats", 0) != 0;
  job.keepDates = ExportIni("CSVKeepDateFormats", 2);
  std::unique_ptr<PageDriver> driver;
  PageOutputState page = host.PrinterState();
  page.previewFlag = 0;
  page.printerDC = nullptr;
  page.driverData = nullptr;
  if (IsDataExportFormat(e.format)) {
    job.library = OpenExportLibrary(e.format);
    if (!job.library) {
      Error(kIdPrinterInfo, path);
    } else if (const int r = job.library->Setup(&e.job)) {
      Error(static_cast<unsigned>(r < 0 ? -r : r), path);
      if (r < 0) return 0;
    }
    driver = std::make_unique<NoPageDriver>();
  } else {
    job.pages.imageFormat = ImageFormatTable()[e.html.imageFormat < ImageFormatTable().size() ? e.html.imageFormat : 0].writer;
    job.pages.spillPages = true;  // a long report is exported in the same memory
    job.pages.graphics = e.format == kExportHtml;  // only HTML pages show pictures
    driver.reset(CreatePageCaptureDriver(&job.pages));
    // The pictures of the pages are read through the image library, as printing reads them.
    driver->SetImageFuncs(ImageLibrary::PrinterEntries());
    page.printerResX = page.printerResY = 720;
    PaperOf(doc, &job.pages, &page);
  }
  if (!host.PrepareRun(doc, driver.get(), &page)) {
    host.CloseRun(doc);
    return 0;
  }
  ReportRun* run = RunOf(&doc);
  if (run == nullptr) {
    host.CloseRun(doc);
    return 0;
  }
  ExportRunOutput output(&job);
  run->exportRun = static_cast<uint32_t>(e.format) + 1;
  run->exportJob = &job;
  run->preview = 0;
  run->output = &output;
  if (IsDataExportFormat(e.format)) run->recordsAcrossExtra = 0;
  host.OpenPrintingDialog(doc, e.format, path);
  doc.m_nRunState = 0;
  RunReport(&doc);
  host.ClosePrintingDialog(doc);
  const bool ran = doc.m_nRunState == 0 || job.stopped;
  bool written = false;
  if (e.jobStarted) {
    if (job.library && !ran) {
      job.library->Abort(&e.job);
    } else if (job.library) {
      job.library->End(&e.job);
      written = ran && e.job.status != kExportStatusWriteError;
      if (e.job.status == kExportStatusWriteError && ran) WriteError(e.job, path);
    } else if (ran) {
      written = WritePageExport(&job, host.ReportTitle(doc));
      if (!written) Error(kIdWriteError, path);
    }
    e.jobStarted = false;
  }
  job.pages.StopPagesAhead();
  job.pageFile.Discard();
  run->exportJob = nullptr;
  run->output = &PageOutput();
  host.CloseRun(doc);
  return written ? 1 : 0;
}
