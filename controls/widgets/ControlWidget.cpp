#include "controls/widgets/ControlWidget.h"

#include <QImage>

CControlWidget::CControlWidget(QWidget* parent) : QWidget(parent)
{
}

QImage CControlWidget::renderToImage() const
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    paint(painter);
    return image;
}

void CControlWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter);
}
