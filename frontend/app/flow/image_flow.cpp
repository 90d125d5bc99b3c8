#include "flow/image_flow.h"

#include "flow/option_support.h"
#include "resource.h"
#include "zolp/package_config.h"
#include "zolp/report.h"

namespace zolp {

namespace {

constexpr const char* kSaveTitle = "Select Location for the Image File";
constexpr const char* kSaveFilter = "Image Files (*.img)|*.img|All Files|*.*||";

std::string InDirectory(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory.back() == '\\' ? directory + name : directory + "\\" + name;
}

}  // namespace

std::string FileNameOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string DefaultImagePath(const std::string& imageName, const std::string& currentDirectory,
                             const char* defaultName) {
  if (FileNameOf(imageName).empty()) return InDirectory(currentDirectory, defaultName);
  const bool hasDrive = imageName.size() >= 2 && imageName[1] == ':';
  if (hasDrive || imageName[0] == '\\' || imageName[0] == '/') return imageName;
  return InDirectory(currentDirectory, imageName);
}

std::string SectionImagePath(const Services& services, const char* section,
                             const char* defaultName) {
  char imageName[kImagePathMax + 2] = {};
  ReadPackageValue(services, kConfigName, section, "ImageName", false, imageName,
                   sizeof imageName);
  std::string directory;
  if (!services.files->CurrentDirectory(directory)) directory.clear();
  return DefaultImagePath(imageName, directory, defaultName).substr(0, kImagePathMax);
}

std::optional<std::string> ChooseImagePath(const Services& services, OptionView& view,
                                           const char* title, const char* filter,
                                           const std::string& shownPath) {
  SaveFileRequest request{title, filter, {}, FileNameOf(shownPath)};
  if (!services.files->CurrentDirectory(request.directory)) request.directory.clear();
  std::optional<std::string> chosen = view.ChooseSaveFile(request);
  if (chosen) chosen = chosen->substr(0, kImagePathMax);
  return chosen;
}

bool MayReplace(const Services& services, OptionView& view, const std::string& path) {
  if (!services.files->Exists(path)) return true;
  const std::string question =
      Format("The file %s already exists. Do you want to replace it?", path.c_str());
  return view.Ask(question, "File Exists", MessageIcon::Question, Buttons::YesNo) == Reply::Yes;
}

ImageFlow::ImageFlow(const Services& services, OptionView& view)
    : services_(services), view_(view) {}

void ImageFlow::OnInit() {
  view_.SetChecked(IDC_IMAGE_HDD, true);
  view_.SetChecked(IDC_IMAGE_DISKETTE, false);
  ShowDefaultPath(true);
  view_.Enable(IDC_IMAGE_DISKETTE,
               FindPackageValue(services_, kPackageFile, "[DISKETTE]", false, nullptr, 0));
}

void ImageFlow::OnCommand(int control) {
  switch (control) {
    case IDC_IMAGE_HDD:
    case IDC_IMAGE_DISKETTE:
      view_.SetChecked(IDC_IMAGE_HDD, control == IDC_IMAGE_HDD);
      view_.SetChecked(IDC_IMAGE_DISKETTE, control == IDC_IMAGE_DISKETTE);
      ShowDefaultPath(control == IDC_IMAGE_HDD);
      break;
    case IDC_IMAGE_BROWSE:
      ChoosePath();
      break;
    case kIdOk:
      if (!Building()) Build();
      break;
    case kIdCancel:
      // The dialog outlives a running build: its worker reports to this window.
      if (!Building()) view_.End(DialogResult::Cancel);
      break;
    default:
      break;
  }
}

void ImageFlow::ShowDefaultPath(bool hardDrive) {
  view_.SetText(IDC_IMAGE_PATH, SectionImagePath(services_, hardDrive ? "[HDD]" : "[DISKETTE]"));
}

void ImageFlow::ChoosePath() {
  if (std::optional<std::string> chosen =
          ChooseImagePath(services_, view_, kSaveTitle, kSaveFilter, view_.Text(IDC_IMAGE_PATH)))
    view_.SetText(IDC_IMAGE_PATH, *chosen);
}

void ImageFlow::Build() {
  services_.ui->BringMainWindowToFront();
  view_.ShowDialog(false);
  imagePath_ = view_.Text(IDC_IMAGE_PATH).substr(0, kImagePathMax);
  if (!MayReplace(services_, view_, imagePath_)) {
    view_.End(DialogResult::Cancel);
    return;
  }
  commandLine_ =
      ImageRun(view_.IsChecked(IDC_IMAGE_DISKETTE), VolumeLabel(services_), imagePath_).CommandLine();
  if (!StartBuildJob(services_, job_, view_.Window(), commandLine_)) view_.End(DialogResult::Cancel);
}

void ImageFlow::OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t) {
  if (message != kMsgImageBuilt || !Building()) return;
  job_.reset();
  if (wParam == 0) {
    view_.Ask("The image file was successfully created.", "Success!", MessageIcon::Information,
              Buttons::Ok);
    view_.End(DialogResult::Ok);
    return;
  }
  // The worker has shown why; what the builder left behind is no image.
  services_.files->Delete(imagePath_);
  view_.End(DialogResult::Cancel);
}

}  // namespace zolp
