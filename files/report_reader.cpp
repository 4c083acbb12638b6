// The report reader: the record loop, the handlers of every record type, and
// the pass after the end record that re-links what refers to fields by
// number. Every payload is parsed through a bounds-checked parser, and every
// index taken from the stream is checked before use.
#include "files/report_reader.h"
#include "layout/character_mode.h"
#include "layout/object_shift.h"

#include "charts/chart.h"
#include "foundation/band_lines.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "foundation/doc_base.h"
#include "layout/page_setup.h"
#include "layout/picture_size.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "core/compiled_code.h"
#include "core/condition_code.h"
#include "core/engine_errors.h"
#include "data/data_access.h"
#include "data/open_tables.h"
#include "data/expr_to_sql.h"
#include "data/master_joins.h"
#include "expr/compiler.h"
#include "model/calc_fields.h"
#include "model/field_dependencies.h"
#include "model/group_levels.h"
#include "foundation/heap_strings.h"
#include "foundation/page_metrics.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"
#include "data/placeholder_field.h"
#include "data/report_dictionary.h"
#include "data/reportview.h"
#include "data/user_statement.h"
#include "model/reselect_tables.h"
#include "platform/win/fileio.h"
#include "platform/win/wsprintf.h"

namespace {

constexpr uint32_t kStoredFlagsMask = 0x3ABCF;
constexpr int kReadError = -1;
constexpr int kReadDataSource = 1;
constexpr int kReadLibraryError = 3;
constexpr int kReadRefused = 4;
constexpr int kReadStop = 1000;  // internal: the end record was handled
// Positions, sizes and point sizes from a file are held to what a page can
// hold, so no later sum or scaling of them overflows; the next save writes
// the held value.
constexpr uint32_t kMaxStoredPosition = 1u << 20;
constexpr uint32_t kMaxStoredPointSize = 1638;
int32_t HeldPosition(uint32_t v) { return static_cast<int32_t>(v < kMaxStoredPosition ? v : kMaxStoredPosition); }
int32_t HeldPointSize(uint32_t v) { return static_cast<int32_t>(v < kMaxStoredPointSize ? v : kMaxStoredPointSize); }
// Field numbers from here up name the program's own fields in a filter.
constexpr uint32_t kProgramFieldFloor = 0xFFFFFF00u;

char* HeapText(const std::string& s) {
  char* p = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(s.size() + 1)));
  if (p != nullptr) std::memcpy(p, s.data(), s.size());
  return p;
}

// What the reader keeps about an item until the lines are known.
using PendingPlace = BandOffsetPlace;

struct PendingJoin {
  bool have = false;
  std::string parentName;
  int parentTable = -1;  // stored table number of the parent side
  std::string keyName;
  // The stored kind bits of the linking fields: a field that is no longer in
  // its table is stood in for with its kind. The narrowed form gives no
  // parent kind; the two sides of a link are of one kind.
  uint32_t parentKind = 0;
  bool haveParentKind = false;
  uint32_t keyKind = 0;
  struct Pair {
    int table;
    uint32_t kind;
    std::string first, second;
  };
  std::vector<Pair> more;
};

class Reader {
 public:
  Reader(KmDocBase& doc, RecordStreamState& st, RecordSource& src)
      : doc_(doc), st_(st), src_(src), wide_(src.Mode() == StreamMode::Storage), m_(doc.m_pModel),
        s_(st.settings), hooks_(HooksOf(st)) {
    std::fill(std::begin(storedSlot_), std::end(storedSlot_), -1);
  }
  int Run();

 private:
  int Fail(int result) {
    if (result == kReadError) {
      unsigned lib = src_.PendingLibraryError();
      if (lib != 0) return kReadLibraryError;
      hooks_.ShowError(doc_, failText_.empty() ? std::string(GetResString(726, 0)) : failText_);
    }
    return result;
  }
  // An item whose kind bits disagree with the record it came in fails the
  // read, naming the item: its head would otherwise be taken for a record
  // of another size.
  int CheckKind(uint32_t flags, std::initializer_list<ItemShape> allowed, const std::string& item) {
    const ItemShape got = ShapeOfFlags(flags);
    for (ItemShape a : allowed)
      if (got == a) return 0;
    const std::string name = ItemShapeName(got);
    const std::string shown = (std::strchr("aeiouAEIOU", name[0]) != nullptr ? "an " : "a ") + name;
    char text[600];
    std::snprintf(text, sizeof text, GetResString(62310, 0), item.c_str(), shown.c_str());
    failText_ = text;
    return kReadError;
  }
  std::string Numbered(ItemShape shape, int number) {
    return std::string(ItemShapeName(shape)) + " " + std::to_string(number);
  }
  int Dispatch(uint16_t word, uint16_t number, const uint8_t* p, size_t n);
  int FieldRecord(uint16_t number, PayloadParser& r);
  int NarrowItemTail(uint16_t number, PayloadParser& r);
  FieldDef* NewField(uint32_t storedFlags, uint32_t fileId, bool evaluation, const std::string& name);
  void ReadWideHead(PayloadParser& r, ReportItemHead& h, uint32_t* columns);
  void ReadWideBody(PayloadParser& r, FieldDef* f, uint32_t* fileId, uint32_t* flags);
  void Descriptor(PayloadParser& r, FieldDef& tmp, uint32_t* fileId, uint32_t* flags, bool older);
  int Table(PayloadParser& r);
  int PageRecord(uint16_t number, PayloadParser& r, size_t n);
  int ItemRecord(uint16_t number, PayloadParser& r, const uint8_t* p);
  void ApplyFonts();
  int EndRecord();
  template <class Map>
  bool RemapFilterCode(uint8_t* code, size_t length, Map map);
  uint8_t MapTable(uint32_t stored) {
    int s = TableSlotFromOrdinal(storedSlot_, static_cast<int>(stored));
    return s < 0 ? kTableNone : static_cast<uint8_t>(s);
  }
  // The database the report was made on is made current at once on the
  // source this read connected, so its tables are found there.
  void UseReportDatabase() {
    DataAccess* data = GetDataAccess(m_);
    if (sourceConnected_ && data->Current() != nullptr) data->SwitchDatabase(s_.databaseName.c_str());
  }
  bool sourceConnected_ = false;  // this read connected the source now current
  // The user chose the data source now current for the master: the report
  // names it from here on, and the stored database was the old source's.
  void TookAnotherSource() {
    const char* name = GetDataAccess(m_)->GetCurrentDataSourceName();
    s_.sources[0].sourceName = name != nullptr ? name : "";
    s_.databaseName.clear();
    sourceConnected_ = false;
    st_.modifiedByLoading = true;
  }
  std::string failText_;  // the reason a failed read gives, when it has its own

  // The stored statement read as a typed one is, by the data source now
  // current: what it sends (a REPORTVIEW's SELECT, an exec's call) and its
  // result's names; one that would change the data never reaches the
  // source. False with the reason kept.
  bool ReadStoredStatement() {
    DataAccess* data = GetDataAccess(m_);
    if (m_->statementText == nullptr || m_->statementText[0] == 0 || data->Current() == nullptr) return true;
    uint32_t position = 0;
    const int rc = ParseReportViewStatement(m_, m_->statementText, &position, data->UsePassExec() != 0);
    if (rc == 0) return true;
    failText_ = rc == kEngineChangingStatement ? m_->statementRefusal
                                               : std::string(GetResString(EngineErrorStringId(rc), 0));
    return false;
  }
  PageSetupRec& Page() { return doc_.m_pPageSetup != nullptr ? *doc_.m_pPageSetup : spare_; }
  BandLineRec* Line(uint32_t i) {
    BandLineTable& t = doc_.m_bandLines;
    if (t.lines == nullptr || i >= static_cast<uint32_t>(kBandLineCount)) return nullptr;
    return &t.lines[i];
  }
  // A picture's file: next to the report (unless stored with a folder), where
  // it was, in the image folder, else where the user says. A file found
  // elsewhere than stored replaces the stored path. located: false when the
  // user let it go (it keeps its stored path and no image).
  std::string FindPicture(const std::string& stored, bool hasFolder, bool* located) {
    *located = true;
    const size_t cut = stored.find_last_of("\\/:");
    const std::string name = cut == std::string::npos ? stored : stored.substr(cut + 1);
    auto exists = [](const std::string& p) { return !p.empty() && AccessPath(p.c_str(), 0) == 0; };
    std::string found;
    // Joined in the folder's own form, so that the file beside the report is
    // told as the same file when that is where it was stored.
    auto in = [&](const std::string& folder) { return folder.empty() ? std::string() : JoinDirAndFile(name, folder); };
    if (!hasFolder && exists(in(st_.baseDirectory)))
      found = in(st_.baseDirectory);
    else if (exists(stored))
      return stored;
    else if (exists(in(st_.imageFolder)))
      found = in(st_.imageFolder);
    else
      found = hooks_.AskForPictureFile(doc_, stored);
    if (found.empty()) *located = false;
    if (found.empty() || NativePath(found) == NativePath(stored)) return stored;
    st_.modifiedByLoading = true;
    return found;
  }
  // The name a data-source record gives, after the caller's override.
  std::string Source(const std::string& stored) {
    if (st_.overrideSource.empty()) return stored;
    if (!overridden_) {
      overridden_ = true;
      overriddenName_ = stored;
      return st_.overrideSource;
    }
    return stored == overriddenName_ ? st_.overrideSource : stored;
  }
  // The group read before a table becomes that table's; its source is connected.
  bool TakeSourceGroup(uint32_t slot) {
    s_.sources[slot] = s_.sources[kMaxTables];
    s_.sources[kMaxTables] = TableSourceGroup();
    if (!wide_ || !st_.connect) return true;
    const TableSourceGroup& g = s_.sources[slot];
    if (!hooks_.ConnectSource(doc_, g, !g.driver.empty() && !g.connectUser.empty())) {
      // A source that is gone (renamed, removed): the master's may be replaced.
      if (slot != 0 || !hooks_.AskAnotherDataSource(doc_)) return false;
      TookAnotherSource();
      return true;
    }
    sourceConnected_ = true;
    if (slot == 0) UseReportDatabase();
    return true;
  }
  std::string Fix(std::string s) {  // the stored marker character becomes the current one
    if (st_.storedMarker != static_cast<uint32_t>(m_->SpaceDotChar))
      for (char& c : s)
        if (static_cast<uint8_t>(c) == (st_.storedMarker & 0xFF)) c = static_cast<char>(m_->SpaceDotChar);
    return s;
  }
  std::string Oem(std::string s) {  // names of reports before version 7 are OEM text
    if (st_.version < 7 && !s.empty()) OemTextToAnsi(&s[0], s.size(), ' ');
    return s;
  }

