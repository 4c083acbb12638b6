// File names cross into the system as UTF-8 and come back as the program's
// code page; the mail layer's message carries the file whole, as an
// independent mail parser reads it.
#include "platform/mail/mail.h"
#include "platform/win/file_handles.h"
#include "platform/win/fileio.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

TEST(FileNamesTest, ProgramNamesAreConvertedAtTheSystemBoundary) {
  const std::string ansi = "/tmp/Gr\xFC\xDF" "e/\x80.kmw";  // Windows-1252: u-umlaut, sharp s, euro
  const std::string utf8 = "/tmp/Gr\xC3\xBC\xC3\x9F" "e/\xE2\x82\xAC.kmw";
  EXPECT_EQ(OsFileName(ansi), utf8);
  EXPECT_EQ(OsFileName(utf8), utf8) << "a name that is the system's already stays";
  EXPECT_EQ(OsFileName("/plain/ascii.kmw"), "/plain/ascii.kmw");
  EXPECT_EQ(ProgramFileName(utf8), ansi);
  // Letters the code page lacks keep the system's bytes, so the file still opens.
  const std::string cyrillic = "/tmp/\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.kmw";
  EXPECT_EQ(ProgramFileName(cyrillic), cyrillic);

  char tmpl[] = "/tmp/vt_names_XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  const std::string folder = dir + "/Gr\xFC\xDF" "e";
  ASSERT_TRUE(MakeDirectories(folder, 0755));
  ASSERT_TRUE(WriteWholeFile(folder + "/a.txt", "data"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/Gr\xC3\xBC\xC3\x9F" "e/a.txt"));
  std::string back;
  EXPECT_TRUE(ReadWholeFile(folder + "/a.txt", back));
  EXPECT_EQ(back, "data");
  EXPECT_TRUE(IsDirectoryPath(folder.c_str()));
  std::vector<std::string> files, folders;
  ASSERT_TRUE(ListFolder(dir, &files, &folders));
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0], "Gr\xFC\xDF" "e");
  EXPECT_EQ(ResolveExistingPath(dir + "/GR\xFC\xDF" "E/A.TXT").empty(), false) << "case is still ignored";
  // Named in the code page, exactly or in another case, the file is reached
  // on the disk: its attributes read, opened, and deleted.
  for (const std::string& name : {folder + "/a.txt", dir + "/GR\xFC\xDF" "E/A.TXT"}) {
    EXPECT_EQ(FileAttributesOf(name.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) << name;
    const int h = OpenFileForRead(name.c_str());
    EXPECT_GE(h, 0) << name;
    if (h >= 0) CloseFileHandle(h);
  }
  EXPECT_TRUE(DeleteFileA((folder + "/a.txt").c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir + "/Gr\xC3\xBC\xC3\x9F" "e/a.txt"));
  ASSERT_TRUE(WriteWholeFile(folder + "/b.txt", "data"));
  EXPECT_TRUE(DeleteFileA((dir + "/gR\xFC\xDF" "e/B.TXT").c_str())) << "another case";
  EXPECT_FALSE(std::filesystem::exists(dir + "/Gr\xC3\xBC\xC3\x9F" "e/b.txt"));
  std::filesystem::remove_all(dir);
}

TEST(MailTest, TheMessageCarriesTheFileWholeAsAMailReaderSeesIt) {
  if (std::system("python3 -c 'import email' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is missing";
  char tmpl[] = "/tmp/vt_mail_XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  std::string data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7 % 256);
  ASSERT_TRUE(WriteWholeFile(dir + "/r.kmw", data));
  vt_mail::MailMessage m;
  m.to = "a@example.org\r\nBcc: everyone@example.org";  // no header can be slipped in
  m.subject = "Umsatz \xFC" "ber alles";
  m.body = "See the report.";
  m.attachmentPath = dir + "/r.kmw";
  m.attachmentName = "Sales \"Q4\".kmw";
  std::string text;
  ASSERT_TRUE(vt_mail::BuildMimeMessage(m, &text));
  ASSERT_TRUE(WriteWholeFile(dir + "/mail.eml", text));
  const std::string script =
      "import email,sys\n"
      "from email.header import decode_header, make_header\n"
      "m=email.message_from_binary_file(open(sys.argv[1],'rb'))\n"
      "print(m['To']); print(str(make_header(decode_header(m['Subject']))))\n"
      "print(m.get_all('Bcc'))\n"
      "for p in m.walk():\n"
      "  if p.get_filename():\n"
      "    open(sys.argv[2],'wb').write(p.get_payload(decode=True)); print(p.get_filename())\n";
  std::ofstream(dir + "/read.py") << script;
  const std::string cmd = "python3 '" + dir + "/read.py' '" + dir + "/mail.eml' '" + dir + "/out.bin'";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[512] = {};
  std::string out;
  while (fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  EXPECT_EQ(out, "a@example.org\nUmsatz \xC3\xBC" "ber alles\nNone\nSales _Q4_.kmw\n");
  std::string attached;
  ASSERT_TRUE(ReadWholeFile(dir + "/out.bin", attached));
  EXPECT_EQ(attached, data);
  vt_mail::MailMessage missing = m;
  missing.attachmentPath = dir + "/gone.kmw";
  EXPECT_FALSE(vt_mail::BuildMimeMessage(missing, &text));
  std::filesystem::remove_all(dir);
}

}  // namespace
