#include "pictures/EmfPaintDevice.h"

#include "PicturesApplication.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstring>
#include <map>
#include <vector>

#include <gtest/gtest.h>

using namespace ostero::pictures;

namespace {

class EmfPaintDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsurePicturesApplication(); }
};

uint32_t U32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<size_t>(i)));
    return v;
}
int32_t I32(const std::string& bytes, size_t at) {
    return static_cast<int32_t>(U32(bytes, at));
}

struct TRecordView {
    uint32_t Type;
    size_t Offset;
    uint32_t Size;
};

// Walks the records; every size must be a multiple of 4 and lie inside the file.
std::vector<TRecordView> Records(const std::string& bytes) {
    std::vector<TRecordView> records;
    size_t at = 0;
    while (at < bytes.size()) {
        EXPECT_LE(at + 8, bytes.size()) << "record header cut at " << at;
        if (at + 8 > bytes.size())
            break;
        const TRecordView record{U32(bytes, at), at, U32(bytes, at + 4)};
        EXPECT_GE(record.Size, 8u) << "record at " << at;
        EXPECT_EQ(record.Size % 4, 0u) << "record at " << at;
        EXPECT_LE(at + record.Size, bytes.size()) << "record at " << at;
        if (record.Size < 8 || at + record.Size > bytes.size())
            break;
        records.push_back(record);
        at += record.Size;
    }
    return records;
}

// A chart-like scene with every kind of primitive the device records.
void PaintScene(QPaintDevice& device) {
    QPainter p(&device);
    p.fillRect(QRect(0, 0, 320, 200), Qt::white);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(200, 30, 30));
    p.drawRect(QRect(20, 20, 80, 50));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 200), 2, Qt::DashLine));
    p.drawLine(10, 190, 310, 100);
    p.setPen(QPen(QColor(0, 128, 0), 3));
    p.drawPolyline(
        QPolygon({QPoint(120, 150), QPoint(160, 90), QPoint(200, 130), QPoint(300, 20)}));
    p.setBrush(QColor(240, 200, 0));
    p.drawEllipse(QRect(200, 140, 60, 40));
    QPainterPath path;
    path.moveTo(30, 100);
    path.cubicTo(60, 80, 90, 160, 120, 110);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QPoint(120, 40), QStringLiteral("CPU [\u00B0C] 42"));
    p.setClipRect(QRect(0, 0, 160, 200));
    p.fillRect(QRect(140, 170, 60, 20), QColor(0, 160, 160));
    p.setClipping(false);
    QImage swatch(4, 4, QImage::Format_RGB32);
    swatch.fill(QColor(128, 0, 128));
    p.drawImage(QRect(280, 170, 16, 16), swatch);
}

