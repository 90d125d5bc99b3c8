#include "imagebuilder/build_context.h"

#include <cstdarg>

#include "common/text.h"
#include "imagebuilder/calendar.h"

namespace imagebuilder {

BuildContext::BuildContext(Settings& s, const Host& host)
    : settings(s), tree(host.tree), image(host.image), clock(host.clock), console(host.console) {}

int BuildContext::ReportError(int code, const char* format, ...) {
  if (code_ == 0) code_ = code;
  if (format != nullptr && settings.debugLevel != kDebugNone) {
    va_list args;
    va_start(args, format);
    const std::string text = common::FormatV(format, args);
    va_end(args);
    if (!text.empty()) console.Write(text);
  }
  return code_;
}

int BuildContext::Fail(int code, std::string subject) {
  if (code_ == 0) subject_ = std::move(subject);
  return ReportError(code);
}

std::string FileSubject(const char* verb, const char* what, const std::string& path,
                        const char* key, const std::string& reason) {
  std::string text = std::string("cannot ") + verb + " the " + what + " \"" + path + "\"";
  if (key != nullptr && *key != '\0') text += std::string(" (") + key + ")";
  if (!reason.empty()) text += ": " + reason;
  return text;
}

std::int64_t BuildContext::BuildTime() {
  if (!buildTime_) {
    const std::optional<std::string> fixed = clock.Environment("BUILDSETTIME");
    buildTime_ = fixed ? ParseHexSeconds(fixed->c_str()) : clock.NowUtc();
  }
  return *buildTime_;
}

}  // namespace imagebuilder
