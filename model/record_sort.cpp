#include "model/record_sort.h"

#include "expr/collation.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "foundation/heap_strings.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "core/composite.h"
#include "model/record_pass.h"
#include "model/external_sort.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kNullDay = 0x80000001u;
constexpr uint32_t kFirstDatePattern = 0x800001FEu;
constexpr uint32_t kCannotCreateSortFileId = 5940;
constexpr uint32_t kCannotFindFileId = 5941;
constexpr uint32_t kMergeFilesRemainingId = 219;
constexpr int kStackRanges = 30;
constexpr int kCancelEvery = 101;


void ShowSortError(uint32_t id, const char* arg = nullptr) {
  char text[600];
  const char* format = GetResString(id, 0);
  if (arg != nullptr) std::snprintf(text, sizeof text, format, arg);
  else std::snprintf(text, sizeof text, "%s", format);
  ShowSortMessage(text);
}

int CompareDoubles(double a, double b) { return a < b ? -1 : (b < a ? 1 : 0); }

int CompareText(const SortContext& ctx, const char* a, const char* b) {
  if (ctx.collation) return CollateCompareText(a, b, 1, ctx.caseCombined);
  if (ctx.caseCombined) return CompareNoCase(a, b);
  return std::strcmp(a, b);
}

// The bytes a key segment of this kind takes after its tag.
uint32_t KeyValueSize(uint32_t kind, uint8_t tag, const uint8_t* value) {
  switch (kind) {
    case kSortKeyNumber:
    case kSortKeyTime:
      return 8;
    case kSortKeyDate:
      return 4;
    case kSortKeyLogical:
      return 1;
    case kSortKeyDateTime:
      return 12;
    default: {
      const uint32_t text = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(value))) + 1;
      if (!(tag & kSortKeyLost)) return text;
      return text + static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(value + text))) + 1;
    }
  }
}

// The lost characters of a text key (null when it lost none).
const char* LostOfKey(uint8_t tag, const uint8_t* value) {
  if (!(tag & kSortKeyLost)) return nullptr;
  const char* text = reinterpret_cast<const char*>(value);
  return text + std::strlen(text) + 1;
}

}  // namespace

int StatusClassRank(uint8_t status) {
  if (status & 4) return 3;
  if (status & 1) return 2;
  if (status & 2) return 0;
  return 1;
}

void ShowSortMessage(const char* text) { ShowPassMessage(text); }

SortKeyKind SortKeyKindOf(uint32_t flags) {
  if (flags & kFieldNumeric) return kSortKeyNumber;
  if (flags & kFieldDate) return kSortKeyDate;
  if (flags & kFieldDateTime) return kSortKeyDateTime;
  if (flags & kFieldTime) return kSortKeyTime;
  if (flags & kFieldLogical) return kSortKeyLogical;
  return kSortKeyText;
}

namespace {
// The field whose value a key compares: an alias's is its field's.
const FieldDef* KeyValueOwner(const SortContext& ctx, const FieldDef* f) {
  return ctx.model != nullptr ? ctx.model->AliasedField(f) : f;
}
}  // namespace

SortKeyKind SortKeyKindOf(const SortContext& ctx, const FieldDef* field) {
  if (ctx.serverRanks && KeyValueOwner(ctx, field)->serverRanked) return kSortKeyNumber;
  return SortKeyKindOf(field->flags);
}

uint32_t MaxSortRecordLength(const SortContext& ctx) {
  uint32_t n = ctx.keyOffset;
  for (int k = 0; k < ctx.keyCount; ++k)
    n += ctx.keyKinds[k] == kSortKeyText ? SortKeySegmentRoom(kMaxSortKeyText) : 13;
  return n;
}

