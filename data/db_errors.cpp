#include "data/db_errors.h"

#include <cstdio>

namespace {
DbErrorSink g_sink = nullptr;
DbQuestionSink g_question = nullptr;
std::string g_last;
int g_count = 0;
}  // namespace

void DbErrorBox(const char* text) {
  g_last = text ? text : "";
  ++g_count;
  if (g_sink) {
    g_sink(g_last.c_str());
  } else {
    std::fputs(g_last.c_str(), stderr);
    std::fputc('\n', stderr);
  }
}

bool DbAskOkCancel(const char* text) {
  g_last = text ? text : "";
  ++g_count;
  return g_question ? g_question(g_last.c_str()) : false;
}

void SetDbErrorSink(DbErrorSink sink) { g_sink = sink; }
void SetDbQuestionSink(DbQuestionSink sink) { g_question = sink; }

const std::string& DbLastErrorText() { return g_last; }
int DbErrorCount() { return g_count; }
void DbClearErrorRecord() {
  g_last.clear();
  g_count = 0;
}
