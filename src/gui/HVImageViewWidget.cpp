#include "HVImageViewWidget.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

HVImageViewWidget::HVImageViewWidget(const QByteArray& bytes, QWidget* parent) : QWidget(parent) {
    setObjectName("HVImageView");
    setFocusPolicy(Qt::StrongFocus);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // Follows the orientation a camera recorded, as a viewer would.
    reader.setAutoTransform(true);
    if (!reader.read(&m_image)) {
        m_image = QImage();
        m_error = reader.errorString();
    }
}

void HVImageViewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (m_image.isNull()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("This image cannot be shown: %1").arg(m_error));
        return;
    }
    QSize shown = m_image.size();
    if (shown.width() > width() || shown.height() > height())
        shown.scale(size(), Qt::KeepAspectRatio);
    QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_image);
}
