// JPEG decoding with libjpeg: the compiled-in pictures decode to their sizes, and damaged data of
// every kind gives a null image instead of a crash, an exit or a half-grey picture.

#include "ui/widgets/JpegImage.h"
#include "ui/widgets/Resources.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray resourceBytes(const QString &path)
{
    InitK3316Resources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Offset of the first marker 0xFF <code>, or -1.
qsizetype markerOffset(const QByteArray &jpeg, unsigned char code)
{
    for (qsizetype i = 0; i + 1 < jpeg.size(); ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && static_cast<unsigned char>(jpeg[i + 1]) == code)
            return i;
    return -1;
}

QByteArray encodeWithQt(const QImage &image, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

}

class TestJpegImage : public QObject
{
    Q_OBJECT

private slots:
    void picturesDecodeToTheirSizes_data();
    void picturesDecodeToTheirSizes();
    void decodedColoursAreTheDrawnOnes();
    void greyAndProgressiveFilesDecodeToRgb();
    void truncatedDataIsRefused_data();
    void truncatedDataIsRefused();
    void corruptHeaderIsRefused_data();
    void corruptHeaderIsRefused();
    void damagedScanNeverGivesAWrongSize();
    void emptyAndRandomDataAreRefused();
    void missingResourceGivesNullImage();
};

void TestJpegImage::picturesDecodeToTheirSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("module") << ":/pictures/module.jpg" << QSize(34, 55);
    QTest::newRow("logo") << ":/pictures/logo.jpg" << QSize(118, 88);
    QTest::newRow("module 200%") << ":/pictures/module@2x.jpg" << QSize(68, 110);
    QTest::newRow("logo 200%") << ":/pictures/logo@2x.jpg" << QSize(236, 176);
}

void TestJpegImage::picturesDecodeToTheirSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QByteArray bytes = resourceBytes(path);
    QVERIFY2(!bytes.isEmpty(), qPrintable(path));

    QString error = QStringLiteral("stale");
    const QImage image = DecodeJpeg(bytes, &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_RGB888);
    QVERIFY(error.isEmpty());
    QCOMPARE(LoadJpegResource(path).size(), size);
}

void TestJpegImage::decodedColoursAreTheDrawnOnes()
{
    const QImage module = LoadJpegResource(QStringLiteral(":/pictures/module.jpg"));
    QVERIFY(!module.isNull());
    // White background in the corner, the green terminal block near the bottom.
    const QColor corner = module.pixelColor(0, 0);
    QVERIFY2(corner.red() > 240 && corner.green() > 240 && corner.blue() > 240, qPrintable(corner.name()));
    const QColor terminal = module.pixelColor(8, 52);
    QVERIFY2(terminal.green() > terminal.red() + 40 && terminal.green() > terminal.blue() + 40,
             qPrintable(terminal.name()));
}

void TestJpegImage::greyAndProgressiveFilesDecodeToRgb()
{
    QImage grey(40, 24, QImage::Format_Grayscale8);
    grey.fill(100);
    const QByteArray greyJpeg = encodeWithQt(grey, false);
    QImage colour(40, 24, QImage::Format_RGB32);
    colour.fill(QColor(200, 30, 30));
    const QByteArray progressiveJpeg = encodeWithQt(colour, true);
    if (greyJpeg.isEmpty() || progressiveJpeg.isEmpty())
        QSKIP("Qt's JPEG writer is not available");

    const QImage fromGrey = DecodeJpeg(greyJpeg);
    QCOMPARE(fromGrey.size(), QSize(40, 24));
    QCOMPARE(fromGrey.format(), QImage::Format_RGB888);
    const QColor g = fromGrey.pixelColor(20, 12);
    QVERIFY(qAbs(g.red() - 100) <= 2 && g.red() == g.green() && g.green() == g.blue());

    const QImage fromProgressive = DecodeJpeg(progressiveJpeg);
    QCOMPARE(fromProgressive.size(), QSize(40, 24));
    const QColor c = fromProgressive.pixelColor(20, 12);
    QVERIFY2(c.red() > 180 && c.green() < 60 && c.blue() < 60, qPrintable(c.name()));
}

