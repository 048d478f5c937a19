#include "controls/widgets/ColorChangeList.h"

#include "controls/support/ColorRef.h"
#include "controls/widgets/ColorPatchCtrl.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

CColorChangeSubElement::CColorChangeSubElement(QWidget* parent) : QWidget(parent)
{
    Number = new QLabel(QStringLiteral("1"), this);
    Number->setObjectName(QStringLiteral("1199"));
    Number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Number->setMinimumWidth(Number->fontMetrics().horizontalAdvance(QStringLiteral("10")));
    SourcePatch = new CColorPatchCtrl(this);
    SourcePatch->setObjectName(QStringLiteral("1195"));
    SourcePatch->setFixedSize(48, 28);
    Arrow = new QPushButton(QStringLiteral(">"), this);
    Arrow->setObjectName(QStringLiteral("1197"));
    Arrow->setFixedWidth(28);
    TargetPatch = new CColorPatchCtrl(this);
    TargetPatch->setObjectName(QStringLiteral("1196"));
    TargetPatch->setFixedSize(48, 28);
    Check = new QCheckBox(this);
    Check->setObjectName(QStringLiteral("1194"));
    Settings = new QPushButton(QStringLiteral("設定..."), this);
    Settings->setObjectName(QStringLiteral("1198"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 5, 6, 5);
    layout->addWidget(Number);
    layout->addWidget(SourcePatch);
    layout->addWidget(Arrow);
    layout->addWidget(TargetPatch);
    layout->addWidget(Check);
    layout->addWidget(Settings);
    layout->addStretch(1);
    setFixedHeight(sizeHint().height());

    for (QWidget* child : {static_cast<QWidget*>(SourcePatch), static_cast<QWidget*>(TargetPatch),
                           static_cast<QWidget*>(Arrow), static_cast<QWidget*>(Check),
                           static_cast<QWidget*>(Settings)})
        child->installEventFilter(this);

    connect(SourcePatch, &CColorPatchCtrl::notify, this,
            [this](int message, int code, qint64) { OnPatch(message, code); });
    connect(TargetPatch, &CColorPatchCtrl::notify, this,
            [this](int message, int code, qint64) { OnPatch(message, code); });
    connect(Arrow, &QPushButton::clicked, this, [this] {
        Activate();
        Send(ArrowMessage, 0);
    });
    connect(Settings, &QPushButton::clicked, this, [this] {
        Activate();
        Send(SettingsMessage, 0);
    });
    connect(Check, &QCheckBox::clicked, this, [this](bool checked) { Send(CheckMessage, checked ? 1 : 0); });
}

void CColorChangeSubElement::SetSourcePatchMessage(int message)
{
    m_sourcePatchMessage = message;
    SourcePatch->setNotifyMessage(message);
}

void CColorChangeSubElement::SetTargetPatchMessage(int message)
{
    m_targetPatchMessage = message;
    TargetPatch->setNotifyMessage(message);
}

bool CColorChangeSubElement::OwnsMessage(int message) const
{
    return message != 0 &&
           (message == m_sourcePatchMessage || message == m_targetPatchMessage ||
            message == ArrowMessage || message == SettingsMessage || message == CheckMessage ||
            message == ActivationMessage);
}

void CColorChangeSubElement::Send(int message, int code)
{
    if (message != 0)
        emit notify(message, code, 0);
}

void CColorChangeSubElement::OnPatch(int message, int code)
{
    if (code != CColorPatchCtrl::kReleased)
        Activate();
    Send(message, code);
}

void CColorChangeSubElement::Activate()
{
    const QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || (focus != this && !isAncestorOf(focus)))
        SourcePatch->setFocus(Qt::OtherFocusReason);
    const bool wasActive = Active;
    SetActive(true);
    if (wasActive)
        return;
    emit activated();
    Send(ActivationMessage, 0);
}

void CColorChangeSubElement::SetActive(bool active)
{
    if (Active == active)
        return;
    Active = active;
    update();
}

void CColorChangeSubElement::paintFrame(QPainter& painter) const
{
    if (!Active)
        return;
    painter.save();
    painter.setPen(QPen(ColorFromRef(MakeColorRef(64, 160, 255)), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRect(1, 1, width() - 2, height() - 2), 5, 5);
    painter.restore();
}

void CColorChangeSubElement::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    paintFrame(painter);
}

