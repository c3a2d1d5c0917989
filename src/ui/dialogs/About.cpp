#include "ui/dialogs/About.h"

#include "common/Branding.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/widgets/JpegImage.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>

namespace {

const QColor kTextBlue(0, 0, 255);

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Labels grow with their text, so no text is ever cut off at a fixed width.
void setLabelText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->adjustSize();
}

QFont boldFont(int pixelSize, bool italic = false)
{
    QFont font = StandardFont(pixelSize);
    font.setBold(true);
    font.setItalic(italic);
    return font;
}

}

QString ExecutionStatusText(int32_t moduleMode)
{
    switch (moduleMode) {
    case 1:
        return QStringLiteral("Setting Mode");
    case 2:
        return QStringLiteral("Operation Mode");
    case 3:
        return QStringLiteral("Pair Connection Test Mode");
    default:
        return QStringLiteral("None");
    }
}

TAboutBoxForm::TAboutBoxForm(QWidget *owner, const TAboutInfo &info)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), Info(info)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About TERAVOX"));
    setFixedSize(312, 231);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 312, 231);
    setBackground(Panel1, Qt::black);

    Panel2 = new QFrame(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(3, 3, 306, 225);
    setBackground(Panel2, Qt::white);
    setTextColour(Panel2, kTextBlue);
    Panel2->setFont(StandardFont(11));

    Image1 = addPicture("Image1", 20, 12, QStringLiteral(":/pictures/module.jpg"));

    Label2 = addLabel("Label2", 68, 24, QStringLiteral("K-3316 Utility"));
    Label2->setFont(boldFont(27, true));
    Label1 = addLabel("Label1", 240, 40, QStringLiteral("Ver:"));
    Label1->setFont(StandardFont(13));
    UtilityVersionLabel = addLabel("UtilityVersionLabel", 267, 40, QStringLiteral("1.00"));
    UtilityVersionLabel->setFont(StandardFont(13));

    Panel3 = new QFrame(Panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(64, 62, 230, 1);
    setBackground(Panel3, Qt::black);

    // The title colour of the desktop's active windows.
    const QColor captionColour = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    Label3 = addLabel("Label3", 80, 72, QStringLiteral("RS-232 to CAN "));
    Label3->setFont(boldFont(21));
    setTextColour(Label3, captionColour);
    Label6 = addLabel("Label6", 152, 96, QStringLiteral("Converter"));
    Label6->setFont(boldFont(21));
    setTextColour(Label6, captionColour);

    Label7 = addLabel("Label7", 8, 128, QStringLiteral("Connect Status:"));
    ConnectLabel = addLabel("ConnectLabel", 96, 128, QStringLiteral("Not Connected"));
    Label8 = addLabel("Label8", 8, 150, QStringLiteral("Frimware Ver:"));
    FirmwareVersionLabel = addLabel("FirmwareVersionLabel", 96, 150, QStringLiteral("0.00"));
    StatusLabel = addLabel("StatusLabel", 8, 172, QStringLiteral("Execution Status:"));
    ExecutionLabel = addLabel("ExecutionLabel", 96, 172, QStringLiteral("None"));

    Image2 = addPicture("Image2", 188, 144, QStringLiteral(":/pictures/logo.jpg"));

    Label5 = addLabel("Label5", 61, 200, CopyrightLine(QStringLiteral("TERAVOX")));
    Label5->setFont(StandardFont(11));
    setTextColour(Label5, Qt::black);

    // The pictures stay beneath every text: the value and copyright lines may reach into the
    // logo's white margin and must be drawn over it, not hidden by it.
    Image2->lower();
    Image1->lower();

    // Fonts were set after the design texts; size every label to its final font.
    for (QLabel *label : Panel2->findChildren<QLabel *>())
        if (label->pixmap().isNull())
            label->adjustSize();

    // Every part of the box closes it on a click.
    Panel1->installEventFilter(this);
    Panel2->installEventFilter(this);
    Panel3->installEventFilter(this);
    for (QLabel *label : Panel2->findChildren<QLabel *>())
        label->installEventFilter(this);

    FormCreate(this);
}

QLabel *TAboutBoxForm::addLabel(const char *name, int left, int top, const QString &text)
{
    auto *label = new QLabel(Panel2);
    label->setObjectName(QString::fromLatin1(name));
    // Module texts are shown as they came, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setMargin(0);
    label->move(left, top);
    setLabelText(label, text);
    return label;
}

QLabel *TAboutBoxForm::addPicture(const char *name, int left, int top, const QString &resource)
{
    auto *label = new QLabel(Panel2);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);

    const QImage image = LoadJpegResource(resource);
    if (image.isNull()) {
        label->hide();
        return label;
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    // On a 200% screen use the picture drawn at twice the size, shown in the same place.
    const qreal ratio = parentWidget() ? parentWidget()->devicePixelRatioF() : qApp->devicePixelRatio();
    if (ratio > 1.0) {
        QString sharp = resource;
        sharp.insert(sharp.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        const QImage twice = LoadJpegResource(sharp);
        if (twice.size() == image.size() * 2) {
            pixmap = QPixmap::fromImage(twice);
            pixmap.setDevicePixelRatio(2.0);
        }
    }
    label->setPixmap(pixmap);
    label->resize(image.size());
    return label;
}

void TAboutBoxForm::FormCreate(QObject *)
{
    setLabelText(UtilityVersionLabel, Info.UtilityVersion);
    setLabelText(FirmwareVersionLabel, Info.FirmwareVersion);
    setLabelText(ConnectLabel, Info.Connected ? QStringLiteral("Connectied") : QStringLiteral("Not Connected"));
    setLabelText(ExecutionLabel, ExecutionStatusText(Info.ModuleMode));
}

void TAboutBoxForm::Panel1Click(QObject *)
{
    accept();
}

void TAboutBoxForm::FormKeyDown(QObject *, int, Qt::KeyboardModifiers)
{
    accept();
}

bool TAboutBoxForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        // A click is a left press and release over the same control.
        if (mouse->button() == Qt::LeftButton && widget && widget->rect().contains(mouse->position().toPoint())) {
            Panel1Click(watched);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBoxForm::keyPressEvent(QKeyEvent *event)
{
    // Every key, Escape and Enter included, closes the box with Ok.
    FormKeyDown(this, event->key(), event->modifiers());
    event->accept();
}

void TAboutBoxForm::showEvent(QShowEvent *event)
{
    // Centred on the desktop, not over the owner.
    QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect box = frameGeometry();
        box.moveCenter(screen->geometry().center());
        move(box.topLeft());
    }
    QDialog::showEvent(event);
}
