#include "uicore/Glyphs.h"

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

#include <functional>

namespace {

// One small palette so all pictures look like they belong together.
namespace ink {
const QColor outline(0x3c, 0x4a, 0x5c);
const QColor paper(0xff, 0xff, 0xff);
const QColor paperShade(0xe4, 0xea, 0xf1);
const QColor textLine(0x9d, 0xb4, 0xd3);
const QColor folderBack(0xe3, 0xa7, 0x2a);
const QColor folderFront(0xfb, 0xd2, 0x5a);
const QColor folderLight(0xff, 0xe6, 0x94);
const QColor folderEdge(0x9c, 0x6a, 0x12);
const QColor blue(0x2f, 0x6f, 0xc9);
const QColor blueLight(0x6a, 0x9d, 0xe6);
const QColor blueDark(0x1f, 0x4c, 0x8f);
const QColor steel(0xc5, 0xcf, 0xda);
const QColor steelDark(0x6b, 0x7a, 0x8c);
const QColor red(0xd6, 0x3f, 0x3a);
const QColor board(0xb9, 0x7f, 0x48);
const QColor boardDark(0x7a, 0x4e, 0x26);
} // namespace ink

constexpr int kSide = 16;

using Painter = std::function<void(QPainter &)>;

// Drawing happens in 16x16 logical units; the device pixel ratio only scales
// it, so the same code gives crisp 1x and 2x pictures.
QPixmap render(const Painter &draw, qreal dpr)
{
    QPixmap pm(QSize(kSide, kSide) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    draw(p);
    p.end();
    return pm;
}

// Greyscale, lighter and slightly transparent: reads as "unavailable" on any
// background while keeping the shape recognisable.
QPixmap flatten(const QPixmap &source)
{
    QImage img = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = line[x];
            const int grey = 100 + qGray(c) * 146 / 255;
            line[x] = qRgba(grey, grey, grey, qAlpha(c) * 3 / 4);
        }
    }
    QPixmap out = QPixmap::fromImage(img);
    out.setDevicePixelRatio(source.devicePixelRatio());
    return out;
}

QPen pen(const QColor &c, qreal width = 1.0)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor &a, const QColor &b)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

// A page with a folded top-right corner; the .5 offsets put 1px lines on whole pixels.
void drawPage(QPainter &p, qreal l, qreal t, qreal r, qreal b, qreal fold, int lines)
{
    QPainterPath page;
    page.moveTo(l, t);
    page.lineTo(r - fold, t);
    page.lineTo(r, t + fold);
    page.lineTo(r, b);
    page.lineTo(l, b);
    page.closeSubpath();
    p.setPen(pen(ink::outline));
    p.setBrush(vertical(t, b, ink::paper, ink::paperShade));
    p.drawPath(page);

    QPainterPath ear;
    ear.moveTo(r - fold, t);
    ear.lineTo(r - fold, t + fold);
    ear.lineTo(r, t + fold);
    ear.closeSubpath();
    p.setBrush(ink::paperShade.darker(112));
    p.drawPath(ear);

    p.setPen(pen(ink::textLine));
    for (int i = 0; i < lines; ++i) {
        const qreal y = t + fold + 2 + 2 * i;
        if (y > b - 1.5)
            break;
        p.drawLine(QPointF(l + 2, y), QPointF(r - 2, y));
    }
}

void drawClosedFolder(QPainter &p)
{
    // Tab and back panel.
    QPainterPath back;
    back.moveTo(1.5, 13.5);
    back.lineTo(1.5, 3.5);
    back.lineTo(5.5, 3.5);
    back.lineTo(7.0, 5.0);
    back.lineTo(14.5, 5.0);
    back.lineTo(14.5, 13.5);
    back.closeSubpath();
    p.setPen(pen(ink::folderEdge));
    p.setBrush(ink::folderBack);
    p.drawPath(back);

    // Front cover, a little lighter so the tab reads as behind it.
    p.setBrush(vertical(6.5, 13.5, ink::folderLight, ink::folderFront));
    p.drawRect(QRectF(1.5, 6.5, 13.0, 7.0));
}

