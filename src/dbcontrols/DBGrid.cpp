#include "dbcontrols/DBGrid.h"

#include "uicore/ExceptionGuard.h"
#include "uicore/PlainText.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/EngineWait.h"
#include "dataaccess/Field.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <limits>
#include <optional>

namespace {

constexpr int resizeGrip = 3;  // pixels either side of a title border that start a resize
constexpr int cellMargin = 3;   // between a cell's border and its text, either side
constexpr int cellPadding = 2 * cellMargin + 2;  // a column's width beyond its widest text
constexpr int lineEditorLimit = 32767;  // characters QLineEdit holds; longer texts it would cut
constexpr int maxGuessedWidth = 300;  // a column sized before its values are seen stays within this

// Characters a column of a variable-length type is given room for before any value is seen.
int typicalChars(const TField& f)
{
  switch (f.DataType()) {
  case ftString: case ftFixedChar: case ftWideString: return std::clamp(f.Size(), 4, 40);
  case ftFloat: case ftCurrency: return 14;
  case ftBCD: return 16;
  case ftMemo: case ftFmtMemo: return 30;
  default: return 12;
  }
}

// The widest value a column of a fixed-form type can show, so that no date, timestamp, 64-bit
// integer or GUID is ever cut short; nullopt for types whose values vary in length.
std::optional<TValue> widestValue(TFieldType type)
{
  switch (type) {
  case ftSmallint: return TValue::integer(int64_t(-32768));
  case ftWord: return TValue::integer(int64_t(65535));
  case ftInteger: case ftAutoInc: return TValue::integer(int64_t(std::numeric_limits<int32_t>::min()));
  case ftLargeint: return TValue::integer(std::numeric_limits<int64_t>::min());
  case ftBoolean: return TValue::integer(int64_t(0));  // "False" is the longer of the two
  case ftDate: return TValue::text(QByteArrayLiteral("2000-12-28"));
  case ftTime: return TValue::text(QByteArrayLiteral("23:58:58.888"));
  case ftDateTime: return TValue::text(QByteArrayLiteral("2000-12-28 23:58:58.888"));
  case ftGuid: return TValue::text(QByteArrayLiteral("{00000000-0000-0000-0000-000000000000}"));
  default: return std::nullopt;
  }
}

// Digits and hexadecimal letters take the width of the widest of them, whatever the font.
int widestTextWidth(const QFontMetrics& metrics, const QString& text)
{
  static const QString hexDigits = QStringLiteral("0123456789abcdefABCDEF");
  int widestDigit = 0;
  for (QChar c : hexDigits)
    widestDigit = std::max(widestDigit, metrics.horizontalAdvance(c));
  int width = 0;
  for (QChar c : text)
    width += hexDigits.contains(c) ? widestDigit : metrics.horizontalAdvance(c);
  return std::max(width, metrics.horizontalAdvance(text));
}

// The one-line editor shows a text value exactly only when it is UTF-8 without line breaks.
bool showsExactly(const TField& field, const QString& editText)
{
  const TValue& v = field.Value();
  if (v.kind() == TValue::Bytes)
    return false;
  if (v.kind() != TValue::Text || (!isTextInputType(field.DataType()) && field.DataType() != ftVariant))
    return true;
  return editText.toUtf8() == v.rawBytes() && !editText.contains(QLatin1Char('\n')) && !editText.contains(QLatin1Char('\r'));
}

// A text memo of one line is edited in place like a string; one of several lines, or longer than a
// line editor holds, is the memo viewer's to edit.
bool needsMemoViewer(const TField& field)
{
  if (!isMemoType(field.DataType()) || field.Value().kind() != TValue::Text)
    return false;
  const QByteArray& text = field.Value().rawBytes();
  return text.size() > lineEditorLimit || text.contains('\n') || text.contains('\r');
}

// Numbers stand right-aligned: the values of number fields, and numbers in fields of any class.
bool alignsRight(const TValue& value, TFieldType type)
{
  if (value.kind() == TValue::Integer || value.kind() == TValue::Float)
    return isNumericType(type) || (!isDateTimeType(type) && type != ftBoolean);
  return isNumericType(type) && value.kind() == TValue::Text && isDecimalText(value.rawBytes());
}

QString cellText(const TValue& value, TFieldType type)
{
  return summaryText(value, type, FormatSettings());
}

}  // namespace

