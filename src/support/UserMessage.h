#pragma once
// Messages for the user, raised by the cores and shown by the UI. The format is the English
// text of the string table ("Cannot load library '%s'"); the UI translates it before the
// arguments are put in, so the cores stay free of the toolkit.

#include <string>
#include <utility>
#include <vector>

namespace ostero::support {

struct TUserMessage {
    std::string Format;            // English text with "%s" (or "%d") placeholders
    std::vector<std::string> Args; // replace the placeholders in order

    // The format with the arguments put in (for logs, tests and the English UI).
    std::string Text() const { return FormatMessage(Format, Args); }

    static std::string FormatMessage(const std::string& format,
                                     const std::vector<std::string>& args) {
        std::string out;
        size_t next = 0;
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] == '%' && i + 1 < format.size() &&
                (format[i + 1] == 's' || format[i + 1] == 'd')) {
                if (next < args.size())
                    out += args[next++];
                ++i;
            } else {
                out += format[i];
            }
        }
        return out;
    }
};

// Where the cores send what the user must see: an error box (error icon, the application
// title as caption) or an information box (caption "Information").
class TMessageSink {
public:
    virtual ~TMessageSink() = default;
    virtual void ShowError(const TUserMessage& message) = 0;
    virtual void ShowInformation(const TUserMessage& message) = 0;
    // A question box with Yes and No; true for Yes. A sink that cannot ask answers No, which
    // every caller treats as the cautious choice.
    virtual bool AskYesNo(const TUserMessage& message) {
        ShowInformation(message);
        return false;
    }
};

} // namespace ostero::support
