#include "AppFixture.h"

#include <QTabWidget>
#include <QTableWidget>

using namespace app_fixture;

namespace {
// A data object that says when it is freed, to check the tree's ownership.
int liveCounters = 0;
struct CountedObject : TObject {
  CountedObject() { ++liveCounters; }
  ~CountedObject() override { --liveCounters; }
};
}  // namespace

class TestSchemaTree : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  void connectTo(const QString& alias)
  {
    loginWith(QStringLiteral("u"), QStringLiteral("p"));
    doubleClick(child(root(), alias));
    QVERIFY(fmMain->Database.Connected());
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("t.db"), QStringLiteral(
        "CREATE TABLE zeta(b INT, a INT, PRIMARY KEY(a));"
        "CREATE TABLE Alpha(x INT);"
        "CREATE TABLE \"éclair\"(x INT);"
        "CREATE TABLE eagle(x INT);"
        "CREATE TABLE Zulu(x INT);"));
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void aliasesSortWithoutRegardToCase()
  {
    startProgram(*folder, "[gamma]\nDriver=SQLite\nDatabase=t.db\n[beta]\nDriver=SQLite\nDatabase=t.db\n"
                          "[Alpha]\nDriver=SQLite\nDatabase=t.db\n");
    QCOMPARE(childTexts(root()), QStringList({"Alpha", "beta", "gamma"}));
    QVERIFY(root()->isExpanded());
    QCOMPARE(root()->ImageIndex(), 0);
    QVERIFY(!root()->Data);
    TTreeNode* beta = child(root(), QStringLiteral("beta"));
    QCOMPARE(beta->ImageIndex(), 2);
    QCOMPARE(beta->SelectedIndex(), 2);
    QCOMPARE(beta->StateIndex, 5);
    QCOMPARE(static_cast<DBObject*>(beta->Data)->Name, QStringLiteral("beta"));
  }

  void tablesSortLikeAliasesAndFieldsByNumber()
  {
    startProgram(*folder, "[T]\nDriver=SQLite\nDatabase=t.db\n");
    connectTo(QStringLiteral("T"));
    TTreeNode* alias = child(root(), QStringLiteral("T"));
    const QStringList tables = childTexts(alias);
    QCOMPARE(tables.first(), QStringLiteral("Alpha"));
    QCOMPARE(tables.last(), QStringLiteral("Zulu"));
    QVERIFY(tables.indexOf(QStringLiteral("eagle")) < tables.indexOf(QStringLiteral("zeta")));
    // Fields stand in table order, not name order.
    doubleClick(child(alias, QStringLiteral("zeta")));
    QCOMPARE(childTexts(child(alias, QStringLiteral("zeta"))), QStringList({"b", "a"}));
  }

  void expandingAndCollapsingSetTheStateIndex()
  {
    startProgram(*folder, "[T]\nDriver=SQLite\nDatabase=t.db\n");
    TTreeNode* r = root();
    r->setExpanded(false);
    QCOMPARE(r->StateIndex, 5);
    r->setExpanded(true);
    QCOMPARE(r->StateIndex, 6);
  }

  void clicksOnRootAndAliasLeaveTheListAlone()
  {
    startProgram(*folder, "[T]\nDriver=SQLite\nDatabase=t.db\n");
    connectTo(QStringLiteral("T"));
    TTreeNode* alias = child(root(), QStringLiteral("T"));
    doubleClick(child(alias, QStringLiteral("zeta")));
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
    click(root());
    click(alias);
    QCOMPARE(fmMain->lvFields->rowCount(), 2);
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->EditSheet);
    // A table never read: the list empties and the Fields page comes to the front.
    click(child(alias, QStringLiteral("Alpha")));
    QCOMPARE(fmMain->lvFields->rowCount(), 0);
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
  }

  void doubleClicksOnRootAndFieldsOnlyHideTheMemoViewer()
  {
    startProgram(*folder, "[T]\nDriver=SQLite\nDatabase=t.db\n");
    connectTo(QStringLiteral("T"));
    TTreeNode* zeta = child(child(root(), QStringLiteral("T")), QStringLiteral("zeta"));
    doubleClick(zeta);
    const int fieldNodes = zeta->Count();
    for (TTreeNode* node : {root(), zeta->Item(0)}) {
      fmMemoView->show();
      doubleClick(node);
      QVERIFY(!fmMemoView->isVisible());
      QCOMPARE(zeta->Count(), fieldNodes);
      QVERIFY(fmMain->Database.Connected());
    }
  }

  void doubleClickDuringAnExportDoesNothing()
  {
    startProgram(*folder, "[T]\nDriver=SQLite\nDatabase=t.db\n");
    fmMemoView->show();
    fmMain->FExporting = true;
    doubleClick(child(root(), QStringLiteral("T")));  // no login dialog may appear
    QVERIFY(fmMemoView->isVisible());
    QVERIFY(!fmMain->Database.Connected());
    QCOMPARE(fmMain->TreeView1->Selected(), child(root(), QStringLiteral("T")));
    fmMain->FExporting = false;
    fmMemoView->hide();
  }

  void deletedNodesFreeTheirObjectsOnce()
  {
    startProgram(*folder, "[T]\nDriver=SQLite\nDatabase=t.db\n");
    connectTo(QStringLiteral("T"));
    TTreeNode* zeta = child(child(root(), QStringLiteral("T")), QStringLiteral("zeta"));
    doubleClick(zeta);
    // Hang counted objects at both levels below the alias; a new attempt deletes them all.
    fmMain->TreeView1->AddChildObject(child(root(), QStringLiteral("T")), QStringLiteral("extra"), new CountedObject);
    fmMain->TreeView1->AddChildObject(zeta->Item(0), QStringLiteral("deeper"), new CountedObject);
    QCOMPARE(liveCounters, 2);
    answerNextModal([](QWidget*) { fmLogin->reject(); });
    doubleClick(child(root(), QStringLiteral("T")));
    QCOMPARE(liveCounters, 0);
    QCOMPARE(child(root(), QStringLiteral("T"))->Count(), 0);
    // Destroying the window frees what is left.
    fmMain->TreeView1->AddChildObject(root(), QStringLiteral("last"), new CountedObject);
    stopProgram();
    QCOMPARE(liveCounters, 0);
  }
};

QTEST_MAIN(TestSchemaTree)
#include "tst_schematree.moc"
