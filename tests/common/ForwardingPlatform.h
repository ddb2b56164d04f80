#pragma once
// The system's platform with every call passed on: a test derives from it and replaces the few
// calls it needs to provoke what a real system cannot be made to show.

#include "support/platform/Platform.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ostero::testing {

class TForwardingPlatform : public platform::TPlatform {
public:
    explicit TForwardingPlatform(platform::TPlatform& real) : Real_(real) {}

    bool RegKeyExists(platform::TRegistryHive h, const std::string& k) override {
        return Real_.RegKeyExists(h, k);
    }
    std::optional<std::string> RegReadString(platform::TRegistryHive h, const std::string& k,
                                             const std::string& n) override {
        return Real_.RegReadString(h, k, n);
    }
    std::vector<std::string> RegValueNames(platform::TRegistryHive h,
                                           const std::string& k) override {
        return Real_.RegValueNames(h, k);
    }
    std::vector<std::string> RegSubKeyNames(platform::TRegistryHive h,
                                            const std::string& k) override {
        return Real_.RegSubKeyNames(h, k);
    }
    bool RegCreateKey(platform::TRegistryHive h, const std::string& k) override {
        return Real_.RegCreateKey(h, k);
    }
    bool RegWriteString(platform::TRegistryHive h, const std::string& k, const std::string& n,
                        const std::string& v) override {
        return Real_.RegWriteString(h, k, n, v);
    }
    bool RegWriteDword(platform::TRegistryHive h, const std::string& k, const std::string& n,
                       uint32_t v) override {
        return Real_.RegWriteDword(h, k, n, v);
    }
    bool RegDeleteValue(platform::TRegistryHive h, const std::string& k,
                        const std::string& n) override {
        return Real_.RegDeleteValue(h, k, n);
    }
    bool RegDeleteKey(platform::TRegistryHive h, const std::string& k) override {
        return Real_.RegDeleteKey(h, k);
    }
    platform::TLibraryHandle LoadLibrary(const std::string& p) override {
        return Real_.LoadLibrary(p);
    }
    void* GetProcAddress(platform::TLibraryHandle l, const char* n) override {
        return Real_.GetProcAddress(l, n);
    }
    void FreeLibrary(platform::TLibraryHandle l) override { Real_.FreeLibrary(l); }
    int LastLibraryError() override { return Real_.LastLibraryError(); }
    std::string LastLibraryErrorDetail() override { return Real_.LastLibraryErrorDetail(); }
    std::string FindFileNoCase(const std::string& f, const std::string& n) override {
        return Real_.FindFileNoCase(f, n);
    }
    std::string ProgramPath() override { return Real_.ProgramPath(); }
    std::string SpecialFolder(int n) override { return Real_.SpecialFolder(n); }
    std::string TempFolder() override { return Real_.TempFolder(); }
    std::string ComputerName() override { return Real_.ComputerName(); }
    bool IsAdministrator() override { return Real_.IsAdministrator(); }
    bool IsWow64() override { return Real_.IsWow64(); }
    std::string SystemErrorText(int c) override { return Real_.SystemErrorText(c); }
    std::string OsVersionFallbackText() override { return Real_.OsVersionFallbackText(); }
    bool ShellExecute(const std::string& t) override { return Real_.ShellExecute(t); }
    bool IsNetworkPath(const std::string& p) override { return Real_.IsNetworkPath(p); }
    bool ReadVersionSection(const std::string& p, std::map<std::string, std::string>& v) override {
        return Real_.ReadVersionSection(p, v);
    }
    platform::TServiceState ServiceState(const std::string& n) override {
        return Real_.ServiceState(n);
    }
    bool StartService(const std::string& n) override { return Real_.StartService(n); }

protected:
    platform::TPlatform& Real_;
};

// Records what the program hands to the desktop to open, instead of starting a program.
class TOpenRecorder : public TForwardingPlatform {
public:
    using TForwardingPlatform::TForwardingPlatform;
    bool ShellExecute(const std::string& target) override {
        Opened.push_back(target);
        return true;
    }
    std::vector<std::string> Opened;
};

} // namespace ostero::testing
