// The vortelle program: the application object brought up, its message loop
// run, and its end. The exit status is 0 after a normal end or an unattended
// run whose report printed, non-zero otherwise.
#include "app/app.h"

namespace {
// The one application object, made before start-up asks for it.
CKmApp& TheApp() {
  static CKmApp app;
  return app;
}
}  // namespace

int main(int argc, char** argv) {
  CKmApp& app = TheApp();
  const BOOL running = app.InitInstance(argc, argv);
  if (running) app.Run();
  return app.ExitInstance();
}