int CompareLostChars(const char* a, size_t lengthA, const char* lostA, const char* b, size_t lengthB,
                     const char* lostB) {
  const bool noneA = lostA == nullptr || *lostA == 0, noneB = lostB == nullptr || *lostB == 0;
  if (noneA && noneB) return 0;
  auto marks = [](const char* text, size_t length) {
    return std::string(static_cast<size_t>(std::count(text, text + strnlen(text, length), '?')), '?');
  };
  const std::string ownA = noneA ? marks(a, lengthA) : std::string();
  const std::string ownB = noneB ? marks(b, lengthB) : std::string();
  return std::strcmp(noneA ? ownA.c_str() : lostA, noneB ? ownB.c_str() : lostB);
}

uint32_t PutTextKey(uint8_t* p, uint32_t room, uint8_t tag, const char* text, size_t length,
                    unsigned char pad) {
  size_t n = strnlen(text, std::min<size_t>(length, kMaxSortKeyText));
  // Trailing blanks and pads do not count.
  while (n > 0 && (text[n - 1] == ' ' || static_cast<unsigned char>(text[n - 1]) == pad)) --n;
  if (room < n + 2) return 0;
  p[0] = tag;
  // One plain pass the compiler can widen: the group break builds a key for
  // every record.
  uint8_t* const out = p + 1;
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < n; ++i) out[i] = in[i] == pad ? ' ' : in[i];
  out[n] = 0;
  return static_cast<uint32_t>(n + 2);
}

uint32_t PutNumberKey(uint8_t* p, uint32_t room, uint8_t tag, double v) {
  if (room < 9) return 0;
  p[0] = tag;
  std::memcpy(p + 1, &v, 8);
  return 9;
}

uint32_t PutDateKey(uint8_t* p, uint32_t room, uint8_t tag, uint32_t day) {
  if (room < 5) return 0;
  p[0] = tag;
  PutU32(p + 1, day);
  return 5;
}

uint32_t PutLogicalKey(uint8_t* p, uint32_t room, uint8_t tag, uint8_t v) {
  if (room < 2) return 0;
  p[0] = tag;
  p[1] = v;
  return 2;
}

uint32_t PutDateTimeKey(uint8_t* p, uint32_t room, uint8_t tag, uint32_t day, double time) {
  if (room < 13) return 0;
  p[0] = tag;
  PutU32(p + 1, day);
  std::memcpy(p + 5, &time, 8);
  return 13;
}

uint32_t PutTimeKey(uint8_t* p, uint32_t room, uint8_t tag, double time) {
  return PutNumberKey(p, room, tag, time);
}

int CompareSortKey(const SortContext& ctx, uint32_t kind, const uint8_t* a, const uint8_t* b, bool* always) {
  *always = false;
  const uint8_t ta = a[0], tb = b[0];
  const uint8_t* va = a + 1;
  const uint8_t* vb = b + 1;
  if ((ta & kSortKeyPresent) != (tb & kSortKeyPresent)) {
    // A missing key comes after a present one whatever the direction.
    *always = true;
    return (ta & kSortKeyPresent) ? -1 : 1;
  }
  if ((ta | tb) & kSortKeyClassBits) return StatusClassRank(ta) - StatusClassRank(tb);
  const bool numberLike = kind == kSortKeyNumber || kind == kSortKeyTime;
  const bool nullsApply = !numberLike || !ctx.nullNumbersAsZero;
  const bool na = nullsApply && (ta & kSortKeyNull);
  const bool nb = nullsApply && (tb & kSortKeyNull);
  if (na || nb) {
    if (na && nb) return 0;
    switch (ctx.nullOrder) {
      case 2: *always = true; return na ? -1 : 1;
      case 3: *always = true; return na ? 1 : -1;
      case 1: return na ? 1 : -1;
      default: return na ? -1 : 1;
    }
  }
  switch (kind) {
    case kSortKeyNumber:
    case kSortKeyTime: {
      double x = GetF64(va), y = GetF64(vb);
      if (IsNullNumber(x)) x = 0.0;
      if (IsNullNumber(y)) y = 0.0;
      const int diff = CompareDoubles(x, y);
      // A missing number is a group of its own beside 0, just before
      // it, as the database is told to order it.
      if (diff == 0 && ((ta ^ tb) & kSortKeyNull)) return (ta & kSortKeyNull) ? -1 : 1;
      return diff;
    }
    case kSortKeyDate:
    case kSortKeyDateTime: {
      const uint32_t da = GetU32(va), db = GetU32(vb);
      // A pattern on either side matches any date (symmetric, so the
      // order stays consistent); real days compare as signed numbers.
      if (da >= kFirstDatePattern || db >= kFirstDatePattern) return 0;
      const int32_t sa = static_cast<int32_t>(da), sb = static_cast<int32_t>(db);
      if (sa != sb || kind != kSortKeyDateTime) return sa < sb ? -1 : (sb < sa ? 1 : 0);
      double x = GetF64(va + 4), y = GetF64(vb + 4);
      if (IsNullNumber(x)) x = 0.0;
      if (IsNullNumber(y)) y = 0.0;
      return CompareDoubles(x, y);
    }
    case kSortKeyLogical:
      return static_cast<int>(va[0]) - static_cast<int>(vb[0]);
    default: {
      const char* sa = reinterpret_cast<const char*>(va);
      const char* sb = reinterpret_cast<const char*>(vb);
      const int diff = CompareText(ctx, sa, sb);
      if (diff == 0 && ((ta | tb) & kSortKeyLost))
        return CompareLostChars(sa, kMaxSortKeyText, LostOfKey(ta, va), sb, kMaxSortKeyText, LostOfKey(tb, vb));
      return diff;
    }
  }
}

