#include "export/XmlExport.h"

#include "export/ExportWalk.h"
#include "support/TextCodec.h"
#include "support/XmlDocument.h"

#include <memory>

namespace ostero::exporting {

using report::TTreeNode;

namespace {

// Builds the elements below the root element. The XML document's own setters escape only the
// four entities, so the texts go in through its raw forms (the stored value and the attribute
// as written).
class TXmlWriter final : public TExportVisitor {
public:
    explicit TXmlWriter(support::XmlNodeList& list) : List_(list) {}

    void Enter(const TTreeNode& node, int) override {
        support::XmlNode* element = List_.OpenElement("Node");
        element->Attributes().push_back("Name=\"" + EncodeXmlExportText(node.Text()) + "\"");
        element->Attributes().push_back("ID=\"" + std::to_string(node.ImageCode()) + "\"");
        if (const report::TTreeListObj* prop = node.Property(); prop && !prop->Value.empty())
            element->SetValue(EncodeXmlExportText(prop->Value));
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
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
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
            if (byte < 0x20)
                out += '?';
            else if (byte >= 0x80 && byte <= 0x9F)
                out += "&#" +
                       std::to_string(static_cast<uint32_t>(support::AnsiCharToUnicode(byte))) +
                       ";";
            else
                out += c;
        }
    }
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
