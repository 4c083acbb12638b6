// The report script reader: a small ini-like text (sections of keyword lines)
// that describes a report's page and record format, the fields, texts,
// calculations and totals on the lines of each band, sorting and grouping,
// and whether to preview or print once the report is built. The start file
// of the command line and the report wizard's answer are such scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class KmDocBase;
class CKmComposite;
struct FieldDef;
struct ReportItemHead;

// What the reader needs of the application around the document.
class ScriptHost {
 public:
  virtual ~ScriptHost() = default;
  // Applies the label stock of that key (sizes, margins, columns); false
  // when the key names no stock.
  virtual bool ApplyLabelStock(const char* key) = 0;
  // The preview's zoom level (0 to 2) for the next preview.
  virtual void SetPreviewZoom(int level) = 0;
  // Defines the text file as the report's master table; false when it
  // cannot serve as one.
  virtual bool DefineTextFileMaster(const char* path) = 0;
};

// Action flags of the script's Menu keyword.
constexpr int kScriptPreview = 1;
constexpr int kScriptPrint = 2;
// The longest line a script may hold (without its line end).
constexpr size_t kScriptLineMax = 298;

class ScriptReader {
 public:
  ScriptReader(KmDocBase& doc, ScriptHost& host);
  ScriptReader(const ScriptReader&) = delete;
  ScriptReader& operator=(const ScriptReader&) = delete;

  // Reads the script at path and builds its report in the document (whose
  // band lines the caller has emptied). 1 when the whole script was read;
  // 0 on failure: a message has been shown, except when the file cannot be
  // opened or holds no line at all.
  int Run(const char* path);
  // The Menu keyword's actions (kScriptPreview, kScriptPrint).
  int Actions() const { return actions_; }
  // The printer paper code PageSize chose (1 Letter, 5 Legal, 7 Executive,
  // 9 A4); 0 when the script named none.
  int PaperCode() const { return paperCode_; }
  int LineNumber() const { return lineNumber_; }

  // The steps, in the order Run takes them.
  bool Open(const char* path);
  enum LineResult { kLineRead, kLineEnd, kLineTooLong };
  // The next line that is neither empty nor a comment into line_.
  LineResult ReadLine();
  // The next comma-separated token of the value (quotes kept, leading
  // blanks skipped); false when the value has no more tokens.
  bool NextToken(std::string* token);
  bool BeginSection(const std::string& line);
  // 1 taken, 0 not a keyword line of the section (or its value refused),
  // -1 refused with its own message already shown.
  int DoKeyword(const std::string& line);
  FieldDef* FindField(const std::string& name) const;
  void ReportError(const char* lineText);

  struct ItemPrefix {
    std::string name;
    bool trim = false;        // T: the item follows the one before it
    int32_t position = 0;     // tenths of an inch; negative: relative
    int alignment = 0;
    uint8_t style = 0;
    bool ended = false;       // the value ended inside the prefix
  };
  // 1 read, 0 refused.
  int ParseItemPrefix(bool fieldName, int maxAlignment, ItemPrefix* out);
  struct TotalSpec {
    int kind = 0;
    FieldDef* source = nullptr;
    uint8_t reset = 0;
    uint8_t printWhen = 0;
    bool preprocessed = false;
  };
  int ParseTotalSpec(const std::string& text, bool charOnly, TotalSpec* out);
  // Puts the item on the current line at the prefix's position and moves
  // the current column past its text; 0 when the column is off the layout.
  int PlaceItem(ReportItemHead& head, const ItemPrefix& prefix, const std::string& text);

 private:
  int Keyword(int slot, const char* value);
  int SortOrGroup(const std::string& line);
  int BandItem(int slot);
  int FieldItem(int slot, const ItemPrefix& p);
  int TextItemKeyword(const ItemPrefix& p);
  int CalcItem(int slot, const ItemPrefix& p);
  bool CanPlaceItem() const;
  void ShiftItemsFrom(int line);

  KmDocBase& doc_;
  ScriptHost& host_;
  std::string text_;       // the whole file
  size_t pos_ = 0;
  bool ended_ = false;
  int lineNumber_ = 0;
  std::string line_;
  int section_ = -1;       // index into the section table
  int currentLine_ = -1;   // band line of the current band section
  int32_t column_ = 0;     // tenths of an inch after the last item placed
  int32_t pointSize_ = 0;  // tenths of a point; 0 the report font's
  bool itemPlaced_ = false;
  bool newPage_ = false;
  bool groupFieldSeen_ = false;
  int actions_ = 0;
  int paperCode_ = 0;
  // The value being taken apart.
  std::string value_;
  size_t tokenPos_ = 0;
  bool messageShown_ = false;
};
