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

  static TTreeNode* alias() { return child(root(), QStringLiteral("T")); }
  static TTreeNode* table(const QString& name) { return child(alias(), name); }

  // Connects to T and reads zeta's structure, so that every level of the tree has nodes.
  static void connectAndReadZeta()
  {
    loginWith(QStringLiteral("u"), QStringLiteral("p"));
    doubleClick(alias());
    QVERIFY(fmMain->Database.Connected());
    doubleClick(table(QStringLiteral("zeta")));
    QCOMPARE(table(QStringLiteral("zeta"))->Count(), 2);
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
    // A case-sensitive order would put T first.
    startProgram(*folder, "[gamma]\nDriver=SQLite\nDatabase=t.db\n[T]\nDriver=SQLite\nDatabase=t.db\n"
                          "[beta]\nDriver=SQLite\nDatabase=t.db\n");
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // Aliases and tables stand in alphabetical order without regard to case, fields in table order.
  void ordersAndPicturesOfEachLevel()
  {
    QCOMPARE(childTexts(root()), QStringList({"beta", "gamma", "T"}));
    QVERIFY(root()->isExpanded());
    connectAndReadZeta();
    const QStringList tables = childTexts(alias());
    QCOMPARE(tables.first(), QStringLiteral("Alpha"));
    QCOMPARE(tables.last(), QStringLiteral("Zulu"));
    QVERIFY(tables.indexOf(QStringLiteral("eagle")) < tables.indexOf(QStringLiteral("zeta")));
    QCOMPARE(childTexts(table(QStringLiteral("zeta"))), QStringList({"b", "a"}));
    // Each level has a picture of its own, the same when selected.
    QSet<int> pictures;
    for (TTreeNode* node : {root(), alias(), table(QStringLiteral("zeta")), table(QStringLiteral("zeta"))->Item(0)}) {
      QCOMPARE(node->SelectedIndex(), node->ImageIndex());
      pictures << node->ImageIndex();
    }
    QCOMPARE(pictures.size(), 4);
  }

  // Clicks on the root and an alias leave the structure list alone; double-clicks on the root and a
  // field only hide the memo viewer.
  void rootAliasAndFieldNodesDoLittle()
  {
    connectAndReadZeta();
    TTreeNode* zeta = table(QStringLiteral("zeta"));
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
    click(root());
    click(alias());
    QCOMPARE(fmMain->lvFields->rowCount(), 2);
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->EditSheet);
    for (TTreeNode* node : {root(), zeta->Item(0)}) {
      fmMemoView->show();
      doubleClick(node);
      QVERIFY(!fmMemoView->isVisible());
      QCOMPARE(zeta->Count(), 2);
      QVERIFY(fmMain->Database.Connected());
    }
    // A table never read: the list empties and the Fields page comes to the front.
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
    click(table(QStringLiteral("Alpha")));
    QCOMPARE(fmMain->lvFields->rowCount(), 0);
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
  }

  void doubleClickDuringAnExportDoesNothing()
  {
    fmMemoView->show();
    fmMain->FExporting = true;
    doubleClick(alias());  // no login dialog may appear
    QVERIFY(fmMemoView->isVisible());
    QVERIFY(!fmMain->Database.Connected());
    QCOMPARE(fmMain->TreeView1->Selected(), alias());
    fmMain->FExporting = false;
    fmMemoView->hide();
  }

  void deletedNodesFreeTheirObjectsOnce()
  {
    connectAndReadZeta();
    // Hang counted objects at both levels below the alias; a new attempt deletes them all.
    fmMain->TreeView1->AddChildObject(alias(), QStringLiteral("extra"), new CountedObject);
    fmMain->TreeView1->AddChildObject(table(QStringLiteral("zeta"))->Item(0), QStringLiteral("deeper"), new CountedObject);
    QCOMPARE(liveCounters, 2);
    answerNextModal([](QWidget*) { fmLogin->reject(); });
    doubleClick(alias());
    QCOMPARE(liveCounters, 0);
    QCOMPARE(alias()->Count(), 0);
    // Destroying the window frees what is left.
    fmMain->TreeView1->AddChildObject(root(), QStringLiteral("last"), new CountedObject);
    stopProgram();
    QCOMPARE(liveCounters, 0);
  }
};

QTEST_MAIN(TestSchemaTree)
#include "tst_schematree.moc"
