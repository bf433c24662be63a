#pragma once

#include <windows.h>

#include <string>

namespace kivoinstaller {

// The embedded browser runtime, kept per version below the roaming
// application data, outside the install directory.
class PluginSetupHelper {
public:
    // Roaming application data + "KivoPCLive\Packages\CefSharp".
    static std::wstring CefDirectory();
    // True when "NewSetting.json" names a version whose "cfg" flag file exists.
    static bool IsCefInstalled();
    // Unpacks the runtime package into the runtime directory.
    static bool InstallCef(const std::wstring& packagePath, HANDLE cancelEvent);
};

}  // namespace kivoinstaller
