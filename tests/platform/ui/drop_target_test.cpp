#include "platform/win/clipboard_formats.h"
#include "platform/win/drop_target.h"
#include "platform/win/window_from_point.h"
#include "ui_test_util.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Takes files, and the "VtTestFormat" data, refusing everything else.
class RecordingTarget : public DropTarget {
 public:
  DWORD OnDragEnter(const DropData& data, DWORD keys, POINT point) override {
    enters.push_back(point);
    enterKeys = keys;
    return Answer(data);
  }
  DWORD OnDragOver(const DropData& data, DWORD, POINT) override { return Answer(data); }
  void OnDragLeave() override { ++leaves; }
  BOOL OnDrop(const DropData& data, DWORD effect, POINT point) override {
    dropped = data;
    dropEffect = effect;
    dropPoint = point;
    ++drops;
    return TRUE;
  }
  DWORD Answer(const DropData& data) const {
    if (data.HasFormat(RegisterClipboardFormatA("VtTestFormat"))) return DROPEFFECT_COPY;
    return data.files.empty() ? DROPEFFECT_NONE : DROPEFFECT_MOVE;
  }
  std::vector<POINT> enters;
  DWORD enterKeys = 0;
  int leaves = 0, drops = 0;
  DropData dropped;
  DWORD dropEffect = 0;
  POINT dropPoint{0, 0};
};

class DropTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "VtDropTest";
    RegisterClassA(&wc);
    top = CreateWindowExA(0, "VtDropTest", "Top", WS_OVERLAPPED | WS_VISIBLE, 100, 50, 300, 200, nullptr, nullptr,
                          nullptr, nullptr);
    ASSERT_NE(top, nullptr);
    child = CreateWindowExA(0, "VtDropTest", "", WS_CHILD | WS_VISIBLE, 20, 30, 100, 80, top, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
  }
  void TearDown() override { DestroyWindow(top); }
  HWND top = nullptr, child = nullptr;
};

TEST_F(DropTargetTest, FormatsAreRegisteredByNameAndTravelOnTheClipboard) {
  const UINT a = RegisterClipboardFormatA("VtTestFormat");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormatA("VtTestFormat"), a);
  EXPECT_NE(RegisterClipboardFormatA("VtOther"), a);
  EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
  EXPECT_EQ(ClipboardFormatName(a), "VtTestFormat");
  EXPECT_EQ(ClipboardFormatName(0x1234), "");
  const unsigned char bytes[] = {0, 0xFF, 7, 0};
  ASSERT_TRUE(WriteClipboardFormat(a, bytes, sizeof bytes));
  EXPECT_TRUE(IsClipboardFormatAvailable(a));
  EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA("VtOther")));
  std::vector<unsigned char> back;
  ASSERT_TRUE(ReadClipboardFormat(a, &back));
  EXPECT_EQ(back, std::vector<unsigned char>(bytes, bytes + sizeof bytes)) << "NULs and high bytes kept";
  EXPECT_FALSE(ReadClipboardFormat(RegisterClipboardFormatA("VtOther"), &back));
}

