#include "imagebuilder/error_codes.h"

#include <array>
#include <cstddef>

#include "common/vellix_exit_codes.h"

namespace imagebuilder {
namespace {

constexpr std::size_t CountRaised() {
  std::size_t n = 0;
  for (const common::VellixExitCode& row : common::kVellixExitCodes) n += row.name != nullptr ? 1 : 0;
  return n;
}

// The rows of the shared table that vellix raises, in their order.
constexpr auto kErrors = [] {
  std::array<ErrorInfo, CountRaised()> rows{};
  std::size_t i = 0;
  for (const common::VellixExitCode& row : common::kVellixExitCodes) {
    if (row.name != nullptr) rows[i++] = ErrorInfo{row.code, row.name, row.text};
  }
  return rows;
}();

}  // namespace

const ErrorInfo* FindError(int code) {
  for (const ErrorInfo& e : kErrors) {
    if (e.code == code) return &e;
  }
  return nullptr;
}

const ErrorInfo* ErrorTable(int& count) {
  count = static_cast<int>(kErrors.size());
  return kErrors.data();
}

}  // namespace imagebuilder
