#include "viewer/DBRichEdit.h"

#include "uicore/ExceptionGuard.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/Field.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>

TDBRichEdit::TDBRichEdit(QWidget* parent) : QPlainTextEdit(parent)
{
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTabChangesFocus(true);
  connect(this, &QPlainTextEdit::textChanged, this, guard([this] { TextEdited(); }));
}

TDBRichEdit::~TDBRichEdit()
{
  // Unbinding reloads the text: nobody may hear about it any more.
  OnLoad = nullptr;
  OnChange = nullptr;
  FLink.SetDataSource(nullptr);
}

void TDBRichEdit::SetDataSource(TDataSource* source)
{
  FLink.SetDataSource(source);  // tells ActiveChanged, which loads the text
}

void TDBRichEdit::SetDataField(const QString& name)
{
  if (name == FDataField)
    return;
  FDataField = name;
  FTextModified = false;  // text typed for the previous field does not belong to this one
  LoadText();
}

TField* TDBRichEdit::Field() const
{
  TDataSet* ds = FLink.DataSet();
  if (!ds || !ds->Active() || FDataField.isEmpty())
    return nullptr;
  return ds->FindField(FDataField);
}

bool TDBRichEdit::WordWrap() const
{
  return lineWrapMode() != QPlainTextEdit::NoWrap;
}

void TDBRichEdit::SetWordWrap(bool wrap)
{
  setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TDBRichEdit::SetWantTabs(bool want)
{
  FWantTabs = want;
  setTabChangesFocus(!want);
}

void TDBRichEdit::Link::RecordChanged(TField* field)
{
  // Another control wrote this field (or the whole record changed): show its value.
  if (!field || field == FOwner.Field()) {
    if (!FOwner.FWriting)
      FOwner.FTextModified = false;
    FOwner.LoadText();
  }
}

void TDBRichEdit::LoadText()
{
  if (FWriting)
    return;  // our own text going to the field: reloading it would only move the caret
  TField* field = Field();
  const bool editing = field && (field->DataSet().State() == dsEdit || field->DataSet().State() == dsInsert);
  // Typed text waits for the record's post; a change of state or a repaint of the record must not lose it.
  if (FTextModified && editing)
    return;
  FTextModified = false;
  const QString text = field ? field->AsString() : QString();
  FLineBreak = text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
  ShowText(text);
  FNotEditableReason.clear();
  if (field && !field->IsNull()) {
    const QByteArray stored = field->AsBytes();
    if (QString::fromUtf8(stored).toUtf8() != stored)
      FNotEditableReason = tr("This value is not valid UTF-8 text. It is shown with replacement characters and "
                              "cannot be edited here; the stored bytes stay as they are.");
    else if (ShownText().toUtf8() != stored)
      FNotEditableReason = tr("This value holds characters or line ends that this editor cannot keep exactly. "
                              "It is shown read-only; the stored text stays as it is.");
  }
  setReadOnly(!FNotEditableReason.isEmpty());
  if (OnLoad)
    OnLoad();
}

void TDBRichEdit::ShowText(const QString& text)
{
  if (text == ShownText())
    return;  // keep the caret, the scroll position and the undo history
  QScopedValueRollback loading(FLoading, true);
  setPlainText(text);
}

QString TDBRichEdit::ShownText() const
{
  // The raw text keeps characters that toPlainText would change (no-break spaces).
  QString text = document()->toRawText();
  text.replace(QChar::ParagraphSeparator, FLineBreak);
  return text;
}

void TDBRichEdit::TextEdited()
{
  if (FLoading)
    return;
  // Set first: entering edit mode on an empty dataset inserts a record and announces it, and that
  // must not throw the typed text away.
  FTextModified = true;
  bool editing = false;
  try {
    TField* field = Field();
    editing = field && !field->ReadOnly && DataSource()->Edit();
  } catch (...) {
    FTextModified = false;
    LoadText();
    throw;
  }
  if (!editing) {
    FTextModified = false;
    LoadText();  // the value may not change: show it as it is
    return;
  }
  if (OnChange)
    OnChange();
}

void TDBRichEdit::UpdateRecord()
{
  if (!FTextModified)
    return;
  TField* field = Field();
  if (!field || (field->DataSet().State() != dsEdit && field->DataSet().State() != dsInsert))
    return;
  QScopedValueRollback writing(FWriting, true);
  field->SetAsString(ShownText());
  FTextModified = false;
}

bool TDBRichEdit::event(QEvent* e)
{
  // Before the control (and the focus chain, for Tab) sees the key.
  if (e->type() == QEvent::KeyPress && OnKeyDown)
    Guarded([&] { OnKeyDown(static_cast<QKeyEvent*>(e)); });
  return QPlainTextEdit::event(e);
}

void TDBRichEdit::mousePressEvent(QMouseEvent* e)
{
  QPlainTextEdit::mousePressEvent(e);
  FPressed = e->button() == Qt::LeftButton;
  if (OnMouseDown)
    Guarded([&] { OnMouseDown(e); });
}

void TDBRichEdit::mouseReleaseEvent(QMouseEvent* e)
{
  QPlainTextEdit::mouseReleaseEvent(e);
  const bool click = FPressed && e->button() == Qt::LeftButton && viewport()->rect().contains(e->position().toPoint());
  FPressed = false;
  if (click && OnClick)
    Guarded([&] { OnClick(); });
}

void TDBRichEdit::focusInEvent(QFocusEvent* e)
{
  QPlainTextEdit::focusInEvent(e);
  if (OnEnter)
    Guarded([&] { OnEnter(); });
}

void TDBRichEdit::focusOutEvent(QFocusEvent* e)
{
  Guarded([&] { UpdateRecord(); });
  QPlainTextEdit::focusOutEvent(e);
}
