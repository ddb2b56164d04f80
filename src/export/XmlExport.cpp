#include "export/XmlExport.h"

#include "export/ExportWalk.h"
#include "support/TextCodec.h"
#include "support/XmlDocument.h"

#include <array>
#include <charconv>
#include <string_view>

namespace ostero::exporting {

using report::TTreeNode;

namespace {

// The bytes EncodeXmlExportText keeps as they are.
constexpr auto kPlainByte = [] {
    std::array<bool, 256> plain{};
    for (int b = 0x20; b < 256; ++b)
        plain[b] = (b < 0x80 || b > 0x9F) && b != '&' && b != '<' && b != '>' && b != '"';
    return plain;
}();

// Appends `text` as EncodeXmlExportText gives it; runs of bytes that stay as they are go in
// whole.
void AppendXmlExportText(std::string& out, std::string_view text) {
    std::size_t plain = 0; // start of the run of bytes that stay as they are
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (kPlainByte[byte])
            continue;
        out.append(text.data() + plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            if (byte < 0x20) {
                out += '?';
            } else {
                out += "&#";
                out += std::to_string(static_cast<uint32_t>(support::AnsiCharToUnicode(byte)));
                out += ';';
            }
        }
    }
    out.append(text.data() + plain, text.size() - plain);
}

// Writes the elements below the root element straight into the text as the walk comes to
// them. The texts go through the export's own encoding, which does more than the document's.
class TXmlWriter final : public TExportVisitor {
public:
    explicit TXmlWriter(support::TXmlStreamWriter& out) : Out_(out) {}

    void Enter(const TTreeNode& node, int) override {
        Out_.OpenElement("Node");
        Out_.AddAttribute("Name", node.Text(), AppendXmlExportText);
        char digits[16];
        const auto id = std::to_chars(digits, digits + sizeof digits, node.ImageCode());
        Out_.AddAttribute("ID", std::string_view(digits, static_cast<size_t>(id.ptr - digits)));
        if (const report::TTreeListObj* prop = node.Property(); prop && !prop->Value.empty())
            Out_.SetAsText(prop->Value, AppendXmlExportText);
    }
    void Leave(const TTreeNode&, int) override { Out_.CloseElement(); }

private:
    support::TXmlStreamWriter& Out_;
};

// The whole document; the writer finishes it.
void WriteDocument(const report::TReportTree& tree, bool keepPrivate,
                   support::TXmlStreamWriter& out) {
    out.OpenElement("Taveric_Report");
    TXmlWriter writer(out);
    TExportWalkRule rule;
    rule.KeepPrivate = keepPrivate;
    rule.ChartLines = false;
    WalkExport(tree, rule, writer);
    out.CloseElement();
}

} // namespace

std::string EncodeXmlExportText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    AppendXmlExportText(out, text);
    return out;
}

std::string RenderXml(const report::TReportTree& tree, bool keepPrivate) {
    support::TXmlStreamWriter out;
    WriteDocument(tree, keepPrivate, out);
    return out.Finish();
}

bool SaveXml(const report::TReportTree& tree, const std::string& fileName, bool keepPrivate,
             std::string* error) {
    try {
        // Written as the walk goes; the file is replaced only when the whole text is there.
        support::TXmlStreamWriter out(fileName);
        WriteDocument(tree, keepPrivate, out);
        out.Finish();
        return true;
    } catch (const TExportError& e) {
        if (error != nullptr)
            *error = e.what();
    } catch (const support::XmlError& e) {
        if (error != nullptr)
            *error = e.Message();
    }
    return false;
}

} // namespace ostero::exporting
