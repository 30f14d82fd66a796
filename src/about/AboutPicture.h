#pragma once

#include <QImage>

// The About box's picture: a kestrel perched on a fence post against an evening sky, drawn in code
// as a 240 x 180 image of 16 colours. Needs a QGuiApplication.
// scale > 1 draws it larger with the same 16 colours, for screens of more pixels.
QImage KestrelPicture(qreal scale = 1.0);

constexpr int KestrelPictureWidth = 240;
constexpr int KestrelPictureHeight = 180;

#include <QWidget>
#include <functional>

// A picture control: shows its image, stretched to fill the control when Stretch is on.
class TImage : public QWidget {
  Q_OBJECT
public:
  explicit TImage(QWidget* parent = nullptr) : QWidget(parent) {}
  QImage Picture() const { return FPicture; }
  void SetPicture(const QImage& picture);
  // A picture drawn by code: stretched, it is drawn again at the size the screen shows it.
  void SetPictureSource(const std::function<QImage(qreal scale)>& source);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool stretch);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage FPicture;
  bool FStretch = false;
  std::function<QImage(qreal)> FSource;
  QImage FDrawn;  // the picture as last drawn for the screen
  qreal FDrawnScale = 0;
};
