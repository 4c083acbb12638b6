// The report writer: every record of the open report in the stream's order.
// Record values are built from copies, so a save never changes the model
// (the in-use bit is inverted and texts trimmed in the bytes only).
#include "files/report_writer.h"

#include "charts/chart.h"
#include "layout/chart_size.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

#include "foundation/doc_base.h"
#include "layout/page_setup.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/open_tables.h"
#include "model/reselect_tables.h"
#include "platform/win/fileio.h"

namespace {

constexpr uint32_t kJoinKindMask = 0x3030C;
constexpr uint32_t kMasterJoinKindMask = 0x30304;

std::string TrimBlanks(const char* s) {
  std::string t = s != nullptr ? s : "";
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}
const char* Str(const char* s) { return s != nullptr ? s : ""; }

bool Held(const ReportItemHead& h) { return (h.flags & (kItemDeleted | kItemInClipboard)) != 0; }

class Writer {
 public:
  Writer(KmDocBase& doc, RecordStreamState& st, RecordSink& sink)
      : doc_(doc), st_(st), sink_(sink), wide_(sink.Mode() == StreamMode::Storage),
        m_(doc.m_pModel), s_(st.settings) {}

  int Run();

 private:
  PayloadBuilder B() { return PayloadBuilder(sink_.Mode(), &st_.overflow); }
  // A desktop-file table of a report kept relative to its master (its place
  // bit 2, or the master's when it shares the master's source) is stored
  // relative to the master's directory, so the files can move together; the
  // reader completes it against the master again.
  std::string RelativeTablePath(uint32_t slot, const char* path) const {
    const uint16_t own = s_.sources[slot].placeBits;
    const bool relative = (own & 2) != 0 || ((own & 8) != 0 && (s_.sources[0].placeBits & 2) != 0);
    if (!relative || m_->tableSlots[0] == nullptr) return path;
    TablePathContext ctx;
    ctx.masterPath = m_->tableSlots[0]->path;
    return ResolveMasterPath(path, ctx);
  }
  // A buffered record: refused when the reader would refuse it.
  bool Put(uint16_t type, const PayloadBuilder& b) {
    if (b.Size() > kRecordBufferSize && !IsLongRecordType(type & 0x3FFF)) {
      Refuse(type, b.Size());
      return false;
    }
    return yxput(st_, sink_, type, b.Size(), b.Data().data()) == 0;
  }
  bool PutLong(uint16_t type, const void* data, size_t n) {
    if (n > 0xFFFF && wide_) {
      Refuse(type, n);
      return false;
    }
    return yxput(st_, sink_, type, n, data) == 0;
  }
  bool PutString(uint16_t type, const std::string& text) {
    if (wide_) {
      std::vector<uint8_t> b(text.begin(), text.end());
      b.push_back(0);
      if (type == rec::SqlStatement ? b.size() > kSqlBufferSize : b.size() > kRecordBufferSize) {
        Refuse(type, b.size());
        return false;
      }
      return yxput(st_, sink_, type | kStringRecordFlag, b.size(), b.data()) == 0;
    }
    if (type == rec::SqlStatement ? text.size() + 1 > kSqlBufferSize : text.size() > kRecordBufferSize) {
      Refuse(type, text.size());
      return false;
    }
    return yxput(st_, sink_, type, text.size(), text.data()) == 0;
  }
  void Refuse(uint16_t type, size_t n) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "record %u of %zu bytes is longer than a report can hold",
                  unsigned(type & 0x3FFF), n);
    RefuseText(buf);
  }
  void RefuseText(const char* why) {
    if (st_.writeError.empty()) st_.writeError = why;
  }

  uint32_t FieldIndex(const FieldDef* f) const {
    auto it = index_.find(f);
    return it == index_.end() ? kNoField : it->second;
  }
  // The picture's path, made relative to the report's folder, still names a folder.
  bool PictureHasFolder(const char* path) const {
    std::string p = path;
    const std::string& base = st_.baseDirectory;
    if (!base.empty() && p.size() > base.size() + 1 && strncasecmp(p.c_str(), base.c_str(), base.size()) == 0 &&
        IsPathSeparator(p[base.size()]))
      p = p.substr(base.size() + 1);
    return p.find_first_of("\\/") != std::string::npos;
  }
  int32_t LineBottom(int line) const {
    const BandLineTable& t = doc_.m_bandLines;
    if (t.lines == nullptr || line < 0 || line >= kBandLineTableRecords) return 0;
    return t.lines[line].bottom;
  }
  uint32_t Baseline(const ReportItemHead& h) const {
    int64_t v = int64_t(LineBottom(h.bandLine)) - (int64_t(h.bottom) - h.descent);
    return v < 0 ? 0 : static_cast<uint32_t>(v);
  }
  uint32_t TopOffset(const ReportItemHead& h) const {
    int64_t v = int64_t(LineBottom(h.bandLine)) - h.top;
    return v < 0 ? 0 : static_cast<uint32_t>(v);
  }
  uint8_t FontSaved(const ReportItemHead& h) const {
    std::string face = ItemFaceName(doc_, h);
    for (size_t i = 0; i < faces_.size(); ++i)
      if (strcasecmp(faces_[i].c_str(), face.c_str()) == 0) return static_cast<uint8_t>(i);
    return 0;
  }

  void WideHead(PayloadBuilder& b, const ReportItemHead& h, uint32_t columns) {
    b.U16(31);
    b.U32(h.flags & kWideHeadMask);
    b.U32(static_cast<uint32_t>(h.pointSize));
    b.U32(static_cast<uint32_t>(h.measuredWidth));
    b.U32(static_cast<uint32_t>(h.left));
    b.U32(static_cast<uint32_t>(h.right - h.left + 1));
    b.U32(Baseline(h));
    b.U8(FontSaved(h));
    b.U8(h.colour);
    b.U8(h.bandLine);
    b.U8(columns);
    b.U8(h.fontStyle);
  }
  void WideBody(PayloadBuilder& b, const FieldDef* f) {
    b.U16(32);
    b.U32(FieldIndex(f));
    b.U32(f->flags ^ kFieldNeeded);
    b.U32(f->flags2);
    b.U32(f->flags3word);
    b.U32(f->formatCode);
    b.U32(f->timeFormat);
    b.U32(f->displayWidth);
    b.U8(f->totalFlags);
    b.U8(f->displayDecimals);
  }
  void Descriptor(PayloadBuilder& b, const FieldDef* f) {
    b.Narrow16(FieldIndex(f));
    b.U32(f->flags ^ kFieldNeeded);
    b.U16(f->totalFlags);
    b.Narrow16(f->formatCode);
    b.U8(f->head.bandLine);
    b.Narrow8(static_cast<uint32_t>(f->head.column));
    b.U8(f->head.fontStyle & 0x0F);
    b.Narrow8(f->displayWidth);
    b.U8(f->displayDecimals);
  }
  // 62 then 87 after a narrowed item.
  bool FlagsAndColumn(const ReportItemHead& h, const FieldDef* f) {
    PayloadBuilder b = B();
    b.U8(h.flags & kNarrowFlagsMask);
    b.U8(FontSaved(h));
    b.U8(f ? (f->flags2 & 0xFF) : 0);
    b.Narrow16(static_cast<uint32_t>(h.pointSize));
    b.Narrow16(static_cast<uint32_t>(h.measuredWidth));
    b.Narrow16(static_cast<uint32_t>(h.column));
    // The chart mark is the run's, set again by every print or preview: a
    // member keeps the 16 bits that are the report's own.
    b.Narrow16(f ? f->flags2 & ~kField2UsedByChart : 0);
    b.Narrow16(f ? f->flags3word : 0);
    b.Narrow16(f ? f->timeFormat : 0);
    if (!Put(rec::ObjectFlags, b)) return false;
    PayloadBuilder c = B();
    const bool exempt = f != nullptr && (f->totalFlags & 1);
    if (exempt) {
      c.U16(static_cast<uint32_t>(h.left));
      c.U16(static_cast<uint32_t>(h.right - h.left + 1));
    } else {
      c.NarrowSigned16(h.left);
      c.NarrowSigned16(h.right - h.left + 1);
    }
    c.Narrow16(Baseline(h));
    c.U8(h.colour);
    return Put(rec::ColumnHead, c);
  }

  bool PlainField(const FieldDef* f);
  bool EvalField(const FieldDef* f, uint16_t groupFlag);
  bool SourceGroup(uint32_t slot);
  bool Tables();
  bool Lines();
  bool GroupsAndSorts();
  bool PageSetup();
  bool Items();
  bool WindowsRecords();

  KmDocBase& doc_;
  RecordStreamState& st_;
  RecordSink& sink_;
  bool wide_;
  CKmComposite* m_;
  ReportSettings& s_;
  std::vector<std::string> faces_;
  std::map<const FieldDef*, uint32_t> index_;
};

