#include "platform/ole/compound_file.h"

#include "platform/win/codepage_text.h"
#include "platform/win/fileio.h"
#include "platform/win/file_replace.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace vt_ole {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Works for const and non-const lists alike: Items deduces the constness.
template <typename Items>
auto FindByName(Items& items, const std::string& n) -> decltype(&items.front()) {
  for (auto& it : items)
    if (SameName(it.name, n)) return &it;
  return nullptr;
}

void SetMessage(std::string* message, const std::string& text) {
  if (message) *message = text;
}

void TakeError(GError*& err, std::string* message, const char* fallback) {
  SetMessage(message, err && err->message ? err->message : fallback);
  if (err) g_error_free(err);
  err = nullptr;
}

struct ReadBudget {
  uint64_t bytes = 0;
  size_t entries = 0;
};

StorageError ReadChildren(GsfInfile* dir, Storage& into, int depth, ReadBudget& budget, std::string* message) {
  if (depth > kMaxDepth) {
    SetMessage(message, "storages nested too deeply");
    return StorageError::kTooLarge;
  }
  int n = gsf_infile_num_children(dir);
  for (int i = 0; i < n; ++i) {
    if (++budget.entries > kMaxEntries) {
      SetMessage(message, "too many entries");
      return StorageError::kTooLarge;
    }
    const char* raw_name = gsf_infile_name_by_index(dir, i);
    GsfInput* child = gsf_infile_child_by_index(dir, i);
    if (child == nullptr || raw_name == nullptr) {
      if (child) g_object_unref(child);
      SetMessage(message, "an entry cannot be opened");
      return StorageError::kCorrupt;
    }
    // The library names entries in UTF-8; the program keeps Windows-1252.
    std::string name = Utf8ToAnsi(raw_name);
    StorageError result = StorageError::kNone;
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      Storage& sub = into.PutStorage(name);
      if (GSF_IS_INFILE_MSOLE(child)) gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child), sub.classId);
      result = ReadChildren(GSF_INFILE(child), sub, depth + 1, budget, message);
    } else {
      gsf_off_t size = gsf_input_size(child);
      if (size < 0 || static_cast<uint64_t>(size) > kMaxTotalBytes - budget.bytes) {
        SetMessage(message, "stream too large");
        result = StorageError::kTooLarge;
      } else {
        budget.bytes += static_cast<uint64_t>(size);
        std::vector<uint8_t> data(static_cast<size_t>(size));
        if (size > 0 && gsf_input_read(child, static_cast<size_t>(size), data.data()) == nullptr) {
          SetMessage(message, "a stream cannot be read");
          result = StorageError::kCorrupt;
        } else {
          into.PutStream(name, std::move(data));
        }
      }
    }
    g_object_unref(child);
    if (result != StorageError::kNone) return result;
  }
  return StorageError::kNone;
}

bool WriteChildren(GsfOutfile* dir, const Storage& from) {
  for (const Stream& s : from.streams) {
    GsfOutput* out = gsf_outfile_new_child(dir, AnsiToUtf8(s.name).c_str(), FALSE);
    if (out == nullptr) return false;
    bool ok = s.data.empty() || gsf_output_write(out, s.data.size(), s.data.data());
    ok = gsf_output_close(out) && ok;
    g_object_unref(out);
    if (!ok) return false;
  }
  for (const Storage& sub : from.storages) {
    GsfOutput* out = gsf_outfile_new_child(dir, AnsiToUtf8(sub.name).c_str(), TRUE);
    if (out == nullptr) return false;
    // An object's class says what the object is; it goes back with its storage.
    if (GSF_IS_OUTFILE_MSOLE(out)) gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out), sub.classId);
    bool ok = WriteChildren(GSF_OUTFILE(out), sub);
    ok = gsf_output_close(out) && ok;
    g_object_unref(out);
    if (!ok) return false;
  }
  return true;
}

void DropLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void InitOnce() {
  static bool done = false;
  if (!done) {
    gsf_init();
    // A damaged file is reported through our own result; the library's
    // warnings about it would only clutter the terminal.
    const GLogLevelFlags levels =
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO);
    g_log_set_handler("libgsf:msole", levels, DropLog, nullptr);
    g_log_set_handler("libgsf", levels, DropLog, nullptr);
    done = true;
  }
}

const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

