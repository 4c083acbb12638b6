// The export libraries and the export settings on their own: each file read
// back by an independent reader (python3-dbfread, Python's csv), the status
// codes a library answers with, and what a failed export leaves behind.
#include "core/fields.h"
#include "expr/calendar.h"
#include "data/table_fields.h"
#include "export/export_library.h"
#include "export/export_run.h"
#include "export/export_settings.h"
#include "layout/layout_records.h"
#include "export/page_writers.h"
#include "files/report_stream.h"
#include "core/composite.h"
#include "foundation/doc_base.h"
#include "model/memo_text.h"
#include "model/record_pass.h"
#include "platform/export/output_file.h"
#include "platform/qe/qe.h"
#include "platform/win/codepage_text.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Capture(const std::string& command, int* status = nullptr) { return program_run::Capture(command, status); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ExportLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vt_export_lib_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    // The fields stand on a Record line, the band every format exports here.
    doc_.m_pLayout = &layout_;
    layout_.Lines().lastUsed = 0;
    layout_.Lines().lines[0].kind = kBandRecord;
  }
  void TearDown() override { fs::remove_all(dir_); }

  FieldDef* Field(const char* name, uint32_t kind, uint32_t width) {
    fields_.push_back(std::make_unique<FieldDef>());
    FieldDef* f = fields_.back().get();
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->flags = kind | kFieldItem;
    f->head.flags = kItemKindField;
    f->displayWidth = width;
    return f;
  }

  // The export of the format: every field of the Record line goes out,
  // described by the format's own routine; none when the line is not one of
  // the exported band.
  ExportHost Host(int format, bool fieldsGoOut = true) {
    settings_.format = format;
    layout_.Lines().lines[0].kind = fieldsGoOut ? kBandRecord : kBandPageHeader;
    ExportHost h;
    h.settings = &settings_;
    h.doc = &doc_;
    return h;
  }

  std::string dir_;
  std::vector<std::unique_ptr<FieldDef>> fields_;
  KmDocBase doc_;
  LayoutTables layout_;
  CKmExport settings_;
};

// Separators, quotes, both kinds of line break and letters beyond ASCII come
// back exactly through Python's csv module, for every separator.
TEST_F(ExportLibraryTest, DelimitedTextRoundTripsThroughPythonCsv) {
  FieldDef* a = Field("a", 0, 20);
  FieldDef* b = Field("b", 0, 20);
  FieldDef* fields[] = {a, b, nullptr};
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"plain", "with, comma"},
      {"semi;colon", "tab\there"},
      {"quote \"inside\"", "line\r\nbreak\nand more"},
      {"caf\xE9 na\xEFve \x80", " leading and trailing "},
      {"", "\"\""}};
  struct Kind {
    int type;
    const char* sep;
    const char* py;
  } kinds[] = {{kFileTypeComma, ",", ","}, {kFileTypeTab, "\t", "\\t"}, {kFileTypeUserSeparator, ";", ";"}};
  for (const Kind& k : kinds) {
    auto lib = OpenExportLibrary(kExportDataFile);
    ASSERT_TRUE(lib && lib->TakesText());
    ExportJobRecord job;
    job.fileName = dir_ + "/out" + std::to_string(k.type) + ".txt";
    job.format = kExportDataFile;
    job.fileType = k.type;
    job.separator = k.sep;
    const ExportHost host = Host(kExportDataFile);
    ASSERT_EQ(lib->Begin(&job, fields, host), 1);
    for (const auto& r : rows) {
      job.status = kExportStatusLine;
      lib->FieldValue(&job, a, r.first.c_str(), "a", 0, host, true);
      lib->FieldValue(&job, b, r.second.c_str(), "b", 0, host, true);
    }
    lib->End(&job);
    ASSERT_NE(job.status, kExportStatusWriteError);
    int status = -1;
    const std::string got = Capture(
        "/usr/bin/python3 -c \"import csv,sys;r=list(csv.reader(open(sys.argv[1],encoding='cp1252',newline=''),"
        "delimiter='" + std::string(k.py) + "'));sys.stdout.buffer.write('\\x1e'.join('\\x1f'.join(x) for x in r)"
        ".encode('cp1252'))\" '" + job.fileName + "'",
        &status);
    ASSERT_EQ(status, 0) << got;
    std::string want;
    for (size_t i = 0; i < rows.size(); ++i) want += (i ? "\x1e" : "") + rows[i].first + "\x1f" + rows[i].second;
    EXPECT_EQ(got, want) << k.sep;
  }
}

