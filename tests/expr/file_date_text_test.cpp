#include "expr/file_date_text.h"

#include <gtest/gtest.h>

TEST(FileDateText, LastSavedStatusLine) {
  DateParts d;
  d.year = 1998;
  d.month = 3;
  d.day = 7;
  TimeParts t;
  t.hours = 9;
  t.minutes = 5;
  t.seconds = 0;
  EXPECT_EQ(FormatLastSavedStatus(d, t, "", nullptr), "Last Saved: 03/07/1998  09:05:00");
  EXPECT_EQ(FormatLastSavedStatus(d, t, "JO", "Sales"), "Last Saved: 03/07/1998  09:05:00  ID: JO  Data Source: Sales");
  // A percent sign in the identifier is text, not a format.
  EXPECT_EQ(FormatLastSavedStatus(d, t, "%s%n", nullptr), "Last Saved: 03/07/1998  09:05:00  ID: %s%n");
  d.year = -1;
  EXPECT_EQ(FormatLastSavedStatus(d, t, "JO", "Sales"), "Last Saved: Unknown");
  // Without a document or frame there is nowhere to show it, and nothing breaks.
  FillFileDateTime(d, t, "JO", nullptr, 208, 209, nullptr);
}