TDBGrid::TDBGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Jumping to a record may take a query; do it when the thumb is let go, not on every pixel.
  verticalScrollBar()->setTracking(false);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, guard([this](int value) {
            if (!FIgnoreScrollBar)
              moveTo(value);
          }));
  FReleaseTimer = new QTimer(this);
  FReleaseTimer->setSingleShot(true);
  FReleaseTimer->setInterval(releaseReadsAfterMs);
  // A result the user only looks at holds no lock that keeps other sessions waiting.
  connect(FReleaseTimer, &QTimer::timeout, this, guard([this] {
            TDataSet* ds = DataSet();
            if (ds && ds->Active() && ds->State() == dsBrowse)
              ds->ReleaseReads();
          }));
  connect(verticalScrollBar(), &QScrollBar::sliderMoved, this, [this](int value) {
    const int64_t count = displayCount();
    QToolTip::showText(QCursor::pos(), count >= 0 ? tr("Record %1 of %2").arg(value + 1).arg(count)
                                                  : tr("Record %1").arg(value + 1), this);
  });
}

TDBGrid::~TDBGrid()
{
  TDataLink::SetDataSource(nullptr);
}

// ---- geometry ----

int TDBGrid::rowHeight() const
{
  return fontMetrics().height() + 4;
}

int TDBGrid::titleHeight() const
{
  return Options & dgTitles ? rowHeight() + 2 : 0;
}

int TDBGrid::indicatorWidth() const
{
  return Options & dgIndicator ? 12 : 0;
}

int TDBGrid::VisibleRows() const
{
  return std::max(1, (viewport()->height() - titleHeight()) / rowHeight());
}

int TDBGrid::columnX(int column) const
{
  int x = indicatorWidth() - horizontalScrollBar()->value();
  for (int i = 0; i < column; ++i)
    x += FColumns[size_t(i)].Width;
  return x;
}

int TDBGrid::columnAt(int x) const
{
  int left = indicatorWidth() - horizontalScrollBar()->value();
  for (size_t i = 0; i < FColumns.size(); ++i) {
    if (x >= left && x < left + FColumns[i].Width)
      return int(i);
    left += FColumns[i].Width;
  }
  return -1;
}

int64_t TDBGrid::positionAt(int y) const
{
  if (y < titleHeight())
    return -1;
  return FTop + (y - titleHeight()) / rowHeight();
}

int TDBGrid::resizeHandleAt(const QPoint& pos) const
{
  if (!(Options & dgColumnResize) || pos.y() >= titleHeight())
    return -1;
  for (int i = 0; i < ColumnCount(); ++i) {
    const int right = columnX(i) + FColumns[size_t(i)].Width;
    if (std::abs(pos.x() - right) <= resizeGrip)
      return i;
  }
  return -1;
}

void TDBGrid::SetColumnWidth(int column, int width)
{
  FColumns.at(size_t(column)).Width = std::max(8, width);
  layoutScrollBars();
  viewport()->update();
}

void TDBGrid::FitColumn(int column)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || column < 0 || column >= ColumnCount())
    return;
  QFont bold = font();
  bold.setBold(true);
  int widest = QFontMetrics(bold).horizontalAdvance(ds->Fields(FColumns[size_t(column)].FieldIndex)->DisplayLabel) + 4;
  QFont italic = font();
  italic.setItalic(true);
  const int nullWidth = QFontMetrics(italic).horizontalAdvance(QStringLiteral("NULL"));
  const int visible = VisibleRows();
  for (int r = 0; r < visible; ++r) {
    const TRow* row = ds->RowAt(FTop + r);
    if (!row)
      break;
    const int textWidth = cellValue(*row, column).isNull() ? nullWidth : fontMetrics().horizontalAdvance(CellText(FTop + r, column));
    widest = std::max(widest, textWidth);
  }
  SetColumnWidth(column, widest + cellPadding);
}

