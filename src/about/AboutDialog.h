#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;
class TImage;
class TVersionInfoResource;

// The About box: name, description, version and copyright from the program's own version
// resource, a picture, a contact line and a table of further version items. It has no code of its
// own beyond building the form: the version information component fills it.
class TfmAbout : public QDialog {
  Q_OBJECT
public:
  explicit TfmAbout(QWidget* parent = nullptr);

  QFrame* Bevel1;
  TImage* Image1;
  QLabel* lbProduct;
  QLabel* lbDescription;
  QLabel* lbVersion;
  QLabel* lbCopyRight;
  QTreeWidget* ListView1;
  QLabel* Label1;
  QPushButton* btOK;
  TVersionInfoResource* VersionInfoResource1;

  void setVisible(bool visible) override;

private:
  // Centred on the screen, not on the main window.
  void centreOnScreen();
};

extern TfmAbout* fmAbout;
