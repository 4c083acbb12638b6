// State that a subsystem keeps for one report model hangs from the model as
// an attachment: the model owns it, so it goes with the model and can never
// be found by another one.
#pragma once

#include <cstddef>
#include <cstdint>

struct ModelAttachment {
  virtual ~ModelAttachment() = default;
};

// One slot per kind of state, in the order the model's destructor releases
// them: the record pass first (it closes and removes its work files), the
// data access last (it ends the connections the others may still use).
enum class AttachmentSlot : uint8_t {
  kRunCalc,       // the calculation block of a run driven from outside the document
  kRecordPass,
  kRecordCache,   // the rows of the report's last query, kept for the next run
  kSelect,        // the SELECT builder's inputs and result
  kSqlFields,     // the data layer's bindings of fields and tables
  kSqlRun,
  kSqlTemplates,  // SQL function templates read for the current data source
  kTextTable,     // the text file opened as a table
  kMemoReaders,   // the memo readers of the fields with long texts
  kCompiler,
  kUdf,           // the user functions' state and library
  kUdfList,       // the user functions themselves
  kIndexEngine,   // the xBase index engine's open indexes and page pool
  kDataAccess,
  kCount
};

constexpr size_t kAttachmentSlots = static_cast<size_t>(AttachmentSlot::kCount);
