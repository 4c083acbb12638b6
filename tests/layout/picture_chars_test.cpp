#include "layout/picture_chars.h"

#include "core/fields.h"
#include "expr/value_format.h"
#include "layout/fonts.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void AddFace(DocFonts& f, const char* face, BYTE charset) {
  FontEntry e;
  std::strncpy(e.logFont.lfFaceName, face, sizeof e.logFont.lfFaceName - 1);
  e.logFont.lfCharSet = charset;
  f.table.push_back(e);
}

}  // namespace

// The box drawing face and OEM fonts keep their texts in the OEM set, where
// the fill and the guillemets sit elsewhere; an index outside the table is
// an ANSI font.
TEST(PictureChars, FillAndGuillemetsFollowTheFieldsFont) {
  DocFonts fonts;
  AddFace(fonts, "Arial", ANSI_CHARSET);
  AddFace(fonts, "Terminal", OEM_CHARSET);
  AddFace(fonts, "duridev-er", ANSI_CHARSET);
  EXPECT_EQ(GetGuillemetChar(&fonts, 0, true), 171);
  EXPECT_EQ(GetGuillemetChar(&fonts, 0, false), 187);
  EXPECT_EQ(GetGuillemetChar(&fonts, 1, true), 174);
  EXPECT_EQ(GetGuillemetChar(&fonts, 2, false), 175);
  EXPECT_EQ(GetGuillemetChar(&fonts, 7, true), 171);
  EXPECT_EQ(GetGuillemetChar(nullptr, 1, false), 187);
  EXPECT_EQ(GetPictureFillChar(&fonts, 2, 183), 250);
  EXPECT_EQ(GetPictureFillChar(&fonts, 1, 183), 183);
  EXPECT_EQ(GetPictureFillChar(&fonts, -1, 183), 183);

  // A text field's picture starts with the guillemet of its own font.
  FormatSettings fmt;
  fmt.fonts = &fonts;
  fmt.guillemet = GuillemetOfFontTable;
  FieldDef f;
  f.displayWidth = 5;
  f.formatCode = 0x300;  // the left guillemet mark
  f.head.fontIndex = 1;
  char picture[300] = {};
  ASSERT_EQ(BuildFieldPicture(fmt, &f, picture, nullptr), 5);
  EXPECT_EQ(static_cast<unsigned char>(picture[0]), 174);
  f.head.fontIndex = 0;
  BuildFieldPicture(fmt, &f, picture, nullptr);
  EXPECT_EQ(static_cast<unsigned char>(picture[0]), 171);
  EXPECT_STREQ(picture + 1, "xxxx");
}
