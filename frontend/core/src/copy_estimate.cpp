#include "zolp/copy_estimate.h"

#include "zolp/report.h"

namespace zolp {

void CopyEstimate::Start(std::uint64_t nowMs, std::uint64_t totalBytes) {
  startMs_ = nowMs;
  totalBytes_ = totalBytes;
  shown_ = false;
  text_.clear();
}

const std::string& CopyEstimate::Update(std::uint64_t nowMs, std::uint64_t doneBytes) {
  const std::uint64_t elapsedMs = nowMs > startMs_ ? nowMs - startMs_ : 0;
  if (shown_ && nowMs - shownMs_ < kEstimateEveryMs) return text_;
  const bool longEnough = elapsedMs >= kEstimateAfterMs ||
                          doneBytes * 100 >= totalBytes_ * kEstimateAfterPercent;
  if (!longEnough || elapsedMs == 0 || doneBytes == 0 || doneBytes > totalBytes_) return text_;
  const double bytesPerSecond = static_cast<double>(doneBytes) * 1000.0 / static_cast<double>(elapsedMs);
  const double secondsLeft = static_cast<double>(totalBytes_ - doneBytes) / bytesPerSecond;
  text_ = Format("%.1f MB/s - ", bytesPerSecond / 1e6) +
          TimeLeftText(static_cast<std::uint64_t>(secondsLeft + 0.999));
  shown_ = true;
  shownMs_ = nowMs;
  return text_;
}

std::string ProgressText(int percent, const std::string& estimate) {
  return estimate.empty() || percent >= 100 ? Format("%d%%", percent) : Format("%d%% - %s", percent, estimate.c_str());
}

std::string TimeLeftText(std::uint64_t seconds) {
  if (seconds <= 55) {
    return Format("about %llu s left",
                  static_cast<unsigned long long>(seconds < 5 ? 5 : (seconds + 4) / 5 * 5));
  }
  return Format("about %llu min left",
                static_cast<unsigned long long>(seconds < 90 ? 1 : (seconds + 30) / 60));
}

}  // namespace zolp
