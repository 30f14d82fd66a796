#include "about/AboutPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// The sixteen colours the picture is made of.
namespace ink {
const QColor skyHigh(0x2b, 0x4f, 0x8e);
const QColor skyMid(0x6f, 0x93, 0xc6);
const QColor skyLow(0xf3, 0xd9, 0x9a);
const QColor sun(0xff, 0xf4, 0xd2);
const QColor hillFar(0x6f, 0x86, 0x7a);
const QColor hillNear(0x3f, 0x5e, 0x35);
const QColor ink(0x1d, 0x1a, 0x1f);
const QColor slate(0x6e, 0x7f, 0x98);
const QColor slateLight(0xb4, 0xc0, 0xd0);
const QColor rufous(0xa8, 0x4b, 0x22);
const QColor rufousLight(0xd6, 0x84, 0x48);
const QColor buff(0xf2, 0xdc, 0xb4);
const QColor wood(0x5c, 0x3d, 0x26);
const QColor woodLight(0x8e, 0x68, 0x43);
const QColor yellow(0xf0, 0xbc, 0x2c);
const QColor white(0xff, 0xff, 0xff);
}  // namespace ink

QVector<QRgb> palette()
{
  return {ink::skyHigh.rgb(), ink::skyMid.rgb(),   ink::skyLow.rgb(),  ink::sun.rgb(),
          ink::hillFar.rgb(), ink::hillNear.rgb(), ink::ink.rgb(),     ink::slate.rgb(),
          ink::slateLight.rgb(), ink::rufous.rgb(), ink::rufousLight.rgb(), ink::buff.rgb(),
          ink::wood.rgb(),    ink::woodLight.rgb(), ink::yellow.rgb(),  ink::white.rgb()};
}

void drawLandscape(QPainter& p)
{
  // Bands of the palette's three sky colours, each meeting the next in a dithered strip, as a
  // 16-colour picture would show a sky.
  const QColor bands[] = {ink::skyHigh, ink::skyMid, ink::skyLow};
  const int edges[] = {0, 58, 104, 180};
  for (int b = 0; b < 3; ++b)
    p.fillRect(QRect(0, edges[b], 240, edges[b + 1] - edges[b]), bands[b]);
  for (int b = 1; b < 3; ++b)
    for (int y = edges[b] - 6; y < edges[b] + 6; ++y)
      for (int x = (y + (y < edges[b] ? 0 : 1)) % 2; x < 240; x += 2)
        if ((y < edges[b]) == ((x / 2 + y) % 3 == 0))
          p.fillRect(QRect(x, y, 1, 1), y < edges[b] ? bands[b] : bands[b - 1]);

  p.setPen(Qt::NoPen);
  p.setBrush(ink::sun);
  p.drawEllipse(QPointF(196, 128), 17, 17);

  QPainterPath far;
  far.moveTo(0, 140);
  far.cubicTo(40, 122, 80, 126, 120, 136);
  far.cubicTo(160, 128, 200, 120, 240, 132);
  far.lineTo(240, 180);
  far.lineTo(0, 180);
  p.setBrush(ink::hillFar);
  p.drawPath(far);

  QPainterPath near;
  near.moveTo(0, 156);
  near.cubicTo(60, 144, 120, 150, 170, 158);
  near.cubicTo(200, 162, 220, 156, 240, 152);
  near.lineTo(240, 180);
  near.lineTo(0, 180);
  p.setBrush(ink::hillNear);
  p.drawPath(near);

  // The fence post the bird sits on, and a stretch of wire.
  p.setPen(QPen(ink::ink, 1));
  p.drawLine(QPointF(0, 150), QPointF(116, 141));
  p.drawLine(QPointF(148, 141), QPointF(240, 147));
  p.setPen(Qt::NoPen);
  p.setBrush(ink::wood);
  p.drawRect(QRectF(114, 132, 36, 48));
  p.setBrush(ink::woodLight);
  p.drawRect(QRectF(114, 132, 12, 48));
  p.drawRect(QRectF(114, 130, 36, 4));
}

