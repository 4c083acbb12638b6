// The filter described in words, and the buffer it is written into.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "condition_writer.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/filter_spec.h"
#include "model/record_pass.h"
#include "model/selection_conditions.h"

namespace {

class FilterSpecTest : public ::testing::Test {
 protected:
  FilterSpecTest() : model(nullptr) {
    InstallFilterDescription(&model);  // as the document does for its model
    model.AddTableSlot("orders", "ORD", 0, 0, nullptr);
    amount = Field("AMOUNT", kFieldNumeric);
    city = Field("CITY", 0);
  }
  ~FilterSpecTest() override {
    model.DropAttachment(AttachmentSlot::kRecordPass);
    std::free(model.conditionCode);
    model.conditionCode = nullptr;
    while (model.fieldList != nullptr) model.DeleteField(model.fieldList, 2 | 4);
  }
  FieldDef* Field(const char* name, uint32_t flags) {
    FieldDef* f = model.AddField(flags | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->width = 20;
    return f;
  }
  uint32_t N(const FieldDef* f) { return model.GetFieldIndex(f); }
  void Use(Cond c) {
    c.Op(0);
    std::free(model.conditionCode);
    model.conditionCode = static_cast<uint8_t*>(std::malloc(c.b.size()));
    std::memcpy(model.conditionCode, c.b.data(), c.b.size());
    model.conditionLength = static_cast<uint16_t>(c.b.size());
  }
  // Writes into a buffer of size bytes; nothing may pass the size.
  std::string Get(size_t size, size_t* written = nullptr) {
    std::string buffer(size + 8, '#');
    const size_t n = GetFilterSpecText(&model, &buffer[0], size);
    if (written != nullptr) *written = n;
    EXPECT_EQ(buffer.substr(size), std::string(8, '#'));
    return std::string(buffer.c_str());
  }
  CKmComposite model;
  FieldDef *amount, *city;
};

TEST_F(FilterSpecTest, RowsFollowTheLeadTextOrNothingIsWritten) {
  // AMOUNT > 5 and (CITY = 'Oslo' or CITY is null)
  Cond c;
  c.Field(N(amount)).Op(kCondGreater).Number(5).EndMark();
  c.Op(kCondAnd).Op(kCondOpen).Field(N(city)).Op(kCondEqual).Text("Oslo").EndMark();
  c.Op(kCondOr).Field(N(city)).Op(kCondIsNull).EndMark().Op(kCondClose);
  Use(c);
  const char q = ChooseQuoteChar(&model);
  const std::string expected = "Include all records where ORD.AMOUNT greater than 5 and (ORD.CITY equal to " +
                               std::string(1, q) + "Oslo" + std::string(1, q == '[' ? ']' : q) +
                               " or ORD.CITY is null)";
  const size_t length = BuildFilterSpecText(&model);
  EXPECT_EQ(length, expected.size() + 1);  // one byte per row: the blanks and the NUL
  size_t written = 0;
  EXPECT_EQ(Get(length, &written), expected);
  EXPECT_EQ(written, expected.size());
  // One byte short, or too small for the lead text: left empty.
  EXPECT_EQ(Get(length - 1, &written), "");
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(Get(10), "");
  // A pass gives fields that show the filter these words.
  ASSERT_EQ(OpenScan(&model), 0);
  std::string described;
  ASSERT_NE(model.describeFilter, nullptr);
  EXPECT_TRUE(model.describeFilter(&model, &described));
  EXPECT_EQ(described, expected);
}

TEST_F(FilterSpecTest, MissingDamagedAndOversizedConditions) {
  EXPECT_EQ(BuildFilterSpecText(&model), 0u);
  EXPECT_EQ(Get(100), "");
  std::string described;
  EXPECT_FALSE(DescribeFilter(&model, &described));
  Use(Cond().Field(N(amount)).Op(kCondGreater).Op(kCondNumber));  // cut inside its number
  EXPECT_EQ(BuildFilterSpecText(&model), 0u);
  EXPECT_EQ(Get(200), "");
  Use(Cond().Field(4000).Op(kCondIsNull).EndMark());  // a field number past the list
  EXPECT_EQ(Get(200), "Include all records where ??? is null");
  // A row longer than its values field is written whole, or cut to a buffer.
  const std::string longText(520, 'x');
  Use(Cond().Field(N(city)).Op(kCondNotLike).Text(longText.c_str()).EndMark());
  const size_t length = BuildFilterSpecText(&model);
  EXPECT_GT(length, 543u);
  EXPECT_EQ(Get(length).size() + 1, length);
  SelectConditionRow row;
  ASSERT_EQ(FormatSelectCondition(&model, 1, &row), 1);
  char small[16];
  EXPECT_EQ(FormatFilterCondition(&model, row, small, sizeof small), 15u);
  EXPECT_EQ(std::string(small), "ORD.CITY not li");
}

}  // namespace
