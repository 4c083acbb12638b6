// Reading a memo's text into its field's 255-character window: line ends
// made word and paragraph breaks, inline style codes (<B>, \P12 and the like)
// applied to the characters that follow, and "\NAME" replaced by the value of
// that field. In double width every character carries its style byte and an
// attribute word (point size x 65536 + font index).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class CKmComposite;
struct FieldDef;
struct FormatSettings;

constexpr int kMemoWindow = 255;
constexpr uint32_t kMemoFromStart = 0xFFFFFFFFu;
// Style byte bits.
constexpr uint8_t kMemoBold = 1;
constexpr uint8_t kMemoItalic = 2;
constexpr uint8_t kMemoUnderline = 4;
constexpr uint8_t kMemoNormal = 8;
constexpr uint8_t kMemoDefault = 0x10;
constexpr char kMemoLineEnd = '\n';  // a paragraph break in the window

// Where the memo's bytes come from (a memo file or a text table's file).
class MemoByteSource {
 public:
  virtual ~MemoByteSource() = default;
  // Bytes read at the position: n, fewer at the end, -1 on error.
  virtual long ReadAt(uint64_t position, uint8_t* buffer, size_t n) = 0;
};

struct MemoReader {
  CKmComposite* model = nullptr;
  MemoByteSource* source = nullptr;
  uint64_t start = 0;
  uint64_t end = UINT64_MAX;  // unknown until reached
  bool textTable = false;     // a text table's file: OEM text unless ansi
  bool ansi = true;
  bool doubleWidth = false;
  bool previousValues = false;  // inserted fields show their previous values
  const FormatSettings* format = nullptr;
  // The document's font table and attribute call-back (both optional).
  int (*findFace)(void* doc, const char* face) = nullptr;
  void (*attributes)(void* doc, int32_t font, uint8_t style) = nullptr;
  void* doc = nullptr;
  int32_t defaultFont = 0;
  int32_t defaultSize = 100;  // tenths of a point
  uint8_t defaultStyle = kMemoDefault;

  // Reader state.
  uint64_t position = 0;
  int state = 0;
  bool closed = false;
  int32_t font = 0;
  int32_t size = 100;
  uint8_t style = kMemoDefault;
  bool inserting = false;
  bool atEnd = false;
  int32_t error = 0;  // 3121 when an inserted value could not be evaluated
  std::deque<std::pair<char, bool>> pending;  // read again first; true: text, never a code
  // The window.
  size_t length = 0;
  char text[kMemoWindow + 1] = {};
  uint8_t styles[kMemoWindow] = {};
  uint32_t attrs[kMemoWindow] = {};
  // Read-ahead block.
  uint8_t block[4096];
  uint64_t blockPosition = UINT64_MAX;
  size_t blockLength = 0;
};

// Reads up to count new characters into the window (kMemoFromStart: from the
// text's beginning, window cleared); the window is copied into the field's
// value buffer when field is given. 0, or 1 when the text cannot be read
// (or an inserted field could not be evaluated: error is then 3121).
int ReadMemoText(MemoReader& r, FieldDef* field, uint32_t count);
// The next character after line-end rules: kMemoLineEnd for a line end, 0 at
// the end, -1 on a read error.
int ReadMemoChar(MemoReader& r);
// The field a field code names: the whole name, then table.field; null
// when there is none.
FieldDef* LookUpFieldName(CKmComposite* model, const std::string& name);
// Applies one style code (without its brackets); 0 applied, 1 not a code.
int ApplyStyleCode(MemoReader& r, const std::string& code);
// The memo's whole text from its beginning, window after window, at most
// limit characters. 0, or 1 when a read failed: text then holds what was
// read before the failure.
int ReadWholeMemo(MemoReader& r, std::string* text, size_t limit);
// The same, with each character's style byte and attribute word (point size
// x 65536 + font index) as the memo's style codes left them.
int ReadWholeMemo(MemoReader& r, std::string* text, std::vector<uint8_t>* styles, std::vector<uint32_t>* attrs,
                  size_t limit);
