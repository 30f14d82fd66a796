#pragma once

#include <QImage>

// The About box's picture: a kestrel perched on a fence post against an evening sky, drawn in code
// as a 240 x 180 image of 16 colours. Needs a QGuiApplication.
QImage KestrelPicture();

constexpr int KestrelPictureWidth = 240;
constexpr int KestrelPictureHeight = 180;

#include <QWidget>

// A picture control: shows its image, stretched to fill the control when Stretch is on.
class TImage : public QWidget {
  Q_OBJECT
public:
  explicit TImage(QWidget* parent = nullptr) : QWidget(parent) {}
  QImage Picture() const { return FPicture; }
  void SetPicture(const QImage& picture);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool stretch);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage FPicture;
  bool FStretch = false;
};
