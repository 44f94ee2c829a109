#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

// Shows an image file's bytes as a picture: scaled down to fit the view, never enlarged, or,
// when Qt cannot read it, the reader's reason.
class HVImageViewWidget : public QWidget {
    Q_OBJECT
public:
    HVImageViewWidget(const QByteArray& bytes, QWidget* parent = nullptr);

    // The image's size in pixels; empty when it could not be read.
    QSize pixelSize() const { return m_image.size(); }
    // Why the image could not be read, or empty.
    const QString& errorString() const { return m_error; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QString m_error;
};
