#include "app/panels/StepPanelControls.h"

#include "controls/widgets/EditEx.h"
#include "controls/widgets/UpDown.h"

#include <QHBoxLayout>
#include <QLabel>

CEditEx* MakeIntEdit(QWidget* parent, int id, int message, int minimum, int maximum)
{
    auto* edit = new CEditEx(parent);
    edit->setObjectName(QString::number(id));
    edit->Mode = EditMode::Integer;
    edit->IntMin = minimum;
    edit->IntMax = maximum;
    edit->setNotifyMessage(message);
    edit->setFixedWidth(kPanelEditWidth);
    return edit;
}

CEditEx* MakeRealEdit(QWidget* parent, int id, int message, int decimals, double minimum,
                      double maximum)
{
    auto* edit = new CEditEx(parent);
    edit->setObjectName(QString::number(id));
    edit->Mode = EditMode::Real;
    edit->Decimals = static_cast<short>(decimals);
    edit->RealMin = minimum;
    edit->RealMax = maximum;
    edit->setNotifyMessage(message);
    edit->setFixedWidth(kPanelEditWidth);
    return edit;
}

CUpDown* MakeUpDown(QWidget* parent, int id, int minimum, int maximum, bool wrap)
{
    auto* spin = new CUpDown(Qt::Vertical, parent);
    spin->setObjectName(QString::number(id));
    spin->SetRange(minimum, maximum);
    spin->SetWrap(wrap);
    spin->setNotifyMessage(id);
    return spin;
}

QHBoxLayout* EditWithUpDown(CEditEx* edit, CUpDown* spin)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(edit);
    row->addWidget(spin);
    row->addStretch(1);
    return row;
}

QLabel* MakeLabel(QWidget* parent, int id, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::number(id));
    return label;
}
