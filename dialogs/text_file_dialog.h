// The Text File dialog ("DTextFile"): the file whose lines Insert > Text File
// puts on the layout, one text per band line.
#pragma once

#include <functional>
#include <string>
#include <vector>

class KmDocBase;

// The most lines one insertion can take: the band-line table's size.
constexpr size_t kTextFileMaxLines = 256;

// The lines of a text file as texts: no line ends, tabs as spaces to the next
// multiple of eight, other control characters as blanks, each line at most
// maxChars long, at most kTextFileMaxLines lines. False when the file cannot
// be read.
bool ReadTextFileLines(const std::string& path, int maxChars, std::vector<std::string>* lines);

// Asks for the file (Browse asks the program's open-file dialog, which answers
// the chosen path or an empty string) and reads it; the dialog stays open with
// "Cannot open file: %s" when it cannot be read. False when cancelled.
bool RunTextFileDialog(KmDocBase& doc, const std::function<std::string()>& browse, std::vector<std::string>* lines);
