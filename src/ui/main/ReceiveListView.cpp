#include "ui/main/ReceiveListView.h"

#include "ui/main/ReceiveModel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace {

constexpr int TextMargin = 3;
// A row shows at most this many bytes of its item: a flood without a carriage return can make an
// item of megabytes, and drawing or measuring all of it would stall the window. The item itself
// is kept, and saved, whole.
constexpr qsizetype MaxShownBytes = 65536;

// Screen readers see a list named by the accessible name.
QAccessibleInterface *AccessibleReceiveList(const QString &className, QObject *object)
{
    if (className == QLatin1String("TReceiveListView") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::List);
    return nullptr;
}

} // namespace

TReceiveListView::TReceiveListView(QWidget *parent) : QAbstractScrollArea(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(AccessibleReceiveList);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    MeasureNarrowestGlyph();
}

void TReceiveListView::MeasureNarrowestGlyph()
{
    int narrowest = INT_MAX;
    for (const QChar c : QStringLiteral(" .,:;'!|ijl"))
        narrowest = std::min(narrowest, fontMetrics().horizontalAdvance(c));
    m_narrowestGlyph = std::max(1, narrowest);
}

void TReceiveListView::setModel(TReceiveModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (m_model) {
        connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
            UpdateScrollBars();
            viewport()->update();
        });
        connect(m_model, &QAbstractItemModel::modelReset, this, &TReceiveListView::ForgetRows);
        connect(m_model, &QObject::destroyed, this, [this] { m_model = nullptr; });
    }
    ForgetRows();
}

void TReceiveListView::ForgetRows()
{
    m_current = -1;
    m_widestRow = -1;
    m_contentWidth = 0;
    UpdateScrollBars();
    viewport()->update();
}

int TReceiveListView::Rows() const
{
    return m_model ? m_model->rowCount() : 0;
}

int TReceiveListView::RowHeight() const
{
    return fontMetrics().height() + 1; // as a list box spaces its rows
}

int TReceiveListView::VisibleRows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int TReceiveListView::TopRow() const
{
    return verticalScrollBar()->value();
}

void TReceiveListView::UpdateScrollBars()
{
    const int rows = Rows();
    const int visible = VisibleRows();
    // One scroll step is one row, so the range stays small however long the list grows.
    verticalScrollBar()->setRange(0, std::max(0, rows - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);

    // The widest row is taken to be the one with the most bytes; it is measured once.
    const int longest = m_model ? m_model->LongestRow() : -1;
    if (longest >= 0 && longest < rows && longest != m_widestRow) {
        m_widestRow = longest;
        const QString text = m_model->ShownText(longest, MaxShownBytes);
        m_contentWidth = std::min<qint64>(fontMetrics().horizontalAdvance(text) + 2 * TextMargin, INT_MAX / 2);
    }
    horizontalScrollBar()->setRange(0, std::max(0, m_contentWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 2);
}

void TReceiveListView::scrollToBottom()
{
    // The range is kept current as rows come, go and the view resizes.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TReceiveListView::SetCurrentRow(int row)
{
    const int rows = Rows();
    if (rows == 0) {
        m_current = -1;
        viewport()->update();
        return;
    }
    m_current = std::clamp(row, 0, rows - 1);
    // Keep it in sight.
    const int top = TopRow();
    const int visible = VisibleRows();
    if (m_current < top)
        verticalScrollBar()->setValue(m_current);
    else if (m_current >= top + visible)
        verticalScrollBar()->setValue(m_current - visible + 1);
    viewport()->update();
}

void TReceiveListView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int rows = Rows();
    const int height = RowHeight();
    const int first = TopRow();
    const int last = std::min(rows - 1, first + viewport()->height() / height + 1);
    const int x = TextMargin - horizontalScrollBar()->value();
    const int width = std::max(viewport()->width(), m_contentWidth);
    const QPalette &pal = palette();
    const QFontMetrics metrics = fontMetrics();
    const int baseline = (height - metrics.height()) / 2 + metrics.ascent();
    // No more bytes than could reach the right edge, even if every one were the narrowest glyph.
    const qsizetype reach = qsizetype(horizontalScrollBar()->value()) + viewport()->width();
    const qsizetype shownBytes = std::min(MaxShownBytes, reach / m_narrowestGlyph + 2);
    for (int row = first; row <= last; ++row) {
        const QRect rowRect(-horizontalScrollBar()->value(), (row - first) * height, width, height);
        const QString text = m_model->ShownText(row, shownBytes);
        if (row == m_current) {
            const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
            painter.fillRect(rowRect, pal.brush(isEnabled() ? group : QPalette::Disabled, QPalette::Highlight));
            painter.setPen(pal.color(isEnabled() ? group : QPalette::Disabled, QPalette::HighlightedText));
        } else {
            painter.setPen(pal.color(QPalette::Text));
        }
        // A plain run of text at a point: no layout pass, which a rectangle with flags would cost,
        // and printable ASCII not even shaped.
        qreal textWidth = 0;
        if (m_glyphs.Width(painter.font(), text, &textWidth))
            m_glyphs.Draw(&painter, x, rowRect.y() + baseline, text);
        else
            painter.drawText(x, rowRect.y() + baseline, text);
    }
}

void TReceiveListView::resizeEvent(QResizeEvent *event)
{
    // A view that showed the end keeps showing it.
    const bool atBottom = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    if (atBottom)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TReceiveListView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const int row = TopRow() + int(event->position().y()) / RowHeight();
        if (row < Rows())
            SetCurrentRow(row);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TReceiveListView::keyPressEvent(QKeyEvent *event)
{
    const int visible = VisibleRows();
    switch (event->key()) {
    case Qt::Key_Up:
        SetCurrentRow(m_current < 0 ? TopRow() : m_current - 1);
        break;
    case Qt::Key_Down:
        SetCurrentRow(m_current < 0 ? TopRow() : m_current + 1);
        break;
    case Qt::Key_PageUp:
        SetCurrentRow(m_current < 0 ? TopRow() : m_current - visible);
        break;
    case Qt::Key_PageDown:
        SetCurrentRow(m_current < 0 ? TopRow() : m_current + visible);
        break;
    case Qt::Key_Home:
        SetCurrentRow(0);
        break;
    case Qt::Key_End:
        SetCurrentRow(Rows() - 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TReceiveListView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        MeasureNarrowestGlyph();
        m_widestRow = -1; // measure again in the new font
        UpdateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

// The selected row's colours tell whether the list has the focus.
void TReceiveListView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TReceiveListView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void TReceiveListView::scrollContentsBy(int, int)
{
    viewport()->update();
}
