#include "export/ExportProgressDialog.h"

#include "uicore/ExceptionGuard.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

TfmExportProgress* fmExportProgress = nullptr;
bool CancelExport = false;

TfmExportProgress::TfmExportProgress(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
{
  setObjectName(QStringLiteral("fmExportProgress"));
  setWindowTitle(tr("SQL Export"));
  setFixedSize(360, 170);
  setModal(false);
  setCursor(Qt::ArrowCursor);

  QFont bold = font();
  bold.setBold(true);
  lbDescription = new QLabel(QStringLiteral("lbDescription"), this);
  lbDescription->setTextFormat(Qt::PlainText);  // a table and a file name, as written
  lbDescription->setObjectName(QStringLiteral("lbDescription"));
  lbDescription->setFont(bold);
  lbDescription->setWordWrap(true);
  lbDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lbDescription->setGeometry(12, 8, 336, 64);
  Label1 = new QLabel(tr("Progress:"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(bold);
  Label1->setGeometry(12, 76, 120, 18);
  lbExportStatus = new QLabel(this);
  lbExportStatus->setObjectName(QStringLiteral("lbExportStatus"));
  lbExportStatus->setGeometry(12, 96, 336, 18);
  ExportProgressBar = new QProgressBar(this);
  ExportProgressBar->setObjectName(QStringLiteral("ExportProgressBar"));
  ExportProgressBar->setRange(0, 100);
  ExportProgressBar->setValue(0);
  ExportProgressBar->setGeometry(12, 116, 336, 16);
  btCancel = new QPushButton(tr("Cancel"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setGeometry(141, 138, 78, 26);
  btCancel->setAutoDefault(false);
  connect(btCancel, &QPushButton::clicked, this, guard([this] { btCancelClick(); }));
}

void TfmExportProgress::start(const QString& description, int maximum)
{
  ExportProgressBar->setRange(0, maximum);
  ExportProgressBar->setValue(0);
  lbExportStatus->clear();
  setWindowTitle(tr("Export Table"));
  lbDescription->setText(description);
  FSinceRefresh.invalidate();
  show();
  if (QWidget* owner = parentWidget())
    move(owner->geometry().center() - rect().center());
}

bool TfmExportProgress::advance(int row)
{
  const int maximum = ExportProgressBar->maximum();
  const bool due = !FSinceRefresh.isValid() || row >= maximum ||
                   (row % clockEveryRows == 0 && FSinceRefresh.elapsed() >= refreshIntervalMs);
  if (!due)
    return false;
  FSinceRefresh.start();
  lbExportStatus->setText(tr("Exporting Row %1 of %2 ...").arg(row).arg(maximum));
  ExportProgressBar->setValue(std::min(row, maximum));
  return true;
}

void TfmExportProgress::finish()
{
  hide();
}

void TfmExportProgress::btCancelClick()
{
  CancelExport = true;
}

void TfmExportProgress::closeEvent(QCloseEvent* event)
{
  if (FormCloseQuery())
    event->accept();
  else
    event->ignore();
}

void TfmExportProgress::keyPressEvent(QKeyEvent* event)
{
  if (event->key() == Qt::Key_Escape) {  // Esc presses Cancel; it never closes the dialog
    btCancel->click();
    return;
  }
  QDialog::keyPressEvent(event);
}
