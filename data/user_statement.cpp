#include "data/user_statement.h"

#include "core/engine_errors.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/reportview.h"
#include "foundation/heap_strings.h"
#include "platform/win/wsprintf.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned kIdNotReading = 62316, kIdRefusedStatement = 62360, kIdSecondStatement = 62361,
                   kIdChangingWord = 62362, kIdOutsideCall = 62363, kIdUnreadable = 62364,
                   kIdRefusedExpression = 62365, kIdUnbalanced = 62378, kIdEscapedName = 62375;

// Words that change data or the database. On a server that needs a ";"
// between statements (SQLite, PostgreSQL) such a word acts only where a
// statement or a data-modifying part begins, and INTO where it makes a
// table: anywhere else it is a name. Elsewhere a statement may follow
// another without one, so the word is refused wherever it stands unquoted.
// Words a reading statement also uses stay out (END closes CASE, SET and
// START can name columns); REPLACE is taken only where it is no function call.
const char* const kChangingWords[] = {
    "insert", "update", "delete", "merge",  "upsert", "replace", "create",  "drop",   "alter",
    "truncate", "copy", "attach", "detach", "grant", "revoke", "vacuum", "pragma", "reindex",
    "into", "commit", "rollback", "savepoint", "lock",
};

// Verbs that begin a part that changes data.
const char* const kModifyingVerbs[] = {"insert", "update", "delete", "merge", "upsert", "replace"};

// First words of statements other than a reading one: none of them is taken
// for the name of a procedure whose exec the data source does not take.
const char* const kStatementWords[] = {
    "abort", "analyze", "analyse", "backup", "begin", "bulk", "call", "checkpoint", "close", "cluster", "comment",
    "deallocate", "declare", "deny", "disable", "discard", "do", "dbcc", "enable", "end", "exec", "execute",
    "explain", "fetch", "flush", "get", "go", "goto", "handler", "if", "import", "install", "kill", "listen",
    "load", "move", "notify", "open", "optimize", "prepare", "print", "purge", "raiserror", "reassign",
    "receive", "reconfigure", "refresh", "release", "rename", "repair", "reset", "restore", "return", "security",
    "send", "set", "setuser", "show", "shutdown", "start", "throw", "uninstall", "unlisten", "unlock", "use",
    "waitfor", "while", "writetext", "updatetext", "readtext",
};

// Functions that write files, load code, change settings, sequences or
// large objects, run text as SQL or reach other sessions or servers.
const char* const kSqliteFunctions[] = {
    "load_extension", "blob_import", "blob_export", "writefile", "readfile", "edit", "fts3_tokenizer",
    "fsdir", "lsdir", "import_sql", "import_csv", "export_sql", "export_csv", "export_html", "export_xml",
    "export_json",
};
const char* const kPostgresFunctions[] = {
    "set_config", "setval", "nextval", "lo_*", "loread", "lowrite", "pg_read_*", "pg_write_*", "pg_ls_*",
    "pg_stat_file", "pg_file_*", "dblink*", "query_to_xml*", "ts_stat", "ts_rewrite", "pg_terminate_backend",
    "pg_cancel_backend", "pg_reload_conf", "pg_rotate_logfile", "pg_promote", "pg_switch_wal",
    "pg_create_*", "pg_drop_*", "pg_copy_*", "pg_replication_*", "pg_logical_*", "pg_backup_*",
    "pg_start_backup", "pg_stop_backup", "pg_wal_replay_*", "pg_notify", "pg_advisory_*", "pg_try_advisory_*",
    "pg_stat_reset*", "pg_stat_statements_reset", "pg_log_backend_memory_contexts",
    "pg_import_system_collations", "pg_export_snapshot",
};