bool HasSignature(const std::string& path) {
  // Only a regular file can be one: a pipe would wait for a writer.
  const int fd = OpenExistingFile(path, kFileRead | kFileRegularOnly);
  if (fd < 0) return false;
  uint8_t head[8] = {};
  const bool got = ReadFileAt(fd, 0, head, sizeof head);
  CloseFileHandle(fd);
  return got && std::memcmp(head, kSignature, sizeof head) == 0;
}

}  // namespace

const Stream* Storage::FindStream(const std::string& n) const {
  return FindByName(streams, n);
}
Stream* Storage::FindStream(const std::string& n) { return FindByName(streams, n); }
const Storage* Storage::FindStorage(const std::string& n) const {
  return FindByName(storages, n);
}
Storage* Storage::FindStorage(const std::string& n) { return FindByName(storages, n); }

Stream& Storage::PutStream(const std::string& n, std::vector<uint8_t> data) {
  Stream* s = FindStream(n);
  if (s == nullptr) {
    streams.push_back(Stream{n, {}});
    s = &streams.back();
  }
  s->data = std::move(data);
  return *s;
}

Storage& Storage::PutStorage(const std::string& n) {
  Storage* s = FindStorage(n);
  if (s != nullptr) return *s;
  storages.push_back(Storage{});
  storages.back().name = n;
  return storages.back();
}

bool Storage::RemoveStream(const std::string& n) {
  for (auto it = streams.begin(); it != streams.end(); ++it) {
    if (SameName(it->name, n)) {
      streams.erase(it);
      return true;
    }
  }
  return false;
}

bool IsStorageFile(const std::string& path) {
  if (!HasSignature(path)) return false;
  InitOnce();
  GError* err = nullptr;
  GsfInput* input = gsf_input_stdio_new(OsFileName(path).c_str(), &err);
  if (input == nullptr) {
    if (err) g_error_free(err);
    return false;
  }
  GsfInfile* ole = gsf_infile_msole_new(input, &err);
  g_object_unref(input);
  if (err) g_error_free(err);
  if (ole == nullptr) return false;
  g_object_unref(ole);
  return true;
}

StorageError ReadStorageFile(const std::string& path, Storage& root, std::string* message) {
  InitOnce();
  root = Storage{};
  if (access(OsFileName(path).c_str(), F_OK) != 0) {
    SetMessage(message, "file not found");
    return StorageError::kNotFound;
  }
  if (!HasSignature(path)) {
    SetMessage(message, "not a compound file");
    return StorageError::kNotCompound;
  }
  GError* err = nullptr;
  GsfInput* input = gsf_input_stdio_new(OsFileName(path).c_str(), &err);
  if (input == nullptr) {
    TakeError(err, message, "cannot open the file");
    return StorageError::kNotFound;
  }
  GsfInfile* ole = gsf_infile_msole_new(input, &err);
  g_object_unref(input);
  if (ole == nullptr) {
    TakeError(err, message, "damaged compound file");
    return StorageError::kCorrupt;
  }
  ReadBudget budget;
  gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(ole), root.classId);
  StorageError result = ReadChildren(ole, root, 0, budget, message);
  g_object_unref(ole);
  if (result != StorageError::kNone) root = Storage{};
  return result;
}

StorageError WriteStorageFile(const std::string& path, const Storage& root, std::string* message) {
  InitOnce();
  // The new file is complete and on disk before it replaces the old one.
  FileReplacement replacement;
  if (!replacement.Begin(path, false)) {
    SetMessage(message, replacement.Error());
    return StorageError::kCannotCreate;
  }
  FILE* file = fdopen(dup(replacement.Handle()), "wb");
  GsfOutput* sink = file != nullptr ? gsf_output_stdio_new_FILE(replacement.TempPath().c_str(), file, TRUE) : nullptr;
  GsfOutfile* ole = sink != nullptr ? gsf_outfile_msole_new(sink) : nullptr;
  if (sink != nullptr) g_object_unref(sink);
  if (ole == nullptr) {
    if (file != nullptr) std::fclose(file);
    SetMessage(message, "cannot create the file");
    return StorageError::kCannotCreate;
  }
  gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole), root.classId);
  bool ok = WriteChildren(ole, root);
  ok = gsf_output_close(GSF_OUTPUT(ole)) && ok;
  g_object_unref(ole);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    SetMessage(message, "write failed");
    return StorageError::kWriteFailed;
  }
  if (!replacement.Commit()) {
    SetMessage(message, replacement.Error());
    return StorageError::kWriteFailed;
  }
  return StorageError::kNone;
}

}  // namespace vt_ole