void CColorChangeSubElement::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Activate();
    QWidget::mousePressEvent(event);
}

// Keys go to the list first; the control with the focus then handles them
// as usual.
bool CColorChangeSubElement::eventFilter(QObject* watched, QEvent* event)
{
    QWidget* target = KeyTarget != nullptr ? KeyTarget : parentWidget();
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && target != nullptr)
    {
        const auto* key = static_cast<const QKeyEvent*>(event);
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->nativeScanCode(),
                       key->nativeVirtualKey(), key->nativeModifiers(), key->text(), key->isAutoRepeat(),
                       static_cast<quint16>(key->count()));
        QCoreApplication::sendEvent(target, &copy);
    }
    return QWidget::eventFilter(watched, event);
}

// A key the focused control leaves comes up here after the list has had
// it: it goes no further.
void CColorChangeSubElement::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

void CColorChangeSubElement::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
}

int SubListScrollRange(int rowHeight, int clientHeight)
{
    return std::max(0, CColorChangeSubList::kRowCount * rowHeight - clientHeight);
}

int SubListPageStep(int rowHeight, int clientHeight)
{
    if (rowHeight <= 0 || clientHeight <= 0)
        return 0;
    return rowHeight * (clientHeight / rowHeight);
}

CColorChangeSubList::CColorChangeSubList(QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWidgetResizable(true);
    auto* rows = new QWidget(this);
    auto* layout = new QVBoxLayout(rows);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kRowCount; ++i)
    {
        auto* row = new CColorChangeSubElement(rows);
        row->Number->setText(QString::number(i + 1));
        layout->addWidget(row);
        row->KeyTarget = this;
        Rows[i] = row;
        connect(row, &CColorChangeSubElement::notify, this,
                [this, i](int message, int code, qint64) { OnRowMessage(i, message, code); });
        connect(row, &CColorChangeSubElement::activated, this, [this, i] { OnRowActivated(i); });
    }
    layout->addStretch(1);
    setWidget(rows);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int) { PlaceFocus(); });
    UpdateSteps();
}

int CColorChangeSubList::ActiveRow() const
{
    for (int i = 0; i < kRowCount; ++i)
        if (Rows[i]->Active)
            return i;
    return -1;
}

int CColorChangeSubList::RowHeight() const
{
    return Rows[0]->height();
}

int CColorChangeSubList::ScrollPosition() const
{
    return verticalScrollBar()->value();
}

void CColorChangeSubList::OnRowActivated(int row)
{
    for (int i = 0; i < kRowCount; ++i)
        if (i != row)
            Rows[i]->SetActive(false);
}

void CColorChangeSubList::OnRowMessage(int row, int message, int code)
{
    if (Rows[row]->OwnsMessage(message))
        emit notify(message, code, row);
}

void CColorChangeSubList::UpdateSteps()
{
    const int rowHeight = RowHeight();
    verticalScrollBar()->setSingleStep(rowHeight);
    verticalScrollBar()->setPageStep(std::max(rowHeight, SubListPageStep(rowHeight, viewport()->height())));
}

void CColorChangeSubList::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    UpdateSteps();
}

// Keys from the rows go up to the panel; the list does not scroll by keys.
void CColorChangeSubList::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}

void CColorChangeSubList::keyReleaseEvent(QKeyEvent* event)
{
    event->ignore();
}

// One row per whole notch of accumulated wheel turn, as a line scroll.
void CColorChangeSubList::wheelEvent(QWheelEvent* event)
{
    const int steps = m_wheel.Add(event->angleDelta().y());
    for (int i = 0; i < std::abs(steps); ++i)
        verticalScrollBar()->triggerAction(steps > 0 ? QAbstractSlider::SliderSingleStepSub
                                                     : QAbstractSlider::SliderSingleStepAdd);
    event->accept();
}

// After a scroll the active row's source patch holds the focus, or the
// list when no row is active.
void CColorChangeSubList::PlaceFocus()
{
    const int active = ActiveRow();
    const QWidget* focus = QApplication::focusWidget();
    if (active < 0)
    {
        setFocus(Qt::OtherFocusReason);
        return;
    }
    CColorChangeSubElement* row = Rows[active];
    if (focus == nullptr || (focus != row && !row->isAncestorOf(focus)))
        row->SourcePatch->setFocus(Qt::OtherFocusReason);
}
