// The builder's exit codes: every failure records one of these, and the
// first one recorded becomes the exit code of the run.
#pragma once

namespace imagebuilder {

enum ErrorCode : int {
  kOk = 0,
  kErrAllocate = 1,
  kErrImageSize = 2,
  kErrImageOpen = 3,
  kErrMbrOpen = 4,
  kErrMbrRead = 5,
  kErrMbrSize = 6,
  kErrMbrSignature = 7,
  kErrMbrWrite = 8,
  kErrBootOpen = 9,
  kErrBootRead = 10,
  kErrBootSize = 11,
  kErrBootSignature = 12,
  kErrBootWrite = 13,
  kErrSeek = 14,
  kErrRootNotFound = 15,
  kErrRootTooSmall = 16,
  kErrRestoreDrive = 17,
  kErrRestoreDirectory = 18,
  kErrTooLargeForFat = 21,
  kErrChangeDirectory = 22,
  kErrNoGeometry = 23,
  kErrFatRead = 24,
  kErrFatWrite = 25,
  kErrFatMirror = 26,
  kErrDirEntryWrite = 27,
  kErrFileOpen = 28,
  kErrFileSizeChanged = 29,
  kErrFileRead = 30,
  kErrFileWrite = 31,
  kErrOrderedMissing = 33,
  kErrChsMismatch = 34,
  kErrInvalidName = 35,
  kErrFindFile = 38,
  kErrFileTime = 39,
  kErrBuildTime = 40,
  kErrZeroSpace = 41,
  kErrParameters = 42,
  kErrFat32 = 43,
  kErrCountList = 44,
  kErrCountNext = 45,
  kErrZeroOffset = 46,
  kErrMbrClose = 47,
  kErrBootClose = 48,
  kErrFileClose = 49,
  kErrImageClose = 50,
  kErrNameTooLong = 51,
  kErrChainTooLong = 52,
  kErrCurrentDirectory = 53,
  kErrWorkingDirectory = 56,
  kErrDiskType = 58,
  kErrHelp = 59,
  kErrIsoBootDescriptor = 60,
  kErrIsoPrimaryDescriptor = 61,
  kErrIsoTerminator = 62,
  kErrIsoPathTable = 63,
  kErrIsoBootCatalog = 64,
  kErrIsoRootDirectory = 65,
  kErrIsoReadmeWrite = 66,
  kErrIsoReadmeStatus = 67,
  kErrIsoReadmeName = 68,
  kErrIsoReadmeOpen = 69,
  kErrIsoReadmeTooLarge = 70,
  kErrIsoReadmeRead = 71,
  kErrIsoImageStatus = 72,
  kErrIsoImageSize = 73,
  kErrIsoMediaType = 74,
  kErrMbrOnDiskette = 75,
  kErrFatType = 76,
  kErrSectPerCluster = 77,
  kErrFatTooSmall = 78,
  kErrFat16TooFewClusters = 80,
  kErrTooManySectors = 81,
  kErrGrubOpen = 82,
  kErrGrubTooLarge = 83,
  kErrGrubRead = 84,
  kErrGrubWrite = 85,
  kErrGrubClose = 86,
  kErrDirectoryOverflow = 87,
};

struct ErrorInfo {
  int code;
  const char* name;  // short identifier for docs and diagnostics
  const char* text;  // the message the front end shows; empty for codes it does not know
};

// Every code with its meaning, in ascending order.
const ErrorInfo* FindError(int code);
const ErrorInfo* ErrorTable(int& count);

}  // namespace imagebuilder
