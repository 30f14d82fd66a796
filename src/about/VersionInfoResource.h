#pragma once

// The version information component: reads the version resource of a module file (by default the
// program's own executable) through the platform's version-resource functions and shows it in the
// labels and the list view it is linked to.

#include <QLabel>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <cstdint>
#include <initializer_list>
#include <memory>

// The eleven predefined version items, by ordinal.
enum TPreDef {
  pdCompanyName,
  pdFileDescription,
  pdFileVersion,
  pdInternalName,
  pdLegalCopyright,
  pdLegalTrademarks,
  pdOriginalFilename,
  pdProductName,
  pdProductVersion,
  pdComments,
  pdBuildFlags
};
constexpr int PreDefCount = 11;

// The six build flags of the fixed file information, in the order they are listed in.
enum TBuildFlag { bfDebug, bfInfoInferred, bfPatched, bfPreRelease, bfPrivate, bfSpecial };
constexpr int BuildFlagCount = 6;

// A set of enumeration values held in the bits of one small integer.
template <class E, class Bits, int Count>
class TEnumSet {
public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> items)
  {
    for (E e : items)
      Include(e);
  }
  static constexpr TEnumSet All()
  {
    TEnumSet s;
    s.FBits = Bits((1u << Count) - 1);
    return s;
  }
  constexpr bool Contains(E e) const { return FBits & bit(e); }
  constexpr void Include(E e) { FBits = Bits(FBits | bit(e)); }
  constexpr void Exclude(E e) { FBits = Bits(FBits & ~bit(e)); }
  constexpr bool IsEmpty() const { return FBits == 0; }
  constexpr Bits ToBits() const { return FBits; }
  friend constexpr bool operator==(TEnumSet, TEnumSet) = default;

private:
  static constexpr Bits bit(E e) { return Bits(1u << int(e)); }
  Bits FBits = 0;
};

using TPreDefs = TEnumSet<TPreDef, uint16_t, PreDefCount>;
using TBuildFlags = TEnumSet<TBuildFlag, uint8_t, BuildFlagCount>;

// The program's resource strings of the component: list captions by TPreDef ordinal, the two column
// headings and the build-flag names by TBuildFlag ordinal. Translated and loaded once, on first use.
struct TVersionResourceStrings {
  QString Captions[PreDefCount];
  QString ResourceHeading;
  QString ValueHeading;
  QString BuildFlagNames[BuildFlagCount];
};
const TVersionResourceStrings& VersionResourceStrings();

// The string-table key of an item ("CompanyName" ...).
QString PreDefKey(TPreDef item);

// One four-part version number: major.minor.release.build from two 32-bit halves.
class TVersionNumberInformation {
public:
  bool Valid() const { return FValid; }
  uint32_t HighHalf() const { return FHigh; }
  uint32_t LowHalf() const { return FLow; }
  int Major() const { return FValid ? int(FHigh >> 16) : 0; }
  int Minor() const { return FValid ? int(FHigh & 0xFFFF) : 0; }
  int Release() const { return FValid ? int(FLow >> 16) : 0; }
  int Build() const { return FValid ? int(FLow & 0xFFFF) : 0; }
  // "2.1.0.20"; empty while not valid.
  QString Text() const;
  void SetValid(uint32_t high, uint32_t low);
  void SetInvalid();

private:
  bool FValid = false;
  uint32_t FHigh = 0;
  uint32_t FLow = 0;
};

class TVersionInfoResource;

// A view of the VS_FIXEDFILEINFO inside the component's version block; reads 0 without one.
class TFixedFileVersionInfo {
public:
  explicit TFixedFileVersionInfo(TVersionInfoResource* owner) : FOwner(owner) {}
  TVersionInfoResource* Owner() const { return FOwner; }
  const void* FixedInfo() const { return FFixedInfo; }
  void SetFixedInfo(const void* fixedInfo) { FFixedInfo = fixedInfo; }

  uint32_t FileVersionMS() const;
  uint32_t FileVersionLS() const;
  uint32_t ProductVersionMS() const;
  uint32_t ProductVersionLS() const;
  // From dwFileFlags as stored: the flags mask is not applied.
  TBuildFlags BuildFlags() const;

private:
  uint32_t field(std::size_t offset) const;
  TVersionInfoResource* FOwner;
  const void* FFixedInfo = nullptr;
};

enum TOperation { opInsert, opRemove };

