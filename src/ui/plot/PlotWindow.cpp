#include "ui/plot/PlotWindow.h"

#include "common/SafeSave.h"
#include "dbc/SignalCsv.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/signals/SignalDatabase.h"
#include "ui/signals/SignalText.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

// The chart's view: keys and mouse move the range in sight; nothing of the chart's own zoom is
// used, since the points drawn depend on the range.
class TPlotWindow::TChartView : public QChartView {
public:
    TChartView(QChart *chart, TPlotWindow *owner) : QChartView(chart, owner), m_owner(owner)
    {
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
        setRenderHint(QPainter::Antialiasing, false); // thousands of segments ten times a second
    }

protected:
    double TimeAt(QPointF pos) const
    {
        const QRectF area = chart()->plotArea();
        const double fraction = area.width() > 0 ? (pos.x() - area.left()) / area.width() : 0;
        return m_owner->ViewFrom() + fraction * (m_owner->ViewTo() - m_owner->ViewFrom());
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        const double middle = (m_owner->ViewFrom() + m_owner->ViewTo()) / 2;
        switch (event->key()) {
        case Qt::Key_Left: m_owner->PanBy(-0.1); break;
        case Qt::Key_Right: m_owner->PanBy(0.1); break;
        case Qt::Key_Plus:
        case Qt::Key_Equal: m_owner->ZoomBy(0.5, middle); break;
        case Qt::Key_Minus: m_owner->ZoomBy(2, middle); break;
        case Qt::Key_Home: m_owner->ShowAll(); break;
        case Qt::Key_End: m_owner->GoLive(); break;
        default: QChartView::keyPressEvent(event); return;
        }
        event->accept();
    }
    void wheelEvent(QWheelEvent *event) override
    {
        const int steps = event->angleDelta().y() / 120;
        if (steps != 0)
            m_owner->ZoomBy(std::pow(0.8, steps), TimeAt(event->position()));
        event->accept();
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton) {
            m_dragX = event->position().x();
            m_dragging = true;
        }
        setFocus(Qt::MouseFocusReason);
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        const QRectF area = chart()->plotArea();
        if (m_dragging && area.width() > 0) {
            const double dx = event->position().x() - m_dragX;
            m_dragX = event->position().x();
            m_owner->PanBy(-dx / area.width());
        }
        m_owner->ShowCursorValues(area.contains(event->position()) ? TimeAt(event->position()) : -1);
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        m_dragging = false;
        event->accept();
    }
    void leaveEvent(QEvent *event) override
    {
        m_owner->ShowCursorValues(-1);
        QChartView::leaveEvent(event);
    }

private:
    TPlotWindow *m_owner;
    double m_dragX = 0;
    bool m_dragging = false;
};

TPlotWindow::TPlotWindow(const TFrameStore *store, TSignalDatabase *database, QWidget *parent)
    : QWidget(parent, Qt::Window), m_database(database), m_recorder(store, &database->Database())
{
    setObjectName(QStringLiteral("PlotWindow"));
    setWindowTitle(QStringLiteral("Plot"));
    Build();
    m_tick.setInterval(RedrawIntervalMs);
    connect(&m_tick, &QTimer::timeout, this, &TPlotWindow::Tick);
    connect(database, &TSignalDatabase::Changed, this, [this] {
        m_recorder.Resolve();
        Rebuild();
    });
    resize(900, 520);
}

TPlotWindow::~TPlotWindow() = default;

