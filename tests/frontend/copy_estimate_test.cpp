// The speed and time left beside a copy's percentage, from a fake clock.
#include "zolp/copy_estimate.h"

#include <gtest/gtest.h>

namespace zolp {
namespace {

constexpr std::uint64_t kMB = 1000000;

// Reports of one run of 100 MB: nothing for 3 s or 5 %, then the whole run's
// average, kept for a second after each change; the read-back starts afresh.
TEST(CopyEstimate, WholeRunAverageAfter3sOr5PercentChangingOnceASecond) {
  CopyEstimate estimate;
  estimate.Start(1000, 100 * kMB);
  EXPECT_EQ(estimate.Update(2900, 4 * kMB), "");
  EXPECT_EQ(estimate.Update(4000, 3 * kMB), "1.0 MB/s - about 2 min left");
  EXPECT_EQ(estimate.Update(4999, 50 * kMB), "1.0 MB/s - about 2 min left");
  EXPECT_EQ(estimate.Update(5000, 50 * kMB), "12.5 MB/s - about 5 s left");
  estimate.Start(5000, 100 * kMB);
  EXPECT_EQ(estimate.Update(5100, kMB), "");
  EXPECT_EQ(estimate.Update(5500, 5 * kMB), "10.0 MB/s - about 10 s left");
  estimate.Start(0, 1830 * kMB);
  EXPECT_EQ(ProgressText(42, estimate.Update(42000, 769 * kMB)), "42% - 18.3 MB/s - about 1 min left");
  EXPECT_EQ(ProgressText(100, "18.3 MB/s - about 5 s left"), "100%");
  const std::pair<std::uint64_t, const char*> rows[] = {
      {0, "about 5 s left"}, {6, "about 10 s left"}, {55, "about 55 s left"},
      {56, "about 1 min left"}, {89, "about 1 min left"}, {90, "about 2 min left"}};
  for (const auto& [seconds, text] : rows) EXPECT_EQ(TimeLeftText(seconds), text) << seconds;
}

}  // namespace
}  // namespace zolp
