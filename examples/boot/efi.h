/* The few EFI structures the sample's EFI loader uses, declared as the UEFI
 * tables give them (members the loader never calls are kept as placeholders,
 * so that every member it does call sits at its place). x86_64, Microsoft
 * calling convention: what the mingw-w64 compiler uses by default. */
#ifndef ORVO_EFI_H
#define ORVO_EFI_H

#include <stddef.h>
#include <stdint.h>

typedef uint64_t EFI_STATUS;
typedef void *EFI_HANDLE;
typedef void *EFI_EVENT;
typedef uint16_t CHAR16;
typedef uint8_t BOOLEAN;
typedef uint64_t UINTN;

#define EFIAPI __attribute__((ms_abi))
#define EFI_SUCCESS 0
#define EFI_ERROR(status) (((int64_t)(status)) < 0)
#define EFI_LOAD_ERROR (0x8000000000000000ull | 1)

typedef struct {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} EFI_GUID;

typedef struct {
  uint64_t Signature;
  uint32_t Revision;
  uint32_t HeaderSize;
  uint32_t CRC32;
  uint32_t Reserved;
} EFI_TABLE_HEADER;

typedef void (*EFI_UNUSED)(void);

typedef struct {
  uint16_t ScanCode;
  CHAR16 UnicodeChar;
} EFI_INPUT_KEY;

typedef struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL {
  EFI_STATUS(EFIAPI *Reset)(struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL *self, BOOLEAN extended);
  EFI_STATUS(EFIAPI *ReadKeyStroke)(struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL *self,
                                    EFI_INPUT_KEY *key);
  EFI_EVENT WaitForKey;
} EFI_SIMPLE_TEXT_INPUT_PROTOCOL;

typedef struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
  EFI_UNUSED Reset;
  EFI_STATUS(EFIAPI *OutputString)(struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self,
                                   const CHAR16 *text);
  EFI_UNUSED TestString, QueryMode, SetMode, SetAttribute, ClearScreen, SetCursorPosition,
      EnableCursor;
  void *Mode;
} EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;

enum { EFI_LOCATE_BY_PROTOCOL = 2 };

typedef struct {
  EFI_TABLE_HEADER Hdr;
  EFI_UNUSED RaiseTPL, RestoreTPL;
  EFI_UNUSED AllocatePages, FreePages, GetMemoryMap, AllocatePool;
  EFI_STATUS(EFIAPI *FreePool)(void *buffer);
  EFI_UNUSED CreateEvent, SetTimer;
  EFI_STATUS(EFIAPI *WaitForEvent)(UINTN count, EFI_EVENT *events, UINTN *index);
  EFI_UNUSED SignalEvent, CloseEvent, CheckEvent;
  EFI_UNUSED InstallProtocolInterface, ReinstallProtocolInterface, UninstallProtocolInterface;
  EFI_STATUS(EFIAPI *HandleProtocol)(EFI_HANDLE handle, const EFI_GUID *protocol, void **out);
  void *Reserved;
  EFI_UNUSED RegisterProtocolNotify, LocateHandle, LocateDevicePath, InstallConfigurationTable;
  EFI_UNUSED LoadImage, StartImage, Exit, UnloadImage, ExitBootServices;
  EFI_UNUSED GetNextMonotonicCount, Stall;
  EFI_STATUS(EFIAPI *SetWatchdogTimer)(UINTN timeout, uint64_t code, UINTN size,
                                       const CHAR16 *data);
  EFI_UNUSED ConnectController, DisconnectController;
  EFI_UNUSED OpenProtocol, CloseProtocol, OpenProtocolInformation;
  EFI_UNUSED ProtocolsPerHandle;
  EFI_STATUS(EFIAPI *LocateHandleBuffer)(int searchType, const EFI_GUID *protocol, void *key,
                                         UINTN *count, EFI_HANDLE **handles);
  /* LocateProtocol and the rest are not used. */
} EFI_BOOT_SERVICES;

