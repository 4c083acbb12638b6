// File Save and Save As over a temporary folder: report files through the
// document's stand-in file object, libraries through the real file object
// and library engine.
#include "tests/app/document/document_fixture.h"
#include "tests/app/document/names_codec.h"

#include "app/save_report.h"
#include "foundation/library_file.h"
#include "files/report_io.h"
#include "core/fields.h"

#include <deque>

namespace doc_test {
namespace {

using Names = std::vector<std::string>;

class FakeSaveDialogs : public SaveDialogs {
 public:
  BOOL RunSaveAsDialog(CKmDoc& doc, const char*) override {
    ++saveAsShown;
    if (paths.empty()) return FALSE;
    CopyBounded(doc.m_files.chosenPath, sizeof doc.m_files.chosenPath, paths.front().c_str());
    paths.pop_front();
    return TRUE;
  }
  int ChooseSaveMember(CKmDoc& doc, const char*) override {
    if (member.empty()) return 0;
    CopyBounded(doc.m_szReportName2, sizeof doc.m_szReportName2, member.c_str());
    return 1;
  }
  BOOL SaveClipboardPicture(CKmDoc&, PictureItem& picture) override {
    ++picturesOffered;
    if (!pictures) return FALSE;
    CopyBounded(picture.fileName, sizeof picture.fileName, "pasted.bmp");
    return TRUE;
  }
  void AddRecentFile(CKmDoc&, const char* path) override { recent.push_back(path); }

  std::deque<std::string> paths;
  std::string member;
  BOOL pictures = TRUE;
  int saveAsShown = 0;
  int picturesOffered = 0;
  Names recent;
};

class SaveTest : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    SetSaveDialogs(&save);
    SetMessageBoxResponder([this](const MessageBoxRecord& r) {
      messages.push_back(r.text);
      captions.push_back(r.caption);
      if (answers.empty()) return static_cast<int>(IDCANCEL);
      int a = answers.front();
      answers.pop_front();
      return a;
    });
  }
  void TearDown() override {
    SetSaveDialogs(nullptr);
    DocumentTest::TearDown();
  }
  void AddField(const char* name) {
    CopyBounded(doc.m_pModel->AddField(0)->name, sizeof(FieldDef::name), name);
    doc.SetModifiedFlag(TRUE);
  }
  std::string Contents(const std::string& path) {
    vt_ole::Storage root;
    if (vt_ole::ReadStorageFile(path, root) != vt_ole::StorageError::kNone) return "<unreadable>";
    const vt_ole::Stream* s = root.FindStream("Contents");
    return s ? std::string(s->data.begin(), s->data.end()) : "<none>";
  }
  // A report that has never been saved.
  void StartUnnamedReport() {
    ASSERT_TRUE(doc.CreateReportTables());
    doc.m_bReportOpen = TRUE;
    AddField("New");
  }

  FakeSaveDialogs save;
  std::deque<int> answers;
  Names captions;
};

TEST_F(SaveTest, SaveWritesTheReportFileWholeOrLeavesTheOldOne) {
  std::string path = WriteReportFile("sales.kmw", "F Name\nB 0\n");
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  AddField("Total");
  OnFileSave(doc);
  EXPECT_EQ(Contents(path), "F Name\nF Total\nB 0\n");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(save.saveAsShown, 0);

  std::string before = ReadBytes(path);
  io.failWrite = true;
  AddField("Lost");
  int cursorOffs = doc.m_waitCursorOff;
  OnFileSave(doc);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_FALSE(doc.m_bWaitCursor);
  EXPECT_GT(doc.m_waitCursorOff, cursorOffs);
  EXPECT_FALSE(std::filesystem::exists(path + ".~new"));
}

