// Loads arbitrary bytes as an XML document, reads what it found through the lookups, writes it
// and reads the written text again. Errors must come as XmlError, never as a crash or a hang.
#include "support/XmlDocument.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using ostero::support::XmlDocument;
using ostero::support::XmlError;
using ostero::support::XmlNode;
using ostero::support::XmlNodeList;

namespace {

// Walks the first few levels as a reader of a device list would.
void ReadEverything(const XmlNodeList& list, int depth) {
    if (depth > 8)
        return;
    for (int i = 0; i < list.Count() && i < 64; ++i) {
        const XmlNode& node = *list.Item(i);
        if (list.NodeByName(node.Name()) == nullptr)
            std::abort();
        list.TextByName(node.Name());
        try {
            node.AsInteger();
        } catch (const XmlError&) {
        }
        ReadEverything(node.Children(), depth + 1);
    }
}

std::string WriteOrEmpty(XmlDocument& doc) {
    try {
        return doc.XmlText();
    } catch (const XmlError&) {
        return {};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    XmlDocument doc;
    try {
        doc.LoadFromStream(bytes);
    } catch (const XmlError&) {
        // The nodes built so far stay and must be usable.
    }
    ReadEverything(doc.Root(), 0);

    doc.SetAutoIndent((size & 1) != 0);
    const std::string written = WriteOrEmpty(doc);
    if (doc.Root().Count() > 0 && written.empty())
        return 0; // a limit was hit
    if (doc.Root().Count() == 0 && !written.empty())
        std::abort();

    XmlDocument again;
    try {
        again.ParseXml(written);
    } catch (const XmlError&) {
    }
    ReadEverything(again.Root(), 0);
    WriteOrEmpty(again);
    return 0;
}
