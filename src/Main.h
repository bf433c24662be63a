#pragma once

#include <string>

namespace kivoinstaller {

struct CommandLineArgs {
    bool silent = false;
    bool verbose = false;
    bool dev = false;
    std::wstring channel;
};

// Switches are compared without case on whole arguments; unknown ones are ignored.
CommandLineArgs ParseCommandLine(int argc, const wchar_t* const* argv);

struct EmbeddedConfig;

// What a run uses: the command line's channel replaces a configured one when
// non-empty; silent is either source's; dev comes from the command line only.
struct EffectiveSettings {
    std::wstring channel;
    bool silent = false;
    bool dev = false;
};
EffectiveSettings ResolveSettings(const CommandLineArgs& args, const EmbeddedConfig& config);

// Exit codes of the process.
enum ExitCode : int {
    kExitOk = 0,
    kExitInitFailed = 1,
    kExitAlreadyRunning = 2,
    // Silent installations report their outcome, so deployment tools can tell failure from success.
    kExitDownloadFailed = 3,
    kExitInstallFailed = 4,
    kExitNotInstalled = 5,
};

// Exit code of a silent installation that ended in step (see InstallStep).
int SilentExitCode(int step);

}  // namespace kivoinstaller
