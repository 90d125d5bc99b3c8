// The image copy worker as the USB option runs it, onto a file-backed disk:
// copies IMAGE onto DISK (created anew, as large as the image) with the
// read-back comparison unless "noverify" follows, and syncs the disk file at
// the end as dd conv=fsync does. bench/usb_copy_bench.sh times it against dd.
//   zolp_copy_bench DIRECTORY IMAGE DISK [noverify]
// IMAGE is a file name in DIRECTORY (the worker's current directory).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "zolp/image_copy.h"
#include "zolp/sim/file_disk.h"
#include "zolp/sim/mapped_file_system.h"
#include "zolp/sim/test_host.h"

int main(int argc, char** argv) {
  if (argc < 4 || (argc == 5 && std::strcmp(argv[4], "noverify") != 0) || argc > 5) {
    std::fprintf(stderr, "usage: zolp_copy_bench DIRECTORY IMAGE DISK [noverify]\n");
    return 2;
  }
  const std::filesystem::path directory = argv[1];
  zolp::sim::TestHost host;
  zolp::sim::MappedFileSystem files(directory, host);
  const std::filesystem::path image = files.CurrentHostDirectory() / argv[2];
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(image, ec);
  if (ec) {
    std::fprintf(stderr, "zolp_copy_bench: no image %s\n", image.c_str());
    return 2;
  }
  zolp::sim::FileDisk disk(argv[3], size, host);
  const zolp::Services services = host.Wire(&files);
  zolp::CopyJob job{1, &disk, argv[2], size};
  char failure[160] = {};
  job.verify = argc == 4;
  job.failureText = failure;
  job.failureTextSize = sizeof failure;

  const int copied = zolp::ImageCopyThread(services, job);
  const int fd = ::open(argv[3], O_WRONLY);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (copied != 1 || !synced) {
    const auto posts = host.Posts();
    std::fprintf(stderr, "zolp_copy_bench: the copy failed: %s (%ld)\n",
                 posts.empty() ? "" : posts.back().text.c_str(),
                 posts.empty() ? 0L : static_cast<long>(posts.back().wParam));
    return 1;
  }
  std::printf("%u-byte pieces\n", zolp::CopyPieceSize(size));
  return 0;
}
