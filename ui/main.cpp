#include "app/OrvCommandLine.h"
#include "platform/OpenFileLimit.h"

#ifdef ORV_WITH_WINDOW
#include "ui/CORVApp.h"
#endif

#include <iostream>

int main(int argc, char** argv) {
    // Before any test context reads it: thousands of workers need more than the usual 1024.
    platform::RaiseOpenFileLimit();
    const std::vector<std::string> args(argv + 1, argv + argc);
    OrvCommandLine commandLine(std::cout, std::cerr);
    const OrvCommandLine::Mode mode = OrvCommandLine::ModeOf(args);
    switch (mode) {
#ifdef ORV_WITH_WINDOW
    case OrvCommandLine::Mode::Window:
    case OrvCommandLine::Mode::HiddenWindow:
        if (!OrvCommandLine::HasDisplay()) {
            std::cerr << OrvCommandLine::NoDisplayText;
            return 1;
        }
        return CORVApp::RunWindow(argc, argv, mode == OrvCommandLine::Mode::HiddenWindow);
    case OrvCommandLine::Mode::Screenshot:
        return CORVApp::RunScreenshot(argc, argv, args[1]);
#endif
    default:
        return commandLine.Run(args);
    }
}
