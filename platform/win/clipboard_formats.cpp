#include "platform/win/clipboard_formats.h"

#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <cctype>

namespace {
constexpr UINT kFirstRegisteredFormat = 0xC000;

// One table for the process: an id means the same name to every caller.
std::vector<std::string>& Names() {
  static std::vector<std::string> names;
  return names;
}

QClipboard* Board() {
  UiStartApplication();
  return QGuiApplication::clipboard();
}
}  // namespace

UINT RegisterClipboardFormatA(const char* name) {
  if (name == nullptr || *name == 0) return 0;
  std::vector<std::string>& names = Names();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return kFirstRegisteredFormat + static_cast<UINT>(i);
  names.emplace_back(name);
  return kFirstRegisteredFormat + static_cast<UINT>(names.size() - 1);
}

std::string ClipboardFormatName(UINT format) {
  const std::vector<std::string>& names = Names();
  if (format < kFirstRegisteredFormat || format - kFirstRegisteredFormat >= names.size()) return "";
  return names[format - kFirstRegisteredFormat];
}

std::string ClipboardFormatMimeType(UINT format) {
  std::string name = ClipboardFormatName(format);
  if (name.empty()) return "";
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return "application/x-" + name;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  const std::string type = ClipboardFormatMimeType(format);
  QClipboard* c = Board();
  if (type.empty() || c == nullptr) return FALSE;
  const QMimeData* m = c->mimeData();
  return m != nullptr && m->hasFormat(QString::fromLatin1(type.c_str())) ? TRUE : FALSE;
}

bool ReadClipboardFormat(UINT format, std::vector<unsigned char>* out) {
  if (out == nullptr || !IsClipboardFormatAvailable(format)) return false;
  const QByteArray bytes = Board()->mimeData()->data(QString::fromLatin1(ClipboardFormatMimeType(format).c_str()));
  out->assign(bytes.begin(), bytes.end());
  return true;
}

bool WriteClipboardFormat(UINT format, const void* data, size_t size) {
  const std::string type = ClipboardFormatMimeType(format);
  QClipboard* c = Board();
  if (type.empty() || c == nullptr || (data == nullptr && size > 0)) return false;
  auto* m = new QMimeData;
  m->setData(QString::fromLatin1(type.c_str()),
             QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(size)));
  c->setMimeData(m);
  return true;
}

bool ReadClipboardText(std::string* out) {
  QClipboard* c = Board();
  if (c == nullptr) return false;
  const QMimeData* data = c->mimeData();
  if (data == nullptr || !data->hasText()) return false;
  *out = vt_ui::ToAnsi(data->text());
  return true;
}

bool WriteClipboardText(const std::string& text) {
  QClipboard* c = Board();
  if (c == nullptr) return false;
  c->setText(vt_ui::FromAnsi(text));
  return true;
}
