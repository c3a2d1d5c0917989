#include "ui/framemonitor/LogWindow.h"

#include "logs/LogFrameRow.h"
#include "logs/LogReader.h"
#include "monitor/FrameStore.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/framemonitor/FrameTableModel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMimeData>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

TLogLoader::TLogLoader(std::unique_ptr<TLogReader> reader, std::unique_ptr<TFrameStore> store,
                       TFrameMonitor *window, const QString &fileName)
    : QObject(window), m_reader(std::move(reader)), m_store(std::move(store)), m_window(window), m_fileName(fileName)
{
    setObjectName(QStringLiteral("LogLoader"));
    m_progress = new QProgressDialog(QStringLiteral("Reading %1...").arg(fileName), QStringLiteral("Cancel"), 0, 1000, window);
    m_progress->setObjectName(QStringLiteral("LogProgress"));
    m_progress->setWindowTitle(QStringLiteral("Open Log"));
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setMinimumDuration(300);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connect(m_progress, &QProgressDialog::canceled, this, &TLogLoader::Cancel);
    QTimer::singleShot(0, this, &TLogLoader::Step);
}

void TLogLoader::Step()
{
    // One batch a turn of the event loop: the window paints and takes input between them.
    if (ReadBatch())
        QTimer::singleShot(0, this, &TLogLoader::Step);
}

TLogLoader::~TLogLoader() = default;

bool TLogLoader::ReadBatch()
{
    if (!m_loading)
        return false;
    TLogFrame f;
    TFrameRow row;
    const int most = m_batches++ == 0 ? FirstBatchFrames : BatchFrames;
    QElapsedTimer turn;
    turn.start();
    int n = 0;
    bool more = true;
    while (n < most && !(n % 256 == 0 && n > 0 && turn.elapsed() >= BatchMs) && (more = m_reader->Next(f))) {
        ++n;
        ++m_frames;
        if (!LogFrameToRow(f, m_line, row)) {
            ++m_leftOut;
            continue;
        }
        // As the module would have sent it: its line and CR, at the log's time.
        m_line += '\r';
        m_store->Append(m_line, f.TimeUs);
    }
    m_window->StoreGrew();
    if (m_batches == 1)
        m_window->UpdateCounts(); // with the first rows, not half a second after them
    const qint64 total = m_reader->TotalBytes();
    if (total > 0)
        m_progress->setValue(int(std::min<qint64>(1000, m_reader->BytesRead() * 1000 / total)));
    if (!more) {
        m_problem = m_reader->Problem();
        Finish();
        return false;
    }
    return true;
}

void TLogLoader::Cancel()
{
    if (!m_loading)
        return;
    m_problem = QStringLiteral("cancelled");
    Finish();
}

void TLogLoader::Finish()
{
    m_loading = false;
    m_progress->hide();
    m_progress->deleteLater();
    m_progress = nullptr;
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
    std::unique_ptr<TLogReader> reader = OpenLogReader(path, problem);
    if (!reader)
        return nullptr;
    auto store = std::make_unique<TFrameStore>();
    auto *window = new TFrameMonitor(store.get());
    window->setAttribute(Qt::WA_DeleteOnClose);
    const QString name = QFileInfo(path).fileName();
    window->setWindowTitle(QStringLiteral("%1 - Frame Monitor").arg(name));
    // Made last, so it and the store go after the window's models.
    new TLogLoader(std::move(reader), std::move(store), window, name);
    window->show();
    return window;
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
