// Requests that validate, install and export assets. The daemon's report lines for each come
// back into the caller's results log; the install requests also hand the caller's event handler
// to the link, which asks it the daemon's questions while the install runs. A path over 65,535
// bytes is refused with a warning and the request yields its failure value.
#pragma once

#include <cstdint>
#include <string_view>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"

class ResultsLog;
class WEXClientEventHandler;

namespace WEXClient {

// Asks the daemon to validate the asset folder; the second path is the daemon's. The daemon's
// answer; false without one.
bool RequestValidation(std::string_view folder, std::string_view secondPath, ResultsLog* log);

// Installs the asset folder: the daemon's answer, with the installed asset's KUID in
// `installed`; false, `installed` unchanged, without an answer. The option and flag are the
// daemon's.
bool InstallFromPath(std::string_view folder, uint32_t option, bool flag, KUID& installed,
                     ResultsLog* log, WEXClientEventHandler* handler);

// Installs the archive file with the install mode (2 from the install command, 6 after a
// content-service download): the daemon's answer, with its count word in `count` when given;
// false without an answer.
bool InstallArchive(std::string_view path, uint32_t mode, bool flag, uint32_t* count,
                    ResultsLog* log, WEXClientEventHandler* handler);

// The daemon's export of the asset: the tree of its archive entry. The mode is 3 from the
// archive commands. An empty reference without an answer or when the reply holds no soup.
TDBTagRef ExportAsset(const KUID& asset, uint32_t mode, ResultsLog* log);

// The export handed with the caller's archive options to the archive builder (request_hooks.h):
// the built archive. The options' text "compression" is set to "LZSS" before the request is
// sent. An empty reference without an answer, without an export, or without a builder.
TDBTagRef ExportAssetToArchive(const KUID& asset, uint32_t mode, const TDBTagRef& options,
                               ResultsLog* log);

}  // namespace WEXClient
