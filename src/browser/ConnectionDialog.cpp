#include "browser/ConnectionDialog.h"

#include "dataaccess/AliasConfig.h"
#include "dataaccess/odbc/OdbcDataSources.h"

#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString sqliteDriver = QStringLiteral("SQLite");
const QString postgresDriver = QStringLiteral("PostgreSQL");
const QString odbcDriver = QStringLiteral("ODBC");

}  // namespace

TfmConnection::TfmConnection(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmConnection"));
  setMinimumWidth(440);  // room for a path
  auto* form = new QFormLayout(this);
  edName = new QLineEdit(this);
  edName->setObjectName(QStringLiteral("edName"));
  form->addRow(tr("&Name:"), edName);
  cbDriver = new QComboBox(this);
  cbDriver->setObjectName(QStringLiteral("cbDriver"));
  cbDriver->addItems({sqliteDriver, postgresDriver, odbcDriver});
  form->addRow(tr("&Driver:"), cbDriver);

  auto* fileRow = new QWidget(this);
  auto* fileLayout = new QHBoxLayout(fileRow);
  fileLayout->setContentsMargins(0, 0, 0, 0);
  edDatabase = new QLineEdit(fileRow);
  edDatabase->setObjectName(QStringLiteral("edDatabase"));
  btBrowse = new QPushButton(tr("&Browse..."), fileRow);
  btBrowse->setObjectName(QStringLiteral("btBrowse"));
  fileLayout->addWidget(edDatabase, 1);
  fileLayout->addWidget(btBrowse);
  form->addRow(tr("Data&base:"), fileRow);
  edHost = new QLineEdit(this);
  edHost->setObjectName(QStringLiteral("edHost"));
  edHost->setPlaceholderText(tr("the local socket"));
  form->addRow(tr("&Host:"), edHost);
  edPort = new QLineEdit(this);
  edPort->setObjectName(QStringLiteral("edPort"));
  edPort->setValidator(new QIntValidator(1, 65535, edPort));
  edPort->setPlaceholderText(QStringLiteral("5432"));
  form->addRow(tr("&Port:"), edPort);
  cbDataSource = new QComboBox(this);
  cbDataSource->setObjectName(QStringLiteral("cbDataSource"));
  cbDataSource->setEditable(true);  // a data source the list does not show can be typed
  form->addRow(tr("Data &source:"), cbDataSource);
  FServerFields = {edHost, edPort};
  FFileFields = {btBrowse};
  FDataSourceFields = {cbDataSource};

  lbFault = new QLabel(this);
  lbFault->setObjectName(QStringLiteral("lbFault"));
  lbFault->setWordWrap(true);
  lbFault->setForegroundRole(QPalette::BrightText);
  form->addRow(lbFault);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  btOK = buttons->button(QDialogButtonBox::Ok);
  form->addRow(buttons);

  connect(cbDriver, &QComboBox::currentTextChanged, this, [this] { showDriverFields(); });
  connect(btBrowse, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getSaveFileName(this, tr("SQLite Database"), edDatabase->text(),
                                                      tr("SQLite databases (*.db *.sqlite *.sqlite3);;All Files (*)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
    if (!file.isEmpty())
      edDatabase->setText(QDir::toNativeSeparators(file));
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    // A fault keeps the dialog open with what was typed, and says what to mend.
    const TAliasSettings s = settings();
    QString fault = aliasSettingsFault(s);
    if (fault.isEmpty() && FNameTaken(s.Name))
      fault = tr("There is already a connection named \"%1\".").arg(s.Name);
    const bool odbc = cbDriver->currentText() == odbcDriver;
    // An ODBC alias written by hand may reach its data source by a connection string instead.
    const bool connectionString = odbc && FExisting && FExisting->value(QStringLiteral("ConnectionString"));
    if (fault.isEmpty() && odbc && !connectionString && cbDataSource->currentText().trimmed().isEmpty())
      fault = tr("Choose the data source.");
    if (fault.isEmpty() && !odbc && edDatabase->text().trimmed().isEmpty())
      fault = cbDriver->currentText() == sqliteDriver ? tr("Choose the database file.") : tr("Name the database.");
    lbFault->setText(fault);
    if (fault.isEmpty())
      accept();
  });
}

void TfmConnection::showDriverFields()
{
  const bool server = cbDriver->currentText() == postgresDriver;
  const bool odbc = cbDriver->currentText() == odbcDriver;
  auto* form = static_cast<QFormLayout*>(layout());
  for (QWidget* w : FServerFields)
    form->setRowVisible(w, server);
  for (QWidget* w : FFileFields)
    w->setVisible(!server && !odbc);
  form->setRowVisible(edDatabase->parentWidget(), !odbc);
  for (QWidget* w : FDataSourceFields)
    form->setRowVisible(w, odbc);
  if (odbc) {
    // Asked afresh each time ODBC is chosen: data sources come and go with the system's files.
    const QString typed = cbDataSource->currentText();
    cbDataSource->clear();
    cbDataSource->addItems(odbcDataSourceNames());
    cbDataSource->setCurrentText(typed);
  }
}

TAliasSettings TfmConnection::settings() const
{
  TAliasSettings s;
  s.Name = edName->text().trimmed();
  const bool server = cbDriver->currentText() == postgresDriver;
  const bool odbc = cbDriver->currentText() == odbcDriver;
  // Empty means "not set"; keys this dialog does not show stay as they were, where they were.
  const std::vector<std::pair<QString, QString>> shown{
      {QStringLiteral("Driver"), cbDriver->currentText()},
      {QStringLiteral("Database"), odbc ? QString() : edDatabase->text().trimmed()},
      {QStringLiteral("Host"), server ? edHost->text().trimmed() : QString()},
      {QStringLiteral("Port"), server ? edPort->text().trimmed() : QString()},
      {QStringLiteral("DSN"), odbc ? cbDataSource->currentText().trimmed() : QString()}};
  const auto shownValue = [&](const QString& key) -> const QString* {
    for (const auto& [k, v] : shown)
      if (k.compare(key, Qt::CaseInsensitive) == 0)
        return &v;
    return nullptr;
  };
  if (FExisting)
    for (const TAliasConfig::Entry& e : FExisting->Entries) {
      const QString* value = shownValue(e.Key);
      if (!value)
        s.Entries.emplace_back(e.Key, e.Value);
      else if (!value->isEmpty())
        s.Entries.emplace_back(e.Key, *value);
    }
  for (const auto& [key, value] : shown) {
    const bool there = std::any_of(s.Entries.begin(), s.Entries.end(),
                                   [&](const auto& e) { return e.first.compare(key, Qt::CaseInsensitive) == 0; });
    if (!there && !value.isEmpty())
      s.Entries.emplace_back(key, value);
  }
  return s;
}

bool TfmConnection::ask(const TAliasConfig* existing, const std::function<bool(const QString&)>& nameTaken,
                        TAliasSettings& result)
{
  FExisting = existing;
  FNameTaken = nameTaken;
  setWindowTitle(existing ? tr("Edit Connection") : tr("New Connection"));
  const auto value = [&](const char* key) { return existing ? existing->value(QLatin1String(key)).value_or(QString()) : QString(); };
  edName->setText(existing ? existing->Name : QString());
  const QString driver = value("Driver");
  cbDriver->setCurrentText(driver.compare(postgresDriver, Qt::CaseInsensitive) == 0 ? postgresDriver
                           : driver.compare(odbcDriver, Qt::CaseInsensitive) == 0   ? odbcDriver
                                                                                      : sqliteDriver);
  cbDataSource->setCurrentText(value("DSN"));
  edDatabase->setText(value("Database"));
  edHost->setText(value("Host"));
  edPort->setText(value("Port"));
  lbFault->clear();
  showDriverFields();
  edName->setFocus();
  if (exec() != QDialog::Accepted)
    return false;
  result = settings();
  return true;
}
