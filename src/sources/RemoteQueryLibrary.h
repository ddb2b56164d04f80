#pragma once
// Calls into the remote-query library: text commands to a remote host's agent, and the
// out-of-band calls (Intel AMT, IPMI, SNMP, Wake-on-LAN). The library is loaded on first use
// and freed at the remote disconnect. A missing library or function answers the system's
// error number (126 or 127) as the operation's result.
//
// Texts are Windows-1252; the wide texts of the out-of-band calls are converted here.

#include "sources/LibraryLocator.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ostero::sources {

// Answer of the queries while the library is not loaded (not connected).
constexpr int32_t kQueryNotConnected = 0x15000100;
constexpr int32_t kRemoteQueryCapacity = 7999;      // RemoteQuery: 8,000-character buffer
constexpr int32_t kRemoteQueryLinesCapacity = 8000; // RemoteQueryLines: zeroed 8,001 bytes

enum class TOobProtocol { IAmt, Ipmi, Snmp };

class TRemoteQueryLibrary {
public:
    // `programFolder` (tests) replaces the running program's folder in the search.
    explicit TRemoteQueryLibrary(std::string programFolder = {})
        : ProgramFolder_(std::move(programFolder)) {}
    ~TRemoteQueryLibrary() { RemoteDisconnect(); }
    TRemoteQueryLibrary(const TRemoteQueryLibrary&) = delete;
    TRemoteQueryLibrary& operator=(const TRemoteQueryLibrary&) = delete;

    bool Loaded() const { return Library_.Loaded(); }
    // Loads the library when it is not loaded yet; false when it cannot be loaded.
    bool EnsureLoaded();
    // Whether the loaded library has the entry.
    bool HasEntry(const char* name) const { return Library_.Entry<void*>(name) != nullptr; }

    // Loads the library if needed and connects to the host's agent; 0 = connected.
    int32_t RemoteConnect(const std::string& host, int32_t port, int32_t timeoutMs);
    // Disconnects and frees the library.
    void RemoteDisconnect();
    // 0 = `answer` holds the answer; OSTERO_REMOTE_HOST_MESSAGE = it holds the host's message.
    int32_t RemoteQuery(const std::string& command, std::string& answer, int32_t timeoutMs);
    // As RemoteQuery, the answer split into lines at CR, LF or CR LF.
    int32_t RemoteQueryLines(const std::string& command, std::vector<std::string>& lines,
                             int32_t timeoutMs);
    // The library's text for one of its codes; the library is loaded just for this call.
    std::string SocketErrorMessage(int32_t code) const;

    // Out-of-band calls; `lines` receives the text the library handed back.
    int32_t PingClient(TOobProtocol protocol, const std::string& host);
    int32_t GetRootInfos(TOobProtocol protocol, std::string& lines, const std::string& host,
                         const std::string& user, const std::string& password);
    int32_t GetSubInfos(TOobProtocol protocol, int32_t sessionId, int32_t rootIndex,
                        std::string& lines, const std::string& host, const std::string& user,
                        const std::string& password);
    void RemoveSession(TOobProtocol protocol, int32_t sessionId); // iAMT and IPMI only
    int32_t GetPowerState(TOobProtocol protocol, std::string& lines, const std::string& host,
                          const std::string& user, const std::string& password);
    int32_t RemoteControlSystem(TOobProtocol protocol, std::string& text, int32_t command,
                                const std::string& host, const std::string& user,
                                const std::string& password);
    // `mac`: 12 hexadecimal digits; `port` null for the library's default. -1 = failed.
    int32_t WolPingClient(const std::string& mac, const std::string* port);
    // The last error text of iAMT or IPMI, and of Wake-on-LAN.
    std::string OobErrorMessage(TOobProtocol protocol);
    std::string WolErrorMessage();

    // Splits an answer at CR, LF or CR LF (a final line break adds no empty line).
    static std::vector<std::string> SplitLines(const std::string& text);

private:
    // The entry, loading the library first; sets `error` to 126/127 when it cannot be had.
    template <typename Fn> Fn EntryOrError(const char* name, int32_t& error);
    // Calls an entry that hands back a wide text, converts the text into `out` and frees it.
    template <typename Fn, typename Call>
    int32_t CallForText(const std::string& name, std::string& out, Call&& call);

    std::string LibraryPath() const;

    std::string ProgramFolder_;
    TLibrary Library_;
};

} // namespace ostero::sources
