#include "ui/main/ReceiveListView.h"
#include "ui/widgets/AsciiGlyphs.h"
#include "ui/main/ReceiveModel.h"

#include <QAccessible>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

class TestReceiveListView : public QObject {
    Q_OBJECT

    // Rows of the model, all of them announced to the view.
    static void fill(TReceiveModel &model, int rows)
    {
        for (int i = 0; i < rows; ++i)
            model.Append("row " + QByteArray::number(i) + '\r');
        QTRY_COMPARE(model.rowCount(), model.Count());
    }

    // Whether any pixel of the row's band differs from the view's background.
    static bool rowHasInk(TReceiveListView &view, int visibleIndex)
    {
        const QImage image = view.viewport()->grab().toImage();
        const QColor base = view.palette().color(QPalette::Base);
        const int top = visibleIndex * view.RowHeight();
        for (int y = top; y < std::min(image.height(), top + view.RowHeight()); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != base)
                    return true;
        return false;
    }

    // A view of the list box's size over `model`, shown.
    struct ShownView {
        TReceiveListView view;
        explicit ShownView(TReceiveModel &model)
        {
            view.resize(185, 161);
            view.setModel(&model);
            view.show();
        }
    };

    // The box around every pixel darker than white.
    static QRect inkBounds(const QImage &image)
    {
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 200)
                    box |= QRect(x, y, 1, 1);
        return box;
    }

