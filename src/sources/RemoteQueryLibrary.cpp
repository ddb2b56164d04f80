#include "sources/RemoteQueryLibrary.h"

#include "sources/RemoteQueryApi.h"
#include "support/TextCodec.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace ostero::sources {

using platform::kErrorModNotFound;
using platform::kErrorProcNotFound;
using support::AnsiToUtf16;
using support::Utf16ToAnsi;

namespace {

const char* ProtocolName(TOobProtocol protocol) {
    switch (protocol) {
    case TOobProtocol::IAmt:
        return "IAMT";
    case TOobProtocol::Ipmi:
        return "IPMI";
    case TOobProtocol::Snmp:
        return "SNMP";
    }
    return "";
}

// Builds the library's entry name for a protocol: "Get" + "IAMT" + "RootInfos" and the like.
std::string Name(const char* prefix, TOobProtocol protocol, const char* suffix) {
    return std::string(prefix) + ProtocolName(protocol) + suffix;
}

// Zero-terminated UTF-16 copies of the arguments, alive for the call.
struct TWide {
    explicit TWide(const std::string& text) : Text(AnsiToUtf16(text)) {}
    const char16_t* c_str() const { return Text.c_str(); }
    std::u16string Text;
};

} // namespace

std::string TRemoteQueryLibrary::LibraryPath() const {
    const std::string own = FindInProgramFolder(kRemoteQueryLibraryName, ProgramFolder_);
    return own.empty() ? kRemoteQueryLibraryName : own;
}

bool TRemoteQueryLibrary::EnsureLoaded() {
    return Library_.Loaded() || Library_.Load(LibraryPath());
}

template <typename Fn> Fn TRemoteQueryLibrary::EntryOrError(const char* name, int32_t& error) {
    if (!EnsureLoaded()) {
        error = kErrorModNotFound;
        return nullptr;
    }
    const auto entry = Library_.Entry<Fn>(name);
    if (!entry)
        error = kErrorProcNotFound;
    return entry;
}

int32_t TRemoteQueryLibrary::RemoteConnect(const std::string& host, int32_t port,
                                           int32_t timeoutMs) {
    int32_t error = 0;
    const auto connect = EntryOrError<TSocketConnectServerFn>("SocketConnectServer", error);
    return connect ? connect(host.c_str(), port, timeoutMs) : error;
}

void TRemoteQueryLibrary::RemoteDisconnect() {
    if (!Library_.Loaded())
        return;
    if (const auto disconnect = Library_.Entry<TSocketDisconnectServerFn>("SocketDisconnectServer"))
        disconnect();
    Library_.Free();
}

int32_t TRemoteQueryLibrary::RemoteQuery(const std::string& command, std::string& answer,
                                         int32_t timeoutMs) {
    answer.clear();
    if (!Library_.Loaded())
        return kQueryNotConnected;
    const auto query = Library_.Entry<TSocketQueryServerFn>("SocketQueryServer");
    if (!query)
        return kErrorProcNotFound;
    std::array<char, kRemoteQueryCapacity + 1> buffer{};
    const int32_t result = query(command.c_str(), buffer.data(), kRemoteQueryCapacity, timeoutMs);
    buffer.back() = '\0';
    answer.assign(buffer.data());
    return result;
}

int32_t TRemoteQueryLibrary::RemoteQueryLines(const std::string& command,
                                              std::vector<std::string>& lines, int32_t timeoutMs) {
    lines.clear();
    if (!Library_.Loaded())
        return kQueryNotConnected;
    const auto query = Library_.Entry<TSocketQueryServerFn>("SocketQueryServer");
    if (!query)
        return kErrorProcNotFound;
    std::array<char, kRemoteQueryLinesCapacity + 1> buffer{};
    const int32_t result =
        query(command.c_str(), buffer.data(), kRemoteQueryLinesCapacity, timeoutMs);
    buffer.back() = '\0';
    lines = SplitLines(buffer.data());
    return result;
}

std::string TRemoteQueryLibrary::SocketErrorMessage(int32_t code) const {
    TLibrary library(LibraryPath());
    const auto message = library.Entry<TSocketErrorMessageFn>("SocketErrorMessage");
    if (!message)
        return {};
    std::array<char, 256> buffer{};
    message(code, buffer.data(), 255);
    buffer.back() = '\0';
    return buffer.data();
}

std::vector<std::string> TRemoteQueryLibrary::SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

int32_t TRemoteQueryLibrary::PingClient(TOobProtocol protocol, const std::string& host) {
    int32_t error = 0;
    const auto ping = EntryOrError<TPingClientFn>(Name("", protocol, "PingClient").c_str(), error);
    return ping ? ping(TWide(host).c_str()) : error;
}

