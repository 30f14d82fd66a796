// Draws the program's icon (a database drum under a kestrel's wing, on a rounded square) as PNG
// files of the given sizes, for the desktop's icon theme:
//     kestrel_icongen OUTDIR 16 32 48 ...   writes OUTDIR/<size>/kestrel.png
// Drawn by code, sharp at every size, so no picture file needs keeping in step with the program.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

static QImage drawIcon(int size)
{
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x3a, 0x68));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  // The drum: two ends and the side between.
  const QColor light(0xe8, 0xee, 0xf6), shade(0xb8, 0xc6, 0xdc);
  p.setBrush(shade);
  p.drawRect(QRectF(14, 24, 36, 22));
  p.drawEllipse(QRectF(14, 38, 36, 14));
  p.setBrush(light);
  p.drawEllipse(QRectF(14, 17, 36, 14));
  p.setPen(QPen(QColor(0x1f, 0x3a, 0x68), 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(14, 29, 36, 14), 180 * 16, 180 * 16);
  // The wing, swept over the drum's top right.
  QPainterPath wing;
  wing.moveTo(30, 22);
  wing.cubicTo(40, 6, 52, 6, 60, 8);
  wing.cubicTo(52, 12, 48, 18, 44, 26);
  wing.cubicTo(40, 24, 35, 23, 30, 22);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xe0, 0x8a, 0x2c));
  p.drawPath(wing);
  return image;
}

int main(int argc, char* argv[])
{
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: kestrel_icongen OUTDIR SIZE...\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QString dir = out + QLatin1Char('/') + QString::number(size);
    if (size <= 0 || !QDir().mkpath(dir) || !drawIcon(size).save(dir + QStringLiteral("/kestrel.png"))) {
      std::fprintf(stderr, "kestrel_icongen: cannot write the %s icon under %s\n", argv[i], argv[1]);
      return 1;
    }
  }
  return 0;
}
