#include "platform/win/ui_app.h"

#include <QApplication>

#include <clocale>

namespace {
int g_argc = 1;
char g_arg0[] = "vortelle";
char* g_argv[] = {g_arg0, nullptr};
QApplication* g_app = nullptr;
}  // namespace

void UiStartApplication(int* argc, char** argv) {
  if (QCoreApplication::instance() == nullptr) {
    if (argc != nullptr && argv != nullptr) {
      g_app = new QApplication(*argc, argv);
    } else {
      g_app = new QApplication(g_argc, g_argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
  }
  // Qt takes the C library's locale from the environment; the program formats
  // and parses numbers with '.' whatever the user's language.
  std::setlocale(LC_NUMERIC, "C");
}

bool UiApplicationRunning() { return QCoreApplication::instance() != nullptr; }
