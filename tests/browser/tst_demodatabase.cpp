// The demo database that the run command starts on: it opens, every table reads, and together its
// columns show every field type the SQLite driver produces.
#include "AppFixture.h"

#include "dataaccess/FieldTypes.h"

#include <QFileInfo>

using namespace app_fixture;

class TestDemoDatabase : public QObject {
  Q_OBJECT

private slots:
  void everyTableReadsAndEveryTypeShows()
  {
    const QString demo = QString::fromLocal8Bit(qgetenv("KESTREL_DEMO_DB"));
    QVERIFY2(QFileInfo::exists(demo), "the build makes the demo database");
    TestFolder folder;
    startProgram(folder, "[Demo]\nDriver=SQLite\nDatabase=" + demo.toUtf8() + "\n");
    loginWith(QString(), QString());
    doubleClick(child(root(), QStringLiteral("Demo")));
    QVERIFY(fmMain->Database.Connected());
    TTreeNode* alias = child(root(), QStringLiteral("Demo"));
    QVERIFY(alias->Count() >= 6);

    QSet<int> types;
    bool compositeKey = false, withoutKey = false;
    for (int i = 0; i < alias->Count(); ++i) {
      TTreeNode* table = alias->Item(i);
      fmMain->LoadTableFields(table);
      int keyFields = 0;
      for (int f = 0; f < table->Count(); ++f) {
        auto* field = static_cast<FDObject*>(table->Item(f)->Data);
        types.insert(field->DataType);
        keyFields += field->PrimaryKey;
      }
      QVERIFY2(table->Count() > 0, qPrintable(table->Text()));
      compositeKey |= keyFields >= 2;
      withoutKey |= keyFields == 0;
    }
    QVERIFY(compositeKey);
    QVERIFY(withoutKey);
    for (TFieldType t : {ftAutoInc, ftSmallint, ftInteger, ftLargeint, ftBoolean, ftFixedChar, ftString, ftMemo, ftBCD,
                         ftFloat, ftCurrency, ftDate, ftTime, ftDateTime, ftBlob})
      QVERIFY2(types.contains(t), qPrintable(fieldTypeIdentifier(t)));
    stopProgram();
  }
};

QTEST_MAIN(TestDemoDatabase)
#include "tst_demodatabase.moc"
