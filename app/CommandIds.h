#pragma once

// The frame's command ids. Menus, toolbar, accelerators, the list's context menu and the tray menu
// all send these.
namespace cmd {
constexpr int LoadList = 32774;
constexpr int ExportAll = 32775;
constexpr int MarkDangerous = 32777;
constexpr int TestAll = 32780;
constexpr int Stop = 32782;
constexpr int DeleteDuplicates = 32783;
constexpr int Copy = 32784;
constexpr int TestSelected = 32785;
constexpr int Delete = 32786;
constexpr int DeleteTimeout = 32787;
constexpr int DeleteDangerous = 32788;
constexpr int Paste = 32789;
constexpr int ToggleTray = 32791;
constexpr int SetActiveProxy = 32795;
constexpr int Add = 32797;
constexpr int Settings = 32803;
constexpr int ExportSelected = 32804;
constexpr int SelectAll = 32805;
constexpr int ShowMainWindow = 32806;
constexpr int QuickSwitchFirst = 32807;
constexpr int QuickSwitchLast = 32818;
constexpr int DirectConnection = 32819;
constexpr int DownloadList = 32822;
constexpr int HideToTray = 32823;
constexpr int ReverseSelection = 32824;
constexpr int Help = 32825;
constexpr int SystemCheck = 32826;
constexpr int About = 57664;
constexpr int Exit = 57665;
} // namespace cmd
