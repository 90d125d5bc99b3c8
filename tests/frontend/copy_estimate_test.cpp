// The speed and time left beside a copy's percentage, from a fake clock.
#include "zolp/copy_estimate.h"

#include <gtest/gtest.h>

namespace zolp {
namespace {

constexpr std::uint64_t kMB = 1000000;

// One run: each step is a report at a time with the bytes done so far and
// the estimate it shows.
TEST(CopyEstimate, WholeRunAverageAfter3sOr5PercentChangingOnceASecond) {
  struct Step {
    std::uint64_t ms, done;
    const char* shown;
  };
  const struct {
    const char* name;
    std::uint64_t total;
    std::vector<Step> steps;
  } runs[] = {
      {"slow start, then faster: the average over the whole run",
       100 * kMB,
       {{1000, 0, ""},
        {2900, 4 * kMB, ""},  // 1.9 s and 4 %: not yet
        {4000, 3 * kMB, "1.0 MB/s - about 2 min left"},
        {4999, 50 * kMB, "1.0 MB/s - about 2 min left"},  // within the second
        {5000, 50 * kMB, "12.5 MB/s - about 5 s left"},
        {9000, 99 * kMB, "12.4 MB/s - about 5 s left"}}},
      {"5 % early", 100 * kMB, {{0, 0, ""}, {500, 5 * kMB, "10.0 MB/s - about 10 s left"}}},
      {"a stick of 18.3 MB/s at 42 %",
       1830 * kMB,
       {{0, 0, ""}, {42000, 769 * kMB, "18.3 MB/s - about 1 min left"}}},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    CopyEstimate estimate;
    estimate.Start(run.steps.front().ms, run.total);
    for (const Step& step : run.steps) EXPECT_EQ(estimate.Update(step.ms, step.done), step.shown);
    // The read-back is a run of its own: nothing shown until it has its own figures.
    estimate.Start(run.steps.back().ms, run.total);
    EXPECT_EQ(estimate.Update(run.steps.back().ms + 100, kMB), "");
  }
}

TEST(CopyEstimate, TextsBesideThePercentage) {
  EXPECT_EQ(ProgressText(42, "18.3 MB/s - about 1 min left"), "42% - 18.3 MB/s - about 1 min left");
  EXPECT_EQ(ProgressText(7, ""), "7%");
  EXPECT_EQ(ProgressText(100, "18.3 MB/s - about 5 s left"), "100%");
  const std::pair<std::uint64_t, const char*> rows[] = {
      {0, "about 5 s left"},     {6, "about 10 s left"},   {55, "about 55 s left"},
      {56, "about 1 min left"},  {89, "about 1 min left"}, {90, "about 2 min left"},
      {3600, "about 60 min left"}};
  for (const auto& [seconds, text] : rows) EXPECT_EQ(TimeLeftText(seconds), text) << seconds;
}

}  // namespace
}  // namespace zolp
