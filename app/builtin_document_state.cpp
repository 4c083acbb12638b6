#include "app/builtin_document_state.h"

#include "app/document.h"
#include "expr/document_format.h"
#include "expr/functions_common.h"
#include "foundation/library_manager.h"

void TakeBuiltinDocumentState(CKmDoc& doc) {
  BuiltinDocumentState& state = ActiveBuiltinDocument();
  TakeDocumentFormat(state.format, doc);
  // Kept beyond any one report: it formats values, never a field of the model.
  state.format.model = nullptr;
  state.reportName = doc.m_szReportName;
  state.reportTitleName = doc.GetTitle();
  state.libraryOpen = doc.m_bLibraryMode ? 1 : 0;
  state.libraryName = doc.m_bLibraryMode ? doc.m_files.currentFile : "";
  if (const CExplicitLibraryManager* m = AppLibraryManager()) state.programDirectory = m->ProgramDir();
  state.pageNumber = 0;
  state.copyNumber = 0;
}
