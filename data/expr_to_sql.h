// Compiled expressions written as SQL through the data source's templates,
// so that the database computes what it can; what has no SQL form stays
// with the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CKmComposite;
struct FieldDef;

// 0 translated, 1 not translatable. With store the text becomes the field's
// SQL translation (freed on failure); else it goes to out.
int ExpressionToSql(CKmComposite* model, const uint8_t* code, size_t length, FieldDef* field, bool store,
                    std::string* out);
// The model's translation hook: a new heap text (HeapFreeBlock) for the
// field's code, or null when it has no SQL form. The field is not changed.
char* TranslateFieldToSql(CKmComposite* model, FieldDef* field);
// Installs TranslateFieldToSql as the model's hook.
void InstallSqlTranslation(CKmComposite* model);

// False when the field's translation is a number that may carry rounding
// (a division, arithmetic on decimals): the program compares such numbers
// within two units of the last place, so a condition on it stays with the
// program. True for other kinds and for numbers free of rounding.
bool TranslationComparesExactly(CKmComposite* model, const FieldDef* field);

// Whether the field's translation stands for values the program flags (a
// missing argument, a division by zero) by 0, '' or the first day: the
// program's sort keeps those after every other value, so an ORDER BY needs
// the flag as a key of its own. *flag is then the SQL that is NULL exactly
// where the program flags the value.
bool TranslationFlagsValues(CKmComposite* model, const FieldDef* field, std::string* flag);

// Whether the field's translation is a number that is missing (NULL) where
// the program's value is missing, as a number column's is: it sorts as one.
bool TranslationIsMissingNumber(CKmComposite* model, const FieldDef* field);

// The field's translation as a condition reads it: NULL wherever the program
// flags the value (a missing argument, a division by zero), as a fetched
// NULL, so that a comparison with it is false on both sides and "is null"
// finds it. False when the field has no translation.
bool TranslationForCondition(CKmComposite* model, const FieldDef* field, std::string* sql);

// Every calculation (not alias) gets its translation refreshed.
void TranslateCalculatedFields(CKmComposite* model);

// A template filled in: "%%" is "%", "%1".."%9" take args[k-1] (false when a
// placeholder has no argument), "%0" or a final "%" ends the text, "%" with
// any other character is dropped with it.
bool FillSqlTemplate(const std::string& templ, const std::string* args, int count, std::string* out);
// [ODBC] templates: supported scalar functions wrapped in "{fn ...}"; an
// unsupported one empties the whole template. supported(name) answers.
std::string WrapOdbcScalarFunctions(const std::string& templ, bool (*supported)(const char* name, void* ctx),
                                    void* ctx);
// Whether the data source's LOWER or UPPER template (key) changes the case
// of every letter as the program does; asked of the database once per data
// source, when no query is being read (false until it could be asked).
// Otherwise the program computes that function, and with LOWER, conditions
// that ignore case.
bool CaseTemplateMapsAsTheProgram(CKmComposite* model, const char* key);
// A template by key: platform section, [Common], then [ODBC] wrapped. The
// templates read are kept with the model until the data source changes.
std::string ReadSqlFunctionText(CKmComposite* model, const char* key);