void drawOpenFolder(QPainter &p)
{
    QPainterPath back;
    back.moveTo(1.5, 13.5);
    back.lineTo(1.5, 2.5);
    back.lineTo(5.5, 2.5);
    back.lineTo(7.0, 4.0);
    back.lineTo(12.5, 4.0);
    back.lineTo(12.5, 7.5);
    p.setPen(pen(ink::folderEdge));
    p.setBrush(ink::folderBack);
    back.closeSubpath();
    p.drawPath(back);

    // A sheet peeking out says "open" even at small size.
    p.setPen(pen(ink::outline.lighter(150)));
    p.setBrush(ink::paper);
    p.drawRect(QRectF(3.5, 5.5, 7.0, 4.0));

    // Front flap swung down and forward.
    QPolygonF front;
    front << QPointF(1.5, 13.5) << QPointF(4.0, 7.5) << QPointF(15.5, 7.5) << QPointF(13.0, 13.5);
    p.setPen(pen(ink::folderEdge));
    p.setBrush(vertical(7.5, 13.5, ink::folderLight, ink::folderFront));
    p.drawPolygon(front);
}

void drawNew(QPainter &p)
{
    drawPage(p, 3.5, 1.5, 12.5, 14.5, 4.0, 0);
    // A small spark marks the page as freshly made.
    p.setPen(pen(QColor(0xf0, 0xa8, 0x1e), 1.2));
    const QPointF c(12.5, 11.5);
    p.drawLine(c + QPointF(-2.5, 0), c + QPointF(2.5, 0));
    p.drawLine(c + QPointF(0, -2.5), c + QPointF(0, 2.5));
    p.setPen(pen(QColor(0xf0, 0xa8, 0x1e), 1.0));
    p.drawLine(c + QPointF(-1.5, -1.5), c + QPointF(1.5, 1.5));
    p.drawLine(c + QPointF(-1.5, 1.5), c + QPointF(1.5, -1.5));
}

void drawSave(QPainter &p)
{
    QPainterPath body;
    body.moveTo(1.5, 1.5);
    body.lineTo(12.5, 1.5);
    body.lineTo(14.5, 3.5);
    body.lineTo(14.5, 14.5);
    body.lineTo(1.5, 14.5);
    body.closeSubpath();
    p.setPen(pen(ink::blueDark));
    p.setBrush(vertical(1.5, 14.5, ink::blueLight, ink::blue));
    p.drawPath(body);

    // Metal shutter with its slot.
    p.setPen(pen(ink::steelDark));
    p.setBrush(ink::steel);
    p.drawRect(QRectF(4.5, 1.5, 7.0, 4.0));
    p.setPen(Qt::NoPen);
    p.setBrush(ink::steelDark);
    p.drawRect(QRectF(9.0, 2.5, 1.5, 2.0));

    // Paper label.
    p.setPen(pen(ink::blueDark));
    p.setBrush(ink::paper);
    p.drawRect(QRectF(3.5, 8.5, 9.0, 6.0));
    p.setPen(pen(ink::textLine));
    p.drawLine(QPointF(5.0, 10.5), QPointF(11.0, 10.5));
    p.drawLine(QPointF(5.0, 12.5), QPointF(11.0, 12.5));
}

void drawCut(QPainter &p)
{
    // Blades first so the handles' rings sit on top of their ends.
    p.setPen(pen(ink::outline, 1.6));
    p.drawLine(QPointF(5.0, 1.5), QPointF(10.2, 10.0));
    p.drawLine(QPointF(11.0, 1.5), QPointF(5.8, 10.0));
    p.setPen(pen(ink::steel, 0.6));
    p.drawLine(QPointF(5.3, 2.2), QPointF(8.0, 6.6));
    p.drawLine(QPointF(10.7, 2.2), QPointF(8.0, 6.6));

    p.setPen(pen(ink::red, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 12.0), 2.4, 2.4);
    p.drawEllipse(QPointF(11.5, 12.0), 2.4, 2.4);

    p.setPen(Qt::NoPen);
    p.setBrush(ink::steel);
    p.drawEllipse(QPointF(8.0, 7.3), 0.9, 0.9);
}

