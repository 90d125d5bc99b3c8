/* BOOTX64.EFI: the sample package's loader for UEFI PCs.
 *
 * UEFI firmware starts \EFI\BOOT\BOOTX64.EFI from a FAT volume of removable
 * media: a USB flash drive's partition, or the FAT image of a CD's EFI boot
 * entry. Like ORVOBOOT.SYS on BIOS PCs, the loader prints one line on the
 * firmware console and on the debug console (port 0xE9):
 *
 *   Orvo diagnostics media booted: UEFI, volume label "A05", package version A05, partition 1
 *
 * The label is the one of the volume it was started from, the version the
 * "OEM Ver:" line of the package's Version.txt, read through the firmware's
 * file system protocol from that volume, or, when that volume holds only the
 * EFI folder (a CD's EFI image), from another volume of the same drive. The
 * last part names where it was started from: a partition, a CD boot entry
 * (as the firmware numbers the catalog's entries, from 0 for the default
 * entry), both, or a drive without partitions.
 *
 * Then it ends the machine through port 0xF4 (qemu's isa-debug-exit: 0x10
 * gives exit status 33, 0x11 status 35 when the line could not be made). On a
 * real PC that port does nothing: the loader asks for a key and returns to
 * the firmware.
 *
 * Built with the x86_64 mingw-w64 compiler as an EFI application, without
 * any library: see examples/CMakeLists.txt. */
#include "efi.h"

#define DEBUG_PORT 0xE9
#define EXIT_PORT 0xF4
#define EXIT_BOOTED 0x10
#define EXIT_FAILED 0x11

static EFI_SYSTEM_TABLE *g_system;
static EFI_BOOT_SERVICES *g_boot;

/* The compiler may call these for copies and clears of structures. */
void *memset(void *to, int value, size_t n) {
  unsigned char *p = to;
  while (n-- > 0) *p++ = (unsigned char)value;
  return to;
}

void *memcpy(void *to, const void *from, size_t n) {
  unsigned char *p = to;
  const unsigned char *q = from;
  while (n-- > 0) *p++ = *q++;
  return to;
}

