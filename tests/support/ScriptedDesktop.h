#pragma once

#include "app/FrameModel.h"
#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "platform/SystemProxy.h"

// The desktop's services for a window that no one answers: every question is answered at once and kept,
// nothing opens a dialog, the clipboard is memory and the system proxy only records.
struct ScriptedDesktop {
    platform::ScriptedMessageBox messages;
    platform::MemoryClipboard clipboard;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    platform::RecordingSystemProxy systemProxy;

    FrameModel::Services Services() { return {messages, clipboard, files, shell, systemProxy}; }
};