TEST_F(SaveTest, NewReportAsksForANameAndTheReplaceQuestionAnswersBothWays) {
  std::string old = WriteReportFile("old.kmw", "F Old\nB 0\n");
  StartUnnamedReport();

  // No: the dialog comes again; its cancel writes nothing.
  save.paths = {old};
  answers = {IDNO};
  OnFileSave(doc);
  EXPECT_EQ(save.saveAsShown, 2);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "The file 'old.kmw' already exists.\r\n\r\nReplace existing file?");
  EXPECT_EQ(captions[0], "Save Report");
  EXPECT_EQ(Contents(old), "F Old\nB 0\n");
  EXPECT_TRUE(doc.IsModified());

  // Cancel ends at once.
  save.saveAsShown = 0;
  save.paths = {old, old};
  answers = {IDCANCEL};
  OnFileSaveAs(doc);
  EXPECT_EQ(save.saveAsShown, 1);
  EXPECT_EQ(Contents(old), "F Old\nB 0\n");

  // Yes replaces it, and the file becomes the document's.
  save.paths = {old};
  answers = {IDYES};
  OnFileSave(doc);
  EXPECT_EQ(Contents(old), "F New\nB 0\n");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.GetPathName(), old);
  EXPECT_EQ(std::string(doc.m_szReportName), old);
  EXPECT_EQ(std::string(doc.m_files.currentFile), old);
  EXPECT_FALSE(doc.m_bLibraryMode);
  EXPECT_EQ(save.recent, (Names{old}));
  EXPECT_EQ(doc.GetWindowText(), "old.kmw - VORTELLE Report Designer");
}

TEST_F(SaveTest, PastedPicturesGetAFileFirstAndACancelStopsTheSave) {
  StartUnnamedReport();
  PictureItem pasted;
  pasted.fromClipboard = 1;
  PictureItem fromFile = pasted;
  CopyBounded(fromFile.fileName, sizeof fromFile.fileName, "logo.bmp");
  ASSERT_NE(doc.m_pLayout->pictures.Append(fromFile), nullptr);
  ASSERT_NE(doc.m_pLayout->pictures.Append(pasted), nullptr);

  save.pictures = FALSE;
  OnFileSave(doc);
  OnFileSaveAs(doc);
  EXPECT_EQ(save.saveAsShown, 0);
  EXPECT_EQ(save.picturesOffered, 2);  // only the pasted one, once per command

  save.pictures = TRUE;
  save.paths = {Path("fresh.kmw")};
  OnFileSaveAs(doc);
  EXPECT_TRUE(messages.empty());  // a new file needs no question
  EXPECT_EQ(Contents(Path("fresh.kmw")), "F New\nB 0\n");
  EXPECT_STREQ(doc.m_pLayout->pictures.At(1)->fileName, "pasted.bmp");
  // Once it has a file it is not offered again.
  save.picturesOffered = 0;
  AddField("More");
  OnFileSave(doc);
  EXPECT_EQ(save.picturesOffered, 0);
  EXPECT_EQ(Contents(Path("fresh.kmw")), "F New\nF More\nB 0\n");
}

TEST_F(SaveTest, NothingIsWrittenOverAFileThatIsNeitherReportNorLibrary) {
  StartUnnamedReport();
  std::string notes = Path("notes.kmw");
  std::ofstream(notes) << "plain text, not a report";
  save.paths = {notes};
  answers = {IDYES};
  OnFileSaveAs(doc);
  EXPECT_EQ(ReadBytes(notes), "plain text, not a report");
  EXPECT_TRUE(doc.IsModified());
  EXPECT_TRUE(doc.GetPathName().empty());
}

TEST_F(SaveTest, AfterAFailedOpenNoSaveWritesOverTheFile) {
  std::string good = WriteReportFile("good.kmw", "F A\nB 0\n");
  std::string bad = WriteReportFile("bad.kmw", "F X\nB 0\n");
  ASSERT_TRUE(doc.ReadReport(good.c_str()));
  io.result = kReadFailed;
  EXPECT_FALSE(doc.ReadReport(bad.c_str()));
  std::string before = ReadBytes(bad);
  save.paths = {bad};
  answers = {IDYES};
  OnFileSave(doc);
  OnFileSaveAs(doc);
  EXPECT_EQ(ReadBytes(bad), before);
  EXPECT_EQ(save.saveAsShown, 0);
}