template <typename Fn, typename Call>
int32_t TRemoteQueryLibrary::CallForText(const std::string& name, std::string& out, Call&& call) {
    out.clear();
    int32_t error = 0;
    const auto entry = EntryOrError<Fn>(name.c_str(), error);
    if (!entry)
        return error;
    char16_t* text = nullptr;
    const int32_t result = call(entry, &text);
    // The library allocated the text; it is ours to release.
    out = text ? Utf16ToAnsi(text) : std::string();
    std::free(text);
    return result;
}

namespace {

// The wide host and credentials of one out-of-band call; SNMP passes no credentials.
struct TOobTarget {
    TOobTarget(TOobProtocol protocol, const std::string& host, const std::string& user,
               const std::string& password)
        : Host(host), User(user), Password(password), Anonymous(protocol == TOobProtocol::Snmp) {}
    const char16_t* host() const { return Host.c_str(); }
    const char16_t* user() const { return Anonymous ? nullptr : User.c_str(); }
    const char16_t* password() const { return Anonymous ? nullptr : Password.c_str(); }
    TWide Host, User, Password;
    bool Anonymous;
};

} // namespace

int32_t TRemoteQueryLibrary::GetRootInfos(TOobProtocol protocol, std::string& lines,
                                          const std::string& host, const std::string& user,
                                          const std::string& password) {
    const TOobTarget target(protocol, host, user, password);
    return CallForText<TGetRootInfosFn>(
        Name("Get", protocol, "RootInfos"), lines, [&](TGetRootInfosFn get, char16_t** text) {
            return get(text, target.host(), target.user(), target.password());
        });
}

int32_t TRemoteQueryLibrary::GetSubInfos(TOobProtocol protocol, int32_t sessionId,
                                         int32_t rootIndex, std::string& lines,
                                         const std::string& host, const std::string& user,
                                         const std::string& password) {
    const TOobTarget target(protocol, host, user, password);
    return CallForText<TGetSubInfosFn>(
        Name("Get", protocol, "SubInfos"), lines, [&](TGetSubInfosFn get, char16_t** text) {
            return get(sessionId, rootIndex, text, target.host(), target.user(), target.password());
        });
}

void TRemoteQueryLibrary::RemoveSession(TOobProtocol protocol, int32_t sessionId) {
    if (protocol == TOobProtocol::Snmp)
        return;
    int32_t error = 0;
    if (const auto remove =
            EntryOrError<TRemoveSessionFn>(Name("Remove", protocol, "SID").c_str(), error))
        remove(sessionId);
}

int32_t TRemoteQueryLibrary::GetPowerState(TOobProtocol protocol, std::string& lines,
                                           const std::string& host, const std::string& user,
                                           const std::string& password) {
    const TOobTarget target(protocol, host, user, password);
    return CallForText<TGetPowerStateFn>(
        Name("", protocol, "GetPowerState"), lines, [&](TGetPowerStateFn get, char16_t** text) {
            return get(text, target.host(), target.user(), target.password());
        });
}

int32_t TRemoteQueryLibrary::RemoteControlSystem(TOobProtocol protocol, std::string& out,
                                                 int32_t command, const std::string& host,
                                                 const std::string& user,
                                                 const std::string& password) {
    const TOobTarget target(protocol, host, user, password);
    return CallForText<TRemoteControlSystemFn>(
        Name("", protocol, "RemoteControlSystem"), out,
        [&](TRemoteControlSystemFn control, char16_t** text) {
            return control(text, command, target.host(), target.user(), target.password());
        });
}

int32_t TRemoteQueryLibrary::WolPingClient(const std::string& mac, const std::string* port) {
    int32_t error = 0;
    const auto wol = EntryOrError<TWolPingClientFn>("WOLPingClient", error);
    if (!wol)
        return error;
    const TWide portText(port ? *port : std::string());
    return wol(TWide(mac).c_str(), port ? portText.c_str() : nullptr);
}

std::string TRemoteQueryLibrary::OobErrorMessage(TOobProtocol protocol) {
    std::string out;
    CallForText<TErrorMessageFn>(
        Name("", protocol, "ErrorMessage"), out,
        [](TErrorMessageFn message, char16_t** text) { return message(text); });
    return out;
}

std::string TRemoteQueryLibrary::WolErrorMessage() {
    std::string out;
    CallForText<TErrorMessageFn>(
        "WOLErrorMessage", out,
        [](TErrorMessageFn message, char16_t** text) { return message(text); });
    return out;
}

} // namespace ostero::sources
