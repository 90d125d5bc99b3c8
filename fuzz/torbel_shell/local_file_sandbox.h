// The shell target runs commands that the fuzzer writes, and several of them write
// local files wherever they are told (COPYSYS2HD, COPYHD2HD, APPENDFILE, LOG, TOUCH,
// the session log). Before the first input runs, the process moves into a mount
// namespace of its own in which every file system is read-only and takes no device
// nodes, except an empty tmpfs that becomes the current directory and the folders
// libFuzzer itself writes to (its corpus and artifact folders, made absolute here).
#pragma once

#include <string>

namespace torbel_fuzz {

// Call from LLVMFuzzerInitialize, which may rewrite the arguments before libFuzzer
// reads them. Ends the process with a message when the sandbox cannot be made
// (it needs the right to make mount namespaces, as root has): the target never runs
// without it.
void EnterLocalFileSandbox(int* argc, char*** argv);

// The empty folder each input starts in (emptied again by each call).
const std::string& FreshWorkFolder();

}  // namespace torbel_fuzz
