#include "app/ScriptCommands.h"

#include "app/AppFolders.h"
#include "app/CommandIds.h"
#include "app/LoopFrameView.h"
#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/FolderLock.h"
#include "platform/ShellOpen.h"
#include "platform/StreamMessageBox.h"
#include "proxy/ProxyTextParser.h"
#include "settings/SavedList.h"
#include "switching/MakeSystemProxy.h"
#include "switching/SessionBus.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace {

constexpr const char* UsageTail = "\nTry 'orv --help'.\n";

std::string Text(const SessionBus::CallReply& reply, size_t i) {
    const auto* text = i < reply.m_values.size() ? std::get_if<std::string>(&reply.m_values[i]) : nullptr;
    return text != nullptr ? *text : std::string();
}

int32_t Number(const SessionBus::CallReply& reply, size_t i) {
    const auto* number = i < reply.m_values.size() ? std::get_if<int32_t>(&reply.m_values[i]) : nullptr;
    return number != nullptr ? *number : Untested;
}

SessionBus::CallReply Call(const std::string& member, const std::vector<std::string>& arguments = {},
                           std::chrono::milliseconds limit = ScriptCommands::CallLimit) {
    return SessionBus::CallMethod(ScriptCommands::ServiceName, ScriptCommands::ObjectPath,
                                  ScriptCommands::InterfaceName, member, arguments, limit);
}

// Which window answers: the one whose data folder is this one, or why none does.
std::string WindowProblem(const std::string& dataFolder) {
    const SessionBus::CallReply reply = SessionBus::CallMethod(
        ScriptCommands::ServiceName, ScriptCommands::ObjectPath, "org.freedesktop.DBus.Properties", "Get",
        {ScriptCommands::InterfaceName, "DataFolder"}, ScriptCommands::CallLimit);
    if (!reply.m_reached)
        return "the session bus cannot be reached";
    if (!reply.Ok())
        return "no window answers on the session bus (" + reply.m_errorText + ")";
    // Another copy (another data folder, another user's) has the name: it is not ours to drive.
    if (Text(reply, 0) != dataFolder)
        return "the window on the session bus uses another data folder (" + Text(reply, 0) + ")";
    return {};
}

std::string LevelText(int32_t level) {
    return level >= 1 && level <= 3 ? "level " + std::to_string(level) : level == Untested ? "untested" : "no level";
}

std::string DelayText(int32_t delay) {
    return delay >= 0 ? "delay " + std::to_string(delay) + " ms" : delay == Untested ? "not timed" : "no answer";
}

// The desktop's proxy settings as they are now, "" where there is no desktop to ask.
nlohmann::json DesktopValues(std::string& name) {
    const std::unique_ptr<platform::SystemProxy> desktop = MakeSystemProxy();
    name = desktop->Desktop();
    const auto values = name.empty() ? std::nullopt : desktop->ReadUserValues();
    if (!values)
        return nullptr;
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [key, value] : *values)
        object[key] = value;
    return object;
}

} // namespace

ScriptCommands::ScriptCommands(std::ostream& out, std::ostream& err, std::string dataFolder, std::string programFolder)
    : m_out(out), m_err(err), m_dataFolder(std::move(dataFolder)), m_programFolder(std::move(programFolder)) {}

bool ScriptCommands::Handles(const std::string& option) {
    return option == "--use" || option == "--direct" || option == "--next" || option == "--check" ||
           option == "--status";
}

std::optional<std::pair<std::string, std::string>> ScriptCommands::SplitAddress(const std::string& text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return std::pair(text.substr(0, colon), text.substr(colon + 1));
}

std::optional<ScriptCommands::Command> ScriptCommands::Parse(const std::vector<std::string>& args) {
    Command command;
    command.name = args[0].substr(2);
    if (command.name == "use") {
        if (args.size() != 2) {
            m_err << "orv: --use needs one ADDR:PORT" << UsageTail;
            return std::nullopt;
        }
        const auto parts = SplitAddress(args[1]);
        // Checked as the add dialog checks its fields, before anything is asked of a window.
        ProxyList parsed;
        if (!parts || ProxyTextParser::AddProxy(parsed, parts->first, parts->second) != 1) {
            m_err << "orv: " << FrameModel::BadProxyText << '\n';
            return std::nullopt;
        }
        command.ip = parts->first;
        command.port = parts->second;
        return command;
    }
    if (command.name == "status" && args.size() == 3 && args[1] == "--format" &&
        (args[2] == "text" || args[2] == "json")) {
        command.json = args[2] == "json";
        return command;
    }
    if (args.size() != 1) {
        m_err << "orv: " << args[0]
              << (command.name == "status" ? " takes only --format text|json" : " takes nothing more") << UsageTail;
        return std::nullopt;
    }
    return command;
}

int ScriptCommands::Run(const std::vector<std::string>& args) {
    const std::optional<Command> command = Parse(args);
    if (!command)
        return BadUsage;
    AppFolders::CreateFolders(m_dataFolder);
    // Held for the whole command: no window starts on the folder halfway through a headless switch.
    const platform::FolderLock lock(m_dataFolder);
    if (lock.GetState() == platform::FolderLock::State::HeldElsewhere)
        return Remote(*command);
    return Headless(*command);
}

