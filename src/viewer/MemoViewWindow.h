#pragma once

#include <QMainWindow>

class QAction;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMouseEvent;
class QTimer;
class QToolButton;
class TDBRichEdit;
class TDataSource;
class TStatusBar;

// The memo viewer: a separate window bound to a text memo field of the table grid.
class TfmMemoView : public QMainWindow {
  Q_OBJECT
public:
  explicit TfmMemoView(QWidget* parent = nullptr);

  TDBRichEdit* DBRTF;
  QWidget* Panel1;
  QToolButton *btSave, *btCut, *btCopy, *btPaste, *SpeedButton1;
  QLineEdit* edSearchStr;
  TStatusBar* StatusBar1;
  // Says why the text is read-only when the value cannot be edited without changing it.
  QLabel* lbNotEditable;
  QMenu* PopupMenu1;
  QAction *mnWordWrap, *mnTabs;

  int FLine = 0;  // 1-based caret line when last read, 0 before
  int FCol = 0;   // 1-based caret column when last read, 0 before
  bool FModified = false;

  void UpdateStatus();
  void UpdateCaretPos();

  // Shows the window bound to a memo field of the source's dataset, with nothing changed yet.
  void bindTo(TDataSource* source, const QString& fieldName);
  // Before a command leaves the record: a changed text is saved or dropped as the user answers the
  // window's question. False when the user cancelled (the command must stop).
  bool settleChangedText();

  bool FormCloseQuery();
  void FormClose();
  void FormHide();
  void btSaveClick();
  void btCutClick();
  void btCopyClick();
  void btPasteClick();
  void SpeedButton1Click();
  void DBRTFChange();
  void DBRTFClick();
  void DBRTFEnter();
  void DBRTFKeyDown(QKeyEvent* key);
  void DBRTFMouseDown(QMouseEvent* mouse);
  void mnWordWrapClick();
  void mnTabsClick();

protected:
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void unbind();
  // Display lines are counted by laying out every line of the text. A long text is counted in slices
  // between events, so that it shows at once and the window stays live; the count and the caret's
  // line appear when the count is done.
  bool countLines(int budgetMs);
  void restartLineCount();
  QTimer* FLineCounter;
  int FCountedBlocks = 0;  // blocks counted so far, from the first
  int FCountedLines = 0;   // their display lines
  bool FCaretWaits = false;  // the caret's line is due once the count is done
  int FTextVersion = 0;      // raised by every text loaded or typed
  int FCountedVersion = -1;  // the text and the wrapping width (-1: none) the count is for
  int FCountedWidth = -1;
};

extern TfmMemoView* fmMemoView;

// The panels of the memo viewer's status bar.
namespace MemoStatus {
enum : int { Modified = 0, Caret = 1, Lines = 2 };
}
