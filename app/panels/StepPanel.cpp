#include "app/panels/StepPanel.h"

CStepPlaceholderView::CStepPlaceholderView(QWidget* parent) : QWidget(parent), CViewCommon(this) {}
