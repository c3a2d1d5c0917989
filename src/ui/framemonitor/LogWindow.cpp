#include "ui/framemonitor/LogWindow.h"

#include "common/InputFile.h"
#include "logs/LogFrameRow.h"
#include "logs/LogReader.h"
#include "monitor/FrameStore.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/framemonitor/FrameTableModel.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

#include <condition_variable>
#include <mutex>
#include <utility>

// What the reading thread hands to the window.
struct TLogLoader::TShared {
    std::mutex mutex;
    std::condition_variable room; // the window took the lines, or the reading is to stop
    QByteArray lines;             // module lines with their CRs, back to back
    std::vector<int64_t> times;   // each line's time
    std::vector<uint8_t> sizes;   // each line's length
    uint64_t frames = 0;          // frames since the window last took them, left out ones too
    uint64_t leftOut = 0;
    qint64 bytesRead = 0;
    bool told = false; // the window has been told and has not taken them yet
    bool done = false; // the log is read to its end, or to a problem
    bool stop = false;
    bool opened = false;  // the format is told
    bool refused = false; // the input is no log: `problem` says why
    QString problem;
};

TLogLoader::TLogLoader(std::unique_ptr<TLogReader> reader, TLogInputPtr input,
                       std::unique_ptr<TInputCancelFlag> cancel, std::unique_ptr<TFrameStore> store,
                       TFrameMonitor *window, const QString &fileName)
    : QObject(window), m_cancel(std::move(cancel)), m_input(std::move(input)), m_reader(std::move(reader)),
      m_store(std::move(store)), m_shared(std::make_unique<TShared>()), m_window(window), m_fileName(fileName)
{
    setObjectName(QStringLiteral("LogLoader"));
    m_opening = !m_reader;
    m_totalBytes = m_reader ? m_reader->TotalBytes() : -1; // only a pipe is opened on the thread
    const QString label = m_opening ? QStringLiteral("Waiting for %1...") : QStringLiteral("Reading %1...");
    m_progress = new QProgressDialog(label.arg(fileName), QStringLiteral("Cancel"), 0, 1000, window);
    m_progress->setObjectName(QStringLiteral("LogProgress"));
    m_progress->setWindowTitle(QStringLiteral("Open Log"));
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setMinimumDuration(300);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    if (m_totalBytes <= 0)
        m_progress->setRange(0, 0); // a pipe: busy, with no share to show
    // Shows itself once the reading has taken longer than its minimum duration, also when no
    // share is ever told (a pipe).
    m_progress->setValue(0);
    connect(m_progress, &QProgressDialog::canceled, this, &TLogLoader::Cancel);
    m_thread = std::thread([this] { Read(); });
}

TLogLoader::~TLogLoader()
{
    StopReading();
}

void TLogLoader::Read()
{
    if (!m_reader) {
        // Waits for the pipe's first bytes, or for the cancel hook.
        QString problem;
        std::unique_ptr<TLogReader> reader = OpenLogReader(std::move(m_input), problem);
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->stop)
            return;
        m_shared->opened = true;
        if (!reader) {
            m_shared->done = true;
            m_shared->refused = true;
            m_shared->problem = problem;
            m_shared->told = true;
            QMetaObject::invokeMethod(this, &TLogLoader::TakeLines, Qt::QueuedConnection);
            return;
        }
        m_reader = std::move(reader);
    }
    TLogFrame f;
    TFrameRow row;
    QByteArray line;
    for (;;) {
        const bool more = m_reader->Next(f);
        const bool carried = more && LogFrameToRow(f, line, row);
        if (carried)
            line += '\r'; // as the module would have sent it
        std::unique_lock lock(m_shared->mutex);
        if (m_shared->stop)
            return;
        if (!more) {
            m_shared->done = true;
            m_shared->problem = m_reader->Problem();
        } else if (carried) {
            m_shared->lines += line;
            m_shared->times.push_back(f.TimeUs);
            m_shared->sizes.push_back(uint8_t(line.size()));
        } else {
            ++m_shared->leftOut;
        }
        if (more)
            ++m_shared->frames;
        m_shared->bytesRead = m_reader->BytesRead();
        if (!m_shared->told) {
            m_shared->told = true;
            QMetaObject::invokeMethod(this, &TLogLoader::TakeLines, Qt::QueuedConnection);
        }
        if (!more)
            return;
        m_shared->room.wait(lock, [this] { return m_shared->stop || m_shared->frames < uint64_t(BatchFrames); });
    }
}

void TLogLoader::TakeLines()
{
    if (!m_loading)
        return;
    uint64_t frames = 0;
    uint64_t leftOut = 0;
    qint64 bytesRead = 0;
    bool done = false;
    bool opened = false;
    bool refused = false;
    {
        std::lock_guard lock(m_shared->mutex);
        // The buffers change hands: the reader goes on in the ones just emptied.
        m_lines.swap(m_shared->lines);
        m_times.swap(m_shared->times);
        m_sizes.swap(m_shared->sizes);
        frames = std::exchange(m_shared->frames, 0);
        leftOut = std::exchange(m_shared->leftOut, 0);
        bytesRead = m_shared->bytesRead;
        done = m_shared->done;
        opened = m_shared->opened;
        refused = m_shared->refused;
        m_shared->told = false;
        if (done)
            m_problem = m_shared->problem;
    }
    m_shared->room.notify_one();
    if (refused) {
        Refuse();
        return;
    }
    if (m_opening && opened) {
        m_opening = false;
        m_progress->setLabelText(QStringLiteral("Reading %1...").arg(m_fileName));
    }
    ++m_batches;
    const char *p = m_lines.constData();
    for (size_t i = 0; i < m_times.size(); ++i) {
        m_store->Append(p, m_sizes[i], m_times[i]);
        p += m_sizes[i];
    }
    m_lines.resize(0);
    m_times.clear();
    m_sizes.clear();
    m_frames += frames;
    m_leftOut += leftOut;
    m_window->StoreGrew();
    if (m_batches == 1)
        m_window->UpdateCounts(); // with the first rows, not half a second after them
    if (m_totalBytes > 0)
        m_progress->setValue(int(std::min<qint64>(1000, bytesRead * 1000 / m_totalBytes)));
    if (done)
        Finish();
}

