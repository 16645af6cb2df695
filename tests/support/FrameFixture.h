#pragma once

#include "app/FrameModel.h"
#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "platform/SystemProxy.h"
#include "tests/support/FrameModelTestAccess.h"
#include "tests/support/RecordingFrameView.h"
#include "tests/support/TempDir.h"

#include <memory>
#include <string>
#include <vector>

// A model with scripted desktop services, its folders in a fresh temporary folder. Tests that need
// a window or a message box of their own name them.
template <class View = RecordingFrameView, class Box = platform::ScriptedMessageBox> struct BasicFrame {
    TempDir dir;
    View view;
    Box messages;
    platform::MemoryClipboard clipboard;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    platform::RecordingSystemProxy systemProxy;
    // Port 0 on both sides: nothing is sent anywhere unless a test listens.
    FirefoxChannel::Ports firefoxPorts{0, 0};
    std::unique_ptr<FrameModel> model = NewModel();

    std::unique_ptr<FrameModel> NewModel() {
        return std::make_unique<FrameModel>(view, FrameModel::Services{messages, clipboard, files, shell, systemProxy},
                                            dir.Path(), dir.Path(), firefoxPorts);
    }
    ProxyItem* Add(const std::string& address, int32_t status = StatusUnknown, int32_t anonymity = Untested) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(address);
        item->m_status = status;
        item->m_anonymity = anonymity;
        ProxyList& list = FrameModelTestAccess::List(*model);
        ProxyItem* added = list.Append(std::move(item));
        list.RenumberList();
        return added;
    }
    std::vector<std::string> Addresses() const {
        std::vector<std::string> addresses;
        for (size_t i = 0; i < model->List().GetSize(); ++i)
            addresses.push_back(model->List()[i]->ProxyAddressText());
        return addresses;
    }
    std::string Log() const { return model->Log().Text(); }
    bool PanelRefreshRequested() const {
        for (const auto& [id, period] : view.m_timers)
            if (id == TimerId::PanelRefresh && period == 0)
                return true;
        return false;
    }
};

using Frame = BasicFrame<>;
using Addresses = std::vector<std::string>;
