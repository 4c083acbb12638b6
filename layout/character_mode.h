// Reports made for character-mode printers: their layout in character
// columns and lines with a pitch and no fonts. When such a report is read,
// every field and text gets a printer face from the font lists of kmwfif.ini
// and a size by the pitch, fields get the alignment their kind asks for, and
// the stored paper becomes one of the four paper codes.
#pragma once

#include "layout/fonts.h"

#include <string>
#include <vector>

class CKmComposite;
struct FieldDef;
struct PageSetupRec;

// Paper codes (the stored compact codes 3 to 6 are foundation/units.h's).
constexpr int kPaperCodeLetter = 1, kPaperCodeLegal = 5, kPaperCodeExecutive = 7, kPaperCodeA4 = 9;

// Index of the printer font whose face is face (any case); -1 when none.
int FindPrinterFont(const DocFonts& f, const char* face);
// The first face of a comma-separated list that the printer has; "" when none.
std::string PickFontFromList(const DocFonts& f, const std::string& list);
// Numbers take the alignment and number style of their kind (numberSetting:
// the program's number setting 0 to 3); dates the date bits.
void SetFieldAlignmentDefaults(FieldDef* field, int numberSetting);
// unit 1 inches (hundredths), 0 millimetres (tenths); any other never matches.
bool PaperMatches(int unit, bool landscape, int value, int inchLong, int inchShort, int mmLong, int mmShort);
// The stored paper (word 8 and the paper length) as a paper code with its
// length and width in tenths of a millimetre; returns the code.
int MatchPaperSize(PageSetupRec& page, int unit);

// The font lists a character-mode report's items take their faces from.
struct CharacterFontLists {
  std::vector<std::string> lists;  // by font number (the report's own) or one list for all
  bool byFontNumber = false;
  int pitch = 10;                  // characters per inch, when one list serves all
};
// The report's own section of kmwfif.ini (its file's base name, keys "1" to
// "32") when its key "1" is set; else the [None] list of the pitch choice
// (0 "10", 1 "12", 2 "Compressed" at CompPitch, 4 to 30, else 10).
CharacterFontLists ReadCharacterFontLists(const std::string& iniPath, const std::string& reportPath,
                                          int pitchChoice);

// The item prints straight after the item before it (its fixed-position bit
// cleared) when that one is on the same band line and ends at its column;
// fields first take their widths from their formats.
void SetItemContinuation(ReportItemHead& item);

// Gives every field and text of the report its face and size from lists,
// and every field its alignment defaults. A text in the line-drawing range
// keeps its characters in the line-draw face when the printer has it;
// other texts of a report with its own lists come from the OEM code page.
// Fill dots (character 250) become blanks; then each item's continuation is
// set in the rebuilt item order.
void SetupCharacterPrinter(LayoutTables& layout, const DocFonts& fonts, CKmComposite* model,
                           const CharacterFontLists& lists, int numberSetting);