TEST_F(EmfPaintDevice, HeaderAndRecordsAreConsistent) {
    TEmfPaintDevice device(320, 200);
    PaintScene(device);
    const std::string bytes = device.Bytes();
    const auto records = Records(bytes);
    ASSERT_GE(records.size(), 3u);

    const TRecordView& header = records.front();
    EXPECT_EQ(header.Type, 1u);
    EXPECT_EQ(U32(bytes, 40), 0x464D4520u); // " EMF"
    EXPECT_EQ(U32(bytes, 44), 0x10000u);
    EXPECT_EQ(U32(bytes, 48), bytes.size());   // file size
    EXPECT_EQ(U32(bytes, 52), records.size()); // record count
    EXPECT_EQ(std::vector<int32_t>({I32(bytes, 8), I32(bytes, 12), I32(bytes, 16), I32(bytes, 20)}),
              std::vector<int32_t>({0, 0, 319, 199})); // bounds in pixels
    EXPECT_EQ(I32(bytes, 32), 320 * 2540 / 96);        // frame right, 0.01 mm
    const uint32_t handles = U32(bytes, 56) & 0xFFFF;
    const uint32_t descriptionChars = U32(bytes, 60);
    const uint32_t descriptionOffset = U32(bytes, 64);
    EXPECT_LE(descriptionOffset + 2 * descriptionChars, header.Size);

    const TRecordView& last = records.back();
    EXPECT_EQ(last.Type, 14u); // EMR_EOF
    EXPECT_EQ(last.Size, 20u);
    EXPECT_EQ(U32(bytes, last.Offset + 16), 20u);

    // Fixed-size records have their exact sizes; objects are used only while they exist.
    const std::map<uint32_t, uint32_t> fixed = {{27, 16}, {54, 16}, {43, 24}, {42, 24},
                                                {37, 12}, {40, 12}, {38, 28}, {39, 24},
                                                {24, 12}, {18, 12}, {82, 104}};
    std::map<uint32_t, int> seen;
    std::vector<bool> live(handles, false);
    for (const auto& r : records) {
        ++seen[r.Type];
        if (auto it = fixed.find(r.Type); it != fixed.end()) {
            EXPECT_EQ(r.Size, it->second) << "record type " << r.Type;
        }
        if (r.Type == 38 || r.Type == 39 || r.Type == 82) {
            const uint32_t h = U32(bytes, r.Offset + 8);
            ASSERT_GT(h, 0u);
            ASSERT_LT(h, handles);
            EXPECT_FALSE(live[h]) << "handle " << h << " created twice";
            live[h] = true;
        }
        if (r.Type == 37 || r.Type == 40) {
            const uint32_t h = U32(bytes, r.Offset + 8);
            if (h & 0x80000000u) {
                EXPECT_EQ(r.Type, 37u) << "stock objects are never deleted";
                continue;
            }
            ASSERT_LT(h, handles);
            EXPECT_TRUE(live[h]) << "handle " << h << " used while not created";
            if (r.Type == 40)
                live[h] = false;
        }
        if (r.Type == 87 || r.Type == 86) { // 16-bit poly records: 28 bytes + 4 per point
            EXPECT_EQ(r.Size, 28 + 4 * U32(bytes, r.Offset + 24));
        }
        if (r.Type == 84) { // text: the string lies inside the record and reads back
            const uint32_t chars = U32(bytes, r.Offset + 44);
            const uint32_t offset = U32(bytes, r.Offset + 48);
            ASSERT_LE(offset + 2 * chars, r.Size);
            std::u16string text;
            for (uint32_t i = 0; i < chars; ++i)
                text += static_cast<char16_t>(
                    static_cast<unsigned char>(bytes[r.Offset + offset + 2 * i]) |
                    static_cast<unsigned char>(bytes[r.Offset + offset + 2 * i + 1]) << 8);
            EXPECT_EQ(text, u"CPU [\u00B0C] 42");
            const uint32_t dx = U32(bytes, r.Offset + 72);
            EXPECT_LE(dx + 4 * chars, r.Size);
        }
    }
    for (uint32_t h = 1; h < handles; ++h)
        EXPECT_FALSE(live[h]) << "handle " << h << " left undeleted";
    for (uint32_t type :
         {38u, 39u, 82u, 37u, 40u, 27u, 54u, 87u, 43u, 42u, 84u, 24u, 18u, 30u, 81u})
        EXPECT_GT(seen[type], 0) << "no record of type " << type;
}

TEST_F(EmfPaintDevice, EmptyPictureIsHeaderAndEndOnly) {
    TEmfPaintDevice device(0, -3); // raised to 1x1
    EXPECT_EQ(device.width(), 1);
    const std::string bytes = device.Bytes();
    const auto records = Records(bytes);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Type, 1u);
    EXPECT_EQ(records[1].Type, 14u);
    EXPECT_EQ(U32(bytes, 48), bytes.size());
    EXPECT_EQ(U32(bytes, 52), 2u);
}

TEST_F(EmfPaintDevice, LibreOfficeRendersIt) {
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    TEmfPaintDevice device(320, 200);
    PaintScene(device);
    const std::string bytes = device.Bytes();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("scene.emf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    file.close();
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(office,
                  {QStringLiteral("-env:UserInstallation=file://") + dir.filePath("profile"),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                   QStringLiteral("png"), QStringLiteral("--outdir"), dir.path(), file.fileName()});
    ASSERT_TRUE(process.waitForFinished(120000)) << "LibreOffice did not finish";
    QImage png(dir.filePath(QStringLiteral("scene.png")));
    ASSERT_FALSE(png.isNull()) << process.readAllStandardError().toStdString();
    // The red rectangle and the green polyline must appear somewhere.
    bool red = false, green = false;
    for (int y = 0; y < png.height(); ++y) {
        for (int x = 0; x < png.width(); ++x) {
            const QColor c = png.pixelColor(x, y);
            red |= c.red() > 170 && c.green() < 70 && c.blue() < 70;
            green |= c.green() > 100 && c.red() < 50 && c.blue() < 50;
        }
    }
    EXPECT_TRUE(red);
    EXPECT_TRUE(green);
}

} // namespace
