// The demo database that the run command starts on: it opens, every table reads, and together its
// columns show every field type the SQLite driver produces, by its name in the structure list.
#include "AppFixture.h"

#include "dataaccess/FieldTypes.h"

#include <QFileInfo>
#include <QTableWidget>

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

    QSet<QString> shown;  // "type=name in the list"
    bool compositeKey = false, withoutKey = false;
    for (int i = 0; i < alias->Count(); ++i) {
      TTreeNode* table = alias->Item(i);
      fmMain->LoadTableFields(table);
      QVERIFY2(table->Count() > 0, qPrintable(table->Text()));
      int keyFields = 0;
      for (int f = 0; f < table->Count(); ++f) {
        auto* field = static_cast<FDObject*>(table->Item(f)->Data);
        shown << fieldTypeIdentifier(TFieldType(field->DataType)) + '=' + fmMain->lvFields->item(f, 1)->text();
        keyFields += field->PrimaryKey;
      }
      compositeKey |= keyFields >= 2;
      withoutKey |= keyFields == 0;
    }
    QVERIFY(compositeKey);
    QVERIFY(withoutKey);
    stopProgram();
    // SQLite keeps every integer in 64 bits, so no column is a 32-bit ftInteger; audit_log.payload
    // declares no type and holds every storage class (ftVariant).
    for (const char* t : {"ftAutoInc=Auto-inc 32-bit integer", "ftSmallint=16-bit integer", "ftLargeint=64-bit integer",
                          "ftBoolean=Boolean", "ftFixedChar=Char", "ftString=String", "ftMemo=Text memo", "ftBCD=BCD",
                          "ftFloat=Float", "ftCurrency=Currency", "ftDate=Date", "ftTime=Time", "ftDateTime=DateTime",
                          "ftBlob=BLOB", "ftVariant=Unknown"})
      QVERIFY2(shown.contains(QLatin1String(t)), t);
  }
};

QTEST_MAIN(TestDemoDatabase)
#include "tst_demodatabase.moc"
