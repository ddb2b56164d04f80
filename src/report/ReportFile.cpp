#include "report/ReportFile.h"

#include "report/ReportRecords.h"

#include "support/SysUtils.h"
#include "support/platform/FileReplace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <thread>

namespace ostero::report {

using namespace detail;

namespace {

std::chrono::milliseconds RetryDelay{200};

void PutU16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void PutU32(std::string& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}
void PutRecord(std::string& out, uint32_t image, uint32_t code, uint32_t flags,
               std::string_view text) {
    PutU32(out, static_cast<uint32_t>(text.size() + 9));
    PutU16(out, image);
    PutU16(out, code);
    PutU32(out, flags);
    out.append(text);
    out.push_back('\0');
}

void PutChart(std::string& out, const TChart& chart) {
    if (chart.Series.empty())
        return;
    std::string titles;
    for (size_t i = 0; i < chart.Series.size(); ++i) {
        if (i > 0)
            titles.push_back(';');
        titles += chart.Series[i].Title;
    }
    if (titles.size() > kMaxText)
        titles.resize(kMaxText);
    PutRecord(out, 0, kChartHeaderCode, 0, titles);
    const size_t seriesCount = chart.Series.size();
    for (size_t p = 0; p < chart.Series[0].Points.size(); ++p) {
        PutU32(out, static_cast<uint32_t>(16 + 4 * seriesCount));
        PutU16(out, 0);
        PutU16(out, kChartDataCode);
        PutU32(out, 0);
        uint64_t xBits;
        const double x = chart.Series[0].Points[p].X;
        std::memcpy(&xBits, &x, sizeof xBits);
        PutU32(out, static_cast<uint32_t>(xBits));
        PutU32(out, static_cast<uint32_t>(xBits >> 32));
        for (const TChartSeries& series : chart.Series) {
            uint32_t bits = kMissingBits;
            if (p < series.Points.size() && !series.Points[p].Missing) {
                const float y = static_cast<float>(series.Points[p].Y);
                std::memcpy(&bits, &y, sizeof bits);
            }
            PutU32(out, bits);
        }
    }
}

// The text of a stored record, cut at its first zero byte.
std::string_view UpToZero(std::string_view text) {
    const size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

enum class TLoad { Loaded, Invalid, Newer, Retry };

// Empties what a load fills: the target's children, or the whole tree.
void ClearTarget(TReportDocument& doc, TTreeNode* target) {
    if (target != nullptr)
        target->DeleteChildren();
    else
        doc.Tree.Clear();
}

// The chart data records from `pos` on, up to the first record the reader refuses (reading ends
// there anyway).
size_t CountChartData(std::string_view bytes, size_t pos, TFormat format, uint8_t version) {
    size_t count = 0;
    while (pos < bytes.size()) {
        TRecord rec;
        if (!ReadRecord(bytes, pos, format, version, rec))
            break;
        if (rec.Code == kChartDataCode)
            ++count;
    }
    return count;
}

TLoad ReadRecords(TReportDocument& doc, std::string_view bytes, TTreeNode* target) {
    ClearTarget(doc, target);
    if (bytes.size() < 4)
        return TLoad::Invalid;
    if (bytes.size() < 5)
        return TLoad::Retry;
    const std::string_view sig = bytes.substr(0, 5);
    TFormat format;
    if (sig == kOwnSignature)
        format = TFormat::Own;
    else if (sig == kSiblingSignature)
        format = TFormat::Sibling;
    else
        return TLoad::Invalid;
    if (bytes.size() < kHeaderEnd)
        return TLoad::Retry;
    const uint8_t version = static_cast<uint8_t>(bytes[5]);
    doc.FileVersion = version;
    if (version > (format == TFormat::Own ? 1 : 4))
        return TLoad::Newer;
    doc.Chart.Series.clear();

    const int raise = format == TFormat::Own && target != nullptr ? target->Level() + 1 : 0;
    TTreeNode* context = target;
    TTreeNode* chartNode = nullptr;
    const size_t xAt = format == TFormat::Own ? 8 : 4;
    const size_t yAt = format == TFormat::Own ? 16 : 12;
    // Every data record adds a point to every series there is when it is read. The points are
    // counted when a series is made, from the data records ahead of it, so that a file whose
    // points have no bytes behind them is refused before they take any memory.
    size_t pointBudget = ChartPointBudget(bytes.size());
    size_t dataAhead = 0;
    bool dataCounted = false;
    size_t pos = kHeaderEnd;
    do {
        TRecord rec;
        if (!ReadRecord(bytes, pos, format, version, rec))
            return TLoad::Retry;
        if (rec.Code == kChartHeaderCode) {
            if (!dataCounted) {
                dataAhead = CountChartData(bytes, pos, format, version);
                dataCounted = true;
            }
            for (unsigned field = 1; field <= 255 && doc.Chart.Series.size() < kMaxChartSeries;
                 ++field) {
                std::string title = support::GetSeparatedField(rec.Text, field);
                if (title.empty())
                    break;
                if (dataAhead > pointBudget)
                    return TLoad::Invalid;
                pointBudget -= dataAhead;
                doc.Chart.AddSeries(std::move(title)).Points.reserve(dataAhead);
            }
            if (context != nullptr) {
                auto object = std::make_unique<TChartObject>();
                object->Chart = &doc.Chart;
                context->SetObject(std::move(object));
                chartNode = context;
            }
        } else if (rec.Code == kChartDataCode) {
            if (dataAhead > 0)
                --dataAhead;
            double x;
            std::memcpy(&x, rec.Body.data() + xAt, sizeof x);
            for (size_t i = 0; i < doc.Chart.Series.size(); ++i) {
                TChartSeries& series = doc.Chart.Series[i];
                const size_t at = yAt + 4 * i;
                float y = -1e18f;
                if (at + 4 <= rec.Body.size()) {
                    const uint32_t bits = GetU32(rec.Body, at);
                    std::memcpy(&y, &bits, sizeof y);
                }
                if (y >= kMissingLimit)
                    series.AddPoint(x, y);
                else
                    series.AddMissing(x, series.Points.empty() ? 0.0 : series.Points.back().Y);
            }
        } else {
            std::string text = support::UnscrambleText(rec.Text);
            uint32_t code = rec.Code;
            if (code <= static_cast<uint32_t>(kMaxGroupLevel))
                code += static_cast<uint32_t>(raise);
            if (code <= 1) {
                std::string name = CategoryName(static_cast<int32_t>(rec.Image), false);
                if (!name.empty())
                    text = std::move(name);
            }
            try {
                context = AddNode(doc.Tree, context, static_cast<int32_t>(rec.Image),
                                  format == TFormat::Own ? rec.Flags : 0, text, code);
            } catch (const TReportError&) {
                return TLoad::Retry;
            }
        }
    } while (pos < bytes.size());

    if (!doc.Chart.Series.empty()) {
        ArrangeChartAxes(doc.Chart, true);
        if (chartNode != nullptr)
            AddChartLineNodes(*chartNode, doc.Chart);
    }
    return TLoad::Loaded;
}

TLoad LoadAttempt(TReportDocument& doc, std::string_view bytes, TTreeNode* target) {
    TLoad result = TLoad::Invalid;
    try {
        result = ReadRecords(doc, bytes, target);
    } catch (const std::bad_alloc&) {
        // A file this program cannot hold is as unreadable as a damaged one, and another
        // attempt would only run out again.
    }
    // Nothing of a refused file stays: what was read of it is given back.
    if (result == TLoad::Invalid) {
        ClearTarget(doc, target);
        doc.Chart.Series.clear();
    }
    return result;
}

void WaitBeforeRetry() {
    std::this_thread::sleep_for(RetryDelay);
    support::ProcessMessages();
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), UpperAscii);
    return out;
}

} // namespace

