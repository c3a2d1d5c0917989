#pragma once
// The list box of received lines. It draws only the rows in sight and asks the model nothing
// about the others, so a new row costs the same with ten rows listed or ten million. (A
// QListView lays out every row again on each insertion, which makes a long session slower and
// slower.) One row can be selected with the mouse or the keys, as in a list box.

#include "ui/widgets/AsciiGlyphs.h"

#include <QAbstractScrollArea>

class TReceiveModel;

class TReceiveListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TReceiveListView(QWidget *parent = nullptr);

    void setModel(TReceiveModel *model);
    TReceiveModel *model() const { return m_model; }

    int RowHeight() const;
    // The selected row, or -1.
    int CurrentRow() const { return m_current; }
    void SetCurrentRow(int row);
    // The first row at the top of the view.
    int TopRow() const;
    int VisibleRows() const;

public slots:
    void scrollToBottom();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateScrollBars();
    // Back to no selection and no measured width: a new model, or the model emptied.
    void ForgetRows();
    void MeasureNarrowestGlyph();
    int Rows() const;

    TReceiveModel *m_model = nullptr;
    int m_current = -1;
    int m_widestRow = -1; // the row the horizontal range was measured on
    int m_contentWidth = 0;
    int m_narrowestGlyph = 1; // pixels; bounds how many bytes a row can show
    TAsciiGlyphs m_glyphs;
};
