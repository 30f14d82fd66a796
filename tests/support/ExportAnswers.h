#pragma once

#include "TestSupport.h"

#include "export/CSVOptionsDialog.h"
#include "export/XMLOptionsDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Answers to the export option dialogs, as a user fills them in.
namespace export_answers {

inline void answerCSV(const QString& file, bool names, bool quotes)
{
  answerNextModal([=](QWidget* w) {
    QCOMPARE(w, static_cast<QWidget*>(fmCSVOpts));
    fmCSVOpts->edFileName->setText(file);
    fmCSVOpts->cbFieldNames->setChecked(names);
    fmCSVOpts->cbQuotes->setChecked(quotes);
    QTest::keyClick(w, Qt::Key_Return);  // OK is the default button
  });
}

inline void answerXML(const QString& file, bool mime)
{
  answerNextModal([=](QWidget* w) {
    QCOMPARE(w, static_cast<QWidget*>(fmXMLOpts));
    fmXMLOpts->edFilename->setText(file);
    fmXMLOpts->cbMIME->setChecked(mime);
    QTest::keyClick(w, Qt::Key_Return);  // Enter confirms nothing here
    QVERIFY(w->isVisible());
    fmXMLOpts->btOK->click();
  });
}

}  // namespace export_answers