void TestJpegImage::truncatedDataIsRefused_data()
{
    const QByteArray logo = resourceBytes(QStringLiteral(":/pictures/logo.jpg"));
    QVERIFY(logo.size() > 1000);
    const qsizetype scanStart = markerOffset(logo, 0xDA);
    QVERIFY(scanStart > 0);

    QTest::addColumn<QByteArray>("data");
    QTest::newRow("start marker only") << logo.left(2);
    QTest::newRow("inside the tables") << logo.left(40);
    QTest::newRow("tables without the scan") << logo.left(scanStart);
    QTest::newRow("scan header without data") << logo.left(scanStart + 14);
    QTest::newRow("half the scan") << logo.left((scanStart + logo.size()) / 2);
    QTest::newRow("all but the last 64 bytes") << logo.left(logo.size() - 64);
}

// libjpeg pads a file that ends early with grey and only warns; such a picture is refused.
void TestJpegImage::truncatedDataIsRefused()
{
    QFETCH(QByteArray, data);
    QString error;
    QVERIFY(DecodeJpeg(data, &error).isNull());
    QVERIFY(!error.isEmpty());
}

void TestJpegImage::corruptHeaderIsRefused_data()
{
    const QByteArray module = resourceBytes(QStringLiteral(":/pictures/module.jpg"));
    const qsizetype sof = markerOffset(module, 0xC0);
    const qsizetype dqt = markerOffset(module, 0xDB);
    QVERIFY(sof > 0 && dqt > 0);

    // The frame header: FF C0, length (2), precision (1), height (2), width (2), components (1).
    auto patched = [&module](qsizetype at, std::initializer_list<unsigned char> bytes) {
        QByteArray copy = module;
        for (unsigned char b : bytes)
            copy[at++] = static_cast<char>(b);
        return copy;
    };
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("no start marker") << patched(0, {0x00, 0x00});
    QTest::newRow("zero height") << patched(sof + 5, {0x00, 0x00});
    QTest::newRow("zero width") << patched(sof + 7, {0x00, 0x00});
    QTest::newRow("huge size") << patched(sof + 5, {0xFF, 0xF0, 0xFF, 0xF0});
    QTest::newRow("no components") << patched(sof + 9, {0x00});
    QTest::newRow("12-bit precision") << patched(sof + 4, {0x0C});
    QTest::newRow("table length past the end") << patched(dqt + 2, {0xFF, 0xFF});
    QTest::newRow("table length too short") << patched(dqt + 2, {0x00, 0x01});
    QTest::newRow("frame marker lost") << patched(sof + 1, {0x01});
}

void TestJpegImage::corruptHeaderIsRefused()
{
    QFETCH(QByteArray, data);
    QString error;
    QVERIFY(DecodeJpeg(data, &error).isNull());
    QVERIFY(!error.isEmpty());
}

// Bit errors inside the compressed data may or may not be noticed by libjpeg; either the picture
// is refused or it comes out whole, never at another size.
void TestJpegImage::damagedScanNeverGivesAWrongSize()
{
    const QByteArray logo = resourceBytes(QStringLiteral(":/pictures/logo.jpg"));
    const qsizetype scanData = markerOffset(logo, 0xDA) + 14;
    QRandomGenerator random(3316);
    for (int round = 0; round < 200; ++round) {
        QByteArray damaged = logo;
        for (int n = 0; n < 1 + round % 8; ++n) {
            const qsizetype at = scanData + random.bounded(logo.size() - 2 - scanData);
            damaged[at] = static_cast<char>(random.bounded(256));
        }
        const QImage image = DecodeJpeg(damaged);
        if (!image.isNull())
            QCOMPARE(image.size(), QSize(118, 88));
    }
}

void TestJpegImage::emptyAndRandomDataAreRefused()
{
    QString error;
    QVERIFY(DecodeJpeg(QByteArray(), &error).isNull());
    QVERIFY(!error.isEmpty());

    QRandomGenerator random(42);
    for (int round = 0; round < 300; ++round) {
        QByteArray noise(1 + random.bounded(4096), Qt::Uninitialized);
        for (char &c : noise)
            c = static_cast<char>(random.bounded(256));
        if (round % 2)
            noise.prepend("\xFF\xD8\xFF", 3); // get past the first check into the marker parser
        QVERIFY2(DecodeJpeg(noise).isNull(), qPrintable(QStringLiteral("round %1").arg(round)));
    }
}

void TestJpegImage::missingResourceGivesNullImage()
{
    QVERIFY(LoadJpegResource(QStringLiteral(":/pictures/no-such-picture.jpg")).isNull());
}

QTEST_GUILESS_MAIN(TestJpegImage)
#include "tst_jpegimage.moc"
