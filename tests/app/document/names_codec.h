// A stand-in record codec for the document's report file object: the field
// names (record 100) between a header and the end record. Tests steer it
// through the two switches.
#pragma once

#include "app/document.h"
#include "core/composite.h"
#include "platform/win/wsprintf.h"

#include <cstdint>
#include <string>
#include <vector>

class CKmRepIO;

namespace doc_test {

inline bool g_namesWriteFails = false;  // the writer refuses
inline int g_namesReadResult = 0;       // what the reader answers after its first field

inline void PutNamesRecord(std::vector<uint8_t>& out, uint16_t type, const std::string& payload) {
  out.push_back(static_cast<uint8_t>(type));
  out.push_back(static_cast<uint8_t>(type >> 8));
  out.push_back(static_cast<uint8_t>(payload.size()));
  out.push_back(static_cast<uint8_t>(payload.size() >> 8));
  out.insert(out.end(), payload.begin(), payload.end());
}

inline int NamesWrite(KmDocBase& doc, CKmRepIO&, bool, std::vector<uint8_t>& out, bool* overflow) {
  *overflow = false;
  if (g_namesWriteFails) return -1;
  PutNamesRecord(out, 1, std::string(1, '\x08'));
  for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next) PutNamesRecord(out, 100, f->name);
  PutNamesRecord(out, 2, "");
  return 0;
}

inline int NamesRead(KmDocBase& doc, CKmRepIO&, bool, const uint8_t* data, size_t size) {
  static_cast<CKmDoc&>(doc).EmptyModel();  // the tests read into the application's document
  size_t at = 0;
  while (size - at >= 4) {
    uint16_t type = static_cast<uint16_t>(data[at] | data[at + 1] << 8);
    size_t length = static_cast<size_t>(data[at + 2] | data[at + 3] << 8);
    if (size - at - 4 < length) return -1;
    std::string payload(reinterpret_cast<const char*>(data + at + 4), length);
    at += 4 + length;
    if (type == 2) return 0;
    if (type == 100) {
      CopyBounded(doc.m_pModel->AddField(0)->name, sizeof(FieldDef::name), payload.c_str());
      if (g_namesReadResult != 0) return g_namesReadResult;
    }
  }
  return -1;
}

}  // namespace doc_test