TEST_F(SaveTest, ACopyOpenedInsteadOfAHeldFileIsSavedUnderANewName) {
  std::string copy = WriteReportFile("Copy of held.kmw", "F A\nB 0\n");
  ASSERT_TRUE(doc.ReadReport(copy.c_str()));
  doc.m_strTempFile = copy;
  doc.m_strPathName.clear();  // as the open of a copy leaves it
  AddField("B");
  std::string kept = Path("kept.kmw");
  save.paths = {kept};
  OnFileSave(doc);
  EXPECT_EQ(save.saveAsShown, 1);
  EXPECT_EQ(Contents(copy), "F A\nB 0\n");
  EXPECT_EQ(Contents(kept), "F A\nF B\nB 0\n");
  EXPECT_EQ(doc.GetPathName(), kept);
}

// --- libraries, through the real file object and library engine ---


CKmCntrItem g_oleItem{};

class LibrarySaveTest : public SaveTest {
 protected:
  void SetUp() override {
    SaveTest::SetUp();
    SetReportOwnerName("Tester");
    SetReportStreamCodec(ReportStreamCodec{&NamesWrite, &NamesRead});
    g_namesWriteFails = false;
    doc.m_pFileIO = nullptr;
    doc.m_pRepIO = &repio;
    ASSERT_TRUE(doc.CreateReportTables());
    lib = Path("reports.qb6");
    LibraryFile* engine = doc.LibraryEngine();
    LibFileControlBlock* f = engine->LibFileCreate(lib.c_str(), lib_of::ReadWrite, nullptr, kLibKindReport, 64);
    ASSERT_NE(f, nullptr);
    engine->LibFileClose(f);
    CopyBounded(doc.m_pModel->AddField(0)->name, sizeof(FieldDef::name), "Region");
    ASSERT_EQ(repio.SaveToLibrary(*engine, lib.c_str(), "Monthly"), 1);
    doc.ClearReport(TRUE);
    dialogs.member = "Monthly";
    ASSERT_TRUE(doc.ReadReport(lib.c_str()));
    ASSERT_TRUE(doc.m_bLibraryMode);
  }
  void TearDown() override {
    if (doc.m_pLayout) doc.m_pLayout->oleItems.Clear();
    SetReportStreamCodec(ReportStreamCodec{nullptr, nullptr});
    SaveTest::TearDown();
  }
  Names MemberFields(const char* member) {
    CKmDoc other;
    CKmRepIO otherIO{&other};
    other.m_pRepIO = &otherIO;
    EXPECT_TRUE(other.CreateReportTables());
    if (otherIO.OpenLibraryMember(*other.LibraryEngine(), lib.c_str(), member) != 0) return {"<unread>"};
    Names names;
    for (FieldDef* f = other.m_pModel->fieldList; f; f = f->next) names.push_back(f->name);
    return names;
  }

  CKmRepIO repio{&doc};
  std::string lib;
};

TEST_F(LibrarySaveTest, SaveIntoTheMemberAsksAboutObjectsBeforeWriting) {
  // Opening the member listed the library; only what the saves add is looked at.
  save.recent.clear();
  AddField("Amount");
  doc.m_pLayout->oleItems.Append(g_oleItem);
  std::string before = ReadBytes(lib);
  answers = {IDNO};
  OnFileSave(doc);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Save report in library without objects?"), std::string::npos);
  EXPECT_EQ(ReadBytes(lib), before);
  EXPECT_TRUE(doc.IsModified());

  // A failed write keeps the old member and still turns the wait cursor off.
  g_namesWriteFails = true;
  answers = {IDYES};
  OnFileSave(doc);
  EXPECT_EQ(MemberFields("Monthly"), (Names{"Region"}));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_FALSE(doc.m_bWaitCursor);
  EXPECT_TRUE(save.recent.empty());

  g_namesWriteFails = false;
  answers = {IDYES};
  OnFileSave(doc);
  EXPECT_EQ(MemberFields("Monthly"), (Names{"Region", "Amount"}));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(save.recent, (Names{lib}));
}

