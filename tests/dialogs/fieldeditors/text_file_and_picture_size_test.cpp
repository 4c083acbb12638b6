// What the Text File dialog reads and the sizes the Picture Properties
// dialog takes, on hostile input too.
#include "dialogs/picture_properties_dialog.h"
#include "dialogs/text_file_dialog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string TempFile(const std::string& bytes) {
  char name[] = "/tmp/vt_textfileXXXXXX";
  const int fd = mkstemp(name);
  close(fd);
  std::ofstream(name, std::ios::binary) << bytes;
  return name;
}

TEST(TextFileLines, LineEndsTabsControlsAndLengthsAreTamed) {
  const std::string path =
      TempFile("one\r\n\ttwo\nthree\x01\x1f four   \n" + std::string(400, 'x') + "\n\nlast without end");
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadTextFileLines(path, 254, &lines));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "one");
  EXPECT_EQ(lines[1], "        two");
  EXPECT_EQ(lines[2], "three   four") << "controls as blanks, trailing blanks dropped";
  EXPECT_EQ(lines[3].size(), 254u) << "a long line is cut to what a text holds";
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "last without end");
  ::unlink(path.c_str());
}

TEST(TextFileLines, NoMoreLinesThanTheTableAndNoFileIsRefused) {
  std::string many;
  for (int i = 0; i < 1000; ++i) many += "line\n";
  const std::string path = TempFile(many);
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadTextFileLines(path, 254, &lines));
  EXPECT_EQ(lines.size(), kTextFileMaxLines);
  ::unlink(path.c_str());
  lines.assign(3, "kept");
  EXPECT_FALSE(ReadTextFileLines("/nonexistent/vt/notes.txt", 254, &lines));
  EXPECT_EQ(lines.size(), 3u) << "a failed read leaves the caller's lines";
  const std::string tabs = TempFile(std::string(300, '\t'));
  ASSERT_TRUE(ReadTextFileLines(tabs, 254, &lines));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "") << "blanks only";
  ::unlink(tabs.c_str());
}

// Of a line only what a text can hold is kept, however long the line; a
// device or a pipe is no text file and is refused at once.
TEST(TextFileLines, OnlyRegularFilesAndBoundedLines) {
  const std::string path = TempFile(std::string(3 << 20, 'y') + "\r\nnext\r\n" + std::string(254, 'z') + "\r\n");
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadTextFileLines(path, 254, &lines));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], std::string(254, 'y'));
  EXPECT_EQ(lines[1], "next");
  EXPECT_EQ(lines[2], std::string(254, 'z')) << "a line ending just past what is kept still loses its \\r";
  ::unlink(path.c_str());
  lines.assign(1, "kept");
  EXPECT_FALSE(ReadTextFileLines("/dev/zero", 254, &lines));
  EXPECT_FALSE(ReadTextFileLines("/tmp", 254, &lines));
  char pipeName[] = "/tmp/vt_textpipeXXXXXX";
  ASSERT_NE(mkdtemp(pipeName), nullptr);
  const std::string pipe = std::string(pipeName) + "/notes.txt";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(ReadTextFileLines(pipe, 254, &lines));
  EXPECT_EQ(lines.size(), 1u);
  ::unlink(pipe.c_str());
  ::rmdir(pipeName);
}

TEST(PictureMeasure, HundredthsFromWhatIsTyped) {
  EXPECT_EQ(ParsePictureMeasure("1.5", '.'), 150);
  EXPECT_EQ(ParsePictureMeasure(".25", '.'), 25);
  EXPECT_EQ(ParsePictureMeasure(" 2", '.'), 200);
  EXPECT_EQ(ParsePictureMeasure("0.125", '.'), 12) << "past hundredths is dropped";
  EXPECT_EQ(ParsePictureMeasure("1,5", ','), 150);
  for (const char* bad : {"", ".", "abc", "1.2.3", "-1", "1e3", "99999999999"})
    EXPECT_EQ(ParsePictureMeasure(bad, '.'), -1) << bad;
}

}  // namespace
