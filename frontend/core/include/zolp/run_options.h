// The front end's process-wide switches, chosen by its command words at start-up.
#pragma once

namespace zolp {

struct RunOptions {
  bool verbose = false;   // "verbose": extra message boxes, verbose-only reports shown
  bool upTest = false;    // "uptest": partition commands emulated against C:\UP
  bool upDebug = false;   // "updebug": partition update keeps copies under C:\UPDEBUG
  bool debug = false;     // "debug": torbel runs with -VERBOSE, its log goes to zolp.log
  // What is written to a drive, diskette or disc is read back and compared,
  // unless the command word "noverify" was given.
  bool verify = true;
  char programDrive = 0;  // upper-case letter of the drive the program runs from
};

}  // namespace zolp
