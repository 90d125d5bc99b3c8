#include "partshell/command_table.h"

#include "common/text.h"

#include <array>
#include <cctype>

#include "partshell/command_rows.h"

namespace partshell {
namespace {

// In HELP's order; QUIT and "?" come last.
constexpr std::array<const CommandRow*, 50> kCommands{
    &kAppendFileRow, &kAttribRow,      &kCallRow,     &kCatRow,         &kCdRow,        &kCopyRow,
    &kCopyHd2SysRow, &kCopySys2HdRow,  &kCopyHd2HdRow, &kCopySys2SysRow, &kDelRow,       &kDelayRow,
    &kDeleteRow,     &kDirRow,         &kDumpRow,     &kDumpcRow,       &kEchoRow,      &kEchoDotRow,
    &kErrorRow,      &kErrorLevelRow,  &kExitRow,     &kExitAllRow,     &kFreeRow,      &kGotoRow,
    &kHelpRow,       &kIfRow,          &kIfExistRow,  &kIfExistsRow,    &kLogRow,       &kLogAllRow,
    &kMbrRow,        &kMdRow,          &kMkdirRow,    &kMoreRow,        &kPauseRow,     &kRdRow,
    &kRenRow,        &kRenameRow,      &kRmdirRow,    &kSetRow,         &kShowBootRow,  &kShowErrorsRow,
    &kSleepRow,      &kTouchRow,       &kTypeRow,     &kVerboseRow,     &kVerRow,       &kVersionRow,
    &kQuitRow,       &kQuestionMarkRow,
};

}  // namespace

std::span<const CommandRow* const> CommandTable() { return kCommands; }

const CommandRow* FindCommand(std::string_view word) {
  for (const CommandRow* row : kCommands) {
    if (common::EqualsIgnoreCase(row->name, word)) return row;
  }
  return nullptr;
}

}  // namespace partshell
