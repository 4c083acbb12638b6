#include "foundation/startup_hooks.h"

#include "foundation/doc_base.h"
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

void StartupHooks::Warning(KmDocBase& doc, const char* text) { doc.WarningBox(text); }
void StartupHooks::Error(KmDocBase& doc, const char* text) { doc.ShowErrorText(text, nullptr); }

std::string StartupHooks::ProgramDirectory() { return ::ProgramDirectory(); }


unsigned StartupHooks::SetHandleCount(unsigned wanted) { return ::SetHandleCount(wanted); }

void StartupHooks::GetDefaultPrinter(KmDocBase& doc) {
  std::string device, driver, port;
  if (!GetDefaultPrinterNames(&device, &driver, &port)) return;
  std::snprintf(doc.m_szPrinterDevice, sizeof doc.m_szPrinterDevice, "%s", device.c_str());
  std::snprintf(doc.m_szPrinterPort, sizeof doc.m_szPrinterPort, "%s", port.c_str());
}
