// Band output joined to the report run: the run's band entry, and the page
// steps band output calls back into the run.
#pragma once

#include "engine/band_output.h"

struct RunLinks;
class KmDocBase;

// RunLinks::outputBand becomes band output for the document's run and
// RunLinks::flushAcrossRow its records-across row flush; at page ends
// (RunLinks::flushHeldLine) open lines and boxes are cut and continued; the
// run's Print Once reset clears band output's marks.
void InstallBandOutputLinks(RunLinks& links);

// The band output block of the document's run, made on first use from the
// document: its layout tables, regional settings, the screen and printer
// resolutions, and hooks into the run's page overflow, new page, enclosing
// footers and message pump. Null outside a run.
BandOutputState* PrepareBandOutput(KmDocBase* doc);

// The band entry of RunLinks: the run state (0 to go on).
int OutputBandForDoc(KmDocBase* doc, int band, int fitLimit);
