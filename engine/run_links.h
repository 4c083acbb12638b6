// Joins a run to its calculation side (totals, group breaks, calculated
// fields) in both directions.
#pragma once

#include "engine/report_run.h"

// The run's calls into the calculation side.
void InstallCalcLinks(RunLinks& links);
// The calculation side's calls back into the run's page mechanics and band
// sequencing (RunCalcState::hooks).
void InstallRunCalcHooks(ReportRun* run);
// The record pass updates the summaries during the run and not after it.
void BeginRunRecordPass(KmDocBase* doc);
void EndRunRecordPass(KmDocBase* doc);
