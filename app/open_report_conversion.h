// What the program does to an open report when the measurement system
// changes under it (win.ini [intl] iMeasure), after the margins and band
// lines are converted: field objects sized to their text, the other objects
// converted, the layout recomputed and redrawn.
#pragma once

class KmDocBase;

void ConvertOpenReportLayout(KmDocBase& doc, int oldSystem, int newSystem);
