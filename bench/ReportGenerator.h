#pragma once
// Generates reports of a realistic shape for the benchmarks: categories, groups of up to 10k
// siblings, properties with flags, and a chart.

#include "report/ReportDocument.h"
#include "support/SysUtils.h"

#include <cstdint>
#include <string>

namespace ostero::bench {

// Builds about `nodes` nodes into `doc`. `variant` 0 is the reference; other variants change,
// add and remove about 1 % of the properties (deterministically).
inline void GenerateReport(report::TReportDocument& doc, size_t nodes, int variant = 0) {
    using namespace report;
    doc.Tree.Clear();
    doc.Chart.Clear();
    size_t made = 0;
    uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    const int32_t categories[] = {400, 401, 402, 406};
    for (int c = 0; made < nodes; c = (c + 1) % 4) {
        TTreeNode* context =
            AddNode(doc.Tree, nullptr, categories[c], 0, CategoryName(categories[c], true), 0);
        ++made;
        const size_t groups = 10;
        for (size_t g = 0; g < groups && made < nodes; ++g) {
            context = AddNode(doc.Tree, context, 500 + static_cast<int32_t>(g), 0,
                              "Group " + std::to_string(g), 1);
            ++made;
            // Up to 10k siblings in a group.
            const size_t siblings = std::min<size_t>(10000, (nodes - made));
            for (size_t p = 0; p < siblings / 10 && made < nodes; ++p) {
                TTreeNode* device =
                    AddNode(doc.Tree, context, 10, 0, "Device " + std::to_string(p), 2);
                ++made;
                for (int k = 0; k < 9 && made < nodes; ++k) {
                    const uint32_t r = next();
                    if (variant != 0 && r % 100 == 0 && k == 3)
                        continue; // removed in the variant
                    std::string value = "Value " + std::to_string(p * 9 + k);
                    if (variant != 0 && r % 100 == 1)
                        value += " changed";
                    const uint32_t flags = k == 8 ? nfVolatile : (k == 7 ? nfPrivate : 0);
                    AddNode(doc.Tree, device, 33, flags,
                            "Property " + std::to_string(k) + "=" + value, 10 + k);
                    ++made;
                    if (variant != 0 && r % 100 == 2) {
                        AddNode(doc.Tree, device, 34, 0, "Added=" + std::to_string(r), 10);
                        ++made;
                    }
                }
                context = device->Parent();
            }
        }
    }
}

// The tree as a sibling-format report of version 3 (image codes stored one higher), for the
// file scan.
inline std::string SiblingReportBytes(const report::TReportTree& tree) {
    std::string out("\4SRPT\3", 6);
    out.append(15, '\0');
    const auto put16 = [&out](uint32_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    for (const report::TTreeNode* node = tree.First(); node; node = node->NextInTree()) {
        std::string text = node->Text();
        uint32_t code = static_cast<uint32_t>(node->Level());
        if (const auto* property = node->Property()) {
            text += "=" + property->Value;
            code = property->TypeCode;
        }
        const std::string stored = support::ScrambleText(text);
        const uint32_t length = static_cast<uint32_t>(stored.size() + 5);
        put16(length & 0xFFFF);
        put16(length >> 16);
        put16(static_cast<uint32_t>(node->ImageCode() + 1));
        put16(code);
        out += stored;
        out.push_back('\0');
    }
    return out;
}

} // namespace ostero::bench
