#include "main_dialog_model.h"

#include <array>

#include "../resource.h"

namespace zolp {
namespace {

constexpr std::uint32_t kBlack = Rgb(0, 0, 0);
constexpr std::uint32_t kLinkBlue = Rgb(0, 0, 255);
constexpr std::uint32_t kLinkGrey = Rgb(128, 128, 128);

struct ControlCommand {
  int controlId;
  MainCommand command;
};

// Enter tests the option buttons in this order.
constexpr std::array<ControlCommand, 5> kEnterOrder{{
    {IDC_USB, MainCommand::Usb},
    {IDC_CD, MainCommand::Cd},
    {IDC_DISKETTE, MainCommand::Diskette},
    {IDC_UPDATE, MainCommand::Update},
    {IDC_IMAGE, MainCommand::Image},
}};

}  // namespace

std::string CutTo(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, limit));
}

std::string VersionLabelText(const std::optional<std::string>& packageVersion) {
  if (!packageVersion) return "Package Version Unknown";
  return CutTo("Package Version " + *packageVersion, kVersionLabelMax);
}

FontLook VersionLabelLook() {
  return FontLook{"", 18, kBlack, kFontBold | kFontCentred};
}

FontLook LinkLook(bool available) {
  if (available) return FontLook{"", 15, kLinkBlue, kFontUnderline | kFontCentred};
  return FontLook{"", 15, kLinkGrey, kFontCentred};
}

std::vector<SystemMenuItem> SystemMenuItems(bool releaseAvailable, bool readmeAvailable) {
  std::vector<SystemMenuItem> items;
  if (releaseAvailable) items.push_back({IDM_RELEASEINFO, "&Release Information..."});
  if (readmeAvailable) items.push_back({IDM_VIEWREADME, "&View Readme..."});
  items.push_back({IDM_ABOUTBOX, "&About ZOLP..."});
  return items;
}

MainCommand SystemCommandAction(std::uint32_t command, bool releaseAvailable,
                                bool readmeAvailable) {
  // Only commands of items actually on the menu are taken; the rest (and the
  // system's own commands, which all lie far above) go to the default handling.
  switch (command & 0xFFF0u) {
    case IDM_RELEASEINFO:
      return releaseAvailable ? MainCommand::Release : MainCommand::None;
    case IDM_VIEWREADME:
      return readmeAvailable ? MainCommand::Readme : MainCommand::None;
    case IDM_ABOUTBOX:
      return MainCommand::About;
    default:
      return MainCommand::None;
  }
}

MainCommand ClickAction(int controlId, bool releaseAvailable, bool readmeAvailable) {
  switch (controlId) {
    case IDC_USB: return MainCommand::Usb;
    case IDC_CD: return MainCommand::Cd;
    case IDC_DISKETTE: return MainCommand::Diskette;
    case IDC_IMAGE: return MainCommand::Image;
    case IDC_UPDATE: return MainCommand::Update;
    case IDC_FINISHED: return MainCommand::Close;
    case IDC_README_LINK: return readmeAvailable ? MainCommand::Readme : MainCommand::None;
    case IDC_RELEASE_LINK: return releaseAvailable ? MainCommand::Release : MainCommand::None;
    default: return MainCommand::None;
  }
}

MainCommand EnterKeyAction(int focusedControlId) {
  for (const ControlCommand& row : kEnterOrder) {
    if (row.controlId == focusedControlId) return row.command;
  }
  return MainCommand::Close;
}

}  // namespace zolp