  KmDocBase& doc_;
  RecordStreamState& st_;
  RecordSource& src_;
  bool wide_;
  CKmComposite* m_;
  ReportSettings& s_;
  StreamHooks& hooks_;
  PageSetupRec spare_{};

  int storedSlot_[kMaxTables];
  bool fromData_[kMaxTables] = {};
  int currentSlot_ = 0;
  int tablesRead_ = 0;
  bool inDerivedList_ = false;
  bool textTableOpen_ = false;  // the derived list names the sections of a text table
  void OpenStoredTextTable(const std::string& name, const std::string& file);
  std::map<FieldDef*, uint32_t> fileIds_;
  std::vector<FieldDef*> readOrder_;
  // The item the following 62, 87 and 99 apply to.
  ReportItemHead* curHead_ = nullptr;
  FieldDef* curField_ = nullptr;
  bool curExpectFlags_ = false;
  bool curExpectColumn_ = false;
  std::vector<PendingPlace> places_;
  std::map<ReportItemHead*, uint8_t> fontSaved_;
  bool pendingCondition_ = false;
  std::string conditionText_;
  PendingJoin joins_[kMaxTables];
  PendingJoin nextJoin_;
  uint32_t storedRecordCopiesField_ = 0xFFFF;
  bool sawRecordCopies_ = false;
  uint8_t storedUnit_ = 1;
  bool sawUnit_ = false;
  bool overridden_ = false;
  std::string overriddenName_;
};

// ---- Fields

FieldDef* Reader::NewField(uint32_t storedFlags, uint32_t fileId, bool evaluation, const std::string& name) {
  const uint32_t flags = (storedFlags ^ kFieldNeeded) & kStoredFlagsMask;
  FieldDef* f = nullptr;
  bool fromColumn = false;
  const int slot = inDerivedList_ ? -1 : currentSlot_;
  if (!evaluation && inDerivedList_ && textTableOpen_) {
    // A stored section must still be in the text file.
    for (FieldDef* g = m_->fieldList; g && f == nullptr; g = g->next)
      if (g->table == kTableDerivedColumn && (g->flags & kFieldMemo) && !fileIds_.count(g) &&
          strcasecmp(g->name, name.c_str()) == 0)
        f = g;
    if (f == nullptr) {
      char text[600];
      std::snprintf(text, sizeof text, GetResString(731, 0), GetResString(static_cast<UINT>(ObjectKindCode(flags)), 1),
                    name.c_str(), TextTablePath(m_));
      hooks_.ShowWarning(doc_, text);
      return nullptr;
    }
    fromColumn = true;
  } else if (!evaluation && slot >= 0 && slot < kMaxTables && fromData_[slot]) {
    // The data layer listed the table's columns: the stored field must be one of them.
    const bool calc = (flags & kFieldCalculation) != 0;
    const uint32_t kindMask = calc ? 0x3230C : 0x32304;
    for (FieldDef* g = m_->fieldList; g; g = g->next) {
      if ((g->flags & kFieldAlias) || fileIds_.count(g)) continue;
      if (!calc && g->table != slot) continue;
      if (strcasecmp(g->name, name.c_str()) != 0) continue;
      const uint32_t have = g->flags & kindMask, want = flags & kindMask;
      const bool dateMeetsDateTime = want == kFieldDate && have == kFieldDateTime;
      if (have != want && !dateMeetsDateTime) continue;
      if (dateMeetsDateTime) {
        if (st_.dateTimeAnswer == 0xFFFFFFFFu) {
          // Decided once per read.
          const int rule = hooks_.DateTimeCompatibility(doc_);
          if (rule == 3 || rule == 0)
            st_.dateTimeAnswer = static_cast<uint32_t>(rule);
          else if (rule == 1 && st_.storedDateTimeAnswer != 0xFFFFFFFFu)
            st_.dateTimeAnswer = st_.storedDateTimeAnswer;
          else
            st_.dateTimeAnswer = hooks_.AskConvertDateTime(doc_) ? 0 : 3;
          s_.dateTimeAnswer = static_cast<uint16_t>(st_.dateTimeAnswer);
        }
        if (st_.dateTimeAnswer == 0) m_->NormalizeDateKind(g);
      }
      f = g;
      fromColumn = true;
      break;
    }
    if (f == nullptr) {
      const TableSlot* t = m_->tableSlots[slot];
      hooks_.ShowWarning(doc_, FieldGoneFromTableText(flags, name.c_str(), t != nullptr ? t->path : "").c_str());
      return nullptr;
    }
  } else {
    f = m_->AddField(flags);
    if (f == nullptr) return nullptr;
    CopyBounded(f->name, sizeof f->name, name.c_str());
    f->table = inDerivedList_ ? kTableDerivedColumn : static_cast<uint8_t>(std::max(currentSlot_, 0));
  }
  // A column listed by the data layer keeps the kind it has there.
  f->flags = fromColumn ? (flags & ~kFieldKindMask) | (f->flags & kFieldKindMask) : flags;
  fileIds_[f] = fileId;
  readOrder_.push_back(f);
  return f;
}

void Reader::ReadWideHead(PayloadParser& r, ReportItemHead& h, uint32_t* columns) {
  r.U16();  // 31
  h.flags = r.U32() & kWideHeadMask;
  h.pointSize = HeldPointSize(r.U32());
  h.measuredWidth = HeldPosition(r.U32());
  h.left = HeldPosition(r.U32());
  const int32_t width = HeldPosition(r.U32());
  h.right = h.left + width - 1;
  const uint32_t baseline = r.U32();
  const uint8_t font = static_cast<uint8_t>(r.U8());
  h.colour = static_cast<uint8_t>(r.U8());
  h.bandLine = static_cast<uint8_t>(r.U8());
  *columns = r.U8();
  h.fontStyle = static_cast<uint8_t>(r.U8());
  places_.push_back({&h, HeldPosition(baseline), false, 0});
  fontSaved_[&h] = font;
}

void Reader::ReadWideBody(PayloadParser& r, FieldDef* f, uint32_t* fileId, uint32_t* flags) {
  r.U16();  // 32
  *fileId = r.U32();
  *flags = r.U32();
  f->flags2 = r.U32();
  f->flags3word = r.U32();
  f->formatCode = r.U32();
  f->timeFormat = r.U32();
  f->displayWidth = r.U32();
  f->totalFlags = static_cast<uint8_t>(r.U8());
  f->displayDecimals = static_cast<uint8_t>(r.U8());
}

void Reader::Descriptor(PayloadParser& r, FieldDef& t, uint32_t* fileId, uint32_t* flags, bool older) {
  if (older) {
    *fileId = r.U16();
    *flags = r.U16();
    t.totalFlags = static_cast<uint8_t>(r.U8());
    r.U8();
    t.formatCode = r.U16();
  } else {
    *fileId = r.U16();
    *flags = r.U32();
    t.totalFlags = static_cast<uint8_t>(r.U16());
    t.formatCode = r.U16();
  }
  t.head.bandLine = static_cast<uint8_t>(r.U8());
  t.head.column = static_cast<int32_t>(r.U8());
  uint8_t style = static_cast<uint8_t>(r.U8());
  // Streams before 7 (and 7 without its second header byte) kept the three
  // style bits in another order.
  if (st_.version < 7 || (st_.version == 7 && st_.headerByte1 == 0))
    style = static_cast<uint8_t>((style & 248) | GetBandFlagMask(style));
  // Before version 4 the style byte also carried the font (bits 3-6, less 1).
  if (st_.version < 4) style &= 0x7F;
  if (st_.version < 4 && (style & 0x78) != 0) {
    t.head.fontIndex = ((style >> 3) & 0x0F) - 1;
    style &= 0x07;
  }
  t.head.fontStyle = style;
  t.displayWidth = r.U8();
  t.displayDecimals = static_cast<uint8_t>(r.U8());
}

// Copies what a record read into a temporary onto the model's field.
void TakeValues(FieldDef* f, const FieldDef& t) {
  f->head.bandLine = t.head.bandLine;
  f->head.column = t.head.column;
  f->head.fontStyle = t.head.fontStyle;
  f->head.fontIndex = t.head.fontIndex;
  f->head.flags = t.head.flags;
  f->head.pointSize = t.head.pointSize;
  f->head.measuredWidth = t.head.measuredWidth;
  f->head.left = t.head.left;
  f->head.right = t.head.right;
  f->head.colour = t.head.colour;
  f->head.width = t.head.width;
  f->flags2 = t.flags2;
  f->flags3word = t.flags3word;
  f->formatCode = t.formatCode;
  f->timeFormat = t.timeFormat;
  f->displayWidth = t.displayWidth;
  f->totalFlags = t.totalFlags;
  f->displayDecimals = t.displayDecimals;
  // A character field stored with the old picture code takes the current one.
  if ((f->flags & 0x30304) == 0 && (f->formatCode & 0xFF0) == 64) f->formatCode = 320;
}

