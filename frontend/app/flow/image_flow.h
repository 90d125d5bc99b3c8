// "Create a Bootable Image": one image file, of the hard-drive (HDD) or the
// diskette (DISKETTE) section of the package, at a path the user chooses.
// The flow of the image dialog, CImageDlg (template 106).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "flow/option_view.h"
#include "zolp/messages.h"

namespace zolp {

inline constexpr std::size_t kImagePathMax = 259;  // the path field holds 260 with its end

// The path offered at the start: the section's ImageName as it stands when it
// has a drive or starts with '\', else inside the current directory; without
// a file name, the default name ("diags.img") in the current directory.
std::string DefaultImagePath(const std::string& imageName, const std::string& currentDirectory,
                             const char* defaultName = "diags.img");
// The file name (with its extension) at the end of a path.
std::string FileNameOf(const std::string& path);

// What the options that save an image file share (the image and CD options):
// the default path of a package section ("[HDD]"), read from its ImageName;
// the save-file dialog with the given title and filter, opened in the current
// directory on the file name of the path shown (the chosen path, cut to
// kImagePathMax, or none); and the question before an existing file is
// replaced (true when there is none or the user said yes).
std::string SectionImagePath(const Services& services, const char* section,
                             const char* defaultName = "diags.img");
std::optional<std::string> ChooseImagePath(const Services& services, OptionView& view,
                                           const char* title, const char* filter,
                                           const std::string& shownPath);
bool MayReplace(const Services& services, OptionView& view, const std::string& path);

class ImageFlow final : public OptionFlow {
 public:
  ImageFlow(const Services& services, OptionView& view);

  void OnInit() override;
  void OnCommand(int control) override;
  void OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;

  bool Building() const { return job_.has_value(); }

 private:
  void ShowDefaultPath(bool hardDrive);
  void ChoosePath();
  void Build();

  Services services_;
  OptionView& view_;
  std::string imagePath_;
  std::string commandLine_;
  std::optional<BuildJob> job_;  // from the start of the build until 0x502
};

}  // namespace zolp
