#pragma once

#include <string>

// The check for the systems that allow only 10 simultaneous half-open connections.
class SystemCheck {
public:
    static constexpr const char* SupportUrl = "http://forum.halvard.example/index.php?topic=2707.0";
    static constexpr const char* OkText = "You system is OK.";

    static bool IsAffected(int osVersionCode);
    // The log message for an affected system; empty otherwise.
    static std::string LogMessage(int osVersionCode);
};
