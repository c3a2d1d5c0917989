// The Frame Monitor's protocols above CAN: the Protocol choice with its ISO-TP address pairs,
// the Decoded column of the lines and the Transfers view.

#include "ui/framemonitor/FrameMonitor.h"

#include "ui/framemonitor/FrameTableModel.h"
#include "ui/framemonitor/TransfersModel.h"
#include "ui/widgets/CopyableTableView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>

namespace {

struct TProtocolChoice {
    const char *text;
    TProtocol protocol;
};

const TProtocolChoice protocolChoices[] = {
    {"None", TProtocol::None},
    {"ISO-TP / UDS", TProtocol::IsoTpUds},
    {"J1939", TProtocol::J1939},
    {"CANopen", TProtocol::CanOpen},
};

} // namespace

void TFrameMonitor::BuildProtocolControls(QHBoxLayout *row)
{
    ProtocolComboBox = new QComboBox(this);
    ProtocolComboBox->setObjectName(QStringLiteral("ProtocolComboBox"));
    for (const TProtocolChoice &c : protocolChoices)
        ProtocolComboBox->addItem(QString::fromLatin1(c.text), int(c.protocol));
    ProtocolComboBox->setToolTip(QStringLiteral("Read the frames as a protocol above CAN: a Decoded column, and the Transfers view"));
    IsoTpPairsEdit = new QLineEdit(this);
    IsoTpPairsEdit->setObjectName(QStringLiteral("IsoTpPairsEdit"));
    IsoTpPairsEdit->setPlaceholderText(QStringLiteral("OBD-II pairs"));
    IsoTpPairsEdit->setToolTip(QStringLiteral("ISO-TP address pairs request:response, e.g. 7E0:7E8, 6F1:6F9; "
                                              "empty for the OBD-II pairs. 29-bit 18DA addresses are found by themselves."));
    IsoTpPairsEdit->setEnabled(false);
    auto *protocolLabel = new QLabel(QStringLiteral("P&rotocol:"), this);
    protocolLabel->setBuddy(ProtocolComboBox);
    auto *pairsLabel = new QLabel(QStringLiteral("ISO-TP &pairs:"), this);
    pairsLabel->setBuddy(IsoTpPairsEdit);
    row->addWidget(protocolLabel);
    row->addWidget(ProtocolComboBox, 1);
    row->addWidget(pairsLabel);
    row->addWidget(IsoTpPairsEdit, 1);
    connect(ProtocolComboBox, &QComboBox::currentIndexChanged, this, &TFrameMonitor::ProtocolChanged);
    connect(IsoTpPairsEdit, &QLineEdit::editingFinished, this, &TFrameMonitor::ProtocolChanged);
}

void TFrameMonitor::BuildTransfersView()
{
    m_transfers = new TTransfersModel(m_store, this);
    TransfersView = new TCopyableTableView(Views);
    TransfersView->setObjectName(QStringLiteral("TransfersView"));
    TransfersView->setAccessibleName(QStringLiteral("Transfers"));
    TransfersView->setModel(m_transfers);
    TransfersView->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics m = TransfersView->fontMetrics();
    const auto width = [&m](const char *sample) { return m.horizontalAdvance(QLatin1String(sample)) + 16; };
    TransfersView->setColumnWidth(TTransfersModel::ColStart, width("00:00:00.000"));
    TransfersView->setColumnWidth(TTransfersModel::ColProtocol, width("canopen"));
    TransfersView->setColumnWidth(TTransfersModel::ColId, width("18DAF110"));
    TransfersView->setColumnWidth(TTransfersModel::ColPeer, width("18DA10F1"));
    TransfersView->setColumnWidth(TTransfersModel::ColLength, width("Bytes"));
    TransfersView->setColumnWidth(TTransfersModel::ColData, width("62 F1 90 57 56 57 5A"));
    TransfersView->setColumnWidth(TTransfersModel::ColMeaning, width("UDS ReadDataByIdentifier response F190 (VIN)"));
    TransfersView->setColumnWidth(TTransfersModel::ColAnswer, width("Answer after"));
    Views->addWidget(TransfersView);
    ViewComboBox->addItem(QStringLiteral("Transfers"));
    // The newest transfer in sight, as the lines follow theirs.
    connect(m_transfers, &QAbstractItemModel::rowsInserted, TransfersView, [this] {
        if (Views->currentWidget() == TransfersView)
            TransfersView->scrollToBottom();
    });
}

void TFrameMonitor::ProtocolChanged()
{
    const TProtocol protocol = TProtocol(ProtocolComboBox->currentData().toInt());
    IsoTpPairsEdit->setEnabled(protocol == TProtocol::IsoTpUds);
    TProtocolOptions options;
    QString problem;
    if (!ParseIsoTpPairs(IsoTpPairsEdit->text(), options.IsoTpPairs, problem)) {
        FilterErrorLabel->setText(problem + QStringLiteral(" The ISO-TP pairs are unchanged."));
        FilterErrorLabel->show();
        options = m_transfers->Options();
    }
    if (protocol == m_transfers->Protocol() && options.IsoTpPairs.size() == m_transfers->Options().IsoTpPairs.size()
        && IsoTpPairsEdit->text() == m_isoTpPairsText)
        return;
    m_isoTpPairsText = IsoTpPairsEdit->text();
    m_frames->SetProtocol(protocol, options);
    m_transfers->SetProtocol(protocol, options);
    // Without a database the Message column a protocol brings along stays out of sight.
    FramesView->setColumnHidden(TFrameTableModel::ColMessage, protocol != TProtocol::None && !m_frames->Named());
    if (protocol != TProtocol::None) {
        // Read beside the data it decodes; the models add it last.
        QHeaderView *header = FramesView->horizontalHeader();
        header->moveSection(header->visualIndex(TFrameTableModel::ColDecoded), header->visualIndex(TFrameTableModel::ColData) + 1);
        FramesView->setColumnWidth(TFrameTableModel::ColDecoded,
                                   FramesView->fontMetrics().horizontalAdvance(
                                       QStringLiteral("ISO-TP flow control CTS, block size 0, STmin 0 ms")) + 16);
    }
    PlaceMessageColumns();
    if (!TextEdit->text().isEmpty())
        ApplyFilter(); // the decoded texts now differ
}

TFrameFilter::TFrameText TFrameMonitor::DecodedTextOfRows() const
{
    if (!m_frames || m_frames->Protocol() == TProtocol::None)
        return nullptr;
    const TFrameTableModel *frames = m_frames;
    return [frames](const TFrameStore &, qsizetype row) { return frames->DecodedText(row); };
}
