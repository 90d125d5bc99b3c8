// Windows system error codes the portable core names. The host layer hands the
// real codes through unchanged; these are only the ones the core decides on.
#pragma once

#include <cstdint>

namespace zolp::syserr {

inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kInvalidFunction = 1;          // ERROR_INVALID_FUNCTION
inline constexpr std::uint32_t kFileNotFound = 2;             // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t kPathNotFound = 3;             // ERROR_PATH_NOT_FOUND
inline constexpr std::uint32_t kAccessDenied = 5;             // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t kNotEnoughMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
inline constexpr std::uint32_t kNotReady = 21;                // ERROR_NOT_READY
inline constexpr std::uint32_t kSectorNotFound = 27;          // ERROR_SECTOR_NOT_FOUND
inline constexpr std::uint32_t kWriteFault = 29;              // ERROR_WRITE_FAULT
inline constexpr std::uint32_t kReadFault = 30;               // ERROR_READ_FAULT
inline constexpr std::uint32_t kSharingViolation = 32;        // ERROR_SHARING_VIOLATION
inline constexpr std::uint32_t kLockViolation = 33;           // ERROR_LOCK_VIOLATION
inline constexpr std::uint32_t kHandleEof = 38;               // ERROR_HANDLE_EOF
inline constexpr std::uint32_t kNotSupported = 50;            // ERROR_NOT_SUPPORTED
inline constexpr std::uint32_t kInvalidParameter = 87;        // ERROR_INVALID_PARAMETER
inline constexpr std::uint32_t kSemTimeout = 121;             // ERROR_SEM_TIMEOUT
inline constexpr std::uint32_t kInsufficientBuffer = 122;     // ERROR_INSUFFICIENT_BUFFER
inline constexpr std::uint32_t kNotLocked = 158;              // ERROR_NOT_LOCKED
inline constexpr std::uint32_t kAlreadyExists = 183;          // ERROR_ALREADY_EXISTS
inline constexpr std::uint32_t kMoreData = 234;               // ERROR_MORE_DATA
inline constexpr std::uint32_t kIoDevice = 1117;              // ERROR_IO_DEVICE
inline constexpr std::uint32_t kResourceDataNotFound = 1812;  // ERROR_RESOURCE_DATA_NOT_FOUND
inline constexpr std::uint32_t kResourceTypeNotFound = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
inline constexpr std::uint32_t kResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND

}  // namespace zolp::syserr