namespace detail {

// Reads the record at `pos`; false for a truncated, over-long or too short record.
bool ReadRecord(std::string_view bytes, size_t& pos, TFormat format, uint8_t version,
                TRecord& rec) {
    if (bytes.size() - pos < 4)
        return false;
    const uint32_t length = GetU32(bytes, pos);
    // A chart data record holds a value for each of up to 255 series, which passes the record
    // buffer of the texts: the writer makes such records, so the reader takes them.
    const bool chartData = bytes.size() - pos >= 8 && GetU16(bytes, pos + 6) == kChartDataCode;
    const size_t limit = chartData                ? ChartDataRecordMax(format)
                         : format == TFormat::Own ? kOwnRecordMax
                                                  : kSiblingRecordMax;
    if (length > limit || bytes.size() - pos - 4 < length)
        return false;
    rec.Body = bytes.substr(pos + 4, length);
    pos += 4 + length;
    if (length < 4)
        return false;
    rec.Image = GetU16(rec.Body, 0);
    rec.Code = GetU16(rec.Body, 2);
    rec.Flags = 0;
    if (rec.Code == kChartDataCode) {
        rec.Text = {};
        return length >= (format == TFormat::Own ? 16u : 12u);
    }
    size_t start, size;
    if (format == TFormat::Own) {
        if (length < 8)
            return false;
        rec.Flags = GetU32(rec.Body, 4);
        start = 8;
        size = length - 8;
    } else if (version >= 3) {
        if (length < 5)
            return false;
        start = 4;
        size = length - 5;
    } else {
        const bool property = rec.Code >= static_cast<uint32_t>(kMinTypeCode);
        const size_t tail = property ? 9 : 5;
        if (length < tail)
            return false;
        start = 5;
        size = length - tail;
    }
    if (size > kMaxText + 1)
        return false;
    rec.Text = UpToZero(rec.Body.substr(start, size));
    return rec.Text.size() <= kMaxText;
}

// The whole file, or false when it cannot be read or is too large (`tooLarge` set then).
bool ReadWholeFile(const std::string& fileName, std::string& bytes, bool& tooLarge) {
    tooLarge = false;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return false;
    if (static_cast<uintmax_t>(size) > kMaxFileSize) {
        tooLarge = true;
        return false;
    }
    in.seekg(0, std::ios::beg);
    bytes.resize(static_cast<size_t>(size));
    in.read(bytes.data(), size);
    return static_cast<std::streamoff>(in.gcount()) == size;
}

} // namespace detail

