// The shell's numbered results: 0 is success, a platform error number is
// passed on as it came, and the shell's own conditions are 700 and above.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace partshell {

enum ErrorCode : int {
  NO_ERROR_OCCURRED = 0,
  UNABLE_TO_LOCATE_PARTITION = 700,
  INVALID_PARTITION_ENTRY = 701,
  UNABLE_TO_OPEN_HARD_DRIVE = 702,
  UNABLE_TO_READ_MBR = 703,
  UNABLE_TO_WRITE_MBR = 704,
  FAT_TABLE_COMPARE_FAILED = 705,
  BOOT_RECORD_LOAD_FAILED = 706,
  PARTITION_JUMP_NOT_FOUND = 707,
  PARTITION_SIGNATURE_BAD = 708,
  PARTITION_NOT_FAT16 = 709,
  DISK_ERROR_OPENING_FILE = 710,
  DISK_ERROR_WRITING_FILE = 711,
  DISK_ERROR_CREATING_FILE = 712,
  DISK_ERROR_LOCATING_FILE = 713,
  DISK_ERROR_LOCATING_DIR = 714,
  DISK_ERROR_LOCATING_PARENT_DIR = 715,
  DIR_ALREADY_EXISTS = 716,
  FILE_ALREADY_EXISTS = 717,
  DIR_PATH_NOT_FOUND = 718,
  UNABLE_TO_RENAME_FILE = 719,
  NO_VALID_PARTITIONS_AVAILABLE = 720,
  UNABLE_TO_WRITE_DIRECTORY = 721,
  UNABLE_TO_WRITE_FAT1 = 722,
  UNABLE_TO_WRITE_FAT2 = 723,
  FAT_LINKAGE_ERROR = 724,
  NULL_POINTER_PARAMETER = 725,
  FILE_NOT_FOUND = 726,
  INVALID_PARAMETER = 727,
  NO_ACTIVE_PARTITION = 728,
  UNABLE_TO_DELETE_FILE = 729,
  DISK_ERROR_DISK_FULL = 730,
  UNABLE_TO_ALLOCATE_CLUSTER = 731,
  ILLEGAL_RECURSION_ADDING_DIR_CLUSTER = 732,
  BAD_FILENAME_DRIVE_REFERENCE = 733,
  DISK_ERROR_READING_FILE = 734,
  ROOT_DIR_NO_FREE_DIR_ENTRIES = 735,
  UNABLE_TO_REMOVE_DIR_NAME_ENTRY = 736,
  DIRECTORY_NOT_EMPTY = 737,
  UNABLE_TO_ADD_ITEM_TO_LOCAL_ENV = 738,
  DISK_ERROR_READING_SECTOR = 739,
  DISK_ERROR_WRITING_SECTOR = 740,
  DISK_ERROR_SEEKING_SECTOR = 741,
  UNABLE_TO_OPEN_FLOPPY_DRIVE = 742,
  FLOPPY_NO_ARDO_BOOT_RECORD = 743,
  INVALID_USER_COMMAND = 744,
  UNABLE_TO_CREATE_LOCAL_TEMP_FILE = 745,
  UNABLE_TO_LOCATE_LOCAL_FILE = 746,
  ERROR_WRITING_LOCAL_FILE = 747,
  MALFORMED_IF_CONSTRUCT = 748,
  TARGET_LABEL_MISSING = 749,
  BAD_HANDLE = 750,
  END_OF_DIRECTORY = 751,
  INVALID_FILENAME_PARAMETER = 752,
  USER_ABORT = 753,
  PROGRAM_SHUTDOWN_EVENT = 754,
  PROGRAM_CLOSE_EVENT = 755,
  PROGRAM_LOGOFF_EVENT = 756,
  UNABLE_TO_READ_PBR = 757,
  UNABLE_TO_WRITE_PBR = 758,
  INVALID_PARTITION_TYPE = 759,
  DISK_ERROR_SEEK_BEYOND_EOF = 761,
  WRITE_ATTEMPT_BEYOND_PARTITION_END = 762,
  INVALID_CLUSTER_IN_REQUEST = 763,
  INVALID_COMMAND_ENCOUNTERED = 764,
  INVALID_PARAMETER_COUNT = 765,
  DIRECTORY_NOT_FOUND = 766,
};

// Exit codes without a table row.
inline constexpr int kExitBadSwitch = 1;
inline constexpr int kExitAlreadyRunning = 101;
inline constexpr int kExitUnalignedSectorBuffer = 254;
inline constexpr int kExitOldOperatingSystem = 760;

struct InternalError {
  int code;
  const char* name;
};

inline constexpr std::size_t kInternalErrorCount = 66;
extern const std::array<InternalError, kInternalErrorCount> InternalErrorTable;

// "NAME - {internal}" for a table code, else the system's message text for
// that number, else "".
std::string ErrorText(int code);

// Where ErrorText finds system message texts. The default is a short table of
// the common Windows texts (for hosts without a system message table); the
// Windows host installs one that asks the system.
using SystemMessageSource = std::string (*)(std::uint32_t code);
void SetSystemMessageSource(SystemMessageSource source);
std::string CommonSystemMessage(std::uint32_t code);
// The system's message text for a system error number, without its line end;
// "system error <n>" when there is none.
std::string SystemMessage(std::uint32_t code);

}  // namespace partshell
