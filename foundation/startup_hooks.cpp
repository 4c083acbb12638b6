#include "foundation/startup_hooks.h"

#include "app/shell_standins.h"
#include "expr/compiler_state.h"
#include "model/composite.h"
#include "platform/printer/printer_info.h"
#include "platform/win/modules.h"
#include "platform/win/process.h"

#include <cstdio>

namespace {
StartupHooks g_defaultHooks;
StartupHooks* g_hooks = nullptr;
}  // namespace

StartupHooks& GetStartupHooks() { return g_hooks ? *g_hooks : g_defaultHooks; }
void SetStartupHooks(StartupHooks* hooks) { g_hooks = hooks; }

void StartupHooks::Warning(CKmDoc& doc, const char* text) { doc.WarningBox(text); }
void StartupHooks::Error(CKmDoc& doc, const char* text) { doc.ShowErrorText(text, nullptr); }

std::string StartupHooks::ProgramDirectory() { return ::ProgramDirectory(); }

bool StartupHooks::InitCompiler(CKmDoc& doc, unsigned workArea, unsigned longestString) {
  // Without a model there is nothing to prepare yet.
  return doc.m_pModel == nullptr || ::InitCompiler(doc.m_pModel, workArea, longestString) == 0;
}

void StartupHooks::FreeCompiler(CKmDoc& doc) {
  if (doc.m_pModel) doc.m_pModel->DropAttachment(AttachmentSlot::kCompiler);
}

unsigned StartupHooks::SetHandleCount(unsigned wanted) { return ::SetHandleCount(wanted); }

void StartupHooks::GetDefaultPrinter(CKmDoc& doc) {
  std::string device, driver, port;
  if (!GetDefaultPrinterNames(&device, &driver, &port)) return;
  std::snprintf(doc.m_szPrinterDevice, sizeof doc.m_szPrinterDevice, "%s", device.c_str());
  std::snprintf(doc.m_szPrinterPort, sizeof doc.m_szPrinterPort, "%s", port.c_str());
}
