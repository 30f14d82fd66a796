#pragma once

#include "dataaccess/DataSource.h"

#include <QPlainTextEdit>
#include <functional>

class QKeyEvent;
class QMouseEvent;

// A plain-text editor bound to one field of a data source's dataset. It shows that field of the
// current record and follows the record; a user's change puts the record into edit mode, and the
// text reaches the field before the record is posted and when the control loses the focus.
class TDBRichEdit : public QPlainTextEdit {
  Q_OBJECT
public:
  explicit TDBRichEdit(QWidget* parent = nullptr);
  ~TDBRichEdit() override;

  TDataSource* DataSource() const { return FLink.DataSource(); }
  void SetDataSource(TDataSource* source);
  QString DataField() const { return FDataField; }
  void SetDataField(const QString& name);
  // The bound field of the open dataset, or nullptr.
  TField* Field() const;

  bool WordWrap() const;
  void SetWordWrap(bool wrap);
  // False: Tab moves the focus on; true: Tab inserts a tab character.
  bool WantTabs() const { return FWantTabs; }
  void SetWantTabs(bool want);

  // Hands text the user typed to the field (when there is any); raises what the field raises.
  void UpdateRecord();

  // Why the current value is shown read-only, or empty when it can be edited: a value this control
  // cannot show exactly (bytes that are not UTF-8 text, a NUL, line ends of mixed kinds) would be
  // changed by writing it back, so it is only shown.
  QString NotEditableReason() const { return FNotEditableReason; }

  // User changes only: loading the record's text is not a change.
  std::function<void()> OnChange;
  // The text was (re)loaded from the record.
  std::function<void()> OnLoad;
  std::function<void()> OnClick;
  std::function<void()> OnEnter;
  // Runs before the control handles the key.
  std::function<void(QKeyEvent*)> OnKeyDown;
  std::function<void(QMouseEvent*)> OnMouseDown;

protected:
  bool event(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

private:
  class Link : public TDataLink {
  public:
    explicit Link(TDBRichEdit& owner) : FOwner(owner) {}
    void ActiveChanged() override { FOwner.LoadText(); }
    void DataSetChanged() override { FOwner.LoadText(); }
    void DataSetScrolled() override { FOwner.LoadText(); }
    void RecordChanged(TField* field) override;
    void UpdateData() override { FOwner.UpdateRecord(); }

  private:
    TDBRichEdit& FOwner;
  };

  void LoadText();
  void ShowText(const QString& text);
  QString ShownText() const;
  void TextEdited();

  Link FLink{*this};
  QString FDataField;
  QString FNotEditableReason;
  QString FLineBreak = QStringLiteral("\n");  // the record's own line ends go back as they came
  bool FWantTabs = false;
  bool FLoading = false;       // the text is being set from the record
  bool FWriting = false;       // the text is being written to the field
  bool FTextModified = false;  // typed since the record's text was last loaded or written
  bool FPressed = false;       // a click needs the press and the release on this control
};