bool IsPlainField(const FieldDef* f) {
  return (f->flags & (kFieldAlias | kFieldCalculation)) == 0 && (f->totalFlags & kTotalIsTotal) == 0;
}
bool IsEvalField(const FieldDef* f) {
  if (f->flags & kFieldAlias) return !Held(f->head);
  return (f->flags & kFieldCalculation) != 0 || (f->totalFlags & kTotalIsTotal) != 0;
}

bool Writer::PlainField(const FieldDef* f) {
  PayloadBuilder b = B();
  if (wide_) {
    WideHead(b, f->head, f->head.width);
    WideBody(b, f);
    b.TextNul(f->name);
    return Put(rec::FieldItem, b);
  }
  Descriptor(b, f);
  b.RawText(f->name);
  return Put(rec::DbField, b) && FlagsAndColumn(f->head, f);
}

bool Writer::EvalField(const FieldDef* f, uint16_t groupFlag) {
  PayloadBuilder b = B();
  if (f->flags & kFieldAlias) {
    if (wide_) {
      WideHead(b, f->head, f->head.width);
      WideBody(b, f);
      b.U32(f->refField);
      return Put(rec::WideDuplicate, b);
    }
    Descriptor(b, f);
    b.U16(f->refField);  // a source above 65535 is refused by the descriptor's index check
    if (f->refField > 0xFFFF) st_.overflow = 1;
    return Put(rec::Duplicate | groupFlag, b) && FlagsAndColumn(f->head, f);
  }
  const std::string expr = Str(f->exprText);
  if (f->flags & kFieldCalculation) {
    const std::string second = TrimBlanks(f->text);
    if (wide_) {
      WideHead(b, f->head, f->head.width);
      WideBody(b, f);
      b.U8(f->table);
      b.TextNul(f->name);
      b.TextNul(expr.c_str());
      b.TextNul(second.c_str());
      return Put(rec::WideCalc, b);
    }
    Descriptor(b, f);
    b.U8(f->table);
    b.Counted(f->name);
    b.RawText(second.c_str());
    if (!Put(rec::Calc | groupFlag, b) || !FlagsAndColumn(f->head, f)) return false;
  } else {
    const std::string cond = TrimBlanks(f->conditionText);
    if (wide_) {
      WideHead(b, f->head, f->head.width);
      WideBody(b, f);
      b.U32(f->refField);
      b.U8(f->totalFunction);
      b.U8(f->totalLevel);
      b.U8(f->totalReset);
      b.U32(0);  // condition word
      b.Counted(cond.c_str());
      b.Counted(f->name);
      b.TextNul(expr.c_str());
      return Put(rec::WideTotal, b);
    }
    if (!cond.empty()) {
      PayloadBuilder c = B();
      c.U32(0);
      c.Counted(cond.c_str());
      if (!Put(rec::TotalCondition, c)) return false;
    }
    Descriptor(b, f);
    b.Narrow16(f->refField);
    b.U8(f->totalFunction);
    b.U8(f->totalLevel);
    b.U8(f->totalReset);
    b.RawText(f->name);
    if (!Put(rec::Total | groupFlag, b) || !FlagsAndColumn(f->head, f)) return false;
  }
  if (expr.empty()) return true;
  PayloadBuilder e = B();
  e.TextNul(expr.c_str());
  return Put(rec::ExpressionText, e);
}

