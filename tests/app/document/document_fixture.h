// A report document over a temporary folder, with a small stand-in for the
// report file object: the Contents stream holds "F name" lines for fields
// and one "B n" line for n boxes.
#pragma once

#include "app/document.h"
#include "app/file_checks.h"
#include "app/open_report.h"
#include "layout/layout_records.h"
#include "core/composite.h"
#include "platform/ole/compound_file.h"
#include "platform/win/message_box.h"
#include "platform/win/wsprintf.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace doc_test {

class FakeFileIO : public ReportFileIO {
 public:
  int Load(CKmDoc& doc, const vt_ole::Storage& root) override {
    ++loads;
    const vt_ole::Stream* s = root.FindStream("Contents");
    if (s == nullptr) return kReadFailed;
    return Parse(doc, std::string(s->data.begin(), s->data.end()));
  }
  int WriteReport(CKmDoc& doc, vt_ole::Storage& root) override {
    if (failWrite) return -1;
    std::string text = Text(doc);
    root.PutStream("Contents", std::vector<uint8_t>(text.begin(), text.end()));
    return 0;
  }
  int ReadLibraryMember(CKmDoc& doc, const char* library) override {
    ++loads;
    // A library file here is lines "member|contents" with ';' for line breaks.
    std::ifstream in(library);
    std::string line;
    while (std::getline(in, line)) {
      size_t bar = line.find('|');
      if (bar == std::string::npos || line.substr(0, bar) != doc.m_szReportName2) continue;
      std::string body = line.substr(bar + 1);
      for (char& c : body)
        if (c == ';') c = '\n';
      return Parse(doc, body);
    }
    return kReadLibraryError;
  }
  const char* LibErrorText() override { return "No such report"; }

  // The text of the document's report.
  static std::string Text(CKmDoc& doc) {
    std::string text;
    for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next) text += std::string("F ") + f->name + "\n";
    text += "B " + std::to_string(doc.m_pLayout->linesBoxes.Count()) + "\n";
    return text;
  }

  int result = kReadOk;  // what a read answers after loading its first field
  bool failWrite = false;
  int loads = 0;

 private:
  int Parse(CKmDoc& doc, const std::string& text) {
    doc.EmptyModel();  // as the reader does on the header record
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("F ", 0) == 0) {
        FieldDef* f = doc.m_pModel->AddField(0);
        CopyBounded(f->name, sizeof f->name, line.c_str() + 2);
        // A reader that fails (a data source that does not connect) leaves
        // what it read so far.
        if (result != kReadOk) return result;
      } else if (line.rfind("B ", 0) == 0) {
        for (int i = std::atoi(line.c_str() + 2); i > 0; --i) doc.m_pLayout->linesBoxes.Append(MakeNewBox());
      }
    }
    return result;
  }
};

class Dialogs : public ReportOpenDialogs {
 public:
  BOOL RunReportOpenDialog(CKmDoc& doc, BOOL*) override {
    if (chosen.empty()) return FALSE;
    CopyBounded(doc.m_files.chosenPath, sizeof doc.m_files.chosenPath, chosen.c_str());
    return TRUE;
  }
  int ChooseLibraryMember(CKmDoc& doc, const char*) override {
    if (member.empty()) return 0;
    CopyBounded(doc.m_szReportName2, sizeof doc.m_szReportName2, member.c_str());
    return 1;
  }
  std::string chosen, member;
};

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vt_doc_XXXXXX";
    dir = mkdtemp(pattern);
    doc.m_pFileIO = &io;
    doc.m_strUdfPath = dir + "/kmw.udf";
    SetReportOpenDialogs(&dialogs);
    SetMessageBoxResponder([this](const MessageBoxRecord& r) {
      messages.push_back(r.text);
      return answer;
    });
  }
  void TearDown() override {
    SetMessageBoxResponder(nullptr);
    SetReportOpenDialogs(nullptr);
    std::filesystem::remove_all(dir);
  }

  std::string Path(const std::string& name) const { return dir + "/" + name; }

  // A report file holding the given Contents text.
  std::string WriteReportFile(const std::string& name, const std::string& contents) {
    vt_ole::Storage root;
    root.PutStream("Contents", std::vector<uint8_t>(contents.begin(), contents.end()));
    root.PutStream("\005SummaryInformation", {1, 2, 3});
    std::string path = Path(name);
    EXPECT_EQ(vt_ole::WriteStorageFile(path, root), vt_ole::StorageError::kNone);
    return path;
  }
  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<std::string> FieldNames() const {
    std::vector<std::string> names;
    if (doc.m_pModel)
      for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next) names.push_back(f->name);
    return names;
  }

  std::string dir;
  FakeFileIO io;
  Dialogs dialogs;
  std::vector<std::string> messages;
  int answer = IDOK;
  CKmDoc doc;
};

// A child process that holds the file as an open report until the returned
// pipe end is closed; -1 when it cannot be started.
inline pid_t HoldInChild(const std::string& path, int* release) {
  int ready[2], hold[2];
  if (pipe(ready) != 0 || pipe(hold) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    close(hold[1]);
    char c = HoldReportFile(path.c_str()) >= 0 ? 1 : 0;
    (void)!write(ready[1], &c, 1);
    (void)!read(hold[0], &c, 1);  // until the parent closes its end
    _exit(0);
  }
  close(ready[1]);
  close(hold[0]);
  char c = 0;
  EXPECT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 1);
  close(ready[0]);
  *release = hold[1];
  return pid;
}

inline void EndChild(pid_t pid, int release) {
  close(release);
  int status = 0;
  waitpid(pid, &status, 0);
}

}  // namespace doc_test
