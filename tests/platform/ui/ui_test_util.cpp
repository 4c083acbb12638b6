#include "ui_test_util.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <climits>
#include <filesystem>
#include <unistd.h>

namespace ui_test {
// Next to the test program, i.e. in the build folder.
std::string ScreenshotDir() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::filesystem::path dir = n > 0 ? std::filesystem::path(std::string(exe, static_cast<size_t>(n))).parent_path()
                                    : std::filesystem::current_path();
  dir /= "ui_screens";
  std::filesystem::create_directories(dir);
  return dir.string();
}
}  // namespace ui_test

namespace ui_test {
void SaveScreenshot(HWND dialog, const std::string& name) {
  if (!IsWindow(dialog) || !dialog->widget) return;
  QPixmap client = dialog->widget->grab();
  RECT wr, in = vt_ui::NonClientInsets(dialog);
  GetWindowRect(dialog, &wr);
  QImage img(wr.right - wr.left, wr.bottom - wr.top, QImage::Format_RGB32);
  img.fill(QColor(192, 192, 192));
  QPainter p(&img);
  p.setPen(Qt::black);
  p.drawRect(0, 0, img.width() - 1, img.height() - 1);
  p.fillRect(QRect(in.left, in.left, img.width() - in.left - in.right, in.top - in.left - 1), QColor(0, 0, 128));
  p.setPen(Qt::white);
  QFont f = vt_ui::FontOf(GetStockObject(DEFAULT_GUI_FONT));
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(in.left + 4, in.left, img.width(), in.top - in.left - 1), Qt::AlignVCenter,
             vt_ui::FromAnsi(Text(dialog)));
  p.drawPixmap(in.left, in.top, client);
  p.end();
  img.save(QString::fromStdString(ScreenshotDir() + "/" + name + ".png"));
}
}  // namespace ui_test