void TPlotWindow::Build()
{
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    PauseButton = new QPushButton(QStringLiteral("&Pause"), this);
    PauseButton->setObjectName(QStringLiteral("PlotPauseButton"));
    PauseButton->setCheckable(true);
    PauseButton->setToolTip(QStringLiteral("Hold the plot still; values are still recorded (End goes live again)"));
    ShowAllButton = new QPushButton(QStringLiteral("Show A&ll"), this);
    ShowAllButton->setObjectName(QStringLiteral("ShowAllButton"));
    ClearButton = new QPushButton(QStringLiteral("&Clear"), this);
    ClearButton->setObjectName(QStringLiteral("PlotClearButton"));
    ClearButton->setToolTip(QStringLiteral("Forget the values recorded so far"));
    SaveAsButton = new QPushButton(QStringLiteral("Save &As..."), this);
    SaveAsButton->setObjectName(QStringLiteral("PlotSaveAsButton"));
    for (QPushButton *b : {PauseButton, ShowAllButton, ClearButton, SaveAsButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    auto *keys = new QLabel(QStringLiteral("Keys: Left/Right pan, +/- zoom, Home all, End live"), this);
    keys->setObjectName(QStringLiteral("PlotKeysLabel"));
    buttons->addWidget(keys);
    layout->addLayout(buttons);

    auto *middle = new QHBoxLayout;
    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_timeAxis = new QValueAxis(m_chart);
    m_timeAxis->setTitleText(QStringLiteral("Time (s)"));
    m_timeAxis->setLabelFormat(QStringLiteral("%g"));
    m_timeAxis->setTickType(QValueAxis::TicksDynamic);
    m_timeAxis->setTickAnchor(0);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    ChartView = new TChartView(m_chart, this);
    ChartView->setObjectName(QStringLiteral("ChartView"));
    // Below this the axes' numbers and the time's title are cut to "...".
    ChartView->setMinimumSize(420, 280);
    ChartView->setAccessibleName(QStringLiteral("Plot of the signals over time"));
    ChartView->viewport()->installEventFilter(this);
    middle->addWidget(ChartView, 1);

    auto *side = new QVBoxLayout;
    SignalsList = new QListWidget(this);
    SignalsList->setObjectName(QStringLiteral("PlotSignalsList"));
    SignalsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    SignalsList->setAccessibleName(QStringLiteral("Signals plotted"));
    SignalsList->setMaximumWidth(220);
    auto *listLabel = new QLabel(QStringLiteral("&Signals:"), this);
    listLabel->setBuddy(SignalsList);
    RemoveButton = new QPushButton(QStringLiteral("&Remove"), this);
    RemoveButton->setObjectName(QStringLiteral("PlotRemoveButton"));
    RemoveButton->setToolTip(QStringLiteral("Stop plotting the signals selected"));
    side->addWidget(listLabel);
    side->addWidget(SignalsList, 1);
    side->addWidget(RemoveButton);
    middle->addLayout(side);
    layout->addLayout(middle, 1);

    CursorLabel = new QLabel(this);
    CursorLabel->setObjectName(QStringLiteral("CursorLabel"));
    CursorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    CursorLabel->setWordWrap(true);
    CursorLabel->setAccessibleName(QStringLiteral("Values"));
    layout->addWidget(CursorLabel);

    connect(PauseButton, &QPushButton::toggled, this, &TPlotWindow::PauseToggled);
    connect(ShowAllButton, &QPushButton::clicked, this, &TPlotWindow::ShowAll);
    connect(ClearButton, &QPushButton::clicked, this, &TPlotWindow::ClearPoints);
    connect(SaveAsButton, &QPushButton::clicked, this, &TPlotWindow::SaveAsClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TPlotWindow::RemoveSelected);
    setTabOrder(PauseButton, ShowAllButton);
    setTabOrder(ShowAllButton, ClearButton);
    setTabOrder(ClearButton, SaveAsButton);
    setTabOrder(SaveAsButton, ChartView);
    setTabOrder(ChartView, SignalsList);
    setTabOrder(SignalsList, RemoveButton);
}

QLineSeries *TPlotWindow::Series(int index) const
{
    return index >= 0 && size_t(index) < m_series.size() ? m_series[size_t(index)] : nullptr;
}

void TPlotWindow::AddSignal(const TDbcMessage &message, const TDbcSignal &signal)
{
    if (!m_recorder.Add(message, signal))
        return;
    Rebuild();
    m_tick.start(); // its history comes with the next ticks
}

void TPlotWindow::Rebuild()
{
    for (QLineSeries *s : m_series)
        m_chart->removeSeries(s), delete s;
    for (QValueAxis *a : m_valueAxes)
        m_chart->removeAxis(a), delete a;
    m_series.clear();
    m_valueAxes.clear();
    m_axisOf.clear();
    SignalsList->clear();
    QStringList units;
    for (int i = 0; i < m_recorder.Count(); ++i) {
        const TRecordedSignal &r = m_recorder.Signal(i);
        qsizetype axis = units.indexOf(r.Unit);
        if (axis < 0) {
            axis = units.size();
            units << r.Unit;
            auto *a = new QValueAxis;
            a->setTitleText(r.Unit.isEmpty() ? QStringLiteral("(no unit)") : r.Unit);
            a->setLabelFormat(QStringLiteral("%g"));
            // The first unit on the left, the others alternately right and left.
            m_chart->addAxis(a, axis % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
            m_valueAxes.push_back(a);
        }
        auto *series = new QLineSeries;
        series->setName(QStringLiteral("%1.%2").arg(r.Message, r.Signal));
        m_chart->addSeries(series);
        // The theme's 2-pixel pen makes the painter compute a join at every vertex: a cosmetic
        // 1-pixel line draws the same thousands of segments at a fraction of the cost.
        QPen pen = series->pen();
        pen.setWidth(1);
        pen.setCosmetic(true);
        series->setPen(pen);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_valueAxes[size_t(axis)]);
        m_series.push_back(series);
        m_axisOf.push_back(int(axis));
        QString item = series->name() + (r.Unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.Unit));
        if (!m_database->Database().FindByName(r.Message))
            item += QStringLiteral(" - no longer in the database");
        SignalsList->addItem(item);
    }
    RemoveButton->setEnabled(m_recorder.Count() > 0);
    m_dirty = true;
    Redraw();
}

void TPlotWindow::StoreGrew()
{
    if (!m_tick.isActive())
        m_tick.start();
}

void TPlotWindow::CatchUp()
{
    m_dirty |= m_recorder.Consume(-1);
}

void TPlotWindow::Tick()
{
    const bool added = m_recorder.Consume(FillRowsPerTick);
    const bool busy = added || m_recorder.Filling();
    m_dirty |= added;
    if (!isVisible()) {
        if (!busy)
            m_tick.stop(); // a quiet line wakes nothing; the next read starts the tick again
        return;
    }
    if (m_dirty && !m_paused) {
        m_to = std::max(m_recorder.LatestTime(), m_span);
        Redraw();
    } else if (!busy) {
        m_tick.stop();
    }
}

int TPlotWindow::PlotWidth() const
{
    // One column per two pixels: the chart strokes an outline around every vertex it gets (for
    // hit testing), so vertices cost more than pixels show.
    return std::max(25, int(m_chart->plotArea().width()) / 2);
}

void TPlotWindow::Redraw()
{
    m_dirty = false;
    ++m_redraws;
    const double from = ViewFrom();
    const double to = ViewTo();
    m_timeAxis->setRange(from, to);
    // Ticks at round seconds (1, 2 or 5 times a power of ten) that scroll with the time.
    const double rough = (to - from) / 6;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double step = rough / power < 2 ? power : rough / power < 5 ? 2 * power : 5 * power;
    if (m_timeAxis->tickInterval() != step)
        m_timeAxis->setTickInterval(step);
    const int columns = PlotWidth();
    std::vector<double> low(m_valueAxes.size(), HUGE_VAL);
    std::vector<double> high(m_valueAxes.size(), -HUGE_VAL);
    for (int i = 0; i < m_recorder.Count(); ++i) {
        const std::vector<TPlotPoint> points = Decimate(m_recorder.Signal(i).Points, from, to, columns);
        QList<QPointF> line;
        line.reserve(qsizetype(points.size()));
        const size_t axis = size_t(m_axisOf[size_t(i)]);
        for (const TPlotPoint &p : points) {
            line.append(QPointF(p.time, p.value));
            low[axis] = std::min(low[axis], p.value);
            high[axis] = std::max(high[axis], p.value);
        }
        m_series[size_t(i)]->replace(line);
    }
    for (size_t a = 0; a < m_valueAxes.size(); ++a) {
        if (low[a] > high[a]) {
            m_valueAxes[a]->setRange(0, 1);
            continue;
        }
        // The axis stays while the values fit it and fill a third of it: an axis that moves at every
        // redraw is hard to read (and lays its labels out again each time).
        QValueAxis *axis = m_valueAxes[a];
        const double span = axis->max() - axis->min();
        if (low[a] >= axis->min() && high[a] <= axis->max() && (high[a] - low[a]) * 3 >= span)
            continue;
        const double margin = high[a] > low[a] ? (high[a] - low[a]) * 0.05 : std::max(1.0, std::abs(low[a]) * 0.05);
        axis->setRange(low[a] - margin, high[a] + margin);
        axis->applyNiceNumbers(); // round steps: 0, 500, 1000 rather than -64.4, 2819.9
    }
    ShowCursorValues(m_cursorTime);
}

void TPlotWindow::SetView(double from, double to)
{
    if (!(to > from))
        return;
    m_span = std::clamp(to - from, 1e-4, 1e9);
    m_to = from + m_span;
    if (!m_paused)
        PauseButton->setChecked(true); // a range chosen by hand holds still
    Redraw();
}

void TPlotWindow::ZoomBy(double factor, double around)
{
    const double from = around - (around - ViewFrom()) * factor;
    const double to = around + (ViewTo() - around) * factor;
    SetView(from, to);
}

void TPlotWindow::PanBy(double fraction)
{
    const double shift = m_span * fraction;
    SetView(ViewFrom() + shift, ViewTo() + shift);
}

void TPlotWindow::ShowAll()
{
    double first = HUGE_VAL;
    for (int i = 0; i < m_recorder.Count(); ++i)
        if (m_recorder.Signal(i).Points.Count() > 0)
            first = std::min(first, m_recorder.Signal(i).Points.Time(0));
    const double last = m_recorder.LatestTime();
    if (first == HUGE_VAL)
        return;
    SetView(first, last > first ? last : first + 1);
}

void TPlotWindow::GoLive()
{
    if (m_paused)
        PauseButton->setChecked(false);
    m_to = std::max(m_recorder.LatestTime(), m_span);
    Redraw();
}

void TPlotWindow::PauseToggled(bool paused)
{
    m_paused = paused;
    if (!paused) {
        m_to = std::max(m_recorder.LatestTime(), m_span);
        Redraw();
        m_tick.start();
    }
}

void TPlotWindow::RemoveSelected()
{
    QList<int> rows;
    for (const QModelIndex &i : SignalsList->selectionModel()->selectedRows())
        rows << i.row();
    if (rows.isEmpty() && SignalsList->currentRow() >= 0)
        rows << SignalsList->currentRow();
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int row : rows)
        m_recorder.Remove(row);
    Rebuild();
}