void TDBGrid::SetSelectedIndex(int column)
{
  if (FColumns.empty())
    return;
  commitEditor();
  FCol = std::clamp(column, 0, ColumnCount() - 1);
  // Bring the column into view.
  const int x = columnX(FCol) + horizontalScrollBar()->value() - indicatorWidth();
  const int width = FColumns[size_t(FCol)].Width;
  const int visible = viewport()->width() - indicatorWidth();
  if (x < horizontalScrollBar()->value())
    horizontalScrollBar()->setValue(x);
  else if (x + width > horizontalScrollBar()->value() + visible)
    horizontalScrollBar()->setValue(x + width - visible);
  viewport()->update();
}

TField* TDBGrid::SelectedField() const
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || FColumns.empty())
    return nullptr;
  return ds->Fields(FColumns[size_t(FCol)].FieldIndex);
}

int64_t TDBGrid::displayCount() const
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return 0;
  const int64_t known = ds->KnownRecordCount();
  if (known < 0)
    return -1;
  return known + (ds->State() == dsInsert ? 1 : 0);
}

void TDBGrid::buildColumns()
{
  FColumns.clear();
  TDataSet* ds = DataSet();
  if (ds && ds->Active()) {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics titleMetrics(bold);
    for (int i = 0; i < ds->FieldCount(); ++i) {
      const TField* f = ds->Fields(i);
      const int byTitle = titleMetrics.horizontalAdvance(f->DisplayLabel) + cellPadding + 4;
      int width = f->DisplayWidth;
      if (width <= 0) {
        if (const std::optional<TValue> widest = widestValue(f->DataType()))
          width = std::max(widestTextWidth(fontMetrics(), cellText(*widest, f->DataType())) + cellPadding, byTitle);
        else
          width = std::min(maxGuessedWidth, std::max(typicalChars(*f) * fontMetrics().averageCharWidth() + cellPadding, byTitle));
      }
      FColumns.push_back({i, width});
    }
  }
  FCol = std::clamp(FCol, 0, std::max(0, ColumnCount() - 1));
  horizontalScrollBar()->setValue(0);
}

void TDBGrid::layoutScrollBars()
{
  int total = 0;
  for (const Column& c : FColumns)
    total += c.Width;
  const int visibleWidth = viewport()->width() - indicatorWidth();
  horizontalScrollBar()->setRange(0, std::max(0, total - visibleWidth));
  horizontalScrollBar()->setPageStep(std::max(1, visibleWidth));
  horizontalScrollBar()->setSingleStep(20);

  FIgnoreScrollBar = true;
  TDataSet* ds = DataSet();
  const int64_t current = ds && ds->Active() ? std::max<int64_t>(0, ds->RecNo() - 1) : 0;
  int64_t count = displayCount();
  if (count < 0) {
    count = current + VisibleRows() + 1;  // until the count is known
    countLater();
  }
  const int maximum = int(std::min<int64_t>(std::max<int64_t>(0, count - 1), std::numeric_limits<int>::max()));
  verticalScrollBar()->setRange(0, maximum);
  verticalScrollBar()->setPageStep(VisibleRows());
  verticalScrollBar()->setValue(int(std::min<int64_t>(current, maximum)));
  FIgnoreScrollBar = false;
  updateRecordText();
}

QString TDBGrid::RecordText() const
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return QString();
  const int64_t count = displayCount();
  if (count == 0 || ds->RecNo() < 1)
    return tr("No records");
  return count > 0 ? tr("Record %1 of %2").arg(ds->RecNo()).arg(count) : tr("Record %1").arg(ds->RecNo());
}

void TDBGrid::updateRecordText()
{
  const QString text = RecordText();
  if (text == FRecordText)
    return;
  FRecordText = text;
  emit recordTextChanged(text);
}

// The exact count may take the database a moment on a large table: ask for it once the first
// screen is on display, that is after the grid has painted its rows, not merely after they are read.
void TDBGrid::countLater()
{
  if (FCountScheduled || FCountDeclined)
    return;
  FCountScheduled = true;
  FCountAfterPaint = true;
  viewport()->update();
}

