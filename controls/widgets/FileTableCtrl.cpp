#include "controls/widgets/FileTableCtrl.h"

#include "controls/support/ColorRef.h"
#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/FileTableLogic.h"
#include "imagefile/ImageFileInfo.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace {

constexpr int kCheckBoxSide = 13;
constexpr int kSortIconSide = 16;
constexpr int kHeadingLimit = 128;

QColor GridColor()
{
    return ColorFromRef(0x7F7F7F);
}

// The text box of a cell: the top 20 pixels, one space width in from the
// left.
QRect TextBox(const QRect& cell, int indent)
{
    return QRect(cell.left() + indent, cell.top(), std::max(cell.width() - indent, 0),
                 std::min(cell.height(), filetable::kTextRowHeight));
}

} // namespace

// ---- model ----------------------------------------------------------------

CFileTableModel::CFileTableModel(QObject* parent) : QAbstractTableModel(parent)
{
}

void CFileTableModel::insertHeading(int column, const QString& heading, Qt::Alignment alignment)
{
    const int count = static_cast<int>(m_columns.size());
    if (column < 0 || column > count)
        column = count;
    beginInsertColumns(QModelIndex(), column, column);
    m_columns.insert(m_columns.begin() + column, Column{heading, alignment});
    for (Row& row : m_rows)
        if (column <= row.texts.size())
            row.texts.insert(column, QString());
    endInsertColumns();
}

Qt::Alignment CFileTableModel::columnAlignment(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return Qt::AlignLeft;
    return m_columns[static_cast<std::size_t>(column)].alignment;
}

QString CFileTableModel::heading(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return {};
    return m_columns[static_cast<std::size_t>(column)].heading;
}

void CFileTableModel::setRowTotal(int rows)
{
    rows = std::max(rows, 0);
    const int count = static_cast<int>(m_rows.size());
    if (rows > count)
    {
        beginInsertRows(QModelIndex(), count, rows - 1);
        m_rows.resize(static_cast<std::size_t>(rows));
        endInsertRows();
    }
    else if (rows < count)
    {
        beginRemoveRows(QModelIndex(), rows, count - 1);
        m_rows.resize(static_cast<std::size_t>(rows));
        endRemoveRows();
    }
}

void CFileTableModel::setRow(int row, const CImageFileInfo* entry, const QStringList& texts, bool checked)
{
    if (!validRow(row))
        return;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    r.entry = entry;
    r.texts = texts;
    r.checked = checked;
    emit dataChanged(index(row, 0), index(row, std::max(columnCount() - 1, 0)));
}

void CFileTableModel::setEntry(int row, const CImageFileInfo* entry)
{
    if (!validRow(row))
        return;
    m_rows[static_cast<std::size_t>(row)].entry = entry;
    emit dataChanged(index(row, 0), index(row, std::max(columnCount() - 1, 0)));
}

void CFileTableModel::setText(int row, int column, const QString& text)
{
    if (!validRow(row) || column < 0 || column >= columnCount())
        return;
    QStringList& texts = m_rows[static_cast<std::size_t>(row)].texts;
    while (texts.size() <= column)
        texts.append(QString());
    texts[column] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void CFileTableModel::setChecked(int row, bool checked)
{
    if (!validRow(row) || m_rows[static_cast<std::size_t>(row)].checked == checked)
        return;
    m_rows[static_cast<std::size_t>(row)].checked = checked;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

const CImageFileInfo* CFileTableModel::entry(int row) const
{
    return validRow(row) ? m_rows[static_cast<std::size_t>(row)].entry : nullptr;
}

QString CFileTableModel::text(int row, int column) const
{
    if (!validRow(row))
        return {};
    const QStringList& texts = m_rows[static_cast<std::size_t>(row)].texts;
    return column >= 0 && column < texts.size() ? texts[column] : QString();
}

bool CFileTableModel::isChecked(int row) const
{
    return validRow(row) && m_rows[static_cast<std::size_t>(row)].checked;
}

int CFileTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CFileTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CFileTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !validRow(index.row()))
        return {};
    switch (role)
    {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::CheckStateRole:
        if (index.column() == 0)
            return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(index.column()));
    default:
        return {};
    }
}

bool CFileTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || !validRow(index.row()))
        return false;
    if (role == Qt::CheckStateRole && index.column() == 0)
    {
        setChecked(index.row(), value.toInt() == Qt::Checked);
        return true;
    }
    if (role == Qt::EditRole || role == Qt::DisplayRole)
    {
        setText(index.row(), index.column(), value.toString());
        return true;
    }
    return false;
}

Qt::ItemFlags CFileTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Rows without an entry can be current (the keyboard passes over them)
    // but never selected.
    if (entry(index.row()) == nullptr)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant CFileTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return heading(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(section));
    return {};
}

// ---- delegate ---------------------------------------------------------------

CFileTableDelegate::CFileTableDelegate(CFileTableCtrl* table) : QStyledItemDelegate(table), m_table(table)
{
}

QSize CFileTableDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    return QSize(m_table->columnWidth(index.column()), filetable::RowHeight(m_table->DisplayMode));
}