int Reader::FieldRecord(uint16_t number, PayloadParser& r) {
  const uint16_t plain = number & 0x7FFF;
  FieldDef t;
  uint32_t fileId = 0, flags = 0, columns = 0;
  std::string name, expr, second, cond;
  uint32_t sindex = kNoField;
  bool eval = false;
  uint8_t table = 0;
  bool haveTable = false;
  const bool wideRecord = plain >= rec::FieldItem && plain <= rec::WideTotal;
  if (wideRecord) {
    ReadWideHead(r, t.head, &columns);
    t.head.width = static_cast<uint8_t>(columns);
    ReadWideBody(r, &t, &fileId, &flags);
    switch (plain) {
      case rec::FieldItem:
        name = r.TextNul();
        break;
      case rec::WideDuplicate:
        sindex = r.U32();
        eval = true;
        break;
      case rec::WideCalc:
        table = static_cast<uint8_t>(r.U8());
        haveTable = true;
        name = r.TextNul();
        expr = r.TextNul();
        second = r.TextNul();
        eval = true;
        break;
      default:  // 125
        sindex = r.U32();
        t.totalFunction = static_cast<uint8_t>(r.U8());
        t.totalLevel = static_cast<uint8_t>(r.U8());
        t.totalReset = static_cast<uint8_t>(r.U8());
        r.U32();  // condition word
        cond = r.Counted();
        name = r.Counted();
        expr = r.TextNul();
        eval = true;
        break;
    }
  } else {
    const bool older = plain == rec::OldDuplicate || plain == rec::OldCalc || plain == rec::OldField ||
                       plain == rec::OldTotal;
    Descriptor(r, t, &fileId, &flags, older);
    switch (plain) {
      case rec::DbField: case rec::OldField:
        name = r.Rest();
        break;
      case rec::Duplicate: case rec::OldDuplicate:
        sindex = r.U16();
        eval = true;
        break;
      case rec::Calc: case rec::OldCalc:
        table = static_cast<uint8_t>(r.U8());
        haveTable = true;
        name = r.Counted();
        second = r.Rest();
        eval = true;
        break;
      default:  // 110, 61
        sindex = r.U16();
        t.totalFunction = static_cast<uint8_t>(r.U8());
        t.totalLevel = static_cast<uint8_t>(r.U8());
        t.totalReset = static_cast<uint8_t>(r.U8());
        name = r.Rest();
        eval = true;
        if (pendingCondition_) cond = conditionText_;
        pendingCondition_ = false;
        break;
    }
    t.head.width = static_cast<uint8_t>(t.displayWidth);
  }
  if (!r.Ok()) return kReadError;
  if (plain == rec::Duplicate || plain == rec::WideDuplicate || plain == rec::OldDuplicate) flags |= kFieldAlias;
  name = Oem(name);
  // A field not placed on the layout carries no kind bit.
  if (wideRecord && CheckKind(t.head.flags, {ItemShape::Field, ItemShape::Text},
                              name.empty() ? Numbered(ItemShape::Field, static_cast<int>(readOrder_.size()) + 1)
                                           : "field '" + name + "'") != 0) {
    for (auto& pl : places_)
      if (pl.head == &t.head) pl.head = nullptr;
    fontSaved_.erase(&t.head);
    return kReadError;
  }
  FieldDef* f = NewField(flags, fileId, eval, name);
  curField_ = f;
  curHead_ = f != nullptr ? &f->head : nullptr;
  curExpectFlags_ = curExpectColumn_ = !wideRecord;
  if (f == nullptr) {
    // The field is dropped; what belongs to it is skipped.
    for (auto& pl : places_)
      if (pl.head == &t.head) pl.head = nullptr;
    fontSaved_.erase(&t.head);
    return 0;
  }
  TakeValues(f, t);
  for (auto& pl : places_)
    if (pl.head == &t.head) pl.head = &f->head;
  if (fontSaved_.count(&t.head)) {
    fontSaved_[&f->head] = fontSaved_[&t.head];
    fontSaved_.erase(&t.head);
  }
  if (eval) {
    f->refField = sindex;
    f->totalFunction = t.totalFunction;
    f->totalLevel = t.totalLevel;
    f->totalReset = t.totalReset;
    if (haveTable) f->table = MapTable(table);
    // A total is of no table: the query never asks for it as a column.
    if (plain == rec::WideTotal || plain == rec::Total || plain == rec::OldTotal) f->table = kTableNone;
    if (f->flags & kFieldAlias) f->flags2 |= kField2KeepRefNumber;  // re-linked after the end
    if (!expr.empty()) f->exprText = HeapText(Oem(expr));
    if (!second.empty()) f->text = HeapText(second);
    if (!cond.empty()) f->conditionText = HeapText(cond);
  }
  return 0;
}

// ---- Text tables

// The text file opens as the report's text table; one that cannot be opened
// is told with its name, and its stored sections are kept without text.
void Reader::OpenStoredTextTable(const std::string& name, const std::string& file) {
  int rc = OpenTextTable(m_, file.c_str(), name.c_str());
  // A missing file may be chosen again, as often as the user chooses one.
  std::string path = file;
  for (int tries = 0; rc != 0 && tries < 100 && hooks_.AskForTextFile(doc_, &path, rc); ++tries) {
    rc = OpenTextTable(m_, path.c_str(), name.c_str());
    if (rc == 0) st_.modifiedByLoading = true;
  }
  textTableOpen_ = rc == 0;
}

// ---- Tables

int Reader::Table(PayloadParser& r) {
  const uint32_t stored = r.U8();
  const uint8_t relation = static_cast<uint8_t>(r.U8());
  const uint32_t parentTable = r.U8();
  const uint32_t linkKind = r.U32();
  std::string linkName = r.Counted();
  std::string path = r.Counted();
  r.Counted();
  std::string alias = r.Plain();
  if (!r.Ok()) return kReadError;
  const uint32_t got = m_->AddTableSlot(path.c_str(), alias.c_str(), static_cast<uint8_t>(++tablesRead_),
                                        relation, nullptr);
  if (got == kNoField) return kReadError;  // no free slot
  uint32_t slot = got;
  // The same slot number when it is free, so a report keeps its numbering.
  if (stored < static_cast<uint32_t>(kMaxTables) && stored != got && m_->tableSlots[stored] == nullptr &&
      stored != 0) {
    m_->tableSlots[stored] = m_->tableSlots[got];
    m_->tableSlots[got] = nullptr;
    slot = stored;
  }
  storedSlot_[slot] = static_cast<int>(stored);
  currentSlot_ = static_cast<int>(slot);
  if (!TakeSourceGroup(slot)) return kReadDataSource;
  if (nextJoin_.have) {
    joins_[slot] = nextJoin_;
    joins_[slot].parentTable = static_cast<int>(parentTable);
    joins_[slot].keyName = linkName;
    joins_[slot].keyKind = linkKind;
    if (!joins_[slot].haveParentKind) joins_[slot].parentKind = linkKind;
  }
  nextJoin_ = PendingJoin();
  fromData_[slot] = hooks_.OpenTable(doc_, slot);
  // A table the user declined to choose again is not asked about twice.
  if (!fromData_[slot] && !st_.tableDeclined && hooks_.ReselectTable(doc_, slot))
    fromData_[slot] = hooks_.OpenTable(doc_, slot);
  return st_.tableDeclined ? kReadDataSource : 0;
}

// ---- Page set-up and band lines