bool Writer::SourceGroup(uint32_t slot) {
  const TableSourceGroup& g = s_.sources[slot];
  if (wide_) {
    // The connection's user id and password are stored in clear, as existing
    // report files hold them; they are never logged.
    if (!PutString(rec::Driver, g.driver) || !PutString(rec::ConnectUser, g.connectUser)) return false;
  }
  PayloadBuilder q = B();
  q.U8(g.quote);
  if (!Put(rec::QuoteChar, q)) return false;
  if (g.entryForm) {
    PayloadBuilder e = B();
    e.Counted(g.sourceName.c_str());
    e.Plain(g.databaseName.c_str());
    return Put(rec::DataSourceEntry, e);
  }
  return PutString(rec::TableName, g.sourceName);
}

// The table a field is written with: its own slot, or the master for the
// special numbers and for slots that hold no table.
uint32_t FieldSlot(const CKmComposite* m, const FieldDef* f) {
  if (f->table < kMaxTables && m->tableSlots[f->table] != nullptr) return f->table;
  return 0;
}

bool Writer::Tables() {
  // Tables by their order numbers, the lowest slot first among equals.
  std::vector<uint32_t> slots;
  for (uint32_t slot = 0; slot < static_cast<uint32_t>(kMaxTables); ++slot)
    if (m_->tableSlots[slot] != nullptr) slots.push_back(slot);
  std::stable_sort(slots.begin(), slots.end(), [&](uint32_t a, uint32_t b) {
    return (a == 0 ? -1 : m_->tableSlots[a]->order) < (b == 0 ? -1 : m_->tableSlots[b]->order);
  });
  if (slots.empty() || slots[0] != 0) slots.insert(slots.begin(), 0);  // fields without a master
  for (uint32_t slot : slots) {
    {
      TableSlot* t = m_->tableSlots[slot];
      if (slot != 0) {
        if (!SourceGroup(slot)) return false;
        PayloadBuilder p = B();
        p.U16(s_.sources[slot].placeBits);
        if (!Put(rec::TablePlace, p)) return false;
        // Link pairs: the first gives 114 and the link field of 111.
        std::vector<std::pair<uint32_t, uint32_t>> pairs;
        bool ended = false;
        for (const JoinLink* l = &t->link; l != nullptr && !ended; l = l->next)
          for (const auto& pr : l->pairs) {
            if (pr[0] == kNoField) {
              ended = true;
              break;
            }
            pairs.emplace_back(pr[0], pr[1]);
          }
        const FieldDef* parent = pairs.empty() ? nullptr : m_->GetFieldAt(pairs[0].first);
        const FieldDef* key = pairs.empty() ? nullptr : m_->GetFieldAt(pairs[0].second);
        if (parent != nullptr && key != nullptr) {
          PayloadBuilder j = B();
          if (wide_) j.U32(parent->flags & kMasterJoinKindMask);
          j.Plain(parent->name);
          if (!Put(rec::JoinField, j)) return false;
          for (size_t i = 1; i < pairs.size(); ++i) {
            const FieldDef* a = m_->GetFieldAt(pairs[i].first);
            const FieldDef* k = m_->GetFieldAt(pairs[i].second);
            if (a == nullptr || k == nullptr) continue;
            PayloadBuilder jp = B();
            jp.U32(a->flags & kJoinKindMask);
            jp.U16(a->table);
            jp.Counted(a->name);
            jp.Plain(k->name);
            if (!Put(rec::JoinPair, jp)) return false;
          }
        }
        PayloadBuilder r = B();
        r.U8(slot);
        r.U8(t->relationBits);
        r.U8(parent != nullptr && key != nullptr ? parent->table : 255);
        r.U32(parent != nullptr && key != nullptr ? (key->flags & kJoinKindMask) : 0xFFFFFFFFu);
        r.Counted(parent != nullptr && key != nullptr ? key->name : "");
        r.Counted(RelativeTablePath(slot, t->path).c_str());
        r.Counted("");
        r.Plain(t->alias);
        if (!Put(rec::Table, r)) return false;
      }
      for (const FieldDef* f = m_->fieldList; f; f = f->next)
        if (IsPlainField(f) && f->table != kTableDerivedColumn && FieldSlot(m_, f) == slot)
          if (!PlainField(f)) return false;
      for (const FieldDef* f = m_->fieldList; f; f = f->next)
        if (IsEvalField(f) && FieldSlot(m_, f) == slot)
          if (!EvalField(f, 0)) return false;
    }
  }
  return true;
}

