#include "dialogs/text_file_dialog.h"
#include "platform/win/fileio.h"

#include "foundation/doc_base.h"
#include "layout/layout_records.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <fstream>

namespace {

enum : int { kPath = 200, kBrowse = 202 };
constexpr UINT kStrCannotOpen = 620;  // "Cannot open file: %s"
constexpr int kLineChars = 254;      // the longest text a layout holds

struct TextFileParams {
  KmDocBase* doc;
  const std::function<std::string()>* browse;
  std::vector<std::string>* lines;
};

// The named file's lines; false (the dialog stays) when there is no name or no such file.
bool TakeFile(HWND d, TextFileParams& p) {
  char path[kPictureNameSize] = {};
  GetDlgItemTextA(d, kPath, path, sizeof path);
  if (path[0] != 0 && ReadTextFileLines(path, kLineChars, p.lines)) return true;
  if (path[0] == 0) MessageBeep(0);
  else p.doc->ErrorBoxOwner1(d, LoadResString(kStrCannotOpen).c_str(), path);
  SetFocus(GetDlgItem(d, kPath));
  return false;
}

INT_PTR TextFileProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<TextFileParams*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      p = reinterpret_cast<TextFileParams*>(lParam);
      p->doc->CenterDialogOnOwner(d);
      SendDlgItemMessageA(d, kPath, EM_LIMITTEXT, kPictureNameSize - 1, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kBrowse) {
        const std::string chosen = (*p->browse)();
        if (!chosen.empty()) SetDlgItemTextA(d, kPath, chosen.c_str());
        SetFocus(GetDlgItem(d, kPath));
      } else if (LOWORD(wParam) == IDOK) {
        if (TakeFile(d, *p)) EndDialog(d, IDOK);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(d, IDCANCEL);
      } else {
        return FALSE;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool ReadTextFileLines(const std::string& path, int maxChars, std::vector<std::string>* lines) {
  std::ifstream in(OsFileName(path), std::ios::binary);
  if (!in) return false;
  lines->clear();
  std::string line;
  // Only as many lines as the table can take are read, however long the file.
  while (lines->size() < kTextFileMaxLines && std::getline(in, line)) {
    std::string text;
    for (char c : line) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '\t') {
        text.append(8 - text.size() % 8, ' ');
      } else if (c == '\r' && &c == &line.back()) {
        continue;
      } else {
        text.push_back(u < 32 || u == 127 ? ' ' : c);
      }
      if (static_cast<int>(text.size()) >= maxChars) break;
    }
    if (static_cast<int>(text.size()) > maxChars) text.resize(static_cast<size_t>(maxChars));
    // Blanks at the end print as nothing.
    text.erase(text.find_last_not_of(' ') + 1);
    lines->push_back(std::move(text));
  }
  return !in.bad();
}

bool RunTextFileDialog(KmDocBase& doc, const std::function<std::string()>& browse, std::vector<std::string>* lines) {
  TextFileParams p{&doc, &browse, lines};
  return doc.DoModalDialog(doc.GetOwnerWindow(), TextFileProc, "DTextFile", reinterpret_cast<LPARAM>(&p)) == IDOK;
}