void TDBGrid::countNow()
{
  FCountScheduled = false;
  if (TEngineWait::active()) {
    // The connection is busy with the user's command: count once it is done.
    FCountScheduled = true;
    QTimer::singleShot(100, this, guard([this] { countNow(); }));
    return;
  }
  TDataSet* ds = DataSet();
  if (ds && ds->Active() && ds->KnownRecordCount() < 0) {
    try {
      ds->RecordCount64();
    } catch (const EDBEngineError& e) {
      // A count the user cancelled is not an error to show, nor to start again at the next move:
      // the records go on without their number until they are opened again.
      if (e.ErrorCount() == 0 || e.Errors(0).Message != statementCancelledText())
        throw;
      FCountDeclined = true;
    }
    layoutScrollBars();
  }
}

void TDBGrid::followCurrent()
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) {
    FTop = 0;
  } else {
    const int64_t current = std::max<int64_t>(0, ds->RecNo() - 1);
    const int rows = VisibleRows();
    if (current < FTop)
      FTop = current;
    else if (current >= FTop + rows)
      FTop = current - rows + 1;
    // Keep the window full when the end of the records is in view.
    const int64_t count = displayCount();
    if (count >= 0 && FTop > 0 && FTop + rows > count)
      FTop = std::max<int64_t>(0, std::min(current, count - rows));
  }
  layoutScrollBars();
  placeEditor();
  viewport()->update();
}

// The current record's cell in the current column, in viewport coordinates; the top left corner of
// the rows without one.
QRect TDBGrid::currentCellRect() const
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || FColumns.empty() || ds->RecNo() < 1)
    return QRect(indicatorWidth(), titleHeight(), std::max(1, viewport()->width() - indicatorWidth()), rowHeight());
  const int64_t current = ds->RecNo() - 1;
  return QRect(columnX(FCol), titleHeight() + int(current - FTop) * rowHeight(), FColumns[size_t(FCol)].Width, rowHeight());
}

void TDBGrid::placeEditor()
{
  TDataSet* ds = DataSet();
  if (!Editing() || !ds || !ds->Active() || FColumns.empty())
    return;
  FEditor->setGeometry(currentCellRect().adjusted(1, 1, -1, -1));
}

// ---- data link ----

void TDBGrid::ActiveChanged()
{
  hideEditor();
  FTop = 0;
  FCountDeclined = false;
  buildColumns();
  followCurrent();
}

void TDBGrid::DataSetChanged()
{
  TDataSet* ds = DataSet();
  if (ds && ds->Active() && int(FColumns.size()) != ds->FieldCount())
    buildColumns();
  followCurrent();
}

void TDBGrid::DataSetScrolled()
{
  hideEditor();  // another record: the cell's input was handed over before the move
  followCurrent();
}

void TDBGrid::RecordChanged(TField*)
{
  viewport()->update();
}

void TDBGrid::StateChanged()
{
  TDataSet* ds = DataSet();
  if (ds && ds->State() == dsBrowse)
    hideEditor();
  updateRecordText();
  viewport()->update();
}

void TDBGrid::UpdateData()
{
  commitEditor();
}

const TValue& TDBGrid::cellValue(const TRow& row, int column) const
{
  static const TValue none;
  const size_t fieldIndex = size_t(FColumns[size_t(column)].FieldIndex);
  return fieldIndex < row.size() ? row[fieldIndex] : none;
}

QString TDBGrid::CellText(int64_t position, int column)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || column < 0 || column >= ColumnCount())
    return QString();
  const TRow* row = ds->RowAt(position);
  if (!row)
    return QString();
  return cellText(cellValue(*row, column), ds->Fields(FColumns[size_t(column)].FieldIndex)->DataType());
}

bool TDBGrid::CellIsNull(int64_t position, int column)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || column < 0 || column >= ColumnCount())
    return false;
  const TRow* row = ds->RowAt(position);
  return row && cellValue(*row, column).isNull();
}

// ---- painting ----

