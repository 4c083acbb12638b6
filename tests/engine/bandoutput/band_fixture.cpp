#include "tests/engine/bandoutput/band_fixture.h"

#include "foundation/units.h"
#include "engine/calc_pass.h"

#include <cstring>

// The run's page overflow ends the page and begins the next at its top
// (the first page is open from the start).
LONG RecordingDriver::EndPage(PageOutputState*, int) {
  open = false;
  return 1;
}

int RecordingDriver::BeginPage(PageOutputState*, int, int) {
  if (open) return 1;
  open = true;
  log.push_back("page");
  y = 0;
  ++page;
  return 1;
}

int RecordingDriver::OutputLine(PageOutputState*, const BYTE* line, int count) {
  if (refuse == 14) return 0;
  Sent sent;
  sent.y = y;
  sent.visible = lastVisible;
  sent.page = page;
  StreamReader r(line, count);
  for (StreamToken t = r.Next(); t.kind != StreamToken::kEnd; t = r.Next()) {
    if (t.kind == StreamToken::kText) {
      std::string piece(reinterpret_cast<const char*>(line) + t.offset, static_cast<size_t>(t.length));
      sent.text += piece;
      sent.dump += piece;
      continue;
    }
    sent.dump += "<" + std::to_string(t.code);
    for (int i = 0; i < t.argCount; ++i) sent.dump += (i ? "," : ":") + std::to_string(t.args[i]);
    sent.dump += ">";
  }
  lines.push_back(sent);
  return 1;
}

void BandFixture::SetUp() {
  // The document's run: its page overflow and band sequencing are the
  // program's, over the layout built here.
  doc.m_bandLines.lines = layout.bandRecords;
  doc.m_bandLines.lastUsed = -1;
  layout.AttachBandLineTable(&doc.m_bandLines);
  doc.m_pLayout = &layout;
  doc.m_pModel = &model;
  doc.m_pRun = &run;
  run.calc = NewRunCalcState(&model);
  run.calc->run = &run;
  run.doc = &doc;
  run.driver = &driver;
  run.page = &page;
  run.pageCount = 1;
  run.startPage = 1;
  run.linesPerInch = 6;
  run.suppressBlankLines = true;
  run.compressGroupLines = true;
  s = EnsureBandOutput(&run);
  s->layout = &layout;
  s->units.layout = layout.metrics;
  s->units.printerX = 600;
  s->units.printerY = 600;
  s->format.padChar = 183;
  layout.model = &model;
  layout.Lines().lastUsed = -1;
}

void BandFixture::TearDown() {
  model.fieldList = nullptr;  // the fixture owns its fields
  model.fieldCount = 0;
  model.itemListHead = model.itemListTail = nullptr;
  FreeBandOutput(&run);
  DeleteRunCalcState(run.calc);
  run.calc = nullptr;
  doc.m_pRun = nullptr;
  doc.m_pModel = nullptr;
  doc.m_pLayout = nullptr;
  doc.m_bandLines.lines = nullptr;
}

int BandFixture::AddLine(BYTE kind, BYTE flags, int explicitHeight) {
  BandLineTable& t = layout.Lines();
  int i = ++t.lastUsed;
  BandLineRec& r = t.lines[i];
  r.kind = kind;
  r.objectId = -1;
  r.flags = flags;
  r.heightMode = explicitHeight ? 1 : 0;
  r.height = static_cast<uint32_t>(explicitHeight);
  r.pixelHeight = explicitHeight ? (explicitHeight * 96 + 360) / 720 : 16;
  int top = i == 0 ? 0 : t.lines[i - 1].bottom + 1;
  r.bottom = top + r.pixelHeight - 1;
  r.baseline = r.bottom - 3;
  return i;
}

namespace {
void PlaceHead(ReportItemHead& h, const BandLineRec& line, int lineIndex, int column, int width) {
  h.bandLine = static_cast<uint8_t>(lineIndex);
  h.width = static_cast<uint8_t>(width);
  h.left = column * 10;
  h.right = (column + width) * 10 - 1;
  h.bottom = line.bottom;
  h.top = line.bottom - 15;
  h.descent = 3;
  h.pointSize = 100;
  h.colour = 0;
}
}  // namespace

TextItem* BandFixture::AddText(int line, int column, const std::string& text, BYTE alignment) {
  textBodies.push_back(std::make_unique<std::string>(text));
  texts.push_back(std::make_unique<TextItem>());
  TextItem* t = texts.back().get();
  PlaceHead(t->head, layout.Lines().lines[line], line, column, static_cast<int>(text.size()));
  t->head.flags = kItemFixedPosition;
  t->alignment = alignment;
  t->text = &(*textBodies.back())[0];
  t->nextText = layout.textHead;
  layout.textHead = t;
  return t;
}

FieldDef* BandFixture::AddTextField(int line, int column, int width, const std::string& value, uint32_t format) {
  fields.push_back(std::make_unique<FieldDef>());
  FieldDef* f = fields.back().get();
  f->head.flags = kItemKindField | kItemFixedPosition;
  PlaceHead(f->head, layout.Lines().lines[line], line, column, width);
  f->displayWidth = static_cast<uint32_t>(width);
  f->width = static_cast<uint32_t>(std::max<size_t>(value.size(), static_cast<size_t>(width)));
  f->formatCode = format;
  values.push_back(std::make_unique<std::vector<BYTE>>(std::max<size_t>(value.size() + 1, width + 1), 0));
  std::memcpy(values.back()->data(), value.data(), value.size());
  f->value = values.back()->data();
  f->next = model.fieldList;
  model.fieldList = f;
  ++model.fieldCount;
  return f;
}

FieldDef* BandFixture::AddNumberField(int line, int column, int width, double value, uint32_t format) {
  FieldDef* f = AddTextField(line, column, width, std::string(), format);
  f->flags = kFieldNumeric;
  values.back()->resize(std::max<size_t>(values.back()->size(), 8));
  std::memcpy(values.back()->data(), &value, 8);
  f->value = values.back()->data();
  return f;
}

LineBoxItem* BandFixture::AddBox(int firstLine, int lastLine, int column, int width, bool box) {
  LineBoxItem item = box ? MakeNewBox() : MakeNewLine(kBorderBottom);
  const BandLineRec& first = layout.Lines().lines[firstLine];
  const BandLineRec& last = layout.Lines().lines[lastLine];
  item.head.bandLine = static_cast<uint8_t>(firstLine);
  item.head.flags = box ? kItemKindBox : kItemKindLine;
  item.head.left = column * 10;
  item.head.right = (column + width) * 10;
  item.head.top = box ? first.bottom - first.pixelHeight + 1 : last.bottom;
  item.head.bottom = last.bottom;
  if (box) item.borders = kNewBoxBorders;
  return layout.linesBoxes.Append(item);
}

void BandFixture::Finish() {
  BuildLayoutItemOrder(layout);
  BuildBandItemIndex(s);
}