void TPlotWindow::ClearPoints()
{
    m_recorder.ClearPoints();
    m_to = m_span;
    Redraw();
}

QString TPlotWindow::ValuesAt(double t) const
{
    QStringList parts;
    for (int i = 0; i < m_recorder.Count(); ++i) {
        const TRecordedSignal &r = m_recorder.Signal(i);
        const qsizetype at = t < 0 ? r.Points.Count() - 1 : r.Points.Nearest(t);
        if (at < 0)
            continue;
        parts << QStringLiteral("%1 = %2%3").arg(r.Signal, SignalValueString(r.Points.Value(at)),
                                                 r.Unit.isEmpty() ? QString() : QLatin1Char(' ') + r.Unit);
    }
    if (parts.isEmpty())
        return m_recorder.Count() == 0 ? QStringLiteral("Choose signals to plot in the Frame Monitor's signals pane.")
                                       : QStringLiteral("No values yet.");
    const QString where = t < 0 ? QStringLiteral("Newest values") : QStringLiteral("At %1 s").arg(t, 0, 'f', 3);
    return where + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

void TPlotWindow::ShowCursorValues(double t)
{
    m_cursorTime = t;
    CursorLabel->setText(ValuesAt(t));
}

QByteArray TPlotWindow::CsvBytes() const
{
    QByteArray out = SignalCsvHeader();
    for (int i = 0; i < m_recorder.Count(); ++i) {
        const TRecordedSignal &r = m_recorder.Signal(i);
        for (qsizetype k = 0; k < r.Points.Count(); ++k)
            AppendSignalCsvRecord(out, m_recorder.OriginUs() + std::llround(r.Points.Time(k) * 1e6), r.Message, r.Signal,
                                  r.Points.Value(k), r.Unit);
    }
    return out;
}

QByteArray TPlotWindow::PngBytes()
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ChartView->grab().save(&buffer, "PNG");
    return png;
}

bool TPlotWindow::SaveAs(const QString &path, QString *error)
{
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    return SaveFileAtomically(path, csv ? CsvBytes() : PngBytes(), error);
}

void TPlotWindow::SaveAsClick()
{
    QFileDialog dialog(this, QStringLiteral("Save As"));
    dialog.setObjectName(QStringLiteral("PlotSaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList filters = {QStringLiteral("PNG image (*.png)"), QStringLiteral("CSV of every value (*.csv)")};
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString &filter) {
        dialog.setDefaultSuffix(filter == filters[1] ? QStringLiteral("csv") : QStringLiteral("png"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().constFirst();
    // A typed ending picks the format; otherwise the file-type box does.
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) && !path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += dialog.selectedNameFilter() == filters[1] ? QStringLiteral(".csv") : QStringLiteral(".png");
    QString error;
    if (!SaveAs(path, &error))
        ShowErrorReport(error);
}

bool TPlotWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && watched == ChartView->viewport())
        ++m_framesDrawn;
    return QWidget::eventFilter(watched, event);
}

void TPlotWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_dirty = true;
    m_tick.start();
    Tick();
}

void TPlotWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Still recording while hidden: the tick stops by itself once the line is quiet.
}
