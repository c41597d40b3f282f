#pragma once

// The window front end is a module of its own (capsel-window.so), so that a run without a
// window loads neither Qt Widgets nor Qt Gui nor what they pull in. main.cpp loads it only
// when a window is wanted. The module takes the core from the executable, which exports it:
// one copy of the core, its log and its Qt meta objects in the process. It binds to that core
// by name alone, with no check of what the names mean, so main.cpp asks the module's version
// first and runs only a module of its own version.

#include "app/command_line.h"

namespace capsel {

/// The module's file name; main.cpp looks for it beside the executable, then in the folder
/// the installation puts it in.
inline constexpr char kWindowModuleFile[] = "capsel-window.so";
/// The name of the module's entry point below.
inline constexpr char kWindowEntryPoint[] = "capsel_run_window";
/// The name of the module's version function below.
inline constexpr char kWindowVersionPoint[] = "capsel_window_version";

}  // namespace capsel

/// Runs capsel with its window and tray icon until the window ends the program; returns the
/// exit status. Creates the QApplication, so none may exist yet; `argc` and `argv` must outlive
/// the call.
extern "C" int capsel_run_window(const capsel::CommandLine& command_line, int& argc, char** argv);

/// The version of the build the module comes from, as `capsel --version` gives it
/// ("1.0.0.8"); main.cpp runs the module only when it equals its own.
extern "C" const char* capsel_window_version();
