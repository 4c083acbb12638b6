// How a lookup table's relation reads for the user: the short join form of
// the relation lists and an English sentence, with the small look-ups around
// them. Table numbers are order numbers 1-99, not slot indexes.
#pragma once

#include <string>

class CKmComposite;
struct FieldDef;
struct TableSlot;

TableSlot* GetTableByNumber(CKmComposite* m, int number);
// The order number whose table has the alias (ignoring case), or -1.
int FindTableByAlias(CKmComposite* m, const char* alias);
// 1 when the number has no table (out is left alone), else 0.
int FormatRelationExpression(CKmComposite* m, int number, std::string& out);
int DescribeRelation(CKmComposite* m, int number, std::string& out);
// At most the first 10 characters of the field's name.
void AppendShortFieldName(std::string& out, const FieldDef* field);
// The first calculation or total whose code uses a data field of the slot or
// the slot itself; null when none.
FieldDef* FindFieldUsingTable(CKmComposite* m, int slot);