int CompareSortRecords(const SortContext& ctx, const uint8_t* a, const uint8_t* b) {
  const uint8_t* pa = a + ctx.keyOffset;
  const uint8_t* pb = b + ctx.keyOffset;
  for (int k = 0; k < ctx.keyCount; ++k) {
    const uint32_t kind = ctx.keyKinds[k];
    bool always = false;
    const int diff = CompareSortKey(ctx, kind, pa, pb, &always);
    if (diff != 0) return ((diff < 0) == (always || ctx.ascending[k] != 0)) ? 1 : 0;
    // The next key's place is worked out only when this key ties.
    if (k + 1 < ctx.keyCount) {
      pa += 1 + KeyValueSize(kind, pa[0], pa + 1);
      pb += 1 + KeyValueSize(kind, pb[0], pb + 1);
    }
  }
  return GetU32(a + 4) <= GetU32(b + 4) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Run formation

namespace {

struct Pool {
  uint8_t* base = nullptr;
  uint32_t size = 0;
  uint32_t recordArea = 0;   // bytes for records
  uint32_t maxPointers = 0;  // offsets into the record area
  uint32_t* pointers = nullptr;
  ~Pool() { std::free(base); }
};

struct Before {
  const SortContext& ctx;
  const uint8_t* base;
  bool operator()(uint32_t x, uint32_t y) const { return CompareSortRecords(ctx, base + x, base + y) != 0; }
};

void InsertionSort(uint32_t* p, long lo, long hi, const Before& before) {
  for (long i = lo + 1; i <= hi; ++i) {
    uint32_t v = p[i];
    long j = i - 1;
    while (j >= lo && !before(p[j], v)) {
      p[j + 1] = p[j];
      --j;
    }
    p[j + 1] = v;
  }
}

// Iterative quicksort: middle pivot, the larger side waits on a bounded stack
// while the smaller is sorted, so the stack never needs more than log2(n).
bool QuickSortRecords(uint32_t* p, long last, const Before& before) {
  long stackLo[kStackRanges], stackHi[kStackRanges];
  int depth = 0;
  long lo = 0, hi = last;
  for (;;) {
    if (hi - lo < 12) {
      if (hi > lo) InsertionSort(p, lo, hi, before);
      if (depth == 0) return true;
      --depth;
      lo = stackLo[depth];
      hi = stackHi[depth];
      continue;
    }
    const long mid = lo + (hi - lo) / 2;
    std::swap(p[lo], p[mid]);
    const uint32_t pivot = p[lo];
    long i = lo + 1, j = hi;
    for (;;) {
      while (i <= j && before(p[i], pivot)) ++i;
      while (j >= i && !before(p[j], pivot)) --j;
      if (i >= j) break;
      std::swap(p[i], p[j]);
      ++i;
      --j;
    }
    std::swap(p[lo], p[j]);
    long llo = lo, lhi = j - 1, rlo = j + 1, rhi = hi;
    if (depth >= kStackRanges) return false;
    if (lhi - llo > rhi - rlo) {
      stackLo[depth] = llo;
      stackHi[depth] = lhi;
      lo = rlo;
      hi = rhi;
    } else {
      stackLo[depth] = rlo;
      stackHi[depth] = rhi;
      lo = llo;
      hi = lhi;
    }
    ++depth;
  }
}

bool WriteRunFile(SortContext& ctx, const Pool& pool, uint32_t count) {
  const int32_t run = ctx.lastRun + 1;
  WorkFile& file = ctx.runFiles[kRunFileObjects - 1];
  bool ok = file.Create(MakeSortRunName(static_cast<uint32_t>(run)));
  if (ok) ctx.lastRun = run;
  for (uint32_t i = 0; ok && i < count; ++i) {
    const uint8_t* r = pool.base + pool.pointers[i];
    ok = file.Write(r, SortRecordLength(r));
  }
  if (!file.Close()) ok = false;
  if (ok) ++ctx.runsWritten;
  return ok;
}

}  // namespace

void DeleteSortRuns(int32_t last) {
  for (int32_t r = 0; r <= last; ++r) RemoveWorkFile(MakeSortRunName(static_cast<uint32_t>(r)));
}

int WriteSortRun(SortContext& ctx) {
  // A pool too small for the longest possible record would never hold one;
  // a sound minimum keeps room for two of them in the record area.
  uint64_t want = ctx.poolSize == 0 ? kDefaultSortPoolSize : ctx.poolSize;
  const uint64_t needed = std::max<uint64_t>(kMinSortPoolSize, (uint64_t(MaxSortRecordLength(ctx)) * 2 * 10 + 8) / 9);
  if (want < needed) want = needed;
  if (want > 0xFFFFFFF0u) want = 0xFFFFFFF0u;
  ctx.poolSize = static_cast<uint32_t>(want);
  Pool pool;
  for (uint32_t size = ctx.poolSize;; size = size / 4 * 3) {
    if (size < kMinSortPoolSize) return 1;
    pool.base = static_cast<uint8_t*>(std::malloc(size));
    if (pool.base != nullptr) {
      pool.size = size;
      break;
    }
  }
  pool.maxPointers = (pool.size / 10) / 4;
  pool.recordArea = pool.size - pool.maxPointers * 4;
  pool.pointers = reinterpret_cast<uint32_t*>(pool.base + pool.recordArea);
  // Pointers are 4-byte offsets; the record area is rounded so they align.
  pool.recordArea &= ~3u;
  pool.pointers = reinterpret_cast<uint32_t*>(pool.base + pool.recordArea);

  ctx.longest = 0;
  ctx.stopped = 0;
  ctx.lastRun = -1;
  ctx.runsWritten = 0;
  uint32_t count = 0, freePos = 0;
  const Before before{ctx, pool.base};

  auto fail = [&](bool tell) {
    DeleteSortRuns(ctx.lastRun);
    ctx.lastRun = -1;
    if (tell) ShowSortError(kCannotCreateSortFileId);
    return 1;
  };

  for (;;) {
    const int r = ctx.next(ctx);
    if (r == kEngineStopped) {
      ctx.stopped = 1;
      break;
    }
    if (r == kEngineEndOfData) break;
    if (r != 0) {
      DeleteSortRuns(ctx.lastRun);
      ctx.lastRun = -1;
      if (ctx.model != nullptr) ReportScanError(ctx.model, r);
      return 1;
    }
    bool placed = count < pool.maxPointers && ctx.key(ctx, pool.base + freePos, pool.recordArea - freePos) == 0;
    if (!placed) {
      if (count == 0) return fail(false);  // one record larger than the whole pool
      if (count > 1 && !QuickSortRecords(pool.pointers, count - 1, before)) return fail(false);
      if (!WriteRunFile(ctx, pool, count)) return fail(true);
      count = 0;
      freePos = 0;
      if (ctx.key(ctx, pool.base, pool.recordArea) != 0) return fail(false);
    }
    uint8_t* rec = pool.base + freePos;
    PutU32(rec + 4, ctx.sequence++);
    pool.pointers[count++] = freePos;
    freePos += (SortRecordLength(rec) + 3) & ~3u;
    if (freePos > pool.recordArea) freePos = pool.recordArea;
  }
  if (ctx.stopped) return fail(false);
  if (count > 1 && !QuickSortRecords(pool.pointers, count - 1, before)) return fail(false);
  if (ctx.lastRun >= 0) {
    if (count > 0 && !WriteRunFile(ctx, pool, count)) return fail(true);
    return 0;
  }
  WorkFile& out = ctx.runFiles[kRunFileObjects - 1];
  if (!ctx.outputName.empty() && !out.Create(ctx.outputName)) {
    ShowSortError(kCannotCreateSortFileId);
    return 1;
  }
  bool ok = true;
  for (uint32_t i = 0; ok && i < count; ++i) ok = ctx.output(ctx, out, pool.base + pool.pointers[i]) == 0;
  if (out.IsOpen() && !out.Close()) ok = false;
  if (!ok) {
    ShowSortError(kCannotCreateSortFileId);
    RemoveWorkFile(ctx.outputName);
    return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Merging

namespace {

// Reads a run's next record into slot (room bytes): 1 read, 0 the run's end,
// -1 a damaged record (a length outside the header and the slot).
int ReadSortRecord(const SortContext& ctx, WorkFile& file, uint8_t* slot, uint32_t room) {
  long n = file.Read(slot, 2);
  if (n == 0) return 0;
  if (n != 2) return -1;
  const uint32_t length = static_cast<uint32_t>(slot[0]) | (static_cast<uint32_t>(slot[1]) << 8);
  if (length < ctx.keyOffset || length > room) return -1;
  if (file.Read(slot + 2, length - 2) != static_cast<long>(length - 2)) return -1;
  slot[2] = slot[3] = 0;  // the high half of the length word
  return 1;
}

struct MergeHeap {
  const SortContext& ctx;
  std::vector<uint8_t*> slots;  // one per live run
  std::vector<int> runOf;
  bool Before(size_t i, size_t j) const { return CompareSortRecords(ctx, slots[i], slots[j]) != 0; }
  void Swap(size_t i, size_t j) {
    std::swap(slots[i], slots[j]);
    std::swap(runOf[i], runOf[j]);
  }
  void Sift() {
    size_t parent = 0;
    const size_t n = slots.size();
    for (;;) {
      size_t child = 2 * parent + 1;
      if (child >= n) return;
      if (child + 1 < n && Before(child + 1, child)) ++child;
      if (Before(parent, child)) return;
      Swap(parent, child);
      parent = child;
    }
  }
};

// The merge's progress on the document's status dialog.
void ShowMergeProgress(SortContext& ctx, uint32_t phase, uint32_t remaining) {
  const RecordPassHooks& hooks = GetRecordPassHooks();
  if (remaining == 0) {
    if (hooks.showStatus != nullptr) hooks.showStatus(ctx.model, nullptr, 0);
    return;
  }
  if (!ctx.phaseShown) {
    ctx.phaseShown = true;
    if (ctx.lastRun > 0) ShowProgressPhase(ctx.model, static_cast<int>(phase), true);
  }
  if (hooks.showStatus != nullptr) hooks.showStatus(ctx.model, GetResString(kMergeFilesRemainingId, 1), remaining);
}

int AskCancelled(SortContext& ctx) {
  const RecordPassHooks& hooks = GetRecordPassHooks();
  return hooks.cancelled != nullptr ? hooks.cancelled(ctx.model) : 0;
}

// Merges the open runs 0..k-1 into the writer; 0 done, 1 damaged or cancelled
// (cancelled sets *cancel), 2 a writer failure.
int MergeSortRunGroup(SortContext& ctx, int k, WorkFile& out, bool final, bool* cancel) {
  const uint32_t room = ctx.longest;
  std::vector<uint8_t> area;
  try {
    area.resize(static_cast<size_t>(k) * room);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  MergeHeap heap{ctx, {}, {}};
  for (int i = 0; i < k; ++i) {
    uint8_t* slot = area.data() + static_cast<size_t>(i) * room;
    const int r = ReadSortRecord(ctx, ctx.runFiles[i], slot, room);
    if (r < 0) return 1;
    if (r == 0) {
      ctx.runFiles[i].Close();
      continue;
    }
    heap.slots.push_back(slot);
    heap.runOf.push_back(i);
  }
  // Sorted, the slots already form a heap.
  for (size_t i = 1; i < heap.slots.size(); ++i)
    for (size_t j = i; j > 0 && heap.Before(j, j - 1); --j) heap.Swap(j, j - 1);
  int untilCheck = kCancelEvery - 1;
  while (!heap.slots.empty()) {
    const uint8_t* top = heap.slots[0];
    const bool ok = final ? ctx.output(ctx, out, top) == 0 : out.Write(top, SortRecordLength(top));
    if (!ok) return 2;
    const int run = heap.runOf[0];
    const int r = ReadSortRecord(ctx, ctx.runFiles[run], heap.slots[0], room);
    if (r < 0) return 1;
    if (r == 0) {
      ctx.runFiles[run].Close();
      heap.Swap(0, heap.slots.size() - 1);
      heap.slots.pop_back();
      heap.runOf.pop_back();
    }
    heap.Sift();
    if (--untilCheck < 0) {
      untilCheck = kCancelEvery - 1;
      if (AskCancelled(ctx)) {
        *cancel = true;
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace

int MergeSortRuns(SortContext& ctx) {
  int32_t last = ctx.lastRun;
  if (last < 0) return 0;
  const uint32_t longest = std::max<uint32_t>(ctx.longest, 1);
  // At least two runs per step, or the merge would never shrink the run count.
  const int fanIn = static_cast<int>(std::max<uint64_t>(2, std::min<uint64_t>(kMaxMergeFanIn, ctx.poolSize / longest)));
  ctx.mergeSteps = 0;
  WorkFile& out = ctx.runFiles[kRunFileObjects - 1];
  auto closeInputs = [&] {
    for (int i = 0; i < kRunFileObjects - 1; ++i) ctx.runFiles[i].Close();
  };
  for (int32_t first = 0; first <= last; first += fanIn) {
    ShowMergeProgress(ctx, ctx.phase, static_cast<uint32_t>(last - first + 1));
    const int32_t groupLast = std::min<int32_t>(first + fanIn - 1, last);
    const int k = groupLast - first + 1;
    for (int i = 0; i < k; ++i) {
      const std::string name = MakeSortRunName(static_cast<uint32_t>(first + i));
      if (!ctx.runFiles[i].OpenRead(name)) {
        closeInputs();
        ShowSortError(kCannotFindFileId, name.c_str());
        DeleteSortRuns(last);
        return 1;
      }
    }
    const bool final = groupLast == last;
    bool created;
    if (final) created = ctx.outputName.empty() || out.Create(ctx.outputName);
    else created = out.Create(MakeSortRunName(static_cast<uint32_t>(last + 1)));
    if (!created) {
      closeInputs();
      ShowSortError(kCannotCreateSortFileId);
      DeleteSortRuns(last);
      return 1;
    }
    if (!final) ++last;
    bool cancel = false;
    int r = MergeSortRunGroup(ctx, k, out, final, &cancel);
    if (out.IsOpen() && !out.Close() && r == 0) r = 2;
    closeInputs();
    ++ctx.mergeSteps;
    if (r != 0) {
      if (r == 2) ShowSortError(kCannotCreateSortFileId);
      DeleteSortRuns(last);
      if (final) RemoveWorkFile(ctx.outputName);
      return 1;
    }
    for (int32_t i = first; i <= groupLast; ++i) RemoveWorkFile(MakeSortRunName(static_cast<uint32_t>(i)));
    if (final) break;
  }
  ShowMergeProgress(ctx, ctx.phase, 0);
  return 0;
}

// ---------------------------------------------------------------------------
// The record sort

namespace {

// One key segment of the field's current value at p (left bytes of room):
// the bytes written, or 0 when it does not fit.
uint32_t PutFieldKey(const SortContext& ctx, uint32_t kind, const FieldDef* f, uint8_t* p, uint32_t left) {
  CKmComposite* m = ctx.model;
  const uint8_t* v = f->value;
  uint8_t tag = static_cast<uint8_t>(kSortKeyPresent | (f->valueStatus & kSortKeyClassBits));
  uint32_t n = 0;
  const FieldDef* owner = KeyValueOwner(ctx, f);
  switch (kind) {
    case kSortKeyNumber: {
      if (ctx.serverRanks && owner->serverRanked) {
        n = PutNumberKey(p, left, tag, owner->serverRank);
        break;
      }
      const double d = v != nullptr ? GetF64(v) : GetNullNumber();
      if (IsNullNumber(d)) tag |= kSortKeyNull;
      n = PutNumberKey(p, left, tag, d);
      break;
    }
    case kSortKeyDate: {
      const uint32_t day = v != nullptr ? GetU32(v) : kNullDay;
      if (day == kNullDay) tag |= kSortKeyNull;
      n = PutDateKey(p, left, tag, day);
      break;
    }
    case kSortKeyDateTime: {
      const uint32_t day = v != nullptr ? GetU32(v) : kNullDay;
      const double t = v != nullptr ? GetF64(v + 4) : GetNullNumber();
      if (day == kNullDay && IsNullNumber(t)) tag |= kSortKeyNull;
      n = PutDateTimeKey(p, left, tag, day, t);
      break;
    }
    case kSortKeyTime: {
      const double t = v != nullptr ? GetF64(v + 4) : GetNullNumber();
      if (IsNullNumber(t)) tag |= kSortKeyNull;
      n = PutTimeKey(p, left, tag, t);
      break;
    }
    case kSortKeyLogical:
      n = PutLogicalKey(p, left, tag, v != nullptr ? v[0] : 0);
      break;
    default: {
      // A missing text sorts with the empty ones: the group break takes
      // them as one value.
      if (v == nullptr) tag |= kSortKeyNull;
      const char* text = v != nullptr ? reinterpret_cast<const char*>(v) : "";
      const size_t width = v == nullptr                  ? 0
                           : (f->flags & kFieldMemo)     ? kMemoValueBytes
                                                         : m->GetFieldWidth(f);
      n = PutTextKey(p, left, tag, text, std::min<size_t>(width, ctx.textKeyLimit),
                     static_cast<unsigned char>(m->SpaceDotChar));
      // What the text lost to the code page tells apart texts that read the same.
      const std::string& lost = owner->lostChars;
      if (n > 0 && v != nullptr && !lost.empty()) {
        const uint32_t extra = static_cast<uint32_t>(std::min<size_t>(lost.size(), kMaxSortKeyLost)) + 1;
        if (left < n + extra) return 0;
        p[0] |= kSortKeyLost;
        std::memcpy(p + n, lost.data(), extra - 1);
        p[n + extra - 1] = 0;
        n += extra;
      }
      break;
    }
  }
  return n;
}

}  // namespace

uint32_t BuildFieldKeys(SortContext& ctx, FieldDef* const* fields, uint8_t* area, uint32_t room) {
  if (room < ctx.keyOffset) return 0;
  uint32_t pos = ctx.keyOffset;
  for (int k = 0; k < ctx.keyCount; ++k) {
    const uint32_t n = PutFieldKey(ctx, ctx.keyKinds[k], fields[k], area + pos, room - pos);
    if (n == 0) return 0;
    pos += n;
  }
  return pos;
}

uint32_t FieldSortKey(const SortContext& settings, const FieldDef* field, uint8_t* area, uint32_t room) {
  return PutFieldKey(settings, SortKeyKindOf(settings, field), field, area, room);
}

void InitRecordSortContext(CKmComposite* model, SortContext* ctx) {
  const RecordPassState* st = GetRecordPassState(model);
  ctx->model = model;
  ctx->poolSize = st->sortPoolSize;
  ctx->nullOrder = st->nullOrder;
  ctx->nullNumbersAsZero = st->nullNumbersAsZero;
  ctx->caseCombined = model->SortCaseCombined;
  ctx->collation = ActiveSortOrderTables().rulesInstalled;
}

namespace {

struct RecordSortKeys {
  FieldDef* const* keys;
};

int SortInitPass(SortContext& ctx) {
  ResetRunCounters(ctx.model);
  if (GetRecordPassHooks().selectedCounter != nullptr) GetRecordPassHooks().selectedCounter(ctx.model, 0);
  return 0;
}

void SortFinish(SortContext&) {}

int SortNextRecord(SortContext& ctx) {
  CKmComposite* m = ctx.model;
  RecordPassState* st = GetRecordPassState(m);
  const RecordCallback callback = m->recordCallback;
  int r;
  do {
    r = ScanRecords(m, callback, st->lastStatus);
    st->lastStatus = r;
  } while (r == kEngineRecordRejected);
  if (r == 0 && GetRecordPassHooks().selectedCounter != nullptr) GetRecordPassHooks().selectedCounter(m, 1);
  return r;
}

int BuildSortKeyRecord(SortContext& ctx, uint8_t* area, uint32_t room) {
  const RecordSortKeys* keys = static_cast<const RecordSortKeys*>(ctx.user);
  const uint32_t pos = BuildFieldKeys(ctx, keys->keys, area, room);
  if (pos == 0) return 1;
  PutU32(area, pos);
  PutU32(area + 8, ctx.model->recordNumber);
  if (pos > ctx.longest) ctx.longest = pos;
  return 0;
}

int SortOutputPosition(SortContext&, WorkFile& file, const uint8_t* record) {
  if (!file.IsOpen()) return 0;
  return file.Write(record + 8, 4) ? 0 : 1;
}

}  // namespace

void SetRecordSortSettings(CKmComposite* model, int32_t poolSize, int32_t nullOrder, int32_t nullNumbersAsZero) {
  RecordPassState* st = GetRecordPassState(model);
  st->sortPoolSize = poolSize <= 0 ? kDefaultSortPoolSize : static_cast<uint32_t>(poolSize);
  st->nullOrder = nullOrder < 0 || nullOrder > 3 ? 0 : nullOrder;
  st->nullNumbersAsZero = nullNumbersAsZero;
}

int SortRecords(CKmComposite* model, FieldDef* const* keyFields, const uint32_t* ascending, std::string* outName) {
  SortContext ctx;
  RecordSortKeys keys{keyFields};
  InitRecordSortContext(model, &ctx);
  ctx.user = &keys;
  ctx.serverRanks = true;
  const int r = RunExternalSort(ctx, keyFields, ascending, outName, SortInitPass, SortFinish, SortNextRecord,
                                SortOutputPosition, BuildSortKeyRecord, 1, "SO#", 3);
  if (r != 0 && outName != nullptr) outName->clear();
  return r;
}
