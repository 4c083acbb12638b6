// The program on a copy of the sample report, its frame shown at a fixed
// size, drawn on with the mouse as a user draws: band lines found by kind,
// drags on the layout view in layout coordinates.
#pragma once

#include "tests/app/newuser/newuser_fixture.h"

#include "app/chart_commands.h"

#include "layout/layout_records.h"
#include "tests/support/metafile_bytes.h"

namespace newuser_test {

class DrawnReport : public NewUserTest {
 protected:
  // The program on a copy of the sample report named name.kmw; its path.
  std::string StartOnCopy(const std::string& name) {
    const std::string report = dir_ + "/" + name + ".kmw";
    fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
    if (!Start({report}) || !doc->m_bReportOpen) return std::string();
    ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
    MoveWindow(frame->m_hWnd, 0, 0, 1000, 720, TRUE);
    Pump([] { return true; });
    return report;
  }
  // The first band line of that kind.
  const BandLineRec& LineOfKind(BYTE kind) {
    const BandLineTable& t = doc->m_pLayout->Lines();
    for (int i = 0; i <= t.lastUsed; ++i)
      if (t.lines[i].kind == kind) return t.lines[i];
    ADD_FAILURE() << int(kind);
    return t.lines[0];
  }
  static int Top(const BandLineRec& line) { return line.bottom - line.pixelHeight + 1; }
  // A press at (x0, y0) of the layout, moved and let go at (x1, y1).
  void Drag(int x0, int y0, int x1, int y1) {
    const LayoutTables& t = *doc->m_pLayout;
    HWND view = frame->m_wndLayoutView.m_hWnd;
    SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0 - t.scrollX, y0 - t.scrollY));
    SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x1 - t.scrollX, y1 - t.scrollY));
    SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(x1 - t.scrollX, y1 - t.scrollY));
  }
  // Insert > Picture of a logo (two inches by one, blue) outlined from (x0, y0)
  // to (x1, y1); a click places it at its own size.
  void InsertLogo(int x0, int y0, int x1, int y1) {
    const std::string logo = dir_ + "/logo.wmf";
    ASSERT_TRUE(metafile_bytes::WriteFile(logo, metafile_bytes::PlaceableWmf(1440, 1440, 720, 0xFF0000, 0, 0, 1440, 720)));
    answers.File("Picture File", logo);
    Command(30460);
    Drag(x0, y0, x1, y1);
  }
  // Chart Properties answered: a pie of each customer's total, titled so;
  // seen (when given) set when the sheet shows.
  void AnswerCustomerPie(const std::string& title, bool* seen = nullptr) {
    answers.On("Chart Properties", [title, seen](HWND d) {
      if (seen != nullptr) *seen = true;
      auto find = [d](int id, UINT message, const char* text) {
        return SendDlgItemMessageA(d, id, message, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
      };
      SendDlgItemMessageA(d, 500, CB_SETCURSEL, find(500, CB_FINDSTRINGEXACT, "Pie"), 0);
      SendDlgItemMessageA(d, 510, CB_SETCURSEL, find(510, CB_FINDSTRINGEXACT, "Group 1"), 0);
      SendDlgItemMessageA(d, 511, CB_SETCURSEL, find(511, CB_FINDSTRINGEXACT, "company"), 0);
      SendDlgItemMessageA(d, 512, LB_SETSEL, TRUE, find(512, LB_FINDSTRINGEXACT, "CustomerTotal"));
      SetDlgItemTextA(d, 520, title.c_str());
      Press(d, IDOK);
    });
  }
  // Insert > Chart outlined on the summary line, Chart Properties answered
  // with a pie titled so.
  void DrawPieInSummary(const std::string& title) {
    AnswerCustomerPie(title);
    const BandLineRec& summary = LineOfKind(kBandSummary);
    Command(kCmdInsertChart);
    Drag(2, Top(summary) + 2, 290, Top(summary) + 146);
  }
  // Saved, closed and opened again through File > Open.
  void SaveAndReopen(const std::string& report) {
    Command(kCmdFileSave);
    Command(kCmdFileClose);
    answers.File("Open Report", report);
    Command(kCmdFileOpen);
  }
  static constexpr UINT kCmdFileSave = 30010, kCmdFileSaveAs = 30020, kCmdFileClose = 30000, kCmdFileOpen = 32001,
                        kCmdPrint = 30030;
};

}  // namespace newuser_test
