// Which statements a user may give a report: one SELECT or one procedure
// call. Quotes and comments are read as every driver might read them, so
// nothing can be hidden in one.
#include "data/user_statement.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

TEST(UserStatement, OnlyOneReadingStatementOrProcedureCallPasses) {
  for (const char* ok : {"select * from orders", "  SELECT company\n from customers;  ", "(select 1) union (select 2)",
                         "define reportview R (a, b) as select a, b from t",
                         "with big as (select * from orders where amount > 5) select * from big",
                         "exec monthly_sales 2024", "EXEC dbo.report"})
    EXPECT_TRUE(IsReadingStatement(ok, "")) << ok;
  EXPECT_TRUE(IsReadingStatement("call monthly(2024)", "CALL"));  // the data source's procedure verb
  EXPECT_FALSE(IsReadingStatement("call monthly(2024)", ""));

  for (const char* bad : std::initializer_list<const char*>{
           "delete from order_lines", "  Update orders set amount = 0", "insert into t values (1)",
           "drop table orders", "attach database 'x.db' as x", "pragma writable_schema = 1", "vacuum",
           // Two statements, however the second is hidden from one reading of the quotes.
           "select 1; delete from order_lines", "select 'x\\'; delete from t; --'",
           "select $$'$$; delete from t; select $$'$$",
           // (so a ";" inside quotes is refused too)
           "select * from t where note like '%;%'",
           // A SELECT that writes or loads a library.
           "select * into copy_of_orders from orders", "SELECT load_extension('./evil.so')",
           "select $$'$$ into t from x --'",
           // Named subqueries that change rows; a REPORTVIEW over no SELECT.
           "with gone as (delete from orders returning *) select * from gone", "define reportview R () as delete",
           "define view R as select 1",
           // A call that, without its "exec", is a statement of its own.
           "exec delete from orders", "exec", "exec update t set a = 1",
           // Comments or quotes first: nothing we know.
           "/* /* */ select 1 */ delete from t", "-- note\nselect 1", "'select'", "", "   ", "(", nullptr})
    EXPECT_FALSE(IsReadingStatement(bad, "")) << (bad ? bad : "(null)");
  EXPECT_FALSE(IsReadingStatement("call x; delete from t", "call"));
}

}  // namespace
