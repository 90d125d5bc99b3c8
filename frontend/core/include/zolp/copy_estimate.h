// The speed and the time left of a copy, shown beside its percentage:
// "42% - 18.3 MB/s - about 1 min left". The rate is the whole run's average
// (what a stick takes in a short window jumps too much to go by), the text
// appears once 3 seconds or 5 % of the run have passed and changes at most
// once a second. Writing and reading back are runs of their own.
#pragma once

#include <cstdint>
#include <string>

namespace zolp {

inline constexpr std::uint64_t kEstimateAfterMs = 3000;
inline constexpr std::uint64_t kEstimateAfterPercent = 5;
inline constexpr std::uint64_t kEstimateEveryMs = 1000;

class CopyEstimate {
 public:
  // A run of totalBytes begins at nowMs; what was shown is forgotten.
  void Start(std::uint64_t nowMs, std::uint64_t totalBytes);
  // The estimate after doneBytes at nowMs: empty until 3 s or 5 % have
  // passed, then "18.3 MB/s - about 1 min left", kept as it was for a second
  // after each change.
  const std::string& Update(std::uint64_t nowMs, std::uint64_t doneBytes);

 private:
  std::uint64_t startMs_ = 0, totalBytes_ = 0, shownMs_ = 0;
  bool shown_ = false;
  std::string text_;
};

// "42%", or "42% - <estimate>" when there is one (and the run is not done).
std::string ProgressText(int percent, const std::string& estimate);
// "about 25 s left", "about 1 min left": seconds rounded up to 5 up to 55,
// whole minutes (rounded, 1 at the least) from then on.
std::string TimeLeftText(std::uint64_t seconds);

}  // namespace zolp
