// The statement of an SQL-statement report while its master changes: the new
// statement parsed and held until the change is committed or dropped.
#pragma once

class CKmComposite;
struct MasterChange;

// Parses the new statement (its REPORTVIEW name and name list become the
// report's for the open) and keeps it in pending. 0, 3121, or the parser's
// code (nothing kept, the report's positions as before).
int TakePendingStatement(CKmComposite* m, const char* statement, MasterChange* pending);
// The pending statement becomes the report's.
void CommitPendingStatement(CKmComposite* m, MasterChange* pending);
