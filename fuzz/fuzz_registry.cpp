// The registry file reader on arbitrary bytes: it must never crash, and what it writes back
// must read back the same (a rewrite loses nothing and changes nothing further).

#include "support/platform/RegistryFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using ostero::platform::TRegistryFile;

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Serialise, re-read and compare: the second text must equal the first.
void CheckRoundTrip(const TRegistryFile& file) {
    const std::string text = file.Serialize();
    TRegistryFile again;
    Check(again.Parse(text).Ok());
    Check(again == file);
    Check(again.Serialize() == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TRegistryFile file;
    file.Parse(input);
    CheckRoundTrip(file);

    // Every lookup on what was read, then changes of the kinds the store makes.
    for (const auto& key : file.Keys()) {
        Check(file.KeyExists(key.Path));
        file.SubKeyNames(key.Path);
        for (const std::string& name : file.ValueNames(key.Path))
            Check(file.FindValue(key.Path, name) != nullptr);
    }
    if (!file.Keys().empty()) {
        const std::string first = file.Keys().front().Path;
        const std::string last = file.Keys().back().Path;
        file.SetString(first, input.substr(0, 16), input.substr(size / 2));
        file.SetDword(last + "\\Sub", "n", static_cast<uint32_t>(size));
        file.DeleteKey(first);
        CheckRoundTrip(file);
    }
    return 0;
}
