// The summary-information property set stored beside a report file's
// Contents stream, so the shell and other programs can show a report's
// title, subject, author, keywords, comments and dates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SummaryProperties {
  std::string title;
  std::string subject;
  std::string author;
  std::string keywords;
  std::string comments;
  std::string last_author;
  uint32_t revision = 0;          // incremented by each save
  uint64_t create_time = 0;       // FILETIME: 100 ns units since 1601
  uint32_t create_time_flag = 0;  // nonzero once the creation time is known
};

extern const char kSummaryStreamName[];  // "\005SummaryInformation"

// Longest text the reader takes back; the writer cuts longer texts to it so
// what is saved is what will be read.
constexpr size_t kSummaryMaxText = 1019;

// Builds the stream for a save at now (FILETIME, UTC). Increments the
// revision counter and, when the creation time is not yet known, takes now
// as the creation time.
std::vector<uint8_t> EncodeSummaryInformation(SummaryProperties& props, uint64_t now);

// Reads title, subject, author, keywords, revision and creation time from
// the stream into props. Reading stops silently at the first fault; what was
// read before it stays. A creation time read is kept for later saves.
void DecodeSummaryInformation(const std::vector<uint8_t>& stream, SummaryProperties& props);

// The current time as a FILETIME.
uint64_t CurrentFileTime();
