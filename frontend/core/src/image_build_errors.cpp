// The message boxes for vellix's exit codes, with the texts of the table vellix
// itself is built from.
#include "common/vellix_exit_codes.h"
#include "zolp/report.h"
#include "zolp/tool_runner.h"

namespace zolp {

const char* ImageBuildErrorText(std::int32_t exitCode) {
  const common::VellixExitCode* row = common::FindVellixExitCode(exitCode);
  return row != nullptr && row->text[0] != '\0' ? row->text : nullptr;
}

void ShowImageBuildError(const Services& services, std::int32_t exitCode) {
  if (exitCode == 0) return;
  const char* text = ImageBuildErrorText(exitCode);
  const std::string shown = text ? std::string(text)
                                 : Format("Unknown error creating the media image. (%u)",
                                          static_cast<unsigned>(exitCode));
  services.ui->ShowMessage(shown, "Image Creation Error", MessageIcon::Warning);
}

}  // namespace zolp
