#pragma once
// The report as an XML document: root element "Taveric_Report", one element "Node" per written
// report node (see ExportWalk.h; chart-line nodes left out), nested as the tree, with the
// attributes Name (the node text) and ID (the image code) and a property's value as its text.

#include "report/ReportTree.h"

#include <string>

namespace ostero::exporting {

// The text for an attribute value or element text of the document. Besides the four entities
// of the XML document, the characters 0x80..0x9F of Windows-1252 (euro sign, quotes, dashes
// ...) are written as numeric character references: the declaration says iso-8859-1, where
// those bytes would be control characters. Tab, line feed and carriage return are written as
// references too, so that a parser keeps them, and the other control characters, which XML
// cannot carry at all, become "?".
std::string EncodeXmlExportText(const std::string& text);

// The document text. Throws TExportError for a report nested too deeply.
std::string RenderXml(const report::TReportTree& tree, bool keepPrivate);

// Writes the document, creating a missing folder (one level) and replacing the file as a whole,
// so that a failure leaves the previous file as it was. Failures are not raised: false with
// `error` set (the folder or file cannot be created or written, or the report is nested too
// deeply).
bool SaveXml(const report::TReportTree& tree, const std::string& fileName, bool keepPrivate,
             std::string* error = nullptr);

} // namespace ostero::exporting