void SetLoadRetryDelay(std::chrono::milliseconds delay) {
    RetryDelay = delay;
}

bool WriteRecords(std::string& out, const TTreeNode* startNode, int levelOffset, bool keepPrivate) {
    if (startNode == nullptr)
        return true;
    const int startLevel = startNode->Level();
    for (const TTreeNode* node = startNode; node != nullptr && node->Level() >= startLevel;
         node = node->NextInTree()) {
        if (!ChosenWithContent(*node, keepPrivate))
            continue;
        if (node->ImageCode() < 0 || node->ImageCode() > 65535)
            return false;
        const uint32_t image = static_cast<uint32_t>(node->ImageCode());
        std::string text;
        uint32_t code;
        uint32_t flags = 0;
        if (const TTreeListObj* prop = node->Property()) {
            code = prop->TypeCode;
            flags = prop->Flags;
            text = node->Text() + "=" + prop->Value;
        } else {
            const int level = node->Level() + levelOffset;
            if (level < 0 || level > 65535)
                return false;
            code = static_cast<uint32_t>(level);
            text = node->Text();
            if (code <= 1) {
                std::string english = CategoryName(node->ImageCode(), true);
                if (!english.empty())
                    text = std::move(english);
            }
        }
        if (text.size() > kMaxText)
            text.resize(kMaxText);
        PutRecord(out, image, code, flags, support::ScrambleText(text));
        if (const TChartObject* chart = node->ChartObject(); chart && chart->Chart)
            PutChart(out, *chart->Chart);
        if (const TReportInfo* info = node->ReportInfo()) {
            if (info->Chart != nullptr)
                PutChart(out, *info->Chart);
            if (info->Subtree != nullptr &&
                !WriteRecords(out, info->Subtree, node->Level() - info->Subtree->Level() + 1,
                              keepPrivate))
                return false;
        }
    }
    return true;
}

namespace {

// An upper bound of the bytes WriteRecords makes of the tree (without contents subtrees), so the
// file image is allocated once: growing a buffer of many megabytes step by step costs more in
// copies and fresh pages than writing it.
size_t EstimatedFileSize(const TReportDocument& doc) {
    size_t size = kHeaderEnd;
    for (const TTreeNode* node = doc.Tree.First(); node != nullptr; node = node->NextInTree()) {
        size += 13 + node->Text().size();
        if (const TTreeListObj* property = node->Property())
            size += property->Value.size() + 1;
    }
    if (!doc.Chart.Series.empty())
        size +=
            kMaxText + 13 + doc.Chart.Series[0].Points.size() * (16 + 4 * doc.Chart.Series.size());
    return size;
}

} // namespace

