#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class TDataSet;
class TDriverConnection;

// The connection component. Datasets reach it through its DatabaseName.
class TDatabase {
public:
  TDatabase();
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  QString DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const QString& name);  // while closed
  QString AliasName() const { return FAliasName; }
  void SetAliasName(const QString& name);     // while closed
  // "NAME=value" lines; "USER NAME" and "PASSWORD" go to the driver.
  QStringList Params;
  bool LoginPrompt = false;  // this engine has no login prompt of its own
  QString SessionName = QStringLiteral("Default");

  std::function<void(TDatabase&)> AfterConnect;
  std::function<void(TDatabase&)> AfterDisconnect;
  // The server went away (lost true), or the next command reached it again (lost false). The
  // connection stays open meanwhile: datasets and the record being edited are kept.
  std::function<void(TDatabase&, bool lost)> OnConnectionState;
  bool ConnectionLost() const { return FLost; }

  void Open();
  // Closes every dataset that runs over this connection first; nothing happens when already closed.
  void Close();
  bool Connected() const { return FConnection != nullptr; }
  void SetConnected(bool connected) { connected ? Open() : Close(); }

  // The value of a "NAME=value" line of Params (name compared without regard to case).
  QString ParamValue(const QString& name) const;

  // For datasets and the session: the open driver connection (EDBEngineError when closed).
  TDriverConnection& Connection();
  void RegisterDataSet(TDataSet* dataSet);
  void UnregisterDataSet(TDataSet* dataSet);

private:
  QString FDatabaseName;
  QString FAliasName;
  std::unique_ptr<TDriverConnection> FConnection;
  std::vector<TDataSet*> FDataSets;
  bool FLost = false;
};
