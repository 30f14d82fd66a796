#include "viewer/MemoViewWindow.h"

#include "uicore/ExceptionGuard.h"
#include "uicore/Glyphs.h"
#include "uicore/StatusBar.h"
#include "dataaccess/DataSet.h"
#include "viewer/DBRichEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

TfmMemoView* fmMemoView = nullptr;

namespace {

QToolButton* speedButton(const char* name, const QString& hint, const QIcon& icon, QWidget* parent)
{
  auto* b = new QToolButton(parent);
  b->setObjectName(QLatin1String(name));
  b->setToolTip(hint);
  b->setIcon(icon);
  b->setAutoRaise(true);
  b->setFixedSize(23, 25);
  b->setFocusPolicy(Qt::NoFocus);  // the buttons act on the text control, which keeps the focus
  return b;
}

// A magnifying glass for Find, drawn like the other tool pictures: 16 units, crisp at 1x and 2x.
QIcon findIcon()
{
  QIcon icon;
  for (qreal dpr : {1.0, 2.0}) {
    QPixmap pm(QSize(16, 16) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x6b, 0x7a, 0x8c), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.2, 10.2), QPointF(14.2, 14.2));
    p.setPen(QPen(QColor(0x3c, 0x4a, 0x5c), 1.4));
    p.setBrush(QColor(0xe4, 0xea, 0xf1));
    p.drawEllipse(QPointF(6.5, 6.5), 4.6, 4.6);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

// Display lines of a block: the plain-text layout lays out only what it has shown, so lay it out now.
int displayLineCount(QAbstractTextDocumentLayout* layout, const QTextBlock& block)
{
  if (block.layout()->lineCount() == 0)
    layout->blockBoundingRect(block);
  return qMax(1, block.layout()->lineCount());
}

}  // namespace