static void OutByte(uint16_t port, uint8_t value) {
  __asm__ volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

/* One line of text, cut at its capacity. */
typedef struct {
  char text[240];
  size_t length;
} Line;

static void Add(Line *line, const char *text) {
  while (*text != '\0' && line->length + 1 < sizeof line->text) line->text[line->length++] = *text++;
  line->text[line->length] = '\0';
}

static void AddNumber(Line *line, uint32_t value) {
  char digits[12];
  size_t n = 0;
  do {
    digits[n++] = (char)('0' + value % 10);
    value /= 10;
  } while (value != 0);
  char text[12];
  for (size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = '\0';
  Add(line, text);
}

/* Prints the line and a line end on the firmware console and the debug port. */
static void Print(const Line *line) {
  CHAR16 wide[sizeof line->text + 2];
  size_t n = 0;
  for (; n < line->length; ++n) {
    const char c = line->text[n];
    wide[n] = (CHAR16)(unsigned char)c;
    OutByte(DEBUG_PORT, (uint8_t)c);
  }
  wide[n++] = '\r';
  wide[n++] = '\n';
  wide[n] = 0;
  OutByte(DEBUG_PORT, '\n');
  if (g_system->ConOut != NULL) g_system->ConOut->OutputString(g_system->ConOut, wide);
}

/* Ends the machine under qemu; elsewhere waits for a key and returns `status`. */
static EFI_STATUS Finish(uint8_t exitCode, EFI_STATUS status) {
  OutByte(EXIT_PORT, exitCode);
  Line prompt = {{0}, 0};
  Add(&prompt, "Press a key to return to the firmware.");
  Print(&prompt);
  /* The firmware restarts the machine after five minutes in a boot program. */
  g_boot->SetWatchdogTimer(0, 0, 0, NULL);
  EFI_SIMPLE_TEXT_INPUT_PROTOCOL *in = g_system->ConIn;
  if (in != NULL) {
    UINTN index = 0;
    EFI_INPUT_KEY key;
    in->Reset(in, 0);
    g_boot->WaitForEvent(1, &in->WaitForKey, &index);
    in->ReadKeyStroke(in, &key);
  }
  return status;
}

static EFI_STATUS Fail(const char *why) {
  Line line = {{0}, 0};
  Add(&line, "Orvo diagnostics media: UEFI loader failed: ");
  Add(&line, why);
  Print(&line);
  return Finish(EXIT_FAILED, EFI_LOAD_ERROR);
}

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

/* The value of the "OEM Ver:" line of Version.txt in the root of `root`. */
static int ReadVersion(EFI_FILE_PROTOCOL *root, char *version, size_t capacity) {
  EFI_FILE_PROTOCOL *file = NULL;
  if (EFI_ERROR(root->Open(root, &file, L"\\Version.txt", EFI_FILE_MODE_READ, 0))) return 0;
  char text[1024];
  UINTN size = sizeof text - 1;
  const EFI_STATUS read = file->Read(file, &size, text);
  file->Close(file);
  if (EFI_ERROR(read)) return 0;
  text[size] = '\0';
  static const char kKey[] = "OEM Ver:";
  for (size_t start = 0; start < size;) {
    size_t end = start;
    while (end < size && text[end] != '\n') ++end;
    size_t k = 0;
    while (kKey[k] != '\0' && start + k < end && text[start + k] == kKey[k]) ++k;
    if (kKey[k] == '\0') {
      size_t from = start + k;
      size_t to = end;
      while (from < to && IsBlank(text[from])) ++from;
      while (to > from && (IsBlank(text[to - 1]) || text[to - 1] == '\r')) --to;
      size_t n = 0;
      for (; from < to && n + 1 < capacity; ++from) version[n++] = text[from];
      version[n] = '\0';
      return n > 0;
    }
    start = end + 1;
  }
  return 0;
}

static int OpenRoot(EFI_HANDLE device, EFI_FILE_PROTOCOL **root) {
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *fs = NULL;
  if (EFI_ERROR(g_boot->HandleProtocol(device, &kSimpleFileSystemProtocol, (void **)&fs))) {
    return 0;
  }
  return !EFI_ERROR(fs->OpenVolume(fs, root));
}

static size_t NodeLength(const EFI_DEVICE_PATH_PROTOCOL *node) {
  return (size_t)node->Length[0] | (size_t)node->Length[1] << 8;
}

static const EFI_DEVICE_PATH_PROTOCOL *NextNode(const EFI_DEVICE_PATH_PROTOCOL *node) {
  const size_t length = NodeLength(node);
  /* A node shorter than its header would loop for ever: treat it as the end. */
  if (node->Type == EFI_DEVICE_PATH_END || length < sizeof *node) return NULL;
  return (const EFI_DEVICE_PATH_PROTOCOL *)((const uint8_t *)node + length);
}

static const EFI_DEVICE_PATH_PROTOCOL *DevicePath(EFI_HANDLE handle) {
  void *path = NULL;
  if (EFI_ERROR(g_boot->HandleProtocol(handle, &kDevicePathProtocol, &path))) return NULL;
  return path;
}

/* Bytes of the path in front of its first media node: the drive itself. */
static size_t DrivePartLength(const EFI_DEVICE_PATH_PROTOCOL *path) {
  size_t length = 0;
  for (const EFI_DEVICE_PATH_PROTOCOL *node = path; node != NULL; node = NextNode(node)) {
    if (node->Type == EFI_DEVICE_PATH_MEDIA || node->Type == EFI_DEVICE_PATH_END) break;
    length += NodeLength(node);
  }
  return length;
}

static int SameDrive(const EFI_DEVICE_PATH_PROTOCOL *a, const EFI_DEVICE_PATH_PROTOCOL *b) {
  const size_t length = DrivePartLength(a);
  if (length != DrivePartLength(b)) return 0;
  const uint8_t *p = (const uint8_t *)a;
  const uint8_t *q = (const uint8_t *)b;
  for (size_t i = 0; i < length; ++i) {
    if (p[i] != q[i]) return 0;
  }
  return 1;
}

/* Version.txt on another volume of the drive the loader was started from. */
static int ReadVersionBeside(EFI_HANDLE device, char *version, size_t capacity) {
  const EFI_DEVICE_PATH_PROTOCOL *own = DevicePath(device);
  EFI_HANDLE *handles = NULL;
  UINTN count = 0;
  if (own == NULL || EFI_ERROR(g_boot->LocateHandleBuffer(EFI_LOCATE_BY_PROTOCOL,
                                                          &kSimpleFileSystemProtocol, NULL,
                                                          &count, &handles))) {
    return 0;
  }
  int found = 0;
  for (UINTN i = 0; i < count && !found; ++i) {
    const EFI_DEVICE_PATH_PROTOCOL *path = DevicePath(handles[i]);
    EFI_FILE_PROTOCOL *root = NULL;
    if (handles[i] == device || path == NULL || !SameDrive(own, path)) continue;
    if (!OpenRoot(handles[i], &root)) continue;
    found = ReadVersion(root, version, capacity);
    root->Close(root);
  }
  g_boot->FreePool(handles);
  return found;
}

/* The label of the volume, trailing blanks dropped; non-ASCII as '?'. */
static void AddLabel(Line *line, EFI_FILE_PROTOCOL *root) {
  uint64_t buffer[64];
  UINTN size = sizeof buffer;
  if (EFI_ERROR(root->GetInfo(root, &kFileSystemInfo, &size, buffer))) return;
  const EFI_FILE_SYSTEM_INFO *info = (const EFI_FILE_SYSTEM_INFO *)buffer;
  const size_t offset = offsetof(EFI_FILE_SYSTEM_INFO, VolumeLabel);
  const size_t most = size > offset ? (size - offset) / sizeof(CHAR16) : 0;
  size_t n = 0;
  while (n < most && info->VolumeLabel[n] != 0) ++n;
  while (n > 0 && info->VolumeLabel[n - 1] == ' ') --n;
  char text[64];
  if (n >= sizeof text) n = sizeof text - 1;
  for (size_t i = 0; i < n; ++i) {
    const CHAR16 c = info->VolumeLabel[i];
    text[i] = c >= 0x20 && c < 0x7F ? (char)c : '?';
  }
  text[n] = '\0';
  Add(line, text);
}

/* Where the volume sits: the CD boot entry and the partition on the way to it
 * ("CD boot entry 0, partition 1" for a CD's hard-disk emulation), or the
 * whole drive. */
static void AddPlace(Line *line, EFI_HANDLE device) {
  int named = 0;
  for (const EFI_DEVICE_PATH_PROTOCOL *node = DevicePath(device); node != NULL;
       node = NextNode(node)) {
    if (node->Type != EFI_DEVICE_PATH_MEDIA || NodeLength(node) < sizeof *node + 4 ||
        (node->SubType != EFI_MEDIA_HARDDRIVE && node->SubType != EFI_MEDIA_CDROM)) {
      continue;
    }
    const uint8_t *number = (const uint8_t *)(node + 1);
    if (named++ > 0) Add(line, ", ");
    Add(line, node->SubType == EFI_MEDIA_CDROM ? "CD boot entry " : "partition ");
    AddNumber(line, (uint32_t)number[0] | (uint32_t)number[1] << 8 | (uint32_t)number[2] << 16 |
                        (uint32_t)number[3] << 24);
  }
  if (named == 0) Add(line, "whole drive");
}

EFI_STATUS EFIAPI efi_main(EFI_HANDLE image, EFI_SYSTEM_TABLE *system) {
  g_system = system;
  g_boot = system->BootServices;
  EFI_LOADED_IMAGE_PROTOCOL *loaded = NULL;
  if (EFI_ERROR(g_boot->HandleProtocol(image, &kLoadedImageProtocol, (void **)&loaded))) {
    return Fail("the firmware does not say where the loader was loaded from");
  }
  EFI_FILE_PROTOCOL *root = NULL;
  if (!OpenRoot(loaded->DeviceHandle, &root)) {
    return Fail("the volume the loader was started from cannot be opened");
  }
  Line line = {{0}, 0};
  Add(&line, "Orvo diagnostics media booted: UEFI, volume label \"");
  AddLabel(&line, root);
  Add(&line, "\", package version ");
  char version[32];
  const int found = ReadVersion(root, version, sizeof version) ||
                    ReadVersionBeside(loaded->DeviceHandle, version, sizeof version);
  root->Close(root);
  Add(&line, found ? version : "unknown (no Version.txt)");
  Add(&line, ", ");
  AddPlace(&line, loaded->DeviceHandle);
  Print(&line);
  return Finish(EXIT_BOOTED, EFI_SUCCESS);
}
