// The program on the headless backend: it starts, loads the main window and
// its page into memory and, with nobody to click, ends.
#include "app/project.h"
#include "platform/headless/headless_backend.h"

int main() {
  tav::HeadlessBackend backend;
  tav::Runtime runtime(backend, tavrino::project_info());
  return runtime.start();
}