TEST_F(DropTargetTest, DragEventsReachTheRegisteredTargetWithTheirData) {
  RecordingTarget target;
  DropData files;
  files.files = {"/tmp/one caf\xe9.kmw"};
  EXPECT_EQ(DragDataOntoWindow(child, files, POINT{5, 6}, MK_CONTROL), DROPEFFECT_NONE) << "not registered yet";
  ASSERT_TRUE(RegisterDropTarget(child, &target));
  EXPECT_EQ(DragDataOntoWindow(child, files, POINT{5, 6}, MK_CONTROL | MK_LBUTTON), DROPEFFECT_MOVE);
  ASSERT_EQ(target.drops, 1);
  ASSERT_EQ(target.dropped.files.size(), 1u);
  EXPECT_EQ(target.dropped.files[0], "/tmp/one caf\xe9.kmw") << "Windows-1252 both ways";
  EXPECT_EQ(target.dropEffect, DROPEFFECT_MOVE);
  EXPECT_EQ(target.dropPoint.x, 5);
  EXPECT_EQ(target.dropPoint.y, 6);
  EXPECT_EQ(target.enterKeys & (MK_CONTROL | MK_SHIFT), static_cast<DWORD>(MK_CONTROL));

  DropData data;
  const unsigned char bytes[] = {1, 2, 0, 3};
  data.SetFormat(RegisterClipboardFormatA("VtTestFormat"), bytes, sizeof bytes);
  EXPECT_EQ(DragDataOntoWindow(child, data, POINT{1, 1}, 0), DROPEFFECT_COPY);
  ASSERT_EQ(target.drops, 2);
  const std::vector<unsigned char>* got = target.dropped.Format(RegisterClipboardFormatA("VtTestFormat"));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->size(), 4u);

  // Refused data is left, never dropped.
  EXPECT_EQ(DragDataOntoWindow(child, DropData{}, POINT{1, 1}, 0), DROPEFFECT_NONE);
  EXPECT_EQ(target.drops, 2);
  EXPECT_EQ(target.leaves, 1);

  // The toolkit's own events arrive the same way.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile("/tmp/a.qb6"), QUrl::fromLocalFile("/tmp/b.kmw")});
  QDragEnterEvent enter(QPoint(7, 8), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(child->widget.data(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::MoveAction);
  EXPECT_EQ(target.enters.back().x, 7);
  EXPECT_EQ(target.enterKeys & MK_SHIFT, static_cast<DWORD>(MK_SHIFT));

  QDragLeaveEvent leave;
  QApplication::sendEvent(child->widget.data(), &leave);
  EXPECT_EQ(target.leaves, 2);

  // Dropped from another program: a name the code page holds becomes the
  // program's spelling, one it cannot hold keeps the system's.
  QMimeData named;
  named.setUrls({QUrl::fromLocalFile(QString::fromUtf8("/tmp/caf\xC3\xA9.kmw")),
                 QUrl::fromLocalFile(QString::fromUtf8("/tmp/Facture \xC3\xA9t\xC3\xA9 \xCE\xA9mega.kmw"))});
  QDragEnterEvent coming(QPoint(7, 8), Qt::MoveAction, &named, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(child->widget.data(), &coming);
  QDropEvent drop(QPointF(7, 8), Qt::MoveAction, &named, Qt::LeftButton, Qt::NoModifier);
  drop.setDropAction(coming.dropAction());
  QApplication::sendEvent(child->widget.data(), &drop);
  ASSERT_EQ(target.drops, 3);
  EXPECT_EQ(target.dropped.files,
            (std::vector<std::string>{"/tmp/caf\xE9.kmw", "/tmp/Facture \xC3\xA9t\xC3\xA9 \xCE\xA9mega.kmw"}));

  RevokeDropTarget(child);
  EXPECT_EQ(DragDataOntoWindow(child, files, POINT{5, 6}, 0), DROPEFFECT_NONE);
  EXPECT_EQ(target.drops, 3);
}

TEST_F(DropTargetTest, WindowFromPointFindsTheInnermostVisibleWindow) {
  POINT inChild{5, 5};
  ClientToScreen(child, &inChild);
  EXPECT_EQ(WindowFromPoint(inChild), child);
  POINT inTop{250, 150};
  ClientToScreen(top, &inTop);
  EXPECT_EQ(WindowFromPoint(inTop), top);
  ShowWindow(child, SW_HIDE);
  EXPECT_EQ(WindowFromPoint(inChild), top) << "a hidden child is passed over";
  EXPECT_EQ(WindowFromPoint(POINT{-5000, -5000}), nullptr);
  // A later top-level window over the first one wins.
  HWND over = CreateWindowExA(0, "VtDropTest", "Over", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 1000, 1000, nullptr, nullptr,
                              nullptr, nullptr);
  EXPECT_EQ(WindowFromPoint(inTop), over);
  DestroyWindow(over);
  EXPECT_EQ(WindowFromPoint(inTop), top);
}

}  // namespace