bool Writer::Lines() {
  const BandLineTable& t = doc_.m_bandLines;
  int last = -1;
  if (t.lines != nullptr)
    for (int i = 0; i < kBandLineCount; ++i)
      if (t.lines[i].kind != kBandFree) last = i;
  PayloadBuilder k = B(), fl = B();
  for (int i = 0; i <= last; ++i) {
    k.U8(t.lines[i].kind);
    fl.U8(t.lines[i].flags & 9);
  }
  if (!Put(rec::LineKinds, k) || !Put(rec::LineFlags, fl)) return false;
  for (int i = 0; i <= last; ++i) {
    const BandLineRec& l = t.lines[i];
    if (l.objectId != -1) {
      PayloadBuilder b = B();
      b.U8(i);
      if (wide_) b.U32(static_cast<uint32_t>(l.objectId)); else b.NarrowSigned16(l.objectId);
      if (!Put(wide_ ? rec::WideLineObject : rec::LineObject, b)) return false;
    }
    if (l.reserved != 0) {
      PayloadBuilder b = B();
      b.U8(i);
      b.U8(l.reserved);
      if (!Put(rec::LineTable, b)) return false;
    }
    if (l.heightMode != 0) {
      PayloadBuilder b = B();
      b.U8(i);
      b.U8(l.heightMode);
      if (wide_) b.U32(l.height); else b.Narrow16(l.height);
      if (!Put(wide_ ? rec::WideLineHeight : rec::LineHeight, b)) return false;
    }
  }
  return true;
}

bool Writer::GroupsAndSorts() {
  for (int pass = 0; pass < 2; ++pass) {
    for (int slot = 0; slot < kSortSlots; ++slot) {
      const uint32_t id = pass == 0 ? m_->groupFields[slot] : m_->sortFields[slot];
      const uint8_t extra = static_cast<uint8_t>(pass == 0 ? m_->groupFlags[slot] : m_->sortWords[slot]);
      PayloadBuilder b = B();
      b.U8(slot);
      if (wide_) {
        b.U32(id);
      } else {
        // 0xFFFF is the unused mark, so a real field there cannot be narrowed.
        if (id != kNoField && id >= 0xFFFF) st_.overflow = 1;
        b.U16(id == kNoField ? 0xFFFF : id);
      }
      b.U8(extra);
      uint16_t type = pass == 0 ? (wide_ ? rec::WideGroupField : rec::GroupField)
                                : (wide_ ? rec::WideSortField : rec::SortField);
      if (!Put(type, b)) return false;
    }
  }
  return true;
}