int Reader::PageRecord(uint16_t number, PayloadParser& r, size_t n) {
  PageSetupRec& p = Page();
  switch (number) {
    case rec::LineKinds: case rec::LineFlags: {
      // One byte per line; bytes past the table are ignored.
      for (size_t i = 0; i < n; ++i) {
        const uint32_t v = r.U8();
        BandLineRec* l = Line(static_cast<uint32_t>(i));
        if (l == nullptr) continue;
        if (number == rec::LineKinds) {
          l->kind = static_cast<uint8_t>(v);
          if (v != kBandFree && static_cast<int>(i) > doc_.m_bandLines.lastUsed) doc_.m_bandLines.lastUsed = static_cast<int>(i);
        } else {
          l->flags = static_cast<uint8_t>(v & 9);
        }
      }
      return 0;
    }
    case rec::LineObject: case rec::WideLineObject: {
      const uint32_t line = r.U8();
      const uint32_t id = number == rec::WideLineObject ? r.U32() : r.U16();
      if (!r.Ok()) return kReadError;
      if (BandLineRec* l = Line(line)) l->objectId = static_cast<int32_t>(id);
      return 0;
    }
    case rec::LineTable: {
      const uint32_t line = r.U8();
      const uint32_t stored = r.U8();
      if (!r.Ok()) return kReadError;
      if (BandLineRec* l = Line(line)) {
        int s = TableSlotFromOrdinal(storedSlot_, static_cast<int>(stored));
        l->reserved = static_cast<uint8_t>(s < 0 ? 0 : s);
      }
      return 0;
    }
    case rec::LineHeight: case rec::WideLineHeight: case rec::OldLineHeight: {
      const uint32_t line = r.U8();
      const uint32_t mode = r.U8();
      uint32_t h = number == rec::WideLineHeight ? r.U32() : r.U16();
      if (!r.Ok()) return kReadError;
      if (number == rec::OldLineHeight && (mode == 2 || mode == 3)) h *= 10;
      h = static_cast<uint32_t>(HeldPosition(h));
      if (BandLineRec* l = Line(line)) {
        l->heightMode = static_cast<uint8_t>(mode);
        l->height = h;
      }
      return 0;
    }
    case rec::GroupField: case rec::SortField: case rec::WideGroupField: case rec::WideSortField: {
      const uint32_t slot = r.U8();
      uint32_t id = (number == rec::WideGroupField || number == rec::WideSortField) ? r.U32() : r.U16();
      if (number == rec::GroupField || number == rec::SortField) id = id == 0xFFFF ? kNoField : id;
      const uint8_t extra = static_cast<uint8_t>(r.U8());
      if (!r.Ok()) return kReadError;
      if (slot >= static_cast<uint32_t>(kSortSlots)) return 0;  // no such slot
      if (number == rec::GroupField || number == rec::WideGroupField) {
        s_.groupFields[slot] = id;
        s_.groupFlags[slot] = extra;
      } else {
        s_.sortFields[slot] = id;
        s_.sortWords[slot] = extra;
      }
      return 0;
    }
    case rec::Output: {
      p.RecordHeight = p.Landscape = p.word12 = p.NoLineSwitch = p.word19 = 0;
      p.NoSuppressRecordLines = p.NoBreakRecordArea = p.PaperSource = 1;
      st_.secondOutputMode = 0;
      p.Copies = static_cast<int32_t>(r.U8());
      const uint32_t bits = r.U8();
      p.OutputDestination = static_cast<int32_t>(r.U8());
      p.word12 = static_cast<int32_t>(r.U8());
      if (!r.Ok()) return kReadError;
      if (st_.version == 8 && st_.headerByte1 != 0) p.Collate = (bits & 0x08) ? 1 : 0;
      p.NoCompressLines = (bits & 0x80) ? 1 : 0;
      st_.printOption2 = (bits & 0x10) ? 0 : 1;
      st_.printOption3 = (bits & 0x20) ? 0 : 1;
      if (r.Left() > 0) {
        if (wide_) s_.printFileName = r.TextNul();
        else if (st_.version >= 7 && st_.headerByte1 != 0) s_.printFileName = r.Counted();
        else s_.printFileName = r.Rest();
        if (!r.Ok()) return kReadError;
      }
      return 0;
    }
    case rec::Copies:
      p.Copies = static_cast<int32_t>(r.U16());
      break;
    case rec::SuppressLines:
      p.NoSuppressRecordLines = static_cast<int32_t>(r.U8() / 2);
      break;
    case rec::OutputBits: {
      const uint32_t b = r.U8();
      p.word16 = static_cast<int32_t>(b & 3);
      p.Landscape = (b & 4) ? 1 : 0;
      p.NoLineSwitch = (b & 8) ? 1 : 0;
      break;
    }
    case rec::OldOutputBits: {
      const uint32_t b = r.U8();
      p.word16 = static_cast<int32_t>(b & 3);
      p.Landscape = (b & 4) ? 1 : 0;
      if (b & 8) st_.secondOutputMode = 2;
      break;
    }
    case rec::Page: {
      p.word19 = static_cast<int32_t>(r.U8());
      if (n >= 2 && n <= 4) {
        p.RecordHeight = static_cast<int32_t>(r.U8());
      } else if (n > 4) {
        r.U8();
        p.NoBreakRecordArea = static_cast<int32_t>(r.U8());
        p.PaperSource = static_cast<int32_t>(r.U8());
        p.RecordHeight = static_cast<int32_t>(r.U16());
      }
      if (p.PaperSource == 0 || p.PaperSource > 15) p.PaperSource = 1;
      break;
    }
    case rec::WidePage: {
      p.word19 = static_cast<int32_t>(r.U8());
      p.NoBreakRecordArea = static_cast<int32_t>(r.U8());
      p.PaperSource = static_cast<int32_t>(r.U32() & 0xFF);
      p.RecordHeight = static_cast<int32_t>(r.U16());
      if (p.PaperSource == 0 || p.PaperSource > 15) p.PaperSource = 1;
      break;
    }
    case rec::Paper:
      p.word8 = static_cast<int32_t>(r.U8());
      p.PaperLength = static_cast<int32_t>(r.U16());
      break;
    case rec::Margins: case rec::OldMargins: {
      p.TopMargin = static_cast<int32_t>(r.U16());
      p.BottomMargin = static_cast<int32_t>(r.U16());
      p.LeftMargin = static_cast<int32_t>(r.U16());
      p.RightMargin = static_cast<int32_t>(r.U16());
      uint32_t w = n >= 9 ? r.U16() : 0;
      s_.marginsWord = static_cast<uint16_t>(w == 0 ? 10 : w);
      if (n >= 12) p.PaperWidth = static_cast<int32_t>(r.U16());
      st_.olderUnits = 0;
      break;
    }
    case rec::PageLayout: {
      p.ExtraColumns = static_cast<int32_t>(r.U8());
      p.RecordWidth = static_cast<int32_t>(r.U16());
      if (n < 4) {
        storedRecordCopiesField_ = 0xFFFF;
        p.RecordCopies = 1;
        p.NoHeadFootInSummary = 0;
        p.RecordsAcross = 1;
      } else {
        storedRecordCopiesField_ = r.U16();
        p.RecordCopies = static_cast<int32_t>(n >= 7 ? r.U16() : 1);
        p.NoHeadFootInSummary = static_cast<int32_t>(n >= 8 ? r.U8() : 0);
        p.RecordsAcross = static_cast<int32_t>(n >= 9 ? r.U8() : 1);
        if (p.RecordCopies == 0) p.RecordCopies = 1;
        if (p.RecordsAcross == 0) p.RecordsAcross = 1;
      }
      sawRecordCopies_ = true;
      break;
    }
    case rec::PageText: {
      r.Skip(5);
      const uint32_t len = r.U8();
      r.U8();
      std::string key = r.Rest();
      if (!r.Ok()) return kReadError;
      if (key.size() > len) key.resize(len);
      s_.labelStock = key == GetResString(1095, 0) ? std::string() : key;
      return 0;
    }
    case rec::PageLength: case rec::WidePageLength:
      storedUnit_ = static_cast<uint8_t>(r.U8());
      sawUnit_ = true;
      s_.pageLength = number == rec::WidePageLength ? r.U32() : r.U16();
      break;
    case rec::PageRange: case rec::OldPageRange102:
      s_.firstPage = r.U32();
      s_.lastPage = r.U32();
      break;
    case rec::OldPageRange:
      s_.firstPage = r.U16();
      s_.lastPage = r.U16();
      if (s_.lastPage == 9999) s_.lastPage = 999999999;
      break;
    case rec::FilterCode: case rec::WideFilterCode: {
      if (n == 0) return 0;
      uint8_t* code = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(n)));
      if (code == nullptr) return kReadLibraryError;
      std::string bytes = std::string();
      for (size_t i = 0; i < n; ++i) code[i] = static_cast<uint8_t>(r.U8());
      HeapFreeBlock(m_->conditionCode);
      m_->conditionCode = code;
      m_->conditionLength = static_cast<uint16_t>(std::min<size_t>(n, 0xFFFF));
      return 0;
    }
    case rec::TextA:
      s_.textOption = static_cast<uint8_t>(r.U8());
      s_.shortTexts[0] = r.Rest().substr(0, 16);
      break;
    case rec::DisplayFormats: case rec::WideDisplayFormats:
      for (uint8_t& o : s_.formatOptions) o = static_cast<uint8_t>(r.U8());
      for (std::string& pic : s_.displayPictures) pic = r.Counted();
      s_.formatOption = static_cast<uint8_t>(r.U8());
      s_.timePicture = number == rec::WideDisplayFormats ? r.U32() : r.U16();
      break;
    case rec::OldFormats:
      s_.formatOptions[0] = static_cast<uint8_t>(r.U8());
      s_.formatOptions[1] = static_cast<uint8_t>(r.U8());
      if (n >= 7) {
        r.Skip(4);
        s_.formatOptions[2] = r.U8() == '-' ? 1 : 0;
      }
      break;
    case rec::LayoutUnits:
      s_.layoutUnits[0] = static_cast<uint16_t>(r.U16());
      s_.layoutUnits[1] = static_cast<uint16_t>(r.U16());
      s_.layoutOptions[0] = static_cast<uint8_t>(r.U8());
      s_.layoutOptions[1] = static_cast<uint8_t>(r.U8());
      st_.sawLayoutUnits = true;
      break;
    default:
      return 0;  // 39 and other older layouts: not decoded
  }
  return r.Ok() ? 0 : kReadError;
}

// ---- Texts, lines and boxes, pictures, charts

int Reader::ItemRecord(uint16_t number, PayloadParser& r, const uint8_t* p) {
  LayoutTables* t = doc_.m_pLayout;
  if (t == nullptr) return 0;
  switch (number) {
    case rec::WideText: case rec::TextItem: case rec::OldText: {
      std::unique_ptr<TextItem> x(new TextItem);
      std::string text;
      if (number == rec::WideText) {
        uint32_t columns = 0;
        ReadWideHead(r, x->head, &columns);
        x->alignment = static_cast<uint8_t>(r.U8());
        text = r.TextNul();
      } else {
        x->head.bandLine = static_cast<uint8_t>(r.U8());
        x->head.column = static_cast<int32_t>(r.U8());
        const uint32_t len = r.U8();
        x->head.fontStyle = static_cast<uint8_t>(r.U8());
        x->alignment = number == rec::OldText ? 16 : static_cast<uint8_t>(r.U8());
        text = r.Rest();
        if (text.size() > len) text.resize(len);
      }
      if (!r.Ok() || CheckKind(x->head.flags, {ItemShape::Text}, "text '" + text.substr(0, 40) + "'") != 0) {
        for (auto& pl : places_)
          if (pl.head == &x->head) pl.head = nullptr;
        fontSaved_.erase(&x->head);
        return kReadError;
      }
      x->text = HeapText(Fix(text));
      if (x->text == nullptr) return kReadLibraryError;
      // Appended at the end, so the text list keeps its order.
      TextItem* raw = x.release();
      TextItem** tail = &t->textHead;
      while (*tail != nullptr) tail = &(*tail)->nextText;
      *tail = raw;
      ++t->textCount;
      curHead_ = &raw->head;
      curField_ = nullptr;
      curExpectFlags_ = curExpectColumn_ = number != rec::WideText;
      return 0;
    }
    case rec::WideBox: case rec::Box: {
      LineBoxItem x;
      uint32_t offset, height;
      const bool w = number == rec::WideBox;
      x.head.flags = (w ? r.U32() : r.U16()) & kBoxFlagsMask;
      x.head.left = HeldPosition(w ? r.U32() : r.U16());
      offset = w ? r.U32() : r.U16();
      x.alignment = static_cast<uint8_t>(r.U8());
      height = w ? r.U32() : r.U16();
      const int32_t width = HeldPosition(w ? r.U32() : r.U16());
      x.borders = static_cast<WORD>(w ? r.U8() : r.U16());
      x.thickness = static_cast<uint8_t>(r.U8());
      x.pattern = static_cast<uint8_t>(r.U8());
      x.borderColour = static_cast<uint8_t>(r.U8());
      x.foreColour = static_cast<uint8_t>(r.U8());
      x.backColour = static_cast<uint8_t>(r.U8());
      x.head.bandLine = static_cast<uint8_t>(r.U8());
      if (!r.Ok()) return kReadError;
      // A line or box record holds nothing but a line or a box.
      if (CheckKind(x.head.flags, {ItemShape::LineBox}, Numbered(ItemShape::LineBox, t->linesBoxes.Count() + 1)) != 0)
        return kReadError;
      x.head.right = x.head.left + width - 1;
      const bool full = w ? height == 0xFFFFFFFFu : height == 0xFFFF;
      x.head.height = full ? -1 : HeldPosition(height);
      LineBoxItem* added = t->linesBoxes.Append(x);
      if (added == nullptr) return kReadLibraryError;
      places_.push_back({&added->head, HeldPosition(offset), true, added->head.height});
      return 0;
    }
    case rec::WidePicture: case rec::Image: {
      PictureItem x;
      const bool w = number == rec::WidePicture;
      x.head.flags = kNewPictureFlags;
      x.head.left = HeldPosition(w ? r.U32() : r.U16());
      const uint32_t offset = w ? r.U32() : r.U16();
      x.alignment = static_cast<uint8_t>(r.U8());
      x.shownWidth = HeldPosition(w ? r.U32() : r.U16());
      x.shownHeight = HeldPosition(w ? r.U32() : r.U16());
      for (int32_t& v : x.source) v = HeldPosition(w ? r.U32() : r.U16());
      x.scaling = static_cast<WORD>(w ? r.U16() : r.U8());
      x.head.bandLine = static_cast<uint8_t>(r.U8());
      const uint32_t dirFlag = r.U8();
      std::string path = r.Plain();
      if (!r.Ok()) return kReadError;
      bool found = true;
      CopyBounded(x.fileName, sizeof x.fileName, FindPicture(path, dirFlag != 0, &found).c_str());
      // The stored size (hundredths of the document's measure) gives the
      // picture its rectangle again, in the layout pixels it was measured from.
      const LayoutMetrics& m = t->metrics;
      auto inHundredths = [&](int32_t v) {
        v = std::clamp<int32_t>(v, 0, 0xFFFF);
        return m.metric ? static_cast<int32_t>(ConvertVertMeasure(static_cast<WORD>(v), kVertHundredths, kVertTenthsMm, 0))
                        : v;
      };
      x.head.right = x.head.left + std::max(1, FromHundredthsX(m, inHundredths(x.shownWidth))) - 1;
      const int32_t high = std::max(1, FromHundredthsY(m, inHundredths(x.shownHeight)));
      x.head.height = high;
      PictureItem* added = t->pictures.Append(x);
      if (added == nullptr) return kReadLibraryError;
      // A picture the user let go was reported once already.
      if (found) hooks_.LoadPicture(doc_, *added);
      places_.push_back({&added->head, HeldPosition(offset), true, high});
      return 0;
    }
    case rec::Chart: {
      ChartTableEntry x;
      r.U32();  // record version
      x.head.flags = r.U32() & kChartFlagsMask;
      x.head.left = static_cast<int32_t>(r.U32());
      const size_t placeAt = r.Position();
      const uint32_t offset = r.U32();
      r.U8();
      x.sizeWords[0] = r.U32();
      x.sizeWords[1] = r.U32();
      x.head.left = HeldPosition(r.U32());
      x.head.top = HeldPosition(r.U32());
      x.head.right = HeldPosition(r.U32());
      x.head.bottom = HeldPosition(r.U32());
      x.head.bandLine = static_cast<uint8_t>(r.U8());
      std::vector<uint8_t> data = r.RestBytes();
      if (r.Ok() && CheckKind(x.head.flags, {ItemShape::Chart}, Numbered(ItemShape::Chart, t->charts.Count() + 1)) != 0)
        return kReadError;
      if (!r.Ok()) {
        // A chart whose record is damaged is dropped with the chart warning.
        hooks_.ShowWarning(doc_, GetResString(356, 0));
        return 0;
      }
      // Its top comes from the top offset once the lines are laid out, as for pictures.
      x.head.height = static_cast<int32_t>(
          std::clamp<int64_t>(int64_t(x.head.bottom) - x.head.top + 1, 1, int64_t(1) << 20));
      // The chart object takes its own data; bytes of another form stay as
      // they came, and a damaged chart is said once and kept unchanged.
      auto chart = std::make_unique<CKmChart>(doc_.m_pModel);
      if (!chart->Load(data.data(), data.size()) && chart->IsDamaged())
        hooks_.ShowWarning(doc_, GetResString(356, 0));
      x.chart.reset(std::move(chart));
      ChartTableEntry* added = t->charts.Append(x);
      if (added == nullptr) return kReadLibraryError;
      places_.push_back({&added->head, HeldPosition(offset), true, added->head.height});
      s_.chartPlaces.resize(static_cast<size_t>(t->charts.Count()));
      ReportSettings::ChartPlace& kept = s_.chartPlaces.back();
      kept.line = x.head.bandLine;
      kept.bytes.assign(p + placeAt, p + placeAt + 29);
      return 0;
    }
    default:
      return 0;
  }
}

