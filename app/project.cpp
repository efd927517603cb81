#include "app/project.h"

#include "main_window/frmDownloadDisplay.h"

namespace tavrino {

tav::ProjectInfo project_info() {
  return {kProject.name, kProject.help_file, [](tav::Runtime& rt) -> std::unique_ptr<tav::Form> {
            return std::make_unique<frmDownloadDisplay>(rt);
          }};
}

}  // namespace tavrino