std::string Lowered(const std::string& word) {
  std::string out = word;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

template <size_t N>
bool InList(const char* const (&list)[N], const std::string& word) {
  for (const char* w : list)
    if (SqlWordIs(word, w)) return true;
  return false;
}

bool IsStatementWord(const std::string& word) {
  return InList(kStatementWords, word) || InList(kChangingWords, word);
}

bool IsRefusedFunction(const std::string& name, const std::vector<std::string>& refused) {
  const std::string lower = Lowered(name);
  for (const std::string& r : refused) {
    if (!r.empty() && r.back() == '*' ? lower.compare(0, r.size() - 1, r, 0, r.size() - 1) == 0 : lower == r)
      return true;
  }
  return false;
}

// Reads a statement's or a piece's tokens and judges them.
class Judge {
 public:
  Judge(const SqlCheckRules& rules, unsigned messageId) : rules_(rules), messageId_(messageId) {}

  bool Read(const char* text, bool fragment) {
    SqlLexRules lex = rules_.lex;
    lex.fragment = fragment;
    std::string why;
    if (!ReadSqlTokens(text, lex, &t_, &why)) return Refuse(kIdUnreadable, why);
    return true;
  }

  // Every token from the statement's first word (start; npos in a piece):
  // no changing word where it acts, no refused function in any quoting, no
  // name written with escapes a UESCAPE could change.
  bool WordsAndCalls(size_t count, size_t start) {
    const bool with = start != std::string::npos && IsWord(start, "with");
    // The WITH statement's own level: inside the brackets it may open with.
    int level = 0;
    for (size_t b = with ? start : 0; b > 0 && IsSymbol(b - 1, '('); --b) ++level;
    // Each open bracket: whether it holds a query (a locking clause can
    // stand only at a query's own level: FOR in substring(x for update) is
    // part of the call).
    std::vector<bool> query = {true};
    // The WITH list has led to its main query, a SELECT: a verb after it at
    // that level can only be a name (no statement follows without a ";").
    bool mainSelect = false;
    for (size_t i = 0; i < count; ++i) {
      const SqlToken& k = t_[i];
      const bool call = i + 1 < count && IsSymbol(i + 1, '(');
      if (IsSymbol(i, '(')) {
        size_t f = i + 1;
        while (IsSymbol(f, '(')) ++f;
        query.push_back(IsWord(f, "select") || IsWord(f, "with") || IsWord(f, "values") || IsWord(f, "table"));
      } else if (IsSymbol(i, ')') && query.size() > 1) {
        query.pop_back();
      }
      const int depth = static_cast<int>(query.size()) - 1;
      const bool withLevel = with && depth == level;
      mainSelect = mainSelect || (withLevel && i > start && IsWord(i, "select"));
      // A CTE's name follows WITH, RECURSIVE or a comma of the WITH list.
      const bool cteName = withLevel && !mainSelect && i > 0 &&
                           (IsWord(i - 1, "with") || IsWord(i - 1, "recursive") || IsSymbol(i - 1, ','));
      const bool changing =
          InList(kChangingWords, k.text) && !(call && SqlWordIs(k.text, "replace")) && !cteName;
      // A word run on from a number is never a name.
      if (changing &&
          (k.kind == SqlTokenKind::kNumber || (k.kind == SqlTokenKind::kWord && Acts(i, withLevel && !mainSelect))))
        return Refuse(kIdChangingWord, Upper(k.text));
      // FOR UPDATE and its kin (FOR SHARE, FOR NO KEY UPDATE, FOR KEY SHARE)
      // lock the rows they read until the run ends; FOR before a name, as in
      // substring(x for key), locks nothing.
      if (k.kind == SqlTokenKind::kWord && SqlWordIs(k.text, "for") && query.back() &&
          (IsWord(i + 1, "update") || IsWord(i + 1, "share") || (IsWord(i + 1, "no") && IsWord(i + 2, "key")) ||
           (IsWord(i + 1, "key") && IsWord(i + 2, "share"))))
        return Refuse(kIdChangingWord, "FOR " + Upper(t_[i + 1].text));
      if ((k.kind == SqlTokenKind::kWord || k.kind == SqlTokenKind::kQuotedName) && call &&
          IsRefusedFunction(k.text, rules_.refusedFunctions))
        return Refuse(kIdOutsideCall, k.text);
      if (k.unicodeName && i + 1 < count && SqlWordIs(t_[i + 1].text, "uescape"))
        return Refuse(kIdUnreadable, GetResString(kIdEscapedName, 1));
    }
    return true;
  }

  // Whether the changing word at i acts there rather than names something:
  // INTO where it makes a table; a verb that begins a CTE's body or the
  // statement a WITH list leads to (withLevel: the word stands at the WITH
  // statement's own level). Elsewhere on these servers it can only be a
  // name (a statement's first word is judged apart).
  bool Acts(size_t i, bool withLevel) const {
    if (rules_.lex.server == SqlServer::kOther) return true;
    const bool named = i > 0 && (IsSymbol(i - 1, '.') || IsWord(i - 1, "as"));
    if (SqlWordIs(t_[i].text, "into")) return !named;
    if (!InList(kModifyingVerbs, t_[i].text)) return false;
    if (i >= 2 && IsSymbol(i - 1, '(') && (IsWord(i - 2, "as") || IsWord(i - 2, "materialized"))) return true;
    return withLevel && !named;
  }

  bool Refuse(unsigned reasonId, const std::string& detail) {
    why_ = FilledSqlMessage(messageId_, FilledSqlMessage(reasonId, detail));
    return false;
  }
  bool RefuseFirstWord() {
    why_ = GetResString(kIdNotReading, 0);
    return false;
  }

  bool IsSymbol(size_t i, char c) const {
    return i < t_.size() && t_[i].kind == SqlTokenKind::kSymbol && t_[i].text[0] == c;
  }
  bool IsWord(size_t i, const char* w) const {
    return i < t_.size() && t_[i].kind == SqlTokenKind::kWord && SqlWordIs(t_[i].text, w);
  }
  bool IsName(size_t i) const {
    return i < t_.size() && (t_[i].kind == SqlTokenKind::kWord || t_[i].kind == SqlTokenKind::kQuotedName);
  }
  // A name of parts "a.b.c" from i: the index after it, its last part in *last.
  size_t QualifiedName(size_t i, std::string* last) const {
    if (!IsName(i)) return i;
    *last = t_[i].text;
    while (IsSymbol(i + 1, '.') && IsName(i + 2)) {
      i += 2;
      *last = t_[i].text;
    }
    return i + 1;
  }

  static std::string Upper(const std::string& w) {
    std::string out = w;
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
  }

  // The reading that refuses, with the reason given.
  SqlReading Refused() const {
    SqlReading r;
    r.why = why_;
    return r;
  }

  const SqlCheckRules& rules_;
  unsigned messageId_;
  std::vector<SqlToken> t_;
  std::string why_;
};

// The statement's tokens before a trailing ";" (and what follows it, which
// can only be more of them); npos when a ";" stands anywhere else.
size_t StatementEnd(const std::vector<SqlToken>& t) {
  size_t end = t.size();
  while (end > 0 && t[end - 1].kind == SqlTokenKind::kSymbol && t[end - 1].text[0] == ';') --end;
  for (size_t i = 0; i < end; ++i)
    if (t[i].kind == SqlTokenKind::kSymbol && t[i].text[0] == ';') return std::string::npos;
  return end;
}

}  // namespace