// dBase III: a memo field is left out of the table (memo texts go to the
// delimited formats only), so no .DBT file is made; dbfread gives back
// texts, dates, logicals and numbers by kind.
TEST_F(ExportLibraryTest, XbaseTableLeavesMemosOutAndReadsBackThroughDbfread) {
  FieldDef* name = Field("name", 0, 12);
  FieldDef* memo = Field("memo", kFieldMemo, 10);
  FieldDef* price = Field("price", kFieldNumeric, 9);
  price->displayDecimals = 2;
  FieldDef* when = Field("when", kFieldDateTime, 20);
  FieldDef* flag = Field("flag", kFieldLogical, 1);
  FieldDef* fields[] = {name, memo, price, when, flag, nullptr};
  auto lib = OpenExportLibrary(kExportXbase);
  ExportJobRecord job;
  job.fileName = dir_ + "/table.dbf";
  job.format = kExportXbase;
  const ExportHost host = Host(kExportXbase);
  ASSERT_EQ(lib->Begin(&job, fields, host), 1);
  std::string longMemo;
  for (int i = 0; i < 120; ++i) longMemo += "line " + std::to_string(i) + " caf\xE9\r\n";
  uint8_t day[12] = {};
  DayNumber julian = 0;
  ASSERT_EQ(YMDToJulian(DateParts{2000, 1, 1, 0}, julian), 0);
  std::memcpy(day, &julian, 4);
  const double amount = 1299.5, blank = -1.7976931348623157e308;
  const uint8_t yes = 1;
  for (int row = 0; row < 2; ++row) {
    lib->FieldValue(&job, name, row ? "second" : "Malm\xF6", "name", 0, host, true);
    lib->FieldValue(&job, memo, row ? "" : longMemo.c_str(), "memo", 0, host, true);
    lib->FieldValue(&job, price, row ? &blank : &amount, "price", 0, host, true);
    lib->FieldValue(&job, when, day, "when", 0, host, true);
    lib->FieldValue(&job, flag, &yes, "flag", 0, host, true);
  }
  lib->End(&job);
  ASSERT_NE(job.status, kExportStatusWriteError);
  EXPECT_FALSE(fs::exists(dir_ + "/table.dbt"));
  int status = -1;
  const std::string out = Capture(
      "/usr/bin/python3 -c \"import dbfread,sys;t=dbfread.DBF(sys.argv[1],encoding='cp1252');"
      "print([(f.name,f.type,f.length,f.decimal_count) for f in t.fields]);"
      "[print(repr(r['name']),r.get('memo'),"
      "r['price'],r['flag'],r['when']) for r in t]\" '" + job.fileName + "'",
      &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("[('name', 'C', 12, 0), ('price', 'N', 9, 2), ('when', 'D', 8, 0), ('flag', 'L', 1, 0)]"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("'Malm\xC3\xB6' None 1299.5 True 2000-01-01"), std::string::npos) << out;
  EXPECT_NE(out.find("'second' None None True 2000-01-01"), std::string::npos) << out;
}

// A worksheet takes 8,191 rows below its field names; the next row is a
// write error in words that name the limit, and no file is left.
TEST_F(ExportLibraryTest, WorksheetRowLimitIsNamed) {
  FieldDef* qty = Field("qty", kFieldNumeric, 6);
  FieldDef* fields[] = {qty, nullptr};
  const ExportHost host = Host(kExportWorksheet);
  for (const int rows : {8191, 8192}) {
    auto lib = OpenExportLibrary(kExportWorksheet);
    ExportJobRecord job;
    job.fileName = dir_ + "/rows" + std::to_string(rows) + ".wks";
    job.format = kExportWorksheet;
    ASSERT_EQ(lib->Begin(&job, fields, host), 1);
    const double v = 2;
    for (int i = 0; i < rows && job.status != kExportStatusWriteError; ++i) {
      job.status = kExportStatusLine;
      lib->FieldValue(&job, qty, &v, "qty", 0, host, true);
    }
    lib->End(&job);
    if (rows == 8191) {
      EXPECT_NE(job.status, kExportStatusWriteError);
      EXPECT_TRUE(job.reason.empty());
      const std::string bytes = ReadFile(job.fileName);
      // The range record (after the 6-byte BOF) names row 8,191 as the last.
      ASSERT_GT(bytes.size(), 18u);
      EXPECT_EQ(static_cast<uint8_t>(bytes[16]) | static_cast<uint8_t>(bytes[17]) << 8, 8191);
    } else {
      EXPECT_EQ(job.status, kExportStatusWriteError);
      EXPECT_NE(job.reason.find("at most 8,191 rows"), std::string::npos) << job.reason;
      EXPECT_NE(job.reason.find(job.fileName), std::string::npos) << job.reason;
      EXPECT_FALSE(fs::exists(job.fileName));
    }
  }
}

// The begin call's answers, and nothing left behind by a job that could not
// start or did not finish; a file already there survives a failed export.
TEST_F(ExportLibraryTest, StatusCodesAndNothingLeftBehind) {
  FieldDef* a = Field("a", 0, 5);
  FieldDef* fields[] = {a, nullptr};
  ExportHost host = Host(kExportWordMerge, false);
  ExportJobRecord job;
  job.fileName = dir_ + "/x.csv";
  auto lib = OpenExportLibrary(kExportWordMerge);
  EXPECT_EQ(lib->Begin(&job, fields, host), 0);
  EXPECT_EQ(job.status, kExportStatusNoField);

  host = Host(kExportWordMerge);
  job.fileName = dir_ + "/no/such/folder/x.csv";
  EXPECT_EQ(lib->Begin(&job, fields, host), 0);
  EXPECT_EQ(job.status, kExportStatusCannotCreate);

  // A run that fails after the begin call: the old file is kept, no scratch file stays.
  const std::string old = dir_ + "/kept.csv";
  std::ofstream(old) << "old contents";
  job = ExportJobRecord();
  job.fileName = old;
  job.format = kExportWordMerge;
  ASSERT_EQ(lib->Begin(&job, fields, host), 1);
  lib->FieldValue(&job, a, "new", "a", 0, host, true);
  lib->Abort(&job);
  EXPECT_EQ(ReadFile(old), "old contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  for (int page : {kExportText, kExportRtf, kExportHtml, kExportViewer}) EXPECT_EQ(OpenExportLibrary(page), nullptr);
}

// The descriptors the libraries are handed, by kind and format.
TEST_F(ExportLibraryTest, DescriptorsFollowTheFieldKinds) {
  ExportFieldDescriptor d;
  FieldDef* stamp = Field("stamp", kFieldDateTime, 22);
  DescribeFieldXbase(stamp, &d);
  EXPECT_EQ(d.type, 'D');
  EXPECT_EQ(d.width, 8u);
  DescribeFieldWorksheet(stamp, &d);
  EXPECT_EQ(d.type, kDescDateTime);
  FieldDef* wrapped = Field("note", 0, 10);
  wrapped->formatCode = 0x140;
  wrapped->width = 200;
  DescribeFieldXbase(wrapped, &d);
  EXPECT_EQ(d.type, 'C');
  EXPECT_EQ(d.width, 200u);
  FieldDef* number = Field("n", kFieldNumeric, 8);
  number->displayDecimals = 2;
  struct {
    uint32_t style, code;
  } codes[] = {{1, 1}, {2, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}, {3, 0}};
  for (auto c : codes) {
    number->formatCode = c.style;
    DescribeFieldWorksheet(number, &d);
    EXPECT_EQ(d.worksheetCode, c.code) << c.style;
  }
  FieldDef* clock = Field("t", kFieldTime, 8);
  clock->timeFormat = 0x8000;
  DescribeFieldWorksheet(clock, &d);
  EXPECT_EQ(d.worksheetCode, 15u);
  KmDocBase doc;
  DescribeFieldDelimited(doc, number, &d);
  EXPECT_EQ(d.width, 10u);
  EXPECT_EQ(d.type, 'N');
  FieldDef* date = Field("d", kFieldDate, 8);
  const std::string before = doc.m_intl.sShortDate;
  DescribeFieldDelimited(doc, date, &d);
  EXPECT_EQ(d.width, 10u);  // 12/28/2000: the year in full
  EXPECT_EQ(before, doc.m_intl.sShortDate);
}

// The settings as the report keeps them, and the names an export gives.
TEST(ExportSettings, RecordsRoundTripAndNamesFollowTheFormat) {
  CKmExport e;
  e.format = kExportWordMerge;
  e.outputNames[kExportXbase] = "C:\\data\\out";
  e.outputNames[kExportWordMerge] = "merge";
  e.wordMergeType = kFileTypeUserSeparator;
  e.wordMergeSeparator = "|";
  e.wordMergeBand = 71;
  e.html.outputDirectory = "/srv/www/reports";
  e.html.fileName = "sales.htm";
  e.html.title = std::string(300, 't');  // a text past the one-byte length form
  e.html.imageFormat = 1;
  ReportSettings s;
  e.StoreTo(&s);
  CKmExport back;
  back.LoadFrom(s);
  EXPECT_EQ(back.format, kExportWordMerge);
  EXPECT_EQ(back.outputNames[kExportXbase], "C:\\data\\out");
  EXPECT_EQ(back.wordMergeType, kFileTypeUserSeparator);
  EXPECT_EQ(back.wordMergeSeparator, "|");
  EXPECT_EQ(back.wordMergeBand, 71);
  EXPECT_EQ(back.html.title, e.html.title);
  EXPECT_EQ(back.html.imageFormat, 1u);
  EXPECT_EQ(back.OutputPath(), "merge");

  // Cut-off or lying option bytes are refused, never read past.
  std::vector<uint8_t> bytes = EncodeHtmlOptions(kExportHtml, e.html);
  uint8_t f = 0;
  HtmlExportOptions h;
  for (size_t n = 0; n < bytes.size(); n += 7) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    EXPECT_FALSE(DecodeHtmlOptions(cut, &f, &h)) << n;
  }
  std::vector<uint8_t> lying = {kExportHtml, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_FALSE(DecodeHtmlOptions(lying, &f, &h));

  struct {
    int format, type;
    const char* path;
    const char* want;
  } names[] = {{kExportText, 1, "a", "a.TXT"},       {kExportXbase, 1, "dir.x/a", "dir.x/a.DBF"},
               {kExportWorksheet, 1, "a", "a.WKS"},  {kExportRtf, 1, "a", "a.RTF"},
               {kExportHtml, 1, "a", "a.HTM"},       {kExportViewer, 1, "a", "a.pdf"},
               {kExportDataFile, 1, "a", "a.CSV"},   {kExportDataFile, 3, "a", "a.SDF"},
               {kExportDataFile, 2, "a", "a.TXT"},   {kExportWordMerge, 1, "a", "a.CSV"},
               {kExportWordMerge, 4, "a", "a.TXT"},  {kExportDataFile, 3, "a.dat", "a.dat"}};
  for (auto n : names) {
    CKmExport x;
    x.format = static_cast<uint8_t>(n.format);
    x.dataFileType = x.wordMergeType = static_cast<uint8_t>(n.type);
    EXPECT_EQ(AddExportExtension(x, n.path), n.want) << n.format << " " << n.type;
  }

  HtmlExportOptions o;
  o.outputDirectory = "/srv/www/reports/";
  EXPECT_EQ(MakeExportFilePath(o, "Chart 1.png"), "/srv/www/reports/Chart 1.png");
  EXPECT_EQ(MakeRelativeUrl(o, MakeExportFilePath(o, "Chart 1.png")), "Chart%201.png");
  EXPECT_EQ(MakeRelativeUrl(o, "/srv/www/reports/img/a b.png"), "img/a%20b.png");
  EXPECT_EQ(MakeRelativeUrl(o, "/srv/www/other.png"), "file:///srv/www/other.png");
  HtmlExportOptions stored;
  stored.outputDirectory = "C:\\www\\reports";
  EXPECT_EQ(MakeExportFilePath(stored, "report.html"), "C:\\www\\reports\\report.html");
  EXPECT_EQ(FindImageFormatIndex("jpg"), 1);
  EXPECT_EQ(FindImageFormatIndex("GIF"), -1);
}

// Pages made into text, RTF and HTML: text in its place and order, what
// each format must escape escaped, one file per page with working links.
TEST(PageWriters, TextRtfAndHtmlKeepTheTextInOrder) {
  CapturedDocument doc;
  for (int p = 0; p < 2; ++p) {
    CapturedPage page;
    CapturedLine l1;
    l1.y = 0;
    l1.height = 120;
    l1.runs.push_back(CapturedRun{0, 300, "Left {brace}", "Arial", 100, true, false, false, 0});
    l1.runs.push_back(CapturedRun{720, 300, "caf\xE9 \\ <b>", "Arial", 100, false, true, false, 0});
    CapturedLine l2;
    l2.y = 360;  // two blank lines above it
    l2.height = 120;
    l2.runs.push_back(CapturedRun{72, 300, "Page " + std::to_string(p + 1), "Arial", 100, false, false, false, 0});
    page.lines = {l2, l1};  // out of order on purpose
    page.pictures.push_back(CapturedPicture{72, 400, 720, 360, "picture bytes", false});
    page.pictures.push_back(CapturedPicture{72, 800, 720, 360, "chart bytes", true});
    doc.pages.push_back(page);
  }
  const std::string text = WriteTextPages(doc, TextPageOptions());
  EXPECT_EQ(text,
            "Left {brace} caf\xE9 \\ <b>\r\n\r\n\r\n Page 1\r\n\fLeft {brace} caf\xE9 \\ <b>\r\n\r\n\r\n Page 2\r\n");
  const std::string rtf = WriteRtfPages(doc);
  EXPECT_NE(rtf.find("Left \\{brace\\}"), std::string::npos);
  EXPECT_NE(rtf.find("caf\\'e9 \\\\ <b>"), std::string::npos);
  EXPECT_NE(rtf.find("\\page"), std::string::npos);

  HtmlExportOptions o;
  o.outputDirectory = "/tmp/out";
  o.fileName = "r.htm";
  o.options = kHtmlPagePerPage;
  ExportFiles files = WriteHtmlPages(doc, o, "Report");
  ASSERT_EQ(files.size(), 6u);
  EXPECT_EQ(files[0].first, "/tmp/out/r.htm");
  EXPECT_EQ(files[1].first, "/tmp/out/r_2.htm");
  EXPECT_NE(files[0].second.find("caf\xC3\xA9 \\ &lt;b&gt;"), std::string::npos);
  EXPECT_NE(files[0].second.find("<a href=\"r_2.htm\">Next</a>"), std::string::npos);
  EXPECT_NE(files[1].second.find("<a href=\"r.htm\">Previous</a>"), std::string::npos);
  EXPECT_LT(files[0].second.find("Left"), files[0].second.find("Page 1"));
  // Pictures and charts are files beside the page, linked by relative
  // names; charts are named by the hash of "r.htm" and counted from 1 over
  // the export, their links percent-encoded.
  EXPECT_EQ(files[2].first, "/tmp/out/r_image0.png");
  EXPECT_EQ(files[2].second, "picture bytes");
  EXPECT_EQ(files[3].first, "/tmp/out/Chart 679d372f 1.png");
  EXPECT_EQ(files[3].second, "chart bytes");
  EXPECT_EQ(files[4].first, "/tmp/out/r_image1.png");
  EXPECT_EQ(files[5].first, "/tmp/out/Chart 679d372f 2.png");
  EXPECT_NE(files[0].second.find("<img src=\"r_image0.png\""), std::string::npos);
  EXPECT_NE(files[0].second.find("<img src=\"Chart%20679d372f%201.png\""), std::string::npos);
  EXPECT_NE(files[1].second.find("<img src=\"Chart%20679d372f%202.png\""), std::string::npos);
}

// Whether the bytes are well-formed UTF-8 throughout.
static bool WhollyUtf8(const std::string& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    uint32_t cp = 0;
    const int n = *p < 0x80 ? 1 : DecodeUtf8(p, end, &cp);
    if (n <= 0) return false;
    p += n;
  }
  return true;
}

// A page in one encoding, the one it declares: the code page's letters of
// the text and the faces, a title from a file name the code page cannot
// hold, and links that name their files as the system spells them.
TEST(PageWriters, HtmlIsUtf8ThroughoutWithTitleAndLinksSpeltAsTheSystemDoes) {
  CapturedDocument doc;
  CapturedPage page;
  CapturedLine line;
  line.height = 120;
  line.runs.push_back(CapturedRun{0, 300, "caf\xE9 \x80 Zo\xEB & M\xFCller", "Ar\xEF" "al", 100, false, false, false, 0});
  page.lines = {line};
  page.pictures.push_back(CapturedPicture{72, 400, 720, 360, "picture bytes", false});
  doc.pages.push_back(page);
  HtmlExportOptions o;
  o.outputDirectory = "/tmp/out";
  o.fileName = "Ventes \xE9t\xE9.htm";
  const ExportFiles files = WriteHtmlPages(doc, o, "Facture \xC3\xA9t\xC3\xA9 \xCE\xA9mega");
  ASSERT_EQ(files.size(), 2u);
  const std::string& html = files[0].second;
  EXPECT_TRUE(WhollyUtf8(html));
  EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(html.find("<title>Facture \xC3\xA9t\xC3\xA9 \xCE\xA9mega</title>"), std::string::npos) << html;
  EXPECT_NE(html.find("caf\xC3\xA9 \xE2\x82\xAC Zo\xC3\xAB &amp; M\xC3\xBCller"), std::string::npos) << html;
  EXPECT_NE(html.find("font-family:'Ar\xC3\xAF" "al'"), std::string::npos) << html;
  EXPECT_EQ(files[1].first, "/tmp/out/Ventes \xE9t\xE9_image0.png");
  EXPECT_NE(html.find("<img src=\"Ventes%20%C3%A9t%C3%A9_image0.png\""), std::string::npos) << html;

  // A title typed in the options is the code page's.
  o.title = "R\xE9sum\xE9";
  EXPECT_NE(WriteHtmlPages(doc, o, "Report")[0].second.find("<title>R\xC3\xA9sum\xC3\xA9</title>"), std::string::npos);
}

// A file size limit of 64 KB on the process, its signal ignored so that a
// write past it fails, until lifted (at the latest when it goes).
class SmallFileLimit {
 public:
  bool Set() {
    if (getrlimit(RLIMIT_FSIZE, &was_) != 0) return false;
    handler_ = std::signal(SIGXFSZ, SIG_IGN);
    set_ = true;
    struct rlimit small = was_;
    small.rlim_cur = 64 * 1024;
    return setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  void Lift() {
    if (!set_) return;
    set_ = false;
    setrlimit(RLIMIT_FSIZE, &was_);
    std::signal(SIGXFSZ, handler_);
  }
  ~SmallFileLimit() { Lift(); }

 private:
  struct rlimit was_ {};
  void (*handler_)(int) = SIG_DFL;
  bool set_ = false;
};

// A scratch file that cannot take the pages (here: a file size limit) loses
// none: the pages not written come back to memory, in their order, and no
// more move.
TEST(PageWriters, PagesTheScratchFileRefusesStayInMemory) {
  SmallFileLimit limit;
  ASSERT_TRUE(limit.Set());
  CapturedDocument doc;
  doc.spillPages = true;
  std::string expected;
  bool refused = false;
  for (int p = 0; p < 12; ++p) {
    CapturedPage page;
    CapturedLine l;
    l.height = 120;
    // Each page is larger than the file's buffer, so it reaches the file at once.
    l.runs.push_back(CapturedRun{0, 0, "Page " + std::to_string(p) + std::string((1 << 20) + 20000, 'x'), "Arial",
                                 100, false, false, false, 0});
    page.lines.push_back(l);
    if (doc.spillPages && !doc.SpillFinishedPages()) refused = true;
    doc.pages.push_back(page);
  }
  if (doc.spillPages && !doc.SpillFinishedPages()) refused = true;
  limit.Lift();
  EXPECT_TRUE(refused);
  EXPECT_FALSE(doc.spillPages);
  EXPECT_EQ(doc.PageCount(), 12u);
  std::vector<std::string> seen;
  EXPECT_TRUE(doc.ForEachPage([&](size_t i, const CapturedPage& page) {
    EXPECT_EQ(i, seen.size());
    seen.push_back(page.lines.at(0).runs.at(0).text.substr(0, 8));
    return true;
  }));
  ASSERT_EQ(seen.size(), 12u);
  for (int p = 0; p < 12; ++p)
    EXPECT_EQ(seen[static_cast<size_t>(p)], ("Page " + std::to_string(p) + "xxx").substr(0, 8)) << p;
}

// HTML places each run in points with one decimal, rounded as printf's
// "%.1f" rounds them (halves that binary holds exactly go to the even digit),
// and each run names its face even when faces alternate.
TEST(PageWriters, HtmlPositionsRoundAsPrintfDoes) {
  CapturedDocument doc;
  CapturedPage page;
  const double xs[] = {7,     12.5,   3.75,   0.5,    -0.4, 1234567.85, 1e20, 2.0 / 3.0, 1e-9, -2.5, -7.5,
                       5e-324, 9.99e15, 1e16, -1e-300, 2.5};
  const char* faces[] = {"Arial", "Times \"New\"", "Arial"};
  int i = 0;
  for (double x : xs) {
    CapturedLine l;
    l.y = 10.0 * i;
    l.runs.push_back(CapturedRun{x, 0, "t", faces[i % 3], 100, false, false, false, 0});
    page.lines.push_back(l);
    ++i;
  }
  doc.pages.push_back(page);
  HtmlExportOptions o;
  o.fileName = "r.htm";
  const std::string html = WriteHtmlPages(doc, o, "Report")[0].second;
  size_t at = 0;
  i = 0;
  for (double x : xs) {
    char want[512];
    std::snprintf(want, sizeof want, "left:%.1fpt;", x / 10.0);
    at = html.find(want, at);
    ASSERT_NE(at, std::string::npos) << want;
    const std::string face = i++ % 3 == 1 ? "font-family:'Times &quot;New&quot;'" : "font-family:'Arial'";
    at = html.find(face, at);
    ASSERT_NE(at, std::string::npos) << face;
  }
}

// Every byte in runs longer than a page's first room reads back whole from
// RTF and HTML, and positions that fall on a half round away from zero (as
// lround does) into text columns, RTF tab stops and paragraph spacing.
TEST(PageWriters, EveryByteAndHalfPositionComeOutWhole) {
  std::string all;
  for (int i = 0; i < 40; ++i)
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  CapturedDocument doc;
  CapturedPage page;
  CapturedLine big;
  big.height = 120;
  big.runs.push_back(CapturedRun{0, 0, all, "Arial", 100, false, false, false, 0});
  page.lines.push_back(big);
  // With the text at 0, cells are 72 decipoints and tab stops half-decipoints.
  const double xs[] = {36, 108, 0.25, 0.75, 180.5};
  for (int i = 0; i < 5; ++i) {
    CapturedLine l;
    l.y = 200.0 + 150.25 * i;
    l.height = 100;
    l.runs.push_back(CapturedRun{xs[i], 0, "r" + std::to_string(i), "Arial", 100, false, false, false, 0});
    page.lines.push_back(l);
  }
  doc.pages.push_back(page);

  const std::string rtf = WriteRtfPages(doc);
  const size_t open = rtf.find("\\fs20 ") + 6;
  std::string back;
  size_t i = open;
  for (; i < rtf.size() && rtf[i] != '}'; ++i) {
    if (rtf[i] != '\\') {
      back += rtf[i];
    } else if (rtf[i + 1] == '\'') {
      back += static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      back += rtf[++i];
    }
  }
  EXPECT_EQ(back, all);
  for (const char* want : {"\\sb160\\sa0\\tx72 ", "\\sb101\\sa0\\tx216 ", "\\sb101\\sa0\\tx1 ",
                           "\\sb101\\sa0\\tx2 ", "\\sb101\\sa0\\tx361 "})
    EXPECT_NE(rtf.find(want), std::string::npos) << want;

  HtmlExportOptions o;
  o.fileName = "r.htm";
  const std::string html = WriteHtmlPages(doc, o, "Report")[0].second;
  const size_t from = html.find("font-size:10.0pt\">") + 18;
  std::string text = html.substr(from, html.find("</span>", from) - from);
  for (const auto& [entity, c] : {std::pair<std::string, char>{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'},
                                  {"&amp;", '&'}})
    for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
      text.replace(at, entity.size(), 1, c);
  EXPECT_EQ(text, AnsiToUtf8(all)) << "every byte as its letter in UTF-8";

  // Text rows: blank space of half a row and a row and a half; a run that
  // would overwrite the one before follows it after a blank, and trailing
  // blanks go.
  CapturedDocument rows;
  rows.pages.emplace_back();
  auto line = [&](double y, std::vector<std::pair<double, std::string>> runs) {
    CapturedLine l;
    l.y = y;
    l.height = 120;
    for (auto& [x, t] : runs) l.runs.push_back(CapturedRun{x, 0, t, "Arial", 100, false, false, false, 0});
    rows.pages[0].lines.push_back(l);
  };
  line(0, {{0, "L"}});
  line(180, {{36, "r0"}});
  line(480, {{108, "r1"}});
  line(600, {{180.5, "r2"}});
  line(720, {{0, "abcdef"}, {72, "XY"}, {720, "  "}});
  EXPECT_EQ(WriteTextPages(rows, TextPageOptions()), "L\r\n\r\n r0\r\n\r\n\r\n  r1\r\n   r2\r\nabcdef XY\r\n");
}

// The records of a records-across row (and the columns of a page) are output
// one line each at the same height: text and RTF write them as one line, as
// the page shows them. A run the page shows apart from the one before keeps
// a blank from it where the character cells would join them; the pieces of
// one text (a change of font) stay together.
TEST(PageWriters, LinesSharingATopAreOneRow) {
  CapturedDocument doc;
  doc.pages.emplace_back();
  auto line = [&](double y, std::vector<std::pair<double, std::string>> runs, double width) {
    CapturedLine l;
    l.y = y;
    l.height = 120;
    for (auto& [x, t] : runs) l.runs.push_back(CapturedRun{x, width, t, "Arial", 100, false, false, false, 0});
    doc.pages[0].lines.push_back(l);
  };
  // Record 1 and record 2 of the first row, record 3 alone on the second.
  line(0, {{0, "101"}, {216, "5/30/23"}}, 150);
  line(0, {{2160, "102"}, {2376, "5/31/23"}}, 150);
  line(120, {{0, "103"}, {216, "6/01/23"}}, 150);
  line(240, {{0, "Bo"}, {100, "ld"}}, 100);
  line(360, {{0, "WW"}, {300, "ide"}}, 300);
  const std::string text = WriteTextPages(doc, TextPageOptions());
  EXPECT_EQ(text, "101 5/30/23" + std::string(19, ' ') + "102 5/31/23\r\n103 6/01/23\r\nBold\r\nWWide\r\n");

  const std::string rtf = WriteRtfPages(doc);
  size_t paragraphs = 0;
  for (size_t at = rtf.find("\\par\r\n"); at != std::string::npos; at = rtf.find("\\par\r\n", at + 1)) ++paragraphs;
  EXPECT_EQ(paragraphs, 4u) << rtf;
  const size_t firstEnd = rtf.find("\\par\r\n");
  EXPECT_LT(rtf.find("102"), firstEnd) << rtf;
  EXPECT_LT(rtf.find("101"), rtf.find("102")) << rtf;
}

// An export file larger than the pieces it is handed to the disk in keeps
// every byte in order, headers patched afterwards at the start included, and
// is in place only once committed.
TEST(ExportOutputFileTest, ALargeFileIsWholeWithItsPatchedHeader) {
  const std::string dir = ::testing::TempDir() + "vt_output_file_" + std::to_string(::getpid());
  fs::create_directories(dir);
  const std::string path = dir + "/big.out";
  std::string want;
  {
    ExportOutputFile out;
    ASSERT_TRUE(out.Open(path));
    ASSERT_TRUE(out.Write("HEAD----", 8));
    std::string piece(1 << 20, '\0');
    for (int i = 0; i < 40; ++i) {
      for (size_t j = 0; j < piece.size(); ++j) piece[j] = static_cast<char>('a' + (i + j / 4096) % 26);
      ASSERT_TRUE(out.Write(piece));
      want += piece;
    }
    ASSERT_TRUE(out.WriteAt(4, "1234", 4));
    ASSERT_TRUE(out.Write("tail", 4));
    EXPECT_FALSE(fs::exists(path));
    ASSERT_TRUE(out.Commit());
  }
  want = "HEAD1234" + want + "tail";
  const std::string got = ReadFile(path);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);

  // A file emptied to be written again holds only what came after; the old
  // one, held meanwhile, stays whole until the new one is complete, and
  // stays as it was when the new one is given up.
  for (bool commit : {false, true}) {
    ExportOutputFile out;
    uint32_t attributes = 0;
    ASSERT_TRUE(out.OpenLocked(path, &attributes));
    ASSERT_TRUE(out.Write(std::string(3 << 20, 'z')));
    ASSERT_TRUE(out.Rewind());
    ASSERT_TRUE(out.Write("again", 5));
    EXPECT_EQ(fs::file_size(path), want.size());
    if (commit) ASSERT_TRUE(out.Commit());
    else out.Discard();
  }
  EXPECT_EQ(ReadFile(path), "again");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

// A long document keeps one page in memory, the finished ones in the
// scratch file: text, RTF and HTML come out byte for byte as from pages all
// in memory, faces and the leftmost text found on spilled pages included.
TEST(PageWriters, SpilledPagesWriteTheSameBytes) {
  CapturedDocument whole, spilled;
  spilled.spillPages = true;
  for (int p = 0; p < 5; ++p) {
    CapturedPage page;
    for (int i = 0; i < 3; ++i) {
      CapturedLine l;
      l.y = 120.0 * i + (p == 2 ? 30 : 0);
      l.height = 120;
      l.band = p;
      l.layoutLine = i;
      // Only page 1 has text further left, only page 3 a face of its own.
      l.runs.push_back(CapturedRun{p == 1 && i == 0 ? 36.0 : 144.0, 300, "Row " + std::to_string(i) + " {\xE9}",
                                   p == 3 ? "Courier New" : "Arial", 100 + p, p == 4, i == 1, p == 0, 0x102030u});
      l.runs.push_back(CapturedRun{900, 0, "", "", 100, false, false, false, 0});
      page.lines.push_back(l);
    }
    if (p == 4) page.pictures.push_back(CapturedPicture{72, 400, 720, 360, std::string("pic\0ture", 8), false});
    whole.pages.push_back(page);
    // As the capture does when the next page begins.
    ASSERT_TRUE(spilled.SpillFinishedPages());
    spilled.pages.push_back(page);
  }
  EXPECT_EQ(spilled.pages.size(), 1u) << "one page in memory";
  EXPECT_EQ(spilled.PageCount(), 5u);
  EXPECT_EQ(spilled.LeftmostText(), 36.0);
  EXPECT_EQ(spilled.Faces(), whole.Faces());
  EXPECT_EQ(WriteTextPages(spilled, TextPageOptions()), WriteTextPages(whole, TextPageOptions()));
  EXPECT_EQ(WriteRtfPages(spilled), WriteRtfPages(whole));
  EXPECT_NE(WriteRtfPages(spilled).find("Courier New"), std::string::npos);
  for (uint32_t options : {0u, kHtmlPagePerPage}) {
    HtmlExportOptions o;
    o.outputDirectory = "/tmp/out";
    o.fileName = "r.htm";
    o.options = options;
    EXPECT_EQ(WriteHtmlPages(spilled, o, "Report"), WriteHtmlPages(whole, o, "Report")) << options;
  }
  // A visit that stops ends the walk there, and a sink that fails fails the writer.
  size_t visited = 0;
  EXPECT_FALSE(spilled.ForEachPage([&](size_t, const CapturedPage&) { return ++visited < 2; }));
  EXPECT_EQ(visited, 2u);
  EXPECT_FALSE(WriteTextPages(spilled, TextPageOptions(), [](const std::string&) { return false; }));
  EXPECT_FALSE(WriteRtfPages(spilled, [](const std::string&) { return false; }));

  // Pages spilled after a read-back still follow the earlier ones.
  CapturedPage sixth = whole.pages.back();
  sixth.lines[0].runs[0].text = "sixth";
  whole.pages.push_back(sixth);
  ASSERT_TRUE(spilled.SpillFinishedPages());
  spilled.pages.push_back(sixth);
  ASSERT_TRUE(spilled.SpillFinishedPages());
  EXPECT_EQ(spilled.PageCount(), 6u);
  EXPECT_EQ(WriteTextPages(spilled, TextPageOptions()), WriteTextPages(whole, TextPageOptions()));
}

// Pages for writing ahead: rows right of a margin in one face; what the
// case names changes on page `at`.
enum class Change { kNone, kFurtherLeft, kNewFace, kNewFaceNoText, kPicture, kTextFromPageTwo };
std::vector<CapturedPage> AheadPages(Change change, size_t at, size_t count) {
  std::vector<CapturedPage> pages;
  for (size_t p = 0; p < count; ++p) {
    CapturedPage page;
    for (int i = 0; i < 3; ++i) {
      CapturedLine l;
      l.y = 120.0 * i;
      l.height = 120;
      const bool here = p == at && i == 1;
      const double x = change == Change::kFurtherLeft && here ? 72 : 144 + 36 * i;
      std::string text = "Row " + std::to_string(p) + "." + std::to_string(i);
      if (change == Change::kTextFromPageTwo && p < 2) text.clear();
      l.runs.push_back(CapturedRun{x, 300, text, change == Change::kNewFace && here ? "Courier New" : "Arial", 100,
                                   i == 0, false, false, 0});
      if (change == Change::kNewFaceNoText && here)
        l.runs.push_back(CapturedRun{900, 0, "", "Symbol", 100, false, false, false, 0});
      page.lines.push_back(l);
    }
    if (change == Change::kPicture && p == at) page.pictures.push_back(CapturedPicture{72, 400, 720, 360, "pic", false});
    pages.push_back(page);
  }
  return pages;
}

// Written ahead as the run hands pages over, each export has the bytes of
// the whole document's writer: when no later page breaks what the earlier
// were written with without writing again, and after emptying the file
// and writing it whole when one does.
TEST(PageWriters, PagesWrittenAheadHaveTheWholeDocumentsBytes) {
  struct Case {
    Change change;
    size_t at;
    bool rewrites[3];  // text, RTF, HTML
  };
  const Case cases[] = {
      {Change::kNone, 0, {false, false, false}},
      {Change::kFurtherLeft, 3, {true, true, false}},
      {Change::kFurtherLeft, 0, {false, false, false}},  // the first page sets it
      {Change::kNewFace, 2, {false, true, false}},
      {Change::kNewFaceNoText, 4, {false, true, false}},
      {Change::kPicture, 1, {false, false, true}},
      {Change::kTextFromPageTwo, 0, {false, false, false}},
  };
  HtmlExportOptions o;
  o.outputDirectory = "/tmp/out";
  o.fileName = "r.htm";
  for (const Case& c : cases) {
    for (bool spill : {true, false}) {
      for (int format = 0; format < 3; ++format) {
        SCOPED_TRACE(testing::Message() << "change " << static_cast<int>(c.change) << " at " << c.at << " spill "
                                        << spill << " format " << format);
        const std::vector<CapturedPage> pages = AheadPages(c.change, c.at, 6);
        CapturedDocument whole, ahead;
        ahead.spillPages = spill;
        std::string got;
        int rewinds = 0;
        const ExportSink sink = [&got](const std::string& bytes) {
          got += bytes;
          return true;
        };
        ExportFiles files;
        const ExportFileSink file = [&files](const std::string& path, const std::string& bytes, bool) {
          files.emplace_back(path, bytes);
          return true;
        };
        std::unique_ptr<PageExportAhead> writer =
            format == 0 ? TextExportAhead(TextPageOptions(), sink)
                        : format == 1 ? RtfExportAhead(sink) : HtmlExportAhead(ahead, o, "Report", sink, file);
        ASSERT_TRUE(writer->Start(&ahead));
        for (const CapturedPage& page : pages) {
          whole.pages.push_back(page);
          if (ahead.spillPages) {
            ASSERT_TRUE(ahead.SpillFinishedPages());
          }
          ahead.pages.push_back(page);
        }
        ASSERT_TRUE(writer->Finish(&ahead, [&] {
          got.clear();
          files.clear();
          ++rewinds;
          return true;
        }));
        EXPECT_EQ(rewinds, c.rewrites[format] ? 1 : 0);
        if (format == 0) {
          EXPECT_EQ(got, WriteTextPages(whole, TextPageOptions()));
        } else if (format == 1) {
          EXPECT_EQ(got, WriteRtfPages(whole));
        } else {
          files.insert(files.begin(), {"", got});
          ExportFiles want = WriteHtmlPages(whole, o, "Report");
          want[0].first.clear();
          EXPECT_EQ(files, want);
        }
      }
    }
  }
}

// Writing ahead starts only before any page went to the scratch file; a
// document with no page, one that failed writing, and one whose scratch file
// refused pages still end as the whole writers end.
TEST(PageWriters, WritingAheadStartsFirstAndEndsLikeTheWholeWriter) {
  {
    CapturedDocument doc;
    doc.spillPages = true;
    std::string got;
    auto rtf = RtfExportAhead([&got](const std::string& bytes) {
      got += bytes;
      return true;
    });
    ASSERT_TRUE(rtf->Start(&doc));
    ASSERT_TRUE(rtf->Finish(&doc, [] { return false; }));
    EXPECT_EQ(got, WriteRtfPages(CapturedDocument()));
    // A report without pages is still a whole RTF document.
    EXPECT_EQ(got, "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Arial;}}\r\n}\r\n");

    doc.pages = AheadPages(Change::kNone, 0, 1);
    ASSERT_TRUE(doc.SpillFinishedPages());
    EXPECT_FALSE(TextExportAhead(TextPageOptions(), [](const std::string&) { return true; })->Start(&doc));
  }
  {
    // A sink that fails stops writing ahead, and the file cannot be emptied.
    CapturedDocument doc;
    doc.spillPages = true;
    int writes = 0;
    auto text = TextExportAhead(TextPageOptions(), [&writes](const std::string&) { return ++writes < 2; });
    ASSERT_TRUE(text->Start(&doc));
    for (const CapturedPage& page : AheadPages(Change::kNone, 0, 4)) {
      ASSERT_TRUE(doc.SpillFinishedPages());
      doc.pages.push_back(page);
    }
    EXPECT_FALSE(text->Finish(&doc, [] { return false; }));
    EXPECT_EQ(writes, 2);
  }
  {
    // Pages the scratch file refused come back and are given at the end, in order.
    SmallFileLimit limit;
    ASSERT_TRUE(limit.Set());
    CapturedDocument doc, whole;
    doc.spillPages = true;
    std::string got;
    auto text = TextExportAhead(TextPageOptions(), [&got](const std::string& bytes) {
      got += bytes;
      return true;
    });
    ASSERT_TRUE(text->Start(&doc));
    std::vector<CapturedPage> pages = AheadPages(Change::kNone, 0, 12);
    bool refused = false;
    for (CapturedPage& page : pages) {
      page.lines[0].runs[0].text += std::string((1 << 20) + 20000, 'x');  // past the file's buffer at once
      whole.pages.push_back(page);
      if (doc.spillPages && !doc.SpillFinishedPages()) refused = true;
      doc.pages.push_back(page);
    }
    // Handing the last page over waits for the first written, or for the failure.
    if (doc.spillPages && !doc.SpillFinishedPages()) refused = true;
    limit.Lift();
    EXPECT_TRUE(refused);
    ASSERT_TRUE(text->Finish(&doc, [] { return false; }));
    EXPECT_EQ(got, WriteTextPages(whole, TextPageOptions()));
  }
}

}  // namespace

namespace {

// The delimited formats take a memo whole, but no more than 10,989
// characters of it; a model that reads no memos leaves the value's text.
TEST(ExportMemo, AMemoIsGatheredWholeUpToItsLimit) {
  KmDocBase doc;
  CKmComposite model(&doc);
  FieldDef* f = model.AddField(kFieldMemo);
  std::string text;
  EXPECT_EQ(ReadMemoForExport(&model, f, &text), -1);
  // A long text column of 12,000 characters as its fetch brought it.
  FieldDef* column = model.AddField(0);
  column->table = 0;
  FieldBinding* b = GetFieldBinding(column, true);
  b->dbType = QE_DB_MEMO;
  std::string bytes(12000, 'm');
  bytes[0] = 'S';
  b->fetchSize = static_cast<uint32_t>(bytes.size() + 1);
  b->fetchBuffer = static_cast<uint8_t*>(std::calloc(b->fetchSize, 1));
  std::memcpy(b->fetchBuffer, bytes.data(), bytes.size());
  b->fetchedLength = static_cast<int32_t>(bytes.size());
  ASSERT_EQ(ReadMemoForExport(&model, column, &text), 1);
  EXPECT_EQ(text.size(), 10989u);
  EXPECT_EQ(text.front(), 'S');
  EXPECT_EQ(text.find_first_not_of('m', 1), std::string::npos);
  b->fetchBuffer[300] = 0;
  b->fetchedLength = 300;
  ASSERT_EQ(ReadMemoForExport(&model, column, &text), 1);
  EXPECT_EQ(text.size(), 300u);
  FreeFieldValueBuffer(column);
  delete column->dataBinding;
  column->dataBinding = nullptr;
}

}  // namespace