TfmMemoView::TfmMemoView(QWidget* parent) : QMainWindow(parent, Qt::Window)
{
  setObjectName(QStringLiteral("fmMemoView"));
  setWindowTitle(tr("Memo View"));
  QFont f = font();
  f.setPixelSize(13);
  setFont(f);
  resize(600, 420);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  setCentralWidget(central);

  Panel1 = new QWidget(central);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(37);
  auto* tools = new QHBoxLayout(Panel1);
  tools->setContentsMargins(4, 6, 4, 6);
  tools->setSpacing(0);
  btSave = speedButton("btSave", tr("Save"), toolGlyphIcon(ToolGlyph::Save), Panel1);
  btCut = speedButton("btCut", tr("Cut"), toolGlyphIcon(ToolGlyph::Cut), Panel1);
  btCopy = speedButton("btCopy", tr("Copy"), toolGlyphIcon(ToolGlyph::Copy), Panel1);
  btPaste = speedButton("btPaste", tr("Paste"), toolGlyphIcon(ToolGlyph::Paste), Panel1);
  SpeedButton1 = speedButton("SpeedButton1", tr("Find"), findIcon(), Panel1);
  SpeedButton1->setText(tr("Find"));
  SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  SpeedButton1->setLayoutDirection(Qt::RightToLeft);  // the picture at the right of the caption
  SpeedButton1->setFixedWidth(56);
  edSearchStr = new QLineEdit(Panel1);
  edSearchStr->setObjectName(QStringLiteral("edSearchStr"));
  edSearchStr->setFixedWidth(160);
  tools->addWidget(btSave);
  tools->addSpacing(8);
  for (QToolButton* b : {btCut, btCopy, btPaste})
    tools->addWidget(b);
  tools->addSpacing(8);
  tools->addWidget(SpeedButton1);
  tools->addSpacing(2);
  tools->addWidget(edSearchStr);
  tools->addStretch(1);
  layout->addWidget(Panel1);

  lbNotEditable = new QLabel(central);
  lbNotEditable->setObjectName(QStringLiteral("lbNotEditable"));
  lbNotEditable->setWordWrap(true);
  lbNotEditable->setContentsMargins(6, 4, 6, 4);
  lbNotEditable->setAutoFillBackground(true);
  lbNotEditable->setBackgroundRole(QPalette::ToolTipBase);
  lbNotEditable->setForegroundRole(QPalette::ToolTipText);
  lbNotEditable->hide();
  layout->addWidget(lbNotEditable);

  DBRTF = new TDBRichEdit(central);
  DBRTF->setObjectName(QStringLiteral("DBRTF"));
  DBRTF->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  DBRTF->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  layout->addWidget(DBRTF, 1);

  StatusBar1 = new TStatusBar({100, 100, 100}, this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  setStatusBar(StatusBar1);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  mnWordWrap = PopupMenu1->addAction(tr("Word Wrap"));
  mnWordWrap->setObjectName(QStringLiteral("mnWordWrap"));
  mnWordWrap->setCheckable(true);
  mnTabs = PopupMenu1->addAction(tr("Tabs"));
  mnTabs->setObjectName(QStringLiteral("mnTabs"));
  mnTabs->setCheckable(true);
  DBRTF->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(DBRTF, &QWidget::customContextMenuRequested, this,
          guard([this](const QPoint& at) { PopupMenu1->popup(DBRTF->viewport()->mapToGlobal(at)); }));
  // Qt flips a checkable item before it reports the click; the handlers flip it themselves.
  connect(mnWordWrap, &QAction::triggered, this, guard([this](bool checked) {
            mnWordWrap->setChecked(!checked);
            mnWordWrapClick();
          }));
  connect(mnTabs, &QAction::triggered, this, guard([this](bool checked) {
            mnTabs->setChecked(!checked);
            mnTabsClick();
          }));

  connect(btSave, &QToolButton::clicked, this, guard([this] { btSaveClick(); }));
  connect(btCut, &QToolButton::clicked, this, guard([this] { btCutClick(); }));
  connect(btCopy, &QToolButton::clicked, this, guard([this] { btCopyClick(); }));
  connect(btPaste, &QToolButton::clicked, this, guard([this] { btPasteClick(); }));
  connect(SpeedButton1, &QToolButton::clicked, this, guard([this] { SpeedButton1Click(); }));
  // Finding from the keyboard: Ctrl+F goes to the search box, Enter there finds, F3 finds the next.
  auto* findKey = new QAction(this);
  findKey->setShortcut(QKeySequence::Find);
  addAction(findKey);
  connect(findKey, &QAction::triggered, this, [this] {
    edSearchStr->setFocus(Qt::ShortcutFocusReason);
    edSearchStr->selectAll();
  });
  auto* findNextKey = new QAction(this);
  findNextKey->setShortcut(QKeySequence::FindNext);
  addAction(findNextKey);
  connect(findNextKey, &QAction::triggered, this, guard([this] { SpeedButton1Click(); }));
  connect(edSearchStr, &QLineEdit::returnPressed, this, guard([this] { SpeedButton1Click(); }));
  FLineCounter = new QTimer(this);
  FLineCounter->setInterval(0);
  connect(FLineCounter, &QTimer::timeout, this, guard([this] {
    constexpr int sliceMs = 15;  // between two slices the window paints and takes input
    if (countLines(sliceMs))
      FLineCounter->stop();
  }));
  DBRTF->OnChange = [this] { DBRTFChange(); };
  // A record's text arriving is no edit, but the line count shown must follow it.
  DBRTF->OnLoad = [this] {
    ++FTextVersion;
    StatusBar1->SetPanelText(MemoStatus::Lines, QString());  // the last record's count is no longer true
    lbNotEditable->setText(DBRTF->NotEditableReason());
    lbNotEditable->setVisible(!DBRTF->NotEditableReason().isEmpty());
    UpdateStatus();
  };
  DBRTF->OnClick = [this] { DBRTFClick(); };
  DBRTF->OnEnter = [this] { DBRTFEnter(); };
  DBRTF->OnKeyDown = [this](QKeyEvent* key) { DBRTFKeyDown(key); };
  DBRTF->OnMouseDown = [this](QMouseEvent* mouse) { DBRTFMouseDown(mouse); };
}

void TfmMemoView::bindTo(TDataSource* source, const QString& fieldName)
{
  DBRTF->SetDataSource(source);
  DBRTF->SetDataField(fieldName);
  FModified = false;
  UpdateStatus();
  show();
}

bool TfmMemoView::settleChangedText()
{
  if (!isVisible() || !FModified)
    return true;
  if (!FormCloseQuery())  // Yes posts (a failed post raises), No drops the record's changes
    return false;
  FModified = false;
  UpdateStatus();
  return true;
}

void TfmMemoView::UpdateStatus()
{
  StatusBar1->SetPanelText(MemoStatus::Modified, FModified ? tr("Modified") : QString());
  StatusBar1->SetPanelText(MemoStatus::Caret, QStringLiteral("%1:%2").arg(FLine).arg(FCol));
  restartLineCount();
}

void TfmMemoView::restartLineCount()
{
  // A caret move or a save changes no line: a count done or under way for this text, wrapped at this
  // width, stands.
  const int wrapWidth = DBRTF->WordWrap() ? DBRTF->viewport()->width() : -1;
  if (FCountedVersion == FTextVersion && FCountedWidth == wrapWidth)
    return;
  FCountedVersion = FTextVersion;
  FCountedWidth = wrapWidth;
  FCountedBlocks = 0;
  FCountedLines = 0;
  if (!DBRTF->WordWrap())  // one display line a block: known at once
    FCountedBlocks = FCountedLines = DBRTF->document()->blockCount();
  constexpr int firstSliceMs = 10;  // a text counted in this time is shown with its count at once
  if (countLines(firstSliceMs))
    FLineCounter->stop();
  else
    FLineCounter->start();
}

bool TfmMemoView::countLines(int budgetMs)
{
  QElapsedTimer clock;
  clock.start();
  QTextDocument* doc = DBRTF->document();
  QAbstractTextDocumentLayout* layout = doc->documentLayout();
  for (QTextBlock b = doc->findBlockByNumber(FCountedBlocks); b.isValid(); b = b.next()) {
    FCountedLines += displayLineCount(layout, b);
    ++FCountedBlocks;
    if (FCountedBlocks % 64 == 0 && clock.elapsed() >= budgetMs)
      return false;
  }
  int lines = FCountedLines;
  if (doc->lastBlock().length() <= 1)  // only its end mark: an empty last line is not counted
    --lines;
  StatusBar1->SetPanelText(MemoStatus::Lines, QStringLiteral("%1 Lines").arg(lines));
  if (FCaretWaits) {
    FCaretWaits = false;
    UpdateCaretPos();
  }
  return true;
}

void TfmMemoView::UpdateCaretPos()
{
  // The display line, as the line count counts them: a wrapped line is several.
  QTextDocument* doc = DBRTF->document();
  QAbstractTextDocumentLayout* layout = doc->documentLayout();
  const int caret = DBRTF->textCursor().selectionEnd();
  const QTextBlock caretBlock = doc->findBlock(caret);
  if (DBRTF->WordWrap() && FLineCounter->isActive() && caretBlock.blockNumber() >= FCountedBlocks) {
    FCaretWaits = true;  // the lines before it are not laid out yet: the count will get there
    return;
  }
  int line = 0;
  for (QTextBlock b = doc->begin(); b.isValid() && b != caretBlock; b = b.next())
    line += DBRTF->WordWrap() ? displayLineCount(layout, b) : 1;
  int col = caret - caretBlock.position();
  if (DBRTF->WordWrap()) {
    displayLineCount(layout, caretBlock);
    const QTextLine textLine = caretBlock.layout()->lineForTextPosition(col);
    if (textLine.isValid()) {
      line += textLine.lineNumber();
      col -= textLine.textStart();
    }
  }
  FLine = line + 1;
  FCol = col + 1;
  UpdateStatus();
}

bool TfmMemoView::FormCloseQuery()
{
  if (!FModified)
    return true;
  QMessageBox box(QMessageBox::NoIcon, tr("Memo Changed"),
                  tr("Memo data has be modified. Do you want to save your changes?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Yes);
  switch (box.exec()) {
  case QMessageBox::Yes:
    btSaveClick();  // a failed post raises and so keeps the window open
    return true;
  case QMessageBox::No:
    if (TDataSet* ds = DBRTF->DataSource() ? DBRTF->DataSource()->DataSet() : nullptr)
      ds->Cancel();
    return true;
  default:
    return false;
  }
}

void TfmMemoView::FormClose()
{
  unbind();
}

void TfmMemoView::FormHide()
{
  unbind();
}

void TfmMemoView::unbind()
{
  DBRTF->SetDataSource(nullptr);
  DBRTF->SetDataField(QString());
}

void TfmMemoView::closeEvent(QCloseEvent* event)
{
  bool canClose = false;
  Guarded([&] { canClose = FormCloseQuery(); });
  if (!canClose) {
    event->ignore();
    return;
  }
  Guarded([&] { FormClose(); });
  event->accept();  // Qt hides the window, which runs FormHide as well
}

void TfmMemoView::hideEvent(QHideEvent* event)
{
  QMainWindow::hideEvent(event);
  // Minimising sends a spontaneous hide; the viewer stays bound then.
  if (!event->spontaneous())
    Guarded([&] { FormHide(); });
}

void TfmMemoView::btSaveClick()
{
  TDataSet* ds = DBRTF->DataSource() ? DBRTF->DataSource()->DataSet() : nullptr;
  if (ds && (ds->State() == dsEdit || ds->State() == dsInsert)) {
    ds->Post();  // hands the text to the field first
    FModified = false;
  }
  UpdateStatus();
}

void TfmMemoView::btCutClick()
{
  DBRTF->cut();
}

void TfmMemoView::btCopyClick()
{
  DBRTF->copy();
}

void TfmMemoView::btPasteClick()
{
  DBRTF->paste();
}

void TfmMemoView::SpeedButton1Click()
{
  QTextCursor cursor = DBRTF->textCursor();
  const int start = cursor.hasSelection() ? cursor.selectionEnd() : 0;
  const QString what = edSearchStr->text();
  if (what.isEmpty())
    return;  // nothing to look for is never found
  const QString text = DBRTF->document()->toRawText();
  const qsizetype hit = text.indexOf(what, start, Qt::CaseSensitive);
  if (hit < 0)
    return;
  DBRTF->setFocus();
  cursor.setPosition(int(hit));
  cursor.setPosition(int(hit + what.size()), QTextCursor::KeepAnchor);
  DBRTF->setTextCursor(cursor);
}

void TfmMemoView::DBRTFChange()
{
  FModified = true;
  ++FTextVersion;
  UpdateStatus();
}

void TfmMemoView::DBRTFClick()
{
  UpdateCaretPos();
}

void TfmMemoView::DBRTFEnter()
{
  UpdateCaretPos();
}

void TfmMemoView::DBRTFKeyDown(QKeyEvent*)
{
  UpdateCaretPos();
}

void TfmMemoView::DBRTFMouseDown(QMouseEvent*)
{
  UpdateCaretPos();
}

void TfmMemoView::mnWordWrapClick()
{
  if (mnWordWrap->isChecked()) {
    mnWordWrap->setChecked(false);
    DBRTF->SetWordWrap(false);
  } else {
    mnWordWrap->setChecked(true);
    DBRTF->SetWordWrap(true);
  }
}

void TfmMemoView::mnTabsClick()
{
  if (mnTabs->isChecked()) {
    DBRTF->SetWantTabs(false);
    mnTabs->setChecked(false);
  } else {
    DBRTF->SetWantTabs(true);
    mnTabs->setChecked(true);
  }
}
