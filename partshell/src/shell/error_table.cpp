#include <cstring>
#include <utility>

#include "partshell/error_codes.h"

namespace partshell {

#define ROW(code) InternalError{code, #code}
const std::array<InternalError, kInternalErrorCount> InternalErrorTable = {{
    ROW(UNABLE_TO_LOCATE_PARTITION),
    ROW(INVALID_PARTITION_ENTRY),
    ROW(UNABLE_TO_OPEN_HARD_DRIVE),
    ROW(UNABLE_TO_READ_MBR),
    ROW(UNABLE_TO_WRITE_MBR),
    ROW(FAT_TABLE_COMPARE_FAILED),
    ROW(BOOT_RECORD_LOAD_FAILED),
    ROW(PARTITION_JUMP_NOT_FOUND),
    ROW(PARTITION_SIGNATURE_BAD),
    ROW(PARTITION_NOT_FAT16),
    ROW(DISK_ERROR_OPENING_FILE),
    ROW(DISK_ERROR_WRITING_FILE),
    ROW(DISK_ERROR_CREATING_FILE),
    ROW(DISK_ERROR_LOCATING_FILE),
    ROW(DISK_ERROR_LOCATING_DIR),
    ROW(DISK_ERROR_LOCATING_PARENT_DIR),
    ROW(DIR_ALREADY_EXISTS),
    ROW(FILE_ALREADY_EXISTS),
    ROW(DIR_PATH_NOT_FOUND),
    ROW(UNABLE_TO_RENAME_FILE),
    ROW(NO_VALID_PARTITIONS_AVAILABLE),
    ROW(UNABLE_TO_WRITE_DIRECTORY),
    ROW(UNABLE_TO_WRITE_FAT1),
    ROW(UNABLE_TO_WRITE_FAT2),
    ROW(FAT_LINKAGE_ERROR),
    ROW(NULL_POINTER_PARAMETER),
    ROW(FILE_NOT_FOUND),
    ROW(INVALID_PARAMETER),
    ROW(NO_ACTIVE_PARTITION),
    ROW(UNABLE_TO_DELETE_FILE),
    ROW(DISK_ERROR_DISK_FULL),
    ROW(UNABLE_TO_ALLOCATE_CLUSTER),
    ROW(ILLEGAL_RECURSION_ADDING_DIR_CLUSTER),
    ROW(BAD_FILENAME_DRIVE_REFERENCE),
    ROW(DISK_ERROR_READING_FILE),
    ROW(ROOT_DIR_NO_FREE_DIR_ENTRIES),
    ROW(UNABLE_TO_REMOVE_DIR_NAME_ENTRY),
    ROW(DIRECTORY_NOT_EMPTY),
    ROW(UNABLE_TO_ADD_ITEM_TO_LOCAL_ENV),
    ROW(DISK_ERROR_READING_SECTOR),
    ROW(DISK_ERROR_WRITING_SECTOR),
    ROW(DISK_ERROR_SEEKING_SECTOR),
    ROW(UNABLE_TO_OPEN_FLOPPY_DRIVE),
    ROW(FLOPPY_NO_ARDO_BOOT_RECORD),
    ROW(INVALID_USER_COMMAND),
    ROW(UNABLE_TO_CREATE_LOCAL_TEMP_FILE),
    ROW(UNABLE_TO_LOCATE_LOCAL_FILE),
    ROW(ERROR_WRITING_LOCAL_FILE),
    ROW(MALFORMED_IF_CONSTRUCT),
    ROW(TARGET_LABEL_MISSING),
    ROW(BAD_HANDLE),
    ROW(END_OF_DIRECTORY),
    ROW(INVALID_FILENAME_PARAMETER),
    ROW(USER_ABORT),
    ROW(PROGRAM_SHUTDOWN_EVENT),
    ROW(PROGRAM_CLOSE_EVENT),
    ROW(PROGRAM_LOGOFF_EVENT),
    ROW(UNABLE_TO_READ_PBR),
    ROW(UNABLE_TO_WRITE_PBR),
    ROW(INVALID_PARTITION_TYPE),
    ROW(DISK_ERROR_SEEK_BEYOND_EOF),
    ROW(WRITE_ATTEMPT_BEYOND_PARTITION_END),
    ROW(INVALID_CLUSTER_IN_REQUEST),
    ROW(INVALID_COMMAND_ENCOUNTERED),
    ROW(INVALID_PARAMETER_COUNT),
    ROW(DIRECTORY_NOT_FOUND),
}};
#undef ROW

namespace {

// The texts Windows gives for the numbers the shell passes on most often.
constexpr std::pair<std::uint32_t, const char*> kCommonSystemMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {15, "The system cannot find the drive specified."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {23, "Data error (cyclic redundancy check)."},
    {25, "The drive cannot locate a specific area or track on the disk."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {32, "The process cannot access the file because it is being used by another process."},
    {38, "Reached the end of the file."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {1117, "The request could not be performed because of an I/O device error."},
};

SystemMessageSource g_system_messages = &CommonSystemMessage;

}  // namespace

std::string CommonSystemMessage(std::uint32_t code) {
  for (const auto& [number, text] : kCommonSystemMessages) {
    if (number == code) return text;
  }
  return {};
}

void SetSystemMessageSource(SystemMessageSource source) {
  g_system_messages = source ? source : &CommonSystemMessage;
}

std::string SystemMessage(std::uint32_t code) {
  std::string text = g_system_messages(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "system error " + std::to_string(code);
  return text;
}

std::string ErrorText(int code) {
  for (const auto& row : InternalErrorTable) {
    if (row.code == code) return std::string(row.name) + " - {internal}";
  }
  std::string text = g_system_messages(static_cast<std::uint32_t>(code));
  if (text.size() > 511) text.resize(511);
  return text;
}

}  // namespace partshell