bool Writer::PageSetup() {
  PageSetupRec zero{};
  const PageSetupRec& p = doc_.m_pPageSetup != nullptr ? *doc_.m_pPageSetup : zero;
  PayloadBuilder o = B();
  o.U8(p.Copies & 0xFF);
  o.U8((p.Collate ? 0x08 : 0) | 0x10 | (p.NoCompressLines ? 0x80 : 0));
  o.U8(p.OutputDestination & 0xFF);
  o.U8(p.word12 & 0xFF);
  if (p.OutputDestination == kOutputToFile && !s_.printFileName.empty()) o.Counted(s_.printFileName.c_str());
  if (!Put(rec::Output, o)) return false;
  PayloadBuilder c = B();
  c.Narrow16(static_cast<uint32_t>(p.Copies));
  if (!Put(rec::Copies, c)) return false;
  PayloadBuilder sl = B();
  sl.U8((p.NoSuppressRecordLines * 2) & 0xFF);
  if (!Put(rec::SuppressLines, sl)) return false;
  PayloadBuilder ob = B();
  ob.U8((p.word16 | (p.Landscape * 4) | (p.NoLineSwitch * 8)) & 0xFF);
  ob.U8(0);
  ob.U8(0);
  if (!Put(rec::OutputBits, ob)) return false;
  PayloadBuilder pg = B();
  if (wide_) {
    pg.U8(p.word19 & 0xFF);
    pg.U8(p.NoBreakRecordArea & 0xFF);
    pg.U32(static_cast<uint32_t>(p.PaperSource));
  } else {
    pg.U8(p.word19 & 0xFF);
    pg.U8(0);
    pg.U8(p.NoBreakRecordArea & 0xFF);
    pg.U8(p.PaperSource & 0xFF);
  }
  // The record height is 16 bits in both forms: a larger one cannot be kept.
  pg.NarrowSigned16(p.RecordHeight);
  if (wide_ && (p.RecordHeight < 0 || p.RecordHeight > 0xFFFF)) RefuseText("the record height is above 65535");
  if (!Put(wide_ ? rec::WidePage : rec::Page, pg)) return false;
  PayloadBuilder pa = B();
  pa.U8(p.word8 & 0xFF);
  pa.NarrowSigned16(p.PaperLength);
  if (!Put(rec::Paper, pa)) return false;
  PayloadBuilder mg = B();
  mg.NarrowSigned16(p.TopMargin);
  mg.NarrowSigned16(p.BottomMargin);
  mg.NarrowSigned16(p.LeftMargin);
  mg.NarrowSigned16(p.RightMargin);
  mg.U16(s_.marginsWord);
  mg.NarrowSigned16(p.PaperWidth);
  if (!Put(rec::Margins, mg)) return false;
  PayloadBuilder pl = B();
  pl.U8(p.ExtraColumns & 0xFF);
  pl.NarrowSigned16(p.RecordWidth);
  // The copies field as the model keeps it.
  s_.recordCopiesField = m_->recordRepeatField == kNoField ? -1 : static_cast<int32_t>(m_->recordRepeatField);
  if (s_.recordCopiesField < -1 || s_.recordCopiesField >= 0xFFFF) {
    st_.overflow = 1;
    if (wide_) RefuseText("the copies field is numbered above 65534");
  }
  pl.U16(s_.recordCopiesField == -1 ? 0xFFFF : static_cast<uint32_t>(s_.recordCopiesField));
  pl.NarrowSigned16(p.RecordCopies);
  pl.U8(p.NoHeadFootInSummary & 0xFF);
  pl.U8(p.RecordsAcross & 0xFF);
  if (!Put(rec::PageLayout, pl)) return false;
  if (!s_.labelStock.empty()) {
    PayloadBuilder lt = B();
    for (int i = 0; i < 5; ++i) lt.U8(0);
    const size_t n = std::min<size_t>(s_.labelStock.size(), 255);
    lt.U8(n);
    lt.U8(0);
    lt.Bytes(s_.labelStock.data(), n);
    if (!Put(rec::PageText, lt)) return false;
  }
  PayloadBuilder ln = B();
  ln.U8(doc_.m_measure == 1 ? 1 : 0);
  if (wide_) ln.U32(s_.pageLength); else ln.Narrow16(s_.pageLength);
  if (!Put(wide_ ? rec::WidePageLength : rec::PageLength, ln)) return false;
  PayloadBuilder pr = B();
  pr.U32(s_.firstPage);
  pr.U32(s_.lastPage);
  return Put(rec::PageRange, pr);
}

