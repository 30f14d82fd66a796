#include "viewer/MemoViewWindow.h"

TfmMemoView* fmMemoView = nullptr;

TfmMemoView::TfmMemoView(QWidget* parent) : QMainWindow(parent, Qt::Window)
{
  setObjectName(QStringLiteral("fmMemoView"));
  setWindowTitle(QStringLiteral("Memo View"));
}