// ---- Dispatch

int Reader::NarrowItemTail(uint16_t number, PayloadParser& r) {
  if (number == rec::ObjectFlags) {
    if (curHead_ == nullptr) return 0;  // the item was dropped
    ReportItemHead& h = *curHead_;
    const size_t n = r.Left();
    const uint32_t b0 = r.U8() & kNarrowFlagsMask;
    h.flags = b0 | (curField_ != nullptr ? kItemKindField : 0);
    const int bad = curField_ != nullptr
                        ? CheckKind(h.flags, {ItemShape::Field}, "field '" + std::string(curField_->name) + "'")
                        : CheckKind(h.flags, {ItemShape::Text},
                                    Numbered(ItemShape::Text, doc_.m_pLayout ? doc_.m_pLayout->textCount : 0));
    if (bad != 0) return kReadError;
    if (n >= 2) fontSaved_[&h] = static_cast<uint8_t>(r.U8());
    uint32_t low2 = n >= 3 ? r.U8() : 0;
    if (n >= 5) h.pointSize = static_cast<int32_t>(r.U16());
    if (n >= 7) h.measuredWidth = static_cast<int32_t>(r.U16());
    uint32_t col = n >= 9 ? r.U16() : 0;
    if (n >= 9) h.column = static_cast<int32_t>(col);
    if (curField_ != nullptr) {
      FieldDef* f = curField_;
      const uint32_t keep = f->flags2 & kField2KeepRefNumber;
      if (n == 1) {
        f->flags2 = ((f->flags & 0x30304) == 0 && (f->formatCode & 0xF0) == 0x40) ? 1 : 0;
      } else if (n < 11) {
        f->flags2 = low2;
      } else {
        f->flags2 = r.U16();
      }
      f->flags2 |= keep;
      if (n >= 13) f->flags3word = (r.U16() & ~6u) | (f->flags3word & 6u);
      if (n >= 15) f->timeFormat = r.U16();
    }
    return r.Ok() ? 0 : kReadError;
  }
  if (number == rec::ColumnHead) {
    if (curHead_ == nullptr) return 0;
    ReportItemHead& h = *curHead_;
    h.left = static_cast<int32_t>(r.U16());
    const uint32_t width = r.U16();
    h.right = static_cast<int32_t>(h.left + width - 1);
    const uint32_t baseline = r.U16();
    h.colour = static_cast<uint8_t>(r.U8());
    if (!r.Ok()) return kReadError;
    places_.push_back({&h, HeldPosition(baseline), false, 0});
    return 0;
  }
  // 99: the expression text of the calculation or total read last.
  std::string text = r.TextNul();
  if (!r.Ok()) return kReadError;
  if (curField_ != nullptr && (curField_->flags & kFieldCalculation || curField_->totalFlags & kTotalIsTotal)) {
    HeapFreeBlock(curField_->exprText);
    curField_->exprText = HeapText(Oem(text));
  }
  return 0;
}