bool Writer::Items() {
  LayoutTables* t = doc_.m_pLayout;
  if (t == nullptr) return true;
  for (const TextItem* x = t->textHead; x != nullptr; x = x->nextText) {
    if (Held(x->head)) continue;
    const char* text = Str(x->text);
    PayloadBuilder b = B();
    if (wide_) {
      WideHead(b, x->head, static_cast<uint32_t>(std::strlen(text)));
      b.U8(x->alignment);
      b.TextNul(text);
      if (!Put(rec::WideText, b)) return false;
    } else {
      b.U8(x->head.bandLine);
      b.Narrow8(static_cast<uint32_t>(x->head.column));
      b.Narrow8(static_cast<uint32_t>(std::strlen(text)));
      b.U8(x->head.fontStyle);
      b.U8(x->alignment);
      b.RawText(text);
      if (!Put(rec::TextItem, b) || !FlagsAndColumn(x->head, nullptr)) return false;
    }
  }
  const BandLineTable& lines = doc_.m_bandLines;
  for (int i = 0; i < t->linesBoxes.Count(); ++i) {
    const LineBoxItem& x = *t->linesBoxes.At(i);
    if (Held(x.head)) continue;
    const ReportItemHead& h = x.head;
    int32_t height = h.bottom - h.top + 1;
    bool full = h.height == -1;
    if (lines.lines != nullptr && h.bandLine < kBandLineTableRecords) {
      const BandLineRec& l = lines.lines[h.bandLine];
      if (l.heightMode == 0 && l.pixelHeight > 0 && height == l.pixelHeight) full = true;
    }
    PayloadBuilder b = B();
    if (wide_) {
      b.U32(h.flags & kBoxFlagsMask);
      b.U32(static_cast<uint32_t>(h.left));
      b.U32(TopOffset(h));
      b.U8(x.alignment);
      b.U32(full ? 0xFFFFFFFFu : static_cast<uint32_t>(height));
      b.U32(static_cast<uint32_t>(h.right - h.left + 1));
      b.U8(x.borders & 0xFF);
    } else {
      b.U16(h.flags & kBoxFlagsMask);
      b.NarrowSigned16(h.left);
      b.Narrow16(TopOffset(h));
      b.U8(x.alignment);
      if (full) b.U16(0xFFFF); else if (height >= 0xFFFF) { st_.overflow = 1; b.U16(height); } else b.NarrowSigned16(height);
      b.NarrowSigned16(h.right - h.left + 1);
      b.U16(x.borders);
    }
    b.U8(x.thickness);
    b.U8(x.pattern);
    b.U8(x.borderColour);
    b.U8(x.foreColour);
    b.U8(x.backColour);
    b.U8(h.bandLine);
    if (!Put(wide_ ? rec::WideBox : rec::Box, b)) return false;
  }
  for (int i = 0; i < t->pictures.Count(); ++i) {
    const PictureItem& x = *t->pictures.At(i);
    if (Held(x.head)) continue;
    const ReportItemHead& h = x.head;
    const uint8_t dirFlag = PictureHasFolder(x.fileName) ? 1 : 0;
    PayloadBuilder b = B();
    if (wide_) {
      b.U32(static_cast<uint32_t>(h.left));
      b.U32(TopOffset(h));
      b.U8(x.alignment);
      b.U32(static_cast<uint32_t>(x.shownWidth));
      b.U32(static_cast<uint32_t>(x.shownHeight));
      for (int32_t v : x.source) b.U32(static_cast<uint32_t>(v));
      b.U16(x.scaling);
    } else {
      b.NarrowSigned16(h.left);
      b.Narrow16(TopOffset(h));
      b.U8(x.alignment);
      b.NarrowSigned16(x.shownWidth);
      b.NarrowSigned16(x.shownHeight);
      for (int32_t v : x.source) b.NarrowSigned16(v);
      b.Narrow8(x.scaling);
    }
    b.U8(h.bandLine);
    b.U8(dirFlag);
    b.Plain(x.fileName);
    if (!Put(wide_ ? rec::WidePicture : rec::Image, b)) return false;
  }
  for (int i = 0; i < t->charts.Count(); ++i) {
    const ChartTableEntry& x = *t->charts.At(i);
    if (Held(x.head)) continue;
    const ReportItemHead& h = x.head;
    PayloadBuilder b = B();
    b.U32(6);
    b.U32(h.flags & kChartFlagsMask);
    b.U32(static_cast<uint32_t>(h.left));
    const ReportSettings::ChartPlace* kept =
        static_cast<size_t>(i) < s_.chartPlaces.size() ? &s_.chartPlaces[i] : nullptr;
    if (kept != nullptr && kept->bytes.size() == 29 && kept->line == h.bandLine && kept->rect[0] == h.left &&
        kept->rect[1] == h.top && kept->rect[2] == h.right && kept->rect[3] == h.bottom) {
      b.Bytes(kept->bytes.data(), kept->bytes.size());  // not moved since it was read
    } else {
      b.U32(TopOffset(h));
      b.U8(kAlignLeft);
      // The size words as the designer last stored them (from the rectangle when never stored).
      uint32_t size[2] = {x.sizeWords[0], x.sizeWords[1]};
      if (size[0] == 0 && size[1] == 0) StoreChartSize(t->metrics, h, size);
      b.U32(size[0]);
      b.U32(size[1]);
      b.U32(static_cast<uint32_t>(h.left));
      b.U32(static_cast<uint32_t>(h.top));
      b.U32(static_cast<uint32_t>(h.right));
      b.U32(static_cast<uint32_t>(h.bottom));
    }
    b.U8(h.bandLine);
    // The chart object's own data (bytes kept as data when there is no chart object).
    if (const CKmChart* chart = ChartOf(x)) {
      std::vector<uint8_t> own;
      chart->Serialize(own);
      b.Bytes(own.data(), own.size());
    } else if (static_cast<size_t>(i) < s_.charts.size()) {
      b.Bytes(s_.charts[i].data(), s_.charts[i].size());
    }
    if (!PutLong(rec::Chart, b.Data().data(), b.Size())) return false;
  }
  return true;
}

bool Writer::WindowsRecords() {
  PayloadBuilder df = B();
  for (uint8_t o : s_.formatOptions) df.U8(o);
  for (const std::string& pic : s_.displayPictures) df.Counted(pic.c_str());
  df.U8(s_.formatOption);
  if (wide_) df.U32(s_.timePicture); else df.Narrow16(s_.timePicture);
  if (!Put(wide_ ? rec::WideDisplayFormats : rec::DisplayFormats, df)) return false;
  if (!s_.formatTexts[0].empty()) {
    PayloadBuilder ft = B();
    ft.Counted(s_.formatTexts[0].c_str());
    ft.Counted(s_.formatTexts[1].c_str());
    ft.Plain(s_.formatTexts[2].c_str());
    if (!Put(rec::FormatTexts, ft)) return false;
  }
  PayloadBuilder lu = B();
  lu.U16(s_.layoutUnits[0]);
  lu.U16(s_.layoutUnits[1]);
  lu.U8(s_.layoutOptions[0]);
  lu.U8(s_.layoutOptions[1]);
  if (!Put(rec::LayoutUnits, lu)) return false;
  auto target = [&](uint16_t type, const ExportTarget& e) {
    if (!e.set || e.fileName.empty()) return true;
    PayloadBuilder b = B();
    b.U8(e.format);
    if (type != rec::Export119) b.U8(e.option);
    if (type == rec::Export89) b.U8(0);
    b.Plain(e.fileName.c_str());
    return Put(type, b);
  };
  auto options = [&](uint16_t type, const ExportOptions& e) {
    if (!e.set || e.settingsText.empty()) return true;
    PayloadBuilder b = B();
    b.U8(e.format);
    for (uint8_t o : e.options) b.U8(o);
    b.Counted(e.exportText.c_str());
    b.Plain(e.settingsText.c_str());
    return Put(type, b);
  };
  if (!target(rec::Export89, s_.targets89) || !target(rec::Export101, s_.targets101) ||
      !target(rec::Export100, s_.targets100) || !target(rec::Export119, s_.targets119))
    return false;
  if (!s_.htmlOptions.empty() && !PutLong(rec::HtmlOptions, s_.htmlOptions.data(), s_.htmlOptions.size()))
    return false;
  return target(rec::Export142, s_.targets142) && options(rec::ExportOptions121, s_.options121) &&
         options(rec::ExportOptions120, s_.options120);
}