void TDBGrid::paintEvent(QPaintEvent*)
{
  if (FCountAfterPaint) {
    // Posted now, it runs after this paint has reached the screen.
    FCountAfterPaint = false;
    QTimer::singleShot(0, this, guard([this] { countNow(); }));
  }
  QPainter p(viewport());
  const QPalette pal = palette();
  const int w = viewport()->width(), h = viewport()->height();
  const int rh = rowHeight(), th = titleHeight(), iw = indicatorWidth();
  const QColor lines = pal.color(QPalette::Mid);
  TDataSet* ds = DataSet();
  const bool active = ds && ds->Active();
  if (active)
    FReleaseTimer->start();  // rows are read now: the release waits for the next quiet spell

  // Titles.
  if (th > 0) {
    p.fillRect(0, 0, w, th, pal.color(QPalette::Button));
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(pal.color(QPalette::ButtonText));
    for (int c = 0; active && c < ColumnCount(); ++c) {
      const int x = columnX(c);
      if (x > w)
        break;
      const QRect cell(x, 0, FColumns[size_t(c)].Width, th);
      p.drawText(cell.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, ds->Fields(FColumns[size_t(c)].FieldIndex)->DisplayLabel);
      p.setPen(lines);
      p.drawLine(cell.topRight(), cell.bottomRight());
      p.setPen(pal.color(QPalette::ButtonText));
    }
    p.setPen(lines);
    p.drawLine(0, th - 1, w, th - 1);
    p.setFont(font());
  }
  if (iw > 0)
    p.fillRect(0, th, iw, h - th, pal.color(QPalette::Button));
  if (!active)
    return;

  const int64_t current = ds->RecNo() - 1;
  const TDataSetState state = ds->State();
  const bool focused = hasFocus() || (FEditor && FEditor->hasFocus());
  // NULL is marked so that it cannot be taken for empty text: dimmed and slanted, never data.
  QFont nullFont = font();
  nullFont.setItalic(true);
  const QFontMetrics nullMetrics(nullFont);
  const QString nullMark = QStringLiteral("NULL");
  const QColor markOn = pal.color(QPalette::HighlightedText), under = pal.color(QPalette::Highlight);
  const QColor dimmedHighlight((markOn.red() * 2 + under.red()) / 3, (markOn.green() * 2 + under.green()) / 3,
                               (markOn.blue() * 2 + under.blue()) / 3);
  for (int r = 0; th + r * rh < h; ++r) {
    const int64_t position = FTop + r;
    const TRow* row = ds->RowAt(position);
    if (!row)
      break;
    const int y = th + r * rh;
    const bool isCurrent = position == current;
    if (isCurrent && (Options & dgRowSelect))
      p.fillRect(iw, y, w - iw, rh, pal.color(focused ? QPalette::Highlight : QPalette::AlternateBase));
    for (int c = 0; c < ColumnCount(); ++c) {
      const int x = columnX(c);
      if (x > w)
        break;
      const int width = FColumns[size_t(c)].Width;
      if (x + width < iw)
        continue;
      const QRect cell(x, y, width, rh);
      const bool selectedCell = isCurrent && c == FCol && !(Options & dgRowSelect);
      if (selectedCell)
        p.fillRect(cell, pal.color(focused ? QPalette::Highlight : QPalette::AlternateBase));
      const TFieldType type = ds->Fields(FColumns[size_t(c)].FieldIndex)->DataType();
      const TValue& value = cellValue(*row, c);
      const bool highlighted = (selectedCell || (isCurrent && (Options & dgRowSelect))) && focused;
      p.save();
      p.setClipRect(cell.intersected(QRect(iw, th, w - iw, h - th)));
      if (value.isNull()) {
        p.setFont(nullFont);
        p.setPen(highlighted ? dimmedHighlight : pal.color(QPalette::Disabled, QPalette::Text));
        p.drawText(cell.adjusted(cellMargin, 0, -cellMargin, 0), Qt::AlignVCenter | (isNumericType(type) ? Qt::AlignRight : Qt::AlignLeft),
                   nullMetrics.elidedText(nullMark, Qt::ElideRight, width - 2 * cellMargin));
      } else {
        p.setPen(pal.color(highlighted ? QPalette::HighlightedText : QPalette::Text));
        p.drawText(cell.adjusted(cellMargin, 0, -cellMargin, 0), Qt::AlignVCenter | (alignsRight(value, type) ? Qt::AlignRight : Qt::AlignLeft),
                   fontMetrics().elidedText(cellText(value, type), Qt::ElideRight, width - 2 * cellMargin));
      }
      p.restore();
      if (Options & dgColLines) {
        p.setPen(lines);
        p.drawLine(cell.topRight(), cell.bottomRight());
      }
    }
    if (Options & dgRowLines) {
      p.setPen(lines);
      p.drawLine(iw, y + rh - 1, w, y + rh - 1);
    }
    if (iw > 0 && isCurrent) {
      // The row indicator: an arrow while browsing, a caret while editing, a star while inserting.
      p.setPen(pal.color(QPalette::ButtonText));
      p.setBrush(pal.color(QPalette::ButtonText));
      const int cy = y + rh / 2;
      if (state == dsEdit) {
        p.drawText(QRect(0, y, iw, rh), Qt::AlignCenter, QStringLiteral("I"));
      } else if (state == dsInsert) {
        p.drawText(QRect(0, y, iw, rh), Qt::AlignCenter, QStringLiteral("*"));
      } else {
        const QPoint arrow[3] = {{3, cy - 4}, {8, cy}, {3, cy + 4}};
        p.drawPolygon(arrow, 3);
      }
      p.setBrush(Qt::NoBrush);
    }
  }
}

