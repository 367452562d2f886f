#include "archive/listing_sql.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>

#include "archive/listing_keys.h"
#include "archive/listing_text.h"
#include "configdata/acs_converter.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "foundation/tfile.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/path.h"
#include "validation/results_log.h"

namespace {

std::mutex& FolderLock() {
    static std::mutex lock;
    return lock;
}
Kiv::String& Folder() {
    static Kiv::String folder;
    return folder;
}

constexpr std::string_view kChildHeader = "INSERT INTO AssetChild (AssetID,ChildID) VALUES \r\n";
constexpr std::string_view kDependenciesHeader =
    "INSERT INTO AssetKUIDDependency (AssetID,KUID) VALUES \r\n";
constexpr std::string_view kCategoriesHeader =
    "INSERT INTO Asset_AssetCategory_Rels (AssetID,AssetCategoryID) VALUES \r\n";
constexpr std::string_view kCategoryElementsHeader =
    "INSERT INTO Asset_CategoryElement_Rels (AssetID,CategoryElementID) VALUES \r\n";
// The start of every row that names the listed asset.
constexpr std::string_view kRowStart = "((SELECT AssetID FROM Asset WHERE KUID = '";
constexpr std::string_view kRowAfterAsset = "' AND AssetDownloadID='T10'), ";
constexpr std::string_view kRowEnd = "), \r\n";

void AppendInt(std::string& out, int64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// The child of `container` that is entry number `i`: the one at that position when its name is
// the number (as the listing builds them), else the one of that name anywhere.
TDBTagRef NumberedChild(const TDBTagRef& container, uint32_t i) {
    char digits[12];
    std::string_view name(digits, std::to_chars(digits, digits + sizeof digits, i).ptr - digits);
    if (container.IsEmpty()) return {};
    Kiv::PString at;
    TDBTagRef node;
    if (container->GetChildAt(i, at, node) && at.view() == name)
        return node && !node.IsEmpty() ? node : TDBTagRef();
    return TDBTagRef::FromChunk(container->FindChild(Kiv::PString(name)).Get());
}

// The child at the position; an empty reference for none or one of type 0.
TDBTagRef ChildAt(const TDBTagRef& container, uint32_t i) {
    Kiv::PString name;
    TDBTagRef node;
    if (!container || !container->GetChildAt(i, name, node)) return {};
    return TDBTagRef::FromChunk(node.Get());
}

// The named child of a container (an empty reference for none), and a node's value read
// without interning it: the SQL writer reads every value once.
TDBTagRef Child(const TDBTagRef& container, const Kiv::PString& name) {
    if (!container) return {};
    return TDBTagRef::FromChunk(container->FindChild(name).Get());
}

void AppendEscapedValue(std::string& out, const TDBTagRef& node) {
    if (!node) return;
    if (node->GetType() == kTagText) {
        ACSRawDataRef raw = node->GetRawData();
        AppendEscapedSQLText(out, TextOfData(raw.GetData(), raw.GetSize()));
        return;
    }
    ACSRawDataRef value = ConvertRawData(node->GetType(), node->GetRawData(), kTagText);
    if (value) AppendEscapedSQLText(out, TextOfData(value.GetData(), value.GetSize()));
}

// The node's single 4-byte value as T (its own type, or converted); 0 when it has none.
template <typename T>
T SingleValue(const TDBTagRef& node, uint32_t type) {
    if (!node) return T{};
    ACSRawDataRef value = node->GetType() == type
                              ? node->GetRawData()
                              : ConvertRawData(node->GetType(), node->GetRawData(), type);
    if (value.GetSize() != sizeof(T)) return T{};
    T v;
    std::memcpy(&v, value.GetData(), sizeof(T));
    return v;
}

int64_t IntValue(const TDBTagRef& node) {
    return SingleValue<int32_t>(node, kTagInt);
}

float FloatValue(const TDBTagRef& node) {
    return SingleValue<float>(node, kTagFloat);
}

// The start of a row of the asset whose escaped colon text is `k`.
void AppendRowStart(std::string& out, std::string_view k) {
    out += kRowStart;
    out += k;
    out += kRowAfterAsset;
}

// One row of the asset per child of the container, the child's value quoted.
template <typename AppendValue>
void AppendChildRows(std::string& out, std::string_view k, const TDBTagRef& container,
                     AppendValue appendValue) {
    for (uint32_t i = 0; i < TDBContainerTag::CountChildren(container); ++i) {
        TDBTagRef child = ChildAt(container, i);
        if (!child) continue;
        AppendRowStart(out, k);
        out += '\'';
        appendValue(out, child);
        out += '\'';
        out += kRowEnd;
    }
}

void FormatEntry(const TDBTagRef& entry, ListingSQLTexts& out) {
    const ListingKeys& keys = GetListingKeys();
    TDBTagRef asset = TDBContainerTag::GetContainer(entry, keys.asset);
    // The colon text the service's rows are keyed by, escaped once for every row.
    std::string k;
    AppendEscapedValue(k, Child(asset, keys.kuid));
    KUID kuid = TDBContainerTag::GetKUID(entry, keys.kuid, KUID::kNull);

    out.kuids += k;
    out.kuids += "\r\n";

    std::string& a = out.asset;
    a += "UPDATE Asset SET AssetTypeID=";
    AppendInt(a, IntValue(Child(asset, keys.assetTypeId)));
    a += ",ProductID=198,Title='";
    AppendEscapedValue(a, Child(asset, keys.title));
    a += "',Description='";
    AppendEscapedValue(a, Child(asset, keys.description));
    a += "',DownloadPath='";
    AppendEscapedValue(a, Child(asset, keys.downloadPath));
    a += "',FileSize=";
    AppendInt(a, IntValue(Child(asset, keys.fileSize)));
    a += ",Version=";
    AppendInt(a, kuid.version);
    a += ",AssetStatusID='AVL',AssetDownloadID='T10',LastUpdated=NOW(),ProductVersion=";
    char number[64];
    int n = std::snprintf(number, sizeof number, "%.1f",
                          static_cast<double>(FloatValue(Child(asset, keys.productVersion))));
    if (n > 0) a.append(number, std::min<size_t>(static_cast<size_t>(n), sizeof number - 1));
    a += " WHERE KUID='";
    a += k;
    a += "' AND AssetDownloadID='FAK'; \r\n";

    if (kuid.version > 0) {
        std::string& c = out.child;
        AppendRowStart(c, k);
        c += "(SELECT AssetID from Asset WHERE KUID = '";
        AppendInt(c, kuid.userId);
        c += ':';
        AppendInt(c, kuid.contentId);
        if (kuid.version > 1) {
            c += ':';
            AppendInt(c, kuid.version - 1);
        }
        c += "')";
        c += kRowEnd;
    }

    AppendChildRows(out.dependencies, k, TDBContainerTag::GetContainer(entry, keys.deps),
                    AppendEscapedValue);
    AppendChildRows(out.categories, k, TDBContainerTag::GetContainer(entry, keys.cats),
                    [](std::string& o, const TDBTagRef& child) { AppendInt(o, IntValue(child)); });
    AppendChildRows(out.categoryElements, k, TDBContainerTag::GetContainer(entry, keys.catEls),
                    AppendEscapedValue);
}

void LogOpenFailure(ResultsLog* log, std::string_view folder) {
    Kiv::Log::Write("------------------------------------------------");
    Kiv::Log::Write(" ERROR : Failed to open on or more output files ");
    Kiv::Log::Write("------------------------------------------------");
    if (log != nullptr)
        AddMessage(*log, 3, {},
                   Kiv::String::Printf("Failed to open the listing output files in %.*s",
                                       static_cast<int>(folder.size()), folder.data()));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    Kiv::File::Path path(folder);
    path.AddPath(name);
    return path.str();
}

// A text is handed to its file once it holds this much.
constexpr size_t kFlushBytes = 64 * 1024;

struct TwinFile {
    std::string target;
    Kiv::File::Path twin;
    TFile file;
};

}  // namespace

void SetListingOutputFolder(std::string_view folder) {
    std::lock_guard guard(FolderLock());
    Folder() = Kiv::String(folder);
}

Kiv::String GetListingOutputFolder() {
    std::lock_guard guard(FolderLock());
    return Folder();
}

void FormatListingSQL(const TDBTagRef& soup, ListingSQLTexts& out,
                      const std::function<bool(ListingSQLTexts&)>& afterEntry) {
    out.child += kChildHeader;
    out.dependencies += kDependenciesHeader;
    out.categories += kCategoriesHeader;
    out.categoryElements += kCategoryElementsHeader;
    for (uint32_t i = 0;; ++i) {
        TDBTagRef entry = NumberedChild(soup, i);
        if (!entry) break;
        FormatEntry(entry, out);
        if (afterEntry && !afterEntry(out)) return;
    }
}

bool WriteListingSQL(const TDBTagRef& soup, int batch, ResultsLog* log) {
    const Kiv::String folder = GetListingOutputFolder();
    ListingSQLTexts texts;
    const std::array<std::pair<const char*, std::string*>, 5> sqlFiles = {{
        {"SQL_Asset_%d.txt", &texts.asset},
        {"SQL_AssetChild_%d.txt", &texts.child},
        {"SQL_AssetDependencies_%d.txt", &texts.dependencies},
        {"SQL_AssetCategories_%d.txt", &texts.categories},
        {"SQL_AssetCategoryElements_%d.txt", &texts.categoryElements},
    }};

    // Every file is opened before anything is written, so a batch is written whole or not at
    // all (kuids.txt only grows once every SQL file stands).
    std::string kuidsPath = JoinPath(folder.view(), "kuids.txt");
    int kuids = folder.IsEmpty() ? -1
                                 : ::open(Kiv::File::ResolveCase(kuidsPath).c_str(),
                                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    std::array<TwinFile, 5> twins;
    bool opened = kuids >= 0;
    for (size_t i = 0; opened && i < sqlFiles.size(); ++i) {
        twins[i].target =
            JoinPath(folder.view(), Kiv::String::Printf(sqlFiles[i].first, batch).view());
        twins[i].twin = FormTemporaryFilePath(Kiv::File::Path(folder.view()));
        opened = !twins[i].twin.IsEmpty() &&
                 twins[i].file.Open(twins[i].twin.view(), Kiv::File::kModeCreate);
    }
    auto dropTwins = [&] {
        for (TwinFile& t : twins) {
            if (t.file.IsOpen()) {
                t.file.CloseFile();
                Kiv::File::Delete(t.twin.view());
            }
        }
        if (kuids >= 0) ::close(kuids);
    };
    if (!opened) {
        dropTwins();
        LogOpenFailure(log, folder.view());
        return false;
    }

    // Each SQL text goes to its twin in pieces as it grows; "kuids.txt" waits for the end.
    bool written = true;
    auto flush = [&](size_t atLeast) {
        for (size_t i = 0; written && i < sqlFiles.size(); ++i) {
            std::string& text = *sqlFiles[i].second;
            if (text.size() < atLeast || text.empty()) continue;
            TFile& f = twins[i].file;
            written = f.Write(text.data(), static_cast<uint32_t>(text.size())) == text.size() &&
                      !f.HasError();
            text.clear();
        }
        return written;
    };
    FormatListingSQL(soup, texts, [&](ListingSQLTexts&) { return flush(kFlushBytes); });
    flush(0);
    for (size_t i = 0; written && i < twins.size(); ++i)
        written = ::fsync(twins[i].file.GetFile()->Handle()) == 0;
    if (!written) {
        dropTwins();
        if (log != nullptr)
            AddMessage(*log, 3, {},
                       Kiv::String::Printf("Failed to write the listing files of batch %d in %s",
                                           batch, folder.c_str()));
        return false;
    }
    for (size_t i = 0; written && i < twins.size(); ++i) {
        twins[i].file.CloseFile();
        written = Kiv::File::Rename(twins[i].twin.view(), twins[i].target);
        if (!written) Kiv::File::Delete(twins[i].twin.view());
    }
    // Files not yet renamed after a failed rename go with their twins.
    for (TwinFile& t : twins)
        if (Kiv::File::IsPresent(t.twin.view())) Kiv::File::Delete(t.twin.view());
    if (written) {
        const std::string& k = texts.kuids;
        written = ::write(kuids, k.data(), k.size()) == static_cast<ssize_t>(k.size());
    }
    ::close(kuids);
    if (!written && log != nullptr)
        AddMessage(*log, 3, {},
                   Kiv::String::Printf("Failed to write the listing files of batch %d in %s", batch,
                                       folder.c_str()));
    return written;
}
