#pragma once

#include "browser/AliasFileText.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct TAliasConfig;

// Asks for a connection's settings: its name, its driver, and the database (a file for SQLite; a
// host, port and database name for PostgreSQL; a data source of the system's for ODBC, offered from
// the driver manager's list). Settings it does not show are kept as they are.
class TfmConnection : public QDialog {
  Q_OBJECT
public:
  explicit TfmConnection(QWidget* parent = nullptr);

  QLineEdit* edName;
  QComboBox* cbDriver;
  QLineEdit* edDatabase;
  QPushButton* btBrowse;
  QLineEdit* edHost;
  QLineEdit* edPort;
  QComboBox* cbDataSource;
  QLabel* lbFault;
  QPushButton* btOK;

  // Fills the dialog from an alias (nullptr: a new one) and asks. nameTaken says whether another
  // alias already has a name. Returns the settings to write, or false when the user cancelled.
  bool ask(const TAliasConfig* existing, const std::function<bool(const QString&)>& nameTaken, TAliasSettings& result);

private:
  void showDriverFields();
  TAliasSettings settings() const;

  const TAliasConfig* FExisting = nullptr;
  std::function<bool(const QString&)> FNameTaken;
  QList<QWidget*> FFileFields, FServerFields, FDataSourceFields;
};
