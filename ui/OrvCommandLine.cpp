#include "ui/OrvCommandLine.h"

#include <ostream>

void OrvCommandLine::PrintHelp() {
    m_out << "Usage: orv [OPTION]...\n"
             "Tarvelo keeps a list of public HTTP proxies, tests them for delay and anonymity,\n"
             "and switches the desktop and Firefox to the proxy you choose.\n"
             "\n"
             "  --help              show this help and exit\n"
             "  --version           show the version and exit\n";
}

int OrvCommandLine::Run(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help") {
        PrintHelp();
        return 0;
    }
    if (args[0] == "--version") {
        m_out << VersionText << "\n";
        return 0;
    }
    m_err << "orv: unknown option '" << args[0] << "'\nTry 'orv --help'.\n";
    return 2;
}