typedef struct {
  EFI_TABLE_HEADER Hdr;
  CHAR16 *FirmwareVendor;
  uint32_t FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  EFI_SIMPLE_TEXT_INPUT_PROTOCOL *ConIn;
  EFI_HANDLE ConsoleOutHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *ConOut;
  EFI_HANDLE StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *StdErr;
  void *RuntimeServices;
  EFI_BOOT_SERVICES *BootServices;
  UINTN NumberOfTableEntries;
  void *ConfigurationTable;
} EFI_SYSTEM_TABLE;

typedef struct {
  uint32_t Revision;
  EFI_HANDLE ParentHandle;
  EFI_SYSTEM_TABLE *SystemTable;
  EFI_HANDLE DeviceHandle;
  void *FilePath;
  void *Reserved;
  uint32_t LoadOptionsSize;
  void *LoadOptions;
  void *ImageBase;
  uint64_t ImageSize;
  int ImageCodeType;
  int ImageDataType;
  EFI_UNUSED Unload;
} EFI_LOADED_IMAGE_PROTOCOL;

typedef struct EFI_FILE_PROTOCOL {
  uint64_t Revision;
  EFI_STATUS(EFIAPI *Open)(struct EFI_FILE_PROTOCOL *self, struct EFI_FILE_PROTOCOL **file,
                           const CHAR16 *name, uint64_t mode, uint64_t attributes);
  EFI_STATUS(EFIAPI *Close)(struct EFI_FILE_PROTOCOL *self);
  EFI_UNUSED Delete;
  EFI_STATUS(EFIAPI *Read)(struct EFI_FILE_PROTOCOL *self, UINTN *size, void *buffer);
  EFI_UNUSED Write, GetPosition, SetPosition;
  EFI_STATUS(EFIAPI *GetInfo)(struct EFI_FILE_PROTOCOL *self, const EFI_GUID *type,
                              UINTN *size, void *buffer);
  EFI_UNUSED SetInfo, Flush;
} EFI_FILE_PROTOCOL;

#define EFI_FILE_MODE_READ 1ull

typedef struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL {
  uint64_t Revision;
  EFI_STATUS(EFIAPI *OpenVolume)(struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *self,
                                 EFI_FILE_PROTOCOL **root);
} EFI_SIMPLE_FILE_SYSTEM_PROTOCOL;

typedef struct {
  uint64_t Size;
  BOOLEAN ReadOnly;
  uint64_t VolumeSize;
  uint64_t FreeSpace;
  uint32_t BlockSize;
  CHAR16 VolumeLabel[1]; /* as long as Size says */
} EFI_FILE_SYSTEM_INFO;

/* A device path is a run of nodes, each with its type, subtype and length. */
typedef struct {
  uint8_t Type;
  uint8_t SubType;
  uint8_t Length[2];
} EFI_DEVICE_PATH_PROTOCOL;

#define EFI_DEVICE_PATH_MEDIA 0x04
#define EFI_DEVICE_PATH_END 0x7F
#define EFI_MEDIA_HARDDRIVE 0x01 /* UINT32 PartitionNumber follows the header */
#define EFI_MEDIA_CDROM 0x02     /* UINT32 BootEntry follows the header */

#define EFI_GUID_TAIL {0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b}
static const EFI_GUID kLoadedImageProtocol = {0x5b1b31a1, 0x9562, 0x11d2,
                                              {0x8e, 0x3f, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b}};
static const EFI_GUID kSimpleFileSystemProtocol = {0x964e5b22, 0x6459, 0x11d2, EFI_GUID_TAIL};
static const EFI_GUID kDevicePathProtocol = {0x09576e91, 0x6d3f, 0x11d2, EFI_GUID_TAIL};
static const EFI_GUID kFileSystemInfo = {0x09576e93, 0x6d3f, 0x11d2, EFI_GUID_TAIL};

#endif
