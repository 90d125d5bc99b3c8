// The rows of the command table, each defined beside its handler: the file
// commands in commands/, the control commands in shell/.
#pragma once

#include "partshell/command_row.h"

namespace partshell {

// commands/cmd_append.cpp
extern const CommandRow kAppendFileRow, kLogRow, kTouchRow;
// commands/cmd_copy.cpp
extern const CommandRow kCopyRow, kCopyHd2SysRow, kCopySys2HdRow, kCopyHd2HdRow, kCopySys2SysRow;
// commands/cmd_directory.cpp
extern const CommandRow kAttribRow, kCdRow, kDelRow, kDeleteRow, kDirRow, kFreeRow, kIfExistRow, kIfExistsRow,
    kMdRow, kMkdirRow, kRdRow, kRenRow, kRenameRow, kRmdirRow;
// commands/cmd_display.cpp
extern const CommandRow kCatRow, kDelayRow, kDumpRow, kDumpcRow, kErrorRow, kMbrRow, kMoreRow, kPauseRow,
    kShowBootRow, kShowErrorsRow, kSleepRow, kTypeRow;
// shell/batch.cpp
extern const CommandRow kCallRow, kGotoRow, kExitAllRow;
// shell/control_commands.cpp
extern const CommandRow kEchoRow, kEchoDotRow, kErrorLevelRow, kIfRow, kLogAllRow, kSetRow, kVerboseRow;
// shell/dispatch.cpp
extern const CommandRow kExitRow, kQuitRow;
// shell/help.cpp
extern const CommandRow kHelpRow, kQuestionMarkRow;
// shell/version_display.cpp
extern const CommandRow kVerRow, kVersionRow;

}  // namespace partshell
