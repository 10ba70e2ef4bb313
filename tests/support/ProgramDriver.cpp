#include "support/ProgramDriver.h"

#include "support/TestUpdateFile.h"

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

namespace testsupport
{
namespace
{
std::string unescape (const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\\' && i + 1 < text.size())
        {
            const char c = text[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        }
        else
            out += text[i];
    }
    return out;
}

// "1:Close:224,86,100,20:0"
ControlState parseControl (const std::string& value)
{
    ControlState c;
    std::vector<std::string> parts;
    std::stringstream in (value);
    for (std::string part; std::getline (in, part, ':');)
        parts.push_back (part);
    if (parts.size() < 4)
        return c;
    c.visible = parts[0] == "1";
    c.caption = parts[1];
    std::sscanf (parts[2].c_str(), "%d,%d,%d,%d", &c.x, &c.y, &c.width, &c.height);
    c.focused = parts[3] == "1";
    return c;
}

// The value of "key=" in line, up to the next " key=" (the text runs to the end).
std::string field (const std::string& line, const std::string& key, const std::string& next)
{
    const auto start = line.find (key + "=");
    if (start == std::string::npos)
        return {};
    const auto from = start + key.size() + 1;
    const auto end = next.empty() ? std::string::npos : line.find (" " + next + "=", from);
    return line.substr (from, end == std::string::npos ? std::string::npos : end - from);
}
} // namespace

std::optional<ScreenState> parseScreenReport (const std::string& line)
{
    if (line.rfind ("status=", 0) != 0)
        return std::nullopt;
    ScreenState s;
    s.status = static_cast<int32_t> (std::stol (field (line, "status", "ok"), nullptr, 16));
    s.ok = parseControl (field (line, "ok", "cancel"));
    s.cancel = parseControl (field (line, "cancel", "bar"));
    s.bar = parseControl (field (line, "bar", "progress"));
    s.progress = std::stod (field (line, "progress", "title"));
    s.title = unescape (field (line, "title", "text"));
    s.text = unescape (field (line, "text", ""));
    return s;
}

ProgramDriver::ProgramDriver()
{
    appFolder = folder.child ("app");
    vhidFolder = folder.child ("vhid");
    appFolder.createDirectory();
    vhidFolder.createDirectory();
    reportFile = folder.child ("screen.txt");
    flashFile = folder.child ("flash.bin");
    updateFile = appFolder.getChildFile ("mvkqx5__v105.bin");
    x.internWindowManagerAtoms();
}

bool ProgramDriver::writeUpdateFile (const juce::String& version, uint32_t dateWord)
{
    return writeTestUpdateFile (updateFile, version, dateWord);
}

bool ProgramDriver::startDevice (const std::vector<std::string>& args)
{
    auto all = args;
    all.insert (all.end(), { "--flash-out", flashFile.getFullPathName().toStdString() });
    return devsim.start (vhidFolder, all);
}

bool ProgramDriver::startProgram()
{
    // The program looks for its update file beside itself, so each test runs its own copy.
    const auto copy = appFolder.getChildFile ("marvek-nubla-updater");
    if (! juce::File (NUBLA_APP_PROBE_PATH).copyFileTo (copy) || ! copy.setExecutePermission (true))
        return false;
    if (! program.start (copy.getFullPathName().toStdString(), {},
                         { { "NUBLA_VHID_DIR", vhidFolder.getFullPathName().toStdString() },
                           { "NUBLA_SCREEN_REPORT", reportFile.getFullPathName().toStdString() } },
                         folder.child ("program.log").getFullPathName().toStdString()))
        return false;
    window = x.waitForWindowOf (program.pid(), 10000).value_or (0);
    return window != 0;
}

std::optional<ScreenState> ProgramDriver::lastScreen()
{
    juce::StringArray lines;
    reportFile.readLines (lines);
    lines.removeEmptyStrings();
    if (lines.isEmpty())
        return std::nullopt;
    return parseScreenReport (lines[lines.size() - 1].toStdString());
}

std::vector<int32_t> ProgramDriver::statusesShown()
{
    std::vector<int32_t> shown;
    juce::StringArray lines;
    reportFile.readLines (lines);
    for (const auto& line : lines)
        if (auto s = parseScreenReport (line.toStdString()); s && (shown.empty() || shown.back() != s->status))
            shown.push_back (s->status);
    return shown;
}

std::optional<ScreenState> ProgramDriver::waitForScreen (const std::function<bool (const ScreenState&)>& condition,
                                                         int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    std::optional<ScreenState> last;
    for (;;)
    {
        last = lastScreen();
        if (last && condition (*last))
            return last;
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }
}

std::optional<ScreenState> ProgramDriver::waitForStatus (int32_t status, int timeoutMs)
{
    return waitForScreen ([status] (const ScreenState& s) { return s.status == status; }, timeoutMs);
}

bool ProgramDriver::click (const ControlState& control)
{
    if (! control.visible || window == 0)
        return false;
    const auto result = runProgram ("/usr/bin/xdotool", { "mousemove", "--window", std::to_string (window),
                                                           std::to_string (control.x + control.width / 2),
                                                           std::to_string (control.y + control.height / 2),
                                                           "click", "1" });
    if (result.exitCode != 0)
        std::fprintf (stderr, "xdotool failed (%d): %s\n", result.exitCode, result.output.c_str());
    return result.exitCode == 0;
}

bool ProgramDriver::closeWindow()
{
    if (window == 0)
        return false;
    x.sendDeleteWindow (window);
    return true;
}
} // namespace testsupport
