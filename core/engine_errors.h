// EngineErrorCodes: what the report model reports when an operation fails in
// a way the user must hear of, and the string ids of their texts. The text
// and show operations are members of CKmComposite (GetEngineErrorText,
// ShowEngineError, ShowEngineErrorFor, IsReportableError).
#pragma once

#include <cstdint>

enum EngineErrorCodes : int32_t {
  kEngineOk = 0,
  kEngineInternalSetup = 1,
  kEngineLookupFailure = 3073,
  kEngineStopped = 3074,           // the caller's call-back asked to stop; silent
  kEngineEndOfData = 3075,         // silent
  kEngineScanFailure = 3076,
  kEngineRecordRejected = 3077,    // the record does not pass the selection
  kEngineFetchFailed = 3079,       // already told by the data layer
  kEngineEvalError = 3081,
  kEngineGroupScanFailure = 3082,
  kEngineNotATable = 3090,
  kEngineCannotOpenTable = 3091,   // never shown by the show operations
  kEngineUnknownFieldType = 3092,
  kEngineCannotOpenMemo = 3093,
  kEngineFileHandles = 3094,
  kEngineNoWorksheetData = 3095,
  kEngineEncrypted = 3096,
  kEngineSilent3097 = 3097,
  kEngineNoSupportedFields = 3098,
  kEngineCannotOpenIndex = 3106,
  kEngineInvalidIndex = 3107,
  kEngineKeyTypesDiffer = 3108,
  kEngineCannotReadIndex = 3110,
  kEngineSilent3112 = 3112,
  kEngineDuplicateAlias = 3113,
  kEngineMatchLength = 3114,
  kEngineIndexBlockSize = 3115,
  kEngineTotalRelatedLink = 3117,
  kEngine3118 = 3118,
  kEngineNoMemory = 3121,
  kEngineSelectionCompile = 3122,
  kEngineInvalidFilter = 3123,
  kEngineInvalidAlias = 3124,
  kEngineDeleteJoinField = 3126,
  kEngineCannotReadMemo = 3169,
  kEngineCannotOpenText = 3170,
  kEnginePositionFileOpen = 3171,
  kEngineCacheError = 3172,
  kEngineCannotCreateCache = 3173,
  kEngineCacheError2 = 3174,
  kEngineCannotWriteCache = 3175,
  kEngineCannotReadCache = 3176,
  kEngineCannotCreateComponents = 3177,
  kEngineCannotWriteComponents = 3178,
  kEngineCannotOpenTotals = 3185,
  kEngineCannotReadTotalsIndex = 3186,
  kEngineCannotReadComponents = 3187,
  kEngineSilent3188 = 3188,
  kEngineCannotCreateTotalsIndex = 3189,
  kEngineSortGroupOutOfSynch = 3190,
  kEnginePreTotalUnassigned = 3191,
  kEngineUnsupportedTotalsSort = 3192,
  kEngineCannotCreateTotals = 3193,
  kEnginePreTotalTotalRelated = 3194,
  kEngineFilterRunningTotal = 3195,
  kEngineFilterHighestOnly = 3196,
  kEngineUnsupportedPreTotals = 3197,
  kEngineSortRunningTotal = 3198,
  kEngineSortRunningTotal2 = 3199,
  kEngineCannotReadTotals = 3200,
  kEngineCannotWriteTotals = 3201,
  kEngineCannotWriteTotalsIndex = 3202,
  kEngineInvalidLowScope = 3217,
  kEngineInvalidHighScope = 3218,
  kEngineLowAboveHigh = 3219,
  kEngineInvalidViewNames = 3233,
  kEngineEmptyStatement = 3234,
  kEngine3235 = 3235,
  kEngineMissingViewName = 3236,
  kEngineMissingAs = 3237,
  kEngineMissingSelect = 3238,
  kEngineMissingResultName = 3239,
  kEngineDuplicateResultName = 3240,
  kEngineMissingProcedure = 3241,
  kEngineChangingStatement = 3242,  // a user statement that is not one SELECT or procedure call
};

constexpr uint32_t kEngineFallbackTextId = 1509;  // "Cannot read %s database"

// The string id of a code's text: 0 for the silent codes, the fallback id for
// codes without an entry of their own.
uint32_t EngineErrorStringId(int32_t code);

// The application's error-style message dialog (owner window, text), used by
// ShowEngineError and ShowEngineErrorFor; the main frame is the owner when
// none is given.
void SetEngineErrorDisplay(int (*show)(void* owner, const char* text));