void TDBGrid::resizeEvent(QResizeEvent* event)
{
  QAbstractScrollArea::resizeEvent(event);
  followCurrent();
}

void TDBGrid::scrollContentsBy(int, int)
{
  placeEditor();
  viewport()->update();
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event)
{
  if (watched != FEditor || event->type() != QEvent::KeyPress)
    return QAbstractScrollArea::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
  case Qt::Key_Escape:
    hideEditor();  // drops what was typed; a second Esc cancels the record
    return true;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    Guarded([&] { commitEditor(); });
    return true;
  case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Tab: case Qt::Key_Backtab: {
    bool committed = false;
    Guarded([&] {
      commitEditor();
      committed = true;
    });
    if (committed)
      keyPressEvent(key);
    return true;
  }
  default:
    return false;
  }
}

// ---- moving ----

void TDBGrid::moveTo(int64_t position)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return;
  commitEditor();
  const int64_t current = ds->RecNo() - 1;
  if (position != current)
    ds->MoveBy(position - current);
  else
    followCurrent();
}

void TDBGrid::moveBy(int64_t distance)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return;
  commitEditor();
  ds->MoveBy(distance);
}

// ---- editing ----

bool TDBGrid::Editing() const
{
  return FEditor && FEditor->isVisible();
}

// Why the records cannot be changed from here: inserted, edited or (deleting) removed.
QString TDBGrid::recordRefusal(bool deleting) const
{
  if (ReadOnly || !(Options & dgEditing))
    return tr("This result is read-only.");
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return tr("No data is open here to edit.");
  QString reason;
  if (!ds->CanModify(&reason))
    return reason.isEmpty() ? tr("This data cannot be changed.") : reason;
  if (!deleting && !DataSource()->AutoEdit)
    return tr("Editing is switched off for this data.");
  return QString();
}

QString TDBGrid::EditRefusal() const
{
  return cellRefusal(false);
}

QString TDBGrid::cellRefusal(bool settingNull) const
{
  QString reason = recordRefusal(false);
  if (!reason.isEmpty())
    return reason;
  TField* field = SelectedField();
  if (!field)
    return tr("There is no column here to edit.");
  if (field->ReadOnly)
    return tr("Field \"%1\" is read-only.").arg(field->FieldName());
  if (field->DataType() == ftFmtMemo)
    return tr("Formatted text cannot be edited in the grid.");
  if (!settingNull && needsMemoViewer(*field))
    return tr("This text has more than one line: Enter or a double-click opens it in the memo viewer.");
  if (isBlobType(field->DataType()) && !isMemoType(field->DataType()))
    return tr("Binary data cannot be edited in the grid.");
  if (DataSet()->RecNo() < 1)
    return tr("There is no record here: Insert adds one.");
  return QString();
}

void TDBGrid::refuse(const QString& reason)
{
  FLastRefusal = reason;
  QApplication::beep();
  const QRect cell = currentCellRect();
  QToolTip::showText(viewport()->mapToGlobal(QPoint(std::max(cell.left(), 0), cell.bottom())), plainToolTip(reason), this);
  emit editRefused(reason);
}

