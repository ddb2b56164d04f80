#pragma once
// Calls into the dialog library: the password prompt and the configuration dialogs. The library
// is loaded for each call and freed right after it. When it or the function is missing the
// user is told so through the message sink and the call answers kDialogLibraryFailed.

#include "sources/DialogLibraryApi.h"
#include "support/UserMessage.h"

#include <cstdint>
#include <string>
#include <utility>

namespace ostero::sources {

constexpr int32_t kDialogLibraryFailed = -2;

class TDialogLibrary {
public:
    // `owner` is handed to the dialogs as their owner window (may be null); `programFolder`
    // (tests) replaces the running program's folder in the search.
    explicit TDialogLibrary(support::TMessageSink& sink, void* owner = nullptr,
                            std::string programFolder = {})
        : Sink_(sink), Owner_(owner), ProgramFolder_(std::move(programFolder)) {}

    // The presence test behind the options button: the "Shared" folder rule, then PATH.
    static bool Present(const std::string& programFolder = {});

    // 1 = OK. Texts are Windows-1252. With `userName` null only the password is asked for.
    // The buffers keep at most 255 characters of each text.
    int32_t ShowPasswordDialog(const std::string& message, std::string* userName,
                               std::string& password);
    int32_t ShowIpConfigDialog(const std::string& host, const std::string& agentPassword,
                               int32_t port, int32_t timeoutMs);
    int32_t ShowSharedMemConfigDialog(const std::string& text, int32_t timeoutMs);
    int32_t ShowRegConfigDialog(const std::string& text);
    // 1 = the settings changed.
    int32_t ShowOptionsDialog(int32_t optionValue, uint8_t flag);

private:
    template <typename Fn, typename Call> int32_t Invoke(const char* function, Call&& call);

    support::TMessageSink& Sink_;
    void* Owner_;
    std::string ProgramFolder_;
};

} // namespace ostero::sources