private slots:
    // Rows of printable ASCII are placed from glyphs looked up once; they land where Qt's own
    // shaped text lands (kerning may move the end by a pixel or two). Anything else is refused,
    // to be drawn the general way.
    void asciiGlyphsDrawAsShapedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ascii");
        QTest::newRow("frame") << QStringLiteral("t123211AB") << true;
        QTest::newRow("escaped bytes") << QStringLiteral("ab\\x0Dc\\x01 ~") << true;
        QTest::newRow("not ASCII") << QStringLiteral("caf\u00e9") << false;
        QTest::newRow("control") << QStringLiteral("a\tb") << false;
    }
    void asciiGlyphsDrawAsShapedText()
    {
        QFETCH(QString, text);
        QFETCH(bool, ascii);
        TReceiveListView view; // the list's own font
        const QFont font = view.font();
        TAsciiGlyphs glyphs;
        qreal width = -1;
        QCOMPARE(glyphs.Width(font, text, &width), ascii);
        if (!ascii)
            return;
        QVERIFY(qAbs(width - QFontMetricsF(font).horizontalAdvance(text)) <= 2.0);
        QImage fast(400, 40, QImage::Format_RGB32), shaped(400, 40, QImage::Format_RGB32);
        fast.fill(Qt::white);
        shaped.fill(Qt::white);
        {
            QPainter p(&fast);
            p.setFont(font);
            p.setPen(Qt::black);
            glyphs.Draw(&p, 10, 25, text);
        }
        {
            QPainter p(&shaped);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(QPointF(10, 25), text);
        }
        const QRect a = inkBounds(fast), b = inkBounds(shaped);
        QVERIFY(!b.isEmpty());
        QVERIFY2(qAbs(a.left() - b.left()) <= 1 && qAbs(a.right() - b.right()) <= 2 && a.top() == b.top()
                     && a.bottom() == b.bottom(),
                 qPrintable(QStringLiteral("glyphs %1,%2-%3,%4; shaped %5,%6-%7,%8")
                                .arg(a.left()).arg(a.top()).arg(a.right()).arg(a.bottom())
                                .arg(b.left()).arg(b.top()).arg(b.right()).arg(b.bottom())));
    }

    void followsTheEndAndScrollsByRows()
    {
        TReceiveModel model;
        ShownView shown(model);
        TReceiveListView &view = shown.view;
        connect(&model, &TReceiveModel::RowsShown, &view, &TReceiveListView::scrollToBottom);
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        fill(model, 1000);
        const int visible = view.VisibleRows();
        QVERIFY(visible >= 5);
        QCOMPARE(view.verticalScrollBar()->maximum(), 1000 - visible);
        QTRY_COMPARE(view.TopRow(), 1000 - visible); // at the end, the newest row in sight
        QVERIFY(rowHasInk(view, visible - 1));

        // Rows of a burst that is still being announced do not scroll past the end.
        model.Append("late\r");
        QTRY_COMPARE(view.verticalScrollBar()->maximum(), 1001 - visible);
        QTRY_COMPARE(view.TopRow(), 1001 - visible);

        model.Clear();
        QCOMPARE(view.verticalScrollBar()->maximum(), 0);
        QCOMPARE(view.CurrentRow(), -1);
        QVERIFY(!rowHasInk(view, 0));
    }

    void keysAndClicksSelectARowAndKeepItInSight()
    {
        TReceiveModel model;
        ShownView shown(model);
        TReceiveListView &view = shown.view;
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::keyClick(&view, Qt::Key_Down); // nothing listed: nothing to select
        QCOMPARE(view.CurrentRow(), -1);

        fill(model, 500);
        const int visible = view.VisibleRows();
        QTest::keyClick(&view, Qt::Key_End);
        QCOMPARE(view.CurrentRow(), 499);
        QCOMPARE(view.TopRow(), 500 - visible);
        QTest::keyClick(&view, Qt::Key_Down); // stays on the last row
        QCOMPARE(view.CurrentRow(), 499);
        QTest::keyClick(&view, Qt::Key_Home);
        QCOMPARE(view.CurrentRow(), 0);
        QCOMPARE(view.TopRow(), 0);
        QTest::keyClick(&view, Qt::Key_PageDown);
        QCOMPARE(view.CurrentRow(), visible);
        QVERIFY(view.CurrentRow() < view.TopRow() + visible);
        QTest::keyClick(&view, Qt::Key_Up);
        QCOMPARE(view.CurrentRow(), visible - 1);

        // A click picks the row under the pointer; below the last row it changes nothing.
        view.verticalScrollBar()->setValue(100);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(10, 2 * view.RowHeight() + 2));
        QCOMPARE(view.CurrentRow(), 102);
        TReceiveModel few;
        fill(few, 2);
        view.setModel(&few);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(10, 5 * view.RowHeight() + 2));
        QCOMPARE(view.CurrentRow(), -1);
    }

    void longRowsWidenTheHorizontalRange()
    {
        TReceiveModel model;
        ShownView shown(model);
        TReceiveListView &view = shown.view;
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        fill(model, 3);
        QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
        model.Append(QByteArray(400, 'A') + '\r');
        QTRY_VERIFY(view.horizontalScrollBar()->maximum() > 400 * 2 - 185);
        // the range follows the longest row, not the newest
        model.Append("short\r");
        QTRY_COMPARE(model.rowCount(), 5);
        QVERIFY(view.horizontalScrollBar()->maximum() > 400 * 2 - 185);

        // A row of megabytes (a flood without CR) is kept whole; only its start is drawn.
        QByteArray flood(4 * 1024 * 1024, 'x');
        flood[0] = '\0';
        model.Append(flood);
        QTRY_COMPARE(model.rowCount(), 6);
        QCOMPARE(model.Item(5), flood);
        QVERIFY(view.horizontalScrollBar()->maximum() > 0);
        QVERIFY(!view.viewport()->grab().isNull());
    }

    // What a row shows of a long item: its first bytes, escaped, and no carriage return taken
    // off at the cut; a short item is shown whole, without its own trailing CR.
    void shownTextOfLongItemsIsAPrefix()
    {
        TReceiveModel model;
        model.Append(QByteArray("ab\rc\x01", 5) + "\r");
        model.Append("short\r");
        QTRY_COMPARE(model.rowCount(), 2);
        QCOMPARE(model.ShownText(0, 3), QStringLiteral("ab\\x0D"));
        QCOMPARE(model.ShownText(0, 5), QStringLiteral("ab\\x0Dc\\x01"));
        QCOMPARE(model.ShownText(0, 100), QStringLiteral("ab\\x0Dc\\x01"));
        QCOMPARE(model.ShownText(1, 6), QStringLiteral("short"));
        QCOMPARE(model.ShownText(1, 0), QString());
        QCOMPARE(model.ShownText(2, 100), QString()); // no such row
    }

    void screenReadersSeeANamedList()
    {
        TReceiveListView view;
        view.setAccessibleName(QStringLiteral("Receive"));
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::List);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Receive"));
    }
};

QTEST_MAIN(TestReceiveListView)
#include "tst_receivelistview.moc"