void TDBGrid::SetSelectedFieldNull()
{
  Guarded([&] {
    const QString reason = cellRefusal(true);
    if (!reason.isEmpty()) {
      refuse(reason);
      return;
    }
    hideEditor();  // NULL replaces whatever the cell's editor held
    if (!DataSource()->Edit())
      return;
    if (TField* field = SelectedField())
      field->Clear();
  });
}

void TDBGrid::showEditor(const QString& initial, bool selectAll)
{
  TDataSet* ds = DataSet();
  if (!canEditCell() || ds->RecNo() < 1)
    return;
  if (!FEditor) {
    FEditor = new QLineEdit(viewport());
    FEditor->setFrame(false);
    FEditor->installEventFilter(this);
    connect(FEditor, &QLineEdit::textEdited, this, guard([this](const QString&) {
              if (!FEditorDirty) {
                FEditorDirty = true;
                if (!DataSource()->Edit())
                  hideEditor();
              }
            }));
  }
  FEditor->setMaxLength(lineEditorLimit);
  FEditor->setText(initial);
  if (FEditor->text() != initial) {
    // Opening the editor would cut the value short, and the first key typed would store the rest.
    refuse(tr("This value is too long to be edited here."));
    return;
  }
  FEditorDirty = false;
  FEditor->show();
  placeEditor();
  FEditor->setFocus();
  if (selectAll)
    FEditor->selectAll();
  else
    FEditor->end(false);
}

void TDBGrid::commitEditor()
{
  if (!FEditor || !FEditor->isVisible())
    return;
  if (FEditorDirty) {
    TField* field = SelectedField();
    if (field)
      field->SetAsString(FEditor->text());  // text that does not read raises; the editor keeps it
    FEditorDirty = false;
  }
  hideEditor();
}

void TDBGrid::hideEditor()
{
  if (!FEditor || !FEditor->isVisible())
    return;
  const bool hadFocus = FEditor->hasFocus();
  FEditorDirty = false;
  FEditor->hide();
  if (hadFocus)
    setFocus();
}