void drawKestrel(QPainter& p)
{
  QPainterPath tail;
  tail.moveTo(136, 110);
  tail.lineTo(158, 104);
  tail.lineTo(178, 162);
  tail.quadTo(168, 174, 154, 170);
  tail.closeSubpath();

  QPainterPath body;
  body.moveTo(102, 56);
  body.cubicTo(88, 80, 96, 118, 118, 132);
  body.lineTo(142, 128);
  body.cubicTo(154, 106, 150, 72, 134, 54);
  body.closeSubpath();

  QPainterPath primaries;
  primaries.moveTo(136, 100);
  primaries.lineTo(158, 104);
  primaries.lineTo(168, 152);
  primaries.lineTo(148, 134);
  primaries.closeSubpath();

  QPainterPath wing;
  wing.moveTo(120, 60);
  wing.cubicTo(148, 54, 162, 84, 160, 114);
  wing.cubicTo(156, 124, 144, 128, 132, 124);
  wing.cubicTo(122, 104, 116, 80, 120, 60);

  QPainterPath head;
  head.addEllipse(QPointF(116, 46), 19, 17);

  QPainterPath beak;
  beak.moveTo(100, 41);
  beak.quadTo(87, 41, 88, 54);
  beak.quadTo(92, 49, 100, 50);
  beak.closeSubpath();

  // A dark outline round the whole bird keeps it clear of the sky at 16 colours.
  const QPainterPath outline = tail.united(body).united(primaries).united(wing).united(head).united(beak);
  p.setPen(QPen(ink::ink, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(outline);
  p.setPen(Qt::NoPen);

  // Tail: blue-grey, a black band near the end and a white tip.
  p.setBrush(ink::slate);
  p.drawPath(tail);
  p.save();
  p.setClipPath(tail);
  p.setBrush(ink::ink);
  p.drawPolygon(QPolygonF({QPointF(140, 154), QPointF(190, 144), QPointF(190, 158), QPointF(140, 168)}));
  p.setBrush(ink::white);
  p.drawPolygon(QPolygonF({QPointF(140, 166), QPointF(190, 156), QPointF(190, 180), QPointF(140, 180)}));
  p.restore();

  // Breast and belly: buff with dark drops.
  p.setBrush(ink::buff);
  p.drawPath(body);
  p.setBrush(ink::wood);
  const QPointF drops[] = {{104, 78}, {112, 86}, {102, 96}, {110, 102}, {118, 110}, {106, 112}, {114, 120}};
  for (const QPointF& d : drops) {
    QPainterPath drop;
    drop.moveTo(d + QPointF(0, -3));
    drop.quadTo(d + QPointF(2.5, 1.5), d + QPointF(0, 2.5));
    drop.quadTo(d + QPointF(-2.5, 1.5), d + QPointF(0, -3));
    p.drawPath(drop);
  }

  // Folded wing: dark flight feathers under rufous coverts with black arrowheads.
  p.setBrush(ink::ink);
  p.drawPath(primaries);
  p.setBrush(ink::rufous);
  p.drawPath(wing);
  p.save();
  p.setClipPath(wing);
  p.setPen(QPen(ink::rufousLight, 4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(wing.translated(-2, 1));
  p.restore();
  p.setPen(Qt::NoPen);
  p.setBrush(ink::ink);
  const QPointF marks[] = {{136, 70}, {146, 80}, {132, 84}, {142, 94}, {152, 98}, {136, 104}, {148, 112}, {140, 118}};
  for (const QPointF& m : marks)
    p.drawPolygon(QPolygonF({m + QPointF(-3, -1.5), m + QPointF(3, -1.5), m + QPointF(0, 2.5)}));

  // Feet gripping the post.
  p.setPen(QPen(ink::yellow, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(120, 126), QPointF(118, 132));
  p.drawLine(QPointF(132, 126), QPointF(132, 132));
  p.drawLine(QPointF(118, 132), QPointF(112, 133));
  p.drawLine(QPointF(132, 132), QPointF(126, 133));
  p.setPen(Qt::NoPen);

  // Head: blue-grey crown, pale cheek and throat, the dark moustache under the eye.
  p.setBrush(ink::slate);
  p.drawPath(head);
  p.save();
  p.setClipPath(head);
  p.setBrush(ink::slateLight);
  p.drawEllipse(QPointF(122, 38), 9, 6);
  p.setBrush(ink::buff);
  p.drawEllipse(QPointF(110, 60), 13, 9);
  p.restore();
  p.setPen(QPen(ink::ink, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(108, 48), QPointF(106, 60));
  p.setPen(Qt::NoPen);

  // Eye with its yellow ring.
  p.setBrush(ink::yellow);
  p.drawEllipse(QPointF(106, 42), 5, 5);
  p.setBrush(ink::ink);
  p.drawEllipse(QPointF(106, 42), 3.4, 3.4);
  p.setBrush(ink::white);
  p.drawEllipse(QPointF(105, 41), 1, 1);

  // Hooked beak behind a yellow cere.
  p.setBrush(ink::slateLight);
  p.drawPath(beak);
  p.setBrush(ink::ink);
  p.drawEllipse(QPointF(89, 51), 1.6, 2.6);
  p.setBrush(ink::yellow);
  p.drawEllipse(QPointF(99, 44), 2.4, 3.4);
}

}  // namespace

QImage KestrelPicture(qreal scale)
{
  // Drawn at full colour with smooth edges, then put on the 16-colour palette.
  QImage full(qRound(KestrelPictureWidth * scale), qRound(KestrelPictureHeight * scale), QImage::Format_RGB32);
  // A new image holds whatever memory held: at a scale where the sky's bands meet inside a pixel,
  // their smoothed edges would mix it in.
  full.fill(Qt::black);
  QPainter p(&full);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(scale, scale);
  drawLandscape(p);
  drawKestrel(p);
  p.end();
  return full.convertToFormat(QImage::Format_Indexed8, palette(), Qt::ThresholdDither | Qt::AvoidDither);
}

void TImage::SetPicture(const QImage& picture)
{
  FPicture = picture;
  FSource = nullptr;
  update();
}

void TImage::SetPictureSource(const std::function<QImage(qreal)>& source)
{
  FSource = source;
  FPicture = source(1.0);
  FDrawn = QImage();
  update();
}

void TImage::SetStretch(bool stretch)
{
  FStretch = stretch;
  update();
}

void TImage::paintEvent(QPaintEvent*)
{
  QPainter p(this);
  // Stretched pixel art stays crisp: smoothing would blur the 16-colour picture.
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (FStretch && FSource && !FPicture.isNull()) {
    // Drawn again for the screen's pixels, so that a high-density screen shows it sharp.
    const qreal ratio = devicePixelRatioF();
    const qreal scale = width() * ratio / FPicture.width();
    if (FDrawn.isNull() || !qFuzzyCompare(FDrawnScale, scale)) {
      FDrawn = FSource(scale);
      FDrawn.setDevicePixelRatio(ratio);
      FDrawnScale = scale;
    }
    p.drawImage(rect(), FDrawn);
  } else if (FStretch)
    p.drawImage(rect(), FPicture);
  else
    p.drawImage(QPoint(0, 0), FPicture);
}
