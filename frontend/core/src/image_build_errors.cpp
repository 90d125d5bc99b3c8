// vellix exit codes and the texts the front end shows for them.
#include <array>

#include "zolp/report.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {

struct BuildErrorText {
  std::int32_t code;
  const char* text;
};

// Codes 36, 37 and 80 and above have no text of their own.
constexpr std::array kBuildErrorTexts{
    BuildErrorText{-1, "Vellix failed to start."},
    BuildErrorText{1, "Error allocating memory."},
    BuildErrorText{2, "Error creating the image file."},
    BuildErrorText{3, "Error opening the image file."},
    BuildErrorText{4, "Error opening the MBR file."},
    BuildErrorText{5, "Error reading the MBR file."},
    BuildErrorText{6, "Invalid MBR file size."},
    BuildErrorText{7, "Invalid MBR signature."},
    BuildErrorText{8, "Error writing the MBR to the image."},
    BuildErrorText{9, "Error opening the boot sector file."},
    BuildErrorText{10, "Error reading the boot sector file."},
    BuildErrorText{11, "Invalid boot sector size."},
    BuildErrorText{12, "Invalid boot sector signature."},
    BuildErrorText{13, "Error writing the boot sector to the image."},
    BuildErrorText{14, "Seek error."},
    BuildErrorText{15,
                   "Cannot find the root directory specified or no files exist in the directory."},
    BuildErrorText{
        16, "The size of the root directory specified is too small for the number of files."},
    BuildErrorText{17, "Error restoring the working drive."},
    BuildErrorText{18, "Error restoring the working directory."},
    BuildErrorText{19, "The number of FAT sectors needed exceeds the amount specified."},
    BuildErrorText{20, "Image is too small to hold the files specified."},
    BuildErrorText{21, "Image too large for the FAT type selected."},
    BuildErrorText{22, "Error changing directories."},
    BuildErrorText{23, "No acceptable geometry for the image. Likely the image is too large."},
    BuildErrorText{24, "Error reading the FAT."},
    BuildErrorText{25, "Error writing the FAT."},
    BuildErrorText{26, "Error writing the FAT mirror."},
    BuildErrorText{27, "Error writing a directory entry."},
    BuildErrorText{28, "Error opening a file to insert into the image."},
    BuildErrorText{29,
                   "The size of the file to insert does not match the file size in the directory."},
    BuildErrorText{30, "Error reading a file to insert into the image."},
    BuildErrorText{31, "Error writing a file to the image."},
    BuildErrorText{32, "8.3 filename was too long."},
    BuildErrorText{33, "An ordered file was not found in the root directory."},
    BuildErrorText{34, "CHS total size does not match the image size specified."},
    BuildErrorText{35, "Invalid name for a directory entry (cannot begin with a space)."},
    BuildErrorText{38, "Error finding a file."},
    BuildErrorText{39, "Error converting a file time to a DOS date/time."},
    BuildErrorText{40, "Error converting the current time to a file time."},
    BuildErrorText{41, "Error zeroing space for the file."},
    BuildErrorText{42, "Error processing the command line parameters."},
    BuildErrorText{43, "The volume type is FAT32 which is not supported."},
    BuildErrorText{44, "fDetermineDirSize failed to get the file count."},
    BuildErrorText{45, "FindNextFile failed."},
    BuildErrorText{46, "The offset to copy into the image cannot be zero."},
    BuildErrorText{47, "Error closing the master boot record file."},
    BuildErrorText{48, "Error closing the boot sector file."},
    BuildErrorText{49, "Error closing a file being inserted in the image."},
    BuildErrorText{50, "Error closing the image file."},
    BuildErrorText{51, "The filename is too long for 8.3 format."},
    BuildErrorText{
        52, "Attempting to allocate more clusters than can be written to the FAT in one command."},
    BuildErrorText{53, "Error retrieving the current directory on the root drive."},
    BuildErrorText{54, "The path name was too long."},
    BuildErrorText{55, "The length of the Root path is unknown."},
    BuildErrorText{56, "Error retrieving the current working directory."},
    BuildErrorText{57, "The combined filename and path exceeds the maximum length allowed."},
    BuildErrorText{58, "Invalid disk type specified."},
    BuildErrorText{59, "Help was displayed."},
    BuildErrorText{60, "Write boot volume descriptor failed."},
    BuildErrorText{61, "Write primary volume descriptor failed."},
    BuildErrorText{62, "Write set terminator descriptor failed."},
    BuildErrorText{63, "Write path table failed."},
    BuildErrorText{64, "Write of the boot catalog failed."},
    BuildErrorText{65, "Write of the ISO root directory failed."},
    BuildErrorText{66, "Write of the ISO readme file failed."},
    BuildErrorText{67, "Error retrieving status information for the ISO readme file."},
    BuildErrorText{68, "The ISO readme name cannot be empty."},
    BuildErrorText{69, "Error opening the ISO readme file."},
    BuildErrorText{70, "The ISO readme file exceeds the maximum length allowed."},
    BuildErrorText{71, "Error reading the ISO readme file."},
    BuildErrorText{72, "Error retrieving status information for the image file."},
    BuildErrorText{73, "The image size is not an integral of the CD-ROM sector size."},
    BuildErrorText{74, "Invalid boot media type for an ISO image."},
    BuildErrorText{75, "Attempting to write an MBR on a diskette image."},
    BuildErrorText{76, "Invalid FAT type specified. Must be FAT12 or FAT16."},
    BuildErrorText{77,
                   "Invalid sectors per cluster value specified. Must be 2, 4, 8, 16, 32 or 64."},
    BuildErrorText{78, "Calculated FAT size too small."},
    BuildErrorText{79,
                   "Total sectors must be specified to use the extended partition (LBA) option."},
};

}  // namespace

const char* ImageBuildErrorText(std::int32_t exitCode) {
  for (const BuildErrorText& row : kBuildErrorTexts)
    if (row.code == exitCode) return row.text;
  return nullptr;
}

void ShowImageBuildError(const Services& services, std::int32_t exitCode) {
  if (exitCode == 0) return;
  const char* text = ImageBuildErrorText(exitCode);
  const std::string shown = text ? std::string(text)
                                 : Format("Unknown error creating the media image. (%u)",
                                          static_cast<unsigned>(exitCode));
  services.ui->ShowMessage(shown, "Image Creation Error", MessageIcon::Warning);
}

}  // namespace zolp
