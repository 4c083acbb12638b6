// The report-file tests' helpers: a full report in a fixture document with its
// report file object, and records built by hand for hostile files.
#pragma once

#include "tests/files/library_test_util.h"
#include "tests/files/reportstream/report_fixture.h"
#include "files/report_io.h"
#include "platform/ole/compound_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rftest {

using libtest::Bytes;
using libtest::FreshPath;
using libtest::ReadAll;
using libtest::ScratchDir;
using libtest::WriteAll;

// The owner is known before any report object asks the registry for it.
struct KnownOwner {
  KnownOwner() {
    SetReportOwnerName("Ann Owner");
    SetReportStreamCodec(ReportStreamCodec{nullptr, nullptr});
  }
};

// A document holding the full report of the stream tests (or an empty one),
// and its report file object set up from the fixture's stream state.
struct Report : KnownOwner {
  explicit Report(bool full = true) {
    if (full) rs_test::BuildFullReport(d);
    io.m_stream.settings = d.st.settings;
    io.m_stream.hooks = &d.hooks;
    io.m_summary.m_strComments = d.st.settings.comments;
  }
  std::string FirstError() const { return d.hooks.errors.empty() ? "" : d.hooks.errors[0]; }
  rs_test::Doc d;
  CKmRepIO io{&d.doc};
};

inline void PutRecord(Bytes& out, uint16_t type, const std::string& payload) {
  const Bytes head = {static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8),
                      static_cast<uint8_t>(payload.size()), static_cast<uint8_t>(payload.size() >> 8)};
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), payload.begin(), payload.end());
}

inline std::string Header(uint8_t version = 8) {
  return std::string(1, static_cast<char>(version)) + std::string("\x01\xEA\x07\x0C\x07\x01\x02\x03Windows", 15) + '\0';
}

inline std::vector<uint8_t> ContentsOf(const std::string& path) {
  vt_ole::Storage root;
  EXPECT_EQ(vt_ole::ReadStorageFile(path, root), vt_ole::StorageError::kNone);
  const vt_ole::Stream* s = root.FindStream("Contents");
  return s ? s->data : std::vector<uint8_t>{};
}

inline std::string FileWithContents(const std::string& name, const Bytes& contents) {
  const std::string p = FreshPath(name);
  vt_ole::Storage root;
  root.PutStream("Contents", contents);
  EXPECT_EQ(vt_ole::WriteStorageFile(p, root), vt_ole::StorageError::kNone);
  return p;
}

}  // namespace rftest
