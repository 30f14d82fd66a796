#include "about/VersionInfoResource.h"

#include "uicore/ExceptionGuard.h"
#include "platform/VersionResources.h"

#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

const char* const Context = "TVersionInfoResource";

const char* const Keys[PreDefCount] = {"CompanyName",      "FileDescription",  "FileVersion",
                                       "InternalName",     "LegalCopyright",   "LegalTrademarks",
                                       "OriginalFilename", "ProductName",      "ProductVersion",
                                       "Comments",         "BuildFlags"};

const char* const CaptionTexts[PreDefCount] = {
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Company Name"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "File Description"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "File Version"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Internal Name"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Legal Copyright"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Legal Trademarks"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Original Filename"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Product Name"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Product Version"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Comments"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Build Flags"),
};

const char* const FlagTexts[BuildFlagCount] = {
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Debug"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Info Inferred"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Patched"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Pre-Release"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Private"),
    QT_TRANSLATE_NOOP("TVersionInfoResource", "Special"),
};

// The VS_FF_ bit of each build flag, in TBuildFlag order.
const uint32_t FlagBits[BuildFlagCount] = {VS_FF_DEBUG,      VS_FF_INFOINFERRED, VS_FF_PATCHED,
                                           VS_FF_PRERELEASE, VS_FF_PRIVATEBUILD, VS_FF_SPECIALBUILD};

// The list view's rows, in this order.
const TPreDef ListOrder[PreDefCount] = {pdProductName,     pdProductVersion, pdCompanyName,  pdLegalCopyright,
                                        pdLegalTrademarks, pdFileDescription, pdFileVersion, pdInternalName,
                                        pdOriginalFilename, pdBuildFlags,     pdComments};

const QString DefaultTranslation = QStringLiteral("040904E4");

// The platform's path buffers start here and grow for longer paths.
constexpr uint32_t PathBufferSize = 4096;

// Anything of this file, to tell which module the component's code was loaded from.
const char ModuleAnchor = 0;

}  // namespace

const TVersionResourceStrings& VersionResourceStrings()
{
  static const TVersionResourceStrings strings = [] {
    TVersionResourceStrings s;
    for (int i = 0; i < PreDefCount; ++i)
      s.Captions[i] = QCoreApplication::translate(Context, CaptionTexts[i]);
    s.ResourceHeading = QCoreApplication::translate(Context, QT_TRANSLATE_NOOP("TVersionInfoResource", "Resource"));
    s.ValueHeading = QCoreApplication::translate(Context, QT_TRANSLATE_NOOP("TVersionInfoResource", "Value"));
    for (int i = 0; i < BuildFlagCount; ++i)
      s.BuildFlagNames[i] = QCoreApplication::translate(Context, FlagTexts[i]);
    return s;
  }();
  return strings;
}

QString PreDefKey(TPreDef item)
{
  return QString::fromLatin1(Keys[item]);
}

// --- TVersionNumberInformation ------------------------------------------------------------------

QString TVersionNumberInformation::Text() const
{
  if (!FValid)
    return {};
  return QString::asprintf("%d.%d.%d.%d", Major(), Minor(), Release(), Build());
}

void TVersionNumberInformation::SetValid(uint32_t high, uint32_t low)
{
  FValid = true;
  FHigh = high;
  FLow = low;
}

void TVersionNumberInformation::SetInvalid()
{
  FValid = false;
  FHigh = 0;
  FLow = 0;
}

// --- TFixedFileVersionInfo ----------------------------------------------------------------------

uint32_t TFixedFileVersionInfo::field(std::size_t offset) const
{
  if (!FFixedInfo)
    return 0;
  uint32_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(FFixedInfo) + offset, sizeof v);
  return v;
}

uint32_t TFixedFileVersionInfo::FileVersionMS() const { return field(offsetof(VS_FIXEDFILEINFO, dwFileVersionMS)); }
uint32_t TFixedFileVersionInfo::FileVersionLS() const { return field(offsetof(VS_FIXEDFILEINFO, dwFileVersionLS)); }
uint32_t TFixedFileVersionInfo::ProductVersionMS() const
{
  return field(offsetof(VS_FIXEDFILEINFO, dwProductVersionMS));
}
uint32_t TFixedFileVersionInfo::ProductVersionLS() const
{
  return field(offsetof(VS_FIXEDFILEINFO, dwProductVersionLS));
}

TBuildFlags TFixedFileVersionInfo::BuildFlags() const
{
  const uint32_t flags = field(offsetof(VS_FIXEDFILEINFO, dwFileFlags));
  TBuildFlags result;
  for (int i = 0; i < BuildFlagCount; ++i)
    if (flags & FlagBits[i])
      result.Include(TBuildFlag(i));
  return result;
}

