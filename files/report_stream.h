// The report record stream: typed records (u16 type, u16 length, payload,
// little-endian) that hold a whole report definition. The wide form lives in
// a report file's Contents stream; the narrowed form is a library member.
// This header has the framing, the record-type codes, the byte sinks and
// sources of the two modes, bounds-checked payload builders and parsers, and
// the per-run state the report file object keeps for its writer and reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/library_file.h"

class KmDocBase;
struct FieldDef;

// ---- Record types
namespace rec {
constexpr uint16_t Header = 1, End = 2, MasterAlias = 4, OldDuplicate = 5, OldCalc = 6, OldItem7 = 7,
                   OldTable = 8, OldField = 9, LineKinds = 10, SortField = 11, GroupField = 12,
                   OldPageRange = 13, Output = 17, FilterCode = 18, OldText = 19, OldFormats = 20,
                   TextA = 21, TextB = 22, TextC = 23, MasterRelativePath = 30, SuppressLines = 31,
                   OldOutputBits = 32, LibrarySafe = 33, Page = 34, LineObject = 35, Ignored36 = 36,
                   LineFlags = 37, Paper = 40, OldMargins = 41, OldJoinField = 42, PageLayout = 48,
                   Copies = 49, LineTable = 51, MasterPath = 52, Refused54 = 54, OldSourceName = 58,
                   FieldListBegin = 59, FieldListEnd = 60, OldTotal = 61, ObjectFlags = 62,
                   PageRange = 63, OldPrinterText = 64, TextItem = 65, OldLineHeight = 67,
                   OutputBits = 68, Margins = 69, LineHeight = 70, FormatTexts = 75, FontName = 76,
                   Image = 77, Box = 78, DisplayFormats = 79, CompositeOption = 81,
                   OldSourceCounted = 82, Ignored83 = 83, OldDatabase = 84, OldJoinPair = 85,
                   SqlStatement = 86, ColumnHead = 87, LayoutUnits = 88, Export89 = 89,
                   PageLength = 90, TableName = 91, OldLong92 = 92, PageText = 93,
                   OldTotalCondition = 95, ReportType = 97, Comments = 98, ExpressionText = 99,
                   Export100 = 100, Export101 = 101, OldPageRange102 = 102, ExportDefinition = 103,
                   DatabaseName = 104, TablePlace = 105, OldLayout = 106, DataSourceEntry = 107,
                   QuoteChar = 108, Calc = 109, Total = 110, Table = 111, DbField = 113,
                   JoinField = 114, JoinPair = 115, Duplicate = 116, TotalCondition = 117,
                   DateTimeAnswer = 118, Export119 = 119, ExportOptions120 = 120,
                   ExportOptions121 = 121, FieldItem = 122, WideDuplicate = 123, WideCalc = 124,
                   WideTotal = 125, WideText = 126, WideBox = 127, WidePicture = 128,
                   WideDisplayFormats = 129, WideLineObject = 130, WideLineHeight = 131,
                   WideGroupField = 132, WideSortField = 133, WidePage = 134, WidePageLength = 135,
                   WideFilterCode = 136, ConnectUser = 138, Driver = 139, OldExport141 = 141,
                   Export142 = 142, HtmlOptions = 145, Chart = 146;
}  // namespace rec

constexpr uint16_t kStringRecordFlag = 0x4000;
constexpr uint16_t kGroupRecordFlag = 0x8000;
constexpr uint16_t kHighestRecordType = 146;
constexpr size_t kRecordBufferSize = 700;    // payload bound of every buffered type
constexpr size_t kSqlBufferSize = 10240;     // record 86, NUL included
constexpr size_t kRecordHeaderSize = 4;
// The item flags each record form stores: the kind and the fixed-position
// bit. Selection and holding bits are never stored, and the reader keeps no
// other bits than these.
constexpr uint32_t kWideHeadMask = 0x892;
constexpr uint32_t kNarrowFlagsMask = 0x92;
constexpr uint32_t kBoxFlagsMask = 0x142;
constexpr uint32_t kChartFlagsMask = 0x402;
constexpr uint8_t kStreamVersion = 8;
constexpr int kMaxUnknownTypes = 50;
constexpr int kMaxFontAtoms = 255;
constexpr int kMaxFontRecords = 256;
constexpr int kSortSlots = 8;

// Types whose payload is not bound by the 700-byte buffer.
bool IsLongRecordType(uint16_t number);
// Types written as string records (bit 14 in the wide form).
bool IsStringRecordType(uint16_t number);