bool ScriptCommands::ShowWindow(const std::string& dataFolder) {
    return WindowProblem(dataFolder).empty() && Call("Show").Ok();
}

int ScriptCommands::Remote(const Command& command) {
    if (const std::string problem = WindowProblem(m_dataFolder); !problem.empty()) {
        m_err << "orv: a window holds the data folder " << m_dataFolder << ", but " << problem << ".\n";
        return Failed;
    }
    if (command.name != "status") {
        const SessionBus::CallReply reply = command.name == "use"     ? Call("Use", {command.ip, command.port})
                                            : command.name == "check" ? Call("Check", {}, CheckLimit)
                                            : command.name == "next"  ? Call("Next")
                                                                      : Call("Direct");
        if (!reply.Ok())
            return Refused(reply);
        if (command.name == "check") {
            const auto* passed = reply.m_values.empty() ? nullptr : std::get_if<bool>(&reply.m_values.front());
            return CheckResult(passed != nullptr && *passed, Text(reply, 1));
        }
    }
    const SessionBus::CallReply reply = Call("Status");
    if (!reply.Ok())
        return Refused(reply);
    PrintStatus({Text(reply, 0), Text(reply, 1), Text(reply, 2), Number(reply, 3), Number(reply, 4)}, command.json,
                false);
    return Done;
}

int ScriptCommands::Refused(const SessionBus::CallReply& reply) {
    m_err << "orv: " << (reply.m_reached ? reply.m_errorText : std::string("the window did not answer in time"))
          << '\n';
    return reply.m_errorName == BadArgumentError ? BadUsage : Failed;
}

int ScriptCommands::CheckResult(bool passed, const std::string& text) {
    (passed ? m_out : m_err) << (passed ? "" : "orv: ") << text << '\n';
    return passed ? Done : Failed;
}

int ScriptCommands::Headless(const Command& command) {
    return command.name == "status" ? HeadlessStatus(command.json) : HeadlessFrame(command);
}

int ScriptCommands::HeadlessStatus(bool json) {
    ProxyList list;
    const SavedList::LoadResult loaded = SavedList::LoadList(m_dataFolder, list);
    if (!loaded.m_damage.empty()) {
        m_err << "orv: the saved list " << m_dataFolder << SavedList::FileName << " could not be read whole ("
              << loaded.m_damage << ").\n";
        return Failed;
    }
    PrintStatus(FrameModel::StatusOf(loaded.m_activeProxy), json, true);
    return Done;
}

int ScriptCommands::HeadlessFrame(const Command& command) {
    LoopFrameView view;
    platform::StreamMessageBox messages(m_err);
    messages.SetPrefix("orv: ");
    // Nothing here copies, opens a file dialog or a page: these stand in for the window's.
    platform::MemoryClipboard clipboard;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    const std::unique_ptr<platform::SystemProxy> desktop = MakeSystemProxy();
    FrameModel model(view, {messages, clipboard, files, shell, *desktop}, m_programFolder, m_dataFolder);
    view.m_onTimer = [&model](TimerId id) { model.OnTimer(id); };
    model.LoadSettingsAndList();
    int status = Done;
    if (command.name == "use") {
        if (const std::string refusal = model.UseProxy(command.ip, command.port); !refusal.empty()) {
            m_err << "orv: " << refusal << '\n';
            return Failed;
        }
    } else if (command.name == "next") {
        model.SwitchNext();
    } else if (command.name == "direct") {
        model.OnSwitchCommand(cmd::DirectConnection);
    } else {
        bool replied = false;
        model.CheckActiveNow([&](bool passed, const std::string& text) {
            replied = true;
            status = CheckResult(passed, text);
        });
        if (!view.Run([&] { return replied; }, LoopFrameView::Clock::now() + CheckLimit))
            status = CheckResult(false, "The check did not end in time.");
    }
    model.Firefox().WaitForSenders(FrameModel::ExitMessageLimit);
    if (const std::string problem = model.TrySaveList(); !problem.empty()) {
        m_err << "orv: the list could not be saved to " << m_dataFolder << SavedList::FileName << ": " << problem
              << ".\n";
        return Failed;
    }
    if (command.name != "check")
        PrintStatus(model.Status(), command.json, false);
    return status;
}

void ScriptCommands::PrintStatus(const FrameModel::SwitchStatus& status, bool json, bool withDesktop) {
    std::string desktopName;
    const nlohmann::json values = withDesktop ? DesktopValues(desktopName) : nlohmann::json();
    if (json) {
        nlohmann::json object = {{"mode", status.mode},
                                 {"address", status.address},
                                 {"port", status.port},
                                 {"level", status.level},
                                 {"delay_ms", status.delay}};
        if (withDesktop)
            object["desktop"] = values.is_null() ? nlohmann::json() : nlohmann::json{{desktopName, values}};
        m_out << object.dump() << '\n';
        return;
    }
    if (status.mode == "direct")
        m_out << "direct\n";
    else
        m_out << status.mode << ' ' << status.address << ':' << status.port << ", " << LevelText(status.level) << ", "
              << DelayText(status.delay) << '\n';
    if (values.is_object()) {
        m_out << "desktop (" << desktopName << "):";
        for (const auto& [key, value] : values.items())
            m_out << ' ' << key << '=' << value.get<std::string>();
        m_out << '\n';
    }
}