int Writer::Run() {
  st_.overflow = 0;
  st_.writeError.clear();
  std::memcpy(st_.platformText, "Windows", 8);
  if (m_ == nullptr) {
    st_.writeError = "no report is open";
    return 1;
  }
  // Record 33: can the report live in a library without loss?
  st_.librarySafe = 1;
  for (const FieldDef* f = m_->fieldList; f; f = f->next) {
    const uint32_t fl = f->flags;
    if ((fl & kFieldNeeded) && (fl & kFieldMemo)) st_.librarySafe = 0;
    if ((fl & kFieldNeeded) && (fl & kFieldCalculation) && !(fl & kFieldAlias) && f->code == nullptr)
      st_.librarySafe = 0;
  }
  // The statement the report runs is the model's; the stored copy follows
  // it whichever dialog set it.
  if (m_->statementText != nullptr && m_->statementText[0] != 0) {
    s_.sqlReport = true;
    s_.sqlStatement = m_->statementText;
  }
  if (!s_.exportDefinitions.empty() || s_.sqlReport) st_.librarySafe = 0;
  // A statement runs on the database it was written for: a server's current
  // database goes with it. A database named by a file's path is the data
  // source's own choice and is not kept.
  if (s_.sqlReport) {
    DataAccess* data = GetDataAccess(m_);
    char database[261];
    if (data->Current() != nullptr && !data->DatabaseIsFile() && data->GetDatabaseName(database, sizeof database) &&
        database[0] != 0)
      s_.databaseName = database;
  }
  faces_ = UsedFontFaces(doc_);
  uint32_t position = 0;
  for (const FieldDef* f = m_->fieldList; f; f = f->next) index_[f] = position++;

  time_t now = time(nullptr);
  struct tm lt {};
  localtime_r(&now, &lt);

  // 1. Report level.
  PayloadBuilder h = B();
  h.U8(kStreamVersion);
  h.U8(1);
  h.U16(static_cast<uint32_t>(lt.tm_year + 1900));
  h.U8(lt.tm_mon + 1);
  h.U8(lt.tm_mday);
  h.U8(lt.tm_hour);
  h.U8(lt.tm_min);
  h.U8(lt.tm_sec);
  h.TextNul(st_.platformText);
  if (!Put(rec::Header, h)) return 1;
  if (!s_.comments.empty()) {
    PayloadBuilder c = B();
    c.TextNul(s_.comments.c_str());
    if (!Put(rec::Comments, c)) return 1;
  }
  PayloadBuilder ls = B();
  ls.U8(st_.librarySafe);
  PayloadBuilder co = B();
  co.U8(s_.compositeOption);
  PayloadBuilder rt = B();
  rt.U16(0);
  rt.U16(1);
  rt.U32(static_cast<uint32_t>(m_->SpaceDotChar));
  if (!Put(rec::LibrarySafe, ls) || !Put(rec::CompositeOption, co) || !Put(rec::ReportType, rt)) return 1;

  // 2. The master's data source and table.
  if (!SourceGroup(0)) return 1;
  PayloadBuilder dt = B();
  dt.U16(s_.dateTimeAnswer);
  PayloadBuilder tp = B();
  tp.U16(s_.sources[0].placeBits);
  if (!Put(rec::DateTimeAnswer, dt) || !Put(rec::TablePlace, tp)) return 1;
  if (s_.sqlReport && !PutString(rec::SqlStatement, s_.sqlStatement)) return 1;
  if (!s_.databaseName.empty() && !PutString(rec::DatabaseName, s_.databaseName)) return 1;
  const TableSlot* master = m_->tableSlots[0];
  if (!PutString(s_.masterRelative ? rec::MasterRelativePath : rec::MasterPath, master ? master->path : ""))
    return 1;
  for (const std::string& face : faces_) {
    PayloadBuilder f = B();
    f.RawText(face.c_str());
    if (!Put(rec::FontName, f)) return 1;
  }
  if (master != nullptr && master->alias[0] != 0 && !PutString(rec::MasterAlias, master->alias)) return 1;

  // 3. The derived column list; a text table's sections are the list, with
  // its name and its file, placed or not.
  const bool text = TextTablePath(m_)[0] != 0 && (m_->statementText == nullptr || m_->statementText[0] == 0);
  auto listed = [&](const FieldDef* f) {
    return f->table == kTableDerivedColumn &&
           (text ? IsPlainField(f) : (f->flags & (kFieldAlias | kFieldItem)) == 0);
  };
  bool derived = false;
  for (const FieldDef* f = m_->fieldList; f; f = f->next)
    if (listed(f)) derived = true;
  if (derived) {
    PayloadBuilder b = B();
    b.Counted(text ? TextTableName(m_) : m_->reportViewName.c_str());
    b.Plain(text ? TextTablePath(m_) : "");
    if (!Put(rec::FieldListBegin, b)) return 1;
    for (const FieldDef* f = m_->fieldList; f; f = f->next)
      if (listed(f) && !PlainField(f)) return 1;
    if (!Put(rec::FieldListEnd, B())) return 1;
  }

  // 5.-6. Tables with their fields and evaluation records.
  if (!Tables()) return 1;
  // 7.-10.
  if (!Lines() || !GroupsAndSorts() || !PageSetup()) return 1;
  if (m_->conditionCode != nullptr && m_->conditionLength != 0 &&
      !PutLong(wide_ ? rec::WideFilterCode : rec::FilterCode, m_->conditionCode, m_->conditionLength))
    return 1;
  // 11.-12.
  if (!Items()) return 1;
  PayloadBuilder ta = B();
  ta.U8(s_.textOption);
  ta.RawText(s_.shortTexts[0].substr(0, 16).c_str());
  if (!Put(rec::TextA, ta) || !PutString(rec::TextB, s_.shortTexts[1]) ||
      !PutString(rec::TextC, s_.shortTexts[2]))
    return 1;
  // 13.-14.
  if (!WindowsRecords()) return 1;
  for (const ExportDefinition& e : s_.exportDefinitions) {
    if (e.name.empty() || e.data.empty()) continue;
    const uint8_t value[2] = {static_cast<uint8_t>(e.value), static_cast<uint8_t>(e.value >> 8)};
    PayloadPiece pieces[] = {{2, value},
                             {e.name.size() + 1, e.name.c_str()},
                             {e.module.size() + 1, e.module.c_str()},
                             {e.data.size(), e.data.data()},
                             {0, nullptr}};
    size_t total = 2 + e.name.size() + 1 + e.module.size() + 1 + e.data.size();
    if (total > 0xFFFF && wide_) {
      Refuse(rec::ExportDefinition, total);
      return 1;
    }
    if (yxMultiPut(st_, sink_, rec::ExportDefinition, pieces) != 0) return 1;
  }
  // 15.
  if (yxput(st_, sink_, rec::End, 0, nullptr) != 0) return 1;
  if (!sink_.Flush()) return 1;
  // In a report file only the page records narrow (16-bit words in both forms).
  if (wide_ && st_.overflow != 0) RefuseText("a page setting is above 65535");
  return (st_.overflow != 0 || !st_.writeError.empty()) ? 1 : 0;
}

}  // namespace