void drawCopy(QPainter &p)
{
    drawPage(p, 1.5, 1.5, 9.5, 11.5, 3.0, 3);
    drawPage(p, 5.5, 4.5, 14.5, 14.5, 3.0, 4);
}

void drawPaste(QPainter &p)
{
    p.setPen(pen(ink::boardDark));
    p.setBrush(vertical(2.5, 14.5, ink::board.lighter(115), ink::board));
    p.drawRoundedRect(QRectF(1.5, 2.5, 11.0, 12.0), 1.5, 1.5);

    // The clip.
    p.setPen(pen(ink::steelDark));
    p.setBrush(ink::steel);
    p.drawRoundedRect(QRectF(4.5, 1.0, 5.0, 3.5), 1.0, 1.0);

    drawPage(p, 6.5, 6.5, 14.5, 15.5, 2.5, 3);
}

void drawUndo(QPainter &p)
{
    // The arrow travels left along the top and curls down on the right.
    QPainterPath shaft;
    shaft.moveTo(5.0, 6.0);
    shaft.lineTo(9.0, 6.0);
    shaft.cubicTo(12.8, 6.0, 14.5, 8.0, 14.5, 10.2);
    shaft.cubicTo(14.5, 12.6, 12.5, 14.0, 9.5, 14.0);
    shaft.lineTo(7.5, 14.0);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink::blueDark, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(shaft);
    p.setPen(QPen(ink::blue, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(shaft);

    QPolygonF head;
    head << QPointF(1.0, 6.0) << QPointF(6.5, 1.0) << QPointF(6.5, 11.0);
    p.setPen(pen(ink::blueDark));
    p.setBrush(ink::blue);
    p.drawPolygon(head);
}

void drawCabinet(QPainter &p)
{
    const QColor metal(0x8f, 0xa5, 0xbd);
    const QColor metalLight(0xdc, 0xe5, 0xef);
    const QColor metalDark(0x3e, 0x51, 0x69);

    p.setPen(pen(metalDark));
    p.setBrush(metal);
    p.drawRect(QRectF(2.5, 0.5, 11.0, 15.0));

    // Three drawer fronts separated by dark seams, each with a handle; the
    // seams are what make it read as a cabinet rather than a box.
    for (int i = 0; i < 3; ++i) {
        const qreal top = 1.0 + i * 5.0;
        p.setPen(Qt::NoPen);
        p.setBrush(vertical(top, top + 4.0, metalLight, metal));
        p.drawRect(QRectF(3.0, top, 10.0, 4.0));
        p.setBrush(metalDark);
        p.drawRect(QRectF(6.0, top + 2.0, 4.0, 1.0));
        if (i < 2) {
            p.setPen(pen(metalDark));
            p.drawLine(QPointF(3.0, top + 4.5), QPointF(13.0, top + 4.5));
        }
    }
}

void drawTable(QPainter &p)
{
    const QRectF frame(1.5, 2.5, 13.0, 12.0);
    p.setPen(Qt::NoPen);
    p.setBrush(ink::paper);
    p.drawRect(frame);
    p.setBrush(vertical(2.5, 5.5, ink::blueLight, ink::blue));
    p.drawRect(QRectF(1.5, 2.5, 13.0, 3.0));

    // Grid lines on whole pixels keep the cells crisp.
    p.setPen(pen(ink::textLine, 1.0));
    for (qreal y : {8.5, 11.5})
        p.drawLine(QPointF(2.0, y), QPointF(14.0, y));
    for (qreal x : {5.5, 10.5})
        p.drawLine(QPointF(x, 5.5), QPointF(x, 14.0));
    p.setPen(pen(ink::blueDark.lighter(130)));
    for (qreal x : {5.5, 10.5})
        p.drawLine(QPointF(x, 3.0), QPointF(x, 5.0));

    p.setPen(pen(ink::outline));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
    p.drawLine(QPointF(1.5, 5.5), QPointF(14.5, 5.5));
}

void drawText(QPainter &p)
{
    // A label-like tag carrying a bold letter.
    p.setPen(pen(ink::outline.lighter(140)));
    p.setBrush(vertical(1.5, 14.5, ink::paper, ink::paperShade));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13.0, 13.0), 2.0, 2.0);

    QPen letter(ink::blueDark, 2.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    p.setPen(letter);
    p.setBrush(Qt::NoBrush);
    QPainterPath a;
    a.moveTo(4.0, 13.0);
    a.lineTo(8.0, 3.5);
    a.lineTo(12.0, 13.0);
    p.drawPath(a);
    p.drawLine(QPointF(5.6, 10.0), QPointF(10.4, 10.0));
}

// Tree expander boxes: outline on pixels 3 and 12, so 2px bars sit dead centre.
void drawExpanderBox(QPainter &p, bool plus)
{
    p.setPen(pen(QColor(0x86, 0x93, 0xa2)));
    p.setBrush(vertical(3.5, 12.5, ink::paper, ink::paperShade));
    p.drawRect(QRectF(3.5, 3.5, 9.0, 9.0));

    p.setPen(Qt::NoPen);
    p.setBrush(ink::outline);
    p.drawRect(QRectF(5.0, 7.0, 6.0, 2.0));
    if (plus)
        p.drawRect(QRectF(7.0, 5.0, 2.0, 6.0));
}

Painter toolPainter(ToolGlyph glyph)
{
    switch (glyph) {
    case ToolGlyph::New:
        return drawNew;
    case ToolGlyph::Open:
        return drawOpenFolder;
    case ToolGlyph::Save:
        return drawSave;
    case ToolGlyph::Cut:
        return drawCut;
    case ToolGlyph::Copy:
        return drawCopy;
    case ToolGlyph::Paste:
        return drawPaste;
    case ToolGlyph::Undo:
        return drawUndo;
    }
    return {};
}

} // namespace