// --- TVersionInfoResource -----------------------------------------------------------------------

TVersionInfoResource::TVersionInfoResource(QObject* owner)
    : QObject(owner),
      FFixedInfo(std::make_unique<TFixedFileVersionInfo>(this)),
      FFileVersion(std::make_unique<TVersionNumberInformation>()),
      FProductVersion(std::make_unique<TVersionNumberInformation>()),
      FShowResource(TPreDefs::All())
{
  VersionResourceStrings();
}

TVersionInfoResource::~TVersionInfoResource() = default;

void TVersionInfoResource::Loaded()
{
  ReadVersionInfo();
}

void TVersionInfoResource::Notification(QObject* component, TOperation operation)
{
  if (operation != opRemove || !component)
    return;
  FFreeNotifies.removeAll(component);
  // Every reference to it goes, not only the first: one label may serve two roles, and a reference
  // left behind would point at a destroyed widget.
  if (FVersionLabel == component)
    FVersionLabel = nullptr;
  if (FCopyrightLabel == component)
    FCopyrightLabel = nullptr;
  if (FProductLabel == component)
    FProductLabel = nullptr;
  if (FDescriptionLabel == component)
    FDescriptionLabel = nullptr;
  if (FVersionListView == component)
    FVersionListView = nullptr;
}

void TVersionInfoResource::FreeNotification(QObject* component)
{
  if (FFreeNotifies.contains(component))
    return;
  FFreeNotifies.append(component);
  connect(component, &QObject::destroyed, this,
          guard([this](QObject* gone) { Notification(gone, opRemove); }));
}

QString TVersionInfoResource::Version() const
{
  return QStringLiteral("TVersionInfoResource 1.0");
}

void TVersionInfoResource::SetFilename(const QString& filename)
{
  FFilename = filename;
  ReadVersionInfo();
}

void TVersionInfoResource::SetForceEXE(bool force)
{
  if (force == FForceEXE)
    return;
  FForceEXE = force;
  ReadVersionInfo();
}

void TVersionInfoResource::LinkLabel(QLabel*& field, QLabel* label, TPreDef shownThere)
{
  field = label;
  if (!label)
    return;
  FreeNotification(label);
  FShowResource.Exclude(shownThere);
  UpdateLinkedControls();
}

void TVersionInfoResource::SetVersionLabel(QLabel* label) { LinkLabel(FVersionLabel, label, pdFileVersion); }
void TVersionInfoResource::SetCopyrightLabel(QLabel* label) { LinkLabel(FCopyrightLabel, label, pdLegalCopyright); }
void TVersionInfoResource::SetProductLabel(QLabel* label) { LinkLabel(FProductLabel, label, pdProductName); }
void TVersionInfoResource::SetDescriptionLabel(QLabel* label)
{
  LinkLabel(FDescriptionLabel, label, pdFileDescription);
}

void TVersionInfoResource::SetVersionListView(QTreeWidget* listView)
{
  FVersionListView = listView;
  if (!listView)
    return;
  FreeNotification(listView);
  UpdateLinkedControls();
}

void TVersionInfoResource::SetShowResource(TPreDefs items)
{
  if (items == FShowResource)
    return;
  FShowResource = items;
  UpdateLinkedControls();
}

QString TVersionInfoResource::GetVersionString(int index) const
{
  if (index < 0 || index >= PreDefCount)
    return {};
  return GetResourceString(PreDefKey(TPreDef(index)));
}

QString TVersionInfoResource::GetResourceString(const QString& key) const
{
  const QString translation =
      FTranslationIndex < FTranslations.size() ? FTranslations.at(FTranslationIndex) : DefaultTranslation;
  const QString path = QStringLiteral("\\StringFileInfo\\") + translation + QLatin1Char('\\') + key;
  const void* text = nullptr;
  uint32_t length = 0;
  if (!FVersionBlock || !VerQueryValue(FVersionBlock.get(), reinterpret_cast<const char16_t*>(path.utf16()), &text, &length))
    return {};
  // The length counts the terminator when the block stores one; the text ends at the first zero.
  QString value(reinterpret_cast<const QChar*>(text), qsizetype(length));
  const qsizetype end = value.indexOf(QChar(0));
  if (end >= 0)
    value.truncate(end);
  return value;
}

QString TVersionInfoResource::GetTargetFilename() const
{
  if (!FFilename.isEmpty())
    return FFilename;
  HMODULE module = nullptr;  // the executable
  if (!FForceEXE) {
    const HMODULE own = ModuleHandleOf(&ModuleAnchor);
    if (ModuleIsLibrary(own))
      module = own;
  }
  // No limit of 255 characters: a cut path would name some other file, or none.
  std::vector<char> path(PathBufferSize);
  for (;;) {
    const uint32_t n = GetModuleFileName(module, path.data(), uint32_t(path.size()));
    if (n == 0)
      return {};
    if (n < path.size())
      return QFile::decodeName(QByteArray(path.data(), qsizetype(n)));
    path.resize(path.size() * 2);
  }
}