int Reader::Dispatch(uint16_t word, uint16_t number, const uint8_t* p, size_t n) {
  PayloadParser r(p, n, src_.Mode());
  (void)word;  // a group flag reads like the plain type
  switch (number) {
    // Items and evaluation records.
    case rec::FieldItem: case rec::WideDuplicate: case rec::WideCalc: case rec::WideTotal:
    case rec::DbField: case rec::Calc: case rec::Total: case rec::Duplicate:
    case rec::OldDuplicate: case rec::OldCalc: case rec::OldField: case rec::OldTotal:
      return FieldRecord(number, r);
    case rec::OldItem7: case rec::Refused54:
      return kReadRefused;
    case rec::ObjectFlags: case rec::ColumnHead: case rec::ExpressionText:
      return NarrowItemTail(number, r);
    case rec::TotalCondition: case rec::OldTotalCondition: {
      if (number == rec::TotalCondition) {
        r.U32();
        conditionText_ = r.Counted();
      } else {
        r.U16();
        r.U8();
        conditionText_ = r.Rest();
      }
      if (!r.Ok()) return kReadError;
      pendingCondition_ = true;
      return 0;
    }
    case rec::WideText: case rec::TextItem: case rec::OldText: case rec::WideBox: case rec::Box:
    case rec::WidePicture: case rec::Image: case rec::Chart:
      return ItemRecord(number, r, p);

    // Relations.
    case rec::JoinField: case rec::OldJoinField: {
      nextJoin_ = PendingJoin();
      nextJoin_.haveParentKind = number == rec::OldJoinField || wide_;
      if (number == rec::OldJoinField) nextJoin_.parentKind = r.U16();
      else if (wide_) nextJoin_.parentKind = r.U32();
      nextJoin_.have = true;
      nextJoin_.parentName = r.Plain();
      return r.Ok() ? 0 : kReadError;
    }
    case rec::JoinPair: case rec::OldJoinPair: {
      PendingJoin::Pair pr;
      pr.kind = number == rec::OldJoinPair ? r.U16() : r.U32();
      pr.table = static_cast<int>(r.U16());
      pr.first = r.Counted();
      pr.second = r.Plain();
      if (!r.Ok()) return kReadError;
      nextJoin_.more.push_back(pr);
      return 0;
    }
    case rec::Table:
      return Table(r);

    // The master table.
    case rec::MasterPath: case rec::MasterRelativePath: {
      std::string path = r.Rest();
      s_.masterRelative = number == rec::MasterRelativePath;
      // A report made without a master table names none: there is no data
      // source to connect and no table to open or to ask for again.
      if (path.empty() && m_->tableSlots[0] == nullptr &&
          (m_->statementText == nullptr || m_->statementText[0] == 0)) {
        s_.sources[0] = s_.sources[kMaxTables];
        s_.sources[kMaxTables] = TableSourceGroup();
        return 0;
      }
      if (m_->tableSlots[0] == nullptr) {
        if (m_->AddTableSlot(path.c_str(), "", 0, 0, nullptr) != 0) return kReadError;
      } else {
        CopyBounded(m_->tableSlots[0]->path, sizeof m_->tableSlots[0]->path, path.c_str());
      }
      storedSlot_[0] = 0;
      currentSlot_ = 0;
      if (!TakeSourceGroup(0)) return kReadDataSource;
      if (!ReadStoredStatement()) return kReadError;
      fromData_[0] = hooks_.OpenTable(doc_, 0);
      // The master or its statement may be on another data source.
      while (!fromData_[0] && wide_ && st_.connect && hooks_.AskAnotherDataSource(doc_)) {
        TookAnotherSource();
        if (!ReadStoredStatement()) return kReadError;
        fromData_[0] = hooks_.OpenTable(doc_, 0);
      }
      if (!fromData_[0] && hooks_.ReselectTable(doc_, 0)) fromData_[0] = hooks_.OpenTable(doc_, 0);
      return st_.tableDeclined ? kReadDataSource : 0;
    }
    case rec::MasterAlias: {
      std::string alias = Oem(r.Rest());
      if (m_->tableSlots[0] != nullptr) CopyBounded(m_->tableSlots[0]->alias, sizeof m_->tableSlots[0]->alias, alias.c_str());
      return 0;
    }
    case rec::FieldListBegin: {
      const std::string name = r.Counted();
      const std::string file = r.Plain();
      inDerivedList_ = true;
      if (!file.empty()) OpenStoredTextTable(name, file);
      return 0;
    }
    case rec::FieldListEnd:
      inDerivedList_ = false;
      return 0;
    case rec::OldPrinterText:
      s_.oldPrinterText = r.Rest();
      return 0;
    case rec::TablePlace:
      s_.sources[kMaxTables].placeBits = static_cast<uint16_t>(r.U16());
      if (currentSlot_ == 0 && m_->tableSlots[0] == nullptr) s_.sources[0].placeBits = s_.sources[kMaxTables].placeBits;
      return r.Ok() ? 0 : kReadError;

    // Report settings.
    case rec::LibrarySafe: return 0;
    case rec::CompositeOption: s_.compositeOption = static_cast<uint8_t>(r.U8()); return 0;
    case rec::Ignored36: case rec::Ignored83: case rec::OldLong92: return 0;
    case rec::ReportType: {
      const uint32_t a = r.U16(), b = r.U16();
      const uint32_t marker = r.U32();
      if (!r.Ok()) return kReadError;
      if (a != 0 || b != 1) {
        hooks_.ShowError(doc_, GetResString(4210, 0));
        return kReadRefused;
      }
      st_.storedMarker = marker;
      return 0;
    }
    case rec::Comments: s_.comments = r.TextNul(); return r.Ok() ? 0 : kReadError;
    case rec::FontName: {
      if (static_cast<int>(st_.fontAtoms.size()) < kMaxFontAtoms) st_.fontAtoms.push_back(r.Rest().substr(0, 31));
      return 0;
    }
    case rec::FormatTexts:
      s_.formatTexts[0] = r.Counted();
      s_.formatTexts[1] = r.Counted();
      s_.formatTexts[2] = r.Plain();
      if (!r.Ok()) return kReadError;
      ApplyFonts();
      return 0;
    case rec::Export89: case rec::Export100: case rec::Export101: case rec::Export119: case rec::Export142:
    case rec::OldExport141: {
      ExportTarget e;
      e.set = true;
      e.format = static_cast<uint8_t>(r.U8());
      if (number != rec::Export119 && number != rec::OldExport141) e.option = static_cast<uint8_t>(r.U8());
      if (number == rec::Export89) r.U8();
      e.fileName = r.Plain();
      if (!r.Ok()) return kReadError;
      ExportTarget* to = number == rec::Export89 ? &s_.targets89 : number == rec::Export100 ? &s_.targets100
                         : number == rec::Export101 ? &s_.targets101 : number == rec::Export142 ? &s_.targets142
                                                                                   : &s_.targets119;
      *to = e;
      return 0;
    }
    case rec::ExportOptions120: case rec::ExportOptions121: {
      ExportOptions e;
      e.set = true;
      e.format = static_cast<uint8_t>(r.U8());
      for (uint8_t& o : e.options) o = static_cast<uint8_t>(r.U8());
      e.exportText = r.Counted();
      e.settingsText = r.Plain();
      if (!r.Ok()) return kReadError;
      (number == rec::ExportOptions120 ? s_.options120 : s_.options121) = e;
      return 0;
    }
    case rec::HtmlOptions:
      s_.htmlOptions.assign(p, p + n);
      return 0;
    case rec::ExportDefinition: {
      ExportDefinition e;
      e.value = static_cast<uint16_t>(r.U16());
      e.name = r.TextNul();
      e.module = r.TextNul();  // data only: a report never names code to load
      if (!r.Ok()) return kReadError;
      e.data.assign(p + r.Position(), p + n);
      s_.exportDefinitions.push_back(std::move(e));
      return 0;
    }
    case rec::OldLayout: s_.oldLayout = 1; return 0;
    case rec::DateTimeAnswer: {
      const uint32_t a = r.U16();
      if (!r.Ok()) return kReadError;
      s_.dateTimeAnswer = static_cast<uint16_t>(a);
      st_.storedDateTimeAnswer = a == 0xFFFF ? 0xFFFFFFFFu : a;
      return 0;
    }

    // Data sources: the group is kept for the table that follows it.
    case rec::Driver: s_.sources[kMaxTables].driver = r.Rest(); return 0;
    case rec::ConnectUser: s_.sources[kMaxTables].connectUser = r.Rest(); return 0;
    case rec::QuoteChar: s_.sources[kMaxTables].quote = static_cast<uint8_t>(r.U8()); return r.Ok() ? 0 : kReadError;
    case rec::TableName: case rec::OldSourceName:
      s_.sources[kMaxTables].entryForm = false;
      s_.sources[kMaxTables].sourceName = Source(r.Rest());
      return 0;
    case rec::OldSourceCounted:
      s_.sources[kMaxTables].sourceName = Source(r.Counted());
      return r.Ok() ? 0 : kReadError;
    case rec::DataSourceEntry:
      s_.sources[kMaxTables].entryForm = true;
      s_.sources[kMaxTables].sourceName = Source(r.Counted().substr(0, 32));
      s_.sources[kMaxTables].databaseName = r.Plain();
      return r.Ok() ? 0 : kReadError;
    case rec::DatabaseName:
      if (s_.databaseName.empty()) s_.databaseName = r.Rest();
      UseReportDatabase();
      return 0;
    case rec::OldDatabase:
      s_.databaseName = r.Rest();
      UseReportDatabase();
      return 0;
    case rec::SqlStatement: {
      s_.sqlStatement = r.Rest();
      s_.sqlReport = true;
      // The master is this statement's result: the model runs it, and the
      // master table's columns are listed from it.
      char* copy = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(s_.sqlStatement.size() + 1)));
      if (copy == nullptr) return kReadError;
      std::memcpy(copy, s_.sqlStatement.c_str(), s_.sqlStatement.size() + 1);
      if (m_->statementText != nullptr) HeapFreeBlock(m_->statementText);
      m_->statementText = copy;
      return 0;
    }
    case rec::TextB: s_.shortTexts[1] = r.Rest(); return 0;
    case rec::TextC: s_.shortTexts[2] = r.Rest(); return 0;
    case rec::End:
      return kReadStop;
    case rec::PageRange:
      if (st_.version < 7) {  // older streams used this number for the data source
        s_.sources[kMaxTables].sourceName = "R";
        return 0;
      }
      return PageRecord(number, r, n);
    default:
      return PageRecord(number, r, n);
  }
}

// ---- After the end record

void Reader::ApplyFonts() {
  if (st_.fontsApplied) return;
  st_.fontsApplied = true;
  for (auto& kv : fontSaved_) {
    if (kv.second >= st_.fontAtoms.size()) continue;
    kv.first->faceAtom = AddFaceAtom(st_.fontAtoms[kv.second].c_str());
  }
}

template <class Map>
bool Reader::RemapFilterCode(uint8_t* code, size_t length, Map map) {
  // The stored condition code: tokens up to its closing 0. Every token must
  // lie inside the code and be one the selection rows make. A test on a
  // field that was not read keeps its place, marked as having lost its
  // field, so the run refuses the filter rather than printing every record.
  const uint8_t* end = code + length;
  std::vector<std::pair<uint8_t*, uint32_t>> writes;
  uint8_t* p = code;
  for (;;) {
    if (p >= end) return false;
    const uint8_t b = *p;
    if (b == kCondEnd) break;
    const bool known = IsConditionOperand(b) || IsConditionComparison(b) || b == kCondAnd || b == kCondOr ||
                       b == kCondOpen || b == kCondClose || b == kCondEndMark;
    if (!known) return false;
    const size_t n = ConditionTokenSize(p, end);
    if (n == 0) return false;
    if (b == kCondField && ConditionFieldNumber(p) < kProgramFieldFloor) {
      writes.emplace_back(p, map(ConditionFieldNumber(p)));
    }
    p += n;
  }
  for (const auto& w : writes) SetConditionFieldNumber(w.first, w.second);
  return true;
}

