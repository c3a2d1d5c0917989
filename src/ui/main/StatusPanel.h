#pragma once
// One panel of the main window's status bar. A screen reader gets the panel's whole text as its
// name, following every change; a text wider than the panel is shown elided in the middle (a
// device path keeps its start and its end) with the whole text as the tooltip.

#include <QLabel>
#include <QString>

class TStatusPanel : public QLabel {
    Q_OBJECT

public:
    explicit TStatusPanel(QWidget *parent = nullptr);

    // Hide QLabel's: every text goes through the panel's own handling (callers hold a TStatusPanel).
    QString text() const { return m_text; }
    void setText(const QString &text);
    void clear() { setText(QString()); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showFitted();

    QString m_text;
};
