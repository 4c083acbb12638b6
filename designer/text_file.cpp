// Insert > Text File on the layout: each line of the file becomes a text at
// the caret's column, the first on the caret's line and each further one on
// a band line opened under the one before, in the same band.
#include "designer/design_view.h"
#include "foundation/doc_base.h"
#include "layout/band_line_layout.h"
#include "layout/fonts.h"

#include <algorithm>


int CKmView::InsertTextLines(const std::vector<std::string>& lines) {
  if (!ReportOpen() || lines.empty() || EditorOpen()) return 0;
  InstallLayoutHooks();
  LayoutTables& t = *Layout();
  BandLineTable& table = t.Lines();
  int line = std::clamp(CaretLine(), 0, kBandLineCount - 1);
  const int x = m_nCaretX;
  // An empty line under the last used one joins the band above it.
  const bool empty = t.bandRecords[0].kind == kBandFree;
  if (t.bandRecords[line].kind == kBandFree)
    InsertBandLines(table, empty ? kBandRecord : t.bandRecords[table.lastUsed].kind, line);
  const BYTE band = t.bandRecords[line].kind;
  HFONT font = m_pDoc->m_pFonts && m_pDoc->m_pFonts->regularDefault ? m_pDoc->m_pFonts->regularDefault
                                                                     : static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
  int placed = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      t.currentLine = line + 1;
      if (line + 1 >= kBandLineCount || !InsertBandLine(t)) {
        m_pDoc->ShowErrorId(kTooManyLines, nullptr);
        break;
      }
      ++line;
      t.bandRecords[line].kind = band;
    }
    t.currentLine = line;
    t.caretY = t.bandRecords[line].baseline;
    const std::string& text = lines[i];
    const int n = FitTextToLayoutWidth(text.c_str(), static_cast<int>(text.size()), x, font);
    if (n > 0 && PlaceNewText(text.c_str(), n) == nullptr) break;
    ++placed;
  }
  RelayoutAfterFontChange(t, true, kNoAnchor);
  BuildLayoutItemOrder(t);
  t.currentLine = line;
  t.caretY = t.bandRecords[line].baseline;
  m_nCaretX = x;
  if (placed > 0) m_pDoc->SetModifiedFlag(TRUE);
  RedrawAllPanes();
  UpdateCaretAndStatus(TRUE);
  return placed;
}
