#pragma once
// The About box: a borderless, stay-on-top box that shows the utility's version and the module's
// state as they stand when it is opened. A click anywhere or any key closes it.

#include <QDialog>
#include <QString>
#include <cstdint>

class QFrame;
class QLabel;

// What the box shows from the main window, copied when the box is created.
struct TAboutInfo {
    QString UtilityVersion;
    QString FirmwareVersion;
    bool Connected = false;
    int32_t ModuleMode = 0;
};

class TAboutBoxForm : public QDialog
{
    Q_OBJECT

public:
    TAboutBoxForm(QWidget *owner, const TAboutInfo &info); // runs FormCreate

    void FormCreate(QObject *sender);
    void Panel1Click(QObject *sender);
    void FormKeyDown(QObject *sender, int key, Qt::KeyboardModifiers shift);

    QFrame *Panel1 = nullptr;
    QFrame *Panel2 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *UtilityVersionLabel = nullptr;
    QFrame *Panel3 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *ConnectLabel = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *FirmwareVersionLabel = nullptr;
    QLabel *StatusLabel = nullptr;
    QLabel *ExecutionLabel = nullptr;
    QLabel *Image2 = nullptr;
    QLabel *Label5 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *addLabel(const char *name, int left, int top, const QString &text);
    QLabel *addPicture(const char *name, int left, int top, const QString &resource);

    const TAboutInfo Info;
};

// The module-mode text shown in the box.
QString ExecutionStatusText(int32_t moduleMode);
