#include "syscheck/SystemCheck.h"

#include "syscheck/OsVersion.h"

bool SystemCheck::IsAffected(int osVersionCode) {
    return osVersionCode == OsVersion::WindowsXP || osVersionCode == OsVersion::WindowsVista;
}

std::string SystemCheck::LogMessage(int osVersionCode) {
    if (!IsAffected(osVersionCode))
        return "";
    return std::string("System check: ") +
           (osVersionCode == OsVersion::WindowsXP ? "You are using Windows XP.\r\n"
                                                  : "You are using Windows Vista.\r\n") +
           "It may only support 10 simultaneous connections!\r\n" +
           "Please download the connection limit patch here:\r\n" + SupportUrl + "\r\n";
}
