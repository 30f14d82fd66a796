#pragma once

#include "dataaccess/DataSource.h"
#include "dataaccess/Value.h"

#include <QAbstractScrollArea>
#include <functional>
#include <vector>

class QLineEdit;
class TField;

// A data-aware grid. It shows a window of the records around the dataset's current one and maps
// its own vertical scroll bar onto the record position, so it costs the same for ten rows as for a
// hundred million: no item model, no row per record.
class TDBGrid : public QAbstractScrollArea, private TDataLink {
  Q_OBJECT
public:
  // How long the grid may sit unread before its dataset lets go of what it holds in the database.
  static constexpr int releaseReadsAfterMs = 3000;
  enum Option : unsigned {
    dgEditing = 1u << 0, dgTitles = 1u << 1, dgIndicator = 1u << 2, dgColumnResize = 1u << 3,
    dgColLines = 1u << 4, dgRowLines = 1u << 5, dgTabs = 1u << 6, dgRowSelect = 1u << 7,
    dgConfirmDelete = 1u << 8, dgCancelOnExit = 1u << 9
  };
  static constexpr unsigned DefaultOptions = dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines |
                                             dgRowLines | dgTabs | dgConfirmDelete | dgCancelOnExit;

  explicit TDBGrid(QWidget* parent = nullptr);
  ~TDBGrid() override;

  void SetDataSource(TDataSource* source) { TDataLink::SetDataSource(source); }
  TDataSource* DataSource() const { return TDataLink::DataSource(); }
  unsigned Options = DefaultOptions;
  bool ReadOnly = false;

  // The field of the current column, nullptr without one.
  TField* SelectedField() const;
  int SelectedIndex() const { return FCol; }
  void SetSelectedIndex(int column);
  int ColumnCount() const { return int(FColumns.size()); }
  int ColumnWidth(int column) const { return FColumns.at(size_t(column)).Width; }
  void SetColumnWidth(int column, int width);
  // Makes a column as wide as the widest of its title and the values now in view, as a double-click
  // on the right edge of its title does.
  void FitColumn(int column);
  // Where the window of rows begins, as a 0-based record position; and how many rows fit.
  int64_t TopPosition() const { return FTop; }
  int VisibleRows() const;
  // The text a cell shows for the row at a position (the grid's own rendering, for tests too).
  // NULL is the empty text here, as in copies and exports: the grid's NULL mark is paint only.
  QString CellText(int64_t position, int column);
  // True when the cell holds NULL, which the grid paints as a dimmed NULL mark.
  bool CellIsNull(int64_t position, int column);
  // Where the current record stands: "Record n of N", "Record n" while the count is not known, "No
  // records"; empty without open data.
  QString RecordText() const;
  // True while the in-place editor is open.
  bool Editing() const;
  // Why the current cell cannot be changed from the grid; empty when it can. A pop-up menu may
  // use it to disable its commands.
  QString EditRefusal() const;
  // The last reason the grid gave for refusing an edit, as its tooltip showed it.
  QString LastRefusal() const { return FLastRefusal; }

  // The current cell (or, wholeRecord, the current record's cells) as tab-separated text, as the
  // grid shows them but whole (a text memo with all its lines); withColumnNames puts a line of the column titles first. A value holding a tab,
  // a line break or a leading quote is quoted, so that a spreadsheet pastes it into one cell.
  QString CopyText(bool wholeRecord, bool withColumnNames) const;
  void CopyToClipboard(bool wholeRecord, bool withColumnNames) const;

  std::function<void()> OnDblClick;

public slots:
  // Sets the current cell to NULL (Ctrl+0), putting the record into edit mode as typing does;
  // an open cell editor closes and what it held gives way. Where the cell cannot be changed the
  // grid says why instead.
  void SetSelectedFieldNull();

signals:
  // Each refused attempt to change data, with the reason shown to the user.
  void editRefused(const QString& reason);
  // The current record or the number of records changed what RecordText says.
  void recordTextChanged(const QString& text);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;
  // With dgTabs, Tab and Shift+Tab move between the columns instead of leaving the grid.
  bool focusNextPrevChild(bool next) override;
  void wheelEvent(QWheelEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  // From the data source.
  void ActiveChanged() override;
  void DataSetChanged() override;
  void DataSetScrolled() override;
  void RecordChanged(TField* field) override;
  void StateChanged() override;
  void UpdateData() override;

  struct Column {
    int FieldIndex;
    int Width;
  };
  void buildColumns();
  void layoutScrollBars();
  void followCurrent();
  void countLater();
  void countNow();
  void updateRecordText();
  int64_t displayCount() const;  // rows the grid can show, -1 while not known
  int rowHeight() const;
  int titleHeight() const;
  int indicatorWidth() const;
  int columnX(int column) const;  // in viewport coordinates
  int columnAt(int x) const;
  int64_t positionAt(int y) const;
  int resizeHandleAt(const QPoint& pos) const;
  void moveTo(int64_t position);
  void moveBy(int64_t distance);
  bool canEditCell() const { return EditRefusal().isEmpty(); }
  // EditRefusal, but for setting NULL: a memo of several lines may be cleared from the grid.
  QString cellRefusal(bool settingNull) const;
  QString recordRefusal(bool deleting) const;
  // Every refused edit goes through here: a tooltip at the cell, never a modal box.
  void refuse(const QString& reason);
  QRect currentCellRect() const;
  const TValue& cellValue(const TRow& row, int column) const;
  void showEditor(const QString& initial, bool selectAll);
  void placeEditor();
  void commitEditor();
  void hideEditor();
  void confirmDelete();

  std::vector<Column> FColumns;
  int FCol = 0;
  int64_t FTop = 0;
  QLineEdit* FEditor = nullptr;
  bool FEditorDirty = false;
  int FResizing = -1;  // column whose right border is dragged
  int FResizeStart = 0;
  bool FCountScheduled = false;
  bool FCountAfterPaint = false;  // the count waits for the rows to be painted
  bool FCountDeclined = false;    // the user cancelled the count of the records as they are open
  // Restarted whenever the grid reads rows; when it runs out, the dataset lets go of its read locks.
  class QTimer* FReleaseTimer = nullptr;
  bool FIgnoreScrollBar = false;
  QString FLastRefusal;
  QString FRecordText;
};
