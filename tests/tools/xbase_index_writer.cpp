// Test tool: builds an index over an existing dBASE table with an
// independent xBase library, so the program's own index reader can be
// checked against files it did not write.
//   xbase-index-writer TABLE.DBF INDEX.NDX|INDEX.NTX EXPRESSION
#include <xbase64/xbase64.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s table.dbf index.ndx|index.ntx expression\n", argv[0]);
    return 2;
  }
  xbXBase x;
  xbDbf table(&x);
  if (table.OpenDatabase(argv[1]) != XB_NO_ERROR) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const std::string out = argv[2];
  const std::string ext = out.size() > 4 ? out.substr(out.size() - 4) : "";
  xbIndex* index = nullptr;
  if (ext == ".ntx" || ext == ".NTX") index = new xbNtx(&table);
  else index = new xbNdx(&table);
  int rc = index->CreateIndex(argv[2], argv[3], XB_NOT_UNIQUE, XB_OVERLAY);
  if (rc == XB_NO_ERROR) rc = index->ReIndex();
  if (rc != XB_NO_ERROR) {
    std::fprintf(stderr, "index failed: %d\n", rc);
    return 1;
  }
  index->CloseIndex();
  table.CloseDatabase();
  delete index;
  return 0;
}