std::string ItemFaceName(KmDocBase& doc, const ReportItemHead& head) {
  std::string face;
  if (head.faceAtom != 0 && GetFaceAtomName(head.faceAtom, &face)) return face;
  if (doc.m_pFonts != nullptr && head.fontIndex >= 0 &&
      static_cast<size_t>(head.fontIndex) < doc.m_pFonts->table.size())
    return doc.m_pFonts->table[head.fontIndex].logFont.lfFaceName;
  return {};
}

std::vector<std::string> UsedFontFaces(KmDocBase& doc) {
  std::vector<std::string> faces;
  auto note = [&](const ReportItemHead& h) {
    std::string f = ItemFaceName(doc, h);
    if (f.empty()) return;
    for (const std::string& g : faces)
      if (strcasecmp(g.c_str(), f.c_str()) == 0) return;
    faces.push_back(f);
  };
  if (doc.m_pModel != nullptr)
    for (const FieldDef* f = doc.m_pModel->fieldList; f; f = f->next) note(f->head);
  if (doc.m_pLayout != nullptr)
    for (const TextItem* x = doc.m_pLayout->textHead; x; x = x->nextText)
      if (!Held(x->head)) note(x->head);
  // The font table's order: faces sorted without regard to case.
  std::stable_sort(faces.begin(), faces.end(),
                   [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  if (faces.size() > static_cast<size_t>(kMaxFontRecords)) faces.resize(kMaxFontRecords);
  return faces;
}

int writeRep(KmDocBase& doc, RecordStreamState& st, RecordSink& sink) {
  Writer w(doc, st, sink);
  int r = w.Run();
  if (r == 0) return 0;
  StreamHooks& hooks = HooksOf(st);
  char text[400];
  if (!st.writeError.empty()) {
    std::snprintf(text, sizeof text, GetResString(61400, 0), st.writeError.c_str());
    hooks.ShowError(doc, text);
  } else if (sink.Mode() == StreamMode::Library) {
    if (st.overflow != 0) {
      hooks.ShowError(doc, GetResString(1150, 0));
    } else {
      const char* why = sink.ErrorText();
      std::snprintf(text, sizeof text, GetResString(735, 0), why != nullptr ? why : "Error");
      hooks.ShowError(doc, text);
    }
  }
  return 1;
}
