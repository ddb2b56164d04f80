#pragma once
// The walk that the text, XML and JSON writers share: which nodes of a report (the export
// wizard's contents tree and, through its TReportInfo nodes, the main tree) are written, in
// which order and at which depth; and the whole-file write of a finished export.

#include "report/ReportTree.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace ostero::exporting {

// A report the writers cannot take (nested deeper than kMaxExportDepth, which a TReportInfo
// whose Subtree leads back into its own tree would be).
class TExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int kMaxExportDepth = 200;

struct TExportWalkRule {
    bool KeepPrivate = false; // write properties marked nfPrivate
    bool ChartLines = true;   // write the line nodes below a chart node
};

// Whether the walk writes `node`: report::ChosenForWriting, not a TReportInfo without Subtree
// (no content, or only a chart, which these formats do not carry), and a chart-line node only
// when the rule asks for them. A node that is not written takes everything below it along.
bool Exported(const report::TTreeNode& node, const TExportWalkRule& rule);

class TExportVisitor {
public:
    virtual ~TExportVisitor() = default;
    // `depth` is the node's level plus the offset of the part being walked: the nodes of a
    // TReportInfo's Subtree lie one below the contents node.
    virtual void Enter(const report::TTreeNode& node, int depth) = 0;
    virtual void Leave(const report::TTreeNode& node, int depth) = 0;
};

// Enters each written node in tree order, then its children, then the run of siblings that
// starts at its TReportInfo's Subtree, then leaves it. TExportError beyond kMaxExportDepth.
void WalkExport(const report::TReportTree& tree, const TExportWalkRule& rule,
                TExportVisitor& visitor);

// Replaces the file with `bytes` as a whole, so that a failure leaves the previous file as it
// was. A failed attempt is tried again 100 ms later, six attempts in all (another program may
// hold the file for a moment). False with `error` set when all fail.
bool WriteExportFile(const std::string& fileName, std::string_view bytes, std::string* error);

} // namespace ostero::exporting