enum class StreamMode { Storage, Library };

// ---- Where a written stream goes
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual StreamMode Mode() const = 0;
  // False on a write error (the library engine's error is left there).
  virtual bool Write(const void* data, size_t length) = 0;
  virtual bool Flush() { return true; }
  // The library engine's text for the last write error; null when none.
  virtual const char* ErrorText() { return nullptr; }
};

// StorageMode: the Contents stream's bytes in memory.
class MemoryRecordSink : public RecordSink {
 public:
  StreamMode Mode() const override { return StreamMode::Storage; }
  bool Write(const void* data, size_t length) override;
  std::vector<uint8_t> bytes;
  size_t limit = SIZE_MAX;  // tests: a write that would pass it fails
};

// LibraryMode: a member's block chain, from the engine's current cursor.
class LibraryRecordSink : public RecordSink {
 public:
  LibraryRecordSink(LibraryFile& lib, LibFileControlBlock* file) : lib_(lib), file_(file) {}
  StreamMode Mode() const override { return StreamMode::Library; }
  bool Write(const void* data, size_t length) override;
  bool Flush() override;
  const char* ErrorText() override { return lib_.LibErrorText(); }

 private:
  LibraryFile& lib_;
  LibFileControlBlock* file_;
};

// A narrowed stream kept in memory (the same bytes a library member holds).
class MemoryLibrarySink : public MemoryRecordSink {
 public:
  StreamMode Mode() const override { return StreamMode::Library; }
};

// ---- Where a stream is read from
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  virtual StreamMode Mode() const = 0;
  // Exactly length bytes, or false (short stream or engine error).
  virtual bool Read(void* data, size_t length) = 0;
  // Library error code pending after a failed read (0 none).
  virtual unsigned PendingLibraryError() const { return 0; }
};

class MemoryRecordSource : public RecordSource {
 public:
  MemoryRecordSource(const uint8_t* data, size_t size, StreamMode mode)
      : data_(data), size_(size), mode_(mode) {}
  StreamMode Mode() const override { return mode_; }
  bool Read(void* data, size_t length) override;
  size_t Position() const { return pos_; }  // the OLE items start here after record 2

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  StreamMode mode_;
};

class LibraryRecordSource : public RecordSource {
 public:
  LibraryRecordSource(LibraryFile& lib, LibFileControlBlock* file) : lib_(lib), file_(file) {}
  StreamMode Mode() const override { return StreamMode::Library; }
  bool Read(void* data, size_t length) override;
  unsigned PendingLibraryError() const override;

 private:
  LibraryFile& lib_;
  LibFileControlBlock* file_;
  unsigned error_ = 0;
};

// ---- Payload building (writer side). Narrowing of a value that does not fit
// sets the overflow flag; texts follow the mode's encoding.
class PayloadBuilder {
 public:
  PayloadBuilder(StreamMode mode, uint32_t* overflow) : mode_(mode), overflow_(overflow) {}
  void U8(uint32_t v);                 // no check: callers pass 8-bit values
  void U16(uint32_t v);                // no check
  void U32(uint32_t v);
  void Narrow8(uint32_t v);            // overflow when v > 255
  void Narrow16(uint32_t v);           // overflow when v > 65535
  void NarrowSigned16(int32_t v);      // overflow when negative or > 65535
  void Bytes(const void* p, size_t n);
  void TextNul(const char* s);         // characters and NUL in both forms
  void RawText(const char* s);         // characters only, both forms
  void Counted(const char* s);         // W: chars + NUL; N: u8 n + chars (n > 255: overflow)
  void Plain(const char* s);           // W: chars + NUL; N: chars only
  StreamMode Mode() const { return mode_; }
  bool Wide() const { return mode_ == StreamMode::Storage; }
  const std::vector<uint8_t>& Data() const { return data_; }
  size_t Size() const { return data_.size(); }

 private:
  StreamMode mode_;
  uint32_t* overflow_;
  std::vector<uint8_t> data_;
};

