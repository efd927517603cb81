// The Windows program: hands the project to the runtime on the Win32
// backend. The command line is not read.
#include "app/project.h"
#include "platform/win32/win32_backend.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  tav::win32::Win32Backend backend(instance);
  tav::Runtime runtime(backend, tavrino::project_info());
  return runtime.start();
}