int Reader::EndRecord() {
  ApplyFonts();  // when no 75 came, the fonts are applied here
  LayoutTables* lt = doc_.m_pLayout;
  // The field list in stored order, so references by number hold again.
  {
    std::vector<FieldDef*> stored, other;
    for (FieldDef* f = m_->fieldList; f; f = f->next) (fileIds_.count(f) ? stored : other).push_back(f);
    std::stable_sort(stored.begin(), stored.end(),
                     [&](FieldDef* a, FieldDef* b) { return fileIds_[a] < fileIds_[b]; });
    // A table's columns stand together in the list (the query walks them
    // from the table's first field): a column the data source lists but the
    // report does not name goes after the last column of its table.
    auto plain = [](const FieldDef* f) {
      return (f->flags & (kFieldAlias | kFieldCalculation)) == 0 && (f->totalFlags & kTotalIsTotal) == 0;
    };
    std::vector<FieldDef*> all = stored;
    for (FieldDef* f : other) {
      auto at = all.end();
      if (plain(f))
        for (auto it = all.begin(); it != all.end(); ++it)
          if ((*it)->table == f->table && plain(*it)) at = it + 1;
      all.insert(at, f);
    }
    for (size_t i = 0; i < all.size(); ++i) all[i]->next = i + 1 < all.size() ? all[i + 1] : nullptr;
    m_->fieldList = all.empty() ? nullptr : all[0];
    m_->FreeFieldIndex();
    for (int s = 0; s < kMaxTables; ++s) {
      TableSlot* t = m_->tableSlots[s];
      if (t == nullptr) continue;
      t->firstField = nullptr;
      t->fieldCount = 0;
      for (FieldDef* f : all)
        if (f->table == s && (f->flags & (kFieldAlias | kFieldCalculation)) == 0 &&
            (f->totalFlags & kTotalIsTotal) == 0) {
          if (t->firstField == nullptr) t->firstField = f;
          ++t->fieldCount;
        }
    }
  }
  std::map<uint32_t, uint32_t> position;  // file id -> position
  {
    uint32_t i = 0;
    for (FieldDef* f = m_->fieldList; f; f = f->next, ++i)
      if (fileIds_.count(f) && !position.count(fileIds_[f])) position[fileIds_[f]] = i;
  }
  auto map = [&](uint32_t id) -> uint32_t {
    auto it = position.find(id);
    return it == position.end() ? kNoField : it->second;
  };
  // Aliases and totals refer to fields by number.
  std::vector<FieldDef*> broken;
  for (FieldDef* f = m_->fieldList; f; f = f->next) {
    if (!fileIds_.count(f)) continue;
    if (f->flags & kFieldAlias) {
      f->flags2 &= ~kField2KeepRefNumber;
      f->refField = map(f->refField);
      FieldDef* to = m_->GetFieldAt(f->refField);
      if (to == nullptr || to == f) {
        broken.push_back(f);
        continue;
      }
      f->table = to->table;
      std::memcpy(f->name, to->name, sizeof f->name);
    } else if (f->totalFlags & kTotalIsTotal) {
      if (f->refField != kNoField) f->refField = map(f->refField);
    }
  }
  // Calculations are compiled again from their text, totals' conditions too,
  // once every field has its place. One that no longer compiles stays, with
  // no code, so the user can edit it; the run refuses such a report.
  for (FieldDef* f = m_->fieldList; f; f = f->next) {
    if (!fileIds_.count(f) || (f->flags & kFieldAlias)) continue;
    const bool calc = (f->flags & kFieldCalculation) != 0;
    const bool total = (f->totalFlags & kTotalIsTotal) != 0;
    if (!calc && !total) continue;
    char text[300];
    if (total && (f->refField == kNoField || m_->GetFieldAt(f->refField) == nullptr)) {
      std::snprintf(text, sizeof text, GetResString(729, 0), f->name);
      hooks_.ShowWarning(doc_, text);
      continue;
    }
    if (calc && (f->exprText == nullptr || f->exprText[0] == 0)) continue;
    if (!calc && f->conditionText == nullptr) continue;
    uint32_t position = 0;
    if (CompileFieldText(m_, f, &position) != 0) {
      std::snprintf(text, sizeof text, GetResString(calc ? 728 : 778, 0), f->name);
      hooks_.ShowWarning(doc_, text);
      if (calc) {
        HeapFreeBlock(f->code);
        f->code = nullptr;
        f->codeLength = 0;
      }
    }
  }
  // Sort slots, then group slots: the first that does not map ends the list.
  for (int pass = 0; pass < 2; ++pass) {
    uint32_t* ids = pass == 0 ? s_.sortFields : s_.groupFields;
    bool ended = false;
    for (int i = 0; i < kSortSlots; ++i) {
      uint32_t v = ended || ids[i] == kNoField ? kNoField : map(ids[i]);
      const FieldDef* f = v == kNoField ? nullptr : m_->GetFieldAt(v);
      if (f == nullptr || (f->flags2 & kField2NotInTable)) {
        ended = true;
        v = kNoField;
      }
      ids[i] = v;
    }
  }
  // The run and field editing read the slots from the model.
  std::copy(std::begin(s_.groupFields), std::end(s_.groupFields), std::begin(m_->groupFields));
  std::copy(std::begin(s_.groupFlags), std::end(s_.groupFlags), std::begin(m_->groupFlags));
  std::copy(std::begin(s_.sortFields), std::end(s_.sortFields), std::begin(m_->sortFields));
  for (int i = 0; i < kSortSlots; ++i) m_->sortWords[i] = s_.sortWords[i];
  // Band-line conditions and the copies field.
  if (doc_.m_bandLines.lines != nullptr)
    for (int i = 0; i < kBandLineCount && doc_.m_bandLines.lines[i].kind != kBandFree; ++i) {
      BandLineRec& l = doc_.m_bandLines.lines[i];
      if (l.objectId != -1) l.objectId = static_cast<int32_t>(map(static_cast<uint32_t>(l.objectId)));
    }
  s_.recordCopiesField = -1;
  if (sawRecordCopies_ && storedRecordCopiesField_ != 0xFFFF) {
    const uint32_t v = map(storedRecordCopiesField_);
    const FieldDef* f = v == kNoField ? nullptr : m_->GetFieldAt(v);
    if (f != nullptr && (f->flags & kFieldNumeric)) s_.recordCopiesField = static_cast<int32_t>(v);
  }
  // The model keeps it from here on: it follows the fields as they go.
  m_->recordRepeatField = s_.recordCopiesField >= 0 ? static_cast<uint32_t>(s_.recordCopiesField) : kNoField;
  // Charts' series and label fields, before any broken field goes (its
  // deletion renumbers the charts' places like every other reference).
  if (lt != nullptr)
    for (int i = 0; i < lt->charts.Count(); ++i)
      if (CKmChart* c = ChartOf(*lt->charts.At(i))) c->MapStoredFieldRefs(map);
  // Joins, by the names the stream gives.
  for (int s = 1; s < kMaxTables; ++s) {
    const PendingJoin& j = joins_[s];
    if (!j.have || m_->tableSlots[s] == nullptr) continue;
    auto find = [&](int table, const std::string& name) -> uint32_t {
      uint32_t i = 0;
      for (FieldDef* f = m_->fieldList; f; f = f->next, ++i)
        if ((table < 0 || f->table == table) && !(f->flags & kFieldAlias) && strcasecmp(f->name, name.c_str()) == 0)
          return i;
      return kNoField;
    };
    std::vector<uint32_t> pairs;
    const int parentSlot = j.parentTable == 255 ? -1 : static_cast<int>(MapTable(static_cast<uint32_t>(j.parentTable)));
    pairs.push_back(find(parentSlot == kTableNone ? -1 : parentSlot, j.parentName));
    pairs.push_back(find(s, j.keyName));
    for (const auto& pr : j.more) {
      const int ps = static_cast<int>(MapTable(static_cast<uint32_t>(pr.table)));
      pairs.push_back(find(ps == kTableNone ? -1 : ps, pr.first));
      pairs.push_back(find(s, pr.second));
    }
    if (std::find(pairs.begin(), pairs.end(), kNoField) != pairs.end()) {
      // A linking field that is no longer in its table stands in as "?_" and
      // its name, so the report opens and the Join dialog names the field
      // to choose again; the message says which join that is.
      auto stand = [&](uint32_t* at, uint32_t kind, int table, const std::string& name) {
        if (*at != kNoField || table < 0 || table >= kMaxTables) return;
        if (FieldDef* f = AddPlaceholderField(m_, kind, name.c_str(), static_cast<uint32_t>(table)))
          *at = m_->GetFieldIndex(f);
      };
      stand(&pairs[0], j.parentKind, parentSlot == kTableNone ? 0 : parentSlot, j.parentName);
      stand(&pairs[1], j.keyKind, s, j.keyName);
      for (size_t k = 0; k < j.more.size(); ++k) {
        const int ps = static_cast<int>(MapTable(static_cast<uint32_t>(j.more[k].table)));
        stand(&pairs[2 + 2 * k], j.more[k].kind, ps == kTableNone ? 0 : ps, j.more[k].first);
        stand(&pairs[3 + 2 * k], j.more[k].kind, s, j.more[k].second);
      }
      char text[600];
      std::snprintf(text, sizeof text, GetResString(2556, 0), m_->tableSlots[s]->path);
      hooks_.ShowWarning(doc_, text);
      if (std::find(pairs.begin(), pairs.end(), kNoField) != pairs.end()) continue;
    }
    pairs.push_back(kNoField);
    pairs.push_back(kNoField);
    const uint8_t bits = m_->tableSlots[s]->relationBits;
    if (m_->SetRelation(static_cast<uint32_t>(s), 0, 0, pairs.data()) == 0) m_->tableSlots[s]->relationBits = bits;
  }
  // The filter's code comes from the file and is run later: it must be whole
  // and jump only forward inside itself. Its field numbers are the stored
  // ones and are moved to the fields' places.
  // A code that cannot be read is not dropped (the report would print every
  // record): it becomes one test on a lost field, which stops every run until
  // the filter is edited, as a filter whose field was deleted does (and is
  // told below as that one is).
  if (m_->conditionCode != nullptr && !RemapFilterCode(m_->conditionCode, m_->conditionLength, map)) {
    constexpr size_t kLostTestSize = kCondFieldAndOperator + kCondLogicalSize + 2;
    auto* lost = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(kLostTestSize)));
    if (lost != nullptr) {
      uint8_t* w = lost;
      w += PutConditionField(w, kNoField);
      *w++ = kCondIsNull;
      w += PutConditionLogical(w, 1);
      *w++ = kCondEndMark;
      *w = kCondEnd;
    }
    HeapFreeBlock(m_->conditionCode);
    m_->conditionCode = lost;
    m_->conditionLength = lost != nullptr ? static_cast<uint16_t>(kLostTestSize) : 0;
  }
  // Fields that cannot be kept go last (DeleteField renumbers what refers by number).
  for (FieldDef* f : broken) {
    const uint32_t n = m_->GetFieldIndex(f);
    if (n == kNoField) continue;
    for (PendingPlace& pl : places_)
      if (pl.head == &f->head) pl.head = nullptr;
    if (f->head.faceAtom != 0) DeleteFaceAtom(f->head.faceAtom);
    m_->DeleteField(f, 0);
    auto fix = [n](uint32_t& v) {
      if (v == kNoField) return;
      if (v == n) v = kNoField; else if (v > n) --v;
    };
    for (uint32_t& v : s_.sortFields) fix(v);
    if (doc_.m_bandLines.lines != nullptr)
      for (int i = 0; i < kBandLineCount; ++i) {
        uint32_t v = static_cast<uint32_t>(doc_.m_bandLines.lines[i].objectId);
        fix(v);
        doc_.m_bandLines.lines[i].objectId = static_cast<int32_t>(v);
      }
    if (s_.recordCopiesField >= 0) {
      uint32_t v = static_cast<uint32_t>(s_.recordCopiesField);
      fix(v);
      s_.recordCopiesField = v == kNoField ? -1 : static_cast<int32_t>(v);
    }
    if (lt != nullptr && m_->fieldRemovedHook == nullptr)  // else the document's hook moved them
      for (int i = 0; i < lt->charts.Count(); ++i)
        if (CKmChart* c = ChartOf(*lt->charts.At(i))) c->FieldDeleted(n);
  }
  // A filter test whose field is gone (deleted now, or before it was saved)
  // keeps its place; the report opens and the run waits for the filter's edit.
  if (m_->conditionCode != nullptr && ConditionReferencesField(m_->conditionCode, m_->conditionLength, kNoField))
    hooks_.ShowWarning(doc_, GetResString(607, 0));
  // A chart that can no longer run (a field it shows is gone) is named now,
  // as it will be when a run is asked for.
  {
    std::string title;
    if (const int code = ValidateAllCharts(&doc_, &title)) hooks_.ShowWarning(doc_, FormatChartErrors(code, title));
  }
  // Deleting a field closed up the model's slots; the stream's copy follows.
  std::copy(std::begin(m_->groupFields), std::end(m_->groupFields), std::begin(s_.groupFields));
  std::copy(std::begin(m_->groupFlags), std::end(m_->groupFlags), std::begin(s_.groupFlags));
  std::copy(std::begin(m_->sortFields), std::end(m_->sortFields), std::begin(s_.sortFields));
  for (int i = 0; i < kSortSlots; ++i) s_.sortWords[i] = static_cast<uint8_t>(m_->sortWords[i]);
  // The evaluation order: a calculation that cannot be ordered must be edited.
  FieldDef* const unordered = PropagateFieldDependencies(m_);
  for (FieldDef* f = unordered; f != nullptr; f = f->orderNext) {
    char text[300];
    std::snprintf(text, sizeof text, GetResString(728, 0), f->name);
    hooks_.ShowWarning(doc_, text);
  }
  // Without code they cannot run: the checks before a run stop it until they are edited.
  DropUnorderedFieldCode(unordered);
  // The totals, filter and sort checks; then names shared by two tables are
  // qualified in the calculations that use them.
  {
    GroupSetup setup = ModelGroupSetup(m_);
    if (CheckTotalsSetup(m_, setup, nullptr, false) != 0) {
      const int code = m_->lastEngineError;
      if (code != 0) hooks_.ShowWarning(doc_, m_->GetEngineErrorText(code));
    }
  }
  for (int s = 0; s < kMaxTables; ++s)
    if (m_->tableSlots[s] != nullptr) RenameDuplicateFields(m_, s);
  // Calculations the data source can do are handed to it as SQL.
  TranslateCalculatedFields(m_);
  const bool connected = GetDataAccess(m_)->Current() != nullptr;
  for (FieldDef* f = m_->fieldList; f && connected; f = f->next)
    if ((f->flags & (kFieldCalculation | kFieldJoin)) == (kFieldCalculation | kFieldJoin) && f->code != nullptr &&
        f->sqlText == nullptr) {
      char text[300];
      std::snprintf(text, sizeof text, GetResString(928, 0), f->name);
      hooks_.ShowWarning(doc_, text);
    }
  // A join whose linking field is gone or cannot be given as SQL stops every
  // run until it is edited; the report still opens.
  if (FindConditionDependency(m_) != nullptr) hooks_.ShowWarning(doc_, GetResString(2551, 0));
  // Places: bottoms from the baseline offsets, tops from the top offsets.
  ShiftObjectsFromBandTop(doc_.m_bandLines, places_);
  // Positions stored in other layout units are rescaled; a unit of 0 means none given.
  if (!s_.oldLayout) RescaleObjectsToGrid(lt, m_, s_.layoutUnits[0], s_.layoutUnits[1]);
  s_.layoutUnits[0] = s_.layoutUnits[1] = 100;
  // A chart's stored place words go with the rectangle they were read into.
  if (lt != nullptr)
    for (int i = 0; i < lt->charts.Count() && static_cast<size_t>(i) < s_.chartPlaces.size(); ++i) {
      const ReportItemHead& h = lt->charts.At(i)->head;
      ReportSettings::ChartPlace& kept = s_.chartPlaces[static_cast<size_t>(i)];
      kept.rect[0] = h.left, kept.rect[1] = h.top, kept.rect[2] = h.right, kept.rect[3] = h.bottom;
    }
  if (st_.version < 7 && s_.oldLayout == 0) s_.oldLayout = 1;
  if (st_.secondOutputMode != 0 && lt != nullptr)
    for (TextItem* x = lt->textHead; x; x = x->nextText) x->head.flags |= st_.secondOutputMode;
  // Margins and explicit line heights were stored in the report's measure.
  if (sawUnit_) {
    const int stored = storedUnit_ == 1 ? 1 : 0, now = doc_.m_measure == 1 ? 1 : 0;
    if (stored != now) {
      ConvertMarginUnits(doc_, stored, now);
      ConvertBandLineUnits(doc_, stored, now);
    }
  }
  // A report made for a character-mode printer: faces and sizes from the
  // printer-font lists, the paper as a paper code.
  if (s_.oldLayout && lt != nullptr && doc_.m_pFonts != nullptr) {
    const CharacterFontLists lists = ReadCharacterFontLists(GetFontInfoIniName(), st_.reportPath, Page().word16);
    SetupCharacterPrinter(*lt, *doc_.m_pFonts, m_, lists, 0);
    MatchPaperSize(Page(), doc_.m_measure == 1 ? 1 : 0);
  }
  // The label arrangement follows the page records.
  PageSetupRec& p = Page();
  if (p.RecordsAcross >= 2) SetLabelArrangement(p, p.RecordsAcross, true);
  else SetLabelArrangement(p, p.ExtraColumns + 1, false);
  // Unknown record types, once.
  if (st_.unknownCount > 0) {
    std::string text = std::string(GetResString(3600, 0)) + GetResString(3601, 1);
    char buf[16];
    for (int i = 0; i < st_.unknownCount; ++i) {
      std::snprintf(buf, sizeof buf, i == 0 ? ": %X" : ", %X", unsigned(st_.unknownTypes[i]));
      text += buf;
    }
    hooks_.ShowWarning(doc_, text);
  }
  for (FieldDef* f = m_->fieldList; f; f = f->next) f->flags2 &= ~kField2KeepRefNumber;
  return 0;
}

