#pragma once

#include <string>

// Quillet's start: the dialog, modal, as the main window; the program ends when it closes.
class CQuilletApp {
public:
    // The arguments after the program's name, joined by spaces: the text the switches are looked for in.
    // The program's own path is left out, since a Linux path may itself contain "/install".
    static std::string CommandLine(int argc, char** argv);
    // The folder of the program's own file with a trailing '/'; $ORV_PROGRAM_DIR overrides it.
    static std::string ProgramFolder();

    // Runs the dialog; the result is the program's exit code.
    int Run(int argc, char** argv);
};
