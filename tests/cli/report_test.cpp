#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/report.h"
#include "support/test_support.h"

namespace velmora {
namespace {

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsUtf8) {
  struct Row {
    std::string text;
    std::string json;
  };
  const Row rows[] = {
      {"a.hwpx", "\"a.hwpx\""},
      {"say \"hi\"\\now", "\"say \\\"hi\\\"\\\\now\""},
      {"작업 완료\n(0.512)", "\"작업 완료\\n(0.512)\""},
      {"tab\tcr\r\x01\x1f\x7f", "\"tab\\tcr\\r\\u0001\\u001f\x7f\""},
      {std::string("nul\0end", 7), "\"nul\\u0000end\""},
      // Bytes that are no UTF-8 (a name from another system) become U+FFFD.
      {"\xC7\xD1.hwpx", "\"\xEF\xBF\xBD\xEF\xBF\xBD.hwpx\""},
      {"cut\xE2\x82", "\"cut\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xF0\x9F\x93\x84", "\"\xF0\x9F\x93\x84\""},
  };
  for (const Row& row : rows) EXPECT_EQ(cli::JsonString(row.text), row.json) << row.text;
}

// The codes are what scripts read: one per decision, each listed in the schema.
TEST(DecisionCode, EveryDecisionHasItsOwnCodeInTheSchema) {
  const std::string schema =
      testing::ReadFile(std::string(VELMORA_SOURCE_DIR) + "/docs/report.schema.json");
  std::set<std::string> codes;
  for (int value = 0; value <= static_cast<int>(PictureDecision::kEntryUnreadable); ++value) {
    const std::string code = cli::DecisionCode(static_cast<PictureDecision>(value));
    EXPECT_TRUE(codes.insert(code).second) << code;
    EXPECT_NE(schema.find("\"" + code + "\""), std::string::npos) << code;
  }
}

TEST(ReportJson, UnknownSizesAreNullAndTotalsCountTheSucceeded) {
  cli::RunReport report;
  report.documents.push_back({"a.hwpx", "a(pack).hwpx", cli::DocumentStatus::kWritten, "ok", 100,
                              60, 0.25, {}});
  report.documents.push_back({"b.hml", "b(pack).hml", cli::DocumentStatus::kFailed, "no", 50, -1,
                              0, {}});
  report.documents.push_back({"c.hwpx", "c(pack).hwpx", cli::DocumentStatus::kSkipped, "exists",
                              70, -1, 0, {}});
  const std::string json = cli::ReportJson(report);
  EXPECT_NE(json.find("\"bytes_after\": null"), std::string::npos);
  EXPECT_NE(json.find("\"totals\": {\n    \"documents\": 3,\n    \"succeeded\": 1,\n"
                      "    \"skipped\": 1,\n    \"failed\": 1,\n    \"bytes_before\": 100,\n"
                      "    \"bytes_after\": 60\n  }"),
            std::string::npos)
      << json;
}

}  // namespace
}  // namespace velmora
