#pragma once

#include <QMainWindow>

class QAction;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMouseEvent;
class QToolButton;
class TDBRichEdit;
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
};

extern TfmMemoView* fmMemoView;
