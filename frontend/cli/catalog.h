// zolpcli over a device catalog: the USB disks as the dialog finds them
// (\\.\PhysicalDrive<n>, its storage descriptor and READ CAPACITY), each
// written with its volumes locked and dismounted. The Windows program runs on
// the Win32 host; both programs run on the simulated catalog that
// ZOLP_SIM_DEVICES describes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "zolp/host.h"

namespace zolp::cli {

// zolpcli list: the USB disks the dialog would offer, one a line.
int CatalogList(const Services& services, const Console& console);
// zolpcli usb N... | --all [--noverify] [--yes]: every disk on its own worker.
int CatalogUsb(const Services& services, const Console& console, std::vector<std::string> words);
// zolpcli image FILE [--diskette] and iso FILE, through the core's build worker.
int CatalogImage(const Services& services, const Console& console, std::vector<std::string> words,
                 bool cd);
// zolpcli update [--test | --debug] [--yes]: the dialog's partition update,
// unattended with --yes; ends with 0 or the partition shell's exit code.
int CatalogUpdate(const Services& services, const Console& console, std::vector<std::string> words);
// zolpcli.exe burn LETTER: the CD section's ISO burned through the MMC layer.
int CatalogBurn(const Services& services, const Console& console, std::vector<std::string> words);
// A simulated catalog from the file ZOLP_SIM_DEVICES names, with its write
// delay or rate (ZOLP_SIM_WRITE_DELAY_MS, ZOLP_SIM_WRITE_RATE in bytes a
// second); null with the fault told on err when the file is missing or wrong.
std::unique_ptr<DeviceCatalog> SimulatedCatalog(const Services& services, std::FILE* err);

}  // namespace zolp::cli
