// What the main dialog shows and does, decided without a window: the version
// label, the look of the two links, the system menu items, the Enter key and
// the system commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "font_style.h"

namespace zolp {

inline constexpr std::size_t kPackageVersionMax = 39;   // "OEM Ver" value kept
inline constexpr std::size_t kPackageNameMax = 127;     // "Package" value kept
inline constexpr std::size_t kVersionLabelMax = 127;

// Values longer than their limit are cut to it.
std::string CutTo(std::string_view text, std::size_t limit);

// "Package Version A05", or "Package Version Unknown" without release information.
std::string VersionLabelText(const std::optional<std::string>& packageVersion);

FontLook VersionLabelLook();
// Blue, underlined and centred when the link leads somewhere; grey otherwise.
FontLook LinkLook(bool available);

enum class MainCommand { None, Usb, Cd, Diskette, Image, Update, Close, Readme, Release, About };

struct SystemMenuItem {
  std::uint32_t command;
  std::string_view text;
};

// Appended after a separator, in this order.
std::vector<SystemMenuItem> SystemMenuItems(bool releaseAvailable, bool readmeAvailable);

// A system command as the main dialog handles it (the low four bits are
// ignored); None hands it to the default handling.
MainCommand SystemCommandAction(std::uint32_t command, bool releaseAvailable, bool readmeAvailable);

// A click on a control of the main dialog.
MainCommand ClickAction(int controlId, bool releaseAvailable, bool readmeAvailable);

// Enter activates the focused option button (USB, CD, Diskette, Update, Image
// are tested in that order); with any other control focused it closes the dialog.
MainCommand EnterKeyAction(int focusedControlId);

}  // namespace zolp
