// Table references on their way to the data-access layer: unquoting, the
// site-wide owner override, aliases made from names, file extensions, and the
// layout of a text file opened as a table of long-text fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the override needs of the data source and of the site settings.
struct TableOverrideContext {
  char quote = '"';             // the identifier quote character; 0 none
  bool ownerNames = true;       // the source qualifies tables with owners
  std::string owner;            // the OWNER value; empty or "1": no override
  bool debug = false;           // show the old and the new reference
};

// Reads OWNER and DEBUG from the [Oracle] section of the given file.
TableOverrideContext ReadTableOverride(const char* iniPath, char quote, bool ownerNames);

// Normalises the reference in place and derives its alias (at most 8 characters
// before MakeTableAlias). Returns true when the owner override changed it;
// message then holds the confirmation text.
bool ApplyDataSourceOverride(const TableOverrideContext& ctx, std::string* reference, std::string* alias,
                             std::string* message);

// Replaces the owner: the component before the last ".". A name without "."
// stays whole.
std::string ReplaceOwner(const std::string& reference, const std::string& owner);

// Every character that is not a letter or digit becomes "_", from the first
// letter on; a text without a letter gives "KMTABLE".
std::string MakeTableAlias(const char* text);

// Removes the file name's extension and appends extension.
std::string ReplaceExtension(const char* path, const char* extension);

// One section of a text table: its field name and where its text lies in the file.
struct TextSection {
  std::string name;
  uint32_t start = 0;
  uint32_t length = 0;
};
// Splits a text file's bytes into sections. Without sections the whole text
// is one section named tableName. Returns 0, or 3169 when sections are
// followed by other text (no sections are then returned).
int ReadTextTableLayout(const uint8_t* data, size_t size, const char* tableName, std::vector<TextSection>* out);

// A Btrieve reference holding "(TABLENAME='name'...": the directory part
// before it (up to its last "\\" or ":") and the quoted name. False when the
// reference has no such part.
bool RewriteBtrieveReference(const std::string& reference, char quote, std::string* out);

class CKmComposite;

// Opens a table into a new slot (newSlot) or into *slot, giving it its fields.
// queryText (a SQL master's statement) and names are passed to the data layer.
// Returns 0 with *slot set, or 3121, 3091, 3098, 3239, 3240; on failure the
// slot is abandoned.
int OpenTable(CKmComposite* m, const char* reference, uint32_t* slot, bool newSlot, const char* queryText,
              const char* const* names, const char* alias, const TableOverrideContext& ctx);
// The columns a statement's result added to the slot after its first
// `before` fields: 0, 3239 when one has no name, 3240 when two share one
// (ignoring case; the name goes into the composite's error name).
int CheckResultFieldNames(CKmComposite* m, uint32_t slot, size_t before);
// Frees a new slot and deletes the fields made for it.
void AbandonTable(CKmComposite* m, uint32_t slot, bool newSlot);

// Opens a text file as a table of long-text fields (table 252), one per
// section or one for the whole file. 0, 3170 (cannot open), 3169 (text after
// the sections) or 3121; on failure no field stays.
int OpenTextTable(CKmComposite* m, const char* path, const char* tableName);
// The text file's path (empty when none is open).
const char* TextTablePath(const CKmComposite* m);
// The name it was opened under.
const char* TextTableName(const CKmComposite* m);
void CloseTextTable(CKmComposite* m);
