// The front end's process-wide switches, chosen by its command words at start-up.
#pragma once

namespace zolp {

struct RunOptions {
  bool verbose = false;   // "verbose": extra message boxes, verbose-only reports shown
  bool upTest = false;    // "uptest": partition commands emulated against C:\UP
  bool upDebug = false;   // "updebug": partition update keeps copies under C:\UPDEBUG
  bool debug = false;     // "debug": torbel runs with -VERBOSE, its log goes to zolp.log
  bool verify = false;    // "verify": what is written to a drive or disc is read back and compared
  char programDrive = 0;  // upper-case letter of the drive the program runs from
};

}  // namespace zolp
