#pragma once
// The report as a JSON document for other programs: the written nodes (the same as the text
// file's, see ExportWalk.h) nested as the tree, and the series of the report's chart. UTF-8.
// The layout is described in docs/json-report-schema.md.

#include "report/ReportDocument.h"

#include <string>

namespace ostero::exporting {

// A Windows-1252 text as a JSON string literal in UTF-8, quotes included; '"', '\' and every
// control character (C0, DEL and C1) are escaped.
std::string JsonString(const std::string& ansi);

// The document text. Throws TExportError for a report nested too deeply.
std::string RenderJson(const report::TReportDocument& doc, bool keepPrivate);

// Writes RenderJson, replacing the file as a whole. False with `error` set on failure.
bool SaveJson(const report::TReportDocument& doc, const std::string& fileName, bool keepPrivate,
              std::string* error = nullptr);

} // namespace ostero::exporting