int Reader::Run() {
  if (m_ == nullptr) return kReadError;
  st_.ResetForRead();
  uint8_t frame[kRecordHeaderSize];
  if (!src_.Read(frame, sizeof frame)) return Fail(kReadError);
  uint16_t word = static_cast<uint16_t>(frame[0] | (frame[1] << 8));
  const size_t len = static_cast<size_t>(frame[2] | (frame[3] << 8));
  if (wide_) word &= static_cast<uint16_t>(~kStringRecordFlag);
  // A header that is not type 1, too long or too short to hold the version is refused.
  if (word != rec::Header || len > kRecordBufferSize || len < 2) return kReadRefused;
  std::vector<uint8_t> buf(len);
  if (!src_.Read(buf.data(), len)) return Fail(kReadError);
  if (buf[0] > kStreamVersion) return kReadRefused;
  st_.version = buf[0];
  st_.headerByte1 = buf[1];
  ClearReportContents(doc_);
  st_.reading = 1;
  struct Done {
    RecordStreamState& st;
    ~Done() { st.reading = 0; }
  } done{st_};

  std::vector<uint8_t> payload;
  for (;;) {
    if (!src_.Read(frame, sizeof frame)) return Fail(kReadError);
    word = static_cast<uint16_t>(frame[0] | (frame[1] << 8));
    const size_t n = static_cast<size_t>(frame[2] | (frame[3] << 8));
    if (wide_) word &= static_cast<uint16_t>(~kStringRecordFlag);
    const uint16_t number = static_cast<uint16_t>(word & (wide_ ? 0x3FFF : 0x7FFF));
    if (number > kHighestRecordType) {
      // Unknown: skipped whatever its length, and named once after the end.
      st_.NoteUnknownType(word);
      uint8_t chunk[256];
      for (size_t left = n; left > 0;) {
        const size_t take = std::min(left, sizeof chunk);
        if (!src_.Read(chunk, take)) return Fail(kReadError);
        left -= take;
      }
      continue;
    }
    if (number == rec::SqlStatement && n > kSqlBufferSize) return kReadLibraryError;
    if (!IsLongRecordType(number) && n > kRecordBufferSize) return Fail(kReadError);
    payload.resize(n);
    if (n != 0 && !src_.Read(payload.data(), n)) return Fail(kReadError);
    // Narrowed items take only their own 62 and 87 and the 99 after them.
    const uint16_t plain = number & 0x7FFF;
    if (plain != rec::ObjectFlags && plain != rec::ColumnHead && plain != rec::ExpressionText) {
      curHead_ = nullptr;
      curField_ = nullptr;
    }
    int r = Dispatch(word, plain, payload.data(), n);
    if (r == kReadStop) return EndRecord();
    if (r == kReadError) return Fail(kReadError);
    if (r != 0) return r;
  }
}

}  // namespace

int TableSlotFromOrdinal(const int storedSlots[], int stored) {
  if (stored & 0x80) return stored;
  for (int s = 0; s < kMaxTables; ++s)
    if (storedSlots[s] == stored) return s;
  return -1;
}

void FreeReportTextItems(KmDocBase& doc) {
  LayoutTables* t = doc.m_pLayout;
  if (t == nullptr) return;
  for (TextItem* x = t->textHead; x != nullptr;) {
    TextItem* next = x->nextText;
    if (x->head.faceAtom != 0) DeleteFaceAtom(x->head.faceAtom);
    HeapFreeBlock(x->text);
    delete x;
    x = next;
  }
  t->textHead = nullptr;
  t->textCount = 0;
}

void ClearReportContents(KmDocBase& doc) {
  if (CKmComposite* m = doc.m_pModel) {
    while (m->fieldList != nullptr)
      if (!m->DeleteField(m->fieldList, 2 | 4)) break;
    for (int s = 0; s < kMaxTables; ++s) m->FreeTableSlot(static_cast<uint32_t>(s));
    // The statement and result name of the report before (one started from
    // a query, say) are not this report's: the statement's columns would
    // stand in for the master table's.
    FreeSqlMaster(m);
    m->reportViewName = "RESULT";
    HeapFreeBlock(m->conditionCode);
    m->conditionCode = nullptr;
    m->conditionLength = 0;
    std::fill(std::begin(m->groupFields), std::end(m->groupFields), kNoField);
    std::fill(std::begin(m->groupFlags), std::end(m->groupFlags), 0);
    std::fill(std::begin(m->sortFields), std::end(m->sortFields), kNoField);
    std::fill(std::begin(m->sortWords), std::end(m->sortWords), 0);
    std::fill(std::begin(m->sortLengths), std::end(m->sortLengths), 1);
  }
  if (doc.m_bandLines.lines != nullptr) ClearBandLineTable(doc.m_bandLines);
  if (LayoutTables* t = doc.m_pLayout) {
    FreeReportTextItems(doc);
    t->linesBoxes.Clear();
    t->pictures.Clear();
    t->charts.Clear();
    t->currentItem = nullptr;
    // The vertical order linked the items just freed: whoever walks it next
    // builds it again from the new tables.
    t->orderHead = t->orderTail = nullptr;
    if (doc.m_pModel != nullptr) doc.m_pModel->itemListHead = doc.m_pModel->itemListTail = nullptr;
  }
}

int ReadReportRecords(KmDocBase& doc, RecordStreamState& st, RecordSource& src) {
  // One wait cursor for the whole read, taken back on every way out.
  struct Wait {
    KmDocBase& doc;
    explicit Wait(KmDocBase& d) : doc(d) { doc.SetWaitCursor(1); }
    ~Wait() { doc.SetWaitCursor(0); }
  } wait(doc);
  Reader r(doc, st, src);
  const int result = r.Run();
  st.result = result;
  return result;
}
