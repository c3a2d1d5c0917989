#include "ui/main/StatusPanel.h"

#include <QFontMetrics>

TStatusPanel::TStatusPanel(QWidget *parent) : QLabel(parent) {}

void TStatusPanel::setText(const QString &text)
{
    m_text = text;
    // The reader's name, not a role name: without it the panel's text is never announced.
    setAccessibleName(text);
    showFitted();
}

void TStatusPanel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    showFitted();
}

void TStatusPanel::showFitted()
{
    // The panel's text is left-aligned: the indent takes room on the left only.
    const int room = contentsRect().width() - std::max(indent(), 0);
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideMiddle, std::max(room, 0));
    QLabel::setText(shown);
    setToolTip(shown == m_text ? QString() : m_text);
}