QPixmap toolGlyphPixmap(ToolGlyph glyph, bool disabled)
{
    const Painter draw = toolPainter(glyph);
    if (!draw)
        return {};
    const QPixmap normal = render(draw, 1.0);
    return disabled ? flatten(normal) : normal;
}

QIcon toolGlyphIcon(ToolGlyph glyph)
{
    const Painter draw = toolPainter(glyph);
    QIcon icon;
    if (!draw)
        return icon;
    // Both sizes for both modes, so Qt never has to invent a disabled look.
    for (qreal dpr : {1.0, 2.0}) {
        const QPixmap normal = render(draw, dpr);
        icon.addPixmap(normal, QIcon::Normal);
        icon.addPixmap(flatten(normal), QIcon::Disabled);
    }
    return icon;
}

QPixmap treeImage(int index)
{
    Painter draw;
    switch (index) {
    case TreeImage::ClosedFolder:
        draw = drawClosedFolder;
        break;
    case TreeImage::OpenFolder:
        draw = drawOpenFolder;
        break;
    case TreeImage::Cabinet:
        draw = drawCabinet;
        break;
    case TreeImage::TableGrid:
        draw = drawTable;
        break;
    case TreeImage::Text:
        draw = drawText;
        break;
    case TreeImage::MinusBox:
        draw = [](QPainter &p) { drawExpanderBox(p, false); };
        break;
    case TreeImage::PlusBox:
        draw = [](QPainter &p) { drawExpanderBox(p, true); };
        break;
    default:
        return {};
    }
    return render(draw, 1.0);
}
