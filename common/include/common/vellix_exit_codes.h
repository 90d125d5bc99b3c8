// vellix's exit codes, each with the message the front end shows for it. Both
// programs read this one table: vellix for the codes it raises (those with a
// name), the front end for its message boxes. The front end also knows codes
// vellix never raises (no name: -1 when vellix could not be started, and codes
// of older builders); codes 80 and up have no message of their own and show
// the front end's unknown-error text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace common {

struct VellixExitCode {
  int code;
  const char* name;  // vellix's short identifier; nullptr for a code vellix never raises
  const char* text;  // the front end's message; "" where it shows its unknown-error text
};

// In ascending order of code.
inline constexpr VellixExitCode kVellixExitCodes[] = {
    {-1, nullptr, "Vellix failed to start."},
    {0, "Ok", ""},
    {1, "Allocate", "Error allocating memory."},
    {2, "ImageSize", "Error creating the image file."},
    {3, "ImageOpen", "Error opening the image file."},
    {4, "MbrOpen", "Error opening the MBR file."},
    {5, "MbrRead", "Error reading the MBR file."},
    {6, "MbrSize", "Invalid MBR file size."},
    {7, "MbrSignature", "Invalid MBR signature."},
    {8, "MbrWrite", "Error writing the MBR to the image."},
    {9, "BootOpen", "Error opening the boot sector file."},
    {10, "BootRead", "Error reading the boot sector file."},
    {11, "BootSize", "Invalid boot sector size."},
    {12, "BootSignature", "Invalid boot sector signature."},
    {13, "BootWrite", "Error writing the boot sector to the image."},
    {14, "Seek", "Seek error."},
    {15, "RootNotFound",
     "Cannot find the root directory specified or no files exist in the directory."},
    {16, "RootTooSmall",
     "The size of the root directory specified is too small for the number of files."},
    {17, "RestoreDrive", "Error restoring the working drive."},
    {18, "RestoreDirectory", "Error restoring the working directory."},
    {19, nullptr, "The number of FAT sectors needed exceeds the amount specified."},
    {20, nullptr, "Image is too small to hold the files specified."},
    {21, "TooLargeForFat", "Image too large for the FAT type selected."},
    {22, "ChangeDirectory", "Error changing directories."},
    {23, "NoGeometry", "No acceptable geometry for the image. Likely the image is too large."},
    {24, "FatRead", "Error reading the FAT."},
    {25, "FatWrite", "Error writing the FAT."},
    {26, "FatMirror", "Error writing the FAT mirror."},
    {27, "DirEntryWrite", "Error writing a directory entry."},
    {28, "FileOpen", "Error opening a file to insert into the image."},
    {29, "FileSizeChanged",
     "The size of the file to insert does not match the file size in the directory."},
    {30, "FileRead", "Error reading a file to insert into the image."},
    {31, "FileWrite", "Error writing a file to the image."},
    {32, nullptr, "8.3 filename was too long."},
    {33, "OrderedMissing", "An ordered file was not found in the root directory."},
    {34, "ChsMismatch", "CHS total size does not match the image size specified."},
    {35, "InvalidName", "Invalid name for a directory entry (cannot begin with a space)."},
    {38, "FindFile", "Error finding a file."},
    {39, "FileTime", "Error converting a file time to a DOS date/time."},
    {40, "BuildTime", "Error converting the current time to a file time."},
    {41, "ZeroSpace", "Error zeroing space for the file."},
    {42, "Parameters", "Error processing the command line parameters."},
    {43, "Fat32", "The volume type is FAT32 which is not supported."},
    {44, "CountList", "fDetermineDirSize failed to get the file count."},
    {45, "CountNext", "FindNextFile failed."},
    {46, "ZeroOffset", "The offset to copy into the image cannot be zero."},
    {47, "MbrClose", "Error closing the master boot record file."},
    {48, "BootClose", "Error closing the boot sector file."},
    {49, "FileClose", "Error closing a file being inserted in the image."},
    {50, "ImageClose", "Error closing the image file."},
    {51, "NameTooLong", "The filename is too long for 8.3 format."},
    {52, "ChainTooLong",
     "Attempting to allocate more clusters than can be written to the FAT in one command."},
    {53, "CurrentDirectory", "Error retrieving the current directory on the root drive."},
    {54, nullptr, "The path name was too long."},
    {55, nullptr, "The length of the Root path is unknown."},
    {56, "WorkingDirectory", "Error retrieving the current working directory."},
    {57, nullptr, "The combined filename and path exceeds the maximum length allowed."},
    {58, "DiskType", "Invalid disk type specified."},
    {59, "Help", "Help was displayed."},
    {60, "IsoBootDescriptor", "Write boot volume descriptor failed."},
    {61, "IsoPrimaryDescriptor", "Write primary volume descriptor failed."},
    {62, "IsoTerminator", "Write set terminator descriptor failed."},
    {63, "IsoPathTable", "Write path table failed."},
    {64, "IsoBootCatalog", "Write of the boot catalog failed."},
    {65, "IsoRootDirectory", "Write of the ISO root directory failed."},
    {66, "IsoReadmeWrite", "Write of the ISO readme file failed."},
    {67, "IsoReadmeStatus", "Error retrieving status information for the ISO readme file."},
    {68, "IsoReadmeName", "The ISO readme name cannot be empty."},
    {69, "IsoReadmeOpen", "Error opening the ISO readme file."},
    {70, "IsoReadmeTooLarge", "The ISO readme file exceeds the maximum length allowed."},
    {71, "IsoReadmeRead", "Error reading the ISO readme file."},
    {72, "IsoImageStatus", "Error retrieving status information for the image file."},
    {73, "IsoImageSize", "The image size is not an integral of the CD-ROM sector size."},
    {74, "IsoMediaType", "Invalid boot media type for an ISO image."},
    {75, "MbrOnDiskette", "Attempting to write an MBR on a diskette image."},
    {76, "FatType", "Invalid FAT type specified. Must be FAT12 or FAT16."},
    {77, "SectPerCluster",
     "Invalid sectors per cluster value specified. Must be 2, 4, 8, 16, 32 or 64."},
    {78, "FatTooSmall", "Calculated FAT size too small."},
    {79, nullptr, "Total sectors must be specified to use the extended partition (LBA) option."},
    {80, "Fat16TooFewClusters", ""},
    {81, "TooManySectors", ""},
    {82, "GrubOpen", ""},
    {83, "GrubTooLarge", ""},
    {84, "GrubRead", ""},
    {85, "GrubWrite", ""},
    {86, "GrubClose", ""},
    {87, "DirectoryOverflow", ""},
};

constexpr const VellixExitCode* FindVellixExitCode(int code) {
  for (const VellixExitCode& row : kVellixExitCodes) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace common