void TVersionInfoResource::ReadVersionInfo()
{
  FTranslations.clear();
  FFixedInfo->SetFixedInfo(nullptr);
  FVersionBlock.reset();
  FBlockSize = 0;

  const QByteArray target = QFile::encodeName(GetTargetFilename());
  uint32_t handle = 0;
  const uint32_t size = GetFileVersionInfoSize(target.constData(), &handle);
  if (size > 0) {
    auto block = std::make_unique<uint8_t[]>(size);
    // The file may change between the two calls; a failed read keeps no block.
    if (GetFileVersionInfo(target.constData(), handle, size, block.get())) {
      FVersionBlock = std::move(block);
      FBlockSize = size;
    }
  }

  if (FVersionBlock) {
    const void* value = nullptr;
    uint32_t length = 0;
    // A root without a whole VS_FIXEDFILEINFO has none: reading one there would read past it.
    if (VerQueryValue(FVersionBlock.get(), u"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO))
      FFixedInfo->SetFixedInfo(value);
    if (VerQueryValue(FVersionBlock.get(), u"\\VarFileInfo\\Translation", &value, &length)) {
      const auto* words = static_cast<const uint8_t*>(value);
      for (uint32_t i = 0; i < length / 4; ++i) {
        uint16_t language = uint16_t(words[4 * i] | (words[4 * i + 1] << 8));
        uint16_t codePage = uint16_t(words[4 * i + 2] | (words[4 * i + 3] << 8));
        if (language == 0)
          language = 0x0409;
        if (codePage == 0)
          codePage = 0x04E4;
        FTranslations.append(QString::asprintf("%.4x%.4x", language, codePage));
      }
    }
  }
  // Versions are only as valid as the fixed information they come from: a block without one shows
  // no version rather than 0.0.0.0.
  if (FFixedInfo->FixedInfo()) {
    FFileVersion->SetValid(FFixedInfo->FileVersionMS(), FFixedInfo->FileVersionLS());
    FProductVersion->SetValid(FFixedInfo->ProductVersionMS(), FFixedInfo->ProductVersionLS());
  } else {
    FFileVersion->SetInvalid();
    FProductVersion->SetInvalid();
  }
  if (FTranslationIndex >= FTranslations.size())
    FTranslationIndex = 0;
  UpdateLinkedControls();
}

QString TVersionInfoResource::GetBuildFlagsText() const
{
  const TBuildFlags flags = FFixedInfo->BuildFlags();
  QStringList names;
  for (int i = 0; i < BuildFlagCount; ++i)
    if (flags.Contains(TBuildFlag(i)))
      names << VersionResourceStrings().BuildFlagNames[i];
  return names.join(QStringLiteral(", "));
}

void TVersionInfoResource::UpdateLinkedControls()
{
  if (FVersionLabel)
    FVersionLabel->setText(FFileVersion->Text());
  if (FCopyrightLabel)
    FCopyrightLabel->setText(GetVersionString(pdLegalCopyright));
  if (FProductLabel)
    FProductLabel->setText(GetVersionString(pdProductName));
  if (FDescriptionLabel)
    FDescriptionLabel->setText(GetVersionString(pdFileDescription));
  if (FVersionListView)
    FillVersionListView();
}

QString TVersionInfoResource::ItemValue(TPreDef item) const
{
  switch (item) {
  case pdFileVersion:
    return FFileVersion->Text();
  case pdProductVersion:
    return FProductVersion->Text();
  case pdBuildFlags:
    return GetBuildFlagsText();
  default:
    return GetVersionString(item);
  }
}

void TVersionInfoResource::FillVersionListView()
{
  QTreeWidget* lv = FVersionListView;
  const TVersionResourceStrings& strings = VersionResourceStrings();
  lv->clear();
  lv->setColumnCount(0);
  // A report: rows without tree decoration, nothing to edit, headings that do not sort.
  lv->setRootIsDecorated(false);
  lv->setItemsExpandable(false);
  lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lv->setSortingEnabled(false);
  lv->header()->setSectionsClickable(false);
  lv->setHeaderLabels({strings.ResourceHeading, strings.ValueHeading});
  for (TPreDef item : ListOrder) {
    if (!FShowResource.Contains(item))
      continue;
    const QString value = ItemValue(item);
    if (!value.isEmpty())
      new QTreeWidgetItem(lv, {strings.Captions[item], value});
  }
  // Each column as wide as the wider of its heading and its contents.
  for (int column = 0; column < lv->columnCount(); ++column)
    lv->resizeColumnToContents(column);
}
