#include "export/JsonExport.h"

#include "export/ExportWalk.h"
#include "support/TextBuffer.h"
#include "support/TextCodec.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace ostero::exporting {

using report::TTreeNode;

namespace {

using support::TTextBuffer;

constexpr int kJsonVersion = 1;

template <class TOut> void AppendUtf8(TOut& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else { // Windows-1252 reaches no further than the Basic Multilingual Plane
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Shortest text that reads back as the same double, whatever the C locale; null for values
// JSON cannot hold.
template <class TOut> void AppendJsonNumber(TOut& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

template <class TOut> void AppendInteger(TOut& out, long long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// The bytes that stand for themselves in a JSON string: printable ASCII but '"' and '\\'.
constexpr auto kPlainByte = [] {
    std::array<bool, 256> plain{};
    for (int b = 0x20; b < 0x7F; ++b)
        plain[b] = b != '"' && b != '\\';
    return plain;
}();

// Appends JsonString(ansi); runs of plain bytes go in whole.
template <class TOut> void AppendJsonString(TOut& out, std::string_view ansi) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t plain = 0; // start of the run of bytes that stand for themselves
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        const auto byte = static_cast<unsigned char>(ansi[i]);
        if (kPlainByte[byte])
            continue;
        out.append(ansi.data() + plain, i - plain);
        plain = i + 1;
        const char32_t cp = support::AnsiCharToUnicode(byte);
        switch (cp) {
        case U'"':
            out += "\\\"";
            break;
        case U'\\':
            out += "\\\\";
            break;
        case U'\b':
            out += "\\b";
            break;
        case U'\f':
            out += "\\f";
            break;
        case U'\n':
            out += "\\n";
            break;
        case U'\r':
            out += "\\r";
            break;
        case U'\t':
            out += "\\t";
            break;
        default:
            if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
                out += "\\u00";
                out += kHex[cp >> 4];
                out += kHex[cp & 0xF];
            } else {
                AppendUtf8(out, cp);
            }
        }
    }
    out.append(ansi.data() + plain, ansi.size() - plain);
    out += '"';
}

// Writes nodes as they are entered, straight into the text; a node's children array stays
// open until it is left.
class TJsonWriter final : public TExportVisitor {
public:
    explicit TJsonWriter(TTextBuffer& text) : Text(text) {}

    TTextBuffer& Text;

    void Enter(const TTreeNode& node, int) override {
        Separate();
        Text += "{\"text\": ";
        AppendJsonString(Text, node.Text());
        const report::TTreeListObj* prop = node.Property();
        if (prop != nullptr) {
            Text += ", \"value\": ";
            AppendJsonString(Text, prop->Value);
        }
        Text += ", \"image\": ";
        AppendInteger(Text, node.ImageCode());
        if (prop != nullptr) {
            Text += ", \"type\": ";
            AppendInteger(Text, prop->TypeCode);
        }
        Text += ", \"flags\": ";
        AppendInteger(Text, prop != nullptr ? prop->Flags : 0);
        Text += ", \"children\": [";
        HasItem_.push_back(false);
    }
    void Leave(const TTreeNode&, int) override {
        const bool hadChildren = HasItem_.back();
        HasItem_.pop_back();
        if (hadChildren)
            NewLine();
        Text += "]}";
    }

    // Before an item of the open array: a comma after the previous one, and a new line.
    void Separate() {
        if (HasItem_.back())
            Text += ',';
        HasItem_.back() = true;
        NewLine();
    }
    void NewLine() {
        Text += "\r\n";
        Text.append((HasItem_.size() + 1) * 2, ' ');
    }
    // The top-level array counts as one open level.
    void OpenTop() { HasItem_.assign(1, false); }

private:
    std::vector<bool> HasItem_;
};

template <class TOut> void AppendSeries(TOut& out, const report::TChartSeries& series) {
    out += "{\"title\": ";
    AppendJsonString(out, series.Title);
    out += ", \"active\": ";
    out += series.Active ? "true" : "false";
    out += ", \"axis\": ";
    out += series.Axis == report::TAxisSide::Left ? "\"L\"" : "\"R\"";
    out += ", \"points\": [";
    for (size_t i = 0; i < series.Points.size(); ++i) {
        const report::TChartPoint& point = series.Points[i];
        if (i > 0)
            out += ", ";
        out += '[';
        AppendJsonNumber(out, point.X);
        out += ", ";
        if (point.Missing)
            out += "null";
        else
            AppendJsonNumber(out, point.Y);
        out += ']';
    }
    out += "]}";
}

} // namespace

std::string JsonString(const std::string& ansi) {
    std::string out;
    out.reserve(ansi.size() + 2);
    AppendJsonString(out, ansi);
    return out;
}

namespace {

void RenderJsonInto(const report::TReportDocument& doc, bool keepPrivate, TTextBuffer& out) {
    TJsonWriter writer(out);
    out += "{\r\n  \"format\": \"Taveric Ostero report\",\r\n  \"version\": " +
           std::to_string(kJsonVersion) + ",\r\n  \"nodes\": [";
    writer.OpenTop();
    TExportWalkRule rule;
    rule.KeepPrivate = keepPrivate;
    rule.ChartLines = true;
    WalkExport(doc.Tree, rule, writer);
    out += out.back() == '[' ? "]" : "\r\n  ]";
    out += ",\r\n  \"chart\": {\"leftTitle\": ";
    AppendJsonString(out, doc.Chart.LeftTitle);
    out += ", \"rightTitle\": ";
    AppendJsonString(out, doc.Chart.RightTitle);
    out += ", \"series\": [";
    for (size_t i = 0; i < doc.Chart.Series.size(); ++i) {
        out += i > 0 ? ",\r\n    " : "\r\n    ";
        AppendSeries(out, doc.Chart.Series[i]);
    }
    out += doc.Chart.Series.empty() ? "]}\r\n}\r\n" : "\r\n  ]}\r\n}\r\n";
}

} // namespace

std::string RenderJson(const report::TReportDocument& doc, bool keepPrivate) {
    TTextBuffer text(1 << 20);
    RenderJsonInto(doc, keepPrivate, text);
    return std::string(text.View());
}

bool SaveJson(const report::TReportDocument& doc, const std::string& fileName, bool keepPrivate,
              std::string* error) {
    TTextBuffer text(1 << 20);
    try {
        RenderJsonInto(doc, keepPrivate, text);
    } catch (const TExportError& e) {
        if (error != nullptr)
            *error = e.what();
        return false;
    }
    return WriteExportFile(fileName, text.View(), error);
}

} // namespace ostero::exporting
