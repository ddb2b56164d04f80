#pragma once
// The maker's names, web addresses and texts that the exported documents carry. Defined once,
// here. The domain is a reserved example domain until the product has its own site.

namespace ostero::exporting {

inline constexpr const char* kMakerName = "Taveric";
inline constexpr const char* kProductName = "Taveric Ostero";
inline constexpr const char* kMakerSite = "https://www.taveric.example/";
inline constexpr const char* kMakerSiteName = "www.taveric.example";
inline constexpr const char* kSupportSite = "https://support.taveric.example/";
inline constexpr const char* kSupportSiteName = "support.taveric.example";
inline constexpr const char* kFavicon = "https://www.taveric.example/favicon.ico";
inline constexpr const char* kReportStyleSheet = "https://www.taveric.example/report/report.css";
inline constexpr const char* kReportScript = "https://www.taveric.example/report/report.js";
inline constexpr const char* kTopBannerScript = "https://www.taveric.example/report/top.js";
inline constexpr const char* kBottomBannerScript = "https://www.taveric.example/report/bottom.js";
inline constexpr const char* kExtraScript = "https://www.taveric.example/report/extra.js";
inline constexpr const char* kAddOnScript = "https://www.taveric.example/report/addon.js";
inline constexpr const char* kAuthor = "Taveric 2026";
inline constexpr const char* kCopyright = "Copyright \xA9 2026 Taveric. All rights reserved.";
inline constexpr const char* kKeywords =
    "Taveric, Ostero, hardware, system information, report, inventory";

} // namespace ostero::exporting
