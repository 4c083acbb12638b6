// A stand-in record stream for the report-file tests: the "report" is a data
// source name and a body text, written as a short stream of records of the
// real shape (header, string record, end) so the container code sees what a
// report file holds, and read back the same way.
#pragma once

#include "../files/library_test_util.h"
#include "app/document.h"
#include "files/report_io.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rftest {

using libtest::Bytes;

struct FakeReport {
  std::string dataSource;
  std::string body;
};

// What the fake stream writes from and reads into.
inline FakeReport g_report;
inline int g_reads = 0;
inline int g_forcedReadResult = 0;  // returned by the reader when non-zero

inline void PutRecord(Bytes& out, uint16_t type, const std::string& payload) {
  out.push_back(static_cast<uint8_t>(type));
  out.push_back(static_cast<uint8_t>(type >> 8));
  out.push_back(static_cast<uint8_t>(payload.size()));
  out.push_back(static_cast<uint8_t>(payload.size() >> 8));
  out.insert(out.end(), payload.begin(), payload.end());
}

inline std::string Header() { return std::string("\x08\x01\xEA\x07\x0C\x07\x01\x02\x03Windows", 16) + '\0'; }

inline Bytes WideStream(const std::string& dataSource, const std::string& body) {
  Bytes out;
  PutRecord(out, 1, Header());
  PutRecord(out, 0x4000 | 139, std::string("SQLite3\0", 8));
  PutRecord(out, 0x4000 | 138, std::string("UID=ann;PWD=pw\0", 15));
  PutRecord(out, 0x4000 | 91, dataSource + '\0');
  PutRecord(out, 150, body);
  PutRecord(out, 2, "");
  return out;
}

inline int FakeWrite(CKmDoc&, CKmRepIO& io, bool narrowed, std::vector<uint8_t>& out, bool* overflow) {
  if (g_report.body.size() > 65535) {
    if (narrowed) *overflow = true;
    return 1;
  }
  out.clear();
  PutRecord(out, 1, Header());
  if (!io.m_summary.m_strComments.empty()) PutRecord(out, 98, io.m_summary.m_strComments + '\0');
  if (narrowed) PutRecord(out, 91, g_report.dataSource);
  else PutRecord(out, 0x4000 | 91, g_report.dataSource + '\0');
  PutRecord(out, 150, g_report.body);
  PutRecord(out, 2, "");
  return 0;
}

inline int FakeRead(CKmDoc&, CKmRepIO& io, bool narrowed, const uint8_t* data, size_t size) {
  ++g_reads;
  FakeReport read;
  size_t at = 0;
  bool first = true, ended = false;
  while (!ended && size - at >= 4) {
    const uint16_t type = static_cast<uint16_t>((data[at] | data[at + 1] << 8) & ~0x4000);
    const size_t length = data[at + 2] | data[at + 3] << 8;
    if (size - at - 4 < length) break;
    const std::string payload(reinterpret_cast<const char*>(data + at + 4), length);
    at += 4 + length;
    if (first && type != 1) return 4;
    first = false;
    if (type == 98) io.m_summary.m_strComments = payload.c_str();
    if (type == 91) read.dataSource = narrowed ? payload : payload.c_str();
    if (type == 150) read.body = payload;
    ended = type == 2;
  }
  // A failed read leaves an emptied report behind, as the real reader does.
  g_report = FakeReport{};
  if (!ended) return -1;
  if (g_forcedReadResult != 0) return g_forcedReadResult;
  g_report = read;
  return 0;
}

inline void InstallFakeStream() {
  SetReportStreamCodec(ReportStreamCodec{&FakeWrite, &FakeRead});
  g_report = FakeReport{};
  g_reads = 0;
  g_forcedReadResult = 0;
}

using libtest::FreshPath;
using libtest::ReadAll;
using libtest::ScratchDir;
using libtest::WriteAll;

}  // namespace rftest
