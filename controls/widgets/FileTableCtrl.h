#pragma once
// The file table of the file-list panel: one row per registered image, an
// optional thumbnail under the file name, grid lines, a header with a sort
// arrow, and row heights of 20, 80 and 180 pixels for the three display
// modes. Rows without an entry (the panel keeps at least 40 rows) show
// nothing, cannot be selected, and swallow clicks.
//
// The panel fills a CFileTableModel: per row the entry (not owned, or
// null), the column texts and a check state (Qt::CheckStateRole on column
// 0). The table draws the rows itself (CFileTableDelegate) and reports
// through notify (code, value):
//   (4, row)    a click on a row with an entry;
//   (0, row)    a double click on a row, or the row SelectPrevItem /
//               SelectNextItem moved to;
//   (1, row)    the user toggled the row's check box;
//   (2, column) a click on a column heading;
//   (3, row)    the current row moved by keyboard to a row with an entry,
//               which is to be shown.

#include "controls/support/NotifyMessage.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <string>
#include <vector>

class CImageFileInfo;

class CFileTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CFileTableModel(QObject* parent = nullptr);

    // A column with its heading and the alignment of its texts, inserted
    // before `column` (appended when column is out of range).
    void insertHeading(int column, const QString& heading, Qt::Alignment alignment);
    Qt::Alignment columnAlignment(int column) const;
    QString heading(int column) const;

    // Rows are added blank (no entry, no texts, unchecked) or removed at
    // the end.
    void setRowTotal(int rows);
    void setRow(int row, const CImageFileInfo* entry, const QStringList& texts, bool checked);
    void setEntry(int row, const CImageFileInfo* entry);
    void setText(int row, int column, const QString& text);
    void setChecked(int row, bool checked);

    const CImageFileInfo* entry(int row) const;
    QString text(int row, int column) const;
    bool isChecked(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Column
    {
        QString heading;
        Qt::Alignment alignment;
    };
    struct Row
    {
        const CImageFileInfo* entry = nullptr;
        QStringList texts;
        bool checked = false;
    };
    bool validRow(int row) const { return row >= 0 && row < static_cast<int>(m_rows.size()); }

    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
};

class CFileTableCtrl;

// Draws one cell of a row: the background (selection colours from the
// palette), the grid lines in 0x7F7F7F, the thumbnail, the check box of
// column 0, and the text in the top 20 pixels.
class CFileTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit CFileTableDelegate(CFileTableCtrl* table);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The table handles check box clicks itself.
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    CFileTableCtrl* m_table;
};

// The header: each heading on the button colour, and the sort arrow in the
// sort column.
class CFileTableHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit CFileTableHeader(CFileTableCtrl* table);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    CFileTableCtrl* m_table;
};

class CFileTableCtrl : public QTableView, public NotifyMessageSupport<CFileTableCtrl>
{
    Q_OBJECT
public:
    explicit CFileTableCtrl(QWidget* parent = nullptr);

    int DisplayMode = 0; // 0 text rows, 1 small thumbnails, 2 large thumbnails
    // The thumbnail of a row; a null image draws none.
    std::function<QImage(int row)> ThumbnailProvider;
    int SortColumn = -1; // column that shows the sort arrow, -1 none
    bool SortFlag = false; // the arrow: icon 178 when set, else 179
    // The row count the previous button wraps to above the first row. It
    // follows the model's row count after every change of the model; the
    // owner may set it lower (to the number of entries) afterwards.
    int RowCount = 0;

    CFileTableModel* fileModel() const { return m_model; }

    void InsertColumn(int column, const QString& heading, Qt::Alignment format, int width);
    // Row height by mode, keeping the same row at the top.
    void SetItemHeight(int mode);
    // Only with exactly one row selected: moves the selection to the row
    // above (wrapping to RowCount - 1) or below, unless that row's box is
    // unchecked; then (0, target).
    void SelectPrevItem();
    void SelectNextItem();
    void SelectItem(const CImageFileInfo& entry);
    // Selects every row whose entry has exactly this path and returns the
    // last, or -1 (the selection unchanged) when none has.
    int SelectItemByPath(const std::string& path);
    // Repaints the header after SortColumn or SortFlag changed.
    void RedrawHeader();

    // The check box of a row's first cell, in viewport coordinates.
    QRect checkBoxRect(const QRect& cell) const;
    // The width the first column needs to show `text` whole after its
    // check box, with a blank's margin before the grid line.
    int firstColumnWidthFor(const QString& text) const;

signals:
    void notify(int message, int code, qint64 value);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void stepSelection(bool up);
    void followRowCount();

    CFileTableModel* m_model;
    CFileTableDelegate* m_delegate;
    bool m_keyboardMove = false;
};
