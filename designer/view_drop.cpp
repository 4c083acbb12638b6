// What the layout view takes from outside: a report file or library dropped
// from the file manager opens, and a query descriptor handed over by another
// program (dropped, or pasted from the clipboard) starts a new report.
#include "data/query_desc.h"
#include "designer/design_view.h"
#include "designer/layout_editing.h"
#include "foundation/doc_base.h"
#include "platform/win/clipboard_formats.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr const char* kQueryFormatName = "RudizoVoruroQuery";
constexpr UINT kQueryError = 1138;  // "Error in Rudizo Voruro Query definition"
constexpr size_t kMaxDroppedName = 260;

UINT QueryFormat() { return RegisterClipboardFormatA(kQueryFormatName); }

// The one file of a drop; empty when several, none or too long a name came.
std::string OneDroppedFile(const DropData& data) {
  if (data.files.size() != 1 || data.files[0].empty() || data.files[0].size() > kMaxDroppedName) return "";
  return data.files[0];
}

class ViewDropTarget : public DropTarget {
 public:
  explicit ViewDropTarget(CKmView& view) : view_(view) {}

  DWORD OnDragEnter(const DropData& data, DWORD keys, POINT point) override {
    queryDrop_ = fileDrop_ = false;
    if (data.HasFormat(QueryFormat())) {
      queryDrop_ = true;
      return DROPEFFECT_COPY;
    }
    const std::string file = OneDroppedFile(data);
    if (!file.empty() && view_.Host().IsDroppableFile(file.c_str())) {
      fileDrop_ = true;
      return DROPEFFECT_COPY;
    }
    return OnDragOver(data, keys, point);
  }

  // Objects of other programs have no place on this layout: only the two
  // kinds above are taken.
  DWORD OnDragOver(const DropData&, DWORD, POINT) override {
    return queryDrop_ || fileDrop_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  }

  void OnDragLeave() override { queryDrop_ = fileDrop_ = false; }

  BOOL OnDrop(const DropData& data, DWORD, POINT) override {
    OnDragLeave();
    const std::vector<unsigned char>* packed = data.Format(QueryFormat());
    const std::string file = packed != nullptr ? std::string() : OneDroppedFile(data);
    if (packed == nullptr && (file.empty() || !view_.Host().IsDroppableFile(file.c_str()))) return FALSE;
    // The drop replaces the report as File Open and File New do: text typed
    // in place is stored first, so their save question offers it.
    if (view_.EditorOpen() && !view_.EndTextEdit(true)) return FALSE;
    BringFrameForward();
    if (packed != nullptr) return view_.StartReportFromQuery(*packed) ? TRUE : FALSE;
    return view_.Host().OpenDroppedFile(file.c_str()) ? TRUE : FALSE;
  }

 private:
  void BringFrameForward() {
    HWND frame = GetAncestor(view_.m_hWnd, GA_ROOT);
    if (frame != nullptr) SetActiveWindow(frame);
  }

  CKmView& view_;
  bool queryDrop_ = false;
  bool fileDrop_ = false;
};

}  // namespace

void CKmView::RegisterDrops() {
  if (m_hWnd == nullptr) return;
  m_pDropTarget = std::make_unique<ViewDropTarget>(*this);
  if (!RegisterDropTarget(m_hWnd, m_pDropTarget.get())) m_pDropTarget.reset();
}

bool CKmView::QueryToPaste() const {
  if (EditorOpen() || !IsClipboardFormatAvailable(QueryFormat())) return false;
  const LayoutTables* t = Layout();
  return t == nullptr || !ReportFlag() || (!ClipboardHoldsLines(*t) && !ClipboardHoldsItems(*t));
}

bool CKmView::PasteQuery() {
  if (!QueryToPaste()) return false;
  std::vector<unsigned char> packed;
  if (!ReadClipboardFormat(QueryFormat(), &packed)) return false;
  StartReportFromQuery(std::move(packed));
  return true;
}

bool CKmView::StartReportFromQuery(std::vector<unsigned char> packed) {
  QueryDesc query;
  // Parse reads only inside the bytes it is given, whatever they hold.
  if (!query.Parse(packed.data(), packed.size())) {
    if (m_pDoc != nullptr) m_pDoc->ShowErrorId(kQueryError, nullptr);
    return false;
  }
  return m_pHost->NewReportFromQuery(query);
}