void TLogLoader::StopReading()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stop = true;
    }
    m_shared->room.notify_all();
    m_cancel->Raise(); // a read waiting on a pipe returns now
    if (m_thread.joinable())
        m_thread.join();
}

void TLogLoader::Cancel()
{
    if (!m_loading)
        return;
    m_problem = QStringLiteral("cancelled");
    Finish();
}

void TLogLoader::DropProgress()
{
    m_progress->reset(); // its timer to show itself stops
    m_progress->hide();
    m_progress->deleteLater();
    m_progress = nullptr;
}

void TLogLoader::Refuse()
{
    m_loading = false;
    m_opening = false;
    StopReading();
    DropProgress();
    emit Finished();
    // As a log refused before its window opened: no window, the problem in a message box, shown
    // once this turn is over (a box must not run inside it).
    QTimer::singleShot(0, qApp, [problem = m_problem] { ShowMessageBox(TMsgType::Error, problem); });
    m_window->close();
}

void TLogLoader::Finish()
{
    m_loading = false;
    m_opening = false;
    StopReading();
    DropProgress();
    QString title = QStringLiteral("%1 - Frame Monitor").arg(m_fileName);
    if (m_store->Dropped() > 0)
        title += QStringLiteral(" (the last %1 of %2 frames)").arg(m_store->Count()).arg(m_frames - m_leftOut);
    if (m_leftOut > 0)
        title += QStringLiteral(" (%1 CAN FD or error frames left out)").arg(m_leftOut);
    if (!m_problem.isEmpty())
        title += QStringLiteral(" - stopped: %1").arg(m_problem);
    m_window->setWindowTitle(title);
    // The last rows show with the title that counts them.
    m_window->Frames()->ShowNow();
    m_window->UpdateCounts();
    emit Finished();
}

TFrameMonitor *OpenLogWindow(const QString &path, QString &problem)
{
    auto cancel = std::make_unique<TInputCancelFlag>();
    TLogInputPtr input = OpenLogInput(path, problem, cancel.get());
    if (!input)
        return nullptr;
    std::unique_ptr<TLogReader> reader;
    // A file's first bytes are there to be read; a pipe's may be long in coming, so they are
    // awaited on the reading thread with the window shown and its Cancel at hand.
    if (!LogInputIsPipe(*input)) {
        reader = OpenLogReader(std::move(input), problem);
        if (!reader)
            return nullptr;
    }
    auto store = std::make_unique<TFrameStore>();
    auto *window = new TFrameMonitor(store.get());
    window->setAttribute(Qt::WA_DeleteOnClose);
    const QString name = LogWindowName(path);
    window->setWindowTitle(QStringLiteral("%1 - Frame Monitor").arg(name));
    // Made last, so it and the store go after the window's models.
    new TLogLoader(std::move(reader), std::move(input), std::move(cancel), std::move(store), window, name);
    window->show();
    return window;
}

QString LogWindowName(const QString &path)
{
    if (path == QLatin1String("-"))
        return QStringLiteral("standard input");
    // A descriptor's path: its last part ("63", "stdin") says nothing, and the whole path is the
    // name the log's problems are told with.
    if (path.startsWith(QLatin1String("/dev/")) || path.startsWith(QLatin1String("/proc/")))
        return path;
    return QFileInfo(path).fileName();
}

TLogLoader *LogLoaderOf(TFrameMonitor *window)
{
    return window ? window->findChild<TLogLoader *>(QStringLiteral("LogLoader"), Qt::FindDirectChildrenOnly) : nullptr;
}

void AskAndOpenLog(QWidget *parent)
{
    QFileDialog dialog(parent, QStringLiteral("Open Log"));
    dialog.setObjectName(QStringLiteral("LogOpenDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({QStringLiteral("CAN logs (*.log *.asc *.blf *.trc *.pcap *.pcapng *.csv)"),
                           QStringLiteral("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString problem;
    if (!OpenLogWindow(dialog.selectedFiles().first(), problem))
        ShowMessageBox(TMsgType::Error, problem);
}

namespace {

// Takes the drag and drop events of the window it filters.
class TLogDropFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::DragEnter) {
            auto *e = static_cast<QDragEnterEvent *>(event);
            if (!LocalFiles(e->mimeData()).isEmpty()) {
                e->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto *e = static_cast<QDropEvent *>(event);
            const QStringList files = LocalFiles(e->mimeData());
            if (!files.isEmpty()) {
                e->acceptProposedAction();
                // Opened once the drop has returned: a message box must not run inside it.
                QTimer::singleShot(0, this, [files] {
                    for (const QString &file : files) {
                        QString problem;
                        if (!OpenLogWindow(file, problem))
                            ShowMessageBox(TMsgType::Error, problem);
                    }
                });
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static QStringList LocalFiles(const QMimeData *mime)
    {
        QStringList files;
        if (mime && mime->hasUrls())
            for (const QUrl &url : mime->urls())
                if (url.isLocalFile())
                    files << url.toLocalFile();
        return files;
    }
};

} // namespace

void AcceptLogDrops(QWidget *window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(new TLogDropFilter(window));
}
