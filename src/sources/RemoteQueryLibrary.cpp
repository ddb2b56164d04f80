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

int32_t TRemoteQueryLibrary::WithText(int32_t result, char16_t* text, std::string& out) {
    out = text ? Utf16ToAnsi(text) : std::string();
    std::free(text);
    return result;
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

int32_t TRemoteQueryLibrary::GetRootInfos(TOobProtocol protocol, std::string& lines,
                                          const std::string& host, const std::string& user,
                                          const std::string& password) {
    lines.clear();
    int32_t error = 0;
    const auto get =
        EntryOrError<TGetRootInfosFn>(Name("Get", protocol, "RootInfos").c_str(), error);
    if (!get)
        return error;
    char16_t* text = nullptr;
    const TWide h(host), u(user), p(password);
    const bool snmp = protocol == TOobProtocol::Snmp; // SNMP takes no credentials
    const int32_t result =
        get(&text, h.c_str(), snmp ? nullptr : u.c_str(), snmp ? nullptr : p.c_str());
    return WithText(result, text, lines);
}

int32_t TRemoteQueryLibrary::GetSubInfos(TOobProtocol protocol, int32_t sessionId,
                                         int32_t rootIndex, std::string& lines,
                                         const std::string& host, const std::string& user,
                                         const std::string& password) {
    lines.clear();
    int32_t error = 0;
    const auto get = EntryOrError<TGetSubInfosFn>(Name("Get", protocol, "SubInfos").c_str(), error);
    if (!get)
        return error;
    char16_t* text = nullptr;
    const TWide h(host), u(user), p(password);
    const bool snmp = protocol == TOobProtocol::Snmp;
    const int32_t result = get(sessionId, rootIndex, &text, h.c_str(), snmp ? nullptr : u.c_str(),
                               snmp ? nullptr : p.c_str());
    return WithText(result, text, lines);
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
    lines.clear();
    int32_t error = 0;
    const auto get =
        EntryOrError<TGetPowerStateFn>(Name("", protocol, "GetPowerState").c_str(), error);
    if (!get)
        return error;
    char16_t* text = nullptr;
    const int32_t result =
        get(&text, TWide(host).c_str(), TWide(user).c_str(), TWide(password).c_str());
    return WithText(result, text, lines);
}

int32_t TRemoteQueryLibrary::RemoteControlSystem(TOobProtocol protocol, std::string& out,
                                                 int32_t command, const std::string& host,
                                                 const std::string& user,
                                                 const std::string& password) {
    out.clear();
    int32_t error = 0;
    const auto control = EntryOrError<TRemoteControlSystemFn>(
        Name("", protocol, "RemoteControlSystem").c_str(), error);
    if (!control)
        return error;
    char16_t* text = nullptr;
    const int32_t result =
        control(&text, command, TWide(host).c_str(), TWide(user).c_str(), TWide(password).c_str());
    return WithText(result, text, out);
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
    int32_t error = 0;
    const auto message =
        EntryOrError<TErrorMessageFn>(Name("", protocol, "ErrorMessage").c_str(), error);
    if (!message)
        return {};
    char16_t* text = nullptr;
    const int32_t result = message(&text);
    std::string out;
    WithText(result, text, out);
    return out;
}

std::string TRemoteQueryLibrary::WolErrorMessage() {
    int32_t error = 0;
    const auto message = EntryOrError<TErrorMessageFn>("WOLErrorMessage", error);
    if (!message)
        return {};
    char16_t* text = nullptr;
    const int32_t result = message(&text);
    std::string out;
    WithText(result, text, out);
    return out;
}

} // namespace ostero::sources