// ---- Payload parsing (reader side): every read is checked against the end
// of the record; a read past it marks the parser failed and yields zeros.
class PayloadParser {
 public:
  PayloadParser(const uint8_t* p, size_t n, StreamMode mode) : p_(p), n_(n), mode_(mode) {}
  uint32_t U8();
  uint32_t U16();
  uint32_t U32();
  // Texts are copied into std::string; a wide text needs its NUL inside the record.
  std::string TextNul();   // characters up to a NUL (both forms)
  std::string Counted();   // W: up to NUL; N: u8 n + n chars
  std::string Plain();     // W: up to NUL; N: to the end of the record
  std::string Rest();      // a text to the end of the record (cut at a NUL)
  std::vector<uint8_t> RestBytes();  // the bytes to the end of the record
  void Skip(size_t n);
  size_t Left() const { return ok_ ? n_ - pos_ : 0; }
  size_t Position() const { return pos_; }
  bool Ok() const { return ok_; }
  bool Wide() const { return mode_ == StreamMode::Storage; }

 private:
  bool Take(size_t n);
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  StreamMode mode_;
  bool ok_ = true;
};

// ---- Report values the stream carries that the model and the document do
// not hold; kept here between a read and the next write so they survive.
struct ExportTarget {
  bool set = false;
  uint8_t format = 0;
  uint8_t option = 0;
  std::string fileName;
};
struct ExportOptions {
  bool set = false;
  uint8_t format = 0;
  uint8_t options[3] = {};
  std::string exportText;
  std::string settingsText;
};
struct ExportDefinition {
  uint16_t value = 0;
  std::string name;
  std::string module;  // kept as data only; never loaded from a report
  std::vector<uint8_t> data;
};
struct TableSourceGroup {
  std::string driver;        // 139 (wide only)
  std::string connectUser;   // 138 (wide only)
  uint8_t quote = 0;         // 108
  bool entryForm = false;    // 107 instead of 91
  std::string sourceName;    // 91, or 107's entry name
  std::string databaseName;  // 107's database name
  uint16_t placeBits = 0;    // 105
};

struct ReportSettings {
  std::string comments;              // 98
  uint8_t compositeOption = 0;       // 81
  uint32_t markerChar = 183;         // 97
  TableSourceGroup sources[101];     // per table slot
  uint16_t dateTimeAnswer = 0xFFFF;  // 118 as written
  std::string sqlStatement;          // 86
  bool sqlReport = false;
  std::string databaseName;          // 104
  bool masterRelative = false;       // 30 instead of 52
  // Join records per related table: 114's master-side kind bits and name.
  uint32_t groupFields[kSortSlots] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                                      0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  uint8_t groupFlags[kSortSlots] = {};
  uint32_t sortFields[kSortSlots] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                                     0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  uint8_t sortWords[kSortSlots] = {};
  std::string printFileName;         // 17
  int32_t recordCopiesField = -1;    // 48 (a document word)
  uint16_t marginsWord = 10;         // 69's document word
  std::string labelStock;            // 93
  uint8_t measureUnit = 1;           // 90/135: 1 inches, else cm
  uint32_t pageLength = 0;           // 90/135
  uint32_t firstPage = 1, lastPage = 999999999;  // 63
  uint8_t textOption = 0;            // 21
  std::string shortTexts[3];         // 21, 22, 23
  uint8_t formatOptions[3] = {};     // 129/79
  std::string displayPictures[4];
  uint8_t formatOption = 0;
  uint32_t timePicture = 0;
  std::string formatTexts[3];        // 75
  uint16_t layoutUnits[2] = {100, 100};  // 88
  uint8_t layoutOptions[2] = {};
  ExportTarget targets89, targets101, targets100, targets119, targets142;
  std::vector<uint8_t> htmlOptions;  // 145, the archive as stored
  ExportOptions options121, options120;
  std::vector<ExportDefinition> exportDefinitions;  // 103
  std::vector<std::vector<uint8_t>> charts;         // 146: each chart's own data as stored
  // 146: the stored place words of each chart (top offset to the rectangle)
  // with the rectangle they gave, written again while the chart stays there.
  struct ChartPlace {
    int32_t rect[4] = {};
    uint8_t line = 0;
    std::vector<uint8_t> bytes;
  };
  std::vector<ChartPlace> chartPlaces;
  uint8_t oldLayout = 0;             // 106
  std::string oldPrinterText;        // 64
};

