// Engine error texts: one table from code to string id, and the show and
// test operations of the model.
#include "core/engine_errors.h"

#include <cstdio>
#include <cstring>

#include "foundation/heap_strings.h"
#include "core/composite.h"

namespace {

struct ErrorText {
  int32_t code;
  uint32_t id;  // 0: silent
};

const ErrorText kErrorTexts[] = {
    {3074, 0},    {3075, 0},    {3076, 1466}, {3082, 1447}, {3090, 1454}, {3091, 1459},
    {3092, 1461}, {3093, 1458}, {3094, 754},  {3095, 1457}, {3096, 1456}, {3097, 0},
    {3098, 1460}, {3106, 1449}, {3107, 1448}, {3108, 1450}, {3110, 1465}, {3112, 0},
    {3113, 1470}, {3114, 1471}, {3115, 606},  {3117, 1430}, {3118, 1455}, {3121, 619},
    {3123, 1463}, {3124, 1476}, {3126, 1478}, {3169, 1452}, {3170, 1453}, {3172, 1467},
    {3173, 1429}, {3174, 1467}, {3175, 1468}, {3176, 1464}, {3177, 1428}, {3178, 1469},
    {3185, 1437}, {3186, 1442}, {3187, 1433}, {3188, 0},    {3189, 1462}, {3190, 1444},
    {3191, 1436}, {3192, 681},  {3193, 1434}, {3194, 1431}, {3195, 923},  {3196, 924},
    {3197, 1432}, {3198, 682},  {3199, 682},  {3200, 1441}, {3201, 1445}, {3202, 1446},
    {3217, 1472}, {3218, 1473}, {3219, 1474}, {3233, 1497}, {3234, 1498}, {3235, 1499},
    {3236, 1500}, {3237, 1501}, {3238, 1502}, {3239, 1503}, {3240, 1504}, {3241, 1505},
    {3242, 62316},
};

// Shows a text in the error style; set by the application once its message
// dialog exists. Without it nothing can be shown and nothing is.
int (*g_showError)(void* owner, const char* text) = nullptr;

}  // namespace

void SetEngineErrorDisplay(int (*show)(void* owner, const char* text)) { g_showError = show; }

uint32_t EngineErrorStringId(int32_t code) {
  if (code == kEngineInternalSetup) return 1427;
  if (code == kEngineLookupFailure) return 1451;
  for (const ErrorText& e : kErrorTexts)
    if (e.code == code) return e.id;
  return kEngineFallbackTextId;
}

const char* CKmComposite::GetEngineErrorText(int32_t code) {
  const uint32_t id = EngineErrorStringId(code);
  if (id == 0) return nullptr;
  switch (code) {
    case kEngineMatchLength:
      std::snprintf(engineMessage, sizeof engineMessage, GetResString(id, 0), maxMatchLength);
      return engineMessage;
    case kEngineDeleteJoinField:
      std::snprintf(engineMessage, sizeof engineMessage, GetResString(id, 0),
                    errorField != nullptr ? errorField->name : "");
      return engineMessage;
    case kEngineChangingStatement:
      if (statementRefusal.empty()) break;
      std::snprintf(engineMessage, sizeof engineMessage, "%s", statementRefusal.c_str());
      return engineMessage;
    case kEngineDuplicateResultName:
      std::snprintf(engineMessage, sizeof engineMessage, GetResString(id, 0), errorName);
      return engineMessage;
    default:
      break;
  }
  if (id == kEngineFallbackTextId) {
    std::snprintf(engineMessage, sizeof engineMessage, GetResString(id, 0), "");
    return engineMessage;
  }
  return GetResString(id, 0);
}

const char* CKmComposite::ShowEngineErrorFor(void* ownerWindow, int32_t code) {
  const char* text = GetEngineErrorText(code);
  if (text == nullptr || code == kEngineCannotOpenTable) return text;
  if (g_showError != nullptr) g_showError(ownerWindow, text);
  return text;
}

const char* CKmComposite::ShowEngineError(int32_t code) { return ShowEngineErrorFor(nullptr, code); }

bool CKmComposite::IsReportableError(int32_t code) {
  return code != kEngineCannotOpenTable && code != kEngineCannotOpenIndex && code != kEngineCannotOpenText;
}
