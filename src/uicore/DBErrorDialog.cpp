#include "uicore/DBErrorDialog.h"

#include "dataaccess/DBErrors.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

TfmDBError::TfmDBError(QWidget* owner, const EDBEngineError& error) : QDialog(owner)
{
  setObjectName(QStringLiteral("fmDBError"));
  setWindowTitle(tr("Database Error"));
  setFixedSize(430, 279);

  RTF = new QPlainTextEdit(QStringLiteral("RTF"), this);
  RTF->setObjectName(QStringLiteral("RTF"));
  RTF->setGeometry(0, 0, 430, 229);
  RTF->setReadOnly(true);
  RTF->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  RTF->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette pal = RTF->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Button));
  RTF->setPalette(pal);
  QFont font = RTF->font();
  font.setPixelSize(17);
  RTF->setFont(font);

  btOK = new QPushButton(tr("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  btOK->setGeometry((430 - 75) / 2, 229 + (279 - 229 - 25) / 2, 75, 25);
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);

  QStringList lines;
  for (int i = 0; i < error.ErrorCount(); ++i)
    lines << error.Errors(i).Message << QString();
  RTF->setPlainText(lines.join(QLatin1Char('\n')));

  exec();
  deleteLater();
}
