#include "sources/DialogLibrary.h"

#include "sources/LibraryLocator.h"

#include <array>
#include <cstring>

namespace ostero::sources {

namespace {

using TDialogText = std::array<char, OSTERO_DIALOG_TEXT_CAPACITY + 1>;

TDialogText ToBuffer(const std::string& text) {
    TDialogText buffer{};
    std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size() - 1));
    return buffer;
}

std::string FromBuffer(const TDialogText& buffer) {
    // The terminator is not trusted: a library could fill the whole buffer.
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

} // namespace

bool TDialogLibrary::Present(const std::string& programFolder) {
    return SharedLibraryPresent(kDialogLibraryName, programFolder);
}

template <typename Fn, typename Call>
int32_t TDialogLibrary::Invoke(const char* function, Call&& call) {
    TLibrary library(LocateSharedLibrary(kDialogLibraryName, ProgramFolder_));
    if (!library.Loaded()) {
        Sink_.ShowError({"Cannot load library '%s'", {kDialogLibraryName}});
        return kDialogLibraryFailed;
    }
    const auto entry = library.Entry<Fn>(function);
    if (!entry) {
        Sink_.ShowError({"Cannot get Entrypoint for function '%s' in library '%s'",
                         {function, kDialogLibraryName}});
        return kDialogLibraryFailed;
    }
    return call(entry);
}

int32_t TDialogLibrary::ShowPasswordDialog(const std::string& message, std::string* userName,
                                           std::string& password) {
    TDialogText user = ToBuffer(userName ? *userName : std::string());
    TDialogText pass = ToBuffer(password);
    const int32_t result =
        Invoke<TShowPasswordDialogFn>("ShowPasswordDialog", [&](TShowPasswordDialogFn fn) {
            return fn(Owner_, message.c_str(), userName ? user.data() : nullptr, pass.data());
        });
    if (result == kDialogLibraryFailed)
        return result;
    user.back() = '\0';
    pass.back() = '\0';
    if (userName)
        *userName = FromBuffer(user);
    password = FromBuffer(pass);
    return result;
}

int32_t TDialogLibrary::ShowIpConfigDialog(const std::string& host,
                                           const std::string& agentPassword, int32_t port,
                                           int32_t timeoutMs) {
    return Invoke<TShowIpConfigDialogFn>("ShowIpConfigDialog", [&](TShowIpConfigDialogFn fn) {
        return fn(Owner_, host.c_str(), agentPassword.c_str(), port, timeoutMs);
    });
}

int32_t TDialogLibrary::ShowSharedMemConfigDialog(const std::string& text, int32_t timeoutMs) {
    return Invoke<TShowSharedMemConfigDialogFn>(
        "ShowSharedMemConfigDialog",
        [&](TShowSharedMemConfigDialogFn fn) { return fn(Owner_, text.c_str(), timeoutMs); });
}

int32_t TDialogLibrary::ShowRegConfigDialog(const std::string& text) {
    return Invoke<TShowRegConfigDialogFn>(
        "ShowRegConfigDialog", [&](TShowRegConfigDialogFn fn) { return fn(Owner_, text.c_str()); });
}

int32_t TDialogLibrary::ShowOptionsDialog(int32_t optionValue, uint8_t flag) {
    return Invoke<TShowOptionsDialogFn>("ShowOptionsDialog", [&](TShowOptionsDialogFn fn) {
        return fn(Owner_, optionValue, flag);
    });
}

} // namespace ostero::sources