bool CFileTableDelegate::editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&,
                                     const QModelIndex&)
{
    return false;
}

void CFileTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const CFileTableModel* model = m_table->fileModel();
    const int row = index.row();
    const int column = index.column();
    const QRect cell = option.rect;
    const QPalette& palette = m_table->palette();
    const CImageFileInfo* entry = model->entry(row);

    painter->save();
    painter->setClipRect(cell);

    // Background: the window colour; a selected row on the highlight while
    // the table has the focus, on the button colour otherwise.
    QColor background = palette.color(QPalette::Base);
    QColor textColor = palette.color(QPalette::Text);
    if (option.state & QStyle::State_Selected)
    {
        if (m_table->hasFocus())
        {
            background = palette.color(QPalette::Highlight);
            textColor = palette.color(QPalette::HighlightedText);
        }
        else
        {
            background = palette.color(QPalette::Button);
            textColor = palette.color(QPalette::ButtonText);
        }
    }
    painter->fillRect(cell, background);

    // Grid: along the bottom of every cell, and between columns (the pixel
    // left of each column but the first is the previous cell's last one).
    painter->setPen(GridColor());
    painter->drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
    if (column + 1 < model->columnCount())
        painter->drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());

    if (column == filetable::kThumbnailColumn && m_table->DisplayMode != 0 && m_table->ThumbnailProvider)
    {
        const QImage thumbnail = m_table->ThumbnailProvider(row);
        if (!thumbnail.isNull())
        {
            const filetable::Box box = filetable::FitThumbnail(
                {cell.left(), cell.top(), cell.width(), cell.height()}, thumbnail.width(), thumbnail.height());
            if (box.width > 0 && box.height > 0)
                painter->drawImage(QRect(box.x, box.y, box.width, box.height), thumbnail);
        }
    }

    const int space = m_table->fontMetrics().horizontalAdvance(QLatin1Char(' '));
    QRect textBox = TextBox(cell, space);
    if (column == 0 && entry != nullptr)
    {
        QStyleOptionViewItem box;
        box.initFrom(m_table);
        box.rect = m_table->checkBoxRect(cell);
        box.state = QStyle::State_Enabled | (model->isChecked(row) ? QStyle::State_On : QStyle::State_Off);
        m_table->style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, m_table);
        textBox.setLeft(box.rect.right() + 1 + space);
    }

    QString text = model->text(row, column);
    if (!text.isEmpty())
    {
        QFont font = m_table->font();
        if (column == filetable::kFileNameColumn && entry != nullptr)
        {
            const filetable::NameMarking marking =
                filetable::MarkFileName(entry->m_type, entry->m_error, entry->m_state);
            if (marking.prefixString != 0)
                text.prepend(LoadString(marking.prefixString));
            font.setStrikeOut(marking.strikeOut);
        }
        painter->setFont(font);
        painter->setPen(textColor);
        const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, textBox.width());
        const Qt::Alignment horizontal = model->columnAlignment(column) & Qt::AlignHorizontal_Mask;
        painter->drawText(textBox, static_cast<int>(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), shown);
    }
    painter->restore();
}

// ---- header -------------------------------------------------------------------

CFileTableHeader::CFileTableHeader(CFileTableCtrl* table) : QHeaderView(Qt::Horizontal, table), m_table(table)
{
    setSectionsClickable(true);
    setHighlightSections(false);
}

void CFileTableHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    painter->setClipRect(rect);
    painter->fillRect(rect, palette().color(QPalette::Button));
    painter->setPen(GridColor());
    painter->drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());

    const CFileTableModel* model = m_table->fileModel();
    const QString heading = model->heading(logicalIndex).left(kHeadingLimit);
    const QFontMetrics metrics(font());
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    const QRect textBox(rect.left() + space, rect.top(), std::max(rect.width() - space, 0), rect.height());
    const Qt::Alignment horizontal = model->columnAlignment(logicalIndex) & Qt::AlignHorizontal_Mask;
    painter->setPen(palette().color(QPalette::ButtonText));
    const QString shown = metrics.elidedText(heading, Qt::ElideRight, textBox.width());
    QRect drawn;
    painter->drawText(textBox, static_cast<int>(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), shown, &drawn);

    if (logicalIndex == m_table->SortColumn)
    {
        // 16 pixels from the right edge, or just after the heading when
        // the heading reaches under it.
        int x = rect.right() + 1 - kSortIconSide;
        if (!shown.isEmpty() && drawn.right() + 1 > x)
            x = drawn.right() + 1;
        const QIcon icon = LoadIconResource(m_table->SortFlag ? kIconSortSet : kIconSortClear);
        const int y = rect.top() + (rect.height() - kSortIconSide) / 2;
        icon.paint(painter, QRect(x, y, kSortIconSide, kSortIconSide));
    }
    painter->restore();
}

// ---- table ----------------------------------------------------------------------