// What the reader and writer need from subsystems outside the stream; every
// entry has a harmless default so a stream can be read with no data source.
class StreamHooks {
 public:
  virtual ~StreamHooks() = default;
  // The data layer opens a table the stream names and lists its fields in
  // the model; false when it did not (the stream's fields are then taken as
  // stored). A table that cannot be opened is reported by the hook.
  virtual bool OpenTable(KmDocBase& /*doc*/, uint32_t /*slot*/) { return false; }
  // A table that could not be opened: the user may choose another; true
  // when the slot now names it (the reader then opens it).
  virtual bool ReselectTable(KmDocBase& /*doc*/, uint32_t /*slot*/) { return false; }
  // The data source a table's group names is checked (when both its driver
  // and its user text were stored) and connected and made current; false ends
  // the read with result 1. Called only for StorageMode reads that connect.
  virtual bool ConnectSource(KmDocBase& /*doc*/, const TableSourceGroup& /*group*/, bool /*check*/) {
    return true;
  }
  // The user is asked for a picture file that was not found (empty: none).
  virtual std::string AskForPictureFile(KmDocBase& /*doc*/, const std::string& /*stored*/) { return {}; }
  // The image of a picture whose file was settled is loaded and drawn.
  virtual void LoadPicture(KmDocBase& /*doc*/, struct PictureItem& /*picture*/) {}
  // DATETIME question (3334, Yes and No): true converts.
  virtual bool AskConvertDateTime(KmDocBase& doc);
  // kmw.ini [Database] DatetimeCompatibility: 0 convert, 1 as stored else ask,
  // 2 ask, 3 keep.
  virtual int DateTimeCompatibility(KmDocBase& doc);
  // Messages of the reader and writer, already formatted.
  virtual void ShowError(KmDocBase& doc, const std::string& text);
  virtual void ShowWarning(KmDocBase& doc, const std::string& text);
};
// The hooks in force: the state's own, else the defaults.
StreamHooks& HooksOf(struct RecordStreamState& st);

// ---- The per-run state of the report file object (writer and reader).
struct RecordStreamState {
  // Writer.
  uint32_t overflow = 0;        // set by a narrowing that lost bits
  uint8_t librarySafe = 1;      // record 33
  char platformText[8] = "Windows";
  int saved = 0;                // 1 after a successful storage write
  std::string writeError;       // the refused record's description
  // Reader.
  uint8_t version = 0;
  uint8_t headerByte1 = 0;
  int result = 0;
  uint16_t unknownTypes[kMaxUnknownTypes] = {};
  int unknownCount = 0;
  uint32_t dateTimeAnswer = 0xFFFFFFFFu;  // of this read
  uint32_t storedDateTimeAnswer = 0xFFFFFFFFu;
  int reading = 0;
  std::vector<std::string> fontAtoms;  // face names of the 76 records
  bool fontsApplied = false;
  uint32_t storedMarker = 183;
  uint8_t secondOutputMode = 0;
  uint8_t printOption2 = 0, printOption3 = 0;
  uint8_t olderUnits = 0;
  bool sawLayoutUnits = false;
  bool connect = false;  // StorageMode reads connect the named source
  // A data source the caller names for this read: it replaces the first
  // stored source and every later record naming that same source. Cleared at
  // the start of a read unless keepOverride is set.
  std::string overrideSource;
  bool keepOverride = false;
  // Where pictures are looked for: the folder of the report's base path and
  // the image folder of the file settings (either may be empty).
  std::string baseDirectory;
  std::string imageFolder;
  // The report file being read (its base name names its printer-font lists).
  std::string reportPath;
  bool modifiedByLoading = false;  // a picture was found elsewhere than stored
  // The user declined to choose again a table that could not be found: the
  // read ends, and the report does not open.
  bool tableDeclined = false;
  // What the stream carries beyond the model.
  ReportSettings settings;
  StreamHooks* hooks = nullptr;

  void ResetForRead();
  void NoteUnknownType(uint16_t word);
};

// Writes the open report. 0 success, 1 failure (LibraryMode shows 1150 or
// 735; a record the reader would refuse fails the write with its message).
int writeRep(KmDocBase& doc, RecordStreamState& st, RecordSink& sink);
// Reads a stream into the open document. 0 success, else the reader's result
// (-1 error reading, 3 library error, 4 bad header or refused type, 1 data
// source) after its message.
int ReadReportRecords(KmDocBase& doc, RecordStreamState& st, RecordSource& src);

// One record: header then payload. In LibraryMode a type or length above
// 65535 sets the overflow flag; in StorageMode it fails. 0 or 1.
int yxput(RecordStreamState& st, RecordSink& sink, uint32_t type, size_t length, const void* data);
struct PayloadPiece {
  size_t length;
  const void* data;
};
int yxMultiPut(RecordStreamState& st, RecordSink& sink, uint32_t type, const PayloadPiece* pieces);