class TVersionInfoResource : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Version READ Version WRITE SetVersion)
  Q_PROPERTY(QString Filename READ Filename WRITE SetFilename)
  Q_PROPERTY(bool ForceEXE READ ForceEXE WRITE SetForceEXE)
  Q_PROPERTY(QString CompanyName READ CompanyName)
  Q_PROPERTY(QString FileDescription READ FileDescription)
  Q_PROPERTY(QString InternalName READ InternalName)
  Q_PROPERTY(QString LegalCopyright READ LegalCopyright)
  Q_PROPERTY(QString LegalTrademarks READ LegalTrademarks)
  Q_PROPERTY(QString OriginalFilename READ OriginalFilename)
  Q_PROPERTY(QString ProductName READ ProductName)
  Q_PROPERTY(QString Comments READ Comments)
  Q_PROPERTY(QLabel* VersionLabel READ VersionLabel WRITE SetVersionLabel)
  Q_PROPERTY(QLabel* CopyrightLabel READ CopyrightLabel WRITE SetCopyrightLabel)
  Q_PROPERTY(QLabel* ProductLabel READ ProductLabel WRITE SetProductLabel)
  Q_PROPERTY(QLabel* DescriptionLabel READ DescriptionLabel WRITE SetDescriptionLabel)
  Q_PROPERTY(QTreeWidget* VersionListView READ VersionListView WRITE SetVersionListView)
  Q_PROPERTY(TPreDefs ShowResource READ ShowResource WRITE SetShowResource)

public:
  explicit TVersionInfoResource(QObject* owner);
  ~TVersionInfoResource() override;

  // Called once the owning form has set the properties and linked the controls.
  virtual void Loaded();
  virtual void Notification(QObject* component, TOperation operation);

  QString Version() const;
  void SetVersion(const QString&) {}
  QString Filename() const { return FFilename; }
  void SetFilename(const QString& filename);
  bool ForceEXE() const { return FForceEXE; }
  void SetForceEXE(bool force);

  QString CompanyName() const { return GetVersionString(pdCompanyName); }
  QString FileDescription() const { return GetVersionString(pdFileDescription); }
  QString InternalName() const { return GetVersionString(pdInternalName); }
  QString LegalCopyright() const { return GetVersionString(pdLegalCopyright); }
  QString LegalTrademarks() const { return GetVersionString(pdLegalTrademarks); }
  QString OriginalFilename() const { return GetVersionString(pdOriginalFilename); }
  QString ProductName() const { return GetVersionString(pdProductName); }
  QString Comments() const { return GetVersionString(pdComments); }

  QLabel* VersionLabel() const { return FVersionLabel; }
  void SetVersionLabel(QLabel* label);
  QLabel* CopyrightLabel() const { return FCopyrightLabel; }
  void SetCopyrightLabel(QLabel* label);
  QLabel* ProductLabel() const { return FProductLabel; }
  void SetProductLabel(QLabel* label);
  QLabel* DescriptionLabel() const { return FDescriptionLabel; }
  void SetDescriptionLabel(QLabel* label);
  QTreeWidget* VersionListView() const { return FVersionListView; }
  void SetVersionListView(QTreeWidget* listView);
  TPreDefs ShowResource() const { return FShowResource; }
  void SetShowResource(TPreDefs items);

  // The string-table value of the item with that ordinal; empty for any other index.
  QString GetVersionString(int index) const;
  // The value of Key in the string table of the current translation; empty when there is none.
  QString GetResourceString(const QString& key) const;

  // What has been read, for the linked controls and for callers.
  uint32_t BlockSize() const { return FBlockSize; }
  QStringList Translations() const { return FTranslations; }
  int TranslationIndex() const { return FTranslationIndex; }
  const TFixedFileVersionInfo& FixedFileInfo() const { return *FFixedInfo; }
  const TVersionNumberInformation& FileVersion() const { return *FFileVersion; }
  const TVersionNumberInformation& ProductVersion() const { return *FProductVersion; }

  virtual QString GetTargetFilename() const;
  virtual void UpdateLinkedControls();
  virtual void FillVersionListView();
  virtual QString GetBuildFlagsText() const;
  virtual void ReadVersionInfo();

protected:
  // Asks to hear (through Notification) when the component goes away.
  void FreeNotification(QObject* component);

private:
  void LinkLabel(QLabel*& field, QLabel* label, TPreDef shownThere);
  // The value an item shows in the list view.
  QString ItemValue(TPreDef item) const;

  std::unique_ptr<uint8_t[]> FVersionBlock;
  uint32_t FBlockSize = 0;
  QString FFilename;
  QStringList FTranslations;
  int FTranslationIndex = 0;
  std::unique_ptr<TFixedFileVersionInfo> FFixedInfo;
  bool FForceEXE = false;
  std::unique_ptr<TVersionNumberInformation> FFileVersion;
  std::unique_ptr<TVersionNumberInformation> FProductVersion;
  QLabel* FVersionLabel = nullptr;
  QLabel* FCopyrightLabel = nullptr;
  QTreeWidget* FVersionListView = nullptr;
  QLabel* FDescriptionLabel = nullptr;
  QLabel* FProductLabel = nullptr;
  TPreDefs FShowResource;
  QList<QObject*> FFreeNotifies;
};
