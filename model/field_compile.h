// Making a calculated field from an expression text.
#pragma once

class CKmComposite;
struct FieldDef;

// A calculated field from an expression text; with otherList the compiler
// sees the list starting at listHead. Null when the text does not compile
// (without otherList) or memory runs out.
FieldDef* CompileField(CKmComposite* m, const char* name, const char* text, bool otherList, FieldDef* listHead);
