#pragma once
// The program entry: interface language, first-argument dispatch, the main window.

namespace ostero::ui {

// Runs the program and answers the process exit status.
int RunProgram(int argc, char** argv);

} // namespace ostero::ui
