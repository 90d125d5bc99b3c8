// Writing the tools out of the program's resources and removing them again.
// Both retry: a virus scanner or a just-ended child may still hold the file.
#include <cstdint>

#include "zolp/report.h"
#include "zolp/system_errors.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {
constexpr int kCreateTries = 11;
constexpr std::uint32_t kCreateRetryMs = 1000;
constexpr int kDeleteRetries = 40;
constexpr std::uint32_t kDeleteRetryMs = 250;
constexpr const char* kResourceTitle = "Error";

const char* StepName(ResourceStep step) {
  switch (step) {
    case ResourceStep::Find:
      return "FindResource";
    case ResourceStep::Load:
      return "LoadResource";
    case ResourceStep::Lock:
      return "LockResource";
    case ResourceStep::Size:
      return "SizeOfResource";
    case ResourceStep::Ok:
      break;
  }
  return "";
}
}  // namespace

bool ExtractTool(const Services& services, std::string_view type, int id,
                 const std::string& destination) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  const ResourceStep failed = services.resources->Fetch(type, id, data, size);
  if (failed != ResourceStep::Ok) {
    ReportLastError(services, true, StepName(failed), kResourceTitle);
    return false;
  }

  std::unique_ptr<File> file;
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    if (attempt > 0) services.clock->Sleep(kCreateRetryMs);
    file = services.files->Create(destination);
    if (file) break;
  }
  if (!file) {
    ReportLastError(services, true, "Resource file destination open", kResourceTitle);
    return false;
  }

  // A tool cut short would run as a broken program: a failed write is a failure.
  std::size_t done = 0;
  while (done < size) {
    const std::size_t piece = size - done > 0x100000 ? 0x100000 : size - done;
    if (!file->Write(data + done, static_cast<std::uint32_t>(piece))) {
      ReportLastError(services, true, "Resource file write", kResourceTitle);
      file.reset();
      services.files->Delete(destination);
      return false;
    }
    done += piece;
  }
  return true;
}

void DeleteToolFile(const Services& services, const std::string& path) {
  for (int retry = 0;; ++retry) {
    if (services.files->Delete(path)) return;
    if (services.errors->Last() == syserr::kFileNotFound) return;
    if (retry == kDeleteRetries) return;
    services.clock->Sleep(kDeleteRetryMs);
  }
}

}  // namespace zolp