void TDBGrid::confirmDelete()
{
  const QString reason = recordRefusal(true);
  if (!reason.isEmpty()) {
    refuse(reason);
    return;
  }
  TDataSet* ds = DataSet();
  if (ds->IsEmpty())
    return;
  if ((Options & dgConfirmDelete) &&
      QMessageBox::question(this, QApplication::applicationName().isEmpty() ? QStringLiteral("Kestrel") : QApplication::applicationName(),
                            tr("Delete record?"), QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  hideEditor();
  ds->Delete();
}

void TDBGrid::focusOutEvent(QFocusEvent* event)
{
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

// ---- keyboard and mouse ----

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
  Guarded([&] {
    TDataSet* ds = DataSet();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (!ds || !ds->Active()) {
      const int key = event->key();
      const QString text = event->text();
      const bool editKey = key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Insert ||
                           (ctrl && (key == Qt::Key_Delete || key == Qt::Key_0)) ||
                           (!ctrl && !text.isEmpty() && text.at(0).isPrint());
      if (editKey)
        refuse(recordRefusal(false));
      else
        QAbstractScrollArea::keyPressEvent(event);
      return;
    }
    if (event->matches(QKeySequence::Copy)) {
      CopyToClipboard(Options & dgRowSelect, false);
      return;
    }
    switch (event->key()) {
    case Qt::Key_Up: moveBy(-1); return;
    case Qt::Key_Down: {
      const int64_t before = ds->RecNo();
      moveBy(1);
      // Past the last record a grid that edits adds one; one that cannot says why not.
      if (ds->Eof() && ds->RecNo() == before && ds->State() == dsBrowse) {
        const QString reason = recordRefusal(false);
        if (reason.isEmpty())
          ds->Append();
        else
          refuse(reason);
      }
      return;
    }
    case Qt::Key_PageUp: moveBy(-VisibleRows()); return;
    case Qt::Key_PageDown: moveBy(VisibleRows()); return;
    case Qt::Key_Home:
      if (ctrl) {
        commitEditor();
        ds->First();
      } else {
        SetSelectedIndex(0);
      }
      return;
    case Qt::Key_End:
      if (ctrl) {
        commitEditor();
        ds->Last();
      } else {
        SetSelectedIndex(ColumnCount() - 1);
      }
      return;
    case Qt::Key_Left: SetSelectedIndex(FCol - 1); return;
    case Qt::Key_Right: SetSelectedIndex(FCol + 1); return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (Options & dgTabs) {
        SetSelectedIndex(FCol + (event->key() == Qt::Key_Tab ? 1 : -1));
        return;
      }
      break;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      if (TField* f = SelectedField(); f && needsMemoViewer(*f) && OnDblClick) {
        OnDblClick();
        return;
      }
      const QString reason = EditRefusal();
      if (!reason.isEmpty()) {
        refuse(reason);
        return;
      }
      TField* f = SelectedField();
      const QString text = f->EditText();
      if (!showsExactly(*f, text)) {
        // Editing would change what is stored before the user typed anything.
        refuse(tr("This value cannot be edited here without changing it."));
        return;
      }
      showEditor(text, true);
      return;
    }
    case Qt::Key_Escape:
      if (ds->State() == dsEdit || ds->State() == dsInsert)
        ds->Cancel();
      return;
    case Qt::Key_Insert: {
      const QString reason = recordRefusal(false);
      if (reason.isEmpty())
        ds->Insert();
      else
        refuse(reason);
      return;
    }
    case Qt::Key_0:
      if (ctrl) {
        SetSelectedFieldNull();
        return;
      }
      break;
    case Qt::Key_Delete:
      if (ctrl) {
        confirmDelete();
        return;
      }
      break;
    default:
      break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !ctrl) {
      if (!Editing()) {  // keys that reach the grid while its editor is open go on into the editor
        const QString reason = EditRefusal();
        if (!reason.isEmpty()) {
          refuse(reason);
          return;
        }
        showEditor(QString(), false);
      }
      if (FEditor && FEditor->isVisible()) {
        FEditor->insert(text);
        FEditorDirty = true;
        if (!DataSource()->Edit())
          hideEditor();
      }
      return;
    }
    QAbstractScrollArea::keyPressEvent(event);
  });
}

void TDBGrid::mousePressEvent(QMouseEvent* event)
{
  Guarded([&] {
    setFocus();
    const QPoint pos = event->position().toPoint();
    FResizing = resizeHandleAt(pos);
    if (FResizing >= 0) {
      FResizeStart = pos.x() - FColumns[size_t(FResizing)].Width;
      return;
    }
    const int column = columnAt(pos.x());
    const int64_t position = positionAt(pos.y());
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active() || position < 0 || !ds->RowAt(position))
      return;
    if (column >= 0 && column != FCol)
      SetSelectedIndex(column);
    moveTo(position);
  });
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event)
{
  const QPoint pos = event->position().toPoint();
  if (FResizing >= 0) {
    SetColumnWidth(FResizing, pos.x() - FResizeStart);
    return;
  }
  viewport()->setCursor(resizeHandleAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent*)
{
  FResizing = -1;
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
  Guarded([&] {
    const QPoint pos = event->position().toPoint();
    if (const int edge = resizeHandleAt(pos); edge >= 0) {
      FResizing = -1;
      FitColumn(edge);
      return;
    }
    if (pos.y() < titleHeight())
      return;
    if (OnDblClick)
      OnDblClick();
  });
}

// Ctrl+0 belongs to the cell while the grid or its editor (whose keys it does not take come here)
// has the focus, before any shortcut of the window; the key press then sets NULL.
bool TDBGrid::event(QEvent* event)
{
  const auto isSetNullKey = [](const QKeyEvent& key) {
    return key.key() == Qt::Key_0 && (key.modifiers() & Qt::ControlModifier);
  };
  if (event->type() == QEvent::ShortcutOverride && isSetNullKey(*static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return QAbstractScrollArea::event(event);
}

bool TDBGrid::focusNextPrevChild(bool next)
{
  if ((Options & dgTabs) && DataSet() && DataSet()->Active())
    return false;  // the key goes on to keyPressEvent, which moves to the next column
  return QAbstractScrollArea::focusNextPrevChild(next);
}

void TDBGrid::wheelEvent(QWheelEvent* event)
{
  Guarded([&] {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0)
      moveBy(-3 * steps);
  });
  event->accept();
}

