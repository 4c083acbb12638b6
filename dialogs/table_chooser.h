// Choosing another table for a report whose table cannot be opened. The data
// source's table list plugs in here as a chooser of its own; the one given
// asks for the table's name in a small dialog.
#pragma once

#include <string>

class KmDocBase;

class TableChooser {
 public:
  virtual ~TableChooser() = default;
  // True with the chosen table's name; master says which title the choice has.
  virtual bool ChooseTable(KmDocBase& doc, bool master, const std::string& current, std::string* chosen) = 0;
};

// The name typed into the "DTableName" dialog, the table's present name shown first.
TableChooser& TypedTableChooser();
