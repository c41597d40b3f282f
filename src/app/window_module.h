#pragma once

// The window front end is a module of its own (capsel-window.so), so that a run without a
// window loads neither Qt Widgets nor Qt Gui nor what they pull in. main.cpp loads it only
// when a window is wanted. The module takes the core from the executable, which exports it:
// one copy of the core, its log and its Qt meta objects in the process.

#include "app/command_line.h"

namespace capsel {

/// The module's file name; main.cpp looks for it beside the executable, then in the folder
/// the installation puts it in.
inline constexpr char kWindowModuleFile[] = "capsel-window.so";
/// The name of the module's entry point below.
inline constexpr char kWindowEntryPoint[] = "capsel_run_window";

}  // namespace capsel

/// Runs capsel with its window and tray icon until the window ends the program; returns the
/// exit status. Creates the QApplication, so none may exist yet; `argc` and `argv` must outlive
/// the call.
extern "C" int capsel_run_window(const capsel::CommandLine& command_line, int& argc, char** argv);