CFileTableCtrl::CFileTableCtrl(QWidget* parent)
    : QTableView(parent), m_model(new CFileTableModel(this)), m_delegate(new CFileTableDelegate(this))
{
    setHorizontalHeader(new CFileTableHeader(this));
    setModel(m_model);
    setItemDelegate(m_delegate);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setStretchLastSection(false);

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { sendNotify(2, column); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { followRowCount(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { followRowCount(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { followRowCount(); });
    SetItemHeight(0);
}

void CFileTableCtrl::followRowCount()
{
    RowCount = m_model->rowCount();
}

void CFileTableCtrl::InsertColumn(int column, const QString& heading, Qt::Alignment format, int width)
{
    const int count = m_model->columnCount();
    const int at = column < 0 || column > count ? count : column;
    m_model->insertHeading(at, heading, format);
    setColumnWidth(at, width);
}

void CFileTableCtrl::SetItemHeight(int mode)
{
    const int top = std::max(rowAt(0), 0);
    DisplayMode = mode;
    verticalHeader()->setDefaultSectionSize(filetable::RowHeight(mode));
    updateGeometries();
    if (top < m_model->rowCount())
        scrollTo(m_model->index(top, 0), QAbstractItemView::PositionAtTop);
    viewport()->update();
}

void CFileTableCtrl::SelectPrevItem()
{
    stepSelection(true);
}

void CFileTableCtrl::SelectNextItem()
{
    stepSelection(false);
}

void CFileTableCtrl::stepSelection(bool up)
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.size() != 1)
        return;
    const int target = filetable::StepTarget(selected.front().row(), up, m_model->rowCount(), RowCount);
    if (target < 0 || !m_model->isChecked(target))
        return;
    selectionModel()->setCurrentIndex(m_model->index(target, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    setFocus(Qt::OtherFocusReason);
    sendNotify(0, target);
}

void CFileTableCtrl::SelectItem(const CImageFileInfo& entry)
{
    SelectItemByPath(entry.m_path);
}

int CFileTableCtrl::SelectItemByPath(const std::string& path)
{
    QItemSelection matches;
    int last = -1;
    for (int row = 0; row < m_model->rowCount(); ++row)
    {
        const CImageFileInfo* entry = m_model->entry(row);
        if (entry != nullptr && entry->m_path == path)
        {
            matches.select(m_model->index(row, 0), m_model->index(row, std::max(m_model->columnCount() - 1, 0)));
            last = row;
        }
    }
    if (last < 0)
        return -1;
    selectionModel()->select(matches, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(m_model->index(last, 0), QItemSelectionModel::NoUpdate);
    setFocus(Qt::OtherFocusReason);
    return last;
}

void CFileTableCtrl::RedrawHeader()
{
    horizontalHeader()->viewport()->update();
}

QRect CFileTableCtrl::checkBoxRect(const QRect& cell) const
{
    const int top = cell.top() + (std::min(cell.height(), filetable::kTextRowHeight) - kCheckBoxSide) / 2;
    return QRect(cell.left() + 3, top, kCheckBoxSide, kCheckBoxSide);
}

int CFileTableCtrl::firstColumnWidthFor(const QString& text) const
{
    // As the cell is painted: the text starts a blank after the check box
    // and runs up to the grid line in the cell's last pixel.
    const QFontMetrics metrics(font());
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    const QRect box = checkBoxRect(QRect(0, 0, 1, filetable::kTextRowHeight));
    return box.right() + 1 + space + metrics.horizontalAdvance(text) + space + 1;
}

void CFileTableCtrl::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton)
    {
        const int row = index.row();
        if (m_model->entry(row) == nullptr)
        {
            event->accept();
            return;
        }
        if (index.column() == 0 && checkBoxRect(visualRect(index)).contains(event->position().toPoint()))
        {
            m_model->setChecked(row, !m_model->isChecked(row));
            sendNotify(1, row);
            event->accept();
            return;
        }
        sendNotify(4, row);
    }
    QTableView::mousePressEvent(event);
}

void CFileTableCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
    {
        sendNotify(0, index.row());
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CFileTableCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier))
    {
        // Every row with an entry, and no other.
        QItemSelection rows;
        const int lastColumn = std::max(m_model->columnCount() - 1, 0);
        for (int row = 0; row < m_model->rowCount(); ++row)
            if (m_model->entry(row) != nullptr)
                rows.select(m_model->index(row, 0), m_model->index(row, lastColumn));
        selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        event->accept();
        return;
    }
    m_keyboardMove = true;
    QTableView::keyPressEvent(event);
    m_keyboardMove = false;
}

void CFileTableCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (m_keyboardMove && current.isValid() && current.row() != previous.row() &&
        m_model->entry(current.row()) != nullptr)
        sendNotify(3, current.row());
}

void CFileTableCtrl::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    const QModelIndex current = currentIndex();
    if (!hasFocus() || !current.isValid())
        return;
    // The focus frame around the whole current row.
    const QRect first = visualRect(m_model->index(current.row(), 0));
    const QRect last = visualRect(m_model->index(current.row(), std::max(m_model->columnCount() - 1, 0)));
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = first.united(last);
    option.backgroundColor = palette().color(QPalette::Base);
    QPainter painter(viewport());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}