std::vector<std::string> DefaultRefusedFunctions(SqlServer server) {
  std::vector<std::string> out;
  if (server != SqlServer::kPostgres) out.insert(out.end(), std::begin(kSqliteFunctions), std::end(kSqliteFunctions));
  if (server != SqlServer::kSqlite)
    out.insert(out.end(), std::begin(kPostgresFunctions), std::end(kPostgresFunctions));
  return out;
}

void AddRefusedFunctions(const std::string& list, std::vector<std::string>* out) {
  std::string name;
  for (size_t i = 0; i <= list.size(); ++i) {
    const char c = i < list.size() ? list[i] : ',';
    if (c == ',' || c == ' ' || c == '\t') {
      if (!name.empty()) out->push_back(Lowered(name));
      name.clear();
    } else {
      name += c;
    }
  }
}

bool IsRefusedSqlWord(const std::string& word) { return InList(kChangingWords, word); }

SqlReading ReadSentStatement(const char* sql, const SqlCheckRules& rules, bool bareProcedure) {
  SqlReading r;
  Judge j(rules, kIdRefusedStatement);
  if (!j.Read(sql, false)) {
    return j.Refused();
  }
  const size_t count = StatementEnd(j.t_);
  if (count == std::string::npos) {
    j.Refuse(kIdSecondStatement, std::string());
    return j.Refused();
  }
  // The first word: a reading one, after any opening parentheses; or a
  // procedure call in one of the forms a report sends.
  size_t f = 0;
  while (f < count && j.IsSymbol(f, '(')) ++f;
  std::string procedure;
  bool reading = false;
  size_t start = f;
  if (f == 0 && j.IsWord(0, "explain")) {
    // EXPLAIN of a reading statement reads (ANALYZE runs it, still reading);
    // of any other it stays refused.
    start = 1;
    if (j.IsSymbol(1, '(')) {
      while (start < count && !j.IsSymbol(start, ')')) ++start;
      ++start;
    } else {
      while (j.IsWord(start, "analyze") || j.IsWord(start, "analyse") || j.IsWord(start, "verbose") ||
             (j.IsWord(start, "query") && j.IsWord(start + 1, "plan")))
        start += j.IsWord(start, "query") ? 2 : 1;
    }
    while (start < count && j.IsSymbol(start, '(')) ++start;
    reading = j.IsWord(start, "select") || j.IsWord(start, "with") || j.IsWord(start, "values") ||
              j.IsWord(start, "table");
  } else if (j.IsWord(f, "select") || j.IsWord(f, "with") || j.IsWord(f, "values") || j.IsWord(f, "table") ||
             (f == 0 && j.IsWord(0, "show"))) {
    reading = true;
  } else if (f == 0 && j.IsSymbol(0, '{')) {
    // {call name(...)} or {? = call name(...)}, and nothing after its brace.
    size_t g = 1;
    if (j.IsSymbol(g, '?') && j.IsSymbol(g + 1, '=')) g += 2;
    int depth = 0;
    size_t close = 0;
    for (size_t i = 0; i < count && close == 0; ++i) {
      if (j.IsSymbol(i, '{')) ++depth;
      if (j.IsSymbol(i, '}') && --depth == 0) close = i;
    }
    if (j.IsWord(g, "call") && close + 1 == count) j.QualifiedName(g + 1, &procedure);
  } else if (f == 0 && (j.IsWord(0, "call") || j.IsWord(0, "exec") ||
                        (!rules.procVerb.empty() && j.IsWord(0, Lowered(rules.procVerb).c_str())))) {
    // A changing word is no procedure's name.
    if (j.t_.size() > 1 && j.t_[1].kind == SqlTokenKind::kWord && IsRefusedSqlWord(j.t_[1].text)) {
      j.Refuse(kIdChangingWord, Judge::Upper(j.t_[1].text));
      return j.Refused();
    }
    j.QualifiedName(1, &procedure);
  } else if (f == 0 && bareProcedure && j.t_.size() > 0 && j.t_[0].kind == SqlTokenKind::kWord &&
             !IsStatementWord(j.t_[0].text)) {
    j.QualifiedName(0, &procedure);
  }
  if (!reading && procedure.empty()) {
    j.RefuseFirstWord();
    return j.Refused();
  }
  if (!procedure.empty() && IsRefusedFunction(procedure, rules.refusedFunctions)) {
    j.Refuse(kIdOutsideCall, procedure);
    return j.Refused();
  }
  if (!j.WordsAndCalls(count, start)) {
    return j.Refused();
  }
  r.ok = true;
  r.procedure = !reading;
  return r;
}