TEST_F(LibrarySaveTest, YesToTheUnsavedChangesQuestionWritesTheMember) {
  AddField("Amount");
  answers = {IDCANCEL};
  EXPECT_FALSE(doc.SaveModified());
  EXPECT_EQ(MemberFields("Monthly"), (Names{"Region"}));
  answers = {IDYES};
  EXPECT_TRUE(doc.SaveModified());
  EXPECT_EQ(MemberFields("Monthly"), (Names{"Region", "Amount"}));
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(LibrarySaveTest, LibraryDialogsSaveIntoTheCurrentOrAChosenMember) {
  AddField("Amount");
  EXPECT_TRUE(SaveCurrentReport(doc, FALSE));
  EXPECT_EQ(MemberFields("Monthly"), (Names{"Region", "Amount"}));
  EXPECT_EQ(save.saveAsShown, 0);

  AddField("Count");
  EXPECT_FALSE(SaveCurrentReport(doc, TRUE));  // no member chosen
  EXPECT_TRUE(doc.IsModified());
  save.member = "Copy";
  EXPECT_TRUE(SaveCurrentReport(doc, TRUE));
  EXPECT_EQ(MemberFields("Copy"), (Names{"Region", "Amount", "Count"}));
  EXPECT_EQ(std::string(doc.m_szReportName), "Copy");
}

TEST_F(LibrarySaveTest, SaveAsAddsAMemberOnlyWhenOneIsChosenAndWritten) {
  AddField("Amount");
  save.paths = {lib};
  save.member.clear();  // the library's dialog cancelled
  OnFileSaveAs(doc);
  EXPECT_EQ(MemberFields("Annual"), (Names{"<unread>"}));
  EXPECT_EQ(std::string(doc.m_szReportName), "Monthly");

  save.paths = {lib};
  save.member = "Annual";
  g_namesWriteFails = true;
  OnFileSaveAs(doc);
  EXPECT_EQ(MemberFields("Annual"), (Names{"<unread>"}));
  EXPECT_EQ(std::string(doc.m_szReportName), "Monthly");
  EXPECT_TRUE(doc.IsModified());

  g_namesWriteFails = false;
  save.paths = {lib};
  OnFileSaveAs(doc);
  EXPECT_EQ(MemberFields("Annual"), (Names{"Region", "Amount"}));
  EXPECT_EQ(MemberFields("Monthly"), (Names{"Region"}));
  EXPECT_EQ(std::string(doc.m_szReportName), "Annual");
  EXPECT_TRUE(doc.m_bLibraryMode);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.GetWindowText(), "Annual - VORTELLE Report Designer");
}

TEST_F(LibrarySaveTest, SaveAsObjectQuestionNoReturnsToTheDialogCancelEnds) {
  doc.m_pLayout->oleItems.Append(g_oleItem);
  save.member = "Annual";
  std::string before = ReadBytes(lib);
  save.paths = {lib, lib};
  answers = {IDNO, IDCANCEL};
  OnFileSaveAs(doc);
  EXPECT_EQ(save.saveAsShown, 2);
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(ReadBytes(lib), before);
}

TEST_F(LibrarySaveTest, SaveAsFromALibraryToAReportFileLeavesLibraryMode) {
  std::string path = Path("single.kmw");
  save.paths = {path};
  OnFileSaveAs(doc);
  EXPECT_FALSE(doc.m_bLibraryMode);
  EXPECT_EQ(doc.GetPathName(), path);
  EXPECT_EQ(std::string(doc.m_files.currentFile), path);
  doc.ClearReport(TRUE);
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  EXPECT_EQ(FieldNames(), (Names{"Region"}));
}

}  // namespace
}  // namespace doc_test
