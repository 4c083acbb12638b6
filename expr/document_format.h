// The document's own texts for values: regional settings and the texts of
// true and false, as every output of a field value shows them.
#pragma once

#include "expr/value_format.h"

class KmDocBase;

void TakeDocumentFormat(FormatSettings& format, const KmDocBase& doc);
