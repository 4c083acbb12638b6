#include "expr/document_format.h"

#include "foundation/doc_base.h"
#include "platform/win/wsprintf.h"

void TakeDocumentFormat(FormatSettings& format, const KmDocBase& doc) {
  format.intl = doc.m_intl;
  format.model = doc.m_pModel;
  // The settings' texts are 15 characters and a terminator, as these.
  CopyBounded(format.logT, sizeof format.logT, doc.m_settings.logT);
  CopyBounded(format.logF, sizeof format.logF, doc.m_settings.logF);
}