SqlReading ReadReportStatement(const char* statement, const SqlCheckRules& rules) {
  StatementShape shape;
  uint32_t position = 0;
  if (const int rc = ReadStatementShape(statement, &position, rules.passExec, &shape)) {
    SqlReading r;
    r.why = GetResString(EngineErrorStringId(rc), 0);
    return r;
  }
  SqlReading r = ReadSentStatement(statement + shape.queryOffset, rules,
                                   shape.form == StatementShape::kExec && !rules.passExec);
  r.queryOffset = shape.queryOffset;
  return r;
}

SqlReading ReadSqlExpression(const char* text, const SqlCheckRules& rules) {
  SqlReading r;
  Judge j(rules, kIdRefusedExpression);
  if (!j.Read(text, true)) {
    return j.Refused();
  }
  // A piece stays inside its place: no ";", and its brackets close.
  int parens = 0, braces = 0;
  for (size_t i = 0; i < j.t_.size(); ++i) {
    if (j.IsSymbol(i, ';')) {
      j.Refuse(kIdSecondStatement, std::string());
      return j.Refused();
    }
    parens += j.IsSymbol(i, '(') ? 1 : j.IsSymbol(i, ')') ? -1 : 0;
    braces += j.IsSymbol(i, '{') ? 1 : j.IsSymbol(i, '}') ? -1 : 0;
    if (parens < 0 || braces < 0) break;
  }
  if (parens != 0 || braces != 0) {
    j.Refuse(kIdUnreadable, GetResString(kIdUnbalanced, 1));
    return j.Refused();
  }
  if (!j.WordsAndCalls(j.t_.size(), std::string::npos)) {
    return j.Refused();
  }
  r.ok = true;
  return r;
}

namespace {
SqlReading ReadWithSourceRules(DataAccess* data, const char* statement) {
  SqlCheckRules rules;
  if (data != nullptr) rules = data->SqlRules();
  else rules.refusedFunctions = DefaultRefusedFunctions(SqlServer::kOther);
  return ReadReportStatement(statement != nullptr ? statement : "", rules);
}
}  // namespace

bool IsProcedureStatement(DataAccess* data, const char* statement) {
  return ReadWithSourceRules(data, statement).procedure;
}

bool CheckReadingStatement(DataAccess* data, const char* statement, char* errBuf, int errSize, bool quiet) {
  const SqlReading r = ReadWithSourceRules(data, statement);
  if (r.ok) return true;
  if (errBuf != nullptr && errSize > 0) CopyBounded(errBuf, static_cast<size_t>(errSize), r.why.c_str());
  else if (!quiet) DbErrorBox(r.why.c_str());
  return false;
}
