// The Picture Properties dialog ("DIMGMOD"): a picture's shown width and
// height in inches or centimetres and its scaling mode (zoom, crop, stretch);
// the same for an embedded object in its Object Properties dialog (7000).
#pragma once

#include <string>

class KmDocBase;

struct PicturePropertiesParams {
  std::string fileName;        // shown; "(from clipboard)" for a pasted picture
  bool metric = false;         // centimetres instead of inches
  int width = 0, height = 0;   // shown size, hundredths of the unit (in and out)
  int naturalWidth = 0, naturalHeight = 0;  // the image's own size, same unit
  int scaling = 0;             // 0 zoom, 1 crop, 2 stretch (in and out)
  // An embedded object's "Object Properties" instead, with what it shows of
  // the object: its kind ("Link", "Embedded", ...), its type and the program
  // it names. Its sizes step by spins and its edits take only numbers.
  bool object = false;
  std::string objectKind, typeName, appName;
};

// A size typed in the dialog ("1.5", "2", ".25"): hundredths of the unit, or
// -1 when it is no number. decimal is the decimal character in use.
int ParsePictureMeasure(const std::string& text, char decimal);

// IDOK when the user confirmed a valid size; the params then hold it.
int RunPicturePropertiesDialog(KmDocBase& doc, PicturePropertiesParams* params);
