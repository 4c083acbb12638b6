// Every link a lower layer has up to the program, installed in one place:
// the start-up's own steps, where messages go, the run's status and
// cancelling, the report reader's questions, the model's checks, the band-line
// and dependency dialogs. A reader looking for what runs when a lower layer
// asks finds it here.
#pragma once

class BandLineDialogs;
class CKmComposite;
class CKmDoc;

// Process-wide links and those of the document the program starts with;
// bandLines are the designer's dialogs over that document.
void InstallProgramLinks(CKmDoc& doc, BandLineDialogs* bandLines);
// Takes them down again at exit.
void RemoveProgramLinks();
// The model's links to the data layer and the run, given as the document makes it.
void InstallModelLinks(CKmComposite* model);

// An error message over the main window, or on standard error in an unattended
// run or without a document; caption null or empty: the program's.
void ShowProgramError(const char* text, const char* caption);
