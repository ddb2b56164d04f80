#include "export/XmlExport.h"

#include "export/ExportWalk.h"
#include "support/TextCodec.h"
#include "support/XmlDocument.h"

#include <array>
#include <charconv>
#include <memory>
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

// Builds the elements below the root element. The XML document's own setters escape only the
// four entities, so the texts go in through its raw forms (the stored value and the attribute
// as written). Each attribute is made in place in one piece: a report has many nodes.
class TXmlWriter final : public TExportVisitor {
public:
    explicit TXmlWriter(support::XmlNodeList& list) : List_(list) {}

    void Enter(const TTreeNode& node, int) override {
        support::XmlNode* element = List_.OpenElement("Node");
        std::vector<std::string>& attributes = element->Attributes();
        attributes.reserve(2);
        std::string& name = attributes.emplace_back();
        name.reserve(node.Text().size() + 8);
        name += "Name=\"";
        AppendXmlExportText(name, node.Text());
        name += '"';
        char digits[16];
        const auto id = std::to_chars(digits, digits + sizeof digits, node.ImageCode());
        std::string& idAttribute = attributes.emplace_back("ID=\"");
        idAttribute.append(digits, id.ptr);
        idAttribute += '"';
        if (const report::TTreeListObj* prop = node.Property(); prop && !prop->Value.empty()) {
            std::string value;
            value.reserve(prop->Value.size());
            AppendXmlExportText(value, prop->Value);
            element->SetValue(std::move(value));
        }
    }
    void Leave(const TTreeNode&, int) override { List_.CloseElement(); }

private:
    support::XmlNodeList& List_;
};

void BuildDocument(const report::TReportTree& tree, bool keepPrivate, support::XmlDocument& doc) {
    doc.Root().OpenElement("Taveric_Report");
    TXmlWriter writer(doc.Root());
    TExportWalkRule rule;
    rule.KeepPrivate = keepPrivate;
    rule.ChartLines = false;
    WalkExport(tree, rule, writer);
    doc.Root().CloseElement();
}

} // namespace

std::string EncodeXmlExportText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    AppendXmlExportText(out, text);
    return out;
}

std::string RenderXml(const report::TReportTree& tree, bool keepPrivate) {
    support::XmlDocument doc;
    BuildDocument(tree, keepPrivate, doc);
    return doc.XmlText();
}

bool SaveXml(const report::TReportTree& tree, const std::string& fileName, bool keepPrivate,
             std::string* error) {
    try {
        support::XmlDocument doc;
        BuildDocument(tree, keepPrivate, doc);
        doc.SaveToFile(fileName);
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