bool SaveReport(const TReportDocument& doc, const std::string& fileName, bool keepPrivate) {
    std::string bytes;
    bytes.reserve(EstimatedFileSize(doc));
    bytes.append("\4TRPT", 5);
    bytes.push_back('\1');
    bytes.append(15, '\0');
    if (!WriteRecords(bytes, doc.Tree.First(), 0, keepPrivate))
        return false;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        std::string error;
        errno = 0;
        if (platform::ReplaceFileContents(fileName, bytes, error))
            return true;
        // Only a file that cannot be created (yet) is worth another try.
        if (errno != EACCES && errno != EBUSY && errno != ETXTBSY && errno != EAGAIN)
            return false;
        if (attempt < kAttempts)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

int LoadReportFromBytes(TReportDocument& doc, std::string_view bytes, TTreeNode* target) {
    switch (LoadAttempt(doc, bytes, target)) {
    case TLoad::Loaded:
        return 0;
    case TLoad::Newer:
        return 2;
    default:
        return 1;
    }
}

int LoadReport(TReportDocument& doc, const std::string& fileName, TTreeNode* target) {
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        TLoad result = TLoad::Retry;
        try {
            std::string bytes;
            bool tooLarge = false;
            if (ReadWholeFile(fileName, bytes, tooLarge)) {
                result = LoadAttempt(doc, bytes, target);
            } else {
                ClearTarget(doc, target);
                if (tooLarge)
                    return 1;
            }
        } catch (const std::bad_alloc&) {
            // No room for the file's bytes.
            ClearTarget(doc, target);
            return 1;
        }
        if (result != TLoad::Retry)
            return result == TLoad::Loaded ? 0 : result == TLoad::Newer ? 2 : 1;
        if (attempt < kAttempts)
            WaitBeforeRetry();
    }
    return 1;
}

int ScanReportBytes(std::string_view bytes, const std::string& searchText,
                    const std::vector<int>& imageCodeSet) {
    if (bytes.size() < 4)
        return -1;
    if (bytes.size() < 5)
        return -3;
    if (bytes.substr(0, 5) != kSiblingSignature)
        return -1;
    if (bytes.size() < kHeaderEnd)
        return -3;
    const uint8_t version = static_cast<uint8_t>(bytes[5]);
    if (version > 3)
        return -2;
    const std::string wanted = Upper(searchText);
    size_t pos = kHeaderEnd;
    int number = 0;
    do {
        TRecord rec;
        if (!ReadRecord(bytes, pos, TFormat::Sibling, version, rec))
            return -3;
        ++number;
        if (rec.Code == kChartHeaderCode || rec.Code == kChartDataCode)
            continue;
        const int wantedCode = static_cast<int>(rec.Image) - 1;
        if (std::find(imageCodeSet.begin(), imageCodeSet.end(), wantedCode) != imageCodeSet.end())
            return number;
        if (!wanted.empty() &&
            Upper(support::UnscrambleText(rec.Text)).find(wanted) != std::string::npos)
            return number;
    } while (pos < bytes.size());
    return 0;
}

int ScanReportFile(const std::string& fileName, const std::string& searchText,
                   const std::vector<int>& imageCodeSet) {
    if (searchText.empty() && imageCodeSet.empty())
        return -1;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        try {
            std::string bytes;
            bool tooLarge = false;
            if (ReadWholeFile(fileName, bytes, tooLarge)) {
                const int result = ScanReportBytes(bytes, searchText, imageCodeSet);
                if (result != -3)
                    return result;
            } else if (tooLarge) {
                return -1;
            }
        } catch (const std::bad_alloc&) {
            // A file too large for the memory left is not searched; the search goes on.
            return -1;
        }
        if (attempt < kAttempts)
            WaitBeforeRetry();
    }
    return -1;
}

support::TUserMessage LoadFailureMessage(int result, const std::string& fileName) {
    if (result == 2)
        return {"File '%s' is a new file format. You have to update the program to read this file.",
                {fileName}};
    return {"File '%s' is not a valid report file, or the file is damaged!", {fileName}};
}

} // namespace ostero::report
