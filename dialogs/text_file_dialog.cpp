#include "dialogs/text_file_dialog.h"

#include "foundation/doc_base.h"
#include "layout/layout_records.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/fileio.h"
#include "platform/win/resources.h"


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

namespace {
// One line as the layout shows it: tabs to the next of every eighth column,
// control characters as blanks, at most maxChars characters, no blanks at
// the end. whole: the line's own end was read (a last "\r" is its end).
std::string LayoutLine(const std::string& line, bool whole, int maxChars) {
  std::string text;
  for (size_t i = 0; i < line.size() && static_cast<int>(text.size()) < maxChars; ++i) {
    const char c = line[i];
    const auto u = static_cast<unsigned char>(c);
    if (c == '\t') text.append(8 - text.size() % 8, ' ');
    else if (c == '\r' && whole && i + 1 == line.size()) continue;
    else text.push_back(u < 32 || u == 127 ? ' ' : c);
  }
  if (static_cast<int>(text.size()) > maxChars) text.resize(static_cast<size_t>(maxChars));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}
}  // namespace

bool ReadTextFileLines(const std::string& path, int maxChars, std::vector<std::string>* lines) {
  // A regular file only: a pipe or a device would never end.
  const int fd = OpenExistingFile(path, kFileRead | kFileRegularOnly);
  if (fd < 0) return false;
  lines->clear();
  // Of each line only what can show is kept (one byte more tells whether a
  // "\r" ends it), however long the line runs.
  const size_t keep = static_cast<size_t>(maxChars < 0 ? 0 : maxChars) + 1;
  std::string line;
  bool cut = false, pending = false, failed = false;
  char block[65536];
  while (lines->size() < kTextFileMaxLines) {
    const long n = ReadFileHandle(fd, block, sizeof block);
    if (n < 0) failed = true;
    if (n <= 0) break;
    for (long i = 0; i < n && lines->size() < kTextFileMaxLines; ++i) {
      if (block[i] == '\n') {
        lines->push_back(LayoutLine(line, !cut, maxChars));
        line.clear();
        cut = pending = false;
        continue;
      }
      pending = true;
      if (line.size() < keep) line.push_back(block[i]);
      else cut = true;
    }
  }
  if (!failed && pending && lines->size() < kTextFileMaxLines) lines->push_back(LayoutLine(line, !cut, maxChars));
  CloseFileHandle(fd);
  return !failed;
}

bool RunTextFileDialog(KmDocBase& doc, const std::function<std::string()>& browse, std::vector<std::string>* lines) {
  TextFileParams p{&doc, &browse, lines};
  return doc.DoModalDialog(doc.GetOwnerWindow(), TextFileProc, "DTextFile", reinterpret_cast<LPARAM>(&p)) == IDOK;
}
