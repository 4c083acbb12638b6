// Literals in the data source's SQL form, dialect templates, and the calls
// around the report's query: execute with the record limit and time-out,
// fetch, end; the short form of a table name and the drives of file tables.
#pragma once

#include <cstdint>
#include <string>

#include "core/row_source.h"

class CKmComposite;

// A dialect template from kmwsql.ini: the source's platform section, then
// [Common]; empty when neither has the key.
std::string ReadSqlTemplate(CKmComposite* model, const char* key);

// Writes a date/time template with %yyyy %yy %mm %dd %h %m %s filled in;
// any other "%" is copied as it stands.
std::string ExpandLiteralTemplate(const char* format, int year, int month, int day, int hours, int minutes,
                                  int seconds);

// day is a calendar day number; time is microseconds since midnight.
void FormatSqlDateLiteral(CKmComposite* model, int32_t day, std::string* out);
void FormatSqlTimeLiteral(CKmComposite* model, double time, std::string* out);
void FormatSqlTimestampLiteral(CKmComposite* model, int32_t day, double time, std::string* out);

// How a data source reads a text literal's backslashes.
enum class TextLiteralForm {
  kStandard,      // as themselves: '...' with each quote doubled
  kBackslashes,   // as escapes (kmwsql.ini BackslashEscapes=1): backslashes doubled too
  kEscapeString,  // PostgreSQL, whatever its settings: E'...' with backslashes doubled
};
TextLiteralForm TextLiteralFormOf(CKmComposite* model);

// A text constant the data source reads back as exactly the text, so that
// no value can end the literal early.
void AppendSqlTextLiteral(std::string* out, const char* text, TextLiteralForm form);
// A text expression as the program compares texts: the report's pad
// character read as a blank, trailing blanks cut.
std::string TidiedTextSql(CKmComposite* model, const std::string& sql);
// A number with every digit it holds (shortest text that reads back equal).
std::string FormatSqlNumber(double value);

// 0 executed and bound, 1 failure (reported by the data layer).
int ExecuteSelect(CKmComposite* model, const char* sql, int option, int sortColumns, bool engineSort);
// One statement run to its end under the wait cursor: 0, or nonzero with the
// driver's text in message.
int ExecSqlWithWait(CKmComposite* model, const char* sql, char* message, int messageSize);
int FetchNextRow(CKmComposite* model);
int FetchRow(CKmComposite* model, long row);
void EndSelect(CKmComposite* model);
void SetRecordLimit(CKmComposite* model, long n);
long GetRecordLimit(CKmComposite* model);
std::string StripTablePath(CKmComposite* model, const char* name);
uint32_t GetTableDriveMask(CKmComposite* model);
const char* GetDatabaseLibraryVersion(CKmComposite* model);

// The rows of the model's open SELECT for the record pass.
class SqlRowSource : public RecordRowSource {
 public:
  explicit SqlRowSource(CKmComposite* model) : model_(model) {}
  int FetchNextRow() override;
  int FetchRow(uint32_t recordNumber) override;
  void ConvertFetchedRow(CKmComposite* model) override;

 private:
  CKmComposite* model_;
};
